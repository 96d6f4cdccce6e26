#include "platform/ui/WindowState.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>

#include "platform/ui/Backend.h"
#include "platform/ui/WindowInternal.h"
#include "platform/win/Ascii.h"
#include "platform/win/MessagePump.h"

namespace win {

using namespace wnd;

namespace {

std::vector<HWND>& Siblings(TWnd* w) {
  if (w->parent) {
    if (TWnd* p = Find(w->parent)) return p->children;
  }
  return g_topLevel;
}

void Unlink(TWnd* w) {
  auto& list = Siblings(w);
  list.erase(std::remove(list.begin(), list.end(), w->handle), list.end());
}

// Inserts w among its siblings after `after` (HWND_TOP / HWND_BOTTOM or a sibling).
void Link(TWnd* w, HWND after) {
  auto& list = Siblings(w);
  list.erase(std::remove(list.begin(), list.end(), w->handle), list.end());
  auto pos = list.begin();
  if (after == HWND_BOTTOM) {
    pos = list.end();
  } else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
    // Top-level windows that are not topmost stay below the topmost ones.
    if (!w->parent && !(w->exStyle & WS_EX_TOPMOST)) {
      while (pos != list.end()) {
        TWnd* s = Find(*pos);
        if (!s || !(s->exStyle & WS_EX_TOPMOST)) break;
        ++pos;
      }
    }
  } else {
    pos = std::find(list.begin(), list.end(), after);
    if (pos != list.end()) ++pos;
  }
  list.insert(pos, w->handle);
}

void KillWindowTimers(HWND hwnd) {
  auto& timers = ThreadState().timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const TTimer& tm) { return tm.hwnd == hwnd; }),
               timers.end());
}

void ActivateNext(HWND leaving) {
  for (HWND h : g_topLevel) {
    if (h == leaving) continue;
    TWnd* w = Find(h);
    if (w && !w->destroying && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) &&
        w->thread == std::this_thread::get_id()) {
      SetActiveWindow(h);
      return;
    }
  }
  SetActiveWindow(nullptr);
}

void Forget(HWND hwnd);

void Destroy(HWND hwnd, bool top) {
  TWnd* w = Find(hwnd);
  if (!w || w->destroying) return;
  w->destroying = true;
  if (top) {
    // Owned windows go before their owner.
    std::vector<HWND> owned;
    {
      std::lock_guard lock(g_mutex);
      for (const auto& [h, o] : g_windows)
        if (o->owner == hwnd) owned.push_back(h);
    }
    for (HWND h : owned) Destroy(h, true);
    if ((w = Find(hwnd)) && (w->style & WS_VISIBLE))
      SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (ThreadState().active == hwnd) ActivateNext(hwnd);
    if ((w = Find(hwnd)) && w->parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
      Send(w->parent, WM_PARENTNOTIFY, MAKELPARAM(LOWORD(WM_DESTROY), LOWORD(w->id)),
           reinterpret_cast<LPARAM>(hwnd));
  }
  if (ThreadState().capture && IsAncestorOrSelf(hwnd, ThreadState().capture)) ReleaseCapture();
  if (ThreadState().focus && IsAncestorOrSelf(hwnd, ThreadState().focus)) SetFocus(nullptr);
  if (ThreadState().active == hwnd) ThreadState().active = nullptr;
  KillWindowTimers(hwnd);

  // A handler that throws must not leave a half-destroyed window behind: the
  // destruction runs to the end and the first exception goes on afterwards.
  std::exception_ptr failure;
  auto guarded = [&](auto&& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  guarded([&] { Send(hwnd, WM_DESTROY, 0, 0); });
  if (TWnd* self = Find(hwnd)) {
    const std::vector<HWND> children = self->children;
    for (HWND c : children) guarded([&] { Destroy(c, false); });
  }
  guarded([&] { Send(hwnd, WM_NCDESTROY, 0, 0); });
  Forget(hwnd);
  if (failure) std::rethrow_exception(failure);
}

// Drops every reference to a window that got its WM_NCDESTROY and frees it.
void Forget(HWND hwnd) {
  if (ThreadState().capture == hwnd) ThreadState().capture = nullptr;
  if (ThreadState().focus == hwnd) ThreadState().focus = nullptr;
  if (ThreadState().active == hwnd) ThreadState().active = nullptr;
  if (ThreadState().tracking == hwnd) ThreadState().tracking = nullptr;
  if (ThreadState().hover == hwnd) ThreadState().hover = nullptr;
  if (ThreadState().lastClick.hwnd == hwnd) ThreadState().lastClick = TClick{};
  KillWindowTimers(hwnd);

  std::unique_ptr<TWnd> dead;
  TWnd* w = Find(hwnd);
  if (!w) return;
  paint::OnDestroyed(hwnd);
  Unlink(w);
  for (HWND c : w->children) {
    if (TWnd* cw = Find(c)) cw->parent = nullptr;  // a child that refused to go stays as an orphan top-level
  }
  w->cls->windows--;
  std::lock_guard lock(g_mutex);
  auto it = g_windows.find(hwnd);
  dead = std::move(it->second);
  g_windows.erase(it);
}

void EnsurePump() {
  if (ThreadState().pumpInstalled) return;
  ThreadState().pumpInstalled = true;
  if (!HasBlockingCallPump()) SetBlockingCallPump([] { ProcessPendingMessages(); });
}

}  // namespace

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  auto cls = FindClass(className);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (parent == HWND_MESSAGE) parent = nullptr;
  TWnd* parentWnd = nullptr;
  if (parent && !(parentWnd = Check(parent))) return nullptr;
  const bool child = (style & WS_CHILD) != 0;
  if (child && !parentWnd) {
    SetLastError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  EnsurePump();

  auto w = std::make_unique<TWnd>();
  TWnd* raw = w.get();
  raw->cls = cls;
  raw->queue = ThreadState().queue;
  raw->thread = std::this_thread::get_id();
  raw->proc = cls->proc;
  raw->style = style & ~WS_VISIBLE;
  raw->exStyle = exStyle;
  raw->instance = instance;
  raw->extra.assign(static_cast<std::size_t>(cls->wndExtra), 0);
  if (child) {
    raw->parent = parent;
    raw->id = static_cast<LONG_PTR>(reinterpret_cast<std::uintptr_t>(menu));
  } else if (parent) {
    raw->owner = Root(parent);
  }
  if (x == CW_USEDEFAULT) x = y = child ? 0 : 40;
  if (width == CW_USEDEFAULT) {
    width = child ? 0 : 640;
    height = child ? 0 : 480;
  }
  raw->rect = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
  raw->client = raw->rect;

  HWND hwnd;
  {
    std::lock_guard lock(g_mutex);
    hwnd = reinterpret_cast<HWND>(g_nextHandle);
    g_nextHandle += 2;
    raw->handle = hwnd;
    g_windows.emplace(hwnd, std::move(w));
  }
  cls->windows++;
  // Children line up in creation order (the tab order); top-level windows come to the top.
  Link(raw, child ? HWND_BOTTOM : HWND_TOP);

  CREATESTRUCTA cs;
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.cx = width;
  cs.cy = height;
  cs.x = x;
  cs.y = y;
  cs.style = static_cast<LONG>(style);
  cs.lpszName = windowName;
  cs.lpszClass = className;
  cs.dwExStyle = exStyle;

  if (!Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    if (TWnd* self = Find(hwnd)) {
      self->destroying = true;
      Send(hwnd, WM_NCDESTROY, 0, 0);
      Forget(hwnd);
    }
    return nullptr;
  }
  if (TWnd* self = Find(hwnd)) {
    RECT r = self->rect;
    Send(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
    if ((self = Find(hwnd))) self->client = r;
  }
  if (!Find(hwnd) || Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  if (TWnd* self = Find(hwnd)) {
    const RECT c = self->client;
    Send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(LOWORD(c.right - c.left), LOWORD(c.bottom - c.top)));
    Send(hwnd, WM_MOVE, 0, PackPoint(c.left, c.top));
  }
  TWnd* self = Find(hwnd);
  if (!self) return nullptr;
  if (child && !(exStyle & WS_EX_NOPARENTNOTIFY))
    Send(parent, WM_PARENTNOTIFY, MAKELPARAM(LOWORD(WM_CREATE), LOWORD(self->id)), reinterpret_cast<LPARAM>(hwnd));
  if (style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOW);
  return Find(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  TWnd* w = Check(hwnd);
  if (!w) return FALSE;
  if (w->thread != std::this_thread::get_id()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  Destroy(hwnd, true);
  return TRUE;
}

BOOL IsWindow(HWND hwnd) { return Find(hwnd) ? TRUE : FALSE; }

BOOL IsChild(HWND parent, HWND hwnd) {
  TWnd* w = Find(hwnd);
  while (w && (w->style & WS_CHILD) && w->parent) {
    if (w->parent == parent) return TRUE;
    w = Find(w->parent);
  }
  return FALSE;
}

HWND GetParent(HWND hwnd) {
  TWnd* w = Check(hwnd);
  if (!w) return nullptr;
  if (w->parent) return w->parent;
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND SetParent(HWND hwnd, HWND newParent) {
  TWnd* w = Check(hwnd);
  if (!w) return nullptr;
  if (newParent && (!Check(newParent) || IsAncestorOrSelf(hwnd, newParent))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const HWND old = w->parent;
  Unlink(w);
  w->parent = newParent;
  if (newParent) w->owner = nullptr;
  Link(w, HWND_TOP);
  return old;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
  TWnd* w = Check(hwnd);
  if (!w) return nullptr;
  switch (flags) {
    case GA_PARENT: return w->parent;
    case GA_ROOT: return Root(hwnd);
    case GA_ROOTOWNER: {
      HWND h = Root(hwnd);
      for (TWnd* o = Find(h); o && o->owner; o = Find(h)) h = Root(o->owner);
      return h;
    }
    default: return nullptr;
  }
}

HWND GetWindow(HWND hwnd, UINT cmd) {
  TWnd* w = Check(hwnd);
  if (!w) return nullptr;
  if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
  if (cmd == GW_OWNER) return w->owner;
  const auto& list = Siblings(w);
  if (list.empty()) return nullptr;
  auto it = std::find(list.begin(), list.end(), hwnd);
  switch (cmd) {
    case GW_HWNDFIRST: return list.front();
    case GW_HWNDLAST: return list.back();
    case GW_HWNDNEXT: return (it == list.end() || it + 1 == list.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == list.end() || it == list.begin()) ? nullptr : *(it - 1);
    default: return nullptr;
  }
}

HWND GetTopWindow(HWND hwnd) {
  if (!hwnd) return g_topLevel.empty() ? nullptr : g_topLevel.front();
  return GetWindow(hwnd, GW_CHILD);
}

HWND WindowFromPoint(POINT pt) {
  const std::vector<HWND>* list = &g_topLevel;
  HWND found = nullptr;
  for (;;) {
    HWND next = nullptr;
    for (HWND h : *list) {
      TWnd* w = Find(h);
      if (!w || !(w->style & WS_VISIBLE) || w->destroying) continue;
      if (!Contains(ScreenRect(w), pt) || !paint::InShape(h, pt)) continue;
      if (found && (w->style & WS_DISABLED)) continue;  // a disabled child leaves the input to its parent
      next = h;
      break;
    }
    if (!next) return found;
    found = next;
    list = &Find(found)->children;
  }
}

namespace {

// Minimizes, maximizes or restores; Windows puts the frame of a maximized
// window just outside the work area (or the parent's client area).
void ChangeState(HWND hwnd, DWORD state, bool activate) {
  TWnd* w = Find(hwnd);
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = w->rect;
  RECT r = w->normalRect;
  if (state == WS_MAXIMIZE) {
    if (TWnd* p = Find(w->parent))
      r = RECT{0, 0, p->client.right - p->client.left, p->client.bottom - p->client.top};
    else
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    const int b = DefaultFrame(w->style, w->exStyle).border;
    r = RECT{r.left - b, r.top - b, r.right + b, r.bottom + b};
  } else if (state == WS_MINIMIZE) {
    r = RECT{kIconicPos, kIconicPos, kIconicPos + 160, kIconicPos + GetSystemMetrics(SM_CYCAPTION) + 12};
  }
  w->style = (w->style & ~(WS_MINIMIZE | WS_MAXIMIZE)) | state;
  if (!wasVisible) {
    Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
    if (!Find(hwnd)) return;
  }
  UINT flags = SWP_FRAMECHANGED | SWP_STATECHANGED | SWP_SHOWWINDOW;
  if (!activate) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
  SetWindowPos(hwnd, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, flags);
  if (state == WS_MINIMIZE && ThreadState().active == hwnd) ActivateNext(hwnd);
}

}  // namespace

BOOL IsIconic(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return (w && (w->style & WS_MINIMIZE)) ? TRUE : FALSE;
}

BOOL IsZoomed(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return (w && (w->style & WS_MAXIMIZE)) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
  TWnd* w = Check(hwnd);
  if (!w) return FALSE;
  const BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
  const bool show = cmdShow != SW_HIDE;
  const bool toplevel = !(w->style & WS_CHILD);
  const DWORD state = w->style & (WS_MINIMIZE | WS_MAXIMIZE);
  if (cmdShow == SW_SHOWMAXIMIZED && state != WS_MAXIMIZE) {
    ChangeState(hwnd, WS_MAXIMIZE, toplevel);
    return wasVisible;
  }
  if ((cmdShow == SW_MINIMIZE || cmdShow == SW_SHOWMINIMIZED || cmdShow == SW_SHOWMINNOACTIVE) &&
      state != WS_MINIMIZE) {
    ChangeState(hwnd, WS_MINIMIZE, false);
    return wasVisible;
  }
  if ((cmdShow == SW_RESTORE || cmdShow == SW_SHOWNORMAL) && state) {
    ChangeState(hwnd, 0, toplevel);
    return wasVisible;
  }
  if (show == static_cast<bool>(wasVisible)) return wasVisible;
  Send(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  if (!(w = Find(hwnd))) return wasVisible;
  UINT flags = SWP_NOMOVE | SWP_NOSIZE | (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
  const bool activate = show && !(w->style & WS_CHILD) && !(w->exStyle & WS_EX_NOACTIVATE) &&
                        (cmdShow == SW_SHOW || cmdShow == SW_SHOWNORMAL || cmdShow == SW_RESTORE ||
                         cmdShow == SW_SHOWMAXIMIZED);
  if (!activate) flags |= SWP_NOACTIVATE | SWP_NOZORDER;
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, flags);
  return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
  TWnd* w = Find(hwnd);
  if (!w) return FALSE;
  for (; w; w = Find(w->parent))
    if (!(w->style & WS_VISIBLE)) return FALSE;
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  TWnd* w = Check(hwnd);
  if (!w) return FALSE;
  WINDOWPOS wp;
  wp.hwnd = hwnd;
  wp.hwndInsertAfter = insertAfter;
  wp.x = (flags & SWP_NOMOVE) ? w->rect.left : x;
  wp.y = (flags & SWP_NOMOVE) ? w->rect.top : y;
  wp.cx = (flags & SWP_NOSIZE) ? w->rect.right - w->rect.left : std::max(cx, 0);
  wp.cy = (flags & SWP_NOSIZE) ? w->rect.bottom - w->rect.top : std::max(cy, 0);
  wp.flags = flags;
  if (!(flags & SWP_NOSENDCHANGING)) Send(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
  if (!(w = Find(hwnd))) return FALSE;
  const UINT f = wp.flags;
  const RECT oldRect = w->rect;
  const RECT oldClient = w->client;
  const RECT oldScreen = ScreenRect(w);
  const POINT oldOrigin = ClientOrigin(w);
  const RECT oldScreenClient{oldOrigin.x, oldOrigin.y, oldOrigin.x + (oldClient.right - oldClient.left),
                             oldOrigin.y + (oldClient.bottom - oldClient.top)};
  const bool wasVisible = (w->style & WS_VISIBLE) != 0;
  const auto& siblingsBefore = Siblings(w);
  const auto zBefore = std::find(siblingsBefore.begin(), siblingsBefore.end(), hwnd) - siblingsBefore.begin();
  RECT newRect = oldRect;
  if (!(f & SWP_NOMOVE)) {
    newRect.left = wp.x;
    newRect.top = wp.y;
    newRect.right = wp.x + (oldRect.right - oldRect.left);
    newRect.bottom = wp.y + (oldRect.bottom - oldRect.top);
  }
  if (!(f & SWP_NOSIZE)) {
    newRect.right = newRect.left + std::max(wp.cx, 0);
    newRect.bottom = newRect.top + std::max(wp.cy, 0);
  }
  const bool moved = newRect.left != oldRect.left || newRect.top != oldRect.top;
  const bool sized = (newRect.right - newRect.left) != (oldRect.right - oldRect.left) ||
                     (newRect.bottom - newRect.top) != (oldRect.bottom - oldRect.top);
  RECT newClient{oldClient.left + newRect.left - oldRect.left, oldClient.top + newRect.top - oldRect.top,
                 oldClient.right + newRect.left - oldRect.left, oldClient.bottom + newRect.top - oldRect.top};
  if (sized || (f & SWP_FRAMECHANGED)) {
    NCCALCSIZE_PARAMS p;
    p.rgrc[0] = newRect;
    p.rgrc[1] = oldRect;
    p.rgrc[2] = oldClient;
    p.lppos = &wp;
    Send(hwnd, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&p));
    if (!(w = Find(hwnd))) return FALSE;
    newClient = p.rgrc[0];
  }
  (void)moved;
  w->rect = newRect;
  w->client = newClient;
  if (!(f & SWP_NOZORDER)) {
    if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
    if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
    if (insertAfter != hwnd) Link(w, insertAfter);
  }
  const bool hiding = (f & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE);
  if (f & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
  if (f & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
  if (newClient.left == oldClient.left && newClient.top == oldClient.top) wp.flags |= SWP_NOCLIENTMOVE;
  if (newClient.right - newClient.left == oldClient.right - oldClient.left &&
      newClient.bottom - newClient.top == oldClient.bottom - oldClient.top)
    wp.flags |= SWP_NOCLIENTSIZE;
  wp.x = newRect.left;
  wp.y = newRect.top;
  wp.cx = newRect.right - newRect.left;
  wp.cy = newRect.bottom - newRect.top;
  const bool toplevel = !w->parent;
  const bool visible = (w->style & WS_VISIBLE) != 0;
  const auto& siblingsAfter = Siblings(w);
  const bool restacked =
      std::find(siblingsAfter.begin(), siblingsAfter.end(), hwnd) - siblingsAfter.begin() != zBefore;
  paint::OnPosChanged(hwnd, oldScreen, oldScreenClient, wasVisible,
                      restacked ? (f & ~SWP_NOZORDER) : (f | SWP_NOZORDER));
  if (!(w = Find(hwnd))) return FALSE;
  Send(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
  if (hiding) {
    if (ThreadState().active == hwnd) ActivateNext(hwnd);
    if (ThreadState().focus && IsAncestorOrSelf(hwnd, ThreadState().focus)) SetFocus(nullptr);
  } else if (toplevel && visible && !(f & SWP_NOACTIVATE) && ThreadState().active != hwnd && Find(hwnd)) {
    SetActiveWindow(hwnd);
  }
  return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
  return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
  TWnd* w = Check(hwnd);
  if (!w || !rect) return FALSE;
  *rect = ScreenRect(w);
  return TRUE;
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  TWnd* w = Check(hwnd);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* pt) {
  TWnd* w = Check(hwnd);
  if (!w || !pt) return FALSE;
  const POINT o = ClientOrigin(w);
  pt->x += o.x;
  pt->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* pt) {
  TWnd* w = Check(hwnd);
  if (!w || !pt) return FALSE;
  const POINT o = ClientOrigin(w);
  pt->x -= o.x;
  pt->y -= o.y;
  return TRUE;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  TWnd* w = Check(hwnd);
  if (!w) return FALSE;
  const BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if (static_cast<bool>(enable) != static_cast<bool>(wasDisabled)) return wasDisabled;
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    if (ThreadState().focus && IsAncestorOrSelf(hwnd, ThreadState().focus)) SetFocus(nullptr);
    if (ThreadState().capture && IsAncestorOrSelf(hwnd, ThreadState().capture)) ReleaseCapture();
  }
  Send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return (w && !(w->style & WS_DISABLED)) ? TRUE : FALSE;
}

HWND SetFocus(HWND hwnd) {
  const HWND previous = ThreadState().focus;
  if (hwnd) {
    TWnd* w = Check(hwnd);
    if (!w || w->destroying) return nullptr;
    const HWND root = Root(hwnd);
    if (ThreadState().active != root) SetActiveWindow(root);
    if (!Find(hwnd)) return nullptr;
  }
  const HWND old = ThreadState().focus;
  if (old == hwnd) return previous;
  ThreadState().focus = hwnd;
  if (old && Find(old)) Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && ThreadState().focus == hwnd) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return previous;
}

HWND GetFocus() { return ThreadState().focus; }

HWND SetCapture(HWND hwnd) {
  if (hwnd && !Check(hwnd)) return nullptr;
  const HWND old = ThreadState().capture;
  ThreadState().capture = hwnd;
  if (old != hwnd) Backend().CaptureChanged(hwnd);
  if (old && old != hwnd) Send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture() {
  const HWND old = ThreadState().capture;
  ThreadState().capture = nullptr;
  if (old) Backend().CaptureChanged(nullptr);
  if (old) Send(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() { return ThreadState().capture; }

HWND SetActiveWindow(HWND hwnd) {
  if (hwnd) {
    if (!Check(hwnd)) return nullptr;
    hwnd = Root(hwnd);
  }
  const HWND old = ThreadState().active;
  if (old == hwnd) return old;
  ThreadState().active = hwnd;
  if (old && Find(old)) {
    Send(old, WM_NCACTIVATE, FALSE, 0);
    Send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  }
  if (hwnd && ThreadState().active == hwnd && Find(hwnd)) {
    if (GetTopWindow(nullptr) != hwnd) SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Send(hwnd, WM_NCACTIVATE, TRUE, 0);
    Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  } else if (!hwnd && ThreadState().focus) {
    SetFocus(nullptr);
  }
  return old;
}

HWND GetActiveWindow() { return ThreadState().active; }

BOOL SetForegroundWindow(HWND hwnd) {
  if (!Check(hwnd)) return FALSE;
  SetActiveWindow(hwnd);
  return TRUE;
}

HWND GetForegroundWindow() { return ThreadState().active; }

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  if (!Check(hwnd)) return FALSE;
  return Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextA(HWND hwnd, LPSTR buffer, int maxCount) {
  if (!Check(hwnd) || !buffer || maxCount <= 0) return 0;
  buffer[0] = 0;
  return static_cast<int>(Send(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthA(HWND hwnd) {
  if (!Check(hwnd)) return 0;
  return static_cast<int>(Send(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

std::string GetWindowTextString(HWND hwnd) {
  const int n = GetWindowTextLengthA(hwnd);
  if (n <= 0) return {};
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  const int got = GetWindowTextA(hwnd, s.data(), n + 1);
  s.resize(static_cast<std::size_t>(std::clamp(got, 0, n)));
  return s;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  TWnd* w = Check(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    case GWLP_ID: return w->id;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA: return w->userData;
    default: break;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR v;
  std::memcpy(&v, w->extra.data() + index, sizeof v);
  return v;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  TWnd* w = Check(hwnd);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: {
      const WNDPROC old = w->proc;
      w->proc = reinterpret_cast<WNDPROC>(value);
      return reinterpret_cast<LONG_PTR>(old);
    }
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(std::exchange(w->instance, reinterpret_cast<HINSTANCE>(value)));
    case GWLP_HWNDPARENT:
      if (w->parent) return reinterpret_cast<LONG_PTR>(SetParent(hwnd, reinterpret_cast<HWND>(value)));
      return reinterpret_cast<LONG_PTR>(std::exchange(w->owner, reinterpret_cast<HWND>(value)));
    case GWLP_ID: return std::exchange(w->id, value);
    case GWLP_USERDATA: return std::exchange(w->userData, value);
    case GWL_STYLE:
    case GWL_EXSTYLE: {
      STYLESTRUCT ss;
      ss.styleOld = index == GWL_STYLE ? w->style : w->exStyle;
      ss.styleNew = static_cast<DWORD>(value);
      Send(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
      if (!(w = Find(hwnd))) return 0;
      (index == GWL_STYLE ? w->style : w->exStyle) = ss.styleNew;
      Send(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
      return static_cast<LONG_PTR>(ss.styleOld);
    }
    default: break;
  }
  if (index < 0 || static_cast<std::size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  LONG_PTR old;
  std::memcpy(&old, w->extra.data() + index, sizeof old);
  std::memcpy(w->extra.data() + index, &value, sizeof value);
  return old;
}

namespace {
std::string PropKey(LPCSTR name) {
  if (IsAtom(name)) return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(name));
  return AsciiLowerCase(name);
}
}  // namespace

HANDLE GetPropA(HWND hwnd, LPCSTR name) {
  TWnd* w = Find(hwnd);
  if (!w || !name) return nullptr;
  auto it = w->props.find(PropKey(name));
  return it == w->props.end() ? nullptr : it->second;
}

BOOL SetPropA(HWND hwnd, LPCSTR name, HANDLE data) {
  TWnd* w = Check(hwnd);
  if (!w || !name) return FALSE;
  w->props[PropKey(name)] = data;
  return TRUE;
}

HANDLE RemovePropA(HWND hwnd, LPCSTR name) {
  TWnd* w = Find(hwnd);
  if (!w || !name) return nullptr;
  auto it = w->props.find(PropKey(name));
  if (it == w->props.end()) return nullptr;
  HANDLE data = it->second;
  w->props.erase(it);
  return data;
}

}  // namespace win
