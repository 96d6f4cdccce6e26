// The display under the window layer: what the window and paint code tell
// it (top-level windows appearing, moving, changing shape, new pixels) and
// how the GUI thread waits for input, posts and timers. The headless backend
// has no display; the SDL2 backend gives every visible top-level window a
// borderless SDL window and turns SDL's events into injected input.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/ui/Gdi.h"
#include "platform/ui/Window.h"

namespace win {

// System cursor shapes a backend can show.
enum class TCursorShape { Arrow, IBeam, Wait, Cross, Hand, SizeWE, SizeNS, SizeNWSE, SizeNESW, SizeAll, No };

class TBackend {
 public:
  using TClock = std::chrono::steady_clock;
  virtual ~TBackend() = default;
  virtual bool Headless() const = 0;

  // Top-level windows; rectangles are screen coordinates.
  virtual void WindowShown(HWND hwnd, const RECT& rect, DWORD style, DWORD exStyle) {}
  virtual void WindowHidden(HWND hwnd) {}
  virtual void WindowMoved(HWND hwnd, const RECT& rect) {}
  virtual void WindowDestroyed(HWND hwnd) {}
  virtual void WindowRaised(HWND hwnd) {}
  // The window's shape in window coordinates; hasShape false: rectangular.
  virtual void ShapeChanged(HWND hwnd, const std::vector<RECT>& shape, bool hasShape) {}
  // New pixels in `dirty` (surface coordinates) of a shown window's surface.
  virtual void Present(HWND hwnd, HBITMAP surface, const RECT& dirty) {}
  virtual void CaptureChanged(HWND hwnd) {}
  virtual void SetCursorShape(TCursorShape shape) {}
  // Whether typed characters come from the display as text (WM_CHAR from
  // text input) rather than from TranslateMessage of printable keys.
  virtual bool SuppliesText() const { return false; }

  // Blocks the GUI thread until ready() holds (checked under `mutex`, which
  // posts signal through `posted`), an event of the display arrived, or
  // `deadline` passed (TClock::time_point::max(): no deadline).
  virtual void Wait(std::mutex& mutex, std::condition_variable& posted, const std::function<bool()>& ready,
                    TClock::time_point deadline) = 0;
  // Called after a post from a thread other than the queue's own.
  virtual void Wake() {}
  // Takes in what the display has waiting, without blocking (PeekMessage).
  virtual void Poll() {}
  // The screen and its work area (without panels); false: the fixed
  // headless desktop applies.
  virtual bool Desktop(RECT* screen, RECT* work) const { return false; }

  // How many times Wait was entered (for tests of idle behaviour).
  unsigned long long Waits() const { return waits_; }

 protected:
  unsigned long long waits_ = 0;
};

// The backend in use: headless until InitDisplay picks another.
TBackend& Backend();

namespace backend {
TBackend* MakeHeadless();
// Null when SDL2's video does not start (or SDL2 was not built in).
TBackend* MakeSdl();
// Replaces the backend in use (the old one stays alive: windows may still
// refer to state it handed out).
void Install(TBackend* backend);
}  // namespace backend

}  // namespace win
