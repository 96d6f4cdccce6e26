#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/platform/WindowTestSupport.h"

namespace win::test {
namespace {

using P = std::pair<HWND, UINT>;

TEST_F(TWindowTest, CreationSendsNcCreateCreateSizeMoveWithTheCreateStruct) {
  int param = 7;
  const void* seenParam = nullptr;
  std::string seenName;
  g_answer = [&](HWND, UINT msg, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (msg == WM_CREATE) {
      const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(l);
      seenParam = cs->lpCreateParams;
      seenName = cs->lpszName;
    }
    return std::nullopt;
  };
  HWND h = CreateWindowExA(0, kClass, "Vorra", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr, nullptr, nullptr,
                           &param);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(Seq({WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}),
            (std::vector<P>{{h, WM_NCCREATE}, {h, WM_NCCALCSIZE}, {h, WM_CREATE}, {h, WM_SIZE}, {h, WM_MOVE}}));
  EXPECT_EQ(seenParam, &param);
  EXPECT_EQ(seenName, "Vorra");
  EXPECT_EQ(GetWindowTextString(h), "Vorra");
  EXPECT_FALSE(IsWindowVisible(h));
  // WM_SIZE carries the client size, WM_MOVE the client origin.
  RECT c;
  GetClientRect(h, &c);
  EXPECT_EQ(Of(WM_SIZE)[0].lParam, MAKELPARAM(static_cast<WORD>(c.right), static_cast<WORD>(c.bottom)));
  POINT o{0, 0};
  ClientToScreen(h, &o);
  EXPECT_EQ(Of(WM_MOVE)[0].lParam, MAKELPARAM(static_cast<WORD>(o.x), static_cast<WORD>(o.y)));

  g_log.clear();
  HWND v = Create(WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
  EXPECT_TRUE(IsWindowVisible(v));
  EXPECT_EQ(GetActiveWindow(), v);
  EXPECT_EQ(Of(WM_SHOWWINDOW).size(), 1u);
}

TEST_F(TWindowTest, CreationFailsWhenNcCreateOrCreateRefuses) {
  g_answer = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_NCCREATE) return FALSE;
    return std::nullopt;
  };
  EXPECT_EQ(Create(WS_POPUP, 0, 0, 10, 10), nullptr);
  ASSERT_FALSE(g_log.empty());
  HWND refused = g_log.front().hwnd;
  EXPECT_EQ(Seq({WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}),
            (std::vector<P>{{refused, WM_NCCREATE}, {refused, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(refused));

  g_log.clear();
  g_answer = [](HWND, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_CREATE) return -1;
    return std::nullopt;
  };
  EXPECT_EQ(Create(WS_POPUP, 0, 0, 10, 10), nullptr);
  HWND failed = g_log.front().hwnd;
  EXPECT_EQ(Seq({WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}),
            (std::vector<P>{{failed, WM_NCCREATE}, {failed, WM_CREATE}, {failed, WM_DESTROY}, {failed, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(failed));
  EXPECT_EQ(GetTopWindow(nullptr), nullptr);

  // A child needs a parent; an unknown class makes no window.
  EXPECT_EQ(Create(WS_CHILD, 0, 0, 10, 10), nullptr);
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(TWindowTest, DestructionReachesParentFirstAndFreesChildrenBeforeItsNcDestroy) {
  HWND p = Create(WS_OVERLAPPEDWINDOW, 0, 0, 200, 200);
  HWND c1 = Create(WS_CHILD, 0, 0, 50, 50, p);
  HWND g = Create(WS_CHILD, 0, 0, 10, 10, c1);
  HWND c2 = Create(WS_CHILD, 60, 0, 50, 50, p);
  HWND owned = Create(WS_POPUP, 0, 0, 20, 20, c1);  // owned by p, the root of c1
  EXPECT_EQ(GetWindow(owned, GW_OWNER), p);
  EXPECT_EQ(GetParent(owned), p);
  int destroysOfP = 0;
  g_answer = [&](HWND h, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_DESTROY && h == p) {
      ++destroysOfP;
      EXPECT_TRUE(IsWindow(c1));           // children still exist
      EXPECT_TRUE(DestroyWindow(p));       // a second call from inside changes nothing
    }
    return std::nullopt;
  };
  g_log.clear();
  ASSERT_TRUE(DestroyWindow(p));
  EXPECT_EQ(destroysOfP, 1);
  EXPECT_EQ(Seq({WM_DESTROY, WM_NCDESTROY}),
            (std::vector<P>{{owned, WM_DESTROY}, {owned, WM_NCDESTROY},
                            {p, WM_DESTROY},
                            {c1, WM_DESTROY}, {g, WM_DESTROY}, {g, WM_NCDESTROY}, {c1, WM_NCDESTROY},
                            {c2, WM_DESTROY}, {c2, WM_NCDESTROY},
                            {p, WM_NCDESTROY}}));
  for (HWND h : {p, c1, g, c2, owned}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(p));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_EQ(SendMessageA(p, WM_USER, 0, 0), 0);
}

// Two components subclass one window, as message hooks do: each keeps the
// procedure it replaced in a property.
LRESULT HookProc(const char* name, bool swallowAll, HWND h, UINT msg, WPARAM w, LPARAM l) {
  g_log.push_back({h, msg, static_cast<WPARAM>(name[0]), 0});
  auto prev = reinterpret_cast<WNDPROC>(GetPropA(h, name));
  const bool handled = swallowAll || msg == WM_USER + 1;
  // WM_DESTROY always reaches the window's own procedure.
  if (handled && msg != WM_DESTROY) return 42;
  return CallWindowProcA(prev, h, msg, w, l);
}
LRESULT FirstHook(HWND h, UINT msg, WPARAM w, LPARAM l) { return HookProc("first", false, h, msg, w, l); }
LRESULT SecondHook(HWND h, UINT msg, WPARAM w, LPARAM l) { return HookProc("second", true, h, msg, w, l); }

TEST_F(TWindowTest, SubclassingChainRunsTheLaterHookFirstAndItCanSwallowMessages) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  ASSERT_TRUE(SetPropA(h, "first", reinterpret_cast<HANDLE>(SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FirstHook)))));
  g_log.clear();
  // First hook alone: WM_USER passes through, WM_USER + 1 is swallowed.
  EXPECT_EQ(SendMessageA(h, WM_USER, 0, 0), 0);
  EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 42);
  ASSERT_EQ(g_log.size(), 3u);
  EXPECT_EQ(g_log[0].wParam, static_cast<WPARAM>('f'));
  EXPECT_EQ(g_log[1].wParam, 0u);  // the window's own procedure
  EXPECT_EQ(g_log[2].wParam, static_cast<WPARAM>('f'));

  ASSERT_TRUE(SetPropA(h, "second", reinterpret_cast<HANDLE>(SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SecondHook)))));
  EXPECT_EQ(GetWindowLongPtrA(h, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SecondHook));
  g_log.clear();
  // The later hook handles everything: the earlier one and the window never see it.
  EXPECT_EQ(SendMessageA(h, WM_USER, 0, 0), 42);
  ASSERT_EQ(g_log.size(), 1u);
  EXPECT_EQ(g_log[0].wParam, static_cast<WPARAM>('s'));

  g_log.clear();
  DestroyWindow(h);
  // WM_DESTROY went through both hooks down to the window's procedure.
  std::vector<WPARAM> destroyPath;
  for (const auto& e : g_log)
    if (e.msg == WM_DESTROY) destroyPath.push_back(e.wParam);
  EXPECT_EQ(destroyPath, (std::vector<WPARAM>{'s', 'f', 0}));
}

TEST_F(TWindowTest, DefaultFrameDecidesTheClientArea) {
  const int b = GetSystemMetrics(SM_CXFRAME), cap = GetSystemMetrics(SM_CYCAPTION);
  HWND h = Create(WS_OVERLAPPEDWINDOW, 100, 50, 300, 200);
  RECT r, c;
  GetWindowRect(h, &r);
  GetClientRect(h, &c);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.bottom, 250);
  EXPECT_EQ(c.right, 300 - 2 * b);
  EXPECT_EQ(c.bottom, 200 - 2 * b - cap);
  POINT o{0, 0};
  ClientToScreen(h, &o);
  EXPECT_EQ(o.x, 100 + b);
  EXPECT_EQ(o.y, 50 + b + cap);

  HWND popup = Create(WS_POPUP, 0, 0, 80, 60);
  GetClientRect(popup, &c);
  EXPECT_EQ(c.right, 80);
  EXPECT_EQ(c.bottom, 60);
  HWND bordered = Create(WS_POPUP | WS_BORDER, 0, 0, 80, 60);
  GetClientRect(bordered, &c);
  EXPECT_EQ(c.right, 78);

  // Children sit in their parent's client coordinates.
  HWND child = Create(WS_CHILD | WS_BORDER, 10, 20, 40, 30, h);
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, 100 + b + 10);
  EXPECT_EQ(r.top, 50 + b + cap + 20);
  POINT p{r.left + 5, r.top + 5};
  ScreenToClient(child, &p);
  EXPECT_EQ(p.x, 4);
  EXPECT_EQ(p.y, 4);

  // A procedure that answers WM_NCCALCSIZE itself takes the whole window as client.
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (w == h && msg == WM_NCCALCSIZE) return 0;
    return std::nullopt;
  };
  SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  GetClientRect(h, &c);
  EXPECT_EQ(c.right, 300);
  EXPECT_EQ(c.bottom, 200);
}

TEST_F(TWindowTest, DefaultHitTestFindsFrameCaptionAndButtons) {
  HWND h = Create(WS_OVERLAPPEDWINDOW, 100, 100, 300, 200);
  const int b = GetSystemMetrics(SM_CXFRAME), cap = GetSystemMetrics(SM_CYCAPTION);
  const int btn = GetSystemMetrics(SM_CXSIZE);
  auto hit = [&](HWND w, int x, int y) { return SendMessageA(w, WM_NCHITTEST, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y))); };
  const int capY = 100 + b + cap / 2;
  EXPECT_EQ(hit(h, 250, 200), HTCLIENT);
  EXPECT_EQ(hit(h, 250, capY), HTCAPTION);
  EXPECT_EQ(hit(h, 400 - b - 1, capY), HTCLOSE);
  EXPECT_EQ(hit(h, 400 - b - btn - 1, capY), HTMAXBUTTON);
  EXPECT_EQ(hit(h, 400 - b - 2 * btn - 1, capY), HTMINBUTTON);
  EXPECT_EQ(hit(h, 100 + b + 1, capY), HTSYSMENU);
  EXPECT_EQ(hit(h, 100, 200), HTLEFT);
  EXPECT_EQ(hit(h, 399, 200), HTRIGHT);
  EXPECT_EQ(hit(h, 250, 100), HTTOP);
  EXPECT_EQ(hit(h, 250, 299), HTBOTTOM);
  EXPECT_EQ(hit(h, 399, 299), HTBOTTOMRIGHT);
  EXPECT_EQ(hit(h, 100, 100), HTTOPLEFT);
  EXPECT_EQ(hit(h, 400, 200), HTNOWHERE);
  EXPECT_EQ(hit(h, 99, 200), HTNOWHERE);

  // Without a sizing frame the edge is a plain border; without a system menu no buttons.
  HWND dlg = Create(WS_CAPTION, 0, 0, 100, 100);
  EXPECT_EQ(hit(dlg, 0, 50), HTBORDER);
  EXPECT_EQ(hit(dlg, 95, 10), HTCAPTION);
  HWND popup = Create(WS_POPUP, 500, 500, 10, 10);
  EXPECT_EQ(hit(popup, 500, 500), HTCLIENT);
}

TEST_F(TWindowTest, SetWindowPosSendsChangingChangedMoveAndSize) {
  HWND h = Create(WS_POPUP | WS_BORDER, 0, 0, 100, 100);
  g_log.clear();
  ASSERT_TRUE(SetWindowPos(h, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(Seq({WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
            (std::vector<P>{{h, WM_WINDOWPOSCHANGING}, {h, WM_WINDOWPOSCHANGED}, {h, WM_MOVE}}));
  EXPECT_EQ(Of(WM_MOVE)[0].lParam, MAKELPARAM(31, 41));

  // WM_WINDOWPOSCHANGING may change the new size.
  g_answer = [](HWND, UINT msg, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (msg == WM_WINDOWPOSCHANGING) {
      auto* wp = reinterpret_cast<WINDOWPOS*>(l);
      if (!(wp->flags & SWP_NOSIZE) && wp->cx > 150) wp->cx = 150;
    }
    return std::nullopt;
  };
  g_log.clear();
  ASSERT_TRUE(MoveWindow(h, 30, 40, 400, 60, TRUE));
  EXPECT_EQ(Seq({WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
            (std::vector<P>{{h, WM_WINDOWPOSCHANGING}, {h, WM_NCCALCSIZE}, {h, WM_WINDOWPOSCHANGED}, {h, WM_SIZE}}));
  EXPECT_EQ(Of(WM_SIZE)[0].lParam, MAKELPARAM(148, 58));
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.right - r.left, 150);
  EXPECT_EQ(r.bottom - r.top, 60);
}

TEST_F(TWindowTest, ZOrderParentsAndSiblings) {
  HWND a = Create(WS_POPUP, 0, 0, 10, 10);
  HWND b = Create(WS_POPUP, 0, 0, 10, 10);
  HWND c = Create(WS_POPUP, 0, 0, 10, 10);
  EXPECT_EQ(GetTopWindow(nullptr), c);
  EXPECT_EQ(GetWindow(c, GW_HWNDNEXT), b);
  SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetTopWindow(nullptr), b);
  EXPECT_EQ(GetWindow(b, GW_HWNDLAST), c);
  EXPECT_EQ(GetWindow(c, GW_HWNDPREV), a);
  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetTopWindow(nullptr), a);
  SetWindowPos(c, a, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  EXPECT_EQ(GetWindow(a, GW_HWNDNEXT), c);

  // Children keep creation order.
  HWND k1 = Create(WS_CHILD, 0, 0, 5, 5, a);
  HWND k2 = Create(WS_CHILD, 0, 0, 5, 5, a);
  EXPECT_EQ(GetTopWindow(a), k1);
  EXPECT_EQ(GetWindow(k1, GW_HWNDNEXT), k2);
  EXPECT_EQ(GetParent(k2), a);
  EXPECT_TRUE(IsChild(a, k2));
  EXPECT_EQ(GetAncestor(k2, GA_ROOT), a);

  EXPECT_EQ(SetParent(k2, b), a);
  EXPECT_EQ(GetParent(k2), b);
  EXPECT_EQ(GetTopWindow(a), k1);
  EXPECT_EQ(GetWindow(k1, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetTopWindow(b), k2);
  // A window cannot become its own descendant's child.
  EXPECT_EQ(SetParent(b, k2), nullptr);
  EXPECT_EQ(GetParent(k2), b);
}

TEST_F(TWindowTest, ShowHideAndVisibilityOfChildren) {
  HWND p = Create(WS_POPUP, 0, 0, 100, 100);
  HWND k = Create(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, p);
  EXPECT_FALSE(IsWindowVisible(k));  // the parent is hidden
  g_log.clear();
  EXPECT_FALSE(ShowWindow(p, SW_SHOW));
  EXPECT_TRUE(ShowWindow(p, SW_SHOW));  // already visible: no second WM_SHOWWINDOW
  EXPECT_EQ(Seq({WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}),
            (std::vector<P>{{p, WM_SHOWWINDOW}, {p, WM_WINDOWPOSCHANGING}, {p, WM_WINDOWPOSCHANGED}}));
  EXPECT_EQ(Of(WM_SHOWWINDOW)[0].wParam, static_cast<WPARAM>(TRUE));
  EXPECT_TRUE(IsWindowVisible(k));
  EXPECT_EQ(GetActiveWindow(), p);

  HWND q = Create(WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
  EXPECT_EQ(GetActiveWindow(), q);
  // Hiding the active window hands activation to the next visible one.
  EXPECT_TRUE(ShowWindow(q, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(q));
  EXPECT_EQ(GetActiveWindow(), p);
}

TEST_F(TWindowTest, FocusAndActivationMessagesInOrder) {
  HWND a = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100, 100);
  HWND k1 = Create(WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, a);
  HWND k2 = Create(WS_CHILD | WS_VISIBLE, 20, 0, 10, 10, a);
  EXPECT_EQ(GetFocus(), a);  // the default WM_ACTIVATE focuses the window
  g_log.clear();
  EXPECT_EQ(SetFocus(k1), a);
  EXPECT_EQ(SetFocus(k2), k1);
  EXPECT_EQ(Seq({WM_KILLFOCUS, WM_SETFOCUS}),
            (std::vector<P>{{a, WM_KILLFOCUS}, {k1, WM_SETFOCUS}, {k1, WM_KILLFOCUS}, {k2, WM_SETFOCUS}}));
  EXPECT_EQ(Of(WM_KILLFOCUS)[1].wParam, reinterpret_cast<WPARAM>(k2));
  EXPECT_EQ(Of(WM_SETFOCUS)[1].wParam, reinterpret_cast<WPARAM>(k1));

  // Another top-level window takes activation; focusing a child of the first
  // one activates it again first.
  HWND b = Create(WS_OVERLAPPEDWINDOW, 200, 0, 100, 100);
  g_log.clear();
  EXPECT_EQ(SetActiveWindow(b), a);
  EXPECT_EQ(Seq({WM_NCACTIVATE, WM_ACTIVATE, WM_KILLFOCUS, WM_SETFOCUS}),
            (std::vector<P>{{a, WM_NCACTIVATE}, {a, WM_ACTIVATE}, {b, WM_NCACTIVATE}, {b, WM_ACTIVATE},
                            {k2, WM_KILLFOCUS}, {b, WM_SETFOCUS}}));
  EXPECT_EQ(Of(WM_ACTIVATE)[0].wParam, static_cast<WPARAM>(WA_INACTIVE));
  EXPECT_EQ(Of(WM_ACTIVATE)[0].lParam, reinterpret_cast<LPARAM>(b));
  EXPECT_EQ(Of(WM_NCACTIVATE)[1].wParam, static_cast<WPARAM>(TRUE));
  EXPECT_EQ(GetTopWindow(nullptr), b);
  SetFocus(k1);
  EXPECT_EQ(GetActiveWindow(), a);
  EXPECT_EQ(GetFocus(), k1);

  // Disabling the focused window drops the focus.
  g_log.clear();
  EXPECT_FALSE(EnableWindow(k1, FALSE));
  EXPECT_TRUE(EnableWindow(k1, FALSE));
  EXPECT_FALSE(IsWindowEnabled(k1));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(Seq({WM_KILLFOCUS, WM_ENABLE}), (std::vector<P>{{k1, WM_KILLFOCUS}, {k1, WM_ENABLE}}));
  EXPECT_TRUE(EnableWindow(k1, TRUE));
  EXPECT_TRUE(IsWindowEnabled(k1));

  // Destroying the focused window leaves no focus behind.
  SetFocus(k2);
  DestroyWindow(k2);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(TWindowTest, CaptureChangesAreAnnounced) {
  HWND a = Create(WS_POPUP, 0, 0, 10, 10);
  HWND b = Create(WS_POPUP, 0, 0, 10, 10);
  g_log.clear();
  EXPECT_EQ(SetCapture(a), nullptr);
  EXPECT_EQ(SetCapture(b), a);
  EXPECT_EQ(GetCapture(), b);
  EXPECT_TRUE(ReleaseCapture());
  EXPECT_EQ(GetCapture(), nullptr);
  auto changes = Of(WM_CAPTURECHANGED);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].hwnd, a);
  EXPECT_EQ(changes[0].lParam, reinterpret_cast<LPARAM>(b));
  EXPECT_EQ(changes[1].hwnd, b);
  EXPECT_EQ(changes[1].lParam, 0);
  SetCapture(a);
  DestroyWindow(a);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(TWindowTest, TextLongsAndProperties) {
  HWND h = Create(WS_POPUP, 0, 0, 10, 10);
  ASSERT_TRUE(SetWindowTextA(h, "Flash movies"));
  EXPECT_EQ(GetWindowTextLengthA(h), 12);
  char small[6];
  EXPECT_EQ(GetWindowTextA(h, small, sizeof small), 5);
  EXPECT_STREQ(small, "Flash");
  EXPECT_EQ(GetWindowTextString(h), "Flash movies");
  // A procedure that answers WM_GETTEXT itself decides the text.
  g_answer = [](HWND, UINT msg, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
    if (msg == WM_GETTEXT && w >= 3) {
      std::memcpy(reinterpret_cast<char*>(l), "ab", 3);
      return 2;
    }
    return std::nullopt;
  };
  char buf[16];
  EXPECT_EQ(GetWindowTextA(h, buf, sizeof buf), 2);
  EXPECT_STREQ(buf, "ab");
  g_answer = nullptr;

  EXPECT_EQ(SetWindowLongPtrA(h, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(GetWindowLongPtrA(h, GWLP_USERDATA), 1234);
  SetWindowLongPtrA(h, sizeof(LONG_PTR), -5);
  EXPECT_EQ(GetWindowLongPtrA(h, sizeof(LONG_PTR)), -5);
  EXPECT_EQ(GetWindowLongPtrA(h, 0), 0);
  EXPECT_EQ(GetWindowLongPtrA(h, 2 * sizeof(LONG_PTR)), 0);  // past the extra bytes
  EXPECT_EQ(GetLastError(), 1413u);

  g_log.clear();
  g_answer = [](HWND, UINT msg, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (msg == WM_STYLECHANGING) reinterpret_cast<STYLESTRUCT*>(l)->styleNew &= ~WS_CAPTION;
    return std::nullopt;
  };
  EXPECT_EQ(static_cast<DWORD>(SetWindowLongPtrA(h, GWL_STYLE, WS_POPUP | WS_CAPTION | WS_SYSMENU)), WS_POPUP);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrA(h, GWL_STYLE)), WS_POPUP | WS_SYSMENU);
  EXPECT_EQ(Seq({WM_STYLECHANGING, WM_STYLECHANGED}), (std::vector<P>{{h, WM_STYLECHANGING}, {h, WM_STYLECHANGED}}));

  HWND k = CreateWindowExA(0, kClass, "", WS_CHILD, 0, 0, 1, 1, h, reinterpret_cast<HMENU>(77), nullptr, nullptr);
  EXPECT_EQ(GetWindowLongPtrA(k, GWLP_ID), 77);

  int a = 0, b = 0;
  EXPECT_TRUE(SetPropA(h, "Hook", &a));
  EXPECT_TRUE(SetPropA(h, "Other", &b));
  EXPECT_EQ(GetPropA(h, "HOOK"), &a);  // property names ignore case, as atoms do
  EXPECT_TRUE(SetPropA(h, "hook", &b));
  EXPECT_EQ(GetPropA(h, "Hook"), &b);
  EXPECT_EQ(RemovePropA(h, "Hook"), &b);
  EXPECT_EQ(GetPropA(h, "Hook"), nullptr);
  EXPECT_EQ(RemovePropA(h, "Hook"), nullptr);
  EXPECT_EQ(GetPropA(h, "Other"), &b);
}

TEST_F(TWindowTest, ClassesRegisterOnceAndStayWhileTheyHaveWindows) {
  WNDCLASSA wc;
  wc.lpfnWndProc = LogProc;
  wc.lpszClassName = "vorratestwindow";
  EXPECT_EQ(RegisterClassA(&wc), 0);
  EXPECT_EQ(GetLastError(), ERROR_CLASS_ALREADY_EXISTS);

  wc.lpszClassName = "VorraSecond";
  const ATOM atom = RegisterClassA(&wc);
  ASSERT_NE(atom, 0);
  HWND h = CreateWindowExA(0, MAKEINTATOM(atom), "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  char name[32];
  EXPECT_EQ(GetClassNameA(h, name, sizeof name), 11);
  EXPECT_STREQ(name, "VorraSecond");
  EXPECT_FALSE(UnregisterClassA("VorraSecond", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_HAS_WINDOWS);
  DestroyWindow(h);
  EXPECT_TRUE(UnregisterClassA("VORRASECOND", nullptr));
  EXPECT_FALSE(UnregisterClassA("VorraSecond", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_CLASS_DOES_NOT_EXIST);
}

TEST_F(TWindowTest, HeadlessDesktop) {
  RECT work;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_EQ(work.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_GT(work.bottom, 0);
  EXPECT_LE(work.bottom, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_NE(GetSysColor(COLOR_BTNFACE), GetSysColor(COLOR_WINDOW));
  EXPECT_GT(GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CYFRAME));
}

}  // namespace
}  // namespace win::test

namespace win::test {
namespace {

TEST_F(TWindowTest, ObjectBoundProceduresCallTheirOwnCallback) {
  struct THook {
    std::vector<UINT> seen;
    WNDPROC previous = nullptr;
  } one, two;
  WNDPROC p1 = MakeProcInstance([&](HWND h, UINT msg, WPARAM w, LPARAM l) {
    one.seen.push_back(msg);
    return CallWindowProcA(one.previous, h, msg, w, l);
  });
  WNDPROC p2 = MakeProcInstance([&](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    two.seen.push_back(msg);
    if (msg == WM_USER + 1) return 5;
    return CallWindowProcA(two.previous, h, msg, w, l);
  });
  ASSERT_NE(p1, nullptr);
  ASSERT_NE(p2, nullptr);
  ASSERT_NE(p1, p2);
  HWND a = Create(WS_POPUP, 0, 0, 10, 10);
  HWND b = Create(WS_POPUP, 0, 0, 10, 10);
  one.previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(a, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(p1)));
  two.previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(p2)));
  EXPECT_EQ(SendMessageA(a, WM_USER + 1, 0, 0), 0);
  EXPECT_EQ(SendMessageA(b, WM_USER + 1, 0, 0), 5);
  EXPECT_EQ(one.seen, (std::vector<UINT>{WM_USER + 1}));
  EXPECT_EQ(two.seen, (std::vector<UINT>{WM_USER + 1}));

  // A freed slot is handed out again.
  SetWindowLongPtrA(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(two.previous));
  FreeProcInstance(p2);
  std::vector<WNDPROC> taken;
  for (int i = 0; i < kMaxProcInstances; ++i) {
    WNDPROC p = MakeProcInstance([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    if (!p) break;
    taken.push_back(p);
  }
  EXPECT_EQ(taken.size(), static_cast<std::size_t>(kMaxProcInstances - 1));  // p1 still holds one
  EXPECT_NE(std::find(taken.begin(), taken.end(), p2), taken.end());
  for (WNDPROC p : taken) FreeProcInstance(p);
  SetWindowLongPtrA(a, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(one.previous));
  FreeProcInstance(p1);
}

}  // namespace
}  // namespace win::test

namespace win::test {
namespace {

TEST_F(TWindowTest, AThrowingDestroyHandlerStillFreesTheWindowAndItsChildren) {
  HWND p = Create(WS_POPUP, 0, 0, 10, 10);
  HWND c = Create(WS_CHILD, 0, 0, 5, 5, p);
  g_answer = [&](HWND h, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_DESTROY && h == p) throw std::runtime_error("handler failed");
    return std::nullopt;
  };
  g_log.clear();
  EXPECT_THROW(DestroyWindow(p), std::runtime_error);
  EXPECT_FALSE(IsWindow(p));
  EXPECT_FALSE(IsWindow(c));
  EXPECT_EQ(Seq({WM_NCDESTROY}), (std::vector<P>{{c, WM_NCDESTROY}, {p, WM_NCDESTROY}}));
  EXPECT_EQ(GetTopWindow(nullptr), nullptr);
}

}  // namespace
}  // namespace win::test

namespace win::test {
namespace {

TEST_F(TWindowTest, MaximizeMinimizeAndRestore) {
  HWND h = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200);
  HWND other = Create(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 100, 100, 100);
  SetActiveWindow(h);
  RECT normal, work, r;
  GetWindowRect(h, &normal);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  g_log.clear();
  ShowWindow(h, SW_MAXIMIZE);
  EXPECT_TRUE(IsZoomed(h));
  // The frame lies outside the work area: the client spans its width.
  GetClientRect(h, &r);
  EXPECT_EQ(r.right, work.right - work.left);
  POINT o{0, 0};
  ClientToScreen(h, &o);
  EXPECT_EQ(o.x, work.left);
  auto sizes = Of(WM_SIZE);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].wParam, SIZE_MAXIMIZED);

  // Minimizing from maximized, then restoring, comes back to the normal place.
  g_log.clear();
  ShowWindow(h, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(h));
  EXPECT_FALSE(IsZoomed(h));
  EXPECT_EQ(GetActiveWindow(), other);
  sizes = Of(WM_SIZE);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].wParam, SIZE_MINIMIZED);
  ShowWindow(h, SW_RESTORE);
  EXPECT_FALSE(IsIconic(h));
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, normal.left);
  EXPECT_EQ(r.right, normal.right);
  EXPECT_EQ(r.bottom, normal.bottom);
  EXPECT_EQ(Of(WM_SIZE).back().wParam, SIZE_RESTORED);
  EXPECT_EQ(GetActiveWindow(), h);

  // The caption's maximize box and a double click on the caption toggle it.
  const int b = GetSystemMetrics(SM_CXFRAME), btn = GetSystemMetrics(SM_CXSIZE);
  const int y = normal.top + b + 5, maxX = normal.right - b - btn - 2;
  InjectMouseButton(VK_LBUTTON, true, maxX, y, 100);
  InjectMouseButton(VK_LBUTTON, false, maxX, y, 101);
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  EXPECT_TRUE(IsZoomed(h));
  SendMessageA(h, WM_NCLBUTTONDBLCLK, static_cast<WPARAM>(HTCAPTION), 0);
  EXPECT_FALSE(IsZoomed(h));
}

}  // namespace
}  // namespace win::test
