// A movie playing on a stage: the main timeline's instance, the frame clock
// and the drawing of a frame into a cairo surface, scaled to the surface as
// the scale mode says, over the background colour.
#pragma once

#include <cairo.h>

#include <memory>
#include <optional>

#include "platform/flash/DisplayList.h"
#include "platform/flash/SwfMovie.h"

namespace flash {

enum class TScaleMode { smShowAll, smNoBorder, smExactFit, smNoScale };

struct TStageOptions {
  TScaleMode Scale = TScaleMode::smShowAll;
  std::optional<TRgba> Background;  // unset: the movie's own (white when it sets none)
  bool AntiAlias = true;
  long MaxDraws = 200000;  // characters drawn per frame, nested ones included
};

struct TPlayLimits {
  long Work = 20'000'000;  // tags replayed, sprites made and ticked, before playing stands still
  int Instances = 20000;   // sprites playing at once
};

class TMoviePlayer {
 public:
  // A null movie draws only the background. The limits hold from the first frame on.
  explicit TMoviePlayer(std::shared_ptr<const TMovie> movie, TPlayLimits limits = {});

  const std::shared_ptr<const TMovie>& Movie() const { return movie_; }
  int FrameCount() const;
  int CurrentFrame() const;  // from 0
  bool Playing() const;
  void SetPlaying(bool playing);
  bool Loop = true;

  // One frame interval of the movie's clock.
  void Tick();
  // From 0, clamped; runs the frame's actions.
  void GotoFrame(int frame);
  // The frame as the file draws it, no frame's actions run (thumbnails).
  void ShowFrame(int frame);
  void Rewind();

  // The clock's interval in milliseconds (the file's rate, within sane bounds).
  int FrameIntervalMs() const;
  // Movie twips to device pixels for a surface of this size.
  TMatrix StageMatrix(int width, int height, TScaleMode scale) const;
  void Render(cairo_t* cr, int width, int height, const TStageOptions& options) const;

  TPlayContext& Context() { return ctx_; }

 private:
  std::shared_ptr<const TMovie> movie_;
  TPlayContext ctx_;
  std::unique_ptr<TTimelineInstance> root_;
};

}  // namespace flash
