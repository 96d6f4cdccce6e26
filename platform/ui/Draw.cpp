#include "platform/ui/Draw.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/GdiInternal.h"
#include "platform/ui/Text.h"
#include "platform/ui/Window.h"

namespace win {
namespace {

constexpr int SysColors = 31;

// Colours of the edge parts by (inner bits, outer bits): BDR_* & 0xF indexes
// them; -1 draws nothing. A lone inner border takes the outer place.
constexpr signed char LTInnerNormal[16] = {-1, -1, -1, -1, -1, COLOR_BTNHIGHLIGHT, COLOR_BTNHIGHLIGHT, -1,
                                           -1, COLOR_3DDKSHADOW, COLOR_3DDKSHADOW, -1, -1, -1, -1, -1};
constexpr signed char LTOuterNormal[16] = {-1, COLOR_3DLIGHT, COLOR_BTNSHADOW, -1, COLOR_BTNHIGHLIGHT, COLOR_3DLIGHT,
                                           COLOR_BTNSHADOW, -1, COLOR_3DDKSHADOW, COLOR_3DLIGHT, COLOR_BTNSHADOW, -1,
                                           -1, COLOR_3DLIGHT, COLOR_BTNSHADOW, -1};
constexpr signed char RBInnerNormal[16] = {-1, -1, -1, -1, -1, COLOR_BTNSHADOW, COLOR_BTNSHADOW, -1,
                                           -1, COLOR_3DLIGHT, COLOR_3DLIGHT, -1, -1, -1, -1, -1};
constexpr signed char RBOuterNormal[16] = {-1, COLOR_3DDKSHADOW, COLOR_BTNHIGHLIGHT, -1, COLOR_BTNSHADOW,
                                           COLOR_3DDKSHADOW, COLOR_BTNHIGHLIGHT, -1, COLOR_3DLIGHT, COLOR_3DDKSHADOW,
                                           COLOR_BTNHIGHLIGHT, -1, -1, COLOR_3DDKSHADOW, COLOR_BTNHIGHLIGHT, -1};
// BF_SOFT: buttons put the brightest colour outside.
constexpr signed char LTInnerSoft[16] = {-1, -1, -1, -1, -1, COLOR_3DLIGHT, COLOR_3DLIGHT, -1,
                                         -1, COLOR_BTNSHADOW, COLOR_BTNSHADOW, -1, -1, -1, -1, -1};
constexpr signed char LTOuterSoft[16] = {-1, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW, -1, COLOR_3DLIGHT,
                                         COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW, -1, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT,
                                         COLOR_3DDKSHADOW, -1, -1, COLOR_BTNHIGHLIGHT, COLOR_3DDKSHADOW, -1};

void Fill(HDC hdc, LONG l, LONG t, LONG r, LONG b, int color) {
  if (color < 0 || l >= r || t >= b) return;
  const RECT rc{l, t, r, b};
  FillRect(hdc, &rc, GetSysColorBrush(color));
}

// Pixels in logical coordinates through the DC's origins and clip.
struct TPixels {
  HDC__* D;
  std::vector<RECT> Clip;
  explicit TPixels(HDC__* d) : D(d), Clip(gdi::ClipRects(d)) {}
  bool Inside(LONG x, LONG y) const {
    for (const RECT& c : Clip)
      if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) return true;
    return false;
  }
  void Set(LONG x, LONG y, COLORREF color) const {
    const LONG dx = gdi::DevX(D, x), dy = gdi::DevY(D, y);
    if (Inside(dx, dy)) D->Bitmap->Row(dy)[dx] = gdi::PixelOf(color);
  }
  void Invert(LONG x, LONG y) const {
    const LONG dx = gdi::DevX(D, x), dy = gdi::DevY(D, y);
    if (Inside(dx, dy)) D->Bitmap->Row(dy)[dx] ^= 0x00FFFFFF;
  }
};

// Draws a glyph given as rows of '#' (ink) with its top-left at (x, y).
void Glyph(HDC hdc, LONG x, LONG y, const std::vector<const char*>& rows, COLORREF color) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return;
  const TPixels px(d);
  for (size_t j = 0; j < rows.size(); ++j)
    for (size_t i = 0; rows[j][i]; ++i)
      if (rows[j][i] == '#') px.Set(x + static_cast<LONG>(i), y + static_cast<LONG>(j), color);
}

// A glyph in the text colour, or embossed grey when inactive.
void GlyphState(HDC hdc, LONG x, LONG y, const std::vector<const char*>& rows, UINT state) {
  if (state & DFCS_INACTIVE) {
    Glyph(hdc, x + 1, y + 1, rows, GetSysColor(COLOR_BTNHIGHLIGHT));
    Glyph(hdc, x, y, rows, GetSysColor(COLOR_BTNSHADOW));
  } else {
    Glyph(hdc, x, y, rows, GetSysColor(COLOR_BTNTEXT));
  }
}

// A solid triangle pointing in a direction, centred in rc.
std::vector<std::string> Arrow(int size, UINT dir) {
  // size = the triangle's height; base is 2 * size - 1.
  const int base = 2 * size - 1;
  std::vector<std::string> up(size, std::string(base, '.'));
  for (int j = 0; j < size; ++j)
    for (int i = size - 1 - j; i <= size - 1 + j; ++i) up[j][i] = '#';
  if (dir == DFCS_SCROLLUP) return up;
  if (dir == DFCS_SCROLLDOWN || dir == DFCS_SCROLLCOMBOBOX) return {up.rbegin(), up.rend()};
  std::vector<std::string> side(base, std::string(size, '.'));
  for (int j = 0; j < size; ++j)
    for (int i = 0; i < base; ++i)
      if (up[j][i] == '#') side[i][dir == DFCS_SCROLLLEFT ? j : size - 1 - j] = '#';
  return side;
}

std::vector<const char*> Rows(const std::vector<std::string>& s) {
  std::vector<const char*> r;
  for (const std::string& x : s) r.push_back(x.c_str());
  return r;
}

BOOL ButtonFace(HDC hdc, RECT* rc, UINT state, bool adjust) {
  const bool down = (state & (DFCS_PUSHED | DFCS_CHECKED)) != 0;
  RECT r = *rc;
  if (state & DFCS_FLAT)
    DrawEdge(hdc, &r, down ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT | BF_MIDDLE | BF_FLAT | BF_ADJUST);
  else
    DrawEdge(hdc, &r, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_SOFT | BF_ADJUST);
  if (adjust) *rc = r;
  return TRUE;
}

BOOL CheckBox(HDC hdc, const RECT& rc, UINT state) {
  const LONG size = std::min({rc.right - rc.left, rc.bottom - rc.top, LONG{13}});
  if (size <= 0) return TRUE;
  // Left-aligned and centred vertically in the rectangle.
  RECT box{rc.left, rc.top + (rc.bottom - rc.top - size) / 2, 0, 0};
  box.right = box.left + size;
  box.bottom = box.top + size;
  DrawEdge(hdc, &box, EDGE_SUNKEN, BF_RECT | BF_ADJUST | ((state & DFCS_MONO) ? BF_MONO : 0) |
                                       ((state & DFCS_FLAT) ? BF_FLAT : 0));
  const bool grey = (state & (DFCS_PUSHED | DFCS_INACTIVE)) != 0;
  Fill(hdc, box.left, box.top, box.right, box.bottom, grey ? COLOR_BTNFACE : COLOR_WINDOW);
  if (state & DFCS_CHECKED) {
    static const std::vector<const char*> check = {"......#", ".....##", "#...###", "##.###.", "#####..", ".###...",
                                                   "..#...."};
    const LONG gx = box.left + (box.right - box.left - 7) / 2, gy = box.top + (box.bottom - box.top - 7) / 2;
    Glyph(hdc, gx, gy, check, GetSysColor((state & DFCS_INACTIVE) ? COLOR_BTNSHADOW : COLOR_WINDOWTEXT));
  }
  return TRUE;
}

BOOL RadioButton(HDC hdc, const RECT& rc, UINT state) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return FALSE;
  const LONG size = std::min({rc.right - rc.left, rc.bottom - rc.top, LONG{12}});
  if (size <= 0) return TRUE;
  const LONG x0 = rc.left, y0 = rc.top + (rc.bottom - rc.top - size) / 2;
  const double c = size / 2.0, radius = size / 2.0;
  const TPixels px(d);
  const bool grey = (state & (DFCS_PUSHED | DFCS_INACTIVE)) != 0;
  for (LONG y = 0; y < size; ++y)
    for (LONG x = 0; x < size; ++x) {
      const double dx = x + 0.5 - c, dy = y + 0.5 - c, dist = std::sqrt(dx * dx + dy * dy);
      const bool upperLeft = dx + dy < 0 || (dx + dy == 0 && dx < 0);
      int color = -1;
      if (dist > radius)
        continue;
      else if (dist > radius - 1.2)
        color = upperLeft ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT;
      else if (dist > radius - 2.2)
        color = upperLeft ? COLOR_3DDKSHADOW : COLOR_3DLIGHT;
      else if ((state & DFCS_CHECKED) && dist < 2.0)
        color = (state & DFCS_INACTIVE) ? COLOR_BTNSHADOW : COLOR_WINDOWTEXT;
      else
        color = grey ? COLOR_BTNFACE : COLOR_WINDOW;
      px.Set(x0 + x, y0 + y, GetSysColor(color));
    }
  return TRUE;
}

BOOL ScrollControl(HDC hdc, RECT* rc, UINT state) {
  const UINT part = state & 0xFF;
  if (part == DFCS_SCROLLSIZEGRIP) {
    // Three diagonal ridges in the bottom-right corner.
    Fill(hdc, rc->left, rc->top, rc->right, rc->bottom, COLOR_BTNFACE);
    HDC__* d = gdi::DcOf(hdc);
    if (!d) return FALSE;
    const TPixels px(d);
    const LONG size = std::min(rc->right - rc->left, rc->bottom - rc->top);
    for (LONG k = 0; k < size; ++k)
      for (LONG j = 0; j <= k; ++j) {
        const LONG x = rc->right - 1 - k + j, y = rc->bottom - 1 - j;
        const int phase = static_cast<int>(k % 4);
        if (k < 2) continue;
        if (phase == 3) px.Set(x, y, GetSysColor(COLOR_BTNHIGHLIGHT));
        if (phase == 1 || phase == 2) px.Set(x, y, GetSysColor(COLOR_BTNSHADOW));
      }
    return TRUE;
  }
  RECT r = *rc;
  ButtonFace(hdc, &r, (state & DFCS_PUSHED) ? (state | DFCS_FLAT) & ~DFCS_CHECKED : state, false);
  const LONG size = std::min(rc->right - rc->left, rc->bottom - rc->top);
  const int h = std::max(1, static_cast<int>((size - 4) / 3));
  const auto arrow = Arrow(h, part);
  const LONG gw = static_cast<LONG>(arrow[0].size()), gh = static_cast<LONG>(arrow.size());
  LONG gx = rc->left + (rc->right - rc->left - gw) / 2, gy = rc->top + (rc->bottom - rc->top - gh) / 2;
  if (state & DFCS_PUSHED) {
    ++gx;
    ++gy;
  }
  GlyphState(hdc, gx, gy, Rows(arrow), state);
  return TRUE;
}

BOOL CaptionControl(HDC hdc, RECT* rc, UINT state) {
  RECT r = *rc;
  ButtonFace(hdc, &r, state, false);
  const LONG w = rc->right - rc->left, h = rc->bottom - rc->top;
  // The glyph grid of a 16 by 14 button, centred in any other size.
  static const std::vector<const char*> close = {"##....##", ".##..##.", "..####..", "...##...",
                                                 "..####..", ".##..##.", "##....##"};
  static const std::vector<const char*> minimize = {"......", "......", "......", "......",
                                                    "......", "######", "######"};
  static const std::vector<const char*> maximize = {"#########", "#########", "#.......#", "#.......#",
                                                    "#.......#", "#.......#", "#.......#", "#########"};
  static const std::vector<const char*> restore = {"...######", "...######", "...#....#", "######..#",
                                                   "######..#", "#....####", "#....#...", "#....#...",
                                                   "######..."};
  static const std::vector<const char*> help = {"..####..", ".##..##.", ".....##.", "....##..",
                                                "...##...", "...##...", "........", "...##..."};
  const std::vector<const char*>* g = &close;
  switch (state & 0xFF) {
    case DFCS_CAPTIONMIN: g = &minimize; break;
    case DFCS_CAPTIONMAX: g = &maximize; break;
    case DFCS_CAPTIONRESTORE: g = &restore; break;
    case DFCS_CAPTIONHELP: g = &help; break;
    default: break;
  }
  const LONG gw = static_cast<LONG>(std::char_traits<char>::length((*g)[0])), gh = static_cast<LONG>(g->size());
  LONG gx = rc->left + (w - gw) / 2, gy = rc->top + (h - gh) / 2;
  if (state & DFCS_PUSHED) {
    ++gx;
    ++gy;
  }
  GlyphState(hdc, gx, gy, *g, state);
  return TRUE;
}

}  // namespace

BOOL DrawEdge(HDC hdc, RECT* rc, UINT edge, UINT flags) {
  if (!gdi::DcOf(hdc) || !rc) return FALSE;
  const UINT index = edge & (BDR_INNER | BDR_OUTER);
  const bool soft = (flags & BF_SOFT) != 0;
  int ltOuter = (soft ? LTOuterSoft : LTOuterNormal)[index], ltInner = (soft ? LTInnerSoft : LTInnerNormal)[index];
  int rbOuter = RBOuterNormal[index], rbInner = RBInnerNormal[index];
  if (flags & BF_MONO) {
    ltOuter = rbOuter = ltOuter >= 0 ? COLOR_WINDOWFRAME : -1;
    ltInner = rbInner = ltInner >= 0 ? COLOR_WINDOW : -1;
  } else if (flags & BF_FLAT) {
    ltOuter = rbOuter = ltOuter >= 0 ? COLOR_BTNSHADOW : -1;
    ltInner = rbInner = ltInner >= 0 ? COLOR_BTNFACE : -1;
  }
  RECT r = *rc;
  // Top and left first; bottom and right span the full length, owning the
  // two corners they share with them.
  const auto ring = [&](int lt, int rb) {
    if (lt < 0 && rb < 0) return;
    if (flags & BF_TOP) Fill(hdc, r.left, r.top, r.right, r.top + 1, lt);
    if (flags & BF_LEFT) Fill(hdc, r.left, r.top, r.left + 1, r.bottom, lt);
    if (flags & BF_BOTTOM) Fill(hdc, r.left, r.bottom - 1, r.right, r.bottom, rb);
    if (flags & BF_RIGHT) Fill(hdc, r.right - 1, r.top, r.right, r.bottom, rb);
    if (flags & BF_TOP) ++r.top;
    if (flags & BF_LEFT) ++r.left;
    if (flags & BF_BOTTOM) --r.bottom;
    if (flags & BF_RIGHT) --r.right;
  };
  ring(ltOuter, rbOuter);
  ring(ltInner, rbInner);
  if (flags & BF_MIDDLE) Fill(hdc, r.left, r.top, r.right, r.bottom, (flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE);
  if (flags & BF_ADJUST) *rc = r;
  return TRUE;
}

BOOL DrawFocusRect(HDC hdc, const RECT* rc) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d || !rc) return FALSE;
  if (rc->left >= rc->right || rc->top >= rc->bottom) return TRUE;
  const TPixels px(d);
  // Every other pixel by device position, so adjoining rectangles dot alike.
  const auto dot = [&](LONG x, LONG y) {
    if (((gdi::DevX(d, x) + gdi::DevY(d, y)) & 1) == 0) px.Invert(x, y);
  };
  for (LONG x = rc->left; x < rc->right; ++x) {
    dot(x, rc->top);
    if (rc->bottom - 1 > rc->top) dot(x, rc->bottom - 1);
  }
  for (LONG y = rc->top + 1; y < rc->bottom - 1; ++y) {
    dot(rc->left, y);
    if (rc->right - 1 > rc->left) dot(rc->right - 1, y);
  }
  return TRUE;
}

BOOL DrawFrameControl(HDC hdc, RECT* rc, UINT type, UINT state) {
  if (!gdi::DcOf(hdc) || !rc) return FALSE;
  switch (type) {
    case DFC_BUTTON:
      if (state & DFCS_BUTTONPUSH) return ButtonFace(hdc, rc, state, (state & DFCS_ADJUSTRECT) != 0);
      if (state & (DFCS_BUTTONRADIO | DFCS_BUTTONRADIOIMAGE | DFCS_BUTTONRADIOMASK)) return RadioButton(hdc, *rc, state);
      return CheckBox(hdc, *rc, state);
    case DFC_SCROLL: return ScrollControl(hdc, rc, state);
    case DFC_CAPTION: return CaptionControl(hdc, rc, state);
    default: return FALSE;
  }
}

HBRUSH GetSysColorBrush(int index) {
  if (index < 0 || index >= SysColors) return nullptr;
  static std::mutex lock;
  static HBRUSH brushes[SysColors] = {};
  std::lock_guard<std::mutex> g(lock);
  if (!brushes[index]) {
    HBRUSH b = CreateSolidBrush(GetSysColor(index));
    if (b) b->Stock = true;  // DeleteObject leaves it alone
    brushes[index] = b;
  }
  return brushes[index];
}

}  // namespace win
