#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/ui/Backend.h"
#include "platform/ui/Paint.h"

namespace win {

namespace {

// No display: windows keep their surfaces for PrintWindow and PNGs, and the
// GUI thread sleeps on its queue until a post or the next timer.
class THeadless final : public TBackend {
 public:
  bool Headless() const override { return true; }
  void Wait(std::mutex& mutex, std::condition_variable& posted, const std::function<bool()>& ready,
            TClock::time_point deadline) override {
    ++waits_;
    std::unique_lock lock(mutex);
    if (deadline == TClock::time_point::max())
      posted.wait(lock, ready);
    else
      posted.wait_until(lock, deadline, ready);
  }
};

std::atomic<TBackend*> g_backend{nullptr};

}  // namespace

namespace backend {

TBackend* MakeHeadless() { return new THeadless; }

void Install(TBackend* b) { g_backend.store(b); }

#ifndef VORRA_HAVE_SDL
TBackend* MakeSdl() { return nullptr; }
#endif

}  // namespace backend

TBackend& Backend() {
  TBackend* b = g_backend.load();
  if (!b) {
    static THeadless headless;
    TBackend* expected = nullptr;
    g_backend.compare_exchange_strong(expected, &headless);
    b = g_backend.load();
  }
  return *b;
}

BOOL InitDisplay() {
  const char* headless = std::getenv("VORRA_HEADLESS");
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool display = (x11 && *x11) || (wayland && *wayland);
  if (display && !(headless && std::strcmp(headless, "1") == 0)) {
    if (TBackend* sdl = backend::MakeSdl()) {
      backend::Install(sdl);
      return TRUE;
    }
  }
  Backend();
  return FALSE;
}

BOOL IsHeadless() { return Backend().Headless() ? TRUE : FALSE; }

}  // namespace win
