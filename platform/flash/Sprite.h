// Characters that hold display lists of their own: sprites (a timeline that
// plays where it is placed) and buttons (drawn in their up state). Drawn
// outside a playing timeline (inside a button, say), a sprite shows its
// first frame.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/flash/Character.h"
#include "platform/flash/Timeline.h"

namespace flash {

class TSprite : public TCharacter {
 public:
  TSprite(TTimeline timeline, const TDictionary* dictionary) : Timeline(std::move(timeline)), dictionary_(dictionary) {}
  TRectTw Bounds() const override;
  void Draw(const TRenderContext& rc) const override;

  const TTimeline Timeline;

 private:
  const TDictionary* dictionary_;
};

struct TButtonRecord {
  std::uint16_t Character = 0;
  std::uint16_t Depth = 0;
  TMatrix Matrix;
  TColorTransform Cxform;
};

class TButton : public TCharacter {
 public:
  TButton(std::vector<TButtonRecord> up, const TDictionary* dictionary);
  TRectTw Bounds() const override;
  void Draw(const TRenderContext& rc) const override;

  const std::vector<TButtonRecord> Up;  // by depth

 private:
  const TDictionary* dictionary_;
};

// DefineButton (7) and DefineButton2 (34) bodies, the id first; null when unusable.
std::shared_ptr<TButton> ParseButton(int code, std::span<const std::uint8_t> body, const TDictionary* dictionary);

// The bounding box of a rectangle after a matrix.
TRectTw TransformRect(const TMatrix& m, const TRectTw& r);
// The smallest rectangle that holds both (an empty one adds nothing).
TRectTw UnionRect(const TRectTw& a, const TRectTw& b);

}  // namespace flash
