#include "platform/flash/Font.h"

#include <algorithm>

namespace flash {

namespace {

TShapeGeometry ReadGlyph(std::span<const std::uint8_t> bytes) {
  TSwfReader r(bytes);
  TShapeData shape;
  ReadShape(r, TShapeVersion::sv1, TShapeStyles::ssNone, shape);
  return BuildGeometry(shape.Records, 1);
}

std::span<const std::uint8_t> Between(std::span<const std::uint8_t> base, std::size_t from, std::size_t to) {
  if (from >= base.size() || to <= from) return {};
  return base.subspan(from, std::min(to, base.size()) - from);
}

const std::vector<TFillStyle>& GlyphFills() {
  static const std::vector<TFillStyle> fills(1);
  return fills;
}

}  // namespace

int TFontCharacter::GlyphFor(char32_t code) const {
  auto it = CodeIndex.find(code);
  return it == CodeIndex.end() ? -1 : it->second;
}

void TFontCharacter::IndexCodes() {
  CodeIndex.clear();
  for (std::size_t i = 0; i < Codes.size(); ++i) CodeIndex.try_emplace(Codes[i], static_cast<int>(i));
}

void TFontCharacter::DrawGlyph(std::size_t index, double height, TRgba color, const TRenderContext& rc) const {
  if (index >= GlyphCount()) return;
  TRenderContext g = rc;
  TMatrix scale;
  scale.A = scale.D = height / EmUnits();
  g.Matrix = rc.Matrix * scale;
  DrawGeometry(GlyphSet->Glyphs[index].Outline, GlyphFills(), {}, true, g, {true, color});
}

double TFontCharacter::AdvanceOf(std::size_t index, double height) const {
  if (index >= GlyphCount()) return 0;
  const TGlyph& glyph = GlyphSet->Glyphs[index];
  double advance = glyph.Advance;
  if (!HasLayout) {
    double maxX = 0;
    for (const auto& layer : glyph.Outline.Layers)
      for (const auto& f : layer.Fills)
        for (const TPathOp& op : f.Path)
          if (op.Kind != TPathOp::opClose) maxX = std::max(maxX, op.X);
    advance = maxX + EmUnits() / 16;
  }
  return advance * height / EmUnits();
}

std::shared_ptr<TCharacter> ParseFont(int code, std::span<const std::uint8_t> body, TParseContext&) {
  TSwfReader r(body);
  r.U16();
  auto font = std::make_shared<TFontCharacter>();
  auto glyphs = std::make_shared<TFontGlyphs>();
  if (code == 10) {
    const std::size_t tableAt = r.Position();
    const std::size_t first = r.U16();
    const std::size_t n = std::min(first / 2, r.Remaining() / 2 + 1);
    std::vector<std::size_t> offsets{first};
    for (std::size_t i = 1; i < n; ++i) offsets.push_back(r.U16());
    const auto table = body.subspan(std::min(tableAt, body.size()));
    for (std::size_t i = 0; i < n; ++i)
      glyphs->Glyphs.push_back({ReadGlyph(Between(table, offsets[i], i + 1 < n ? offsets[i + 1] : table.size())), 0});
    font->GlyphSet = std::move(glyphs);
    return font;
  }
  const std::uint8_t flags = r.U8();
  const bool hasLayout = flags & 0x80, wideOffsets = flags & 0x08, wideCodes = flags & 0x04;
  font->Italic = flags & 0x02;
  font->Bold = flags & 0x01;
  r.U8();  // language
  const auto name = r.Bytes(r.U8());
  font->Name.assign(name.begin(), name.end());
  while (!font->Name.empty() && font->Name.back() == '\0') font->Name.pop_back();
  const std::size_t tableAt = r.Position();
  const std::size_t width = wideOffsets ? 4 : 2;
  const std::size_t n = std::min<std::size_t>(r.U16(), r.Remaining() / width);
  const std::size_t tableStart = tableAt + 2;
  std::vector<std::size_t> offsets;
  offsets.reserve(n);
  for (std::size_t i = 0; i < n; ++i) offsets.push_back(wideOffsets ? r.U32() : r.U16());
  const std::size_t codeTable = n ? (wideOffsets ? r.U32() : r.U16()) : 0;
  const auto table = body.subspan(std::min(tableStart, body.size()));
  glyphs->EmUnits = code == 75 ? 20480 : 1024;
  for (std::size_t i = 0; i < n; ++i)
    glyphs->Glyphs.push_back({ReadGlyph(Between(table, offsets[i], i + 1 < n ? offsets[i + 1] : codeTable)), 0});
  if (n && codeTable < table.size()) {
    TSwfReader c(table.subspan(codeTable));
    for (std::size_t i = 0; i < n; ++i) font->Codes.push_back(wideCodes ? c.U16() : c.U8());
    if (hasLayout) {
      font->Ascent = c.U16();
      font->Descent = c.U16();
      font->Leading = c.S16();
      for (std::size_t i = 0; i < n; ++i) glyphs->Glyphs[i].Advance = c.S16();
      font->HasLayout = !c.Overrun();
    }
    if (c.Overrun()) font->Codes.resize(n, 0);
  }
  font->GlyphSet = std::move(glyphs);
  font->IndexCodes();
  return font;
}

std::shared_ptr<TCharacter> ParseFontInfo(int code, std::span<const std::uint8_t> body, TParseContext& ctx) {
  if (!ctx.Dictionary) return nullptr;
  const auto* old = dynamic_cast<const TFontCharacter*>(ctx.Dictionary->Find(DefinitionId(body)));
  if (!old) return nullptr;
  auto font = std::make_shared<TFontCharacter>(*old);
  TSwfReader r(body);
  r.U16();
  const auto name = r.Bytes(r.U8());
  font->Name.assign(name.begin(), name.end());
  const std::uint8_t flags = r.U8();
  font->Italic = flags & 0x04;
  font->Bold = flags & 0x02;
  const bool wide = code == 62 || (flags & 0x01);
  if (code == 62) r.U8();  // language
  font->Codes.clear();
  for (std::size_t i = 0; i < font->GlyphCount() && !r.AtEnd(); ++i) font->Codes.push_back(wide ? r.U16() : r.U8());
  font->IndexCodes();
  return font;
}

}  // namespace flash
