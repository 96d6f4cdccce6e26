// The progress bar.
#pragma once

#include "framework/Controls.h"

namespace vorra {

class TProgressBar : public TCustomControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  int Min() const { return FMin; }
  void SetMin(int v);
  int Max() const { return FMax; }
  void SetMax(int v);
  int Position() const { return FPosition; }
  // Kept within Min..Max.
  void SetPosition(int v);
  int Step() const { return FStep; }
  void SetStep(int v) { FStep = v; }
  // Position + Step; past Max it starts over from Min, as the common control does.
  void StepIt();
  void StepBy(int Delta);
  bool Smooth() const { return FSmooth; }
  void SetSmooth(bool v);

 protected:
  void Paint() override;

 private:
  int FMin = 0, FMax = 100, FPosition = 0, FStep = 10;
  bool FSmooth = false;
};

}  // namespace vorra
