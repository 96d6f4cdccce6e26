// Driving controls on a headless form: a shown form per test, input injected
// at control coordinates, and the pump that delivers it.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "framework/Forms.h"
#include "platform/ui/Messages.h"
#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"

namespace vorra::ctltest {

struct TFormFree {
  void operator()(TCustomForm* f) const {
    if (f && IsLiveForm(f)) f->Free();
  }
};
using TFormPtr = std::unique_ptr<TForm, TFormFree>;

inline void Pump() { win::ProcessPendingMessages(); }

// Each press far from the last in time, so two clicks never make a double click.
inline win::DWORD NextInputTime(bool sameGesture = false) {
  static win::DWORD clock = 0;
  const win::DWORD now = win::GetMessageClock();
  clock = std::max(clock + (sameGesture ? 1u : 5000u), now + 1);
  return clock;
}

inline TPoint ScreenPoint(TControl* c, int x, int y) { return c->ClientToScreen(TPoint{x, y}); }

inline void Press(TControl* c, int x, int y, bool down, int button = win::VK_LBUTTON, bool sameGesture = false) {
  const TPoint p = ScreenPoint(c, x, y);
  win::InjectMouseButton(button, down, p.X, p.Y, NextInputTime(sameGesture));
}

inline void Click(TControl* c, int x, int y) {
  Press(c, x, y, true);
  Press(c, x, y, false, win::VK_LBUTTON, true);
  Pump();
}

inline void DoubleClick(TControl* c, int x, int y) {
  Press(c, x, y, true);
  Press(c, x, y, false, win::VK_LBUTTON, true);
  Press(c, x, y, true, win::VK_LBUTTON, true);
  Press(c, x, y, false, win::VK_LBUTTON, true);
  Pump();
}

inline void Key(int vk, bool ctrl = false, bool shift = false) {
  if (ctrl) win::InjectKey(win::VK_CONTROL, true);
  if (shift) win::InjectKey(win::VK_SHIFT, true);
  win::InjectKey(vk, true);
  win::InjectKey(vk, false);
  if (shift) win::InjectKey(win::VK_SHIFT, false);
  if (ctrl) win::InjectKey(win::VK_CONTROL, false);
  Pump();
}

// Lower-case letters, digits and '.' through their keys.
inline void Type(const std::string& text) {
  for (char ch : text) {
    int vk = ch;
    if (ch >= 'a' && ch <= 'z') vk = ch - 'a' + 'A';
    if (ch == '.') vk = win::VK_DECIMAL;
    win::InjectKey(vk, true);
    win::InjectKey(vk, false);
  }
  Pump();
}

// A shown form to put controls on, in a scratch home.
class TControlFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.reset(new TForm(nullptr));
    form->SetBounds(40, 40, 420, 320);
    form->Show();
    Pump();
  }
  void TearDown() override {
    form.reset();
    Pump();
  }
  template <class T>
  T* Put(int x, int y, int w, int h) {
    auto* c = new T(form.get());
    c->SetParent(form.get());
    c->SetBounds(x, y, w, h);
    return c;
  }

  test::TTempDir dir;
  test::TScopedEnv home{"VORRA_HOME", dir.Folder()};
  TFormPtr form;
};

}  // namespace vorra::ctltest
