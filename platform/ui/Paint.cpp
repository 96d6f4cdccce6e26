#include "platform/ui/Paint.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ui/Backend.h"
#include "platform/ui/Draw.h"
#include "platform/ui/GdiInternal.h"
#include "platform/ui/Png.h"
#include "platform/ui/Text.h"
#include "platform/ui/WindowInternal.h"

namespace win {

namespace {

using TRects = std::vector<RECT>;

// Paint state of one window. Update regions are kept in window coordinates
// (the window rectangle's top-left corner is 0,0), so they survive moves.
struct TPaint {
  TRects update;
  bool erase = false;
  bool internal = false;
  bool ncActive = false;
  bool redrawOff = false;  // WM_SETREDRAW FALSE
  bool hasShape = false;
  TRects shape;  // window coordinates
  HRGN shapeHandle = nullptr;
  // Top-level windows only.
  HBITMAP surface = nullptr;
  RECT dirty{};  // drawn since the last present, surface coordinates
  bool shown = false;
};

// A DC handed out for a window: a memory DC over an alias of the top-level
// window's surface (a bitmap object sharing its pixels), since a bitmap can
// be selected into one DC only and several window DCs may be out at once.
struct TWindowDc {
  HWND hwnd = nullptr;
  HWND root = nullptr;
  HBITMAP alias = nullptr;
  HGDIOBJ old = nullptr;
  RECT bounds{};  // what it may touch, surface coordinates
  bool readOnly = false;
};

std::mutex g_mutex;  // the maps; the windows themselves belong to their thread
std::unordered_map<HWND, std::unique_ptr<TPaint>> g_paint;
std::unordered_map<HDC, TWindowDc> g_dcs;
// Counts invalidations; a thread walks its window tree for WM_PAINT only
// when it moved since that thread's last walk that found nothing, so an idle
// queue does not walk the tree on every fetch.
std::atomic<unsigned long long> g_invalidations{0};
thread_local unsigned long long t_seenInvalidations = ~0ULL;

TPaint* Peek(HWND hwnd) {
  std::lock_guard lock(g_mutex);
  auto it = g_paint.find(hwnd);
  return it == g_paint.end() ? nullptr : it->second.get();
}

TPaint& State(HWND hwnd) {
  std::lock_guard lock(g_mutex);
  auto& p = g_paint[hwnd];
  if (!p) p = std::make_unique<TPaint>();
  return *p;
}

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

RECT Offset(RECT r, LONG dx, LONG dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

TRects Offset(TRects rs, LONG dx, LONG dy) {
  for (RECT& r : rs) r = Offset(r, dx, dy);
  return rs;
}

TRects And(const TRects& a, const TRects& b) { return rgn::Combine(a, b, RGN_AND); }
TRects Or(const TRects& a, const TRects& b) { return rgn::Combine(a, b, RGN_OR); }
TRects Diff(const TRects& a, const TRects& b) { return rgn::Combine(a, b, RGN_DIFF); }

RECT Union(const RECT& a, const RECT& b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

HRGN__* Rgn(HRGN h) { return gdi::As<HRGN__>(h, TGdiKind::Region); }

HRGN NewRegion(const TRects& rects) {
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  if (r) rgn::Assign(*Rgn(r), rects);
  return r;
}

DWORD Style(HWND h) { return static_cast<DWORD>(GetWindowLongA(h, GWL_STYLE)); }
DWORD ExStyle(HWND h) { return static_cast<DWORD>(GetWindowLongA(h, GWL_EXSTYLE)); }
HWND ParentOf(HWND h) { return GetAncestor(h, GA_PARENT); }
HWND RootOf(HWND h) { return GetAncestor(h, GA_ROOT); }

RECT ScreenWindow(HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  return r;
}

RECT ScreenClient(HWND h) {
  RECT r;
  GetClientRect(h, &r);
  POINT o{0, 0};
  ClientToScreen(h, &o);
  return Offset(r, o.x, o.y);
}

// The client rectangle in window coordinates.
RECT ClientInWindow(HWND h) {
  const RECT w = ScreenWindow(h);
  return Offset(ScreenClient(h), -w.left, -w.top);
}

RECT WindowBox(HWND h) {
  const RECT w = ScreenWindow(h);
  return RECT{0, 0, w.right - w.left, w.bottom - w.top};
}

// Surface coordinates: the top-level window's rectangle starts at 0,0.
POINT SurfaceOrigin(HWND h) {
  const RECT r = ScreenWindow(RootOf(h));
  return POINT{r.left, r.top};
}

RECT InSurface(const RECT& screen, POINT origin) { return Offset(screen, -origin.x, -origin.y); }

std::vector<HWND> Children(HWND h) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  return out;
}

// The area a window covers, in surface coordinates: its rectangle cut to its shape.
TRects Covered(HWND h, POINT origin) {
  const RECT wr = InSurface(ScreenWindow(h), origin);
  TPaint* p = Peek(h);
  if (p && p->hasShape) return And({wr}, Offset(p->shape, wr.left, wr.top));
  return {wr};
}

// What of a window shows, in surface coordinates.
TRects Visible(HWND h, bool windowArea, bool clipChildren, bool clipSiblings, bool parentClip) {
  if (!IsWindowVisible(h)) return {};
  TPaint* self = Peek(h);
  if (self && self->redrawOff) return {};
  const POINT origin = SurfaceOrigin(h);
  const HWND parent = ParentOf(h);
  TRects vis;
  if (parentClip && parent) {
    vis = {InSurface(ScreenClient(parent), origin)};
  } else {
    vis = {InSurface(windowArea ? ScreenWindow(h) : ScreenClient(h), origin)};
    vis = And(vis, Covered(h, origin));
  }
  for (HWND a = h, p = parent; p; a = p, p = ParentOf(p)) {
    vis = And(vis, {InSurface(ScreenClient(p), origin)});
    vis = And(vis, Covered(p, origin));
    if (a == h ? clipSiblings : (Style(a) & WS_CLIPSIBLINGS) != 0) {
      for (HWND s = GetWindow(a, GW_HWNDFIRST); s && s != a; s = GetWindow(s, GW_HWNDNEXT))
        if (Style(s) & WS_VISIBLE) vis = Diff(vis, Covered(s, origin));
    }
    if (vis.empty()) return vis;
  }
  if (clipChildren) {
    for (HWND c : Children(h))
      if (Style(c) & WS_VISIBLE) vis = Diff(vis, Covered(c, origin));
  }
  return vis;
}

// The surface of a top-level window, made or resized to its rectangle; the
// pixels that stay inside keep their place.
HBITMAP EnsureSurface(HWND root) {
  TPaint& p = State(root);
  const RECT box = WindowBox(root);
  const LONG w = box.right, h = box.bottom;
  if (p.surface && p.surface->Width == w && p.surface->Height == h) return p.surface;
  HBITMAP fresh = nullptr;
  if (w > 0 && h > 0) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    fresh = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
  }
  HBITMAP old = std::exchange(p.surface, fresh);
  if (old && fresh) {
    const LONG cw = std::min(old->Width, fresh->Width), ch = std::min(old->Height, fresh->Height);
    for (LONG y = 0; y < ch; ++y) std::memcpy(fresh->Row(y), old->Row(y), static_cast<size_t>(cw) * 4);
  }
  // DCs still out over the old pixels follow the new ones.
  {
    std::lock_guard lock(g_mutex);
    for (auto& [hdc, dc] : g_dcs) {
      if (dc.root != root || !dc.alias) continue;
      dc.alias->Bits = fresh ? fresh->Bits : nullptr;
      dc.alias->Width = fresh ? fresh->Width : 0;
      dc.alias->Height = fresh ? fresh->Height : 0;
      if (!fresh) {
        SelectObject(hdc, dc.old);
        DeleteObject(dc.alias);
        dc.alias = nullptr;
      }
    }
  }
  if (old) DeleteObject(old);
  p.dirty = box;
  return fresh;
}

// A DC over a window's surface: origin at its client (or window) corner,
// clipped to `vis` (surface coordinates).
HDC MakeDc(HWND h, bool windowArea, const TRects& vis, bool readOnly = false) {
  HDC hdc = CreateCompatibleDC(nullptr);
  if (!hdc) return nullptr;
  if (!h) {
    std::lock_guard lock(g_mutex);
    g_dcs[hdc] = TWindowDc{};
    return hdc;
  }
  TWindowDc dc;
  dc.hwnd = h;
  dc.root = h ? RootOf(h) : nullptr;
  dc.readOnly = readOnly;
  if (h) {
    HBITMAP surface = EnsureSurface(dc.root);
    if (surface) {
      auto* alias = new HBITMAP__;
      alias->Width = surface->Width;
      alias->Height = surface->Height;
      alias->Dib = true;
      alias->Bits = surface->Bits;
      dc.alias = static_cast<HBITMAP>(gdi::Register(alias));
      dc.old = SelectObject(hdc, dc.alias);
    }
    const POINT origin = SurfaceOrigin(h);
    const RECT area = InSurface(windowArea ? ScreenWindow(h) : ScreenClient(h), origin);
    HDC__* d = gdi::DcOf(hdc);
    d->Origin = POINT{area.left, area.top};
    d->HasVis = true;
    d->Vis = vis;
    dc.bounds = rgn::BoundsOf(vis);
  }
  std::lock_guard lock(g_mutex);
  g_dcs[hdc] = dc;
  return hdc;
}

void MarkDirty(HWND root, const RECT& r) {
  if (!root || Empty(r)) return;
  TPaint& p = State(root);
  p.dirty = Union(p.dirty, r);
}

TRects NonClient(HWND h) { return Diff({WindowBox(h)}, {ClientInWindow(h)}); }

void SendNcPaint(HWND h) {
  TPaint* p = Peek(h);
  if (!p || p->update.empty()) return;
  const RECT client = ClientInWindow(h);
  if (Diff(p->update, {client}).empty()) return;
  const RECT wr = ScreenWindow(h);
  HRGN rgn = NewRegion(Offset(p->update, wr.left, wr.top));
  // The frame counts as painted before the handler runs, so what it
  // invalidates again stays invalid.
  p->update = And(p->update, {client});
  SendMessageA(h, WM_NCPAINT, reinterpret_cast<WPARAM>(rgn), 0);
  DeleteObject(rgn);
}

bool ClipsChildrenByStyle(HWND h) { return (Style(h) & WS_CLIPCHILDREN) && !(Style(h) & WS_MINIMIZE); }

HDC ClientDcOver(HWND h, const TRects& updateInWindow) {
  const RECT wr = ScreenWindow(h);
  const POINT origin = SurfaceOrigin(h);
  const TRects vis = Visible(h, false, ClipsChildrenByStyle(h), (Style(h) & WS_CLIPSIBLINGS) != 0,
                             (wnd::ClassStyle(h) & CS_PARENTDC) != 0);
  return MakeDc(h, false, And(vis, Offset(updateInWindow, wr.left - origin.x, wr.top - origin.y)));
}

void EraseNow(HWND h) {
  SendNcPaint(h);
  TPaint* p = Peek(h);
  if (!p || !p->erase || p->update.empty()) return;
  HDC hdc = ClientDcOver(h, p->update);
  p->erase = false;
  if (!SendMessageA(h, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0)) {
    if ((p = Peek(h))) p->erase = true;
  }
  ReleaseDC(h, hdc);
}

bool NeedsPaint(HWND h) {
  TPaint* p = Peek(h);
  return p && !p->redrawOff && (!p->update.empty() || p->internal);
}

bool ReachesChildren(HWND h, UINT flags) {
  if (flags & RDW_NOCHILDREN) return false;
  return (flags & RDW_ALLCHILDREN) || !(Style(h) & WS_CLIPCHILDREN);
}

// Adds to or takes from the update region; `area` is in window coordinates,
// null for the whole window (client only without RDW_FRAME).
void Update(HWND h, const TRects* area, UINT flags) {
  if (!IsWindowVisible(h)) return;
  TPaint& p = State(h);
  if (p.redrawOff) return;
  const RECT box = WindowBox(h);
  const RECT client = ClientInWindow(h);
  const TRects limit = {(flags & RDW_FRAME) ? box : client};
  if (flags & RDW_INVALIDATE) {
    const TRects add = area ? And(*area, limit) : limit;
    if (!add.empty()) {
      p.update = Or(p.update, add);
      if (flags & RDW_ERASE) p.erase = true;
      ++g_invalidations;
    }
  } else if (flags & RDW_VALIDATE) {
    if (!area)
      p.update = (flags & RDW_NOFRAME) ? Diff(p.update, {client}) : TRects{};
    else
      p.update = Diff(p.update, *area);
  }
  if (flags & RDW_INTERNALPAINT) {
    p.internal = true;
    ++g_invalidations;
  }
  if (flags & RDW_NOINTERNALPAINT) p.internal = false;
  if (flags & RDW_NOERASE) p.erase = false;
  if (p.update.empty()) p.erase = false;
  if (!ReachesChildren(h, flags)) return;
  for (HWND c : Children(h)) {
    if (!(Style(c) & WS_VISIBLE)) continue;
    const RECT cw = ScreenWindow(c);
    const RECT hw = ScreenWindow(h);
    const RECT at = Offset(cw, -hw.left, -hw.top);
    if (area) {
      const TRects part = Offset(And(*area, And({at}, {client})), -at.left, -at.top);
      if (part.empty() && (flags & RDW_INVALIDATE)) continue;
      Update(c, &part, flags | RDW_FRAME);
    } else {
      const TRects part = Offset(And({at}, {client}), -at.left, -at.top);
      Update(c, &part, flags | RDW_FRAME);
    }
  }
}

void ProcessNow(HWND h, UINT flags) {
  if (!IsWindow(h) || !IsWindowVisible(h)) return;
  if ((flags & RDW_UPDATENOW) && NeedsPaint(h)) {
    SendMessageA(h, WM_PAINT, 0, 0);
  } else if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) {
    EraseNow(h);
  }
  if (!IsWindow(h) || !ReachesChildren(h, flags)) return;
  for (HWND c : Children(h)) ProcessNow(c, flags);
}

HBRUSH SysColorBrush(int index) {
  static HBRUSH brushes[COLOR_MENUBAR + 1] = {};
  if (index < 0 || index > COLOR_MENUBAR) return nullptr;
  if (!brushes[index]) brushes[index] = CreateSolidBrush(GetSysColor(index));
  return brushes[index];
}

void Fill(HDC hdc, RECT r, COLORREF c) {
  HBRUSH b = CreateSolidBrush(c);
  FillRect(hdc, &r, b);
  DeleteObject(b);
}

// A classic two-line edge: raised (light above and left) or sunken.
void Edge(HDC hdc, RECT r, COLORREF outerLight, COLORREF outerDark, COLORREF innerLight, COLORREF innerDark) {
  for (int i = 0; i < 2; ++i) {
    const COLORREF light = i ? innerLight : outerLight, dark = i ? innerDark : outerDark;
    Fill(hdc, RECT{r.left, r.top, r.right - 1, r.top + 1}, light);
    Fill(hdc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, light);
    Fill(hdc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, dark);
    Fill(hdc, RECT{r.right - 1, r.top, r.right, r.bottom}, dark);
    r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
}

HFONT CaptionFont(bool small) {
  static HFONT fonts[2] = {};
  HFONT& f = fonts[small ? 1 : 0];
  if (!f)
    f = CreateFontA(small ? -10 : -11, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, "MS Sans Serif");
  return f;
}

// The plain frame that the default hit test answers for: sizing or dialog
// border with a raised edge, a caption in the active or inactive colour with
// its buttons, and a sunken client edge.
void DrawDefaultFrame(HWND h, HDC hdc) {
  const RECT box = WindowBox(h);
  const wnd::TFrameMetrics f = wnd::FrameOf(h);
  const DWORD style = Style(h), ex = ExStyle(h);
  TPaint& p = State(h);
  const int b = f.border;
  if (b > 0) {
    const RECT inner{b, b, box.right - b, box.bottom - b};
    HRGN band = NewRegion(Diff({box}, {inner}));
    FillRgn(hdc, band, SysColorBrush(p.ncActive ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER));
    DeleteObject(band);
    if (b >= 2)
      Edge(hdc, box, GetSysColor(COLOR_3DLIGHT), GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT),
           GetSysColor(COLOR_BTNSHADOW));
    else
      FrameRect(hdc, &box, SysColorBrush(COLOR_WINDOWFRAME));
  }
  if (f.caption > 0) {
    const RECT cap{b, b, box.right - b, b + f.caption - 1};
    Fill(hdc, cap, GetSysColor(p.ncActive ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
    Fill(hdc, RECT{b, cap.bottom, box.right - b, cap.bottom + 1}, GetSysColor(COLOR_BTNFACE));
    int edge = box.right - b;
    if (style & WS_SYSMENU) {
      const int bw = GetSystemMetrics((ex & WS_EX_TOOLWINDOW) ? SM_CXSMSIZE : SM_CXSIZE);
      auto button = [&](UINT kind) {
        RECT r{edge - bw + 1, cap.top + 2, edge - 1, cap.bottom - 2};
        DrawFrameControl(hdc, &r, DFC_CAPTION, kind);
        edge -= bw;
      };
      button(DFCS_CAPTIONCLOSE);
      if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) {
        button((style & WS_MAXIMIZE) ? DFCS_CAPTIONRESTORE : DFCS_CAPTIONMAX);
        button(DFCS_CAPTIONMIN);
      }
    }
    const std::string text = GetWindowTextString(h);
    if (!text.empty()) {
      RECT tr{cap.left + 3, cap.top, edge - 2, cap.bottom};
      HGDIOBJ oldFont = SelectObject(hdc, CaptionFont((ex & WS_EX_TOOLWINDOW) != 0));
      SetBkMode(hdc, TRANSPARENT);
      SetTextColor(hdc, GetSysColor(p.ncActive ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
      DrawTextA(hdc, text.c_str(), -1, &tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
      SelectObject(hdc, oldFont);
    }
  }
  if (f.edge > 0) {
    const RECT c = ClientInWindow(h);
    const RECT e{c.left - f.edge, c.top - f.edge, c.right + f.edge, c.bottom + f.edge};
    Edge(hdc, e, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_3DDKSHADOW),
         GetSysColor(COLOR_3DLIGHT));
  }
}

void DropDcs(HWND root) {
  std::lock_guard lock(g_mutex);
  for (auto& [hdc, dc] : g_dcs) {
    if (dc.root != root || !dc.alias) continue;
    SelectObject(hdc, dc.old);
    dc.alias->Bits = nullptr;
    DeleteObject(dc.alias);
    dc.alias = nullptr;
  }
}

// Repaints a window and its children before its pixels are read.
void Settle(HWND h) { ProcessNow(h, RDW_UPDATENOW | RDW_ALLCHILDREN); }

}  // namespace

// ---------------------------------------------------------------- window layer hooks

namespace paint {

HWND NextPaint(HWND filter) {
  const unsigned long long seen = g_invalidations.load();
  if (seen == t_seenInvalidations) return nullptr;
  // Parents come before their children: a pre-order walk in z-order.
  std::vector<HWND> stack;
  std::vector<HWND> tops;
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) tops.push_back(h);
  for (auto it = tops.rbegin(); it != tops.rend(); ++it) stack.push_back(*it);
  while (!stack.empty()) {
    const HWND h = stack.back();
    stack.pop_back();
    if (!wnd::OnThisThread(h) || !(Style(h) & WS_VISIBLE)) continue;
    if ((!filter || h == filter) && NeedsPaint(h)) return h;
    const std::vector<HWND> kids = Children(h);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(*it);
  }
  if (!filter) t_seenInvalidations = seen;
  return nullptr;
}

void OnPosChanged(HWND hwnd, const RECT& oldRect, const RECT& oldClient, bool wasVisible, UINT flags) {
  const DWORD style = Style(hwnd);
  const bool visible = (style & WS_VISIBLE) != 0;
  const HWND parent = ParentOf(hwnd);
  const RECT rect = ScreenWindow(hwnd);
  const bool moved = rect.left != oldRect.left || rect.top != oldRect.top;
  const bool sized =
      rect.right - rect.left != oldRect.right - oldRect.left || rect.bottom - rect.top != oldRect.bottom - oldRect.top;
  const bool redraw = !(flags & SWP_NOREDRAW);
  constexpr UINT kAll = RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN;
  if (!parent) {
    TPaint& p = State(hwnd);
    if (visible && !wasVisible) {
      EnsureSurface(hwnd);
      p.shown = true;
      // The shape first, so that the display makes a shaped window at once.
      if (p.hasShape) Backend().ShapeChanged(hwnd, p.shape, true);
      Backend().WindowShown(hwnd, rect, style, ExStyle(hwnd));
      Update(hwnd, nullptr, kAll);
    } else if (!visible && wasVisible) {
      p.shown = false;
      Backend().WindowHidden(hwnd);
    } else if (visible) {
      if (moved || sized) Backend().WindowMoved(hwnd, rect);
      if (!(flags & SWP_NOZORDER)) Backend().WindowRaised(hwnd);
      if (sized) {
        EnsureSurface(hwnd);
        if (redraw) {
          const TRects frame = NonClient(hwnd);
          Update(hwnd, &frame, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
          const UINT cls = wnd::ClassStyle(hwnd);
          const RECT nc = ClientInWindow(hwnd);
          const RECT oc = Offset(oldClient, -oldRect.left, -oldRect.top);
          const bool whole = nc.left != oc.left || nc.top != oc.top ||
                             ((cls & CS_HREDRAW) && nc.right - nc.left != oc.right - oc.left) ||
                             ((cls & CS_VREDRAW) && nc.bottom - nc.top != oc.bottom - oc.top);
          if (whole) {
            Update(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
          } else {
            const TRects fresh = Diff({nc}, {RECT{nc.left, nc.top, nc.left + (oc.right - oc.left),
                                                  nc.top + (oc.bottom - oc.top)}});
            Update(hwnd, &fresh, RDW_INVALIDATE | RDW_ERASE);
          }
        }
      } else if ((flags & SWP_FRAMECHANGED) && redraw) {
        const TRects frame = NonClient(hwnd);
        Update(hwnd, &frame, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
      }
    }
    return;
  }
  if (!redraw) return;
  // A child shares its top-level window's surface: what it uncovers is
  // repainted by the parent and the siblings beneath, and it repaints itself
  // wherever it now lies.
  const RECT pw = ScreenWindow(parent);
  const TRects before{Offset(oldRect, -pw.left, -pw.top)};
  if (visible && !wasVisible) {
    Update(hwnd, nullptr, kAll);
  } else if (!visible && wasVisible) {
    Update(parent, &before, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  } else if (visible) {
    if (moved || sized) {
      Update(parent, &before, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      Update(hwnd, nullptr, kAll);
    } else if (!(flags & SWP_NOZORDER)) {
      Update(hwnd, nullptr, kAll);
    } else if (flags & SWP_FRAMECHANGED) {
      const TRects frame = NonClient(hwnd);
      Update(hwnd, &frame, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
    }
  }
}

void AfterPaint(HWND hwnd) {
  if (TPaint* p = Peek(hwnd)) p->internal = false;
  EraseNow(hwnd);
}

void OnDestroyed(HWND hwnd) {
  std::unique_ptr<TPaint> dead;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_paint.find(hwnd);
    if (it != g_paint.end()) dead = std::move(it->second), g_paint.erase(it);
  }
  if (!dead) return;
  if (dead->surface) {
    DropDcs(hwnd);
    DeleteObject(dead->surface);
  }
  if (dead->shapeHandle) DeleteObject(dead->shapeHandle);
  if (!ParentOf(hwnd)) Backend().WindowDestroyed(hwnd);
  std::lock_guard lock(g_mutex);
  for (auto& [hdc, dc] : g_dcs)
    if (dc.hwnd == hwnd) dc.hwnd = nullptr;  // WindowFromDC no longer names it
}

bool InShape(HWND hwnd, POINT screen) {
  TPaint* p = Peek(hwnd);
  if (!p || !p->hasShape) return true;
  const RECT wr = ScreenWindow(hwnd);
  const LONG x = screen.x - wr.left, y = screen.y - wr.top;
  return std::any_of(p->shape.begin(), p->shape.end(),
                     [&](const RECT& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; });
}

void Flush() {
  std::vector<std::pair<HWND, RECT>> due;
  {
    std::lock_guard lock(g_mutex);
    for (auto& [h, p] : g_paint) {
      if (!p->surface || Empty(p->dirty)) continue;
      if (p->shown) due.emplace_back(h, p->dirty);
      p->dirty = RECT{};
    }
  }
  for (const auto& [h, r] : due) {
    TPaint* p = Peek(h);
    if (p && p->surface) Backend().Present(h, p->surface, r);
  }
}

void MarkAllDirty(HWND hwnd) {
  TPaint* p = Peek(hwnd);
  if (p && p->surface) p->dirty = RECT{0, 0, p->surface->Width, p->surface->Height};
}

LRESULT DefPaint(HWND hwnd) {
  PAINTSTRUCT ps;
  if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
  return 0;
}

LRESULT DefEraseBackground(HWND hwnd, HDC hdc) {
  HBRUSH brush = wnd::ClassBackground(hwnd);
  if (!brush) return 0;
  const auto value = reinterpret_cast<std::uintptr_t>(brush);
  if (value <= static_cast<std::uintptr_t>(COLOR_MENUBAR) + 1) brush = SysColorBrush(static_cast<int>(value) - 1);
  if (!brush) return 0;
  RECT rc;
  GetClientRect(hwnd, &rc);
  FillRect(hdc, &rc, brush);
  return 1;
}

LRESULT DefNcPaint(HWND hwnd, HRGN rgn) {
  const bool region = reinterpret_cast<std::uintptr_t>(rgn) > 1 && Rgn(rgn);
  HDC hdc = GetDCEx(hwnd, region ? rgn : nullptr, DCX_WINDOW | DCX_CACHE | DCX_CLIPSIBLINGS |
                                                      (region ? DCX_INTERSECTRGN : 0));
  if (!hdc) return 0;
  const RECT c = ClientInWindow(hwnd);
  ExcludeClipRect(hdc, c.left, c.top, c.right, c.bottom);
  DrawDefaultFrame(hwnd, hdc);
  ReleaseDC(hwnd, hdc);
  return 0;
}

void RedrawFrame(HWND hwnd) {
  if (!IsWindowVisible(hwnd)) return;
  const TRects frame = NonClient(hwnd);
  if (frame.empty()) return;
  Update(hwnd, &frame, RDW_INVALIDATE | RDW_FRAME | RDW_NOCHILDREN);
  SendNcPaint(hwnd);
}

LRESULT DefNcActivate(HWND hwnd, BOOL active) {
  State(hwnd).ncActive = active != FALSE;
  RedrawFrame(hwnd);
  return TRUE;
}

LRESULT DefPrint(HWND hwnd, HDC hdc, LPARAM options, bool clientOnly) {
  if ((options & PRF_CHECKVISIBLE) && !IsWindowVisible(hwnd)) return 0;
  POINT org;
  GetViewportOrgEx(hdc, &org);
  const RECT c = ClientInWindow(hwnd);
  if ((options & PRF_NONCLIENT) && !clientOnly) DrawDefaultFrame(hwnd, hdc);
  SetViewportOrgEx(hdc, org.x + c.left, org.y + c.top, nullptr);
  if (options & PRF_ERASEBKGND) SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  if (options & PRF_CLIENT) SendMessageA(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), options);
  if (options & PRF_CHILDREN) {
    const std::vector<HWND> kids = Children(hwnd);
    const RECT cs = ScreenClient(hwnd);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
      if (!(Style(*it) & WS_VISIBLE)) continue;
      const RECT kr = ScreenWindow(*it);
      SetViewportOrgEx(hdc, org.x + c.left + kr.left - cs.left, org.y + c.top + kr.top - cs.top, nullptr);
      SendMessageA(*it, WM_PRINT, reinterpret_cast<WPARAM>(hdc), options & ~PRF_CHECKVISIBLE);
    }
  }
  SetViewportOrgEx(hdc, org.x, org.y, nullptr);
  return 0;
}

LRESULT DefSetRedraw(HWND hwnd, BOOL redraw) {
  TPaint& p = State(hwnd);
  p.redrawOff = !redraw;
  if (!redraw) {
    p.update.clear();
    p.erase = p.internal = false;
  }
  return 0;
}

}  // namespace paint

// ---------------------------------------------------------------- update regions

BOOL RedrawWindow(HWND hwnd, const RECT* updateRect, HRGN updateRgn, UINT flags) {
  if (!hwnd) {
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT))
      if (wnd::OnThisThread(h)) RedrawWindow(h, updateRect, updateRgn, flags);
    return TRUE;
  }
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (flags & (RDW_INVALIDATE | RDW_VALIDATE | RDW_INTERNALPAINT | RDW_NOINTERNALPAINT | RDW_NOERASE)) {
    const RECT c = ClientInWindow(hwnd);
    std::optional<TRects> area;
    if (updateRgn) {
      HRGN__* r = Rgn(updateRgn);
      if (!r) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      area = Offset(r->Rects, c.left, c.top);
    } else if (updateRect) {
      area = rgn::FromRects({Offset(*updateRect, c.left, c.top)});
    }
    Update(hwnd, area ? &*area : nullptr, flags);
  }
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) ProcessNow(hwnd, flags);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  return RedrawWindow(hwnd, rect, nullptr, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL InvalidateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
  return RedrawWindow(hwnd, nullptr, rgn, RDW_INVALIDATE | (erase ? RDW_ERASE : 0));
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  return RedrawWindow(hwnd, rect, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
}

BOOL ValidateRgn(HWND hwnd, HRGN rgn) { return RedrawWindow(hwnd, nullptr, rgn, RDW_VALIDATE | RDW_NOCHILDREN); }

BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (erase) EraseNow(hwnd);
  TPaint* p = Peek(hwnd);
  const RECT c = ClientInWindow(hwnd);
  const TRects part = p ? And(p->update, {c}) : TRects{};
  const RECT box = part.empty() ? RECT{} : Offset(rgn::BoundsOf(part), -c.left, -c.top);
  if (rect) *rect = box;
  return part.empty() ? FALSE : TRUE;
}

int GetUpdateRgn(HWND hwnd, HRGN rgn, BOOL erase) {
  HRGN__* r = Rgn(rgn);
  if (!IsWindow(hwnd) || !r) return ERROR;
  if (erase) EraseNow(hwnd);
  TPaint* p = Peek(hwnd);
  const RECT c = ClientInWindow(hwnd);
  rgn::Assign(*r, p ? Offset(And(p->update, {c}), -c.left, -c.top) : TRects{});
  return rgn::ComplexityOf(r->Rects);
}

BOOL UpdateWindow(HWND hwnd) {
  return RedrawWindow(hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  if (!ps || !IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SendNcPaint(hwnd);
  if (!IsWindow(hwnd)) return nullptr;
  TPaint& p = State(hwnd);
  const RECT c = ClientInWindow(hwnd);
  const TRects update = And(p.update, {c});
  const bool erase = p.erase;
  p.update.clear();
  p.erase = false;
  p.internal = false;
  *ps = PAINTSTRUCT{};
  ps->rcPaint = update.empty() ? RECT{} : Offset(rgn::BoundsOf(update), -c.left, -c.top);
  ps->hdc = ClientDcOver(hwnd, update);
  if (erase && ps->hdc) ps->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(ps->hdc), 0) ? FALSE : TRUE;
  return ps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (!ps) return FALSE;
  ReleaseDC(hwnd, ps->hdc);
  return TRUE;
}

// ---------------------------------------------------------------- window DCs

HDC GetDCEx(HWND hwnd, HRGN clip, DWORD flags) {
  if (!hwnd) return MakeDc(nullptr, false, {});
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  const bool windowArea = (flags & DCX_WINDOW) != 0;
  TRects vis = Visible(hwnd, windowArea, (flags & DCX_CLIPCHILDREN) != 0, (flags & DCX_CLIPSIBLINGS) != 0,
                       (flags & DCX_PARENTCLIP) != 0);
  const POINT origin = SurfaceOrigin(hwnd);
  if (flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN)) {
    HRGN__* r = clip ? Rgn(clip) : nullptr;
    const TRects extra = r ? Offset(r->Rects, -origin.x, -origin.y) : TRects{};
    if (flags & DCX_INTERSECTRGN)
      vis = And(vis, extra);
    else
      vis = Diff(vis, extra);
  }
  if (flags & (DCX_INTERSECTUPDATE | DCX_EXCLUDEUPDATE)) {
    TPaint* p = Peek(hwnd);
    const RECT wr = ScreenWindow(hwnd);
    const TRects upd = p ? Offset(p->update, wr.left - origin.x, wr.top - origin.y) : TRects{};
    vis = (flags & DCX_INTERSECTUPDATE) ? And(vis, upd) : Diff(vis, upd);
    if ((flags & DCX_VALIDATE) && p) p->update.clear();
  }
  return MakeDc(hwnd, windowArea, vis);
}

HDC GetDC(HWND hwnd) {
  if (!hwnd) return GetDCEx(nullptr, nullptr, 0);
  DWORD flags = DCX_CACHE;
  if (Style(hwnd) & WS_CLIPSIBLINGS) flags |= DCX_CLIPSIBLINGS;
  if (ClipsChildrenByStyle(hwnd)) flags |= DCX_CLIPCHILDREN;
  if (wnd::ClassStyle(hwnd) & CS_PARENTDC) flags |= DCX_PARENTCLIP;
  return GetDCEx(hwnd, nullptr, flags);
}

HDC GetWindowDC(HWND hwnd) {
  if (!hwnd) return GetDC(nullptr);
  DWORD flags = DCX_CACHE | DCX_WINDOW;
  if (Style(hwnd) & WS_CLIPSIBLINGS) flags |= DCX_CLIPSIBLINGS;
  return GetDCEx(hwnd, nullptr, flags);
}

int ReleaseDC(HWND, HDC hdc) {
  TWindowDc dc;
  {
    std::lock_guard lock(g_mutex);
    auto it = g_dcs.find(hdc);
    if (it == g_dcs.end()) return 0;
    dc = it->second;
    g_dcs.erase(it);
  }
  if (dc.alias) {
    if (!dc.readOnly) MarkDirty(dc.root, dc.bounds);
    SelectObject(hdc, dc.old);
    dc.alias->Bits = nullptr;  // the pixels belong to the surface
    DeleteObject(dc.alias);
  }
  DeleteDC(hdc);
  return 1;
}

HWND WindowFromDC(HDC hdc) {
  std::lock_guard lock(g_mutex);
  auto it = g_dcs.find(hdc);
  return it == g_dcs.end() ? nullptr : it->second.hwnd;
}

// ---------------------------------------------------------------- window regions

int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  HRGN__* r = rgn ? Rgn(rgn) : nullptr;
  if (rgn && !r) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool visible = IsWindowVisible(hwnd) != FALSE;
  const HWND parent = ParentOf(hwnd);
  TRects before;
  if (visible && parent) {
    const RECT pw = ScreenWindow(parent);
    before = Offset(Covered(hwnd, POINT{pw.left, pw.top}), 0, 0);
  }
  TPaint& p = State(hwnd);
  HRGN old = std::exchange(p.shapeHandle, rgn);
  if (old && old != rgn) DeleteObject(old);
  p.hasShape = r != nullptr;
  p.shape = r ? r->Rects : TRects{};
  if (!parent && p.shown) Backend().ShapeChanged(hwnd, p.shape, p.hasShape);
  if (redraw && visible) {
    if (parent) Update(parent, &before, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    Update(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  return 1;
}

int GetWindowRgn(HWND hwnd, HRGN rgn) {
  HRGN__* r = Rgn(rgn);
  TPaint* p = Peek(hwnd);
  if (!r || !p || !p->hasShape) return ERROR;
  rgn::Assign(*r, p->shape);
  return rgn::ComplexityOf(r->Rects);
}

// ---------------------------------------------------------------- rendering

BOOL PrintWindow(HWND hwnd, HDC hdc, UINT flags) {
  if (!IsWindow(hwnd) || !GetDCBitmap(hdc)) return FALSE;
  Settle(hwnd);
  if (!IsWindow(hwnd)) return FALSE;
  const bool clientOnly = (flags & PW_CLIENTONLY) != 0;
  const RECT area = clientOnly ? ScreenClient(hwnd) : ScreenWindow(hwnd);
  HDC src = MakeDc(hwnd, !clientOnly, {}, true);
  const BOOL ok = BitBlt(hdc, 0, 0, area.right - area.left, area.bottom - area.top, src, 0, 0, SRCCOPY);
  ReleaseDC(hwnd, src);
  return ok;
}

BOOL RenderWindowToPng(HWND hwnd, const std::string& path) {
  if (!IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Settle(hwnd);
  if (!IsWindow(hwnd)) return FALSE;
  const HWND root = RootOf(hwnd);
  HBITMAP surface = EnsureSurface(root);
  if (!surface) return FALSE;
  const POINT origin = SurfaceOrigin(hwnd);
  const RECT area = InSurface(ScreenWindow(hwnd), origin);
  const LONG w = area.right - area.left, h = area.bottom - area.top;
  if (w <= 0 || h <= 0) return FALSE;
  // What of the window its own shape and its ancestors' let through.
  TRects shown = Covered(hwnd, origin);
  for (HWND a = ParentOf(hwnd); a; a = ParentOf(a)) shown = And(shown, Covered(a, origin));
  shown = Offset(shown, -area.left, -area.top);
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  HBITMAP image = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
  if (!image) return FALSE;
  for (const RECT& r : And(shown, {RECT{0, 0, w, h}})) {
    for (LONG y = r.top; y < r.bottom; ++y) {
      const LONG sy = y + area.top;
      if (sy < 0 || sy >= surface->Height) continue;
      for (LONG x = r.left; x < r.right; ++x) {
        const LONG sx = x + area.left;
        if (sx < 0 || sx >= surface->Width) continue;
        image->Row(y)[x] = surface->Row(sy)[sx] | 0xFF000000u;
      }
    }
  }
  const bool ok = SavePng(path, image, nullptr, true);
  DeleteObject(image);
  return ok ? TRUE : FALSE;
}

}  // namespace win
