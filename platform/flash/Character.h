// The meeting point of the movie's definitions and the player: a character is
// something a definition tag made that the display list can place and draw.
// Shapes, morphs, bitmaps, fonts and texts come from ParseDrawable; sprites and
// buttons, which hold display lists of their own, belong to the player.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/flash/SwfTypes.h"

namespace flash {

class TCharacter;

// The characters defined so far, by id.
class TDictionary {
 public:
  virtual ~TDictionary() = default;
  virtual const TCharacter* Find(std::uint16_t id) const = 0;
};

// What drawing needs besides the character itself.
struct TRenderContext {
  cairo_t* Cr = nullptr;        // the target; its user space is device pixels
  TMatrix Matrix;               // character space (twips) to device pixels
  TColorTransform Cxform;       // applied to every colour drawn
  std::uint16_t Ratio = 0;      // morph position, 0..65535
  const TDictionary* Dictionary = nullptr;
  bool AntiAlias = true;        // quality "High"
};

class TCharacter {
 public:
  virtual ~TCharacter() = default;
  // In character space; empty for characters that show nothing by themselves (fonts).
  virtual TRectTw Bounds() const = 0;
  virtual void Draw(const TRenderContext& rc) const = 0;
};

// State that definitions share across tags.
struct TParseContext {
  int Version = 10;                        // the file's version
  std::vector<std::uint8_t> JpegTables;    // from JPEGTables (tag 8), for DefineBits
  const TDictionary* Dictionary = nullptr; // fonts named by texts, while parsing
};

// The character that definition tag `code` (body: the tag's bytes after its
// header, the character id first) describes, or null when the code is not a
// drawable definition or the body is unusable. Never throws on hostile bytes
// and allocates no more than the body can describe.
std::shared_ptr<TCharacter> ParseDrawable(int code, std::span<const std::uint8_t> body, TParseContext& ctx);

// The character id a definition tag's body starts with.
inline std::uint16_t DefinitionId(std::span<const std::uint8_t> body) {
  return body.size() >= 2 ? static_cast<std::uint16_t>(body[0] | (body[1] << 8)) : 0;
}

}  // namespace flash
