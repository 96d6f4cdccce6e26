// Static text (DefineText) and text fields (DefineEditText).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/flash/Character.h"

namespace flash {

struct TGlyphRun {
  std::uint16_t FontId = 0;
  TRgba Color;
  double X = 0, Y = 0, Height = 0;
  std::vector<std::pair<std::uint32_t, std::int32_t>> Glyphs;  // index, advance
};

class TTextCharacter : public TCharacter {
 public:
  TTextCharacter(TRectTw bounds, TMatrix matrix, std::vector<TGlyphRun> runs)
      : bounds_(bounds), matrix_(matrix), runs_(std::move(runs)) {}
  TRectTw Bounds() const override { return bounds_; }
  void Draw(const TRenderContext& rc) const override;

 private:
  TRectTw bounds_;
  TMatrix matrix_;
  std::vector<TGlyphRun> runs_;
};

struct TTextFieldData {
  TRectTw Bounds;
  bool WordWrap = false, Multiline = false, Password = false, Border = false, Html = false, UseOutlines = false;
  std::uint16_t FontId = 0;
  double Height = 240;
  TRgba Color{0, 0, 0, 255};
  std::uint8_t Align = 0;  // left, right, centre, justify
  double LeftMargin = 0, RightMargin = 0, Indent = 0, Leading = 0;
  std::u32string Text;  // tags stripped, entities decoded
};

class TTextFieldCharacter : public TCharacter {
 public:
  explicit TTextFieldCharacter(TTextFieldData d) : d_(std::move(d)) {}
  TRectTw Bounds() const override { return d_.Bounds; }
  void Draw(const TRenderContext& rc) const override;

 private:
  TTextFieldData d_;
};

// HTML text as plain text: tags dropped, line breaks kept, entities decoded.
std::u32string PlainFromHtml(const std::u32string& html);

// DefineText (11), DefineText2 (33).
std::shared_ptr<TCharacter> ParseText(int code, std::span<const std::uint8_t> body, TParseContext& ctx);
// DefineEditText (37).
std::shared_ptr<TCharacter> ParseTextField(std::span<const std::uint8_t> body, TParseContext& ctx);

}  // namespace flash
