// Morph shapes: two shapes with matching edges, drawn in between at the
// placed ratio.
#pragma once

#include <memory>
#include <span>

#include "platform/flash/Shape.h"

namespace flash {

struct TMorphData {
  std::vector<TFillStyle> StartFills, EndFills;
  std::vector<TLineStyle> StartLines, EndLines;
  std::vector<TShapeRecord> Start, End;
};

// The records, fills and lines at t (0 start .. 1 end).
TShapeData InterpolateMorph(const TMorphData& m, double t);

class TMorphCharacter : public TCharacter {
 public:
  TMorphCharacter(TRectTw bounds, TMorphData data) : bounds_(bounds), data_(std::move(data)) {}
  TRectTw Bounds() const override { return bounds_; }
  void Draw(const TRenderContext& rc) const override;

 private:
  TRectTw bounds_;  // both ends
  TMorphData data_;
  // The last ratio drawn, kept since a placed morph is drawn at one ratio for many frames.
  mutable int cachedRatio_ = -1;
  mutable TShapeData cached_;
  mutable TShapeGeometry cachedGeometry_;
};

// DefineMorphShape (46) and DefineMorphShape2 (84).
std::shared_ptr<TCharacter> ParseMorph(int code, std::span<const std::uint8_t> body, TParseContext& ctx);

}  // namespace flash
