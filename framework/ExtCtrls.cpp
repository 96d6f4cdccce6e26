#include "framework/ExtCtrls.h"

#include <algorithm>

#include "framework/Forms.h"
#include "platform/ui/Text.h"

namespace vorra {

using namespace win;

void Frame3D(TCanvas* Canvas, TRect& r, TColor TopColor, TColor BottomColor, int Width) {
  for (int i = 0; i < Width && r.Width() > 0 && r.Height() > 0; ++i) {
    Canvas->Brush()->SetColor(TopColor);
    Canvas->FillRect(Rect(r.Left, r.Top, r.Right, r.Top + 1));
    Canvas->FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom));
    Canvas->Brush()->SetColor(BottomColor);
    Canvas->FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
    Canvas->FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
    r.Left++, r.Top++, r.Right--, r.Bottom--;
  }
}

// ---------------------------------------------------------------- TPanel

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 185;
  FHeight = 41;
  FColor = clBtnFace;  // its own colour, not the parent's, as the class library's panel
}

void TPanel::SetBevelInner(TBevelCut v) {
  if (v == FBevelInner) return;
  FBevelInner = v;
  Realign();
  Invalidate();
}

void TPanel::SetBevelOuter(TBevelCut v) {
  if (v == FBevelOuter) return;
  FBevelOuter = v;
  Realign();
  Invalidate();
}

void TPanel::SetBevelWidth(int v) {
  if (v < 1 || v == FBevelWidth) return;
  FBevelWidth = v;
  Realign();
  Invalidate();
}

void TPanel::SetAlignment(TAlignment v) {
  if (v == FAlignment) return;
  FAlignment = v;
  Invalidate();
}

void TPanel::AdjustClientRect(TRect& r) {
  TCustomControl::AdjustClientRect(r);
  int bevels = 0;
  if (FBevelOuter != bvNone) bevels += FBevelWidth;
  if (FBevelInner != bvNone) bevels += FBevelWidth;
  r.Left += bevels, r.Top += bevels, r.Right -= bevels, r.Bottom -= bevels;
}

void TPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    const TColor top = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    const TColor bottom = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    if (cut == bvSpace)
      Frame3D(c, r, FColor, FColor, FBevelWidth);
    else
      Frame3D(c, r, top, bottom, FBevelWidth);
  };
  bevel(FBevelOuter);
  Frame3D(c, r, FColor, FColor, FBorderWidth);
  bevel(FBevelInner);
  c->Brush()->SetColor(FColor);
  c->FillRect(r);
  if (FText.empty()) return;
  c->Brush()->SetStyle(bsClear);
  unsigned flags = DT_SINGLELINE | DT_VCENTER | DT_EXPANDTABS;
  if (FAlignment == taCenter) flags |= DT_CENTER;
  if (FAlignment == taRightJustify) flags |= DT_RIGHT;
  c->DrawText(FText, r, flags);
}

// ---------------------------------------------------------------- TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(new TPicture) {
  FWidth = 105;
  FHeight = 105;
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
}

void TImage::PictureChanged() {
  if (FPicture->Graphic()) FPicture->Graphic()->SetTransparent(FTransparent);
  if (FAutoSize && FPicture->Width() > 0 && FPicture->Height() > 0)
    SetBounds(FLeft, FTop, FPicture->Width(), FPicture->Height());
  Invalidate();
}

void TImage::SetCenter(bool v) {
  if (v == FCenter) return;
  FCenter = v;
  Invalidate();
}

void TImage::SetStretch(bool v) {
  if (v == FStretch) return;
  FStretch = v;
  Invalidate();
}

void TImage::SetTransparent(bool v) {
  if (v == FTransparent) return;
  FTransparent = v;
  PictureChanged();
}

void TImage::SetAutoSize(bool v) {
  if (v == FAutoSize) return;
  FAutoSize = v;
  if (v) PictureChanged();
}

TRect TImage::DestRect() const {
  const int w = FPicture->Width(), h = FPicture->Height();
  if (FStretch) return Rect(0, 0, FWidth, FHeight);
  if (FCenter) return Bounds((FWidth - w) / 2, (FHeight - h) / 2, w, h);
  return Rect(0, 0, w, h);
}

void TImage::Paint() {
  TGraphic* g = FPicture->Graphic();
  if (!g || g->Empty()) return;
  Canvas()->StretchDraw(DestRect(), g);
}

// ---------------------------------------------------------------- TTimer

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  FWindow = AllocateHWnd([this](TMessage& m) {
    if (m.Msg == WM_TIMER) {
      try {
        Timer();
      } catch (...) {
        HandleCurrentException(this);
      }
      return;
    }
    m.Result = DefWindowProcA(FWindow, m.Msg, m.WParam, m.LParam);
  });
  UpdateTimer();
}

TTimer::~TTimer() {
  Destroying();
  if (FRunning) KillTimer(FWindow, 1);
  DeallocateHWnd(FWindow);
}

void TTimer::UpdateTimer() {
  if (FRunning) KillTimer(FWindow, 1);
  FRunning = false;
  if (FEnabled && FInterval > 0 && !ComponentState().Contains(csDesigning))
    FRunning = SetTimer(FWindow, 1, FInterval, nullptr) != 0;
}

void TTimer::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned v) {
  if (v == FInterval) return;
  FInterval = v;
  UpdateTimer();
}

void TTimer::Timer() {
  if (FEnabled && OnTimer && !ComponentState().Contains(csDestroying)) OnTimer(this);
}

}  // namespace vorra
