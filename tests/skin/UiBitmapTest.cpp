#include "skin/UiBitmap.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Text.h"
#include "skin/UiBitmapList.h"
#include "skin/UiBlend.h"

namespace vorra {
namespace {

using win::RECT;

std::unique_ptr<TUiBitmap> Image(int w, int h, TUiColor fill) {
  auto b = std::make_unique<TUiBitmap>();
  b->SetSize(w, h);
  b->Fill(fill);
  return b;
}

// Each byte by the blend formula on its own.
TUiColor Expected(TUiColor s, TUiColor d) {
  const unsigned a = s >> 24;
  if (a == 255) return s;
  if (a == 0) return d;
  TUiColor r = 0;
  for (int sh = 0; sh < 32; sh += 8)
    r |= ((((a * ((s >> sh) & 255) + 128) >> 8) + (((255 - a) * ((d >> sh) & 255) + 128) >> 8)) & 255) << sh;
  return r;
}

TEST(UiBitmapTest, SetSizeTakesAbsoluteValuesAndIgnoresZero) {
  TUiBitmap b;
  int changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  b.SetSize(-10, 5);
  EXPECT_EQ(10, b.Width());
  EXPECT_EQ(5, b.Height());
  EXPECT_EQ(-5, b.BitmapInfo().bmiHeader.biHeight);
  EXPECT_EQ(1, changes);
  b.SetSize(0, 5);
  b.SetSize(7, 0);
  b.SetSize(10, -5);  // the same size
  EXPECT_EQ(10, b.Width());
  EXPECT_EQ(5, b.Height());
  EXPECT_EQ(1, changes);
  EXPECT_FALSE(b.Empty());
  TUiBitmap empty;
  empty.SetSize(0, 0);
  EXPECT_TRUE(empty.Empty());
  EXPECT_THROW(empty.SetSize(1 << 20, 1 << 20), EUiBitmapError);
  EXPECT_TRUE(empty.Empty());
}

TEST(UiBitmapTest, BlendKeepsEveryByteExact) {
  // Alpha 128 over opaque white, as drawn.
  auto target = Image(1, 1, 0xFFFFFFFF);
  auto src = Image(1, 1, 0x80102030);
  src->SetAlphaBlend(true);
  src->DrawAll(target.get(), 0, 0);
  auto ch = [](unsigned s, unsigned d) { return ((128 * s + 128) >> 8) + ((127 * d + 128) >> 8); };
  EXPECT_EQ((ch(0x80, 255) << 24) | (ch(0x10, 255) << 16) | (ch(0x20, 255) << 8) | ch(0x30, 255),
            target->GetPixel(0, 0));
  // Every alpha, source and target byte through the row blender, all four
  // lanes at once (no carry crosses a lane); 259 columns reach the tail too.
  auto all = Image(259, 256, 0);
  for (unsigned a = 0; a < 256; ++a)
    for (unsigned x = 0; x < 259; ++x) {
      const unsigned v = x & 255;
      all->SetPixel(x, a, (a << 24) | (v << 16) | ((255 - v) << 8) | v);
    }
  all->SetAlphaBlend(true);
  auto t = Image(259, 256, 0);
  for (unsigned d = 0; d < 256; d += 3) {  // 0 and 255 among them
    const TUiColor dp = (d << 24) | (d << 16) | (d << 8) | (255 - d);
    t->Fill(dp);
    all->DrawAll(t.get(), 0, 0);
    for (int a = 0; a < 256; ++a)
      for (int x = 0; x < 259; ++x) {
        const TUiColor sp = all->GetPixel(x, a);
        ASSERT_EQ(Expected(sp, dp), t->GetPixel(x, a)) << a << " " << x << " " << d;
        ASSERT_EQ(Expected(sp, dp), UiBlend(sp, dp));
      }
    std::vector<TUiColor> row(259, dp);
    for (int a = 0; a < 256; a += 5) {
      UiBlendRowBaseline(row.data(), all->ScanLine(a), row.data(), 259);
      for (int x = 0; x < 259; ++x) ASSERT_EQ(Expected(all->GetPixel(x, a), dp), row[x]) << a << " " << x;
      std::fill(row.begin(), row.end(), dp);
    }
  }
}

TEST(UiBitmapTest, DrawClipsAtEveryEdge) {
  auto src = Image(4, 4, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src->SetPixel(x, y, 0xFF000000u | (y * 4 + x));
  for (bool alpha : {false, true}) {
    src->SetAlphaBlend(alpha);
    auto t = Image(6, 6, 0x11111111);
    src->DrawAll(t.get(), -2, -1);  // off the left and top
    EXPECT_EQ(0xFF000006u, t->GetPixel(0, 0));
    EXPECT_EQ(0xFF00000Fu, t->GetPixel(1, 2));
    EXPECT_EQ(0x11111111u, t->GetPixel(2, 0));
    src->DrawAll(t.get(), 4, 5);  // off the right and bottom
    EXPECT_EQ(0xFF000000u, t->GetPixel(4, 5));
    EXPECT_EQ(0xFF000001u, t->GetPixel(5, 5));
    // A source rectangle partly outside the image keeps its pixels in place.
    auto u = Image(6, 6, 0x11111111);
    src->Draw(u.get(), 1, 1, TRect{-1, -1, 2, 2});
    EXPECT_EQ(0x11111111u, u->GetPixel(1, 1));
    EXPECT_EQ(0xFF000000u, u->GetPixel(2, 2));
    EXPECT_EQ(0xFF000005u, u->GetPixel(3, 3));
    EXPECT_EQ(0x11111111u, u->GetPixel(4, 4));
    src->DrawAll(u.get(), 100, 0);
    src->Draw(u.get(), 0, 0, TRect{2, 2, 2, 5});
    EXPECT_EQ(0x11111111u, u->GetPixel(0, 0));
  }
  // Alpha 0 (the key among them) leaves the target alone.
  auto key = Image(2, 1, UiTransparentKey);
  key->SetPixel(1, 0, 0xFF123456);
  key->SetAlphaBlend(true);
  auto t = Image(2, 1, 0xFFFFFFFF);
  key->DrawAll(t.get(), 0, 0);
  EXPECT_EQ(0xFFFFFFFFu, t->GetPixel(0, 0));
  EXPECT_EQ(0xFF123456u, t->GetPixel(1, 0));
}

TEST(UiBitmapTest, StretchStepsInFixedPointFromTheClippedOrigin) {
  auto src = Image(3, 1, 0);
  for (int x = 0; x < 3; ++x) src->SetPixel(x, 0, 0xFF000000u | x);
  auto t = Image(6, 2, 0);
  src->Stretch(t.get(), TRect{0, 0, 6, 2}, TRect{0, 0, 3, 1});
  for (int x = 0; x < 6; ++x) EXPECT_EQ(0xFF000000u | (x / 2), t->GetPixel(x, 1)) << x;
  // Left edge off the target: the visible pixels stay where they were.
  auto u = Image(4, 1, 0);
  src->Stretch(u.get(), TRect{-2, 0, 4, 1}, TRect{0, 0, 3, 1});
  EXPECT_EQ(0xFF000001u, u->GetPixel(0, 0));
  EXPECT_EQ(0xFF000002u, u->GetPixel(3, 0));
  // Shrinking by 3 takes every third pixel.
  auto wide = Image(9, 1, 0);
  for (int x = 0; x < 9; ++x) wide->SetPixel(x, 0, 0xFF000000u | x);
  auto v = Image(3, 1, 0);
  wide->Stretch(v.get(), TRect{0, 0, 3, 1}, TRect{0, 0, 9, 1});
  EXPECT_EQ(0xFF000006u, v->GetPixel(2, 0));
}

TEST(UiBitmapTest, TileCropsTheRemainderFromTheSourcesCorner) {
  auto src = Image(10, 10, 0);
  for (int x = 0; x < 10; ++x) src->SetPixel(x, 0, 0xFF000000u | x);
  auto t = Image(30, 10, 0xEEEEEEEE);
  src->Tile(t.get(), TRect{0, 0, 25, 10}, TRect{0, 0, 10, 10});
  EXPECT_EQ(0xFF000009u, t->GetPixel(9, 0));
  EXPECT_EQ(0xFF000000u, t->GetPixel(20, 0));
  EXPECT_EQ(0xFF000004u, t->GetPixel(24, 0));
  EXPECT_EQ(0xEEEEEEEEu, t->GetPixel(25, 0));
}

TEST(UiBitmapTest, FillRectClipsAndBlendsInAlphaMode) {
  auto b = Image(4, 4, 0xFF000000);
  b->FillRect(TRect{-5, 2, 2, 100}, 0xFF0000FF);
  EXPECT_EQ(0xFF0000FFu, b->GetPixel(0, 3));
  EXPECT_EQ(0xFF0000FFu, b->GetPixel(1, 2));
  EXPECT_EQ(0xFF000000u, b->GetPixel(2, 2));
  EXPECT_EQ(0xFF000000u, b->GetPixel(0, 1));
  b->SetAlphaBlend(true);
  b->FillRect(TRect{0, 0, 1, 1}, 0x80FFFFFF);
  EXPECT_EQ(UiBlend(0x80FFFFFF, 0xFF000000), b->GetPixel(0, 0));
  b->FillRect(TRect{3, 3, 3, 4}, 0xFFFFFFFF);  // empty
  EXPECT_EQ(0xFF000000u, b->GetPixel(3, 3));
}

TEST(UiBitmapTest, KeyReplacementAndRegionIgnoreAlpha) {
  auto b = Image(5, 2, 0xFF000000);
  b->SetPixel(0, 0, 0x00FF00FF);
  b->SetPixel(1, 0, 0x80FF00FF);
  b->SetPixel(2, 0, 0xFFFE00FF);  // one step from magenta in each channel
  b->SetPixel(3, 0, 0xFFFF01FF);
  b->SetPixel(4, 0, 0xFFFF00FE);
  b->ReplaceKey(0xFF00FF);
  EXPECT_EQ(UiTransparentKey, b->GetPixel(0, 0));
  EXPECT_EQ(UiTransparentKey, b->GetPixel(1, 0));
  EXPECT_EQ(0xFFFE00FFu, b->GetPixel(2, 0));
  EXPECT_EQ(0xFFFF01FFu, b->GetPixel(3, 0));
  EXPECT_EQ(0xFFFF00FEu, b->GetPixel(4, 0));
  // Row 1: key, shape, key with alpha, shape, key's neighbour.
  b->SetPixel(0, 1, UiTransparentKey);
  b->SetPixel(2, 1, 0xFF7F007F);
  b->SetPixel(4, 1, 0x007F0080);
  win::HRGN r = b->GetRegion(10, 20);
  std::vector<RECT> want = win::rgn::FromRects(
      {RECT{12, 20, 15, 21}, RECT{11, 21, 12, 22}, RECT{13, 21, 15, 22}});
  const auto& got = win::gdi::As<win::HRGN__>(r, win::TGdiKind::Region)->Rects;
  ASSERT_EQ(want.size(), got.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(want[i].left, got[i].left);
    EXPECT_EQ(want[i].top, got[i].top);
    EXPECT_EQ(want[i].right, got[i].right);
    EXPECT_EQ(want[i].bottom, got[i].bottom);
  }
  win::DeleteObject(r);
}

TEST(UiBitmapTest, MergeUnderLaysTheImageOverTheBackground) {
  auto bg = Image(4, 4, 0xFF0000FF);
  bg->SetPixel(2, 1, 0xFF00FF00);
  auto top = Image(2, 2, 0xFFFF0000);
  top->SetPixel(1, 0, 0x00000000);
  top->SetPixel(0, 1, 0x80FFFFFF);
  top->MergeUnder(bg.get(), 0, 0, TRect{1, 1, 3, 3});
  EXPECT_EQ(0xFFFF0000u, top->GetPixel(0, 0));
  EXPECT_EQ(0xFF00FF00u, top->GetPixel(1, 0));
  EXPECT_EQ(UiBlend(0x80FFFFFF, 0xFF0000FF), top->GetPixel(0, 1));
  // Only where the background has pixels, each at its own place.
  top->SetPixel(0, 1, 0);
  top->SetPixel(1, 1, 0);
  top->MergeUnder(bg.get(), 0, 0, TRect{3, -1, 5, 1});
  EXPECT_EQ(0xFF0000FFu, top->GetPixel(0, 1));
  EXPECT_EQ(0u, top->GetPixel(1, 1));
  EXPECT_EQ(0xFFFF0000u, top->GetPixel(0, 0));
}

TEST(UiBitmapTest, ColoursPackAsArgb) {
  EXPECT_EQ(0xFFFF0000u, UiColor(clRed));
  EXPECT_EQ(0x400000FFu, UiColor(clBlue, 64));
  EXPECT_EQ(0xFF000000u | (UiColor(clBtnFace) & 0xFFFFFF), UiBtnFaceColor());
  EXPECT_EQ(0x00FF0000u | 0x7F00u | 0xFF000000u, UiRGBA(300, 127, -4, 999));
  EXPECT_EQ(clRed, UiColorToColor(0x12FF0000));
  EXPECT_EQ(0x00563412, UiColorToColor(0xFF123456));
}

TEST(UiBitmapTest, HueTurnsOnlyVisiblePixels) {
  auto b = Image(3, 1, 0);
  b->SetPixel(0, 0, 0xFFFF0000);
  b->SetPixel(1, 0, 0x40FF0000);
  b->SetPixel(2, 0, UiTransparentKey);
  b->ChangeHue(85);
  EXPECT_EQ(0xFF00FF00u, b->GetPixel(0, 0));
  EXPECT_EQ(0xFF00FF00u, b->GetPixel(1, 0));
  EXPECT_EQ(UiTransparentKey, b->GetPixel(2, 0));
  // 255 steps: one step back from red wraps to 254, not 255.
  EXPECT_EQ(UiRotateHue(0xFF0000, 254), UiRotateHue(0xFF0000, -1));
  EXPECT_EQ(0x808080u, UiRotateHue(0x808080, 100));
}

TEST(UiBitmapTest, StreamRecordsRoundTripAndRefuseAbsurdSizes) {
  auto b = Image(3, 2, 0xA1B2C3D4);
  b->SetName("Caption");
  TMemoryStream s;
  b->SaveToStream(&s);
  TUiBitmap empty;
  empty.SaveToStream(&s);
  s.SetPosition(0);
  TUiBitmap c, d;
  c.LoadFromStream(&s);
  d.LoadFromStream(&s);  // a 0 x 0 record carries no pixels
  EXPECT_EQ(s.Size(), s.Position());
  EXPECT_EQ("Caption", c.Name());
  EXPECT_EQ(0xA1B2C3D4u, c.GetPixel(2, 1));
  EXPECT_TRUE(d.Empty());
  // 30000 x 30000 promised, a few bytes there: no 3.6 GB surface.
  TMemoryStream bad;
  const std::int32_t rec[] = {0, 30000, 30000, 1, 2, 3};
  bad.WriteBuffer(rec, sizeof rec);
  bad.SetPosition(0);
  TUiBitmap e;
  EXPECT_THROW(e.LoadFromStream(&bad), EReadError);
  EXPECT_TRUE(e.Empty());
}

TEST(UiBitmapTest, TextAndShapes) {
  TUiBitmap none;
  EXPECT_EQ(0, none.TextHeight("Hg"));
  auto b = Image(60, 60, 0xFFFFFFFF);
  b->Font()->SetColor(clBlack);
  EXPECT_GT(b->TextHeight("Hg"), 5);
  EXPECT_GT(b->TextWidth("Wide text"), b->TextWidth("W"));
  // Turned text is taller than wide.
  b->DrawRotatedText("Tab", TRect{0, 0, 20, 60}, true, win::DT_SINGLELINE);
  int top = 60, bottom = -1, left = 60, right = -1;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x)
      if ((b->GetPixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
        top = std::min(top, y), bottom = std::max(bottom, y), left = std::min(left, x), right = std::max(right, x);
      }
  ASSERT_GE(bottom, 0);
  EXPECT_GT(bottom - top, right - left);
  EXPECT_LT(right, 20);
  // Frame: top-left colour on the top row and left column short of their ends.
  auto f = Image(4, 4, 0xFF000000);
  f->FrameRect(TRect{0, 0, 4, 4}, 0xFFFFFFFF, 0xFF808080);
  EXPECT_EQ(0xFFFFFFFFu, f->GetPixel(2, 0));
  EXPECT_EQ(0xFF808080u, f->GetPixel(3, 0));
  EXPECT_EQ(0xFF808080u, f->GetPixel(0, 3));
  EXPECT_EQ(0xFF000000u, f->GetPixel(1, 1));
  // Rounded corners stay out, the middle is filled.
  auto r = Image(20, 20, 0xFF000000);
  r->RoundRect(TRect{0, 0, 20, 20}, 10, 0xFFFF0000);
  EXPECT_EQ(0xFF000000u, r->GetPixel(0, 0));
  EXPECT_EQ(0xFF0000u, r->GetPixel(10, 10) & 0xFFFFFF);
  EXPECT_EQ(0xFF0000u, r->GetPixel(10, 0) & 0xFFFFFF);
  auto g = Image(300, 1, 0);
  g->GradientRect(TRect{0, 0, 300, 1}, 0xFF000000, false, 0xFF0000FF);
  EXPECT_EQ(0xFF000000u, g->GetPixel(0, 0));
  EXPECT_EQ(0xFF0000FFu, g->GetPixel(299, 0));
  EXPECT_LT(g->GetPixel(100, 0), g->GetPixel(200, 0));
}

TEST(UiBitmapListTest, LinksResolveByNameIgnoringCase) {
  TUiBitmapList list;
  auto* a = new TUiBitmap;
  a->SetName("Frame");
  list.Add(a);
  TUiBitmapLink link;
  link.SetName("FRAME");
  link.SetRect(TRect{0, 0, 4, 0});
  link.Resolve(&list);
  EXPECT_EQ(a, link.Bitmap());
  EXPECT_FALSE(link.Usable());  // no height
  link.SetBottom(2);
  TUiBitmapLink copy;
  copy.Assign(&link);
  EXPECT_TRUE(copy.Usable());
  EXPECT_EQ(a, copy.Bitmap());
  link.SetName("missing");
  link.Resolve(&list);
  EXPECT_EQ(nullptr, link.Bitmap());
}

}  // namespace
}  // namespace vorra
