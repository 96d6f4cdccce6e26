// Definition tags on hostile bodies: parsed, then drawn on a small surface.
// The first byte picks the tag, the second the morph ratio; a bitmap and a
// font are in the dictionary for fills and texts to find.
#include <cairo.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>

#include "platform/flash/Character.h"
#include "tests/platform/SwfDrawBodies.h"

namespace {

constexpr int kCodes[] = {2, 22, 32, 83, 6, 21, 35, 90, 20, 36, 46, 84, 10, 48, 75, 13, 62, 11, 33, 37};

class TDict : public flash::TDictionary {
 public:
  const flash::TCharacter* Find(std::uint16_t id) const override {
    auto it = Chars.find(id);
    return it == Chars.end() ? nullptr : it->second.get();
  }
  std::map<std::uint16_t, std::shared_ptr<flash::TCharacter>> Chars;
};

TDict& Dictionary() {
  static TDict dict = [] {
    TDict d;
    flash::TParseContext ctx;
    ctx.Dictionary = &d;
    const std::uint8_t pixels[16] = {255, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 128, 64, 32, 16};
    std::uint8_t packed[64];
    uLongf size = sizeof packed;
    compress(packed, &size, pixels, sizeof pixels);
    swfdraw_test::TBody bits;
    bits.U16(1).U8(5).U16(2).U16(2).Raw(std::vector<std::uint8_t>(packed, packed + size));
    d.Chars[1] = flash::ParseDrawable(36, bits.Bytes, ctx);
    swfdraw_test::TBody glyph;
    glyph.UB(4, 4).UB(0, 4).Style(-1, 1, -1).RectPath(0, -1024, 1024, 1024).EndShape();
    swfdraw_test::TBody font;
    font.U16(2).U8(0x80).U8(0).U8(1).U8('F').U16(1).U16(4).U16(static_cast<std::uint32_t>(4 + glyph.Bytes.size()));
    font.Raw(glyph.Bytes).U8('A').U16(1024).U16(0).U16(0).U16(1100).Rect(0, 1024, -1024, 0).U16(0);
    d.Chars[2] = flash::ParseDrawable(48, font.Bytes, ctx);
    return d;
  }();
  return dict;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int code = kCodes[data[0] % std::size(kCodes)];
  TDict& dict = Dictionary();
  flash::TParseContext ctx;
  ctx.Version = 4 + data[1] % 7;
  ctx.Dictionary = &dict;
  ctx.JpegTables.assign(data + 2, data + 2 + std::min<std::size_t>(size - 2, data[1] & 0x3F));
  auto c = flash::ParseDrawable(code, std::span(data + 2, size - 2), ctx);
  if (!c) return 0;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 32, 32);
  cairo_t* cr = cairo_create(surface);
  flash::TRenderContext rc;
  rc.Cr = cr;
  rc.Matrix.A = rc.Matrix.D = 1 / 20.0;
  rc.Ratio = static_cast<std::uint16_t>(data[1] * 257);
  rc.Dictionary = &dict;
  rc.AntiAlias = data[1] & 1;
  c->Draw(rc);
  (void)c->Bounds();
  rc.Cxform.AMul = 0.5;
  rc.Cxform.RAdd = 40;
  c->Draw(rc);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return 0;
}
