#include "platform/ui/Window.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ui/Backend.h"
#include "platform/ui/WindowInternal.h"
#include "platform/win/MessagePump.h"

namespace win {

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD ERROR_TLW_WITH_WSCHILD = 1406;
constexpr DWORD ERROR_INVALID_INDEX = 1413;
// Windows' own flag of a window position change that minimizes, maximizes or restores.
constexpr UINT SWP_STATECHANGED = 0x8000;
// Where Windows keeps minimized windows.
constexpr int kIconicPos = -32000;

// Headless desktop.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;
constexpr int kTaskbarHeight = 30;
constexpr UINT kDoubleClickTime = 500;

const Clock::time_point g_epoch = Clock::now();

DWORD Now() {
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_epoch).count());
}

// Posted messages can come from any thread; everything else about a window
// belongs to its GUI thread.
// Client mouse messages carry a screen point until they are read, so a window
// that moved in between still gets coordinates relative to where it is then.
struct TQueued {
  MSG msg;
  bool screenPoint = false;
};

struct TQueue {
  const std::thread::id owner = std::this_thread::get_id();
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<TQueued> posted;
};

struct TClass {
  std::string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int clsExtra = 0;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  int windows = 0;
};

struct TWnd {
  HWND handle = nullptr;
  std::shared_ptr<TClass> cls;
  std::shared_ptr<TQueue> queue;
  std::thread::id thread;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR id = 0;
  LONG_PTR userData = 0;
  HINSTANCE instance = nullptr;
  HWND parent = nullptr;
  HWND owner = nullptr;
  std::vector<HWND> children;  // z-order, topmost first
  RECT rect;                   // parent's client coordinates (screen for top-level windows)
  RECT client;                 // same coordinates as rect
  std::string text;
  std::map<std::string, HANDLE> props;
  std::vector<BYTE> extra;
  RECT normalRect;  // the restored position while minimized or maximized
  bool destroying = false;
  // Default non-client tracking: the caption button pressed and a move in progress.
  LRESULT ncPressed = HTNOWHERE;
  bool moving = false;
  POINT moveStart;
  RECT moveRect;
};

struct TTimer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  TIMERPROC proc = nullptr;
  Clock::time_point due;
  std::uint64_t seq = 0;
};

struct TClick {
  int button = 0;
  DWORD time = 0;
  POINT pt;
  HWND hwnd = nullptr;
  bool nonClient = false;
};

struct TThreadState {
  std::shared_ptr<TQueue> queue = std::make_shared<TQueue>();
  std::vector<TTimer> timers;
  std::uint64_t timerSeq = 0;
  UINT_PTR nextTimerId = 1;
  bool quit = false;
  int quitCode = 0;
  int loopDepth = 0;
  bool pumpInstalled = false;
  HWND focus = nullptr;
  HWND active = nullptr;
  HWND capture = nullptr;
  MSG last;
  TClick lastClick;
  HWND hover = nullptr;
  bool hoverNonClient = false;
  HWND tracking = nullptr;
  bool trackingNonClient = false;
  BYTE keys[256] = {};      // as the last injected event left them
  BYTE syncKeys[256] = {};  // as of the last input message read
};

thread_local TThreadState t;

std::mutex g_mutex;
std::unordered_map<HWND, std::unique_ptr<TWnd>> g_windows;
std::vector<HWND> g_topLevel;  // z-order, topmost first
std::vector<std::shared_ptr<TClass>> g_classes;
std::map<std::string, UINT> g_registeredMessages;
ATOM g_nextAtom = 0xC000;
UINT g_nextMessage = 0xC000;
std::uintptr_t g_nextHandle = 0x10010;
POINT g_cursorPos{kScreenWidth / 2, kScreenHeight / 2};  // under g_mutex: posts from any thread read it

// The display's screen and work area, or the fixed headless ones.
void DesktopAreas(RECT* screen, RECT* work) {
  if (Backend().Desktop(screen, work)) return;
  *screen = RECT{0, 0, kScreenWidth, kScreenHeight};
  *work = RECT{0, 0, kScreenWidth, kScreenHeight - kTaskbarHeight};
}

POINT Cursor() {
  std::lock_guard lock(g_mutex);
  return g_cursorPos;
}

void MoveCursor(POINT p) {
  std::lock_guard lock(g_mutex);
  g_cursorPos = p;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool IsAtom(LPCSTR name) { return reinterpret_cast<std::uintptr_t>(name) < 0x10000; }

TWnd* Find(HWND hwnd) {
  if (!hwnd) return nullptr;
  std::lock_guard lock(g_mutex);
  auto it = g_windows.find(hwnd);
  return it == g_windows.end() ? nullptr : it->second.get();
}

TWnd* Check(HWND hwnd) {
  TWnd* w = Find(hwnd);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

std::shared_ptr<TClass> FindClass(LPCSTR name) {
  if (!name) return nullptr;
  std::lock_guard lock(g_mutex);
  for (const auto& c : g_classes) {
    if (IsAtom(name) ? c->atom == reinterpret_cast<std::uintptr_t>(name) : Lower(name) == Lower(c->name)) return c;
  }
  return nullptr;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWnd* w = Find(hwnd);
  if (!w || !w->proc) return 0;
  const WNDPROC proc = w->proc;
  return proc(hwnd, msg, wParam, lParam);
}

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

POINT ClientOrigin(TWnd* w) {
  POINT p{w->client.left, w->client.top};
  for (TWnd* a = Find(w->parent); a; a = Find(a->parent)) {
    p.x += a->client.left;
    p.y += a->client.top;
  }
  return p;
}

RECT ScreenRect(TWnd* w) {
  RECT r = w->rect;
  if (TWnd* p = Find(w->parent)) {
    const POINT o = ClientOrigin(p);
    r.left += o.x;
    r.right += o.x;
    r.top += o.y;
    r.bottom += o.y;
  }
  return r;
}

bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

bool IsAncestorOrSelf(HWND ancestor, HWND hwnd) {
  for (TWnd* w = Find(hwnd); w; w = Find(w->parent))
    if (w->handle == ancestor) return true;
  return false;
}

HWND Root(HWND hwnd) {
  TWnd* w = Find(hwnd);
  while (w && w->parent) {
    TWnd* p = Find(w->parent);
    if (!p) break;
    w = p;
  }
  return w ? w->handle : nullptr;
}

// The default frame: border thickness and caption height for a style.
struct TFrame {
  int border = 0;
  int caption = 0;
  int edge = 0;
};

TFrame DefaultFrame(DWORD style, DWORD exStyle) {
  TFrame f;
  if (style & WS_THICKFRAME) {
    f.border = GetSystemMetrics(SM_CXFRAME);
  } else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
    f.border = GetSystemMetrics(SM_CXDLGFRAME);
  } else if (style & WS_BORDER) {
    f.border = GetSystemMetrics(SM_CXBORDER);
  }
  if ((style & WS_CAPTION) == WS_CAPTION)
    f.caption = GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
  if (exStyle & WS_EX_CLIENTEDGE) f.edge = GetSystemMetrics(SM_CXEDGE);
  return f;
}

void ApplyFrame(TWnd* w, RECT* r) {
  const TFrame f = DefaultFrame(w->style, w->exStyle);
  r->left += f.border + f.edge;
  r->right -= f.border + f.edge;
  r->top += f.border + f.caption + f.edge;
  r->bottom -= f.border + f.edge;
  if (r->right < r->left) r->right = r->left;
  if (r->bottom < r->top) r->bottom = r->top;
}

LRESULT DefaultHitTest(TWnd* w, POINT screen) {
  const RECT wr = ScreenRect(w);
  if (!Contains(wr, screen)) return HTNOWHERE;
  const POINT co = ClientOrigin(w);
  const RECT cr{co.x, co.y, co.x + (w->client.right - w->client.left), co.y + (w->client.bottom - w->client.top)};
  if (Contains(cr, screen)) return HTCLIENT;
  const int x = screen.x - wr.left;
  const int y = screen.y - wr.top;
  const int width = wr.right - wr.left;
  const int height = wr.bottom - wr.top;
  const TFrame f = DefaultFrame(w->style, w->exStyle);
  const bool left = x < f.border, right = x >= width - f.border;
  const bool top = y < f.border, bottom = y >= height - f.border;
  if (left || right || top || bottom) {
    if (!(w->style & WS_THICKFRAME)) return HTBORDER;
    const int corner = GetSystemMetrics(SM_CYCAPTION);
    if (top) return x < corner ? HTTOPLEFT : x >= width - corner ? HTTOPRIGHT : HTTOP;
    if (bottom) return x < corner ? HTBOTTOMLEFT : x >= width - corner ? HTBOTTOMRIGHT : HTBOTTOM;
    if (left) return y < corner ? HTTOPLEFT : y >= height - corner ? HTBOTTOMLEFT : HTLEFT;
    return y < corner ? HTTOPRIGHT : y >= height - corner ? HTBOTTOMRIGHT : HTRIGHT;
  }
  if (f.caption && y < f.border + f.caption) {
    const int button = GetSystemMetrics((w->exStyle & WS_EX_TOOLWINDOW) ? SM_CXSMSIZE : SM_CXSIZE);
    int edge = width - f.border;
    if (w->style & WS_SYSMENU) {
      if (x >= edge - button) return HTCLOSE;
      edge -= button;
      if (w->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) {
        if (x >= edge - button) return HTMAXBUTTON;
        if (x >= edge - 2 * button) return HTMINBUTTON;
      }
      if (!(w->exStyle & WS_EX_TOOLWINDOW) && x < f.border + button) return HTSYSMENU;
    }
    return HTCAPTION;
  }
  return HTBORDER;
}

void KillWindowTimers(HWND hwnd) {
  auto& timers = t.timers;
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
    if (t.active == hwnd) ActivateNext(hwnd);
    if ((w = Find(hwnd)) && w->parent && !(w->exStyle & WS_EX_NOPARENTNOTIFY))
      Send(w->parent, WM_PARENTNOTIFY, MAKELPARAM(LOWORD(WM_DESTROY), LOWORD(w->id)),
           reinterpret_cast<LPARAM>(hwnd));
  }
  if (t.capture && IsAncestorOrSelf(hwnd, t.capture)) ReleaseCapture();
  if (t.focus && IsAncestorOrSelf(hwnd, t.focus)) SetFocus(nullptr);
  if (t.active == hwnd) t.active = nullptr;
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
  if (t.capture == hwnd) t.capture = nullptr;
  if (t.focus == hwnd) t.focus = nullptr;
  if (t.active == hwnd) t.active = nullptr;
  if (t.tracking == hwnd) t.tracking = nullptr;
  if (t.hover == hwnd) t.hover = nullptr;
  if (t.lastClick.hwnd == hwnd) t.lastClick = TClick{};
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
  if (t.pumpInstalled) return;
  t.pumpInstalled = true;
  if (!HasBlockingCallPump()) SetBlockingCallPump([] { ProcessPendingMessages(); });
}

// GetKeyState answers the keys as of the input message being handled, as
// Windows does, so a character is translated with the shift state of its key.
void SetKey(BYTE* keys, int vk, bool down) {
  keys[vk & 0xFF] = down ? 0x80 : 0;
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) keys[VK_SHIFT] = keys[vk & 0xFF];
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) keys[VK_CONTROL] = keys[vk & 0xFF];
  if (vk == VK_LMENU || vk == VK_RMENU) keys[VK_MENU] = keys[vk & 0xFF];
}

void SyncKeys(const MSG& m) {
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: SetKey(t.syncKeys, static_cast<int>(m.wParam), true); break;
    case WM_KEYUP:
    case WM_SYSKEYUP: SetKey(t.syncKeys, static_cast<int>(m.wParam), false); break;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_NCLBUTTONDOWN: case WM_NCLBUTTONDBLCLK:
      SetKey(t.syncKeys, VK_LBUTTON, true); break;
    case WM_LBUTTONUP: case WM_NCLBUTTONUP: SetKey(t.syncKeys, VK_LBUTTON, false); break;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: case WM_NCRBUTTONDOWN: case WM_NCRBUTTONDBLCLK:
      SetKey(t.syncKeys, VK_RBUTTON, true); break;
    case WM_RBUTTONUP: case WM_NCRBUTTONUP: SetKey(t.syncKeys, VK_RBUTTON, false); break;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: case WM_NCMBUTTONDOWN: case WM_NCMBUTTONDBLCLK:
      SetKey(t.syncKeys, VK_MBUTTON, true); break;
    case WM_MBUTTONUP: case WM_NCMBUTTONUP: SetKey(t.syncKeys, VK_MBUTTON, false); break;
    default: break;
  }
}

bool Matches(const MSG& m, HWND filter, UINT filterMin, UINT filterMax) {
  if (filter == reinterpret_cast<HWND>(-1)) {
    if (m.hwnd) return false;
  } else if (filter && m.hwnd != filter) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return m.message >= filterMin && m.message <= filterMax;
}

bool AnyPosted(TQueue& q, HWND filter, UINT filterMin, UINT filterMax) {
  return std::any_of(q.posted.begin(), q.posted.end(),
                     [&](const TQueued& m) { return Matches(m.msg, filter, filterMin, filterMax); });
}

// Takes the next message in Windows' order: posted messages, then the quit
// request, then the earliest due timer. `next` receives the due time of the
// earliest matching timer that is not due yet.
bool Fetch(MSG* out, HWND filter, UINT filterMin, UINT filterMax, bool remove, Clock::time_point dueLimit,
           Clock::time_point* next) {
  {
    TQueue& q = *t.queue;
    std::unique_lock lock(q.mutex);
    bool found = false;
    bool screenPoint = false;
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
      if (!Matches(it->msg, filter, filterMin, filterMax)) continue;
      *out = it->msg;
      screenPoint = it->screenPoint;
      if (remove) q.posted.erase(it);
      found = true;
      break;
    }
    if (found) {
      lock.unlock();
      if (screenPoint) {
        POINT p{GET_X_LPARAM(out->lParam), GET_Y_LPARAM(out->lParam)};
        if (TWnd* w = Find(out->hwnd)) {
          const POINT o = ClientOrigin(w);
          p.x -= o.x;
          p.y -= o.y;
        }
        out->lParam = MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y));
      }
      if (remove) SyncKeys(*out);
      return true;
    }
  }
  if (t.quit) {
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = static_cast<WPARAM>(t.quitCode);
    out->time = Now();
    out->pt = Cursor();
    if (remove) t.quit = false;
    return true;
  }
  // WM_PAINT comes when nothing is posted, before timers, as on Windows.
  if (filter != reinterpret_cast<HWND>(-1) &&
      ((filterMin == 0 && filterMax == 0) || (WM_PAINT >= filterMin && WM_PAINT <= filterMax))) {
    if (const HWND dirty = paint::NextPaint(filter)) {
      *out = MSG{};
      out->hwnd = dirty;
      out->message = WM_PAINT;
      out->time = Now();
      out->pt = Cursor();
      return true;
    }
  }
  const Clock::time_point now = std::min(Clock::now(), dueLimit);
  TTimer* best = nullptr;
  for (TTimer& tm : t.timers) {
    MSG probe;
    probe.hwnd = tm.hwnd;
    probe.message = WM_TIMER;
    if (!Matches(probe, filter, filterMin, filterMax)) continue;
    if (tm.due <= now) {
      if (!best || tm.due < best->due || (tm.due == best->due && tm.seq < best->seq)) best = &tm;
    } else if (next && tm.due < *next) {
      *next = tm.due;
    }
  }
  if (!best) return false;
  *out = MSG{};
  out->hwnd = best->hwnd;
  out->message = WM_TIMER;
  out->wParam = best->id;
  out->lParam = reinterpret_cast<LPARAM>(best->proc);
  out->time = Now();
  out->pt = Cursor();
  if (remove) best->due = Clock::now() + std::chrono::milliseconds(best->elapse);
  return true;
}

void Post(const std::shared_ptr<TQueue>& q, const MSG& m, bool front = false, bool screenPoint = false) {
  {
    std::lock_guard lock(q->mutex);
    if (front)
      q->posted.push_front(TQueued{m, screenPoint});
    else
      q->posted.push_back(TQueued{m, screenPoint});
  }
  q->wake.notify_all();
  // The GUI thread may sleep in the display's event wait rather than on the queue.
  if (q->owner != std::this_thread::get_id()) Backend().Wake();
}

void PostInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD time, bool screenPoint = false) {
  TWnd* w = Find(hwnd);
  if (!w) return;
  MSG m;
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = time;
  m.pt = Cursor();
  Post(w->queue, m, false, screenPoint);
}

LPARAM PackPoint(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

bool KeyDown(int vk) { return (t.keys[vk & 0xFF] & 0x80) != 0; }

WPARAM MouseKeys() {
  WPARAM k = 0;
  if (KeyDown(VK_LBUTTON)) k |= MK_LBUTTON;
  if (KeyDown(VK_RBUTTON)) k |= MK_RBUTTON;
  if (KeyDown(VK_MBUTTON)) k |= MK_MBUTTON;
  if (KeyDown(VK_SHIFT)) k |= MK_SHIFT;
  if (KeyDown(VK_CONTROL)) k |= MK_CONTROL;
  return k;
}

// The window an input event at `pt` goes to and the hit area it reports.
HWND InputTarget(POINT pt, LRESULT* hit) {
  if (t.capture && Find(t.capture)) {
    *hit = HTCLIENT;
    return t.capture;
  }
  HWND h = WindowFromPoint(pt);
  if (!h) return nullptr;
  TWnd* w = Find(h);
  if (!w || (w->style & WS_DISABLED) || w->thread != std::this_thread::get_id()) return nullptr;
  *hit = Send(h, WM_NCHITTEST, 0, PackPoint(pt.x, pt.y));
  if (!Find(h) || *hit == HTNOWHERE || *hit == HTERROR || *hit == HTTRANSPARENT) return nullptr;
  return h;
}

void UpdateHover(HWND hwnd, bool nonClient) {
  if (t.tracking && (t.tracking != hwnd || t.trackingNonClient != nonClient)) {
    PostInput(t.tracking, t.trackingNonClient ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0, Now());
    t.tracking = nullptr;
  }
  t.hover = hwnd;
  t.hoverNonClient = nonClient;
}

char CharOfKey(int vk) {
  const bool shift = (t.syncKeys[VK_SHIFT] & 0x80) != 0;
  const bool ctrl = (t.syncKeys[VK_CONTROL] & 0x80) != 0;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl && !(t.syncKeys[VK_MENU] & 0x80)) return static_cast<char>(vk - 'A' + 1);
    return static_cast<char>(shift ? vk : vk - 'A' + 'a');
  }
  if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : static_cast<char>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<char>('0' + vk - VK_NUMPAD0);
  switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_ESCAPE: return 27;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    default: return 0;
  }
}

// Object-bound procedures: a fixed table of plain functions, each calling
// the callback in its slot. Only the GUI thread uses them.
std::vector<TObjectWndProc>& ProcSlots() {
  static std::vector<TObjectWndProc> slots(kMaxProcInstances);
  return slots;
}

template <std::size_t I>
LRESULT SlotProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // A copy: the callback may free its own slot while it runs.
  const TObjectWndProc proc = ProcSlots()[I];
  return proc ? proc(hwnd, msg, wParam, lParam) : DefWindowProcA(hwnd, msg, wParam, lParam);
}

template <std::size_t... I>
constexpr std::array<WNDPROC, sizeof...(I)> MakeSlotTable(std::index_sequence<I...>) {
  return {&SlotProc<I>...};
}

constexpr auto kSlotTable = MakeSlotTable(std::make_index_sequence<kMaxProcInstances>());

}  // namespace

WNDPROC MakeProcInstance(TObjectWndProc proc) {
  if (!proc) return nullptr;
  auto& slots = ProcSlots();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (!slots[i]) {
      slots[i] = std::move(proc);
      return kSlotTable[i];
    }
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

void FreeProcInstance(WNDPROC proc) {
  auto it = std::find(kSlotTable.begin(), kSlotTable.end(), proc);
  if (it != kSlotTable.end()) ProcSlots()[static_cast<std::size_t>(it - kSlotTable.begin())] = nullptr;
}

// ---------------------------------------------------------------- classes

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  if (!wc || !wc->lpszClassName || IsAtom(wc->lpszClassName) || !*wc->lpszClassName || wc->cbWndExtra < 0 ||
      wc->cbClsExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(wc->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto c = std::make_shared<TClass>();
  c->name = wc->lpszClassName;
  c->style = wc->style;
  c->proc = wc->lpfnWndProc;
  c->clsExtra = wc->cbClsExtra;
  c->wndExtra = wc->cbWndExtra;
  c->instance = wc->hInstance;
  c->icon = wc->hIcon;
  c->cursor = wc->hCursor;
  c->background = wc->hbrBackground;
  std::lock_guard lock(g_mutex);
  c->atom = g_nextAtom++;
  g_classes.push_back(c);
  return c->atom;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXA ex;
  ex.style = wc->style;
  ex.lpfnWndProc = wc->lpfnWndProc;
  ex.cbClsExtra = wc->cbClsExtra;
  ex.cbWndExtra = wc->cbWndExtra;
  ex.hInstance = wc->hInstance;
  ex.hIcon = wc->hIcon;
  ex.hCursor = wc->hCursor;
  ex.hbrBackground = wc->hbrBackground;
  ex.lpszMenuName = wc->lpszMenuName;
  ex.lpszClassName = wc->lpszClassName;
  return RegisterClassExA(&ex);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  auto c = FindClass(className);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (c->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  std::lock_guard lock(g_mutex);
  g_classes.erase(std::remove(g_classes.begin(), g_classes.end(), c), g_classes.end());
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* wc) {
  auto c = FindClass(className);
  if (!c || !wc) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  wc->style = c->style;
  wc->lpfnWndProc = c->proc;
  wc->cbClsExtra = c->clsExtra;
  wc->cbWndExtra = c->wndExtra;
  wc->hInstance = c->instance;
  wc->hIcon = c->icon;
  wc->hCursor = c->cursor;
  wc->hbrBackground = c->background;
  wc->lpszMenuName = nullptr;
  wc->lpszClassName = className;
  return TRUE;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int maxCount) {
  TWnd* w = Check(hwnd);
  if (!w || !buffer || maxCount <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(w->cls->name.size()), maxCount - 1);
  std::memcpy(buffer, w->cls->name.data(), static_cast<std::size_t>(n));
  buffer[n] = 0;
  return n;
}

// ---------------------------------------------------------------- windows

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
  raw->queue = t.queue;
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
  if (state == WS_MINIMIZE && t.active == hwnd) ActivateNext(hwnd);
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
    if (t.active == hwnd) ActivateNext(hwnd);
    if (t.focus && IsAncestorOrSelf(hwnd, t.focus)) SetFocus(nullptr);
  } else if (toplevel && visible && !(f & SWP_NOACTIVATE) && t.active != hwnd && Find(hwnd)) {
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
    if (t.focus && IsAncestorOrSelf(hwnd, t.focus)) SetFocus(nullptr);
    if (t.capture && IsAncestorOrSelf(hwnd, t.capture)) ReleaseCapture();
  }
  Send(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return (w && !(w->style & WS_DISABLED)) ? TRUE : FALSE;
}

HWND SetFocus(HWND hwnd) {
  const HWND previous = t.focus;
  if (hwnd) {
    TWnd* w = Check(hwnd);
    if (!w || w->destroying) return nullptr;
    const HWND root = Root(hwnd);
    if (t.active != root) SetActiveWindow(root);
    if (!Find(hwnd)) return nullptr;
  }
  const HWND old = t.focus;
  if (old == hwnd) return previous;
  t.focus = hwnd;
  if (old && Find(old)) Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && t.focus == hwnd) Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return previous;
}

HWND GetFocus() { return t.focus; }

HWND SetCapture(HWND hwnd) {
  if (hwnd && !Check(hwnd)) return nullptr;
  const HWND old = t.capture;
  t.capture = hwnd;
  if (old != hwnd) Backend().CaptureChanged(hwnd);
  if (old && old != hwnd) Send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture() {
  const HWND old = t.capture;
  t.capture = nullptr;
  if (old) Backend().CaptureChanged(nullptr);
  if (old) Send(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() { return t.capture; }

HWND SetActiveWindow(HWND hwnd) {
  if (hwnd) {
    if (!Check(hwnd)) return nullptr;
    hwnd = Root(hwnd);
  }
  const HWND old = t.active;
  if (old == hwnd) return old;
  t.active = hwnd;
  if (old && Find(old)) {
    Send(old, WM_NCACTIVATE, FALSE, 0);
    Send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  }
  if (hwnd && t.active == hwnd && Find(hwnd)) {
    if (GetTopWindow(nullptr) != hwnd) SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Send(hwnd, WM_NCACTIVATE, TRUE, 0);
    Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
  } else if (!hwnd && t.focus) {
    SetFocus(nullptr);
  }
  return old;
}

HWND GetActiveWindow() { return t.active; }

BOOL SetForegroundWindow(HWND hwnd) {
  if (!Check(hwnd)) return FALSE;
  SetActiveWindow(hwnd);
  return TRUE;
}

HWND GetForegroundWindow() { return t.active; }

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
  return Lower(name);
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

// ---------------------------------------------------------------- messages

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWnd* w = Check(hwnd);
  if (!w) return 0;
  if (w->thread != std::this_thread::get_id()) {
    // Every window lives on the GUI thread; other threads post.
    SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
    return 0;
  }
  return Send(hwnd, msg, wParam, lParam);
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TQueue> q;
  if (hwnd) {
    std::lock_guard lock(g_mutex);
    auto it = g_windows.find(hwnd);
    if (it == g_windows.end()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    q = it->second->queue;
  } else {
    q = t.queue;
  }
  MSG m;
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = Now();
  m.pt = Cursor();
  Post(q, m);
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  t.quit = true;
  t.quitCode = exitCode;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg || (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !Check(hwnd))) return -1;
  for (;;) {
    Clock::time_point next = Clock::time_point::max();
    if (Fetch(msg, hwnd, filterMin, filterMax, true, Clock::time_point::max(), &next)) {
      t.last = *msg;
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    // Sleep until a message is posted (from any thread), the display has
    // input, or the next timer is due; what was drawn goes out first.
    paint::Flush();
    TQueue& q = *t.queue;
    auto ready = [&] { return AnyPosted(q, hwnd, filterMin, filterMax); };
    Backend().Wait(q.mutex, q.wake, ready, next);
  }
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) return FALSE;
  Backend().Poll();
  if (!Fetch(msg, hwnd, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0, Clock::time_point::max(), nullptr)) {
    paint::Flush();
    return FALSE;
  }
  t.last = *msg;
  return TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) return FALSE;
  const char ch = CharOfKey(static_cast<int>(msg->wParam));
  if (!ch) return FALSE;
  // A display that sends typed text leaves only the control characters to keys.
  if (static_cast<unsigned char>(ch) >= 0x20 && Backend().SuppliesText()) return FALSE;
  MSG m = *msg;
  m.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  m.wParam = static_cast<unsigned char>(ch);
  // The character is read before any input that followed the key.
  Post(t.queue, m, true);
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    const auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, Now());
    return 0;
  }
  if (!msg->hwnd) return 0;
  TWnd* w = Check(msg->hwnd);
  if (!w || w->thread != std::this_thread::get_id()) return 0;
  const LRESULT r = Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  if (msg->message == WM_PAINT && Find(msg->hwnd)) paint::AfterPaint(msg->hwnd);
  return r;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWnd* w = Find(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE: {
      const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      if (cs && cs->lpszName && !IsAtom(cs->lpszName)) w->text = cs->lpszName;
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      if (!lParam) return 0;
      RECT* r = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
      ApplyFrame(w, r);
      return 0;
    }
    case WM_NCHITTEST: return DefaultHitTest(w, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_NCACTIVATE: return paint::DefNcActivate(hwnd, static_cast<BOOL>(wParam));
    case WM_PAINT: return paint::DefPaint(hwnd);
    case WM_ERASEBKGND: return paint::DefEraseBackground(hwnd, reinterpret_cast<HDC>(wParam));
    case WM_NCPAINT: return paint::DefNcPaint(hwnd, reinterpret_cast<HRGN>(wParam));
    case WM_PRINT: return paint::DefPrint(hwnd, reinterpret_cast<HDC>(wParam), lParam, false);
    case WM_SETREDRAW: return paint::DefSetRedraw(hwnd, static_cast<BOOL>(wParam));
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
      return 0;
    case WM_MOUSEACTIVATE:
      if (w->parent && (w->style & WS_CHILD)) {
        const LRESULT r = Send(w->parent, WM_MOUSEACTIVATE, wParam, lParam);
        if (r) return r;
      }
      return MA_ACTIVATE;
    case WM_NCLBUTTONDOWN:
      if (wParam == HTCAPTION) {
        // A move follows the pointer while the window holds the capture.
        w->moving = true;
        w->moveStart = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        w->moveRect = w->rect;
        SetCapture(hwnd);
      } else if (wParam == HTCLOSE || wParam == HTMINBUTTON || wParam == HTMAXBUTTON) {
        w->ncPressed = static_cast<LRESULT>(wParam);
      }
      return 0;
    case WM_NCLBUTTONUP: {
      const LRESULT pressed = std::exchange(w->ncPressed, HTNOWHERE);
      if (static_cast<LRESULT>(wParam) != pressed) return 0;
      if (pressed == HTCLOSE) Send(hwnd, WM_SYSCOMMAND, SC_CLOSE, lParam);
      if (pressed == HTMINBUTTON) Send(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, lParam);
      if (pressed == HTMAXBUTTON) Send(hwnd, WM_SYSCOMMAND, (w->style & WS_MAXIMIZE) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      return 0;
    }
    case WM_NCLBUTTONDBLCLK:
      if (wParam == HTSYSMENU) Send(hwnd, WM_SYSCOMMAND, SC_CLOSE, lParam);
      if (wParam == HTCAPTION && (w->style & WS_MAXIMIZEBOX))
        Send(hwnd, WM_SYSCOMMAND, (w->style & (WS_MAXIMIZE | WS_MINIMIZE)) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      return 0;
    case WM_MOUSEMOVE:
      if (w->moving && t.capture == hwnd) {
        const POINT o = ClientOrigin(w);
        const int dx = GET_X_LPARAM(lParam) + o.x - w->moveStart.x;
        const int dy = GET_Y_LPARAM(lParam) + o.y - w->moveStart.y;
        SetWindowPos(hwnd, nullptr, w->moveRect.left + dx, w->moveRect.top + dy, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    case WM_LBUTTONUP:
      if (w->moving) {
        w->moving = false;
        if (t.capture == hwnd) ReleaseCapture();
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hwnd) w->moving = false;
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == static_cast<WPARAM>(VK_F4) && (lParam & (1 << 29)))
        Send(Root(hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE: Send(hwnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(hwnd, SW_SHOWMAXIMIZED); break;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
        default: break;
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
      if ((w->style & WS_CAPTION) == WS_CAPTION) paint::RedrawFrame(hwnd);
      return TRUE;
    case WM_GETTEXT: {
      if (!wParam || !lParam) return 0;
      auto* buffer = reinterpret_cast<char*>(lParam);
      const std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(wParam) - 1);
      std::memcpy(buffer, w->text.data(), n);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_WINDOWPOSCHANGED: {
      const auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (!wp) return 0;
      const RECT c = w->client;
      if (!(wp->flags & SWP_NOCLIENTMOVE)) Send(hwnd, WM_MOVE, 0, PackPoint(c.left, c.top));
      if (!(wp->flags & SWP_NOCLIENTSIZE) || (wp->flags & SWP_STATECHANGED)) {
        if (w->style & WS_MINIMIZE)
          Send(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        else
          Send(hwnd, WM_SIZE, (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED,
               MAKELPARAM(LOWORD(c.right - c.left), LOWORD(c.bottom - c.top)));
      }
      return 0;
    }
    case WM_QUERYENDSESSION: return TRUE;
    default: return 0;
  }
}

namespace wnd {

TFrameMetrics FrameOf(HWND hwnd) {
  TWnd* w = Find(hwnd);
  if (!w) return {};
  const TFrame f = DefaultFrame(w->style, w->exStyle);
  return TFrameMetrics{f.border, f.caption, f.edge};
}

bool OnThisThread(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return w && w->thread == std::this_thread::get_id();
}

UINT ClassStyle(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return w ? w->cls->style : 0;
}

HBRUSH ClassBackground(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return w ? w->cls->background : nullptr;
}

}  // namespace wnd

UINT RegisterWindowMessageA(LPCSTR name) {
  if (!name || IsAtom(name) || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard lock(g_mutex);
  auto [it, added] = g_registeredMessages.emplace(Lower(name), g_nextMessage);
  if (added) g_nextMessage++;
  return it->second;
}

DWORD GetMessageTime() { return t.last.time; }

DWORD GetMessagePos() { return static_cast<DWORD>(PackPoint(t.last.pt.x, t.last.pt.y)); }

int RunMessageLoop() {
  ++t.loopDepth;
  MSG m;
  BOOL r;
  while ((r = GetMessageA(&m, nullptr, 0, 0)) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  --t.loopDepth;
  const int code = static_cast<int>(m.wParam);
  if (t.loopDepth > 0) PostQuitMessage(code);
  return code;
}

BOOL RunModalLoop(const std::function<bool()>& done) {
  MSG m;
  while (!done()) {
    const BOOL r = GetMessageA(&m, nullptr, 0, 0);
    if (r <= 0) {
      if (r == 0) PostQuitMessage(static_cast<int>(m.wParam));
      return FALSE;
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return TRUE;
}

BOOL ProcessPendingMessages() {
  // Timers that fall due while the waiting messages run wait for the next
  // call, so a slow timer handler cannot keep this from returning.
  const Clock::time_point start = Clock::now();
  Backend().Poll();
  MSG m;
  while (Fetch(&m, nullptr, 0, 0, true, start, nullptr)) {
    t.last = m;
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));
      return FALSE;
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  // Long work that pumps now and then still shows its progress.
  paint::Flush();
  return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (hwnd) {
    TWnd* w = Check(hwnd);
    if (!w) return 0;
    if (w->thread != std::this_thread::get_id()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, 0x7FFFFFFF);
  auto found = std::find_if(t.timers.begin(), t.timers.end(),
                            [&](const TTimer& tm) { return tm.hwnd == hwnd && tm.id == id; });
  if (!hwnd && (id == 0 || found == t.timers.end())) {
    // Window-less timers get an id of their own.
    do {
      id = t.nextTimerId++;
    } while (std::any_of(t.timers.begin(), t.timers.end(),
                         [&](const TTimer& tm) { return !tm.hwnd && tm.id == id; }));
    found = t.timers.end();
  }
  TTimer tm;
  tm.hwnd = hwnd;
  tm.id = id;
  tm.elapse = elapse;
  tm.proc = proc;
  tm.due = Clock::now() + std::chrono::milliseconds(elapse);
  tm.seq = t.timerSeq++;
  if (found != t.timers.end())
    *found = tm;
  else
    t.timers.push_back(tm);
  return hwnd && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto it = std::find_if(t.timers.begin(), t.timers.end(),
                         [&](const TTimer& tm) { return tm.hwnd == hwnd && tm.id == id; });
  if (it == t.timers.end()) {
    SetLastError(ERROR_TIMER_NOT_FOUND);
    return FALSE;
  }
  t.timers.erase(it);
  return TRUE;
}

DWORD GetMessageClock() { return Now(); }

// ---------------------------------------------------------------- input

BOOL GetCursorPos(POINT* pt) {
  if (!pt) return FALSE;
  *pt = Cursor();
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  RECT screen, work;
  DesktopAreas(&screen, &work);
  MoveCursor(POINT{std::clamp<LONG>(x, screen.left, screen.right - 1), std::clamp<LONG>(y, screen.top, screen.bottom - 1)});
  return TRUE;
}

short GetKeyState(int vk) { return (t.syncKeys[vk & 0xFF] & 0x80) ? static_cast<short>(0x8000) : 0; }

short GetAsyncKeyState(int vk) { return KeyDown(vk) ? static_cast<short>(0x8000) : 0; }

UINT GetDoubleClickTime() { return kDoubleClickTime; }

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme) {
  if (!tme || tme->cbSize != sizeof(TRACKMOUSEEVENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool nonClient = (tme->dwFlags & TME_NONCLIENT) != 0;
  if (tme->dwFlags & TME_QUERY) {
    tme->hwndTrack = t.tracking;
    tme->dwFlags = t.tracking ? (TME_LEAVE | (t.trackingNonClient ? TME_NONCLIENT : 0)) : 0;
    return TRUE;
  }
  if (!Check(tme->hwndTrack)) return FALSE;
  if (tme->dwFlags & TME_CANCEL) {
    if (t.tracking == tme->hwndTrack && t.trackingNonClient == nonClient) t.tracking = nullptr;
    return TRUE;
  }
  if (tme->dwFlags & TME_LEAVE) {
    if (t.hover != tme->hwndTrack || t.hoverNonClient != nonClient) {
      // Not over the area: the leave is due at once.
      PostInput(tme->hwndTrack, nonClient ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0, Now());
      return TRUE;
    }
    t.tracking = tme->hwndTrack;
    t.trackingNonClient = nonClient;
  }
  return TRUE;
}

BOOL InjectMouseMove(int x, int y, DWORD time) {
  if (!time) time = Now();
  MoveCursor(POINT{x, y});
  LRESULT hit = HTNOWHERE;
  const HWND h = InputTarget(Cursor(), &hit);
  UpdateHover(h, hit != HTCLIENT);
  if (!h) return FALSE;
  if (hit == HTCLIENT) {
    PostInput(h, WM_MOUSEMOVE, MouseKeys(), PackPoint(x, y), time, true);
  } else {
    PostInput(h, WM_NCMOUSEMOVE, static_cast<WPARAM>(hit), PackPoint(x, y), time);
  }
  return TRUE;
}

BOOL InjectMouseButton(int button, bool down, int x, int y, DWORD time) {
  int index;
  switch (button) {
    case VK_LBUTTON: index = 0; break;
    case VK_RBUTTON: index = 1; break;
    case VK_MBUTTON: index = 2; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  if (!time) time = Now();
  MoveCursor(POINT{x, y});
  t.keys[button] = down ? 0x80 : 0;
  LRESULT hit = HTNOWHERE;
  HWND h = InputTarget(Cursor(), &hit);
  UpdateHover(h, hit != HTCLIENT);
  if (!h) return FALSE;
  const bool nonClient = hit != HTCLIENT;
  static constexpr UINT kDown[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  static constexpr UINT kNcDown[3] = {WM_NCLBUTTONDOWN, WM_NCRBUTTONDOWN, WM_NCMBUTTONDOWN};
  const UINT base = nonClient ? kNcDown[index] : kDown[index];
  UINT msg = down ? base : base + 1;
  if (down) {
    const HWND root = Root(h);
    if (!t.capture && root != t.active) {
      const LRESULT r = Send(h, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root), MAKELPARAM(LOWORD(hit), LOWORD(msg)));
      if ((r == MA_ACTIVATE || r == MA_ACTIVATEANDEAT) && Find(root)) SetActiveWindow(root);
      if (r == MA_ACTIVATEANDEAT || r == MA_NOACTIVATEANDEAT || !Find(h)) return TRUE;
    }
    // A second press of the same button close in time and place, on the same
    // window and area, is a double click; a third starts over.
    const TClick& last = t.lastClick;
    const bool dbl = last.hwnd == h && last.button == button && last.nonClient == nonClient &&
                     time - last.time <= GetDoubleClickTime() &&
                     std::abs(x - last.pt.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                     std::abs(y - last.pt.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    if (dbl) {
      t.lastClick = TClick{};
      TWnd* w = Find(h);
      if (nonClient || (w && (w->cls->style & CS_DBLCLKS))) msg = base + 2;
    } else {
      t.lastClick = TClick{button, time, POINT{x, y}, h, nonClient};
    }
  }
  if (nonClient) {
    PostInput(h, msg, static_cast<WPARAM>(hit), PackPoint(x, y), time);
  } else {
    PostInput(h, msg, MouseKeys(), PackPoint(x, y), time, true);
  }
  return TRUE;
}

BOOL InjectMouseWheel(int delta, int x, int y, DWORD time) {
  if (!time) time = Now();
  MoveCursor(POINT{x, y});
  LRESULT hit = HTNOWHERE;
  const HWND h = InputTarget(Cursor(), &hit);
  if (!h) return FALSE;
  PostInput(h, WM_MOUSEWHEEL, (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16) | MouseKeys(), PackPoint(x, y),
            time);
  return TRUE;
}

BOOL InjectKey(int vk, bool down, DWORD time) {
  if (vk <= 0 || vk > 0xFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!time) time = Now();
  const bool wasDown = KeyDown(vk);
  SetKey(t.keys, vk, down);
  const HWND target = t.focus ? t.focus : t.active;
  if (!target || !Find(target)) return FALSE;
  const bool alt = KeyDown(VK_MENU);
  // Alt chords, F10 and any key while no window has the focus are system keys.
  const bool sys = !t.focus || vk == VK_F10 || vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU ||
                   (alt && !KeyDown(VK_CONTROL));
  const UINT msg = sys ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  std::uint32_t flags = 1;
  if (alt) flags |= 1u << 29;
  if (wasDown || !down) flags |= 1u << 30;
  if (!down) flags |= 1u << 31;
  PostInput(target, msg, static_cast<WPARAM>(vk), static_cast<LPARAM>(flags), time);
  return TRUE;
}

// ---------------------------------------------------------------- desktop

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: case SM_CXMAXTRACK: case SM_CYSCREEN: case SM_CYMAXTRACK: case SM_CXFULLSCREEN:
    case SM_CXMAXIMIZED: case SM_CYFULLSCREEN: case SM_CYMAXIMIZED: {
      RECT screen, work;
      DesktopAreas(&screen, &work);
      if (index == SM_CXSCREEN || index == SM_CXMAXTRACK) return screen.right - screen.left;
      if (index == SM_CYSCREEN || index == SM_CYMAXTRACK) return screen.bottom - screen.top;
      if (index == SM_CXFULLSCREEN || index == SM_CXMAXIMIZED) return work.right - work.left;
      if (index == SM_CYFULLSCREEN) return work.bottom - work.top - 19;
      return work.bottom - work.top;
    }
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CXSIZE: case SM_CYSIZE: return 18;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSMSIZE: case SM_CYSMSIZE: return 12;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXMINTRACK: return 112;
    case SM_CYMINTRACK: return 27;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CXDRAG: case SM_CYDRAG: return 4;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_SWAPBUTTON: return 0;
    case SM_CXMENUCHECK: case SM_CYMENUCHECK: return 13;
    default: return 0;
  }
}

COLORREF GetSysColor(int index) {
  // The classic Windows scheme.
  switch (index) {
    case COLOR_SCROLLBAR: return RGB(212, 208, 200);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    case COLOR_ACTIVECAPTION: return RGB(10, 36, 106);
    case COLOR_INACTIVECAPTION: return RGB(128, 128, 128);
    case COLOR_MENU: return RGB(212, 208, 200);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_MENUTEXT: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT: return RGB(255, 255, 255);
    case COLOR_ACTIVEBORDER: return RGB(212, 208, 200);
    case COLOR_INACTIVEBORDER: return RGB(212, 208, 200);
    case COLOR_APPWORKSPACE: return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_INACTIVECAPTIONTEXT: return RGB(212, 208, 200);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(64, 64, 64);
    case COLOR_3DLIGHT: return RGB(212, 208, 200);
    case COLOR_INFOTEXT: return RGB(0, 0, 0);
    case COLOR_INFOBK: return RGB(255, 255, 225);
    case COLOR_HOTLIGHT: return RGB(0, 0, 128);
    case COLOR_GRADIENTACTIVECAPTION: return RGB(166, 202, 240);
    case COLOR_GRADIENTINACTIVECAPTION: return RGB(192, 192, 192);
    case COLOR_MENUHILIGHT: return RGB(49, 106, 197);
    case COLOR_MENUBAR: return RGB(212, 208, 200);
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT action, UINT, LPVOID pvParam, UINT) {
  if (action == SPI_GETWORKAREA && pvParam) {
    RECT screen;
    DesktopAreas(&screen, static_cast<RECT*>(pvParam));
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace win
