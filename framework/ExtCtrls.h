// Panels, images and timers.
#pragma once

#include <memory>

#include "framework/Controls.h"
#include "framework/Graphics.h"

namespace vorra {

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  TBevelCut BevelInner() const { return FBevelInner; }
  void SetBevelInner(TBevelCut v);
  TBevelCut BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TBevelCut v);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& r) override;

 private:
  TBevelCut FBevelInner = bvNone;
  TBevelCut FBevelOuter = bvRaised;
  int FBevelWidth = 1;
  TAlignment FAlignment = taCenter;
};

// Draws a three-dimensional frame Width pixels wide inside r and shrinks r.
void Frame3D(TCanvas* Canvas, TRect& r, TColor TopColor, TColor BottomColor, int Width);

class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  TPicture* Picture() { return FPicture.get(); }
  void SetPicture(const TPicture* v) { FPicture->Assign(v); }
  bool Center() const { return FCenter; }
  void SetCenter(bool v);
  bool Stretch() const { return FStretch; }
  void SetStretch(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  // Where the picture lands in the control.
  TRect DestRect() const;

 protected:
  void Paint() override;

 private:
  void PictureChanged();
  std::unique_ptr<TPicture> FPicture;
  bool FCenter = false;
  bool FStretch = false;
  bool FTransparent = false;
  bool FAutoSize = false;
};

// Calls OnTimer every Interval milliseconds while Enabled, through a hidden
// window's WM_TIMER, so it fires only while messages are handled.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned v);
  TNotifyEvent OnTimer;

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();
  bool FEnabled = true;
  unsigned FInterval = 1000;
  win::HWND FWindow = nullptr;
  bool FRunning = false;
};

}  // namespace vorra
