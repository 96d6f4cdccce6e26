#include "platform/ui/WindowState.h"

#include "platform/ui/Backend.h"

namespace win {

using namespace wnd;

namespace wnd {

// The display's screen and work area, or the fixed headless ones.
void DesktopAreas(RECT* screen, RECT* work) {
  if (Backend().Desktop(screen, work)) return;
  *screen = RECT{0, 0, kScreenWidth, kScreenHeight};
  *work = RECT{0, 0, kScreenWidth, kScreenHeight - kTaskbarHeight};
}

}  // namespace wnd

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: case SM_CXMAXTRACK: case SM_CYSCREEN: case SM_CYMAXTRACK: case SM_CXFULLSCREEN:
    case SM_CXMAXIMIZED: case SM_CYFULLSCREEN: case SM_CYMAXIMIZED: {
      RECT screen, work;
      DesktopAreas(&screen, &work);
      if (index == SM_CXSCREEN || index == SM_CXMAXTRACK) return screen.right - screen.left;
      if (index == SM_CYSCREEN || index == SM_CYMAXTRACK) return screen.bottom - screen.top;
      if (index == SM_CXFULLSCREEN || index == SM_CXMAXIMIZED) return work.right - work.left;
      if (index == SM_CYFULLSCREEN) return work.bottom - work.top - 19;
      return work.bottom - work.top;
    }
    case SM_CXVSCROLL: case SM_CYHSCROLL: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: case SM_CYDLGFRAME: return 3;
    case SM_CXFRAME: case SM_CYFRAME: return 4;
    case SM_CXEDGE: case SM_CYEDGE: return 2;
    case SM_CXICON: case SM_CYICON: case SM_CXCURSOR: case SM_CYCURSOR: return 32;
    case SM_CXSMICON: case SM_CYSMICON: return 16;
    case SM_CYMENU: return 19;
    case SM_CXSIZE: case SM_CYSIZE: return 18;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSMSIZE: case SM_CYSMSIZE: return 12;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXMINTRACK: return 112;
    case SM_CYMINTRACK: return 27;
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CXDRAG: case SM_CYDRAG: return 4;
    case SM_CMOUSEBUTTONS: return 3;
    case SM_SWAPBUTTON: return 0;
    case SM_CXMENUCHECK: case SM_CYMENUCHECK: return 13;
    default: return 0;
  }
}

COLORREF GetSysColor(int index) {
  // The classic Windows scheme.
  switch (index) {
    case COLOR_SCROLLBAR: return RGB(212, 208, 200);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    case COLOR_ACTIVECAPTION: return RGB(10, 36, 106);
    case COLOR_INACTIVECAPTION: return RGB(128, 128, 128);
    case COLOR_MENU: return RGB(212, 208, 200);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWFRAME: return RGB(0, 0, 0);
    case COLOR_MENUTEXT: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_CAPTIONTEXT: return RGB(255, 255, 255);
    case COLOR_ACTIVEBORDER: return RGB(212, 208, 200);
    case COLOR_INACTIVEBORDER: return RGB(212, 208, 200);
    case COLOR_APPWORKSPACE: return RGB(128, 128, 128);
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_INACTIVECAPTIONTEXT: return RGB(212, 208, 200);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(64, 64, 64);
    case COLOR_3DLIGHT: return RGB(212, 208, 200);
    case COLOR_INFOTEXT: return RGB(0, 0, 0);
    case COLOR_INFOBK: return RGB(255, 255, 225);
    case COLOR_HOTLIGHT: return RGB(0, 0, 128);
    case COLOR_GRADIENTACTIVECAPTION: return RGB(166, 202, 240);
    case COLOR_GRADIENTINACTIVECAPTION: return RGB(192, 192, 192);
    case COLOR_MENUHILIGHT: return RGB(49, 106, 197);
    case COLOR_MENUBAR: return RGB(212, 208, 200);
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT action, UINT, LPVOID pvParam, UINT) {
  if (action == SPI_GETWORKAREA && pvParam) {
    RECT screen;
    DesktopAreas(&screen, static_cast<RECT*>(pvParam));
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace win
