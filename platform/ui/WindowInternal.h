// What the window layer and the paint layer tell each other; not for the
// rest of the program.
#pragma once

#include <vector>

#include "platform/ui/Paint.h"

namespace win {

namespace wnd {
// Border, caption and client-edge thickness of the default frame.
struct TFrameMetrics {
  int border = 0;
  int caption = 0;
  int edge = 0;
};
TFrameMetrics FrameOf(HWND hwnd);
bool OnThisThread(HWND hwnd);
UINT ClassStyle(HWND hwnd);
HBRUSH ClassBackground(HWND hwnd);
}  // namespace wnd

namespace paint {
// The window that gets the next WM_PAINT among the calling thread's windows
// (parents before children), or null.
HWND NextPaint(HWND filter);
// After SetWindowPos changed a window; rectangles are the former screen ones.
void OnPosChanged(HWND hwnd, const RECT& oldRect, const RECT& oldClient, bool wasVisible, UINT flags);
// After WM_PAINT was dispatched: an internal paint is done, and a handler
// that left the area invalid still gets its frame and background drawn.
void AfterPaint(HWND hwnd);
// Before a window's record goes.
void OnDestroyed(HWND hwnd);
// Whether a screen point lies within the window's region (true without one).
bool InShape(HWND hwnd, POINT screen);
// Hands the drawn parts of the surfaces to the backend.
void Flush();
// The whole surface goes out again at the next Flush (the display lost it).
void MarkAllDirty(HWND hwnd);

LRESULT DefPaint(HWND hwnd);
LRESULT DefEraseBackground(HWND hwnd, HDC hdc);
LRESULT DefNcPaint(HWND hwnd, HRGN rgn);
LRESULT DefNcActivate(HWND hwnd, BOOL active);
LRESULT DefPrint(HWND hwnd, HDC hdc, LPARAM options, bool clientOnly);
LRESULT DefSetRedraw(HWND hwnd, BOOL redraw);
// Repaints the non-client area at once (a new caption text).
void RedrawFrame(HWND hwnd);
}  // namespace paint

}  // namespace win
