#include "platform/flash/DisplayList.h"

#include <algorithm>
#include <optional>
#include <set>
#include <vector>

#include "platform/flash/Sprite.h"

namespace flash {

namespace {

// A goto inside the actions a goto ran, and so on: a movie whose frames send
// each other back and forth stops after this many.
constexpr int kMaxGotoChain = 8;

bool Invisible(const TColorTransform& cx) { return cx.AMul <= 0 && cx.AAdd <= 0; }

void DrawObject(const TDisplayObject& obj, const TRenderContext& rc, TDrawBudget& budget) {
  if (budget.Left <= 0) return;
  --budget.Left;
  TRenderContext c = rc;
  c.Matrix = rc.Matrix * obj.Matrix;
  c.Cxform = rc.Cxform * obj.Cxform;
  c.Ratio = obj.Ratio;
  if (Invisible(c.Cxform)) return;
  if (obj.Sprite) {
    obj.Sprite->Draw(c, budget);
  } else if (obj.Character && !dynamic_cast<const TSprite*>(obj.Character)) {
    cairo_save(rc.Cr);
    obj.Character->Draw(c);
    cairo_restore(rc.Cr);
  }
}

using TItems = std::vector<const TDisplayObject*>;

void DrawRange(const TItems& items, std::size_t begin, std::size_t end, const std::vector<std::uint16_t>& depths,
               const TRenderContext& rc, TDrawBudget& budget) {
  for (std::size_t i = begin; i < end; ++i) {
    const TDisplayObject& obj = *items[i];
    if (obj.ClipDepth == 0) {
      DrawObject(obj, rc, budget);
      continue;
    }
    std::size_t j = i + 1;
    while (j < end && depths[j] <= obj.ClipDepth) ++j;
    // A mask costs two groups: nested masks past the budget would multiply them.
    if (budget.Left <= 0) return;
    --budget.Left;
    cairo_t* cr = rc.Cr;
    cairo_push_group(cr);
    DrawRange(items, i + 1, j, depths, rc, budget);
    cairo_pattern_t* content = cairo_pop_group(cr);
    // The mask's shape counts, not its colours: drawn opaque into an alpha group.
    cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
    TRenderContext maskRc = rc;
    maskRc.Cxform = TColorTransform{};
    maskRc.Cxform.AMul = 0;
    maskRc.Cxform.AAdd = 255;
    TRenderContext m = maskRc;
    m.Matrix = rc.Matrix * obj.Matrix;
    m.Ratio = obj.Ratio;
    if (obj.Sprite) {
      obj.Sprite->Draw(m, budget);
    } else if (obj.Character && !dynamic_cast<const TSprite*>(obj.Character)) {
      cairo_save(cr);
      obj.Character->Draw(m);
      cairo_restore(cr);
    }
    cairo_pattern_t* mask = cairo_pop_group(cr);
    cairo_set_source(cr, content);
    cairo_mask(cr, mask);
    cairo_pattern_destroy(mask);
    cairo_pattern_destroy(content);
    i = j - 1;
  }
}

}  // namespace

void DrawDisplayObjects(const std::map<std::uint16_t, TDisplayObject>& objects, const TRenderContext& rc,
                        TDrawBudget& budget) {
  TItems items;
  std::vector<std::uint16_t> depths;
  items.reserve(objects.size());
  depths.reserve(objects.size());
  for (const auto& [depth, obj] : objects) {
    items.push_back(&obj);
    depths.push_back(depth);
  }
  DrawRange(items, 0, items.size(), depths, rc, budget);
}

TTimelineInstance::TTimelineInstance(const TTimeline& timeline, TPlayContext& ctx, int nesting)
    : timeline_(timeline), ctx_(ctx), nesting_(nesting) {
  ++ctx_.LiveInstances;
}

TTimelineInstance::~TTimelineInstance() { --ctx_.LiveInstances; }

void TTimelineInstance::Start() {
  objects_.clear();
  frame_ = 0;
  ApplyFrame(0, nullptr);
  RunActions(0, 0);
}

void TTimelineInstance::MakeSprite(TDisplayObject& obj) {
  obj.Sprite.reset();
  const auto* sprite = dynamic_cast<const TSprite*>(obj.Character);
  if (!sprite || nesting_ + 1 >= kMaxNesting || ctx_.LiveInstances >= ctx_.MaxInstances) return;
  // Making and dropping whole subtrees is the costly part of a rebuild.
  if (!ctx_.Spend(16)) return;
  obj.Sprite = std::make_unique<TTimelineInstance>(sprite->Timeline, ctx_, nesting_ + 1);
  obj.Sprite->Start();
}

void TTimelineInstance::Place(const TPlaceOp& op, std::map<std::uint16_t, TDisplayObject>* adopt) {
  if (op.Remove) {
    objects_.erase(op.Depth);
    return;
  }
  auto it = objects_.find(op.Depth);
  if (!op.Character) {  // a move: change what stands there
    if (it == objects_.end()) return;
    TDisplayObject& obj = it->second;
    if (op.Matrix) obj.Matrix = *op.Matrix;
    if (op.Cxform) obj.Cxform = *op.Cxform;
    if (op.Ratio) obj.Ratio = *op.Ratio;
    if (op.Name) obj.Name = *op.Name;
    if (op.ClipDepth) obj.ClipDepth = *op.ClipDepth;
    return;
  }
  const TCharacter* character = ctx_.Dictionary ? ctx_.Dictionary->Find(*op.Character) : nullptr;
  if (!character) return;
  TDisplayObject obj;
  if (op.Move && it != objects_.end()) {  // replace: the new character keeps what the tag leaves out
    obj.Matrix = it->second.Matrix;
    obj.Cxform = it->second.Cxform;
    obj.Ratio = it->second.Ratio;
    obj.Name = it->second.Name;
    obj.ClipDepth = it->second.ClipDepth;
  }
  obj.CharacterId = *op.Character;
  obj.Character = character;
  obj.Serial = op.Serial;
  if (op.Matrix) obj.Matrix = *op.Matrix;
  if (op.Cxform) obj.Cxform = *op.Cxform;
  if (op.Ratio) obj.Ratio = *op.Ratio;
  if (op.Name) obj.Name = *op.Name;
  if (op.ClipDepth) obj.ClipDepth = *op.ClipDepth;
  const bool keepsSprite = op.Move && it != objects_.end() && it->second.CharacterId == obj.CharacterId;
  if (keepsSprite) {
    obj.Sprite = std::move(it->second.Sprite);
  } else if (adopt) {
    auto old = adopt->find(op.Depth);
    if (old != adopt->end() && old->second.Serial == op.Serial && old->second.CharacterId == obj.CharacterId)
      obj.Sprite = std::move(old->second.Sprite);
  }
  if (!obj.Sprite) MakeSprite(obj);
  objects_[op.Depth] = std::move(obj);
}

void TTimelineInstance::ApplyFrame(int frame, std::map<std::uint16_t, TDisplayObject>* adopt) {
  for (const TPlaceOp& op : timeline_.Frames[static_cast<std::size_t>(frame)].Ops) {
    if (!ctx_.Spend()) return;
    Place(op, adopt);
  }
}

void TTimelineInstance::Seek(int target, int chain, bool actions) {
  target = std::clamp(target, 0, FrameCount() - 1);
  if (target == frame_) return;
  if (target > frame_) {
    for (int f = frame_ + 1; f <= target; ++f) ApplyFrame(f, nullptr);
  } else {
    auto old = std::move(objects_);
    objects_.clear();
    for (int f = 0; f <= target; ++f) ApplyFrame(f, &old);
  }
  frame_ = target;
  if (actions) RunActions(target, chain + 1);
}

void TTimelineInstance::GotoFrame(int frame) {
  if (frame_ < 0) Start();
  Seek(frame, 0);
}

void TTimelineInstance::ShowFrame(int frame) {
  if (frame_ < 0) {
    frame_ = 0;
    ApplyFrame(0, nullptr);
  }
  Seek(frame, 0, false);
}

void TTimelineInstance::RunActions(int frame, int chain) {
  if (chain > kMaxGotoChain) return;
  std::optional<int> go;
  for (const TAction& a : timeline_.Frames[static_cast<std::size_t>(frame)].Actions) {
    switch (a.Kind) {
      case TActionKind::akPlay: playing_ = true; break;
      case TActionKind::akStop: playing_ = false; break;
      case TActionKind::akNextFrame:
        go = frame_ + 1;
        playing_ = false;
        break;
      case TActionKind::akPrevFrame:
        go = frame_ - 1;
        playing_ = false;
        break;
      case TActionKind::akGotoFrame: go = a.Frame; break;
      case TActionKind::akGotoLabel:
        if (auto f = timeline_.FrameOfLabel(a.Label)) go = *f;
        break;
    }
  }
  if (go) Seek(*go, chain);
}

void TTimelineInstance::Tick(bool loop) {
  if (!ctx_.Spend()) return;
  std::set<const TTimelineInstance*> before;
  for (const auto& [depth, obj] : objects_)
    if (obj.Sprite) before.insert(obj.Sprite.get());
  if (frame_ < 0) {
    Start();
  } else if (playing_ && FrameCount() > 1) {
    if (frame_ + 1 < FrameCount()) {
      ++frame_;
      ApplyFrame(frame_, nullptr);
      RunActions(frame_, 0);
    } else if (loop) {
      Seek(0, 0);
    } else {
      playing_ = false;
    }
  }
  // Sprites placed by this very frame show their first frame first.
  for (auto& [depth, obj] : objects_)
    if (obj.Sprite && before.count(obj.Sprite.get())) obj.Sprite->Tick(true);
}

void TTimelineInstance::Draw(const TRenderContext& rc, TDrawBudget& budget) const {
  DrawDisplayObjects(objects_, rc, budget);
}

}  // namespace flash
