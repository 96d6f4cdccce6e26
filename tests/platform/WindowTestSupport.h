// A window class that records every message its windows receive, for the
// window and message tests.
#pragma once

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Window.h"
#include "tests/support/TestSupport.h"

namespace win::test {

struct TLogged {
  HWND hwnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

inline std::vector<TLogged> g_log;
// Answers a message instead of the default procedure when it returns a value.
inline std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> g_answer;

inline LRESULT LogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  g_log.push_back({hwnd, msg, wParam, lParam});
  if (g_answer) {
    if (auto r = g_answer(hwnd, msg, wParam, lParam)) return *r;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

inline constexpr const char* kClass = "VorraTestWindow";
inline constexpr const char* kPlainClass = "VorraTestPlain";  // without CS_DBLCLKS

class TWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = LogProc;
    wc.cbWndExtra = 2 * static_cast<int>(sizeof(LONG_PTR));
    wc.lpszClassName = kClass;
    ASSERT_NE(RegisterClassA(&wc), 0);
    wc.style = 0;
    wc.lpszClassName = kPlainClass;
    ASSERT_NE(RegisterClassA(&wc), 0);
    g_log.clear();
    g_answer = nullptr;
  }

  void TearDown() override {
    g_answer = nullptr;
    while (HWND h = GetTopWindow(nullptr)) ASSERT_TRUE(DestroyWindow(h));
    EXPECT_TRUE(UnregisterClassA(kClass, nullptr));
    EXPECT_TRUE(UnregisterClassA(kPlainClass, nullptr));
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }

  HWND Create(DWORD style, int x, int y, int w, int h, HWND parent = nullptr, DWORD exStyle = 0,
              const char* cls = kClass) {
    return CreateWindowExA(exStyle, cls, "w", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
  }

  // The logged (window, message) pairs among `wanted`, in order.
  static std::vector<std::pair<HWND, UINT>> Seq(std::initializer_list<UINT> wanted) {
    std::vector<std::pair<HWND, UINT>> out;
    for (const auto& e : g_log)
      for (UINT m : wanted)
        if (e.msg == m) out.emplace_back(e.hwnd, e.msg);
    return out;
  }

  static std::vector<TLogged> Of(UINT msg) {
    std::vector<TLogged> out;
    for (const auto& e : g_log)
      if (e.msg == msg) out.push_back(e);
    return out;
  }

  vorra::test::TTempDir temp_;
  vorra::test::TScopedEnv home_{"VORRA_HOME", temp_.Folder()};
};

}  // namespace win::test
