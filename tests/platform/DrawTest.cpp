#include "platform/ui/Draw.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Window.h"

namespace win {
namespace {

std::uint32_t Pix(int color) {
  const COLORREF c = GetSysColor(color);
  return (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

struct TSurface {
  TSurface(int w, int h) : W(w), H(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    Bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&Bits), nullptr, 0);
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bmp);
    std::fill(Bits, Bits + w * h, Background);
  }
  ~TSurface() {
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DeleteObject(Bmp);
  }
  std::uint32_t At(int x, int y) const { return Bits[y * W + x]; }
  static constexpr std::uint32_t Background = 0x00123456;
  int W, H;
  std::uint32_t* Bits = nullptr;
  HBITMAP Bmp;
  HDC Dc;
  HGDIOBJ Old;
};

TEST(DrawTest, RaisedAndSunkenEdgesOnAKnownRectangle) {
  TSurface s(20, 20);
  RECT rc{2, 3, 12, 15};
  EXPECT_TRUE(DrawEdge(s.Dc, &rc, EDGE_RAISED, BF_RECT | BF_ADJUST));
  EXPECT_EQ(4, rc.left);
  EXPECT_EQ(5, rc.top);
  EXPECT_EQ(10, rc.right);
  EXPECT_EQ(13, rc.bottom);
  // Outer ring: light top and left, dark shadow bottom and right (owning the corners).
  EXPECT_EQ(Pix(COLOR_3DLIGHT), s.At(2, 3));
  EXPECT_EQ(Pix(COLOR_3DLIGHT), s.At(6, 3));
  EXPECT_EQ(Pix(COLOR_3DLIGHT), s.At(2, 10));
  EXPECT_EQ(Pix(COLOR_3DDKSHADOW), s.At(11, 3));
  EXPECT_EQ(Pix(COLOR_3DDKSHADOW), s.At(2, 14));
  EXPECT_EQ(Pix(COLOR_3DDKSHADOW), s.At(11, 14));
  // Inner ring: highlight and shadow.
  EXPECT_EQ(Pix(COLOR_3DHILIGHT), s.At(3, 4));
  EXPECT_EQ(Pix(COLOR_3DHILIGHT), s.At(3, 12));
  EXPECT_EQ(Pix(COLOR_3DSHADOW), s.At(10, 4));
  EXPECT_EQ(Pix(COLOR_3DSHADOW), s.At(5, 13));
  // Nothing inside (no BF_MIDDLE) or outside.
  EXPECT_EQ(TSurface::Background, s.At(6, 8));
  EXPECT_EQ(TSurface::Background, s.At(1, 3));
  EXPECT_EQ(TSurface::Background, s.At(12, 15));

  TSurface t(10, 10);
  RECT sunk{0, 0, 10, 10};
  DrawEdge(t.Dc, &sunk, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
  EXPECT_EQ(Pix(COLOR_3DSHADOW), t.At(0, 0));
  EXPECT_EQ(Pix(COLOR_3DHILIGHT), t.At(9, 9));
  EXPECT_EQ(Pix(COLOR_3DDKSHADOW), t.At(1, 1));
  EXPECT_EQ(Pix(COLOR_3DLIGHT), t.At(8, 8));
  EXPECT_EQ(Pix(COLOR_3DFACE), t.At(5, 5));
  EXPECT_EQ(0, sunk.left);  // no BF_ADJUST
}

TEST(DrawTest, EtchedBumpPartialSidesAndFlatEdges) {
  TSurface s(10, 10);
  RECT rc{0, 0, 10, 10};
  DrawEdge(s.Dc, &rc, EDGE_ETCHED, BF_RECT);
  EXPECT_EQ(Pix(COLOR_3DSHADOW), s.At(0, 0));
  EXPECT_EQ(Pix(COLOR_3DHILIGHT), s.At(1, 1));
  EXPECT_EQ(Pix(COLOR_3DHILIGHT), s.At(9, 9));
  EXPECT_EQ(Pix(COLOR_3DSHADOW), s.At(8, 8));
  TSurface b(10, 10);
  DrawEdge(b.Dc, &rc, EDGE_BUMP, BF_RECT);
  EXPECT_EQ(Pix(COLOR_3DLIGHT), b.At(0, 0));
  EXPECT_EQ(Pix(COLOR_3DDKSHADOW), b.At(1, 1));
  // Only the sides asked for; BF_ADJUST moves only those.
  TSurface p(10, 10);
  RECT bottom{0, 0, 10, 10};
  DrawEdge(p.Dc, &bottom, BDR_SUNKENOUTER, BF_BOTTOM | BF_ADJUST);
  EXPECT_EQ(Pix(COLOR_3DHILIGHT), p.At(5, 9));
  EXPECT_EQ(TSurface::Background, p.At(5, 0));
  EXPECT_EQ(TSurface::Background, p.At(0, 5));
  EXPECT_EQ(9, bottom.bottom);
  EXPECT_EQ(0, bottom.top);
  TSurface f(10, 10);
  DrawEdge(f.Dc, &rc, EDGE_SUNKEN, BF_RECT | BF_FLAT);
  EXPECT_EQ(Pix(COLOR_3DSHADOW), f.At(0, 0));
  EXPECT_EQ(Pix(COLOR_3DSHADOW), f.At(9, 9));
  TSurface m(10, 10);
  DrawEdge(m.Dc, &rc, EDGE_RAISED, BF_RECT | BF_MONO | BF_MIDDLE);
  EXPECT_EQ(Pix(COLOR_WINDOWFRAME), m.At(0, 0));
  EXPECT_EQ(Pix(COLOR_WINDOW), m.At(5, 5));
  EXPECT_FALSE(DrawEdge(nullptr, &rc, EDGE_RAISED, BF_RECT));
  EXPECT_FALSE(DrawEdge(s.Dc, nullptr, EDGE_RAISED, BF_RECT));
}

TEST(DrawTest, FocusRectangleIsDottedAndUndoesItself) {
  TSurface s(12, 12);
  const std::vector<std::uint32_t> before(s.Bits, s.Bits + 144);
  const RECT rc{1, 1, 11, 9};
  EXPECT_TRUE(DrawFocusRect(s.Dc, &rc));
  int changed = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const bool border = (y == 1 || y == 8) ? (x >= 1 && x < 11) : (y > 1 && y < 8 && (x == 1 || x == 10));
      if (s.At(x, y) != TSurface::Background) {
        ++changed;
        EXPECT_TRUE(border) << x << ',' << y;
        EXPECT_EQ(TSurface::Background ^ 0x00FFFFFFu, s.At(x, y));
      }
    }
  // Every other pixel of the 32 on the border.
  EXPECT_EQ(16, changed);
  EXPECT_NE(s.At(2, 1), s.At(3, 1));
  EXPECT_TRUE(DrawFocusRect(s.Dc, &rc));
  EXPECT_EQ(before, std::vector<std::uint32_t>(s.Bits, s.Bits + 144));
}

TEST(DrawTest, FrameControlsShowTheirState) {
  // A check box shows its mark only when checked, in the window text colour.
  const auto count = [](const TSurface& s, std::uint32_t v) {
    int n = 0;
    for (int i = 0; i < s.W * s.H; ++i) n += s.Bits[i] == v;
    return n;
  };
  TSurface off(13, 13), on(13, 13);
  RECT rc{0, 0, 13, 13};
  EXPECT_TRUE(DrawFrameControl(off.Dc, &rc, DFC_BUTTON, DFCS_BUTTONCHECK));
  EXPECT_TRUE(DrawFrameControl(on.Dc, &rc, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED));
  int markOff = 0, markOn = 0;
  for (int y = 2; y < 11; ++y)
    for (int x = 2; x < 11; ++x) {
      EXPECT_EQ(Pix(COLOR_WINDOW), off.At(x, y));
      markOn += on.At(x, y) == Pix(COLOR_WINDOWTEXT);
      markOff += off.At(x, y) != Pix(COLOR_WINDOW);
    }
  EXPECT_EQ(0, markOff);
  EXPECT_GT(markOn, 10);
  EXPECT_EQ(Pix(COLOR_3DSHADOW), off.At(0, 0));
  // A pushed button is sunken, a normal one raised.
  TSurface up(20, 12), down(20, 12);
  RECT b{0, 0, 20, 12};
  DrawFrameControl(up.Dc, &b, DFC_BUTTON, DFCS_BUTTONPUSH);
  DrawFrameControl(down.Dc, &b, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_PUSHED);
  EXPECT_EQ(Pix(COLOR_3DHILIGHT), up.At(0, 0));
  EXPECT_EQ(Pix(COLOR_3DDKSHADOW), up.At(19, 11));
  EXPECT_NE(up.At(0, 0), down.At(0, 0));
  EXPECT_EQ(Pix(COLOR_3DFACE), up.At(10, 6));
  RECT adj = b;
  DrawFrameControl(up.Dc, &adj, DFC_BUTTON, DFCS_BUTTONPUSH | DFCS_ADJUSTRECT);
  EXPECT_EQ(2, adj.left);
  EXPECT_EQ(18, adj.right);
  // Scroll arrows point where asked: ink of an up arrow is wider at the bottom.
  TSurface arrow(16, 16);
  RECT a{0, 0, 16, 16};
  DrawFrameControl(arrow.Dc, &a, DFC_SCROLL, DFCS_SCROLLUP);
  int top = -1, bottom = -1, topWidth = 0, bottomWidth = 0;
  for (int y = 2; y < 14; ++y) {
    int w = 0;
    for (int x = 2; x < 14; ++x) w += arrow.At(x, y) == Pix(COLOR_BTNTEXT);
    if (w && top < 0) {
      top = y;
      topWidth = w;
    }
    if (w) {
      bottom = y;
      bottomWidth = w;
    }
  }
  ASSERT_GE(top, 0);
  EXPECT_GT(bottomWidth, topWidth);
  EXPECT_GT(bottom, top);
  // Caption buttons carry a glyph; inactive ones are grey.
  TSurface close(16, 14), grey(16, 14);
  RECT c{0, 0, 16, 14};
  DrawFrameControl(close.Dc, &c, DFC_CAPTION, DFCS_CAPTIONCLOSE);
  DrawFrameControl(grey.Dc, &c, DFC_CAPTION, DFCS_CAPTIONCLOSE | DFCS_INACTIVE);
  EXPECT_GT(count(close, Pix(COLOR_BTNTEXT)), 10);
  EXPECT_EQ(0, count(grey, Pix(COLOR_BTNTEXT)));
  EXPECT_FALSE(DrawFrameControl(close.Dc, &c, 99, 0));
}

TEST(DrawTest, SystemColourBrushesAreSharedAndNeverFreed) {
  HBRUSH face = GetSysColorBrush(COLOR_3DFACE);
  ASSERT_NE(nullptr, face);
  EXPECT_EQ(face, GetSysColorBrush(COLOR_BTNFACE));
  EXPECT_TRUE(DeleteObject(face));
  EXPECT_EQ(face, GetSysColorBrush(COLOR_3DFACE));
  TSurface s(4, 4);
  RECT rc{0, 0, 4, 4};
  EXPECT_TRUE(FillRect(s.Dc, &rc, face));  // still usable after DeleteObject
  EXPECT_EQ(Pix(COLOR_3DFACE), s.At(2, 2));
  EXPECT_NE(GetSysColorBrush(COLOR_WINDOW), face);
  EXPECT_EQ(nullptr, GetSysColorBrush(-1));
  EXPECT_EQ(nullptr, GetSysColorBrush(1000));
}

}  // namespace
}  // namespace win
