#include "platform/ui/WindowState.h"

#include <thread>

#include "platform/ui/Backend.h"

namespace win {

using namespace wnd;

namespace {

// GetKeyState answers the keys as of the input message being handled, as
// Windows does, so a character is translated with the shift state of its key.
void SetKey(BYTE* keys, int vk, bool down) {
  keys[vk & 0xFF] = down ? 0x80 : 0;
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) keys[VK_SHIFT] = keys[vk & 0xFF];
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) keys[VK_CONTROL] = keys[vk & 0xFF];
  if (vk == VK_LMENU || vk == VK_RMENU) keys[VK_MENU] = keys[vk & 0xFF];
}

void PostInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD time, bool screenPoint = false) {
  TWnd* w = Find(hwnd);
  if (!w) return;
  MSG m;
  m.hwnd = hwnd;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = time;
  m.pt = Cursor();
  Post(w->queue, m, false, screenPoint);
}

bool KeyDown(int vk) { return (ThreadState().keys[vk & 0xFF] & 0x80) != 0; }

WPARAM MouseKeys() {
  WPARAM k = 0;
  if (KeyDown(VK_LBUTTON)) k |= MK_LBUTTON;
  if (KeyDown(VK_RBUTTON)) k |= MK_RBUTTON;
  if (KeyDown(VK_MBUTTON)) k |= MK_MBUTTON;
  if (KeyDown(VK_SHIFT)) k |= MK_SHIFT;
  if (KeyDown(VK_CONTROL)) k |= MK_CONTROL;
  return k;
}

// The window an input event at `pt` goes to and the hit area it reports.
HWND InputTarget(POINT pt, LRESULT* hit) {
  if (ThreadState().capture && Find(ThreadState().capture)) {
    *hit = HTCLIENT;
    return ThreadState().capture;
  }
  HWND h = WindowFromPoint(pt);
  if (!h) return nullptr;
  TWnd* w = Find(h);
  if (!w || (w->style & WS_DISABLED) || w->thread != std::this_thread::get_id()) return nullptr;
  *hit = Send(h, WM_NCHITTEST, 0, PackPoint(pt.x, pt.y));
  if (!Find(h) || *hit == HTNOWHERE || *hit == HTERROR || *hit == HTTRANSPARENT) return nullptr;
  return h;
}

void UpdateHover(HWND hwnd, bool nonClient) {
  if (ThreadState().tracking && (ThreadState().tracking != hwnd || ThreadState().trackingNonClient != nonClient)) {
    PostInput(ThreadState().tracking, ThreadState().trackingNonClient ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0, Now());
    ThreadState().tracking = nullptr;
  }
  ThreadState().hover = hwnd;
  ThreadState().hoverNonClient = nonClient;
}

}  // namespace

namespace wnd {

void SyncKeys(const MSG& m) {
  switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: SetKey(ThreadState().syncKeys, static_cast<int>(m.wParam), true); break;
    case WM_KEYUP:
    case WM_SYSKEYUP: SetKey(ThreadState().syncKeys, static_cast<int>(m.wParam), false); break;
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_NCLBUTTONDOWN: case WM_NCLBUTTONDBLCLK:
      SetKey(ThreadState().syncKeys, VK_LBUTTON, true); break;
    case WM_LBUTTONUP: case WM_NCLBUTTONUP: SetKey(ThreadState().syncKeys, VK_LBUTTON, false); break;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: case WM_NCRBUTTONDOWN: case WM_NCRBUTTONDBLCLK:
      SetKey(ThreadState().syncKeys, VK_RBUTTON, true); break;
    case WM_RBUTTONUP: case WM_NCRBUTTONUP: SetKey(ThreadState().syncKeys, VK_RBUTTON, false); break;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: case WM_NCMBUTTONDOWN: case WM_NCMBUTTONDBLCLK:
      SetKey(ThreadState().syncKeys, VK_MBUTTON, true); break;
    case WM_MBUTTONUP: case WM_NCMBUTTONUP: SetKey(ThreadState().syncKeys, VK_MBUTTON, false); break;
    default: break;
  }
}

char CharOfKey(int vk) {
  const bool shift = (ThreadState().syncKeys[VK_SHIFT] & 0x80) != 0;
  const bool ctrl = (ThreadState().syncKeys[VK_CONTROL] & 0x80) != 0;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl && !(ThreadState().syncKeys[VK_MENU] & 0x80)) return static_cast<char>(vk - 'A' + 1);
    return static_cast<char>(shift ? vk : vk - 'A' + 'a');
  }
  if (vk >= '0' && vk <= '9') return shift ? ")!@#$%^&*("[vk - '0'] : static_cast<char>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<char>('0' + vk - VK_NUMPAD0);
  switch (vk) {
    case VK_SPACE: return ' ';
    case VK_RETURN: return '\r';
    case VK_BACK: return '\b';
    case VK_TAB: return '\t';
    case VK_ESCAPE: return 27;
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    default: return 0;
  }
}

}  // namespace wnd

BOOL GetCursorPos(POINT* pt) {
  if (!pt) return FALSE;
  *pt = Cursor();
  return TRUE;
}

BOOL SetCursorPos(int x, int y) {
  RECT screen, work;
  DesktopAreas(&screen, &work);
  MoveCursor(POINT{std::clamp<LONG>(x, screen.left, screen.right - 1), std::clamp<LONG>(y, screen.top, screen.bottom - 1)});
  return TRUE;
}

short GetKeyState(int vk) { return (ThreadState().syncKeys[vk & 0xFF] & 0x80) ? static_cast<short>(0x8000) : 0; }

short GetAsyncKeyState(int vk) { return KeyDown(vk) ? static_cast<short>(0x8000) : 0; }

UINT GetDoubleClickTime() { return kDoubleClickTime; }

BOOL TrackMouseEvent(TRACKMOUSEEVENT* tme) {
  if (!tme || tme->cbSize != sizeof(TRACKMOUSEEVENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool nonClient = (tme->dwFlags & TME_NONCLIENT) != 0;
  if (tme->dwFlags & TME_QUERY) {
    tme->hwndTrack = ThreadState().tracking;
    tme->dwFlags = ThreadState().tracking ? (TME_LEAVE | (ThreadState().trackingNonClient ? TME_NONCLIENT : 0)) : 0;
    return TRUE;
  }
  if (!Check(tme->hwndTrack)) return FALSE;
  if (tme->dwFlags & TME_CANCEL) {
    if (ThreadState().tracking == tme->hwndTrack && ThreadState().trackingNonClient == nonClient) ThreadState().tracking = nullptr;
    return TRUE;
  }
  if (tme->dwFlags & TME_LEAVE) {
    if (ThreadState().hover != tme->hwndTrack || ThreadState().hoverNonClient != nonClient) {
      // Not over the area: the leave is due at once.
      PostInput(tme->hwndTrack, nonClient ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0, Now());
      return TRUE;
    }
    ThreadState().tracking = tme->hwndTrack;
    ThreadState().trackingNonClient = nonClient;
  }
  return TRUE;
}

BOOL InjectMouseMove(int x, int y, DWORD time) {
  if (!time) time = Now();
  MoveCursor(POINT{x, y});
  LRESULT hit = HTNOWHERE;
  const HWND h = InputTarget(Cursor(), &hit);
  UpdateHover(h, hit != HTCLIENT);
  if (!h) return FALSE;
  if (hit == HTCLIENT) {
    PostInput(h, WM_MOUSEMOVE, MouseKeys(), PackPoint(x, y), time, true);
  } else {
    PostInput(h, WM_NCMOUSEMOVE, static_cast<WPARAM>(hit), PackPoint(x, y), time);
  }
  return TRUE;
}

BOOL InjectMouseButton(int button, bool down, int x, int y, DWORD time) {
  int index;
  switch (button) {
    case VK_LBUTTON: index = 0; break;
    case VK_RBUTTON: index = 1; break;
    case VK_MBUTTON: index = 2; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  if (!time) time = Now();
  MoveCursor(POINT{x, y});
  ThreadState().keys[button] = down ? 0x80 : 0;
  LRESULT hit = HTNOWHERE;
  HWND h = InputTarget(Cursor(), &hit);
  UpdateHover(h, hit != HTCLIENT);
  if (!h) return FALSE;
  const bool nonClient = hit != HTCLIENT;
  static constexpr UINT kDown[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
  static constexpr UINT kNcDown[3] = {WM_NCLBUTTONDOWN, WM_NCRBUTTONDOWN, WM_NCMBUTTONDOWN};
  const UINT base = nonClient ? kNcDown[index] : kDown[index];
  UINT msg = down ? base : base + 1;
  if (down) {
    const HWND root = Root(h);
    if (!ThreadState().capture && root != ThreadState().active) {
      const LRESULT r = Send(h, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root), MAKELPARAM(LOWORD(hit), LOWORD(msg)));
      if ((r == MA_ACTIVATE || r == MA_ACTIVATEANDEAT) && Find(root)) SetActiveWindow(root);
      if (r == MA_ACTIVATEANDEAT || r == MA_NOACTIVATEANDEAT || !Find(h)) return TRUE;
    }
    // A second press of the same button close in time and place, on the same
    // window and area, is a double click; a third starts over.
    const TClick& last = ThreadState().lastClick;
    const bool dbl = last.hwnd == h && last.button == button && last.nonClient == nonClient &&
                     time - last.time <= GetDoubleClickTime() &&
                     std::abs(x - last.pt.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                     std::abs(y - last.pt.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    if (dbl) {
      ThreadState().lastClick = TClick{};
      TWnd* w = Find(h);
      if (nonClient || (w && (w->cls->style & CS_DBLCLKS))) msg = base + 2;
    } else {
      ThreadState().lastClick = TClick{button, time, POINT{x, y}, h, nonClient};
    }
  }
  if (nonClient) {
    PostInput(h, msg, static_cast<WPARAM>(hit), PackPoint(x, y), time);
  } else {
    PostInput(h, msg, MouseKeys(), PackPoint(x, y), time, true);
  }
  return TRUE;
}

BOOL InjectMouseWheel(int delta, int x, int y, DWORD time) {
  if (!time) time = Now();
  MoveCursor(POINT{x, y});
  LRESULT hit = HTNOWHERE;
  const HWND h = InputTarget(Cursor(), &hit);
  if (!h) return FALSE;
  PostInput(h, WM_MOUSEWHEEL, (static_cast<WPARAM>(static_cast<WORD>(delta)) << 16) | MouseKeys(), PackPoint(x, y),
            time);
  return TRUE;
}

BOOL InjectKey(int vk, bool down, DWORD time) {
  if (vk <= 0 || vk > 0xFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!time) time = Now();
  const bool wasDown = KeyDown(vk);
  SetKey(ThreadState().keys, vk, down);
  const HWND target = ThreadState().focus ? ThreadState().focus : ThreadState().active;
  if (!target || !Find(target)) return FALSE;
  const bool alt = KeyDown(VK_MENU);
  // Alt chords, F10 and any key while no window has the focus are system keys.
  const bool sys = !ThreadState().focus || vk == VK_F10 || vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU ||
                   (alt && !KeyDown(VK_CONTROL));
  const UINT msg = sys ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  std::uint32_t flags = 1;
  if (alt) flags |= 1u << 29;
  if (wasDown || !down) flags |= 1u << 30;
  if (!down) flags |= 1u << 31;
  PostInput(target, msg, static_cast<WPARAM>(vk), static_cast<LPARAM>(flags), time);
  return TRUE;
}

}  // namespace win
