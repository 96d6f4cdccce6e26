// Embedded fonts: glyph outlines, the character code of each glyph and,
// when the font has one, its layout (ascent, descent, advances).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/flash/Shape.h"

namespace flash {

struct TGlyph {
  TShapeGeometry Outline;  // in font units
  double Advance = 0;      // font units; 0 when the font has no layout
};

struct TFontGlyphs {
  std::vector<TGlyph> Glyphs;
  double EmUnits = 1024;  // 20480 for DefineFont3
};

class TFontCharacter : public TCharacter {
 public:
  TRectTw Bounds() const override { return {}; }
  void Draw(const TRenderContext&) const override {}

  // The glyph for a character code, or -1.
  int GlyphFor(char32_t code) const;
  // Draws glyph `index` at rc.Matrix (text space, one em = `height` twips) in `color`.
  void DrawGlyph(std::size_t index, double height, TRgba color, const TRenderContext& rc) const;
  // Advance in twips at `height`; a guess from the outline width without a layout.
  double AdvanceOf(std::size_t index, double height) const;
  std::size_t GlyphCount() const { return GlyphSet ? GlyphSet->Glyphs.size() : 0; }
  double EmUnits() const { return GlyphSet ? GlyphSet->EmUnits : 1024; }

  std::string Name;
  bool Bold = false, Italic = false;
  bool HasLayout = false;
  double Ascent = 0, Descent = 0, Leading = 0;  // font units

  // Shared with the copies DefineFontInfo makes.
  std::shared_ptr<const TFontGlyphs> GlyphSet;
  std::vector<char32_t> Codes;  // per glyph
  std::unordered_map<char32_t, int> CodeIndex;
  void IndexCodes();
};

// DefineFont (10), DefineFont2 (48), DefineFont3 (75).
std::shared_ptr<TCharacter> ParseFont(int code, std::span<const std::uint8_t> body, TParseContext& ctx);
// DefineFontInfo (13) and DefineFontInfo2 (62): the font already defined under
// the same id, copied with its name and character codes; it replaces the old one.
std::shared_ptr<TCharacter> ParseFontInfo(int code, std::span<const std::uint8_t> body, TParseContext& ctx);

}  // namespace flash
