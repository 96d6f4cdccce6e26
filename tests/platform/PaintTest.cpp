#include "platform/ui/Paint.h"

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/Backend.h"
#include "platform/ui/Png.h"
#include "tests/platform/WindowTestSupport.h"

namespace win::test {
namespace {

constexpr COLORREF kBrushColor = RGB(10, 200, 30);
constexpr COLORREF kRed = RGB(255, 0, 0);

// The window test fixture plus classes with a background brush, and helpers
// that pump messages and read a window's pixels back.
class TPaintTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    brush_ = CreateSolidBrush(kBrushColor);
    WNDCLASSA wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = LogProc;
    wc.hbrBackground = brush_;
    wc.lpszClassName = kBrushClass;
    ASSERT_NE(RegisterClassA(&wc), 0);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kSysColorClass;
    ASSERT_NE(RegisterClassA(&wc), 0);
  }
  void TearDown() override {
    TWindowTest::TearDown();
    EXPECT_TRUE(UnregisterClassA(kBrushClass, nullptr));
    EXPECT_TRUE(UnregisterClassA(kSysColorClass, nullptr));
    DeleteObject(brush_);
  }

  static void Pump() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  }

  // The windows that got WM_PAINT since the log was last cleared, in order.
  static std::vector<HWND> Painted() {
    std::vector<HWND> out;
    for (const auto& e : Of(WM_PAINT)) out.push_back(e.hwnd);
    return out;
  }

  // The window as PrintWindow draws it, frame included; pixel (x, y) in window coordinates.
  struct TShot {
    explicit TShot(HWND hwnd) {
      RECT r;
      GetWindowRect(hwnd, &r);
      W = r.right - r.left;
      H = r.bottom - r.top;
      BITMAPINFO bi{};
      bi.bmiHeader.biWidth = W;
      bi.bmiHeader.biHeight = -H;
      Bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
      Dc = CreateCompatibleDC(nullptr);
      Old = SelectObject(Dc, Bmp);
      Ok = PrintWindow(hwnd, Dc, 0);
    }
    ~TShot() {
      SelectObject(Dc, Old);
      DeleteDC(Dc);
      DeleteObject(Bmp);
    }
    COLORREF At(int x, int y) const { return GetPixel(Dc, x, y); }
    int W = 0, H = 0;
    BOOL Ok = FALSE;
    HBITMAP Bmp;
    HDC Dc;
    HGDIOBJ Old;
  };

  HWND CreateIn(const char* cls, DWORD style, int x, int y, int w, int h, HWND parent = nullptr) {
    return CreateWindowExA(0, cls, "p", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
  }

  static constexpr const char* kBrushClass = "VorraPaintBrush";
  static constexpr const char* kSysColorClass = "VorraPaintSysColor";
  HBRUSH brush_ = nullptr;
};

TEST_F(TPaintTest, PaintComesAfterPostedMessagesOncePerInvalidationAndNotAfterValidation) {
  const HWND h = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 10, 10, 100, 80);
  ASSERT_TRUE(h);
  PostMessageA(h, WM_USER + 1, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(WM_USER + 1, m.message);
  // A filter without WM_PAINT never sees it.
  EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER, WM_USER + 10, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(WM_PAINT, m.message);
  EXPECT_EQ(h, m.hwnd);
  // Still there until someone validates: reading it does not take it away.
  ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(WM_PAINT, m.message);
  g_log.clear();
  DispatchMessageA(&m);
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));

  // Two invalidations before the paint make one WM_PAINT.
  InvalidateRect(h, nullptr, FALSE);
  RECT r{1, 1, 5, 5};
  InvalidateRect(h, &r, TRUE);
  g_log.clear();
  Pump();
  EXPECT_EQ(std::vector<HWND>({h}), Painted());

  InvalidateRect(h, nullptr, TRUE);
  EXPECT_TRUE(GetUpdateRect(h, nullptr, FALSE));
  ValidateRect(h, nullptr);
  EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));
  g_log.clear();
  Pump();
  EXPECT_TRUE(Painted().empty());

  // A hidden window collects nothing.
  ShowWindow(h, SW_HIDE);
  InvalidateRect(h, nullptr, TRUE);
  g_log.clear();
  Pump();
  EXPECT_TRUE(Painted().empty());
}

TEST_F(TPaintTest, ParentsPaintBeforeChildrenAndUpdateWindowPaintsAtOnce) {
  const HWND top = CreateIn(kBrushClass, WS_POPUP, 0, 0, 200, 200);
  const HWND a = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE, 10, 10, 50, 50, top);
  const HWND b = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE, 100, 10, 50, 50, top);
  const HWND a1 = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE, 5, 5, 10, 10, a);
  g_log.clear();
  ShowWindow(top, SW_SHOW);
  Pump();
  EXPECT_EQ(std::vector<HWND>({top, a, a1, b}), Painted());

  // A parent without WS_CLIPCHILDREN draws over its children, so they follow it.
  RECT over{0, 0, 20, 20};
  InvalidateRect(a, &over, TRUE);
  g_log.clear();
  Pump();
  EXPECT_EQ(std::vector<HWND>({a, a1}), Painted());

  SetWindowLongA(a, GWL_STYLE, GetWindowLongA(a, GWL_STYLE) | WS_CLIPCHILDREN);
  InvalidateRect(a, &over, TRUE);
  g_log.clear();
  Pump();
  EXPECT_EQ(std::vector<HWND>({a}), Painted());

  // UpdateWindow sends at once; nothing is left for the queue.
  InvalidateRect(b, nullptr, TRUE);
  RedrawWindow(a, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
  g_log.clear();
  UpdateWindow(top);
  EXPECT_EQ(std::vector<HWND>({a, a1, b}), Painted());
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));

  // An internal paint asks for WM_PAINT with nothing to update, once, even
  // when the handler does not call BeginPaint.
  RedrawWindow(b, nullptr, nullptr, RDW_INTERNALPAINT);
  EXPECT_FALSE(GetUpdateRect(b, nullptr, FALSE));
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (w == b && msg == WM_PAINT) return 0;
    return std::nullopt;
  };
  g_log.clear();
  Pump();
  g_answer = nullptr;
  EXPECT_EQ(std::vector<HWND>({b}), Painted());
}

TEST_F(TPaintTest, BeginPaintReportsTheInvalidAreaAndClipsDrawingToIt) {
  const HWND h = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 60, 40);
  Pump();
  RECT a{10, 10, 20, 15}, b{30, 20, 35, 30};
  InvalidateRect(h, &a, FALSE);
  InvalidateRect(h, &b, FALSE);
  RECT update;
  ASSERT_TRUE(GetUpdateRect(h, &update, FALSE));
  EXPECT_EQ(10, update.left);
  EXPECT_EQ(30, update.bottom);
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(COMPLEXREGION, GetUpdateRgn(h, rgn, FALSE));
  EXPECT_TRUE(PtInRegion(rgn, 12, 12));
  EXPECT_FALSE(PtInRegion(rgn, 25, 12));
  DeleteObject(rgn);

  std::optional<PAINTSTRUCT> seen;
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (w != h || msg != WM_PAINT) return std::nullopt;
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(w, &ps);
    seen = ps;
    EXPECT_EQ(w, WindowFromDC(hdc));
    RECT all{0, 0, 60, 40};
    HBRUSH red = CreateSolidBrush(kRed);
    FillRect(hdc, &all, red);
    DeleteObject(red);
    EndPaint(w, &ps);
    return 0;
  };
  Pump();
  g_answer = nullptr;
  ASSERT_TRUE(seen);
  EXPECT_FALSE(seen->fErase);
  EXPECT_EQ(10, seen->rcPaint.left);
  EXPECT_EQ(10, seen->rcPaint.top);
  EXPECT_EQ(35, seen->rcPaint.right);
  EXPECT_EQ(30, seen->rcPaint.bottom);
  EXPECT_EQ(nullptr, WindowFromDC(seen->hdc));  // released

  TShot shot(h);
  ASSERT_TRUE(shot.Ok);
  EXPECT_EQ(kRed, shot.At(10, 10));
  EXPECT_EQ(kRed, shot.At(19, 14));
  EXPECT_EQ(kRed, shot.At(34, 29));
  EXPECT_EQ(kBrushColor, shot.At(20, 10));  // between the two rectangles
  EXPECT_EQ(kBrushColor, shot.At(25, 25));
  EXPECT_EQ(kBrushColor, shot.At(9, 10));
}

TEST_F(TPaintTest, EraseUsesTheClassBrushOrLeavesItToThePainter) {
  const HWND solid = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 30, 30);
  const HWND sys = CreateIn(kSysColorClass, WS_POPUP | WS_VISIBLE, 40, 0, 30, 30);
  const HWND none = CreateIn(kPlainClass, WS_POPUP | WS_VISIBLE, 80, 0, 30, 30);
  std::map<HWND, BOOL> erase;
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg != WM_PAINT) return std::nullopt;
    PAINTSTRUCT ps;
    BeginPaint(w, &ps);
    erase[w] = ps.fErase;
    EndPaint(w, &ps);
    return 0;
  };
  Pump();
  g_answer = nullptr;
  EXPECT_EQ(3u, Of(WM_ERASEBKGND).size());
  EXPECT_EQ((std::map<HWND, BOOL>{{solid, FALSE}, {sys, FALSE}, {none, TRUE}}), erase);
  EXPECT_EQ(kBrushColor, TShot(solid).At(15, 15));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), TShot(sys).At(29, 29));

  // Without erase, no WM_ERASEBKGND.
  InvalidateRect(solid, nullptr, FALSE);
  g_log.clear();
  Pump();
  EXPECT_TRUE(Of(WM_ERASEBKGND).empty());
  EXPECT_EQ(1u, Of(WM_PAINT).size());
}

TEST_F(TPaintTest, ChildDcsSitAtTheirOffsetsAndClipChildrenAndSiblings) {
  const HWND top = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 50, 50, 100, 100);
  const HWND child = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 20, 40, 40, top);
  const HWND grand = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE, 5, 6, 10, 10, child);
  Pump();
  HBRUSH red = CreateSolidBrush(kRed);
  HDC hdc = GetDC(grand);
  ASSERT_TRUE(hdc);
  EXPECT_EQ(grand, WindowFromDC(hdc));
  RECT dot{0, 0, 1, 1};
  FillRect(hdc, &dot, red);
  // Drawing stops at the grandchild's edge.
  RECT beyond{-5, -5, 30, 30};
  RECT box;
  EXPECT_EQ(SIMPLEREGION, GetClipBox(hdc, &box));
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(10, box.right);
  FillRect(hdc, &beyond, red);
  EXPECT_EQ(1, ReleaseDC(grand, hdc));
  EXPECT_EQ(0, ReleaseDC(grand, hdc));
  {
    TShot shot(top);
    // child client origin: 10+1, 20+1; grandchild at 5,6 inside it.
    EXPECT_EQ(kRed, shot.At(16, 27));
    EXPECT_EQ(kRed, shot.At(25, 36));
    EXPECT_EQ(kBrushColor, shot.At(26, 37));
    EXPECT_EQ(kBrushColor, shot.At(15, 27));
  }

  // Without WS_CLIPCHILDREN the parent's DC covers the child; with it, not.
  RECT all{0, 0, 100, 100};
  hdc = GetDC(top);
  FillRect(hdc, &all, red);
  ReleaseDC(top, hdc);
  EXPECT_EQ(kRed, TShot(top).At(30, 40));
  InvalidateRect(top, nullptr, TRUE);
  Pump();
  EXPECT_EQ(kBrushColor, TShot(top).At(30, 40));
  SetWindowLongA(top, GWL_STYLE, GetWindowLongA(top, GWL_STYLE) | WS_CLIPCHILDREN);
  hdc = GetDC(top);
  FillRect(hdc, &all, red);
  ReleaseDC(top, hdc);
  {
    TShot shot(top);
    EXPECT_EQ(kBrushColor, shot.At(30, 40));
    EXPECT_EQ(kRed, shot.At(9, 40));
  }

  // Siblings: the lower one of two overlapping siblings is cut by the upper
  // one only when it has WS_CLIPSIBLINGS.
  const HWND upper = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE, 60, 60, 30, 30, top);
  const HWND lower = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 50, 50, 30, 30, top);
  SetWindowPos(lower, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SetWindowPos(upper, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  Pump();
  hdc = GetDC(lower);
  FillRect(hdc, &all, red);
  ReleaseDC(lower, hdc);
  {
    TShot shot(top);
    EXPECT_EQ(kRed, shot.At(55, 55));
    EXPECT_EQ(kBrushColor, shot.At(65, 65));
  }
  DeleteObject(red);
}

TEST_F(TPaintTest, WindowRegionsShapeHitTestingAndDrawing) {
  const HWND below = Create(WS_POPUP | WS_VISIBLE, 100, 100, 100, 100);
  const HWND shaped = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 100, 100, 100, 100);
  ASSERT_EQ(shaped, GetTopWindow(nullptr));
  HRGN shape = CreateRectRgn(0, 0, 50, 50);
  ASSERT_TRUE(SetWindowRgn(shaped, shape, TRUE));
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(SIMPLEREGION, GetWindowRgn(shaped, copy));
  RECT box;
  GetRgnBox(copy, &box);
  EXPECT_EQ(50, box.right);
  EXPECT_EQ(ERROR, GetWindowRgn(below, copy));
  DeleteObject(copy);

  EXPECT_EQ(shaped, WindowFromPoint(POINT{120, 120}));
  EXPECT_EQ(below, WindowFromPoint(POINT{170, 170}));
  Pump();
  g_log.clear();
  InjectMouseButton(VK_RBUTTON, true, 110, 110);
  InjectMouseButton(VK_RBUTTON, false, 110, 110);
  InjectMouseButton(VK_LBUTTON, true, 170, 170);
  InjectMouseButton(VK_LBUTTON, false, 170, 170);
  Pump();
  const auto downs = Seq({WM_LBUTTONDOWN, WM_RBUTTONDOWN});
  ASSERT_EQ(2u, downs.size());
  EXPECT_EQ(shaped, downs[0].first);
  EXPECT_EQ(below, downs[1].first);

  // Drawing stays inside the shape; the PNG is transparent outside it.
  HDC hdc = GetWindowDC(shaped);
  RECT all{0, 0, 100, 100};
  HBRUSH red = CreateSolidBrush(kRed);
  FillRect(hdc, &all, red);
  DeleteObject(red);
  ReleaseDC(shaped, hdc);
  vorra::test::TTempDir dir;
  const std::string path = dir / "shaped.png";
  ASSERT_TRUE(RenderWindowToPng(shaped, path));
  HBITMAP png = LoadPng(path);
  ASSERT_TRUE(png);
  EXPECT_EQ(100, png->Width);
  EXPECT_EQ(100, png->Height);
  EXPECT_EQ(0xFFFF0000u, png->Row(10)[10]);
  EXPECT_EQ(0u, png->Row(70)[70] >> 24);
  EXPECT_EQ(0u, png->Row(10)[70] >> 24);
  DeleteObject(png);

  // The window owns its region: a new one frees the old.
  HRGN second = CreateRectRgn(0, 0, 60, 60);
  ASSERT_TRUE(SetWindowRgn(shaped, second, FALSE));
  EXPECT_FALSE(DeleteObject(shape));
  EXPECT_FALSE(SetWindowRgn(shaped, shape, FALSE));  // a dead handle is refused
  // Without the shape the whole rectangle counts again.
  ASSERT_TRUE(SetWindowRgn(shaped, nullptr, TRUE));
  EXPECT_FALSE(DeleteObject(second));
  SetActiveWindow(shaped);
  EXPECT_EQ(shaped, WindowFromPoint(POINT{170, 170}));
}

TEST_F(TPaintTest, FrameInvalidationSendsNcPaint) {
  const HWND h = CreateIn(kBrushClass, WS_OVERLAPPEDWINDOW, 100, 100, 200, 150);
  g_log.clear();
  ShowWindow(h, SW_SHOW);
  Pump();
  EXPECT_EQ(1u, Of(WM_NCPAINT).size());
  // The region handed over covers the frame in screen coordinates.
  const auto nc = Of(WM_NCPAINT);
  ASSERT_FALSE(nc.empty());

  // Client invalidation leaves the frame alone.
  InvalidateRect(h, nullptr, TRUE);
  g_log.clear();
  Pump();
  EXPECT_TRUE(Of(WM_NCPAINT).empty());
  EXPECT_EQ(1u, Of(WM_PAINT).size());

  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
  g_log.clear();
  Pump();
  EXPECT_EQ(1u, Of(WM_NCPAINT).size());

  // A size change repaints the frame; activation changes repaint it at once.
  SetWindowPos(h, nullptr, 0, 0, 220, 160, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  g_log.clear();
  Pump();
  EXPECT_EQ(1u, Of(WM_NCPAINT).size());
  const HWND other = CreateIn(kBrushClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 400, 100, 100, 100);
  Pump();
  g_log.clear();
  SetActiveWindow(h);
  EXPECT_EQ((std::vector<std::pair<HWND, UINT>>{{other, WM_NCACTIVATE}, {other, WM_NCPAINT}, {h, WM_NCACTIVATE},
                                                 {h, WM_NCPAINT}}),
            Seq({WM_NCACTIVATE, WM_NCPAINT}));

  // A caption change redraws the frame.
  g_log.clear();
  SetWindowTextA(h, "new");
  EXPECT_EQ(1u, Of(WM_NCPAINT).size());
}

TEST_F(TPaintTest, DefaultFramePixelsMatchTheDefaultHitTest) {
  const HWND h = CreateIn(kBrushClass, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 200, 150);
  ASSERT_EQ(h, GetActiveWindow());
  vorra::test::TTempDir dir;
  const std::string path = dir / "frame.png";
  ASSERT_TRUE(RenderWindowToPng(h, path));
  HBITMAP png = LoadPng(path);
  ASSERT_TRUE(png);
  ASSERT_EQ(200, png->Width);
  ASSERT_EQ(150, png->Height);
  auto at = [&](int x, int y) {
    const std::uint32_t p = png->Row(y)[x];
    EXPECT_EQ(0xFFu, p >> 24) << x << "," << y;
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  };
  auto hit = [&](int x, int y) { return SendMessageA(h, WM_NCHITTEST, 0, MAKELPARAM(100 + x, 100 + y)); };
  const int b = GetSystemMetrics(SM_CXFRAME);
  // Caption in the active colour where the hit test says caption.
  ASSERT_EQ(HTCAPTION, hit(100, b + 5));
  EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), at(100, b + 5));
  // The border, and the client in the class brush: they differ.
  ASSERT_EQ(HTLEFT, hit(2, 75));
  EXPECT_EQ(GetSysColor(COLOR_ACTIVEBORDER), at(2, 75));
  ASSERT_EQ(HTCLIENT, hit(100, 75));
  EXPECT_EQ(kBrushColor, at(100, 75));
  EXPECT_NE(at(2, 75), at(100, 75));
  EXPECT_NE(at(100, b + 5), at(100, 75));
  // A button face where the hit test finds the close box.
  const int closeFace = 200 - b - GetSystemMetrics(SM_CXSIZE) + 3;
  ASSERT_EQ(HTCLOSE, hit(closeFace, b + 4));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), at(closeFace, b + 4));
  DeleteObject(png);

  // The caption text, left of the buttons, in the caption text colour.
  SetWindowTextA(h, "Vorra");
  {
    TShot shot(h);
    int text = 0;
    for (int y = b; y < b + GetSystemMetrics(SM_CYCAPTION) - 1; ++y)
      for (int x = b; x < 60; ++x) text += shot.At(x, y) == GetSysColor(COLOR_CAPTIONTEXT);
    EXPECT_GT(text, 10);
  }

  // Inactive: the caption takes the inactive colour.
  const HWND other = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 10, 10);
  ASSERT_EQ(other, GetActiveWindow());
  EXPECT_EQ(GetSysColor(COLOR_INACTIVECAPTION), TShot(h).At(100, b + 5));
}

TEST_F(TPaintTest, HidingOrMovingAChildRepaintsWhatItUncovers) {
  const HWND top = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  const HWND child = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, top);
  Pump();
  std::optional<RECT> parentPaint;
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (w != top || msg != WM_PAINT) return std::nullopt;
    PAINTSTRUCT ps;
    BeginPaint(w, &ps);
    parentPaint = ps.rcPaint;
    EndPaint(w, &ps);
    return 0;
  };
  MoveWindow(child, 50, 50, 20, 20, TRUE);
  g_log.clear();
  Pump();
  ASSERT_TRUE(parentPaint);
  EXPECT_EQ(10, parentPaint->left);
  EXPECT_EQ(30, parentPaint->bottom);
  EXPECT_EQ(2u, Of(WM_PAINT).size());  // and the child itself
  parentPaint.reset();
  ShowWindow(child, SW_HIDE);
  Pump();
  ASSERT_TRUE(parentPaint);
  EXPECT_EQ(50, parentPaint->left);
  EXPECT_EQ(70, parentPaint->right);
  g_answer = nullptr;
}

TEST_F(TPaintTest, PngOfAChildIsCutFromItsWindow) {
  const HWND top = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 80, 60);
  const HWND child = CreateIn(kSysColorClass, WS_CHILD | WS_VISIBLE, 10, 10, 30, 20, top);
  vorra::test::TTempDir dir;
  ASSERT_TRUE(RenderWindowToPng(child, dir / "child.png"));
  HBITMAP png = LoadPng(dir / "child.png");
  ASSERT_TRUE(png);
  EXPECT_EQ(30, png->Width);
  EXPECT_EQ(20, png->Height);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(0xFF000000u | (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face), png->Row(5)[5]);
  DeleteObject(png);
  EXPECT_FALSE(RenderWindowToPng(reinterpret_cast<HWND>(0x1234), dir / "none.png"));
  EXPECT_FALSE(RenderWindowToPng(top, dir / "missing-folder/x.png"));
}

TEST_F(TPaintTest, AnIdleLoopWakesOncePerTimerPeriod) {
  const HWND h = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 50, 50);
  Pump();
  ASSERT_TRUE(IsHeadless());
  int ticks = 0;
  ASSERT_TRUE(SetTimer(h, 7, 50, nullptr));
  g_answer = [&](HWND w, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg == WM_TIMER && ++ticks == 4) PostQuitMessage(0);
    if (msg == WM_TIMER) InvalidateRect(w, nullptr, TRUE);  // a repaint per tick costs no extra wake-up
    return std::nullopt;
  };
  g_log.clear();
  const unsigned long long before = Backend().Waits();
  RunMessageLoop();
  const unsigned long long waits = Backend().Waits() - before;
  g_answer = nullptr;
  KillTimer(h, 7);
  EXPECT_EQ(4, ticks);
  EXPECT_GE(waits, 4u);
  EXPECT_LE(waits, 5u);
  // One repaint per tick; the quit posted by the last one comes before its paint.
  EXPECT_EQ(3u, Of(WM_PAINT).size());
}

TEST_F(TPaintTest, WindowDcClipRegionsAreRelativeToTheWindowAndStayInsideIt) {
  const HWND top = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 100, 100);
  const HWND child = CreateIn(kBrushClass, WS_CHILD | WS_VISIBLE, 20, 20, 40, 40, top);
  Pump();
  HBRUSH red = CreateSolidBrush(kRed);
  HDC hdc = GetDC(child);
  // The caller's region is in client coordinates and cannot reach beyond the window.
  HRGN rgn = CreateRectRgn(-10, -10, 10, 10);
  EXPECT_NE(ERROR, SelectClipRgn(hdc, rgn));
  DeleteObject(rgn);
  RECT box;
  GetClipBox(hdc, &box);
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(10, box.right);
  RECT all{-50, -50, 100, 100};
  FillRect(hdc, &all, red);
  {
    TShot shot(top);
    EXPECT_EQ(kRed, shot.At(20, 20));
    EXPECT_EQ(kRed, shot.At(29, 29));
    EXPECT_EQ(kBrushColor, shot.At(30, 30));
    EXPECT_EQ(kBrushColor, shot.At(19, 19));
  }
  // Without a region of its own the DC still draws only on the window, and a
  // viewport origin the caller sets is on top of the window's.
  SelectClipRgn(hdc, nullptr);
  SetViewportOrgEx(hdc, 5, 0, nullptr);
  RECT line{0, 35, 100, 36};
  FillRect(hdc, &line, red);
  ReleaseDC(child, hdc);
  {
    TShot shot(top);
    EXPECT_EQ(kBrushColor, shot.At(24, 55));
    EXPECT_EQ(kRed, shot.At(25, 55));
    EXPECT_EQ(kRed, shot.At(59, 55));
    EXPECT_EQ(kBrushColor, shot.At(60, 55));
  }

  // GetDCEx: a region in screen coordinates intersected or excluded; the
  // parent's clipping with DCX_PARENTCLIP.
  InvalidateRect(top, nullptr, TRUE);
  Pump();
  HRGN screen = CreateRectRgn(25, 25, 35, 35);
  hdc = GetDCEx(child, screen, DCX_INTERSECTRGN);
  FillRect(hdc, &all, red);
  ReleaseDC(child, hdc);
  hdc = GetDCEx(child, screen, DCX_EXCLUDERGN);
  GetClipBox(hdc, &box);
  EXPECT_EQ(40, box.right);
  EXPECT_EQ(COMPLEXREGION, GetClipBox(hdc, &box));
  ReleaseDC(child, hdc);
  DeleteObject(screen);
  {
    TShot shot(top);
    EXPECT_EQ(kRed, shot.At(25, 25));
    EXPECT_EQ(kBrushColor, shot.At(35, 35));
  }
  hdc = GetDCEx(child, nullptr, DCX_PARENTCLIP);
  GetClipBox(hdc, &box);
  EXPECT_EQ(-20, box.left);
  EXPECT_EQ(80, box.right);
  ReleaseDC(child, hdc);
  DeleteObject(red);

  // The desktop's DC is a plain memory DC.
  hdc = GetDC(nullptr);
  ASSERT_TRUE(hdc);
  EXPECT_EQ(nullptr, WindowFromDC(hdc));
  EXPECT_EQ(1, ReleaseDC(nullptr, hdc));
}

TEST_F(TPaintTest, WmPrintDrawsFrameBackgroundAndChildrenIntoAnyDc) {
  const HWND top = CreateIn(kBrushClass, WS_OVERLAPPEDWINDOW, 0, 0, 120, 100);
  const HWND child = CreateIn(kSysColorClass, WS_CHILD | WS_VISIBLE, 10, 10, 20, 20, top);
  RECT r;
  GetWindowRect(top, &r);
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = 120;
  bi.bmiHeader.biHeight = -100;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  SendMessageA(top, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
  POINT c{0, 0};
  ClientToScreen(top, &c);
  const int cx = c.x - r.left, cy = c.y - r.top;
  EXPECT_EQ(GetSysColor(COLOR_INACTIVECAPTION), GetPixel(dc, 60, 8));  // never activated: hidden
  EXPECT_EQ(kBrushColor, GetPixel(dc, cx + 50, cy + 50));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, cx + 15, cy + 15));
  // A hidden window with PRF_CHECKVISIBLE draws nothing.
  SetPixel(dc, 60, 8, kRed);
  SendMessageA(top, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_CHECKVISIBLE | PRF_NONCLIENT);
  EXPECT_EQ(kRed, GetPixel(dc, 60, 8));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bmp);
  (void)child;
}

TEST_F(TPaintTest, SetRedrawFalseHoldsPaintingUntilTurnedBackOn) {
  const HWND h = CreateIn(kBrushClass, WS_POPUP | WS_VISIBLE, 0, 0, 40, 40);
  Pump();
  SendMessageA(h, WM_SETREDRAW, FALSE, 0);
  InvalidateRect(h, nullptr, TRUE);
  g_log.clear();
  Pump();
  EXPECT_TRUE(Painted().empty());
  HDC hdc = GetDC(h);
  RECT box;
  EXPECT_EQ(NULLREGION, GetClipBox(hdc, &box));
  ReleaseDC(h, hdc);
  SendMessageA(h, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(h, nullptr, TRUE);
  Pump();
  EXPECT_EQ(std::vector<HWND>({h}), Painted());
}

TEST(TDisplayTest, HeadlessWhenAskedOrWithoutADisplay) {
  {
    vorra::test::TScopedEnv display("DISPLAY", ":99");
    vorra::test::TScopedEnv headless("VORRA_HEADLESS", "1");
    EXPECT_FALSE(InitDisplay());
    EXPECT_TRUE(IsHeadless());
  }
  vorra::test::TScopedEnv display("DISPLAY", std::nullopt);
  vorra::test::TScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
  vorra::test::TScopedEnv headless("VORRA_HEADLESS", std::nullopt);
  EXPECT_FALSE(InitDisplay());
  EXPECT_TRUE(IsHeadless());
}

}  // namespace
}  // namespace win::test
