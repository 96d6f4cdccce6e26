#include "platform/flash/Player.h"

#include <algorithm>
#include <cmath>

namespace flash {

TMoviePlayer::TMoviePlayer(std::shared_ptr<const TMovie> movie, TPlayLimits limits) : movie_(std::move(movie)) {
  ctx_.WorkLimit = limits.Work;
  ctx_.MaxInstances = limits.Instances;
  if (!movie_) return;
  ctx_.Dictionary = movie_.get();
  root_ = std::make_unique<TTimelineInstance>(movie_->Root, ctx_, 0);
  root_->Start();
}

int TMoviePlayer::FrameCount() const { return root_ ? root_->FrameCount() : 0; }
int TMoviePlayer::CurrentFrame() const { return root_ ? std::max(root_->Frame(), 0) : 0; }
bool TMoviePlayer::Playing() const { return root_ && root_->Playing(); }

void TMoviePlayer::SetPlaying(bool playing) {
  if (root_) root_->SetPlaying(playing);
}

void TMoviePlayer::Tick() {
  if (root_) root_->Tick(Loop);
}

void TMoviePlayer::GotoFrame(int frame) {
  if (root_) root_->GotoFrame(frame);
}

void TMoviePlayer::ShowFrame(int frame) {
  if (root_) root_->ShowFrame(frame);
}

void TMoviePlayer::Rewind() {
  if (!root_) return;
  root_ = std::make_unique<TTimelineInstance>(movie_->Root, ctx_, 0);
  root_->Start();
}

int TMoviePlayer::FrameIntervalMs() const {
  const double rate = movie_ ? movie_->FrameRate : 0;
  if (!(rate >= 1)) return 1000 / 12;  // 0 or under one frame a second: a common default
  return std::max(1, static_cast<int>(std::lround(1000.0 / std::min(rate, 120.0))));
}

TMatrix TMoviePlayer::StageMatrix(int width, int height, TScaleMode scale) const {
  TMatrix m;
  if (!movie_) return m;
  const TRectTw& f = movie_->FrameRect;
  const double w = std::max(1, f.XMax - f.XMin), h = std::max(1, f.YMax - f.YMin);
  double sx = width / w, sy = height / h;
  switch (scale) {
    case TScaleMode::smShowAll: sx = sy = std::min(sx, sy); break;
    case TScaleMode::smNoBorder: sx = sy = std::max(sx, sy); break;
    case TScaleMode::smExactFit: break;
    case TScaleMode::smNoScale: sx = sy = 1.0 / 20; break;
  }
  m.A = sx;
  m.D = sy;
  m.Tx = (width - w * sx) / 2 - f.XMin * sx;
  m.Ty = (height - h * sy) / 2 - f.YMin * sy;
  return m;
}

void TMoviePlayer::Render(cairo_t* cr, int width, int height, const TStageOptions& options) const {
  TRgba bg{255, 255, 255, 255};
  if (options.Background)
    bg = *options.Background;
  else if (movie_ && movie_->Background)
    bg = *movie_->Background;
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgb(cr, bg.R / 255.0, bg.G / 255.0, bg.B / 255.0);
  cairo_paint(cr);
  cairo_restore(cr);
  if (!root_) return;
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  cairo_set_antialias(cr, options.AntiAlias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  TRenderContext rc;
  rc.Cr = cr;
  rc.Matrix = StageMatrix(width, height, options.Scale);
  rc.Dictionary = movie_.get();
  rc.AntiAlias = options.AntiAlias;
  TDrawBudget budget{options.MaxDraws};
  root_->Draw(rc, budget);
  cairo_restore(cr);
}

}  // namespace flash
