// Driving forms in tests: work queued to run inside whatever message loop
// is running (modal loops included), input injected at controls, and the
// dialog hook answering every message box.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "framework/DialogHook.h"
#include "framework/Forms.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"

namespace vorra::test {

class TFormTest : public ::testing::Test {
 protected:
  static constexpr win::UINT WM_TASK = win::WM_APP + 77;
  static constexpr win::UINT_PTR kWatchdog = 99;

  void SetUp() override {
    tasks_ = AllocateHWnd([this](TMessage& m) {
      if (m.Msg == WM_TASK && !queue_.empty()) {
        auto f = std::move(queue_.front());
        queue_.pop_front();
        f();
      } else if (m.Msg == win::WM_TIMER && m.WParam == kWatchdog) {
        // A loop that never ends fails the test instead of hanging it.
        ADD_FAILURE() << "the message loop did not finish in time";
        win::KillTimer(tasks_, kWatchdog);
        Application->Terminate();
      } else {
        m.Result = win::DefWindowProcA(tasks_, m.Msg, m.WParam, m.LParam);
      }
    });
    win::SetTimer(tasks_, kWatchdog, 20000, nullptr);
    Application->SetTitle("Vorra Test");
    hook_ = std::make_unique<TScopedDialogHook>([this](const TDialogRequest& r) {
      requests_.push_back(r);
      return TDialogAnswer{answer_, ""};
    });
  }

  void TearDown() override {
    hook_.reset();
    Application->Shutdown();
    Application->OnException = nullptr;
    Application->OnMinimize = nullptr;
    Application->OnRestore = nullptr;
    DeallocateHWnd(tasks_);
    win::MSG m;
    while (win::PeekMessageA(&m, nullptr, 0, 0, win::PM_REMOVE)) {
    }
  }

  // Runs f from the message loop, after the messages posted before it.
  void Later(std::function<void()> f) {
    queue_.push_back(std::move(f));
    win::PostMessageA(tasks_, WM_TASK, 0, 0);
  }

  // A left click at a client point of a control; clicks are spaced beyond
  // the double-click time so that two of them stay two.
  void Click(TControl* c, int x = -1, int y = -1, bool dbl = false) {
    if (x < 0) x = c->Width() / 2;
    if (y < 0) y = c->Height() / 2;
    const TPoint p = c->ClientToScreen(TPoint{x, y});
    clock_ += dbl ? 50 : 2000;
    win::InjectMouseMove(p.X, p.Y, clock_);
    win::InjectMouseButton(win::VK_LBUTTON, true, p.X, p.Y, clock_);
    win::InjectMouseButton(win::VK_LBUTTON, false, p.X, p.Y, clock_ + 1);
  }

  void Key(int vk) {
    win::InjectKey(vk, true);
    win::InjectKey(vk, false);
  }

  void Keys(const std::vector<int>& chord) {
    for (int vk : chord) win::InjectKey(vk, true);
    for (auto it = chord.rbegin(); it != chord.rend(); ++it) win::InjectKey(*it, false);
  }

  test::TTempDir temp_;
  test::TScopedEnv home_{"VORRA_HOME", temp_.Folder()};
  std::vector<TDialogRequest> requests_;
  int answer_ = win::IDOK;
  win::DWORD clock_ = win::GetMessageClock() + 100000;

 private:
  win::HWND tasks_ = nullptr;
  std::deque<std::function<void()>> queue_;
  std::unique_ptr<TScopedDialogHook> hook_;
};

}  // namespace vorra::test
