// Small pieces the list box, the combo box and the notebook share.
#pragma once

#include "framework/Controls.h"
#include "framework/Graphics.h"
#include "framework/Strings.h"
#include "platform/ui/Draw.h"

namespace vorra {

// The client area without making the window for it: a control that has
// no parent yet has no window, and asking for one would fail.
inline TRect ClientAreaOf(TWinControl* c) {
  return c->HandleAllocated() ? c->ClientRect() : Rect(0, 0, c->Width(), c->Height());
}

// Width of the sunken edge around a list or a combo box.
inline constexpr int kSunkenBorder = 2;

inline void DrawSunkenBorder(TCanvas* c, const TRect& r) {
  win::RECT rc = r.ToRECT();
  win::DrawEdge(c->Handle(), &rc, win::EDGE_SUNKEN, win::BF_RECT);
}

}  // namespace vorra
