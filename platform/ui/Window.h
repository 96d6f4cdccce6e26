// Windows and their messages on the GUI thread: classes and window procedures
// (replaceable, so a component can subclass a window it does not own), send
// and post, the thread's queue and timers, nested message loops, focus,
// capture and activation, the non-client protocol with a plain default frame,
// and input injection, which a display backend or a headless test drives.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/Messages.h"
#include "platform/ui/UiTypes.h"
#include "platform/win/Modules.h"

namespace win {

struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;
using HINSTANCE = HMODULE;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct WNDCLASSA {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCSTR lpszMenuName = nullptr;
  LPCSTR lpszClassName = nullptr;
};

struct WNDCLASSEXA {
  UINT cbSize = sizeof(WNDCLASSEXA);
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  HICON hIcon = nullptr;
  HCURSOR hCursor = nullptr;
  HBRUSH hbrBackground = nullptr;
  LPCSTR lpszMenuName = nullptr;
  LPCSTR lpszClassName = nullptr;
  HICON hIconSm = nullptr;
};

struct CREATESTRUCTA {
  LPVOID lpCreateParams = nullptr;
  HINSTANCE hInstance = nullptr;
  HMENU hMenu = nullptr;
  HWND hwndParent = nullptr;
  int cy = 0;
  int cx = 0;
  int y = 0;
  int x = 0;
  LONG style = 0;
  LPCSTR lpszName = nullptr;
  LPCSTR lpszClass = nullptr;
  DWORD dwExStyle = 0;
};

struct WINDOWPOS {
  HWND hwnd = nullptr;
  HWND hwndInsertAfter = nullptr;
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
};

struct NCCALCSIZE_PARAMS {
  RECT rgrc[3];
  WINDOWPOS* lppos = nullptr;
};

struct STYLESTRUCT {
  DWORD styleOld = 0;
  DWORD styleNew = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};

struct TRACKMOUSEEVENT {
  DWORD cbSize = sizeof(TRACKMOUSEEVENT);
  DWORD dwFlags = 0;
  HWND hwndTrack = nullptr;
  DWORD dwHoverTime = 0;
};

// An atom passed where a class or property name is expected.
inline LPCSTR MAKEINTATOM(ATOM atom) { return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(atom)); }

// A window procedure bound to an object (a form, a message hook): a plain
// WNDPROC that calls `proc`, so it can be set with GWLP_WNDPROC and compared
// with what a window uses. Answers nullptr when all kMaxProcInstances are in
// use. FreeProcInstance gives the slot back; the WNDPROC must no longer be
// any window's procedure.
using TObjectWndProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;
inline constexpr int kMaxProcInstances = 512;
WNDPROC MakeProcInstance(TObjectWndProc proc);
void FreeProcInstance(WNDPROC proc);

// Classes.
ATOM RegisterClassA(const WNDCLASSA* wc);
ATOM RegisterClassExA(const WNDCLASSEXA* wc);
BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance);
BOOL GetClassInfoA(HINSTANCE instance, LPCSTR className, WNDCLASSA* wc);
int GetClassNameA(HWND hwnd, LPSTR buffer, int maxCount);

// Windows.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param);
inline HWND CreateWindowA(LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width, int height,
                          HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  return CreateWindowExA(0, className, windowName, style, x, y, width, height, parent, menu, instance, param);
}
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
BOOL IsChild(HWND parent, HWND hwnd);
HWND GetParent(HWND hwnd);
HWND SetParent(HWND hwnd, HWND newParent);
HWND GetAncestor(HWND hwnd, UINT flags);
HWND GetWindow(HWND hwnd, UINT cmd);
HWND GetTopWindow(HWND hwnd);
HWND WindowFromPoint(POINT pt);

BOOL ShowWindow(HWND hwnd, int cmdShow);
BOOL IsWindowVisible(HWND hwnd);
BOOL IsIconic(HWND hwnd);
BOOL IsZoomed(HWND hwnd);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND hwnd, RECT* rect);
BOOL GetClientRect(HWND hwnd, RECT* rect);
BOOL ClientToScreen(HWND hwnd, POINT* pt);
BOOL ScreenToClient(HWND hwnd, POINT* pt);

BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();

BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
int GetWindowTextA(HWND hwnd, LPSTR buffer, int maxCount);
int GetWindowTextLengthA(HWND hwnd);
// The text as a string, through WM_GETTEXTLENGTH and WM_GETTEXT.
std::string GetWindowTextString(HWND hwnd);

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
inline LONG GetWindowLongA(HWND hwnd, int index) { return static_cast<LONG>(GetWindowLongPtrA(hwnd, index)); }
inline LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

HANDLE GetPropA(HWND hwnd, LPCSTR name);
BOOL SetPropA(HWND hwnd, LPCSTR name, HANDLE data);
HANDLE RemovePropA(HWND hwnd, LPCSTR name);

// Messages.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
UINT RegisterWindowMessageA(LPCSTR name);
DWORD GetMessageTime();
DWORD GetMessagePos();
// Whether the calling thread is inside a SendMessage call's handler. Always
// FALSE: sends stay on one thread.
inline BOOL InSendMessage() { return FALSE; }

// Runs GetMessage/TranslateMessage/DispatchMessage until WM_QUIT, answering
// its exit code; the usual message loop, also for nested (modal) loops: a
// nested loop that sees WM_QUIT posts it again so the outer loop ends too.
int RunMessageLoop();
// Dispatches every waiting message without waiting; FALSE when WM_QUIT came
// (it is posted again for the loop that owns it).
BOOL ProcessPendingMessages();
// A modal loop: dispatches messages until done() holds (TRUE) or WM_QUIT
// comes (FALSE; WM_QUIT is posted again for the outer loop).
BOOL RunModalLoop(const std::function<bool()>& done);

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);

// Milliseconds of the message clock (time of messages and timers).
DWORD GetMessageClock();

// Input.
BOOL GetCursorPos(POINT* pt);
BOOL SetCursorPos(int x, int y);
short GetKeyState(int vk);
short GetAsyncKeyState(int vk);
BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme);
UINT GetDoubleClickTime();

// Input as a display backend delivers it: coordinates are screen points, the
// time is the event's time in GetMessageClock milliseconds (0 = now). Each
// call posts the resulting message to the window under the pointer (or the
// capture window, or the focus window for keys) after asking it
// WM_NCHITTEST; answers FALSE when no window takes the event.
BOOL InjectMouseMove(int x, int y, DWORD time = 0);
// button is VK_LBUTTON, VK_RBUTTON or VK_MBUTTON.
BOOL InjectMouseButton(int button, bool down, int x, int y, DWORD time = 0);
BOOL InjectMouseWheel(int delta, int x, int y, DWORD time = 0);
BOOL InjectKey(int vk, bool down, DWORD time = 0);

// Fixed headless values of the desktop.
int GetSystemMetrics(int index);
COLORREF GetSysColor(int index);
BOOL SystemParametersInfoA(UINT action, UINT uiParam, LPVOID pvParam, UINT winIni);

}  // namespace win
