// The definition tags this renderer draws, by code.
#include "platform/flash/Bitmap.h"
#include "platform/flash/Font.h"
#include "platform/flash/Jpeg.h"
#include "platform/flash/Morph.h"
#include "platform/flash/Shape.h"
#include "platform/flash/Text.h"

namespace flash {

std::shared_ptr<TCharacter> ParseDrawable(int code, std::span<const std::uint8_t> body, TParseContext& ctx) {
  if (body.size() < 2) return nullptr;
  switch (code) {
    case 2:
    case 22:
    case 32:
    case 83:
      return ParseShape(code, body, ctx);
    case 6:
    case 21:
    case 35:
    case 90:
      return ParseJpeg(code, body, ctx);
    case 20:
    case 36:
      return ParseLossless(code, body, ctx);
    case 46:
    case 84:
      return ParseMorph(code, body, ctx);
    case 10:
    case 48:
    case 75:
      return ParseFont(code, body, ctx);
    case 13:
    case 62:
      return ParseFontInfo(code, body, ctx);
    case 11:
    case 33:
      return ParseText(code, body, ctx);
    case 37:
      return ParseTextField(body, ctx);
    default:
      return nullptr;
  }
}

}  // namespace flash
