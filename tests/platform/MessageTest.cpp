#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "platform/win/MessagePump.h"
#include "tests/platform/WindowTestSupport.h"

namespace win::test {
namespace {

using P = std::pair<HWND, UINT>;

std::vector<UINT> Dispatched(HWND h) {
  std::vector<UINT> out;
  for (const auto& e : g_log)
    if (e.hwnd == h && e.msg >= WM_USER && e.msg < WM_USER + 100) out.push_back(e.msg);
  return out;
}

TEST_F(TWindowTest, SendIsImmediatePostWaitsForTheLoop) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  g_answer = [](HWND, UINT msg, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
    if (msg == WM_USER) return static_cast<LRESULT>(w) + l;
    return std::nullopt;
  };
  g_log.clear();
  ASSERT_TRUE(PostMessageA(h, WM_USER + 1, 0, 0));
  ASSERT_TRUE(PostMessageA(h, WM_USER + 2, 0, 0));
  EXPECT_EQ(SendMessageA(h, WM_USER, 40, 2), 42);
  EXPECT_EQ(Dispatched(h), (std::vector<UINT>{WM_USER}));
  EXPECT_TRUE(ProcessPendingMessages());
  EXPECT_EQ(Dispatched(h), (std::vector<UINT>{WM_USER, WM_USER + 1, WM_USER + 2}));

  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x99990), WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  // A message posted to a window destroyed before the loop reaches it is dropped.
  ASSERT_TRUE(PostMessageA(h, WM_USER + 3, 0, 0));
  DestroyWindow(h);
  g_log.clear();
  EXPECT_TRUE(ProcessPendingMessages());
  EXPECT_TRUE(g_log.empty());
}

TEST_F(TWindowTest, PeekMessageFiltersByWindowAndRange) {
  HWND a = Create(WS_POPUP, 0, 0, 10, 10);
  HWND b = Create(WS_POPUP, 0, 0, 10, 10);
  PostMessageA(a, WM_USER + 1, 1, 0);
  PostMessageA(b, WM_USER + 2, 2, 0);
  PostMessageA(nullptr, WM_USER + 3, 3, 0);
  PostMessageA(a, WM_USER + 4, 4, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 3, PM_NOREMOVE));
  EXPECT_EQ(m.message, WM_USER + 2u);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 2u);
  EXPECT_EQ(m.hwnd, b);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 3u);
  EXPECT_EQ(m.hwnd, nullptr);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&m, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));  // thread messages only
  ASSERT_TRUE(PeekMessageA(&m, a, WM_USER + 4, WM_USER + 4, PM_REMOVE));
  EXPECT_EQ(m.wParam, 4u);
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 1u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(TWindowTest, PostQuitMessageEndsGetMessageAfterWaitingMessages) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  PostMessageA(h, WM_USER, 0, 0);
  PostQuitMessage(3);
  PostMessageA(h, WM_USER + 1, 0, 0);
  MSG m;
  EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER);
  EXPECT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.message, WM_USER + 1);
  // WM_QUIT comes whatever the filter.
  EXPECT_FALSE(GetMessageA(&m, nullptr, WM_USER, WM_USER));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_EQ(m.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));

  PostMessageA(h, WM_USER + 5, 0, 0);
  PostQuitMessage(9);
  g_log.clear();
  EXPECT_EQ(RunMessageLoop(), 9);
  EXPECT_EQ(Dispatched(h), (std::vector<UINT>{WM_USER + 5}));
  EXPECT_EQ(GetMessageA(&m, reinterpret_cast<HWND>(0x99990), 0, 0), -1);
}

TEST_F(TWindowTest, GetMessageWakesForAMessagePostedByAnotherThread) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  std::thread poster([h] { PostMessageA(h, WM_USER + 7, 7, 0); });
  MSG m;
  ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
  poster.join();
  EXPECT_EQ(m.message, WM_USER + 7u);
  EXPECT_EQ(m.hwnd, h);
}

TEST_F(TWindowTest, TimersFireInOrderOfDueTimeWithoutFlooding) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  std::vector<UINT_PTR> fired;
  g_answer = [&](HWND, UINT msg, WPARAM w, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_TIMER) fired.push_back(w);
    return std::nullopt;
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SetTimer(h, 2, 30, nullptr), 2u);
  EXPECT_EQ(SetTimer(h, 1, 10, nullptr), 1u);
  ASSERT_TRUE(RunModalLoop([&] { return std::count(fired.begin(), fired.end(), UINT_PTR{2}) == 2; }));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Timer 1 came first; each firing waited for its period, so the loop slept
  // rather than spun: at most one firing of timer 1 per 10 ms.
  ASSERT_FALSE(fired.empty());
  EXPECT_EQ(fired.front(), 1u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(60));
  const auto ones = std::count(fired.begin(), fired.end(), UINT_PTR{1});
  EXPECT_GE(ones, 2);
  EXPECT_LE(ones, std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 10 + 1);

  // Killing a timer stops it; setting an existing id restarts it.
  EXPECT_TRUE(KillTimer(h, 1));
  EXPECT_FALSE(KillTimer(h, 1));
  fired.clear();
  SetTimer(h, 2, 15, nullptr);
  ASSERT_TRUE(RunModalLoop([&] { return fired.size() == 2; }));
  EXPECT_EQ(fired, (std::vector<UINT_PTR>{2, 2}));

  // Timers of a destroyed window die with it.
  DestroyWindow(h);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_FALSE(KillTimer(h, 2));
}

int g_procFired = 0;
UINT_PTR g_procId = 0;
void CountTimer(HWND hwnd, UINT msg, UINT_PTR id, DWORD) {
  if (!hwnd && msg == WM_TIMER && id == g_procId) ++g_procFired;
}

TEST_F(TWindowTest, WindowlessTimerCallsItsProcedure) {
  g_procFired = 0;
  g_procId = SetTimer(nullptr, 0, 10, &CountTimer);
  ASSERT_NE(g_procId, 0u);
  const UINT_PTR other = SetTimer(nullptr, 0, 10, &CountTimer);
  EXPECT_NE(other, g_procId);
  KillTimer(nullptr, other);
  ASSERT_TRUE(RunModalLoop([] { return g_procFired == 2; }));
  EXPECT_TRUE(KillTimer(nullptr, g_procId));
}

TEST_F(TWindowTest, NestedModalLoopsEndInsideOut) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  std::vector<std::string> trace;
  bool innerDone = false, outerDone = false;
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER + 1) {
      trace.push_back("outer in");
      SetTimer(w, 5, 10, nullptr);
      PostMessageA(w, WM_USER + 2, 0, 0);
      EXPECT_TRUE(RunModalLoop([&] { return outerDone; }));
      trace.push_back("outer out");
    } else if (msg == WM_USER + 2) {
      trace.push_back("inner in");
      EXPECT_TRUE(RunModalLoop([&] { return innerDone; }));
      trace.push_back("inner out");
      outerDone = true;
    } else if (msg == WM_TIMER) {
      trace.push_back("timer");
      KillTimer(w, 5);
      innerDone = true;
    }
    return std::nullopt;
  };
  PostMessageA(h, WM_USER + 1, 0, 0);
  PostMessageA(h, WM_USER + 3, 0, 0);
  ASSERT_TRUE(RunModalLoop([&] { return trace.size() == 5; }));
  EXPECT_EQ(trace, (std::vector<std::string>{"outer in", "inner in", "timer", "inner out", "outer out"}));
  // The message posted behind the first one was dispatched by the nested loops.
  EXPECT_EQ(Dispatched(h), (std::vector<UINT>{WM_USER + 1, WM_USER + 3, WM_USER + 2}));
}

TEST_F(TWindowTest, QuitInsideANestedLoopEndsTheOuterLoopToo) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  bool innerResult = true;
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_USER + 1) {
      PostMessageA(w, WM_USER + 2, 0, 0);
      innerResult = RunModalLoop([] { return false; });
    } else if (msg == WM_USER + 2) {
      PostQuitMessage(4);
    }
    return std::nullopt;
  };
  PostMessageA(h, WM_USER + 1, 0, 0);
  EXPECT_EQ(RunMessageLoop(), 4);
  EXPECT_FALSE(innerResult);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(TWindowTest, BlockingCallsPumpTheQueue) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  ASSERT_TRUE(HasBlockingCallPump());
  PostMessageA(h, WM_USER + 1, 0, 0);
  g_log.clear();
  PumpDuringBlockingCall();
  EXPECT_EQ(Dispatched(h), (std::vector<UINT>{WM_USER + 1}));
  // The pump leaves WM_QUIT for the loop that owns it.
  PostQuitMessage(1);
  PumpDuringBlockingCall();
  MSG m;
  EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
  EXPECT_EQ(m.wParam, 1u);
}

TEST_F(TWindowTest, RegisteredMessagesAreSharedByName) {
  const UINT a = RegisterWindowMessageA("VorraSkinChanged");
  EXPECT_GE(a, 0xC000u);
  EXPECT_EQ(RegisterWindowMessageA("vorraskinchanged"), a);
  EXPECT_NE(RegisterWindowMessageA("VorraOther"), a);
  EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

// ------------------------------------------------------------- input

class TInputTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    win_ = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
    POINT o{0, 0};
    ClientToScreen(win_, &o);
    origin_ = o;
    ProcessPendingMessages();
    g_log.clear();
  }
  // Dispatches what the injection queued and answers the input messages seen.
  std::vector<TLogged> Input() {
    g_log.clear();
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    std::vector<TLogged> out;
    for (const auto& e : g_log)
      if ((e.msg >= WM_MOUSEFIRST && e.msg <= WM_MOUSELAST) || (e.msg >= WM_NCMOUSEMOVE && e.msg <= WM_NCMBUTTONDBLCLK) ||
          (e.msg >= WM_KEYFIRST && e.msg <= WM_KEYLAST) || e.msg == WM_MOUSELEAVE || e.msg == WM_NCMOUSELEAVE)
        out.push_back(e);
    return out;
  }
  HWND win_ = nullptr;
  POINT origin_;
};

TEST_F(TInputTest, MouseGoesToClientOrNonClientByHitTest) {
  ASSERT_TRUE(InjectMouseMove(origin_.x + 5, origin_.y + 7));
  ASSERT_TRUE(InjectMouseMove(250, origin_.y - 5));  // caption
  EXPECT_FALSE(InjectMouseMove(5, 5));                // desktop
  auto in = Input();
  ASSERT_EQ(in.size(), 2u);
  EXPECT_EQ(in[0].msg, WM_MOUSEMOVE);
  EXPECT_EQ(in[0].lParam, MAKELPARAM(5, 7));
  EXPECT_EQ(in[1].msg, WM_NCMOUSEMOVE);
  EXPECT_EQ(in[1].wParam, static_cast<WPARAM>(HTCAPTION));
  POINT pos;
  GetCursorPos(&pos);
  EXPECT_EQ(pos.x, 5);

  // A child under the pointer takes the input, a disabled one leaves it to its parent.
  HWND child = Create(WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, win_);
  InjectMouseMove(origin_.x + 15, origin_.y + 15);
  EnableWindow(child, FALSE);
  InjectMouseMove(origin_.x + 16, origin_.y + 15);
  in = Input();
  ASSERT_EQ(in.size(), 2u);
  EXPECT_EQ(in[0].hwnd, child);
  EXPECT_EQ(in[0].lParam, MAKELPARAM(5, 5));
  EXPECT_EQ(in[1].hwnd, win_);
}

TEST_F(TInputTest, DoubleClicksByTimeDistanceAndClassStyle) {
  const int x = origin_.x + 20, y = origin_.y + 20;
  InjectMouseButton(VK_LBUTTON, true, x, y, 1000);
  InjectMouseButton(VK_LBUTTON, false, x, y, 1010);
  InjectMouseButton(VK_LBUTTON, true, x + 1, y + 1, 1200);  // double click
  InjectMouseButton(VK_LBUTTON, false, x, y, 1210);
  InjectMouseButton(VK_LBUTTON, true, x, y, 1300);  // a third press starts over
  InjectMouseButton(VK_LBUTTON, false, x, y, 1310);
  InjectMouseButton(VK_LBUTTON, true, x, y, 1300 + GetDoubleClickTime() + 1);  // too late
  InjectMouseButton(VK_LBUTTON, false, x, y, 2000);
  InjectMouseButton(VK_LBUTTON, true, x + 10, y, 2001);  // too far
  InjectMouseButton(VK_LBUTTON, false, x + 10, y, 2002);
  InjectMouseButton(VK_RBUTTON, true, x + 10, y, 2003);  // another button
  std::vector<UINT> msgs;
  for (const auto& e : Input()) msgs.push_back(e.msg);
  EXPECT_EQ(msgs, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_LBUTTONDOWN,
                                     WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                     WM_RBUTTONDOWN}));
  InjectMouseButton(VK_RBUTTON, false, x + 10, y, 2004);
  Input();

  // On the caption double clicks come whatever the class; a class without
  // CS_DBLCLKS gets two presses in its client area.
  InjectMouseButton(VK_LBUTTON, true, 250, origin_.y - 5, 3000);
  InjectMouseButton(VK_LBUTTON, false, 250, origin_.y - 5, 3001);
  InjectMouseButton(VK_LBUTTON, true, 250, origin_.y - 5, 3002);
  InjectMouseButton(VK_LBUTTON, false, 250, origin_.y - 5, 3003);
  msgs.clear();
  for (const auto& e : Input()) msgs.push_back(e.msg);
  EXPECT_EQ(msgs, (std::vector<UINT>{WM_NCLBUTTONDOWN, WM_NCLBUTTONUP, WM_NCLBUTTONDBLCLK, WM_NCLBUTTONUP}));
  ReleaseCapture();

  HWND plain = Create(WS_POPUP | WS_VISIBLE, 600, 600, 50, 50, nullptr, 0, kPlainClass);
  InjectMouseButton(VK_LBUTTON, true, 610, 610, 4000);
  InjectMouseButton(VK_LBUTTON, false, 610, 610, 4001);
  InjectMouseButton(VK_LBUTTON, true, 610, 610, 4002);
  msgs.clear();
  for (const auto& e : Input())
    if (e.hwnd == plain) msgs.push_back(e.msg);
  EXPECT_EQ(msgs, (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDOWN}));
}

TEST_F(TInputTest, PressActivatesAndCaptureTakesThePointerEverywhere) {
  HWND other = Create(WS_POPUP | WS_VISIBLE, 600, 600, 50, 50);
  EXPECT_EQ(GetActiveWindow(), other);
  Input();
  InjectMouseButton(VK_LBUTTON, true, origin_.x + 1, origin_.y + 1);
  EXPECT_EQ(GetActiveWindow(), win_);  // activated at the press, before the message is read
  auto in = Input();
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].wParam & MK_LBUTTON, MK_LBUTTON);

  SetCapture(win_);
  InjectMouseMove(610, 610);  // over the other window
  in = Input();
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].hwnd, win_);
  EXPECT_EQ(in[0].msg, WM_MOUSEMOVE);
  EXPECT_EQ(GET_X_LPARAM(in[0].lParam), 610 - origin_.x);
  ReleaseCapture();
  InjectMouseButton(VK_LBUTTON, false, 610, 610);
  in = Input();
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].hwnd, other);
  EXPECT_EQ(in[0].msg, WM_LBUTTONUP);
}

TEST_F(TInputTest, MouseLeaveAfterTrackMouseEvent) {
  InjectMouseMove(origin_.x + 5, origin_.y + 5);
  TRACKMOUSEEVENT tme;
  tme.dwFlags = TME_LEAVE;
  tme.hwndTrack = win_;
  ASSERT_TRUE(TrackMouseEvent(&tme));
  InjectMouseMove(origin_.x + 6, origin_.y + 5);  // still inside: no leave
  InjectMouseMove(250, origin_.y - 5);             // onto the caption: the client is left
  InjectMouseMove(origin_.x + 7, origin_.y + 5);  // tracking ended: no second leave
  std::vector<UINT> msgs;
  for (const auto& e : Input()) msgs.push_back(e.msg);
  // The leave comes as the pointer goes, before the move that took it away.
  EXPECT_EQ(msgs, (std::vector<UINT>{WM_MOUSEMOVE, WM_MOUSEMOVE, WM_MOUSELEAVE, WM_NCMOUSEMOVE, WM_MOUSEMOVE}));

  // Tracking a window the pointer is not over reports the leave at once.
  HWND other = Create(WS_POPUP | WS_VISIBLE, 600, 600, 50, 50);
  tme.hwndTrack = other;
  ASSERT_TRUE(TrackMouseEvent(&tme));
  auto in = Input();
  ASSERT_EQ(in.size(), 1u);
  EXPECT_EQ(in[0].hwnd, other);
  EXPECT_EQ(in[0].msg, WM_MOUSELEAVE);
}

TEST_F(TInputTest, KeysGoToTheFocusAndTranslateToCharacters) {
  HWND child = Create(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, win_);
  SetFocus(child);
  InjectKey('A', true);
  InjectKey('A', true);  // auto-repeat
  InjectKey('A', false);
  InjectKey(VK_SHIFT, true);
  InjectKey('B', true);
  InjectKey(VK_SHIFT, false);
  InjectKey(VK_F1, true);
  InjectKey(VK_MENU, true);
  InjectKey('X', true);
  InjectKey(VK_MENU, false);
  auto in = Input();
  std::vector<std::pair<UINT, WPARAM>> got;
  for (const auto& e : in) {
    EXPECT_EQ(e.hwnd, child);
    got.emplace_back(e.msg, e.wParam);
  }
  EXPECT_EQ(got, (std::vector<std::pair<UINT, WPARAM>>{
                     {WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}, {WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}, {WM_KEYUP, 'A'},
                     {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, 'B'}, {WM_CHAR, 'B'}, {WM_KEYUP, VK_SHIFT},
                     {WM_KEYDOWN, VK_F1}, {WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYDOWN, 'X'}, {WM_SYSCHAR, 'x'},
                     {WM_SYSKEYUP, VK_MENU}}));
  // Previous-state and transition bits of lParam.
  EXPECT_EQ(in[0].lParam & (1 << 30), 0);
  EXPECT_NE(in[2].lParam & (1 << 30), 0);
  EXPECT_NE(static_cast<std::uint32_t>(in[4].lParam) & (1u << 31), 0u);
  EXPECT_NE(in[11].lParam & (1 << 29), 0);  // Alt held
  EXPECT_EQ(GetKeyState(VK_MENU), 0);
  EXPECT_FALSE(InjectKey(0, true));
}

TEST_F(TInputTest, DefaultCaptionDragMovesTheWindowAndCloseBoxCloses) {
  RECT before;
  GetWindowRect(win_, &before);
  const int capY = origin_.y - 5;
  InjectMouseButton(VK_LBUTTON, true, 200, capY);
  Input();
  EXPECT_EQ(GetCapture(), win_);
  InjectMouseMove(230, capY + 40);
  InjectMouseMove(250, capY + 50);
  InjectMouseButton(VK_LBUTTON, false, 250, capY + 50);
  Input();
  EXPECT_EQ(GetCapture(), nullptr);
  RECT after;
  GetWindowRect(win_, &after);
  EXPECT_EQ(after.left, before.left + 50);
  EXPECT_EQ(after.top, before.top + 50);
  EXPECT_EQ(after.right - after.left, before.right - before.left);

  // Pressing the close box and letting go elsewhere does nothing; a full click closes.
  const int b = GetSystemMetrics(SM_CXFRAME);
  const int closeX = after.right - b - 2, closeY = after.top + b + 5;
  InjectMouseButton(VK_LBUTTON, true, closeX, closeY);
  InjectMouseButton(VK_LBUTTON, false, after.left + 60, closeY);
  Input();
  ASSERT_TRUE(IsWindow(win_));
  InjectMouseButton(VK_LBUTTON, true, closeX, closeY, 10000);
  InjectMouseButton(VK_LBUTTON, false, closeX, closeY, 20000);
  Input();
  EXPECT_EQ(Seq({WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY}),
            (std::vector<P>{{win_, WM_SYSCOMMAND}, {win_, WM_CLOSE}, {win_, WM_DESTROY}}));
  EXPECT_FALSE(IsWindow(win_));
}

}  // namespace
}  // namespace win::test
