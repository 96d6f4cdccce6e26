// A timeline as the file gives it: per frame, the display list changes
// (place, move, replace, remove), the few frame actions the player honours,
// and the frame's label. The movie and every sprite have one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/flash/SwfReader.h"
#include "platform/flash/SwfTypes.h"

namespace flash {

enum class TActionKind { akPlay, akStop, akGotoFrame, akNextFrame, akPrevFrame, akGotoLabel };

struct TAction {
  TActionKind Kind = TActionKind::akStop;
  int Frame = 0;  // akGotoFrame, from 0
  std::string Label;
};

struct TPlaceOp {
  bool Remove = false;
  bool Move = false;  // change what stands at Depth; with a character: replace it
  std::uint16_t Depth = 0;
  std::optional<std::uint16_t> Character;
  std::optional<TMatrix> Matrix;
  std::optional<TColorTransform> Cxform;
  std::optional<std::uint16_t> Ratio;
  std::optional<std::string> Name;
  std::optional<std::uint16_t> ClipDepth;
  std::uint32_t Serial = 0;  // unique in the timeline: which placement made an object
};

struct TFrame {
  std::vector<TPlaceOp> Ops;
  std::vector<TAction> Actions;
  std::string Label;
};

struct TTimeline {
  std::vector<TFrame> Frames;  // at least one
  // The frame (from 0) of a label, case ignored as players do.
  std::optional<int> FrameOfLabel(const std::string& label) const;
};

// Builds a timeline from control tags; tags that are not control tags are
// ignored here (the movie's loop handles definitions).
// What all timelines of one movie may hold together: a small file cannot
// describe more than this, so hostile tag runs cannot take unbounded memory.
struct TTimelineLimits {
  long Frames = 200000;
  long Ops = 500000;
  long Actions = 200000;
};

class TTimelineBuilder {
 public:
  explicit TTimelineBuilder(TTimelineLimits& limits) : limits_(limits) {}
  // Answers false when the tag is not one of the control tags.
  bool Add(int code, std::span<const std::uint8_t> body);
  // Ops after the last ShowFrame make a last frame only when nothing else does.
  TTimeline Finish();

 private:
  TTimelineLimits& limits_;
  TTimeline timeline_;
  TFrame pending_;
  std::uint32_t serial_ = 0;
};

// The tag codes the timelines read.
inline constexpr int kTagEnd = 0, kTagShowFrame = 1, kTagPlaceObject = 4, kTagRemoveObject = 5, kTagDoAction = 12,
                     kTagPlaceObject2 = 26, kTagRemoveObject2 = 28, kTagFrameLabel = 43, kTagPlaceObject3 = 70;

// The actions a DoAction body holds that the player honours, in order.
std::vector<TAction> ParseActions(std::span<const std::uint8_t> body);
// Skips a filter list (PlaceObject3, button records); false for an unknown filter.
bool SkipFilterList(TSwfReader& r);

}  // namespace flash
