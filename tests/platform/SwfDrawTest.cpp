#include <gtest/gtest.h>

#include <cstdio>
#include <map>
// libjpeg's header needs FILE and size_t first.
#include <jpeglib.h>
#include <zlib.h>

#include <cmath>

#include "platform/flash/Character.h"
#include "platform/flash/Text.h"
#include "tests/platform/SwfDrawBodies.h"

using namespace flash;
using swfdraw_test::TBody;

namespace {

class TDict : public TDictionary {
 public:
  const TCharacter* Find(std::uint16_t id) const override {
    auto it = chars_.find(id);
    return it == chars_.end() ? nullptr : it->second.get();
  }
  // Parses a definition into the dictionary under its id.
  std::shared_ptr<TCharacter> Add(int code, const std::vector<std::uint8_t>& body, int version = 10) {
    TParseContext ctx;
    ctx.Version = version;
    ctx.Dictionary = this;
    ctx.JpegTables = Tables;
    auto c = ParseDrawable(code, body, ctx);
    if (c) chars_[DefinitionId(body)] = c;
    return c;
  }
  std::vector<std::uint8_t> Tables;

 private:
  std::map<std::uint16_t, std::shared_ptr<TCharacter>> chars_;
};

// A 100 x 100 pixel target, transparent or white.
class TCanvas {
 public:
  explicit TCanvas(bool white = false) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 100, 100);
    cr_ = cairo_create(surface_);
    if (white) {
      cairo_set_source_rgb(cr_, 1, 1, 1);
      cairo_paint(cr_);
    }
  }
  ~TCanvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  // Twips to pixels unless told otherwise.
  TRenderContext Context(const TDict& dict) {
    TRenderContext rc;
    rc.Cr = cr_;
    rc.Matrix.A = rc.Matrix.D = 1 / 20.0;
    rc.Dictionary = &dict;
    return rc;
  }
  TRgba At(int x, int y) {
    cairo_surface_flush(surface_);
    const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface_) +
                                                              y * cairo_image_surface_get_stride(surface_));
    const std::uint32_t p = row[x], a = p >> 24;
    if (a == 0) return {0, 0, 0, 0};
    const auto un = [a](std::uint32_t c) { return static_cast<std::uint8_t>(std::min(255u, (c * 255 + a / 2) / a)); };
    return {un(p >> 16 & 0xFF), un(p >> 8 & 0xFF), un(p & 0xFF), static_cast<std::uint8_t>(a)};
  }

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

::testing::AssertionResult Near(TRgba got, TRgba want, int tolerance = 3) {
  for (auto [g, w] : {std::pair{got.R, want.R}, {got.G, want.G}, {got.B, want.B}, {got.A, want.A}})
    if (std::abs(g - w) > tolerance)
      return ::testing::AssertionFailure() << "got " << int(got.R) << "," << int(got.G) << "," << int(got.B) << ","
                                           << int(got.A) << " want " << int(want.R) << "," << int(want.G) << ","
                                           << int(want.B) << "," << int(want.A);
  return ::testing::AssertionSuccess();
}

constexpr TRgba kClear{0, 0, 0, 0}, kRed{255, 0, 0, 255}, kBlue{0, 0, 255, 255}, kGreen{0, 255, 0, 255};

// DefineShape3 whose one fill style is given as raw style bytes, over a rectangle.
std::vector<std::uint8_t> FilledRect(std::uint16_t id, const std::vector<std::uint8_t>& fillStyle, int x, int y, int w, int h) {
  TBody b;
  b.U16(id).Rect(x, x + w, y, y + h).U8(1).Raw(fillStyle).U8(0).ShapeBits();
  b.Style(-1, 1, -1).RectPath(x, y, w, h).EndShape();
  return b.Bytes;
}

}  // namespace

TEST(SwfDrawShape, SolidRectangleEitherSideAndBounds) {
  TDict dict;
  auto shape = dict.Add(32, swfdraw_test::SolidRectShape(1, 0xFF0000FF, 400, 400, 800, 800));
  ASSERT_TRUE(shape);
  EXPECT_EQ(shape->Bounds().XMin, 400);
  EXPECT_EQ(shape->Bounds().XMax, 1200);
  // The same square with its fill on the other side of the edges (fill0), version 1 colours.
  TBody b;
  b.U16(2).Rect(0, 2000, 0, 2000).U8(1).U8(0).Rgb(0x0000FF).U8(0).ShapeBits();
  b.Style(1, -1, -1).RectPath(1400, 400, 400, 400).EndShape();
  auto flipped = dict.Add(2, b.Bytes);
  ASSERT_TRUE(flipped);
  TCanvas canvas;
  shape->Draw(canvas.Context(dict));
  flipped->Draw(canvas.Context(dict));
  EXPECT_TRUE(Near(canvas.At(40, 40), kRed));
  EXPECT_TRUE(Near(canvas.At(21, 59), kRed));
  EXPECT_TRUE(Near(canvas.At(61, 40), kClear));
  EXPECT_TRUE(Near(canvas.At(80, 30), kBlue));
  EXPECT_TRUE(Near(canvas.At(80, 50), kClear));
}

TEST(SwfDrawShape, CircleFromCurves) {
  // Eight quadratic arcs, radius 40 px round (50, 50); controls where the tangents meet.
  const double r = 800, c = 1000, k = r / std::cos(M_PI / 8);
  TBody b;
  b.U16(1).Rect(200, 1800, 200, 1800).U8(1).U8(0).Rgba(0xFF0000FF).U8(0).ShapeBits();
  int px = static_cast<int>(c + r), py = static_cast<int>(c);
  b.Style(-1, 1, -1, true, px, py);
  for (int i = 0; i < 8; ++i) {
    const double mid = (i + 0.5) * M_PI / 4, end = (i + 1) * M_PI / 4;
    const int cx = static_cast<int>(std::lround(c + k * std::cos(mid))), cy = static_cast<int>(std::lround(c + k * std::sin(mid)));
    const int ex = static_cast<int>(std::lround(c + r * std::cos(end))), ey = static_cast<int>(std::lround(c + r * std::sin(end)));
    b.Curve(cx - px, cy - py, ex - cx, ey - cy);
    px = ex;
    py = ey;
  }
  b.EndShape();
  TDict dict;
  auto shape = dict.Add(32, b.Bytes);
  ASSERT_TRUE(shape);
  TCanvas canvas;
  shape->Draw(canvas.Context(dict));
  EXPECT_TRUE(Near(canvas.At(50, 50), kRed));
  EXPECT_TRUE(Near(canvas.At(50, 12), kRed));   // inside near the top
  EXPECT_TRUE(Near(canvas.At(77, 77), kRed));   // 38.9 px out on the diagonal
  EXPECT_TRUE(Near(canvas.At(81, 81), kClear));  // 43.8 px out: outside, though inside the bounding square
  EXPECT_TRUE(Near(canvas.At(15, 15), kClear));
}

TEST(SwfDrawShape, TwoFillsAndHole) {
  // Outer square red; an inner square red outside, blue inside; in that, a hole
  // (edges with blue on one side only).
  TBody b;
  b.U16(1).Rect(0, 2000, 0, 2000).U8(2).U8(0).Rgba(0xFF0000FF).U8(0).Rgba(0x0000FFFF).U8(0).ShapeBits();
  b.Style(-1, 1, -1).RectPath(200, 200, 1600, 1600);
  b.Style(1, 2, -1).RectPath(600, 600, 800, 800);
  b.Style(0, 2, -1).RectPath(900, 900, 200, 200);
  b.EndShape();
  TDict dict;
  auto shape = dict.Add(32, b.Bytes);
  ASSERT_TRUE(shape);
  TCanvas canvas;
  shape->Draw(canvas.Context(dict));
  EXPECT_TRUE(Near(canvas.At(20, 50), kRed));
  EXPECT_TRUE(Near(canvas.At(35, 50), kBlue));
  EXPECT_TRUE(Near(canvas.At(50, 50), kClear));
  EXPECT_TRUE(Near(canvas.At(5, 5), kClear));
}

TEST(SwfDrawShape, LinesHairlinesAndNewStyles) {
  // A 4 px wide green line, then (new styles) a hairline at any scale.
  TBody b;
  b.U16(1).Rect(0, 2000, 0, 2000).U8(0).U8(1).U16(80).Rgba(0x00FF00FF).ShapeBits();
  b.Style(-1, -1, 1, true, 200, 400).Line(1600, 0);
  b.UB(0, 1).UB(1, 1).UB(0, 4);  // new styles only
  b.U8(0).U8(1).U16(0).Rgba(0x0000FFFF).UB(4, 4).UB(4, 4);
  b.Style(-1, -1, 1, true, 200, 1400).Line(1600, 0).EndShape();
  TDict dict;
  auto shape = dict.Add(32, b.Bytes);
  ASSERT_TRUE(shape);
  TCanvas canvas;
  TRenderContext rc = canvas.Context(dict);
  rc.AntiAlias = false;
  shape->Draw(rc);
  EXPECT_TRUE(Near(canvas.At(50, 19), kGreen));
  EXPECT_TRUE(Near(canvas.At(50, 21), kGreen));
  EXPECT_TRUE(Near(canvas.At(50, 24), kClear));
  int blue = 0;
  for (int y = 65; y < 76; ++y) blue += canvas.At(50, y) == kBlue;
  EXPECT_EQ(blue, 1);
}

TEST(SwfDrawGradient, LinearRampAndRadial) {
  // Black to white across 100 px: the gradient square (32768 twips) scaled onto 2000 twips.
  TBody lin;
  lin.U8(0x10).Matrix(2000.0 / 32768, 2000.0 / 32768, 1000, 1000).U8(2).U8(0).Rgba(0x000000FF).U8(255).Rgba(0xFFFFFFFF);
  TBody rad;
  rad.U8(0x12).Matrix(1000.0 / 32768 * 2, 1000.0 / 32768 * 2, 1000, 1000).U8(2).U8(0).Rgba(0xFF0000FF).U8(255).Rgba(0x0000FFFF);
  TDict dict;
  auto ramp = dict.Add(32, FilledRect(1, lin.Bytes, 0, 0, 2000, 400));
  auto disc = dict.Add(32, FilledRect(2, rad.Bytes, 0, 400, 2000, 1600));
  ASSERT_TRUE(ramp && disc);
  TCanvas canvas;
  ramp->Draw(canvas.Context(dict));
  disc->Draw(canvas.Context(dict));
  EXPECT_LT(canvas.At(1, 10).R, 12);
  EXPECT_GT(canvas.At(98, 10).R, 243);
  EXPECT_NEAR(canvas.At(50, 10).R, 128, 8);
  EXPECT_NEAR(canvas.At(25, 10).G, 64, 8);
  EXPECT_TRUE(Near(canvas.At(50, 50), kRed, 12));
  EXPECT_TRUE(Near(canvas.At(50, 99), kBlue, 12));  // past the radius: the end colour (pad)
  EXPECT_NEAR(canvas.At(75, 50).R, 128, 10);        // half way out
}

TEST(SwfDrawBitmap, RepeatingLosslessFillAndAlphaColormap) {
  // 2 x 2, format 5: red, green / blue, white.
  const std::vector<std::uint8_t> pixels{255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255};
  std::vector<std::uint8_t> packed(compressBound(pixels.size()));
  uLongf size = packed.size();
  compress(packed.data(), &size, pixels.data(), pixels.size());
  packed.resize(size);
  TDict dict;
  TBody bits;
  bits.U16(5).U8(5).U16(2).U16(2).Raw(packed);
  ASSERT_TRUE(dict.Add(20, bits.Bytes));
  // Non-smoothed repeating fill, each image pixel 5 screen pixels.
  TBody fill;
  fill.U8(0x42).U16(5).Matrix(100, 100);
  auto shape = dict.Add(32, FilledRect(1, fill.Bytes, 0, 0, 800, 800));
  ASSERT_TRUE(shape);
  // A colormapped Lossless2 with half-transparent red (premultiplied: 128,0,0,128), 1 x 1.
  const std::vector<std::uint8_t> mapped{128, 0, 0, 128, 0, 0, 0, 0};
  std::vector<std::uint8_t> mappedZ(compressBound(mapped.size()));
  size = mappedZ.size();
  compress(mappedZ.data(), &size, mapped.data(), mapped.size());
  mappedZ.resize(size);
  TBody lossless2;
  lossless2.U16(6).U8(3).U16(1).U16(1).U8(0).Raw(mappedZ);
  auto half = dict.Add(36, lossless2.Bytes);
  ASSERT_TRUE(half);
  EXPECT_EQ(half->Bounds().XMax, 20);
  // Refused: too large, and data shorter than the image.
  TBody huge;
  huge.U16(7).U8(5).U16(9000).U16(2).Raw(packed);
  EXPECT_FALSE(dict.Add(20, huge.Bytes));
  TBody shortData;
  shortData.U16(8).U8(5).U16(3).U16(3).Raw(packed);
  EXPECT_FALSE(dict.Add(20, shortData.Bytes));

  TCanvas canvas(true);
  shape->Draw(canvas.Context(dict));
  EXPECT_TRUE(Near(canvas.At(2, 2), kRed));
  EXPECT_TRUE(Near(canvas.At(7, 2), kGreen));
  EXPECT_TRUE(Near(canvas.At(2, 7), kBlue));
  EXPECT_TRUE(Near(canvas.At(12, 2), kRed));  // repeated
  EXPECT_TRUE(Near(canvas.At(37, 37), {255, 255, 255, 255}));
  TRenderContext rc = canvas.Context(dict);
  rc.Matrix.A = rc.Matrix.D = 1;  // 20 px square
  rc.Matrix.Tx = 60;
  half->Draw(rc);
  EXPECT_TRUE(Near(canvas.At(70, 10), {255, 127, 127, 255}, 4));
}

namespace {

// A 16 x 16 JPEG of one colour; with `tables`, the tables go separately.
std::vector<std::uint8_t> MakeJpeg(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::vector<std::uint8_t>* tables = nullptr) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  c.image_width = c.image_height = 16;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (tables) {
    jpeg_mem_dest(&c, &out, &size);
    jpeg_write_tables(&c);
    tables->assign(out, out + size);
    free(out);
    out = nullptr;
    size = 0;
    jpeg_suppress_tables(&c, TRUE);
  }
  jpeg_mem_dest(&c, &out, &size);
  jpeg_start_compress(&c, tables == nullptr);
  unsigned char row[16 * 3];
  for (int x = 0; x < 16; ++x) row[3 * x] = r, row[3 * x + 1] = g, row[3 * x + 2] = b;
  JSAMPROW rows[1] = {row};
  while (c.next_scanline < 16) jpeg_write_scanlines(&c, rows, 1);
  jpeg_finish_compress(&c);
  std::vector<std::uint8_t> bytes(out, out + size);
  free(out);
  jpeg_destroy_compress(&c);
  return bytes;
}

}  // namespace

TEST(SwfDrawBitmap, JpegForms) {
  TDict dict;
  // JPEG2 with the stray end/start pair some tools wrote first.
  TBody j2;
  j2.U16(1).U8(0xFF).U8(0xD9).U8(0xFF).U8(0xD8).Raw(MakeJpeg(200, 30, 30));
  auto two = dict.Add(21, j2.Bytes);
  ASSERT_TRUE(two);
  EXPECT_EQ(two->Bounds().XMax, 320);
  // DefineBits: tables apart, from JPEGTables.
  std::vector<std::uint8_t> tables;
  const auto image = MakeJpeg(30, 30, 200, &tables);
  dict.Tables = tables;
  TBody bits;
  bits.U16(2).Raw(image);
  auto one = dict.Add(6, bits.Bytes);
  ASSERT_TRUE(one);
  // JPEG3 with a fully transparent alpha plane.
  const auto jpeg = MakeJpeg(30, 200, 30);
  const std::vector<std::uint8_t> alpha(256, 0);
  std::vector<std::uint8_t> alphaZ(compressBound(alpha.size()));
  uLongf size = alphaZ.size();
  compress(alphaZ.data(), &size, alpha.data(), alpha.size());
  alphaZ.resize(size);
  TBody j3;
  j3.U16(3).U32(static_cast<std::uint32_t>(jpeg.size())).Raw(jpeg).Raw(alphaZ);
  auto three = dict.Add(35, j3.Bytes);
  ASSERT_TRUE(three);
  TBody broken;
  broken.U16(4).Raw({0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x7F, 0xFF, 0x7F, 0xFF});
  EXPECT_FALSE(dict.Add(21, broken.Bytes));

  TCanvas canvas(true);
  TRenderContext rc = canvas.Context(dict);
  two->Draw(rc);
  rc.Matrix.Tx = 20;
  one->Draw(rc);
  rc.Matrix.Tx = 40;
  three->Draw(rc);
  EXPECT_TRUE(Near(canvas.At(8, 8), {200, 30, 30, 255}, 6));
  EXPECT_TRUE(Near(canvas.At(28, 8), {30, 30, 200, 255}, 6));
  EXPECT_TRUE(Near(canvas.At(48, 8), {255, 255, 255, 255}, 2));
}

TEST(SwfDrawMorph, StartMiddleEnd) {
  // A 20 px square moving from x 0 to x 60, red to blue.
  TBody b;
  b.U16(1).Rect(0, 1600, 0, 400).Rect(0, 1600, 0, 400);
  TBody styles;
  styles.U8(1).U8(0).Rgba(0xFF0000FF).Rgba(0x0000FFFF).U8(0);
  TBody start;
  start.ShapeBits().Style(-1, 1, -1).RectPath(0, 0, 400, 400).EndShape();
  TBody end;
  end.ShapeBits().RectPath(1200, 0, 400, 400).EndShape();
  b.U32(static_cast<std::uint32_t>(styles.Bytes.size() + start.Bytes.size())).Raw(styles.Bytes).Raw(start.Bytes).Raw(end.Bytes);
  TDict dict;
  auto morph = dict.Add(46, b.Bytes);
  ASSERT_TRUE(morph);
  const auto at = [&](std::uint16_t ratio, int x) {
    TCanvas canvas;
    TRenderContext rc = canvas.Context(dict);
    rc.Ratio = ratio;
    morph->Draw(rc);
    return canvas.At(x, 10);
  };
  EXPECT_TRUE(Near(at(0, 10), kRed));
  EXPECT_TRUE(Near(at(0, 70), kClear));
  EXPECT_TRUE(Near(at(32768, 40), {128, 0, 127, 255}, 3));
  EXPECT_TRUE(Near(at(32768, 10), kClear));
  EXPECT_TRUE(Near(at(65535, 70), kBlue));
}

namespace {

// DefineFont2 (id 1) with one glyph: a full em square standing on the baseline, for 'A'.
std::vector<std::uint8_t> SquareFont() {
  TBody glyph;
  glyph.UB(4, 4).UB(0, 4).Style(-1, 1, -1).RectPath(0, -1024, 1024, 1024).EndShape();
  TBody f;
  f.U16(1).U8(0x80).U8(0).U8(3).Raw({'S', 'q', 'r'}).U16(1).U16(4).U16(static_cast<std::uint32_t>(4 + glyph.Bytes.size()));
  f.Raw(glyph.Bytes).U8('A');
  f.U16(1024).U16(0).U16(0).U16(1100).Rect(0, 1024, -1024, 0).U16(0);
  return f.Bytes;
}

}  // namespace

TEST(SwfDrawText, GlyphsOfStaticTextAndField) {
  TDict dict;
  ASSERT_TRUE(dict.Add(48, SquareFont()));
  // Two glyphs 20 px high in green at (10, 40) baseline, the second 30 px further.
  TBody t;
  t.U16(2).Rect(0, 2000, 0, 2000).Matrix().U8(1).U8(11);
  t.U8(0x8F).U16(1).Rgb(0x00FF00).U16(200).U16(800).U16(400).U8(2).UB(0, 1).SB(600, 11).UB(0, 1).SB(600, 11);
  t.U8(0);
  auto text = dict.Add(11, t.Bytes);
  ASSERT_TRUE(text);
  // A bordered field drawing 'A' with the embedded font, centred.
  auto field = dict.Add(37, TBody().U16(3).Rect(0, 2000, 1000, 2000).U8(0xA5).U8(0x29).U16(1).U16(400).Rgba(0x0000FFFF)
                                .U8(2).U16(0).U16(0).U16(0).U16(0).U8(0).Raw({'A', 0}).Bytes);
  ASSERT_TRUE(field);
  TCanvas canvas;
  text->Draw(canvas.Context(dict));
  field->Draw(canvas.Context(dict));
  EXPECT_TRUE(Near(canvas.At(20, 30), kGreen));
  EXPECT_TRUE(Near(canvas.At(45, 30), kGreen));
  EXPECT_TRUE(Near(canvas.At(35, 30), kClear));
  EXPECT_TRUE(Near(canvas.At(5, 30), kClear));
  EXPECT_TRUE(Near(canvas.At(50, 65), kBlue));  // the glyph, centred, below the 2 px gutter
  EXPECT_TRUE(Near(canvas.At(20, 65), {255, 255, 255, 255}));  // the field's background
  EXPECT_LT(canvas.At(0, 75).R, 160);  // its border
  // Device text (no outlines), HTML, in red: ink inside the field's first line only.
  auto device = dict.Add(37, TBody().U16(4).Rect(0, 2000, 0, 1000).U8(0x85).U8(0x02).U16(9).U16(300).Rgba(0xFF0000FF)
                                 .U8(0).Raw({'<', 'b', '>', 'W', 'W', 'W', '<', '/', 'b', '>', 0}).Bytes);
  ASSERT_TRUE(device);
  TCanvas second(true);
  device->Draw(second.Context(dict));
  int ink = 0, stray = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      if (const TRgba c = second.At(x, y); c.G < 128) ++(y < 25 && c.R > 200 ? ink : stray);
  EXPECT_GT(ink, 20);
  EXPECT_EQ(stray, 0);
  EXPECT_EQ(PlainFromHtml(U"<p align=\"left\"><font>a&amp;b</font></p><p>c<br/>d&#65;</p>"), U"a&b\nc\ndA");
}

TEST(SwfDrawColor, TransformWithAlphaOnEveryFillKind) {
  TDict dict;
  auto solid = dict.Add(32, swfdraw_test::SolidRectShape(1, 0xFF0000FF, 0, 0, 1000, 1000));
  TBody lin;
  lin.U8(0x10).Matrix(1000.0 / 32768, 1, 1500, 0).U8(2).U8(0).Rgba(0xFF0000FF).U8(255).Rgba(0xFF0000FF);
  auto grad = dict.Add(32, FilledRect(2, lin.Bytes, 1000, 0, 1000, 1000));
  ASSERT_TRUE(solid && grad);
  TCanvas canvas(true);
  TRenderContext rc = canvas.Context(dict);
  rc.Cxform.RMul = 0;
  rc.Cxform.BAdd = 255;
  rc.Cxform.AMul = 0.5;
  solid->Draw(rc);
  grad->Draw(rc);
  EXPECT_TRUE(Near(canvas.At(25, 25), {127, 127, 255, 255}, 3));
  EXPECT_TRUE(Near(canvas.At(75, 25), {127, 127, 255, 255}, 3));
}
