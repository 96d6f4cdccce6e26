#include "platform/ui/WindowState.h"

#include <chrono>

#include "platform/win/Ascii.h"

namespace win::wnd {

namespace {
const Clock::time_point g_epoch = Clock::now();
}  // namespace

DWORD Now() {
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - g_epoch).count());
}

TThreadState& ThreadState() {
  thread_local TThreadState state;
  return state;
}

std::mutex g_mutex;
std::unordered_map<HWND, std::unique_ptr<TWnd>> g_windows;
std::vector<HWND> g_topLevel;  // z-order, topmost first
std::vector<std::shared_ptr<TClass>> g_classes;
std::map<std::string, UINT> g_registeredMessages;
ATOM g_nextAtom = 0xC000;
UINT g_nextMessage = 0xC000;
std::uintptr_t g_nextHandle = 0x10010;

namespace {
POINT g_cursorPos{kScreenWidth / 2, kScreenHeight / 2};  // under g_mutex: posts from any thread read it
}  // namespace

POINT Cursor() {
  std::lock_guard lock(g_mutex);
  return g_cursorPos;
}

void MoveCursor(POINT p) {
  std::lock_guard lock(g_mutex);
  g_cursorPos = p;
}

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
    if (IsAtom(name) ? c->atom == reinterpret_cast<std::uintptr_t>(name) : AsciiEqualsIgnoreCase(name, c->name)) return c;
  }
  return nullptr;
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWnd* w = Find(hwnd);
  if (!w || !w->proc) return 0;
  const WNDPROC proc = w->proc;
  return proc(hwnd, msg, wParam, lParam);
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

bool OnThisThread(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return w && w->thread == std::this_thread::get_id();
}

}  // namespace win::wnd
