#include "platform/flash/Sprite.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/flash/DisplayList.h"
#include "platform/flash/SwfReader.h"

namespace flash {

namespace {

// Static drawing and bounds follow characters into characters; a sprite or
// button that holds itself stops here.
thread_local int t_nesting = 0;

struct TNest {
  TNest() { ++t_nesting; }
  ~TNest() { --t_nesting; }
  bool Deep() const { return t_nesting > kMaxNesting; }
};

std::int32_t ClampTw(double v) {
  constexpr double lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
  if (std::isnan(v)) return 0;
  return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

}  // namespace

TRectTw TransformRect(const TMatrix& m, const TRectTw& r) {
  if (r.IsEmpty()) return {};
  double xs[4], ys[4];
  m.Apply(r.XMin, r.YMin, xs[0], ys[0]);
  m.Apply(r.XMax, r.YMin, xs[1], ys[1]);
  m.Apply(r.XMin, r.YMax, xs[2], ys[2]);
  m.Apply(r.XMax, r.YMax, xs[3], ys[3]);
  return {ClampTw(std::floor(*std::min_element(xs, xs + 4))), ClampTw(std::ceil(*std::max_element(xs, xs + 4))),
          ClampTw(std::floor(*std::min_element(ys, ys + 4))), ClampTw(std::ceil(*std::max_element(ys, ys + 4)))};
}

TRectTw UnionRect(const TRectTw& a, const TRectTw& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return {std::min(a.XMin, b.XMin), std::max(a.XMax, b.XMax), std::min(a.YMin, b.YMin), std::max(a.YMax, b.YMax)};
}

TRectTw TSprite::Bounds() const {
  TNest nest;
  if (nest.Deep() || !dictionary_) return {};
  TPlayContext ctx;
  ctx.Dictionary = dictionary_;
  ctx.WorkLimit = 100000;
  TTimelineInstance first(Timeline, ctx, kMaxNesting);  // no nested instances: bounds come from Bounds()
  first.Start();
  TRectTw out;
  for (const auto& [depth, obj] : first.Objects())
    if (obj.Character) out = UnionRect(out, TransformRect(obj.Matrix, obj.Character->Bounds()));
  return out;
}

void TSprite::Draw(const TRenderContext& rc) const {
  TNest nest;
  if (nest.Deep() || !dictionary_) return;
  TPlayContext ctx;
  ctx.Dictionary = dictionary_;
  ctx.WorkLimit = 100000;
  ctx.MaxInstances = 64;
  TTimelineInstance first(Timeline, ctx, kMaxNesting - 1);
  first.Start();
  TDrawBudget budget{20000};
  first.Draw(rc, budget);
}

TButton::TButton(std::vector<TButtonRecord> up, const TDictionary* dictionary)
    : Up([&] {
        std::stable_sort(up.begin(), up.end(), [](const auto& a, const auto& b) { return a.Depth < b.Depth; });
        return up;
      }()),
      dictionary_(dictionary) {}

TRectTw TButton::Bounds() const {
  TNest nest;
  TRectTw out;
  if (nest.Deep() || !dictionary_) return out;
  for (const TButtonRecord& r : Up)
    if (const TCharacter* c = dictionary_->Find(r.Character)) out = UnionRect(out, TransformRect(r.Matrix, c->Bounds()));
  return out;
}

void TButton::Draw(const TRenderContext& rc) const {
  TNest nest;
  if (nest.Deep() || !dictionary_) return;
  for (const TButtonRecord& r : Up) {
    const TCharacter* c = dictionary_->Find(r.Character);
    if (!c) continue;
    TRenderContext child = rc;
    child.Matrix = rc.Matrix * r.Matrix;
    child.Cxform = rc.Cxform * r.Cxform;
    cairo_save(rc.Cr);
    c->Draw(child);
    cairo_restore(rc.Cr);
  }
}

std::shared_ptr<TButton> ParseButton(int code, std::span<const std::uint8_t> body, const TDictionary* dictionary) {
  TSwfReader r(body);
  r.U16();  // id
  const bool two = code == 34;
  if (two) {
    r.U8();   // menu flag
    r.U16();  // action offset
  }
  std::vector<TButtonRecord> up;
  // Each record takes at least six bytes, so the count stays within the body.
  while (!r.AtEnd()) {
    const std::uint8_t flags = r.U8();
    if (flags == 0) break;
    TButtonRecord rec;
    rec.Character = r.U16();
    rec.Depth = r.U16();
    rec.Matrix = r.Matrix();
    if (two) {
      rec.Cxform = r.ColorTransform(true);
      if ((flags & 0x10) && !SkipFilterList(r)) break;
      if (flags & 0x20) r.U8();  // blend mode
    }
    if (r.Overrun()) break;
    if (flags & 0x01) up.push_back(rec);
  }
  return std::make_shared<TButton>(std::move(up), dictionary);
}

}  // namespace flash
