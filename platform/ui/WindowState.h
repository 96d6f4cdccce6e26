// The window layer's own records and the helpers its parts share (classes,
// windows, messages, input, the default procedure, the desktop); not for the
// rest of the program.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/ui/Window.h"

namespace win::wnd {

using Clock = std::chrono::steady_clock;

// Windows' own flag of a window position change that minimizes, maximizes or restores.
inline constexpr UINT SWP_STATECHANGED = 0x8000;
// Where Windows keeps minimized windows.
inline constexpr int kIconicPos = -32000;

// Headless desktop.
inline constexpr int kScreenWidth = 1280;
inline constexpr int kScreenHeight = 1024;
inline constexpr int kTaskbarHeight = 30;
inline constexpr UINT kDoubleClickTime = 500;

// Milliseconds since the window layer started: the time stamp of messages.
DWORD Now();

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

// This thread's state. A function rather than an extern thread_local: GCC's
// UBSan reads the address of a thread_local reached from other files as null.
TThreadState& ThreadState();

extern std::mutex g_mutex;
extern std::unordered_map<HWND, std::unique_ptr<TWnd>> g_windows;
extern std::vector<HWND> g_topLevel;  // z-order, topmost first
extern std::vector<std::shared_ptr<TClass>> g_classes;
extern std::map<std::string, UINT> g_registeredMessages;
extern ATOM g_nextAtom;
extern UINT g_nextMessage;
extern std::uintptr_t g_nextHandle;

// The display's screen and work area, or the fixed headless ones.
void DesktopAreas(RECT* screen, RECT* work);
POINT Cursor();
void MoveCursor(POINT p);

inline bool IsAtom(LPCSTR name) { return reinterpret_cast<std::uintptr_t>(name) < 0x10000; }
TWnd* Find(HWND hwnd);
// Find, leaving ERROR_INVALID_WINDOW_HANDLE when there is no such window.
TWnd* Check(HWND hwnd);
std::shared_ptr<TClass> FindClass(LPCSTR name);
LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

POINT ClientOrigin(TWnd* w);
RECT ScreenRect(TWnd* w);
inline bool Contains(const RECT& r, POINT p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }
bool IsAncestorOrSelf(HWND ancestor, HWND hwnd);
HWND Root(HWND hwnd);

// The default frame: border thickness and caption height for a style.
struct TFrame {
  int border = 0;
  int caption = 0;
  int edge = 0;
};
TFrame DefaultFrame(DWORD style, DWORD exStyle);

void Post(const std::shared_ptr<TQueue>& q, const MSG& m, bool front = false, bool screenPoint = false);
// Keeps the key state that GetKeyState answers in step with the input message just read.
void SyncKeys(const MSG& m);
inline LPARAM PackPoint(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }
char CharOfKey(int vk);

}  // namespace win::wnd
