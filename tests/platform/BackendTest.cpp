#include "platform/ui/Backend.h"

#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Paint.h"
#include "tests/platform/WindowTestSupport.h"

namespace win::test {
namespace {

// Records what the window layer tells a display, and waits like the headless one.
class TRecordingBackend final : public TBackend {
 public:
  bool Headless() const override { return true; }
  void WindowShown(HWND hwnd, const RECT& rect, DWORD, DWORD) override {
    Events.push_back("shown");
    Shown = rect;
    Window = hwnd;
  }
  void WindowHidden(HWND) override { Events.push_back("hidden"); }
  void WindowMoved(HWND, const RECT& rect) override {
    Events.push_back("moved");
    Shown = rect;
  }
  void WindowDestroyed(HWND) override { Events.push_back("destroyed"); }
  void ShapeChanged(HWND, const std::vector<RECT>& shape, bool hasShape) override {
    Events.push_back(hasShape ? "shape" : "noshape");
    Shape = shape;
  }
  void Present(HWND hwnd, HBITMAP surface, const RECT& dirty) override {
    Events.push_back("present");
    Dirty = dirty;
    Surface = surface;
  }
  void CaptureChanged(HWND hwnd) override { Events.push_back(hwnd ? "capture" : "release"); }
  void Wait(std::mutex& mutex, std::condition_variable& posted, const std::function<bool()>& ready,
            TClock::time_point deadline) override {
    ++waits_;
    std::unique_lock lock(mutex);
    if (deadline == TClock::time_point::max())
      posted.wait(lock, ready);
    else
      posted.wait_until(lock, deadline, ready);
  }
  void Wake() override { ++Wakes; }
  bool Desktop(RECT* screen, RECT* work) const override {
    if (!HasDesktop) return false;
    *screen = RECT{0, 0, 1920, 1080};
    *work = RECT{0, 0, 1920, 1040};
    return true;
  }
  bool HasDesktop = false;

  std::vector<std::string> Events;
  RECT Shown{}, Dirty{};
  HWND Window = nullptr;
  HBITMAP Surface = nullptr;
  std::vector<RECT> Shape;
  std::atomic<int> Wakes{0};
};

class TBackendTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    previous_ = &Backend();
    backend::Install(&recorder_);
  }
  void TearDown() override {
    TWindowTest::TearDown();
    backend::Install(previous_);
  }
  static void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  }
  std::vector<std::string> Take() { return std::exchange(recorder_.Events, {}); }

  TRecordingBackend recorder_;
  TBackend* previous_ = nullptr;
};

TEST_F(TBackendTest, TopLevelWindowsReachTheDisplayWithTheirPixels) {
  const HWND h = Create(WS_POPUP, 30, 40, 100, 50);
  const HWND child = Create(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, h);
  EXPECT_TRUE(Take().empty());  // hidden windows and children are not the display's business
  ShowWindow(h, SW_SHOW);
  EXPECT_EQ(std::vector<std::string>({"shown"}), Take());
  EXPECT_EQ(h, recorder_.Window);
  EXPECT_EQ(30, recorder_.Shown.left);
  EXPECT_EQ(90, recorder_.Shown.bottom);

  // Painting ends with the drawn area presented once the queue is idle.
  Pump();
  EXPECT_EQ(std::vector<std::string>({"present"}), Take());
  ASSERT_TRUE(recorder_.Surface);
  EXPECT_EQ(100, recorder_.Surface->Width);
  EXPECT_EQ(50, recorder_.Surface->Height);
  RECT r{2, 3, 4, 5};
  InvalidateRect(child, &r, TRUE);
  Pump();
  EXPECT_EQ(std::vector<std::string>({"present"}), Take());
  EXPECT_EQ(2, recorder_.Dirty.left);
  EXPECT_EQ(5, recorder_.Dirty.bottom);

  // Moves, shapes, capture, hiding and destruction.
  SetWindowPos(h, nullptr, 50, 60, 120, 70, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(std::vector<std::string>({"moved"}), Take());
  EXPECT_EQ(170, recorder_.Shown.right);
  SetWindowRgn(h, CreateRectRgn(0, 0, 20, 20), TRUE);
  EXPECT_EQ(std::vector<std::string>({"shape"}), Take());
  ASSERT_EQ(1u, recorder_.Shape.size());
  EXPECT_EQ(20, recorder_.Shape[0].right);
  SetCapture(h);
  ReleaseCapture();
  EXPECT_EQ(std::vector<std::string>({"capture", "release"}), Take());
  ShowWindow(h, SW_HIDE);
  Pump();
  EXPECT_EQ(std::vector<std::string>({"hidden"}), Take());
  DestroyWindow(h);
  EXPECT_EQ(std::vector<std::string>({"destroyed"}), Take());
}

TEST_F(TBackendTest, OnlyPostsFromOtherThreadsWakeTheDisplay) {
  const HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  PostMessageA(h, WM_USER, 0, 0);
  EXPECT_EQ(0, recorder_.Wakes.load());
  std::thread poster([h] { PostMessageA(h, WM_USER + 1, 0, 0); });
  MSG m;
  BOOL got;
  do {
    got = GetMessageA(&m, nullptr, 0, 0);
  } while (got > 0 && m.message != WM_USER + 1);
  poster.join();
  EXPECT_EQ(WM_USER + 1, m.message);
  EXPECT_EQ(1, recorder_.Wakes.load());
}

TEST_F(TBackendTest, TheDisplaysDesktopSizesTheScreenMetrics) {
  recorder_.HasDesktop = true;
  EXPECT_EQ(1920, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(1080, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(1040, GetSystemMetrics(SM_CYMAXIMIZED));
  RECT work;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(1040, work.bottom);
  // A maximized window fills that work area.
  const HWND h = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 100, 100);
  ShowWindow(h, SW_SHOWMAXIMIZED);
  RECT r;
  GetClientRect(h, &r);
  EXPECT_EQ(1920, r.right);
  recorder_.HasDesktop = false;
  EXPECT_EQ(1280, GetSystemMetrics(SM_CXSCREEN));
}

}  // namespace
}  // namespace win::test
