// Painting windows: update regions and the WM_PAINT / WM_ERASEBKGND /
// WM_NCPAINT protocol, device contexts of windows, window shapes, and the
// rendering of a window without a display. Every visible top-level window
// owns a 32-bit top-down surface the size of its window rectangle; the DCs
// of a window and of its children draw into that surface, clipped to what
// of the window shows (children and siblings cut out where the styles ask,
// the window region, and inside BeginPaint the update region). A display
// backend presents the surfaces; the headless one keeps them for PNGs.
#pragma once

#include <string>

#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

namespace win {

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;
  RECT rcPaint;
  BOOL fRestore = FALSE;
  BOOL fIncUpdate = FALSE;
  BYTE rgbReserved[32] = {};
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

inline constexpr UINT RDW_INVALIDATE = 0x0001;
inline constexpr UINT RDW_INTERNALPAINT = 0x0002;
inline constexpr UINT RDW_ERASE = 0x0004;
inline constexpr UINT RDW_VALIDATE = 0x0008;
inline constexpr UINT RDW_NOINTERNALPAINT = 0x0010;
inline constexpr UINT RDW_NOERASE = 0x0020;
inline constexpr UINT RDW_NOCHILDREN = 0x0040;
inline constexpr UINT RDW_ALLCHILDREN = 0x0080;
inline constexpr UINT RDW_UPDATENOW = 0x0100;
inline constexpr UINT RDW_ERASENOW = 0x0200;
inline constexpr UINT RDW_FRAME = 0x0400;
inline constexpr UINT RDW_NOFRAME = 0x0800;

inline constexpr DWORD DCX_WINDOW = 0x00000001;
inline constexpr DWORD DCX_CACHE = 0x00000002;
inline constexpr DWORD DCX_NORESETATTRS = 0x00000004;
inline constexpr DWORD DCX_CLIPCHILDREN = 0x00000008;
inline constexpr DWORD DCX_CLIPSIBLINGS = 0x00000010;
inline constexpr DWORD DCX_PARENTCLIP = 0x00000020;
inline constexpr DWORD DCX_EXCLUDERGN = 0x00000040;
inline constexpr DWORD DCX_INTERSECTRGN = 0x00000080;
inline constexpr DWORD DCX_EXCLUDEUPDATE = 0x00000100;
inline constexpr DWORD DCX_INTERSECTUPDATE = 0x00000200;
inline constexpr DWORD DCX_LOCKWINDOWUPDATE = 0x00000400;
inline constexpr DWORD DCX_VALIDATE = 0x00200000;

inline constexpr UINT PW_CLIENTONLY = 0x00000001;

// WM_PRINT / WM_PRINTCLIENT options.
inline constexpr LPARAM PRF_CHECKVISIBLE = 0x00000001;
inline constexpr LPARAM PRF_NONCLIENT = 0x00000002;
inline constexpr LPARAM PRF_CLIENT = 0x00000004;
inline constexpr LPARAM PRF_ERASEBKGND = 0x00000008;
inline constexpr LPARAM PRF_CHILDREN = 0x00000010;
inline constexpr LPARAM PRF_OWNED = 0x00000020;

// Update regions. Rectangles and regions are in client coordinates; a null
// window in InvalidateRect / RedrawWindow means every top-level window.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
BOOL InvalidateRgn(HWND hwnd, HRGN rgn, BOOL erase);
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL ValidateRgn(HWND hwnd, HRGN rgn);
BOOL GetUpdateRect(HWND hwnd, RECT* rect, BOOL erase);
int GetUpdateRgn(HWND hwnd, HRGN rgn, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
// updateRect and updateRgn are in client coordinates (window coordinates
// with RDW_FRAME when they reach into the frame: as Windows, client ones).
BOOL RedrawWindow(HWND hwnd, const RECT* updateRect, HRGN updateRgn, UINT flags);

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);

// Device contexts of windows, as Windows gives them: the device origin is the
// client (or window) corner, the system keeps the visible region apart, and a
// caller's SelectClipRgn (relative to the origin) only narrows it. Release
// every one with ReleaseDC. GetDC(nullptr) answers a plain memory DC.
HDC GetDC(HWND hwnd);
HDC GetWindowDC(HWND hwnd);
// clip: a region in screen coordinates for DCX_INTERSECTRGN / DCX_EXCLUDERGN
// (copied; the caller keeps it).
HDC GetDCEx(HWND hwnd, HRGN clip, DWORD flags);
int ReleaseDC(HWND hwnd, HDC hdc);
HWND WindowFromDC(HDC hdc);

// Window shapes. The region is in window coordinates (the window rectangle's
// top-left corner is 0,0); the system owns it after a successful call.
// A null region removes the shape.
int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw);
// Copies the shape into rgn; ERROR when the window has none.
int GetWindowRgn(HWND hwnd, HRGN rgn);

// Draws the window (frame included unless PW_CLIENTONLY) into hdc at 0,0,
// after processing its pending paints and its children's.
BOOL PrintWindow(HWND hwnd, HDC hdc, UINT flags);
// Processes the pending paints of hwnd and its children and writes its
// surface, frame included, as a PNG with alpha: pixels outside its window
// region are transparent, all others opaque. A child window is cut out of
// its top-level window's surface.
BOOL RenderWindowToPng(HWND hwnd, const std::string& path);

// The display: call once at program start, before any window is created.
// Picks the SDL2 display when DISPLAY or WAYLAND_DISPLAY is set, VORRA_HEADLESS
// is not "1" and SDL's video starts; the headless backend otherwise. Answers
// TRUE when a display is in use. Without the call everything runs headless.
BOOL InitDisplay();
BOOL IsHeadless();

}  // namespace win
