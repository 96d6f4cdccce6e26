#include "platform/ui/WindowState.h"

#include <algorithm>

#include "platform/ui/Backend.h"
#include "platform/ui/WindowInternal.h"
#include "platform/win/Ascii.h"
#include "platform/win/MessagePump.h"

namespace win {

using namespace wnd;

namespace {

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
    TQueue& q = *ThreadState().queue;
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
  if (ThreadState().quit) {
    *out = MSG{};
    out->message = WM_QUIT;
    out->wParam = static_cast<WPARAM>(ThreadState().quitCode);
    out->time = Now();
    out->pt = Cursor();
    if (remove) ThreadState().quit = false;
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
  for (TTimer& tm : ThreadState().timers) {
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

}  // namespace

namespace wnd {

void Post(const std::shared_ptr<TQueue>& q, const MSG& m, bool front, bool screenPoint) {
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

}  // namespace wnd

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
    q = ThreadState().queue;
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
  ThreadState().quit = true;
  ThreadState().quitCode = exitCode;
}

BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
  if (!msg || (hwnd && hwnd != reinterpret_cast<HWND>(-1) && !Check(hwnd))) return -1;
  for (;;) {
    Clock::time_point next = Clock::time_point::max();
    if (Fetch(msg, hwnd, filterMin, filterMax, true, Clock::time_point::max(), &next)) {
      ThreadState().last = *msg;
      return msg->message == WM_QUIT ? FALSE : TRUE;
    }
    // Sleep until a message is posted (from any thread), the display has
    // input, or the next timer is due; what was drawn goes out first.
    paint::Flush();
    TQueue& q = *ThreadState().queue;
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
  ThreadState().last = *msg;
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
  Post(ThreadState().queue, m, true);
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

UINT RegisterWindowMessageA(LPCSTR name) {
  if (!name || IsAtom(name) || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::lock_guard lock(g_mutex);
  auto [it, added] = g_registeredMessages.emplace(AsciiLowerCase(name), g_nextMessage);
  if (added) g_nextMessage++;
  return it->second;
}

DWORD GetMessageTime() { return ThreadState().last.time; }

DWORD GetMessagePos() { return static_cast<DWORD>(PackPoint(ThreadState().last.pt.x, ThreadState().last.pt.y)); }

int RunMessageLoop() {
  ++ThreadState().loopDepth;
  MSG m;
  BOOL r;
  while ((r = GetMessageA(&m, nullptr, 0, 0)) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  --ThreadState().loopDepth;
  const int code = static_cast<int>(m.wParam);
  if (ThreadState().loopDepth > 0) PostQuitMessage(code);
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
    ThreadState().last = m;
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
  auto found = std::find_if(ThreadState().timers.begin(), ThreadState().timers.end(),
                            [&](const TTimer& tm) { return tm.hwnd == hwnd && tm.id == id; });
  if (!hwnd && (id == 0 || found == ThreadState().timers.end())) {
    // Window-less timers get an id of their own.
    do {
      id = ThreadState().nextTimerId++;
    } while (std::any_of(ThreadState().timers.begin(), ThreadState().timers.end(),
                         [&](const TTimer& tm) { return !tm.hwnd && tm.id == id; }));
    found = ThreadState().timers.end();
  }
  TTimer tm;
  tm.hwnd = hwnd;
  tm.id = id;
  tm.elapse = elapse;
  tm.proc = proc;
  tm.due = Clock::now() + std::chrono::milliseconds(elapse);
  tm.seq = ThreadState().timerSeq++;
  if (found != ThreadState().timers.end())
    *found = tm;
  else
    ThreadState().timers.push_back(tm);
  return hwnd && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
  auto it = std::find_if(ThreadState().timers.begin(), ThreadState().timers.end(),
                         [&](const TTimer& tm) { return tm.hwnd == hwnd && tm.id == id; });
  if (it == ThreadState().timers.end()) {
    SetLastError(ERROR_TIMER_NOT_FOUND);
    return FALSE;
  }
  ThreadState().timers.erase(it);
  return TRUE;
}

DWORD GetMessageClock() { return Now(); }

}  // namespace win
