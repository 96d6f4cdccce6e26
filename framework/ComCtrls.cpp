#include "framework/ComCtrls.h"

#include <algorithm>

#include "platform/ui/Draw.h"

namespace vorra {

using namespace win;

TProgressBar::TProgressBar(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 150;
  FHeight = 16;
  FColor = clBtnFace;
}

void TProgressBar::SetMin(int v) {
  if (v == FMin) return;
  FMin = v;
  if (FMax < FMin) FMax = FMin;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TProgressBar::SetMax(int v) {
  if (v == FMax) return;
  FMax = v;
  if (FMin > FMax) FMin = FMax;
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TProgressBar::SetPosition(int v) {
  v = std::clamp(v, FMin, FMax);
  if (v == FPosition) return;
  FPosition = v;
  Invalidate();
}

void TProgressBar::StepBy(int Delta) { SetPosition(FPosition + Delta); }

void TProgressBar::StepIt() {
  long long p = static_cast<long long>(FPosition) + FStep;
  if (p > FMax) {
    const long long range = std::max<long long>(1, static_cast<long long>(FMax) - FMin);
    p = FMin + (p - FMax) % range;
  } else if (p < FMin) {
    p = FMin;
  }
  SetPosition(static_cast<int>(p));
}

void TProgressBar::SetSmooth(bool v) {
  if (v == FSmooth) return;
  FSmooth = v;
  Invalidate();
}

void TProgressBar::Paint() {
  TCanvas* c = Canvas();
  HDC dc = c->Handle();
  RECT r{0, 0, FWidth, FHeight};
  c->FillRect(ClientRect());
  DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  r.left++, r.top++, r.right--, r.bottom--;
  const int inner = r.right - r.left;
  if (inner <= 0 || FMax <= FMin) return;
  const int filled =
      static_cast<int>(static_cast<long long>(inner) * (FPosition - FMin) / (static_cast<long long>(FMax) - FMin));
  c->Brush()->SetColor(clHighlight);
  if (FSmooth) {
    c->FillRect(Rect(r.left, r.top, r.left + filled, r.bottom));
    return;
  }
  // Blocks two thirds as wide as the bar is high, with a gap of two pixels.
  const int block = std::max(2, (r.bottom - r.top) * 2 / 3);
  for (int x = r.left; x < r.left + filled; x += block + 2)
    c->FillRect(Rect(x, r.top, std::min(x + block, r.right), r.bottom));
}

}  // namespace vorra
