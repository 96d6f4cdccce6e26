#include "platform/ui/Gdi.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace win {
namespace {

// A memory DC on a top-down 32-bit DIB section, freed at scope end.
struct TSurface {
  TSurface(int w, int h, bool bottomUp = false) : W(w), H(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = bottomUp ? h : -h;
    Bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&Bits), nullptr, 0);
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bmp);
  }
  ~TSurface() {
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DeleteObject(Bmp);
  }
  std::uint32_t& At(int x, int y) { return Bits[y * W + x]; }
  void Fill(std::uint32_t v) { std::fill(Bits, Bits + W * H, v); }
  int W, H;
  std::uint32_t* Bits = nullptr;
  HBITMAP Bmp;
  HDC Dc;
  HGDIOBJ Old;
};

TEST(GdiTest, DibSectionsAndSelection) {
  TSurface s(4, 3);
  ASSERT_NE(nullptr, s.Bits);
  BITMAP bm{};
  ASSERT_EQ(static_cast<int>(sizeof bm), GetObject(s.Bmp, sizeof bm, &bm));
  EXPECT_EQ(4, bm.bmWidth);
  EXPECT_EQ(3, bm.bmHeight);
  EXPECT_EQ(32, bm.bmBitsPixel);
  EXPECT_EQ(s.Bits, bm.bmBits);
  // Memory order blue, green, red, alpha; GDI writes alpha 0.
  EXPECT_EQ(RGB(1, 2, 3), SetPixel(s.Dc, 1, 0, RGB(1, 2, 3)));
  EXPECT_EQ(0x00010203u, s.At(1, 0));
  s.At(2, 2) = 0xFF112233;
  EXPECT_EQ(RGB(0x11, 0x22, 0x33), GetPixel(s.Dc, 2, 2));
  EXPECT_EQ(CLR_INVALID, GetPixel(s.Dc, 4, 0));
  EXPECT_EQ(CLR_INVALID, SetPixel(s.Dc, -1, 0, 0));
  // A bitmap lives in one DC at a time and cannot be deleted while selected.
  HDC other = CreateCompatibleDC(s.Dc);
  EXPECT_EQ(nullptr, SelectObject(other, s.Bmp));
  EXPECT_FALSE(DeleteObject(s.Bmp));
  DeleteDC(other);
  // Bottom-up sections keep row 0 at the end of memory.
  TSurface up(2, 2, true);
  SetPixel(up.Dc, 0, 0, RGB(9, 9, 9));
  EXPECT_EQ(0x00090909u, up.At(0, 1));
  BITMAPINFO bad{};
  bad.bmiHeader.biWidth = 100000;
  bad.bmiHeader.biHeight = -100000;
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &bits, nullptr, 0));
  EXPECT_EQ(nullptr, bits);
  bad.bmiHeader.biWidth = 4;
  bad.bmiHeader.biBitCount = 24;
  EXPECT_EQ(nullptr, CreateDIBSection(nullptr, &bad, DIB_RGB_COLORS, &bits, nullptr, 0));
}

TEST(GdiTest, BitBltClipsAndHandlesOverlap) {
  TSurface s(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) s.At(x, y) = 0xFF000000u | (y << 8) | x;
  const std::vector<std::uint32_t> before(s.Bits, s.Bits + 64);
  // Overlapping move to the right and down within one surface.
  EXPECT_TRUE(BitBlt(s.Dc, 2, 1, 5, 5, s.Dc, 0, 0, SRCCOPY));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool moved = x >= 2 && x < 7 && y >= 1 && y < 6;
      ASSERT_EQ(moved ? before[(y - 1) * 8 + (x - 2)] : before[y * 8 + x], s.At(x, y)) << x << "," << y;
    }
  // Clip region with a hole: pixels in the hole and outside stay.
  TSurface d(8, 8);
  d.Fill(0x11111111);
  HRGN clip = CreateRectRgn(0, 0, 6, 6), hole = CreateRectRgn(2, 2, 4, 4);
  CombineRgn(clip, clip, hole, RGN_DIFF);
  EXPECT_EQ(COMPLEXREGION, SelectClipRgn(d.Dc, clip));
  RECT box;
  EXPECT_EQ(COMPLEXREGION, GetClipBox(d.Dc, &box));
  EXPECT_EQ(6, box.right);
  EXPECT_TRUE(BitBlt(d.Dc, -3, -3, 20, 20, s.Dc, -3, -3, SRCCOPY));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool in = x < 6 && y < 6 && !(x >= 2 && x < 4 && y >= 2 && y < 4);
      ASSERT_EQ(in ? s.At(x, y) : 0x11111111u, d.At(x, y)) << x << "," << y;
    }
  // Ternary operations on all four bytes.
  SelectClipRgn(d.Dc, nullptr);
  d.At(0, 7) = 0x0F0F0F0F;
  s.At(0, 7) = 0x00FF00FF;
  BitBlt(d.Dc, 0, 7, 1, 1, s.Dc, 0, 7, SRCINVERT);
  EXPECT_EQ(0x0FF00FF0u, d.At(0, 7));
  BitBlt(d.Dc, 0, 7, 1, 1, s.Dc, 0, 7, SRCAND);
  EXPECT_EQ(0x00F000F0u, d.At(0, 7));
  PatBlt(d.Dc, 0, 7, 1, 1, DSTINVERT);
  EXPECT_EQ(0xFF0FFF0Fu, d.At(0, 7));
  PatBlt(d.Dc, 1, 7, 1, 1, BLACKNESS);
  EXPECT_EQ(0u, d.At(1, 7));
  DeleteObject(clip);
  DeleteObject(hole);
}

TEST(GdiTest, OriginsAndClipRects) {
  TSurface s(10, 10);
  SetViewportOrgEx(s.Dc, 3, 2, nullptr);
  SetWindowOrgEx(s.Dc, 1, 1, nullptr);  // logical (x, y) lands on device (x + 2, y + 1)
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{0, 0, 2, 2};
  FillRect(s.Dc, &r, red);
  EXPECT_EQ(0x00FF0000u, s.At(2, 1));
  EXPECT_EQ(0x00FF0000u, s.At(3, 2));
  EXPECT_EQ(0u, s.At(4, 2));
  EXPECT_EQ(0u, s.At(1, 1));
  EXPECT_EQ(RGB(255, 0, 0), GetPixel(s.Dc, 0, 0));
  // Clip rectangles are given logically but kept in device space.
  EXPECT_EQ(SIMPLEREGION, IntersectClipRect(s.Dc, 0, 0, 4, 4));
  EXPECT_EQ(COMPLEXREGION, ExcludeClipRect(s.Dc, 1, 1, 2, 2));
  RECT box;
  GetClipBox(s.Dc, &box);
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(4, box.bottom);
  s.Fill(0);
  RECT all{-10, -10, 20, 20};
  FillRect(s.Dc, &all, red);
  int filled = 0;
  for (int i = 0; i < 100; ++i) filled += s.Bits[i] != 0;
  EXPECT_EQ(15, filled);
  EXPECT_EQ(0u, s.At(3, 2));  // the excluded pixel
  DeleteObject(red);
}

TEST(GdiTest, FramesRectanglesAndLinesArePixelExact) {
  TSurface s(8, 6);
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT r{1, 1, 5, 4};
  FrameRect(s.Dc, &r, blue);
  const char* frame[] = {"........", ".####...", ".#..#...", ".####...", "........", "........"};
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(frame[y][x] == '#' ? 0x000000FFu : 0u, s.At(x, y)) << x << "," << y;
  // Pen outline with brush inside; without a pen the fill ends one short.
  s.Fill(0);
  HPEN green = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
  HGDIOBJ oldPen = SelectObject(s.Dc, green);
  HGDIOBJ oldBrush = SelectObject(s.Dc, blue);
  Rectangle(s.Dc, 0, 0, 4, 4);
  EXPECT_EQ(0x0000FF00u, s.At(3, 3));
  EXPECT_EQ(0x000000FFu, s.At(1, 1));
  EXPECT_EQ(0x000000FFu, s.At(2, 2));
  EXPECT_EQ(0u, s.At(4, 4));
  SelectObject(s.Dc, GetStockObject(NULL_PEN));
  s.Fill(0);
  Rectangle(s.Dc, 0, 0, 4, 4);
  EXPECT_EQ(0x000000FFu, s.At(2, 2));
  EXPECT_EQ(0u, s.At(3, 3));
  EXPECT_EQ(0u, s.At(3, 0));
  // Lines leave out their last point; a diagonal steps one pixel per row.
  SelectObject(s.Dc, green);
  s.Fill(0);
  MoveToEx(s.Dc, 0, 0, nullptr);
  LineTo(s.Dc, 4, 0);
  LineTo(s.Dc, 4, 4);
  LineTo(s.Dc, 0, 0);
  const char* lines[] = {"#####...", ".#..#...", "..#.#...", "...##...", "....#...", "........"};
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(lines[y][x] == '#' ? 0x0000FF00u : 0u, s.At(x, y)) << x << "," << y;
  POINT p;
  GetCurrentPositionEx(s.Dc, &p);
  EXPECT_EQ(0, p.x);
  // A shallow line: Bresenham rows, clipped by the surface.
  s.Fill(0);
  MoveToEx(s.Dc, -7, -2, nullptr);
  LineTo(s.Dc, 7, 2);  // y = 2x/7 rounded, no ties
  const char* shallow[] = {"##......", "..####..", "......#.", "........", "........", "........"};
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(shallow[y][x] == '#' ? 0x0000FF00u : 0u, s.At(x, y)) << x << "," << y;
  EXPECT_FALSE(DeleteObject(green));  // still selected: the DC would draw with a freed pen
  SelectObject(s.Dc, oldPen);
  SelectObject(s.Dc, oldBrush);
  DeleteObject(green);
  DeleteObject(blue);
}

TEST(GdiTest, StretchNearestAndMirror) {
  TSurface src(2, 2), dst(4, 4);
  src.At(0, 0) = 1;
  src.At(1, 0) = 2;
  src.At(0, 1) = 3;
  src.At(1, 1) = 4;
  EXPECT_EQ(BLACKONWHITE, SetStretchBltMode(dst.Dc, COLORONCOLOR));
  EXPECT_TRUE(StretchBlt(dst.Dc, 0, 0, 4, 4, src.Dc, 0, 0, 2, 2, SRCCOPY));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(src.At(x / 2, y / 2), dst.At(x, y));
  // Mirrored horizontally by a negative destination width.
  EXPECT_TRUE(StretchBlt(dst.Dc, 4, 0, -4, 2, src.Dc, 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(2u, dst.At(0, 0));
  EXPECT_EQ(1u, dst.At(3, 1));
  // Shrinking picks the pixel under each destination centre.
  TSurface wide(6, 1), one(2, 1);
  for (int x = 0; x < 6; ++x) wide.At(x, 0) = 10 + x;
  StretchBlt(one.Dc, 0, 0, 2, 1, wide.Dc, 0, 0, 6, 1, SRCCOPY);
  EXPECT_EQ(11u, one.At(0, 0));
  EXPECT_EQ(14u, one.At(1, 0));
}

TEST(GdiTest, AlphaBlendArithmetic) {
  TSurface src(2, 1), dst(2, 1);
  // Premultiplied half-transparent red over opaque white.
  src.At(0, 0) = 0x80800000;
  dst.At(0, 0) = 0xFFFFFFFF;
  src.At(1, 0) = 0x00000000;  // fully transparent keeps the target
  dst.At(1, 0) = 0x12345678;
  BLENDFUNCTION pp{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  EXPECT_TRUE(AlphaBlend(dst.Dc, 0, 0, 2, 1, src.Dc, 0, 0, 2, 1, pp));
  // 0x80 + 0xFF * 0x7F / 255 = 0x80 + 0x7F for alpha and red; 0x7F for green and blue.
  EXPECT_EQ(0xFFFF7F7Fu, dst.At(0, 0));
  EXPECT_EQ(0x12345678u, dst.At(1, 0));
  // Constant alpha alone: a straight mix of every byte.
  src.At(0, 0) = 0x00FF0000;
  dst.At(0, 0) = 0x000000FF;
  BLENDFUNCTION half{AC_SRC_OVER, 0, 51, 0};  // 20 %
  AlphaBlend(dst.Dc, 0, 0, 1, 1, src.Dc, 0, 0, 1, 1, half);
  EXPECT_EQ(0x003300CCu, dst.At(0, 0));
  // Both: the source is scaled by the constant, then laid over.
  src.At(0, 0) = 0xFF00FF00;
  dst.At(0, 0) = 0xFF0000FF;
  BLENDFUNCTION both{AC_SRC_OVER, 0, 128, AC_SRC_ALPHA};
  AlphaBlend(dst.Dc, 0, 0, 1, 1, src.Dc, 0, 0, 1, 1, both);
  EXPECT_EQ(0xFF00807Fu, dst.At(0, 0));
  // A source rectangle outside the source is refused, as are negative sizes.
  EXPECT_FALSE(AlphaBlend(dst.Dc, 0, 0, 1, 1, src.Dc, 1, 0, 2, 1, pp));
  EXPECT_FALSE(AlphaBlend(dst.Dc, 0, 0, -1, 1, src.Dc, 0, 0, 1, 1, pp));
}

}  // namespace
}  // namespace win
