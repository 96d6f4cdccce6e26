// A timeline playing: its display list by depth, its current frame, its
// playing state and the frame actions it honours (stop, play, goto, next,
// previous, goto label). Sprites placed on it play as nested instances.
// Going back rebuilds the list from the first frame; objects that the same
// placement made keep their nested state, as a player keeps a clip that
// stays on stage.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/flash/Character.h"
#include "platform/flash/Timeline.h"

namespace flash {

inline constexpr int kMaxNesting = 32;

// The work one player may do, so hostile movies (sprites in sprites, a
// million frames to replay) end in bounded time.
struct TPlayContext {
  const TDictionary* Dictionary = nullptr;
  long Work = 0;
  long WorkLimit = 20'000'000;
  int LiveInstances = 0;
  int MaxInstances = 20000;
  bool Spend(long units = 1) { return Work < WorkLimit ? (Work += units, true) : false; }
};

// Draw calls left for one frame.
struct TDrawBudget {
  long Left = 200000;
};

class TTimelineInstance;

struct TDisplayObject {
  std::uint16_t CharacterId = 0;
  const TCharacter* Character = nullptr;
  TMatrix Matrix;
  TColorTransform Cxform;
  std::uint16_t Ratio = 0;
  std::string Name;
  std::uint16_t ClipDepth = 0;
  std::uint32_t Serial = 0;
  std::unique_ptr<TTimelineInstance> Sprite;
};

class TTimelineInstance {
 public:
  TTimelineInstance(const TTimeline& timeline, TPlayContext& ctx, int nesting);
  ~TTimelineInstance();
  TTimelineInstance(const TTimelineInstance&) = delete;
  TTimelineInstance& operator=(const TTimelineInstance&) = delete;

  // Enters the first frame.
  void Start();
  // One frame interval: the next frame when playing (back to the first when
  // loop, else it stops on the last), then every nested sprite's own tick.
  void Tick(bool loop);
  // To a frame (from 0, clamped), running its actions; the playing state
  // changes only through those actions.
  void GotoFrame(int frame);
  // To a frame without running any frame's actions: the frame as the file draws it.
  void ShowFrame(int frame);

  int Frame() const { return frame_; }
  int FrameCount() const { return static_cast<int>(timeline_.Frames.size()); }
  bool Playing() const { return playing_; }
  void SetPlaying(bool playing) { playing_ = playing; }
  const TTimeline& Timeline() const { return timeline_; }
  const std::map<std::uint16_t, TDisplayObject>& Objects() const { return objects_; }

  // rc maps this timeline's space to the device.
  void Draw(const TRenderContext& rc, TDrawBudget& budget) const;

 private:
  void ApplyFrame(int frame, std::map<std::uint16_t, TDisplayObject>* adopt);
  void Place(const TPlaceOp& op, std::map<std::uint16_t, TDisplayObject>* adopt);
  void MakeSprite(TDisplayObject& obj);
  void RunActions(int frame, int chain);
  void Seek(int frame, int chain, bool actions = true);

  const TTimeline& timeline_;
  TPlayContext& ctx_;
  int nesting_;
  int frame_ = -1;
  bool playing_ = true;
  std::map<std::uint16_t, TDisplayObject> objects_;
};

// Draws the objects of a depth-ordered list with clip-depth masks: a mask
// object hides the objects up to its clip depth outside its shape.
void DrawDisplayObjects(const std::map<std::uint16_t, TDisplayObject>& objects, const TRenderContext& rc,
                        TDrawBudget& budget);

}  // namespace flash
