#include "platform/flash/Text.h"

#include "platform/flash/Font.h"
#include "platform/flash/SwfReader.h"

namespace flash {

void TTextCharacter::Draw(const TRenderContext& rc) const {
  if (!rc.Dictionary) return;
  const TMatrix base = rc.Matrix * matrix_;
  for (const TGlyphRun& run : runs_) {
    const auto* font = dynamic_cast<const TFontCharacter*>(rc.Dictionary->Find(run.FontId));
    if (!font) continue;
    double x = run.X;
    for (const auto& [index, advance] : run.Glyphs) {
      TRenderContext g = rc;
      TMatrix at;
      at.Tx = x;
      at.Ty = run.Y;
      g.Matrix = base * at;
      font->DrawGlyph(index, run.Height, run.Color, g);
      x += advance;
    }
  }
}

std::shared_ptr<TCharacter> ParseText(int code, std::span<const std::uint8_t> body, TParseContext&) {
  TSwfReader r(body);
  r.U16();
  const TRectTw bounds = r.Rect();
  const TMatrix matrix = r.Matrix();
  const unsigned glyphBits = r.U8(), advanceBits = r.U8();
  if (r.Overrun() || glyphBits > 32 || advanceBits > 32) return nullptr;
  std::vector<TGlyphRun> runs;
  TGlyphRun cur;
  double x = 0;
  while (!r.Overrun()) {
    const std::uint8_t flags = r.U8();
    if (flags == 0 || r.Overrun()) break;
    TGlyphRun run = cur;
    run.Glyphs.clear();
    if (flags & 0x08) run.FontId = r.U16();
    if (flags & 0x04) run.Color = code == 33 ? r.Rgba() : r.Rgb();
    if (flags & 0x01) x = r.S16();
    if (flags & 0x02) run.Y = r.S16();
    if (flags & 0x08) run.Height = r.U16();
    const unsigned count = r.U8();
    run.X = x;
    for (unsigned i = 0; i < count && !r.Overrun(); ++i) {
      const std::uint32_t index = r.UB(glyphBits);
      const std::int32_t advance = r.SB(advanceBits);
      run.Glyphs.emplace_back(index, advance);
      x += advance;
    }
    r.AlignBits();
    if (r.Overrun()) break;
    cur = run;
    runs.push_back(std::move(run));
  }
  return std::make_shared<TTextCharacter>(bounds, matrix, std::move(runs));
}

}  // namespace flash
