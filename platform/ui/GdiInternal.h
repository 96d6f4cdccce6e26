// The inside of a device context, shared by the drawing parts of platform/ui
// (blits and shapes, text, frame drawing, window surfaces). Not for callers
// outside platform/ui.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "platform/ui/Gdi.h"
#include "platform/ui/Region.h"

namespace win {

struct HDC__ : HGDIOBJ__ {
  HDC__() : HGDIOBJ__(TGdiKind::Dc) {}
  HBITMAP Bitmap = nullptr;
  HPEN Pen = nullptr;
  HBRUSH Brush = nullptr;
  HGDIOBJ Font = nullptr;  // an HFONT; null: the stock system font
  bool HasClip = false;
  std::vector<RECT> Clip;  // device coordinates, normalised region
  POINT Viewport, Window, Pos;
  int StretchMode = 1;  // BLACKONWHITE
  // Text state, with the defaults of a fresh Windows DC.
  COLORREF TextColor = 0x000000;
  COLORREF BkColor = 0xFFFFFF;
  int BkMode = 2;  // OPAQUE
  UINT TextAlign = 0;
  // A window's DC: where its client (or window) corner lies on the shared
  // surface, and what of the window shows there (device coordinates). The
  // caller's clip region is relative to Origin and always within Vis.
  POINT Origin;
  bool HasVis = false;
  std::vector<RECT> Vis;
};

namespace gdi {

inline HDC__* DcOf(HDC h) { return As<HDC__>(h, TGdiKind::Dc); }

// Surface pixels are 0x00RRGGBB; COLORREF is 0x00BBGGRR.
inline std::uint32_t PixelOf(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline COLORREF ColorOf(std::uint32_t p) { return ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF); }

inline RECT SurfaceOf(const HDC__* d) { return RECT{0, 0, d->Bitmap->Width, d->Bitmap->Height}; }

// The device rectangles drawing may touch: clip region within the surface.
inline std::vector<RECT> ClipRects(const HDC__* d) {
  std::vector<RECT> r = d->HasVis ? rgn::Combine(d->Vis, {SurfaceOf(d)}, RGN_AND) : std::vector<RECT>{SurfaceOf(d)};
  if (!d->HasClip) return r;
  return rgn::Combine(d->Clip, r, RGN_AND);
}

// Logical to device coordinates, kept far from overflow.
inline LONG DevX(const HDC__* d, long long x) {
  return static_cast<LONG>(
      std::clamp<long long>(x - d->Window.x + d->Viewport.x + d->Origin.x, INT32_MIN / 2, INT32_MAX / 2));
}
inline LONG DevY(const HDC__* d, long long y) {
  return static_cast<LONG>(
      std::clamp<long long>(y - d->Window.y + d->Viewport.y + d->Origin.y, INT32_MIN / 2, INT32_MAX / 2));
}

inline RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) return RECT{};
  return r;
}
inline bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// The stock fonts by index (null for indexes that are not fonts), SYSTEM_FONT
// standing for a DC's font until another is selected; made by the text part.
HGDIOBJ StockFont(int which);
// A font's LOGFONTA for GetObject; 0 when obj is not a font.
int GetFontObject(HGDIOBJ obj, int size, void* out);

}  // namespace gdi

namespace text {
// For tests: without face files every new font draws hollow boxes, as when
// no font is installed at all.
void SetFontFilesEnabled(bool enabled);
}  // namespace text
}  // namespace win
