#include "platform/ui/WindowState.h"

#include <cstring>
#include <utility>

#include "platform/ui/WindowInternal.h"

namespace win {

using namespace wnd;

namespace {

void ApplyFrame(TWnd* w, RECT* r) {
  const TFrame f = DefaultFrame(w->style, w->exStyle);
  r->left += f.border + f.edge;
  r->right -= f.border + f.edge;
  r->top += f.border + f.caption + f.edge;
  r->bottom -= f.border + f.edge;
  if (r->right < r->left) r->right = r->left;
  if (r->bottom < r->top) r->bottom = r->top;
}

LRESULT DefaultHitTest(TWnd* w, POINT screen) {
  const RECT wr = ScreenRect(w);
  if (!Contains(wr, screen)) return HTNOWHERE;
  const POINT co = ClientOrigin(w);
  const RECT cr{co.x, co.y, co.x + (w->client.right - w->client.left), co.y + (w->client.bottom - w->client.top)};
  if (Contains(cr, screen)) return HTCLIENT;
  const int x = screen.x - wr.left;
  const int y = screen.y - wr.top;
  const int width = wr.right - wr.left;
  const int height = wr.bottom - wr.top;
  const TFrame f = DefaultFrame(w->style, w->exStyle);
  const bool left = x < f.border, right = x >= width - f.border;
  const bool top = y < f.border, bottom = y >= height - f.border;
  if (left || right || top || bottom) {
    if (!(w->style & WS_THICKFRAME)) return HTBORDER;
    const int corner = GetSystemMetrics(SM_CYCAPTION);
    if (top) return x < corner ? HTTOPLEFT : x >= width - corner ? HTTOPRIGHT : HTTOP;
    if (bottom) return x < corner ? HTBOTTOMLEFT : x >= width - corner ? HTBOTTOMRIGHT : HTBOTTOM;
    if (left) return y < corner ? HTTOPLEFT : y >= height - corner ? HTBOTTOMLEFT : HTLEFT;
    return y < corner ? HTTOPRIGHT : y >= height - corner ? HTBOTTOMRIGHT : HTRIGHT;
  }
  if (f.caption && y < f.border + f.caption) {
    const int button = GetSystemMetrics((w->exStyle & WS_EX_TOOLWINDOW) ? SM_CXSMSIZE : SM_CXSIZE);
    int edge = width - f.border;
    if (w->style & WS_SYSMENU) {
      if (x >= edge - button) return HTCLOSE;
      edge -= button;
      if (w->style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) {
        if (x >= edge - button) return HTMAXBUTTON;
        if (x >= edge - 2 * button) return HTMINBUTTON;
      }
      if (!(w->exStyle & WS_EX_TOOLWINDOW) && x < f.border + button) return HTSYSMENU;
    }
    return HTCAPTION;
  }
  return HTBORDER;
}

}  // namespace

namespace wnd {

TFrame DefaultFrame(DWORD style, DWORD exStyle) {
  TFrame f;
  if (style & WS_THICKFRAME) {
    f.border = GetSystemMetrics(SM_CXFRAME);
  } else if ((style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
    f.border = GetSystemMetrics(SM_CXDLGFRAME);
  } else if (style & WS_BORDER) {
    f.border = GetSystemMetrics(SM_CXBORDER);
  }
  if ((style & WS_CAPTION) == WS_CAPTION)
    f.caption = GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
  if (exStyle & WS_EX_CLIENTEDGE) f.edge = GetSystemMetrics(SM_CXEDGE);
  return f;
}

TFrameMetrics FrameOf(HWND hwnd) {
  TWnd* w = Find(hwnd);
  if (!w) return {};
  const TFrame f = DefaultFrame(w->style, w->exStyle);
  return TFrameMetrics{f.border, f.caption, f.edge};
}

}  // namespace wnd

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWnd* w = Find(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_NCCREATE: {
      const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      if (cs && cs->lpszName && !IsAtom(cs->lpszName)) w->text = cs->lpszName;
      return TRUE;
    }
    case WM_NCCALCSIZE: {
      if (!lParam) return 0;
      RECT* r = wParam ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0] : reinterpret_cast<RECT*>(lParam);
      ApplyFrame(w, r);
      return 0;
    }
    case WM_NCHITTEST: return DefaultHitTest(w, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_NCACTIVATE: return paint::DefNcActivate(hwnd, static_cast<BOOL>(wParam));
    case WM_PAINT: return paint::DefPaint(hwnd);
    case WM_ERASEBKGND: return paint::DefEraseBackground(hwnd, reinterpret_cast<HDC>(wParam));
    case WM_NCPAINT: return paint::DefNcPaint(hwnd, reinterpret_cast<HRGN>(wParam));
    case WM_PRINT: return paint::DefPrint(hwnd, reinterpret_cast<HDC>(wParam), lParam, false);
    case WM_SETREDRAW: return paint::DefSetRedraw(hwnd, static_cast<BOOL>(wParam));
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hwnd);
      return 0;
    case WM_MOUSEACTIVATE:
      if (w->parent && (w->style & WS_CHILD)) {
        const LRESULT r = Send(w->parent, WM_MOUSEACTIVATE, wParam, lParam);
        if (r) return r;
      }
      return MA_ACTIVATE;
    case WM_NCLBUTTONDOWN:
      if (wParam == HTCAPTION) {
        // A move follows the pointer while the window holds the capture.
        w->moving = true;
        w->moveStart = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        w->moveRect = w->rect;
        SetCapture(hwnd);
      } else if (wParam == HTCLOSE || wParam == HTMINBUTTON || wParam == HTMAXBUTTON) {
        w->ncPressed = static_cast<LRESULT>(wParam);
      }
      return 0;
    case WM_NCLBUTTONUP: {
      const LRESULT pressed = std::exchange(w->ncPressed, HTNOWHERE);
      if (static_cast<LRESULT>(wParam) != pressed) return 0;
      if (pressed == HTCLOSE) Send(hwnd, WM_SYSCOMMAND, SC_CLOSE, lParam);
      if (pressed == HTMINBUTTON) Send(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, lParam);
      if (pressed == HTMAXBUTTON) Send(hwnd, WM_SYSCOMMAND, (w->style & WS_MAXIMIZE) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      return 0;
    }
    case WM_NCLBUTTONDBLCLK:
      if (wParam == HTSYSMENU) Send(hwnd, WM_SYSCOMMAND, SC_CLOSE, lParam);
      if (wParam == HTCAPTION && (w->style & WS_MAXIMIZEBOX))
        Send(hwnd, WM_SYSCOMMAND, (w->style & (WS_MAXIMIZE | WS_MINIMIZE)) ? SC_RESTORE : SC_MAXIMIZE, lParam);
      return 0;
    case WM_MOUSEMOVE:
      if (w->moving && ThreadState().capture == hwnd) {
        const POINT o = ClientOrigin(w);
        const int dx = GET_X_LPARAM(lParam) + o.x - w->moveStart.x;
        const int dy = GET_Y_LPARAM(lParam) + o.y - w->moveStart.y;
        SetWindowPos(hwnd, nullptr, w->moveRect.left + dx, w->moveRect.top + dy, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    case WM_LBUTTONUP:
      if (w->moving) {
        w->moving = false;
        if (ThreadState().capture == hwnd) ReleaseCapture();
      }
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lParam) != hwnd) w->moving = false;
      return 0;
    case WM_SYSKEYDOWN:
      if (wParam == static_cast<WPARAM>(VK_F4) && (lParam & (1 << 29)))
        Send(Root(hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE: Send(hwnd, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(hwnd, SW_SHOWMAXIMIZED); break;
        case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
        default: break;
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SETTEXT:
      w->text = lParam ? reinterpret_cast<LPCSTR>(lParam) : "";
      if ((w->style & WS_CAPTION) == WS_CAPTION) paint::RedrawFrame(hwnd);
      return TRUE;
    case WM_GETTEXT: {
      if (!wParam || !lParam) return 0;
      auto* buffer = reinterpret_cast<char*>(lParam);
      const std::size_t n = std::min(w->text.size(), static_cast<std::size_t>(wParam) - 1);
      std::memcpy(buffer, w->text.data(), n);
      buffer[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_WINDOWPOSCHANGED: {
      const auto* wp = reinterpret_cast<const WINDOWPOS*>(lParam);
      if (!wp) return 0;
      const RECT c = w->client;
      if (!(wp->flags & SWP_NOCLIENTMOVE)) Send(hwnd, WM_MOVE, 0, PackPoint(c.left, c.top));
      if (!(wp->flags & SWP_NOCLIENTSIZE) || (wp->flags & SWP_STATECHANGED)) {
        if (w->style & WS_MINIMIZE)
          Send(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        else
          Send(hwnd, WM_SIZE, (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED,
               MAKELPARAM(LOWORD(c.right - c.left), LOWORD(c.bottom - c.top)));
      }
      return 0;
    }
    case WM_QUERYENDSESSION: return TRUE;
    default: return 0;
  }
}

}  // namespace win
