#include <SDL.h>
#include <SDL_shape.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "platform/ui/Backend.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/WindowInternal.h"

namespace win {

namespace {

int VirtualKey(SDL_Keycode k) {
  if (k >= SDLK_a && k <= SDLK_z) return 'A' + (k - SDLK_a);
  if (k >= SDLK_0 && k <= SDLK_9) return '0' + (k - SDLK_0);
  if (k >= SDLK_F1 && k <= SDLK_F12) return VK_F1 + (k - SDLK_F1);
  if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return VK_NUMPAD0 + 1 + (k - SDLK_KP_1);
  switch (k) {
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_LGUI: case SDLK_RGUI: return VK_LWIN;
    case SDLK_APPLICATION: return VK_APPS;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    // The US layout's punctuation keys (VK_OEM_1 ... VK_OEM_7).
    case SDLK_SEMICOLON: return 0xBA;
    case SDLK_EQUALS: return 0xBB;
    case SDLK_COMMA: return 0xBC;
    case SDLK_MINUS: return 0xBD;
    case SDLK_PERIOD: return 0xBE;
    case SDLK_SLASH: return 0xBF;
    case SDLK_BACKQUOTE: return 0xC0;
    case SDLK_LEFTBRACKET: return 0xDB;
    case SDLK_BACKSLASH: return 0xDC;
    case SDLK_RIGHTBRACKET: return 0xDD;
    case SDLK_QUOTE: return 0xDE;
    default: return 0;
  }
}

SDL_SystemCursor SystemCursor(TCursorShape s) {
  switch (s) {
    case TCursorShape::IBeam: return SDL_SYSTEM_CURSOR_IBEAM;
    case TCursorShape::Wait: return SDL_SYSTEM_CURSOR_WAIT;
    case TCursorShape::Cross: return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case TCursorShape::Hand: return SDL_SYSTEM_CURSOR_HAND;
    case TCursorShape::SizeWE: return SDL_SYSTEM_CURSOR_SIZEWE;
    case TCursorShape::SizeNS: return SDL_SYSTEM_CURSOR_SIZENS;
    case TCursorShape::SizeNWSE: return SDL_SYSTEM_CURSOR_SIZENWSE;
    case TCursorShape::SizeNESW: return SDL_SYSTEM_CURSOR_SIZENESW;
    case TCursorShape::SizeAll: return SDL_SYSTEM_CURSOR_SIZEALL;
    case TCursorShape::No: return SDL_SYSTEM_CURSOR_NO;
    case TCursorShape::Arrow: break;
  }
  return SDL_SYSTEM_CURSOR_ARROW;
}

// Every visible top-level window is a borderless SDL window painted entirely
// from its surface; positions and sizes are ours, so the window manager's
// move and size notices are not fed back.
class TSdl final : public TBackend {
 public:
  explicit TSdl(Uint32 wakeEvent) : wakeEvent_(wakeEvent) { SDL_StartTextInput(); }

  bool Headless() const override { return false; }
  bool SuppliesText() const override { return true; }

  void WindowShown(HWND hwnd, const RECT& rect, DWORD style, DWORD exStyle) override {
    TWin& w = windows_[hwnd];
    w.rect = rect;
    w.exStyle = exStyle;
    w.owned = GetWindow(hwnd, GW_OWNER) != nullptr;
    if (!w.window) Create(hwnd, w);
    if (w.window) SDL_ShowWindow(w.window);
  }

  void WindowHidden(HWND hwnd) override {
    auto it = windows_.find(hwnd);
    if (it != windows_.end() && it->second.window) SDL_HideWindow(it->second.window);
  }

  void WindowMoved(HWND hwnd, const RECT& rect) override {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    TWin& w = it->second;
    const bool sized = rect.right - rect.left != w.rect.right - w.rect.left ||
                       rect.bottom - rect.top != w.rect.bottom - w.rect.top;
    w.rect = rect;
    if (!w.window) return;
    // Windows parks minimized windows far off screen; the display iconifies them.
    if (IsIconic(hwnd)) {
      SDL_MinimizeWindow(w.window);
      return;
    }
    if (SDL_GetWindowFlags(w.window) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(w.window);
    SDL_SetWindowPosition(w.window, rect.left, rect.top);
    if (sized) {
      SDL_SetWindowSize(w.window, std::max<int>(1, rect.right - rect.left), std::max<int>(1, rect.bottom - rect.top));
      if (w.shaped) ApplyShape(w);
    }
  }

  void WindowRaised(HWND hwnd) override {
    auto it = windows_.find(hwnd);
    if (it != windows_.end() && it->second.window && GetActiveWindow() == hwnd) SDL_RaiseWindow(it->second.window);
  }

  void WindowDestroyed(HWND hwnd) override {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    Drop(it->second);
    windows_.erase(it);
  }

  void ShapeChanged(HWND hwnd, const std::vector<RECT>& shape, bool hasShape) override {
    TWin& w = windows_[hwnd];
    w.shape = shape;
    w.hasShape = hasShape;
    if (!w.window) return;
    if (hasShape && !w.shaped) {
      // Only windows made as shaped windows take a shape: make it again.
      const bool shown = (SDL_GetWindowFlags(w.window) & SDL_WINDOW_SHOWN) != 0;
      Drop(w);
      Create(hwnd, w);
      if (w.window && shown) SDL_ShowWindow(w.window);
      paint::MarkAllDirty(hwnd);
      return;
    }
    if (w.shaped) ApplyShape(w);
  }

  void Present(HWND hwnd, HBITMAP surface, const RECT& dirty) override {
    auto it = windows_.find(hwnd);
    if (it == windows_.end() || !it->second.window || !surface) return;
    SDL_Surface* target = SDL_GetWindowSurface(it->second.window);
    if (!target) return;
    const int left = std::max<int>(0, dirty.left), top = std::max<int>(0, dirty.top);
    const int right = std::min<int>({dirty.right, surface->Width, target->w});
    const int bottom = std::min<int>({dirty.bottom, surface->Height, target->h});
    if (left >= right || top >= bottom) return;
    if (SDL_MUSTLOCK(target)) SDL_LockSurface(target);
    // Our pixels are 0x00RRGGBB, SDL's XRGB8888.
    const auto* src = surface->Row(top) + left;
    auto* dst = static_cast<Uint8*>(target->pixels) + static_cast<size_t>(top) * target->pitch +
                static_cast<size_t>(left) * target->format->BytesPerPixel;
    SDL_ConvertPixels(right - left, bottom - top, SDL_PIXELFORMAT_RGB888, src, surface->Width * 4,
                      target->format->format, dst, target->pitch);
    if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
    const SDL_Rect r{left, top, right - left, bottom - top};
    SDL_UpdateWindowSurfaceRects(it->second.window, &r, 1);
  }

  bool Desktop(RECT* screen, RECT* work) const override {
    SDL_Rect s, u;
    if (SDL_GetDisplayBounds(0, &s) != 0) return false;
    if (SDL_GetDisplayUsableBounds(0, &u) != 0) u = s;
    *screen = RECT{s.x, s.y, s.x + s.w, s.y + s.h};
    *work = RECT{u.x, u.y, u.x + u.w, u.y + u.h};
    return true;
  }

  void CaptureChanged(HWND hwnd) override { SDL_CaptureMouse(hwnd ? SDL_TRUE : SDL_FALSE); }

  void SetCursorShape(TCursorShape shape) override {
    const SDL_SystemCursor id = SystemCursor(shape);
    SDL_Cursor*& c = cursors_[id];
    if (!c) c = SDL_CreateSystemCursor(id);
    if (c) SDL_SetCursor(c);
  }

  void Wait(std::mutex& mutex, std::condition_variable&, const std::function<bool()>& ready,
            TClock::time_point deadline) override {
    ++waits_;
    {
      std::lock_guard lock(mutex);
      if (ready()) return;
    }
    SDL_Event e;
    int got;
    if (deadline == TClock::time_point::max()) {
      got = SDL_WaitEvent(&e);
    } else {
      const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClock::now()).count();
      if (left <= 0) return;
      got = SDL_WaitEventTimeout(&e, static_cast<int>(std::min<long long>((left + 999) / 1000, 0x7FFFFFFF)));
    }
    if (!got) return;
    Drain(&e);
  }

  void Poll() override {
    SDL_Event e;
    if (SDL_PollEvent(&e)) Drain(&e);
  }

  void Wake() override {
    SDL_Event e{};
    e.type = wakeEvent_;
    SDL_PushEvent(&e);
  }

 private:
  struct TWin {
    SDL_Window* window = nullptr;
    bool shaped = false;
    RECT rect{};
    DWORD exStyle = 0;
    bool owned = false;
    bool hasShape = false;
    std::vector<RECT> shape;
  };

  void Create(HWND hwnd, TWin& w) {
    Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
    if ((w.exStyle & WS_EX_TOOLWINDOW) || w.owned) flags |= SDL_WINDOW_SKIP_TASKBAR;
    if (w.exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    const std::string title = GetWindowTextString(hwnd);
    const int width = std::max<int>(1, w.rect.right - w.rect.left), height = std::max<int>(1, w.rect.bottom - w.rect.top);
    if (w.hasShape) {
      w.window = SDL_CreateShapedWindow(title.c_str(), static_cast<unsigned>(std::max<LONG>(0, w.rect.left)),
                                        static_cast<unsigned>(std::max<LONG>(0, w.rect.top)), width, height, flags);
      w.shaped = w.window != nullptr;
      if (w.window) {
        SDL_SetWindowPosition(w.window, w.rect.left, w.rect.top);
        ApplyShape(w);
      }
    }
    if (!w.window) w.window = SDL_CreateWindow(title.c_str(), w.rect.left, w.rect.top, width, height, flags);
    if (w.window) byId_[SDL_GetWindowID(w.window)] = hwnd;
  }

  void Drop(TWin& w) {
    if (!w.window) return;
    byId_.erase(SDL_GetWindowID(w.window));
    SDL_DestroyWindow(w.window);
    w.window = nullptr;
    w.shaped = false;
  }

  void ApplyShape(TWin& w) {
    const int width = std::max<int>(1, w.rect.right - w.rect.left), height = std::max<int>(1, w.rect.bottom - w.rect.top);
    SDL_Surface* mask = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!mask) return;
    SDL_FillRect(mask, nullptr, 0);
    const std::vector<RECT> all{RECT{0, 0, width, height}};
    for (const RECT& r : w.hasShape ? w.shape : all) {
      SDL_Rect sr{r.left, r.top, r.right - r.left, r.bottom - r.top};
      SDL_FillRect(mask, &sr, 0xFFFFFFFFu);
    }
    SDL_WindowShapeMode mode;
    mode.mode = ShapeModeBinarizeAlpha;
    mode.parameters.binarizationCutoff = 128;
    SDL_SetWindowShape(w.window, mask, &mode);
    SDL_FreeSurface(mask);
  }

  HWND WindowOf(Uint32 id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
  }

  static POINT Pointer() {
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    return POINT{x, y};
  }

  // Handles `first` and whatever else waits. A handler may pump messages
  // (a modal loop) and so come back in here; the events go on in order.
  void Drain(const SDL_Event* first) {
    if (depth_++ == 0) deactivate_ = nullptr;
    Handle(*first);
    SDL_Event e;
    while (SDL_PollEvent(&e)) Handle(e);
    // Focus that went to none of our windows ends the activation.
    if (--depth_ == 0 && deactivate_ && GetActiveWindow() == deactivate_ && IsWindow(deactivate_))
      SetActiveWindow(nullptr);
  }

  void Handle(const SDL_Event& e) {
    switch (e.type) {
      case SDL_MOUSEMOTION: {
        const POINT p = Pointer();
        InjectMouseMove(p.x, p.y);
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        const int vk = e.button.button == SDL_BUTTON_LEFT    ? VK_LBUTTON
                       : e.button.button == SDL_BUTTON_RIGHT ? VK_RBUTTON
                       : e.button.button == SDL_BUTTON_MIDDLE ? VK_MBUTTON
                                                              : 0;
        if (!vk) break;
        const POINT p = Pointer();
        InjectMouseButton(vk, e.type == SDL_MOUSEBUTTONDOWN, p.x, p.y);
        break;
      }
      case SDL_MOUSEWHEEL: {
        int dy = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) dy = -dy;
        const POINT p = Pointer();
        if (dy) InjectMouseWheel(dy * 120, p.x, p.y);
        break;
      }
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        if (const int vk = VirtualKey(e.key.keysym.sym)) InjectKey(vk, e.type == SDL_KEYDOWN);
        break;
      case SDL_TEXTINPUT: {
        const HWND target = GetFocus() ? GetFocus() : GetActiveWindow();
        if (!target) break;
        for (const char* c = e.text.text; *c; ++c)
          PostMessageA(target, WM_CHAR, static_cast<unsigned char>(*c), 1);
        break;
      }
      case SDL_WINDOWEVENT: {
        const HWND hwnd = WindowOf(e.window.windowID);
        if (!hwnd || !IsWindow(hwnd)) break;
        switch (e.window.event) {
          case SDL_WINDOWEVENT_EXPOSED: paint::MarkAllDirty(hwnd); break;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            // Activation among our own windows is the window layer's; the
            // display only tells when the program as a whole gains or loses it.
            deactivate_ = nullptr;
            if (!GetActiveWindow() && IsWindowEnabled(hwnd)) SetActiveWindow(hwnd);
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST: deactivate_ = hwnd; break;
          case SDL_WINDOWEVENT_CLOSE: PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); break;
          case SDL_WINDOWEVENT_LEAVE: {
            const POINT p = Pointer();
            InjectMouseMove(p.x, p.y);
            break;
          }
          default: break;
        }
        break;
      }
      default: break;  // the wake-up event and SDL_QUIT: closing goes window by window
    }
  }

  Uint32 wakeEvent_;
  std::unordered_map<HWND, TWin> windows_;
  std::unordered_map<Uint32, HWND> byId_;
  std::unordered_map<int, SDL_Cursor*> cursors_;
  HWND deactivate_ = nullptr;
  int depth_ = 0;
};

}  // namespace

namespace backend {

TBackend* MakeSdl() {
  // Ctrl+C ends the program as usual instead of becoming an SDL event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A click that activates a window is also delivered, as on Windows.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return nullptr;
  const Uint32 wake = SDL_RegisterEvents(1);
  if (wake == static_cast<Uint32>(-1)) {
    SDL_Quit();
    return nullptr;
  }
  // The clipboard is the desktop's.
  TClipboardBackend clipboard;
  clipboard.Get = []() -> std::optional<std::string> {
    if (!SDL_HasClipboardText()) return std::nullopt;
    char* text = SDL_GetClipboardText();
    if (!text) return std::nullopt;
    std::string s = text;
    SDL_free(text);
    return s;
  };
  clipboard.Put = [](const std::optional<std::string>& text) { SDL_SetClipboardText(text ? text->c_str() : ""); };
  SetClipboardBackend(clipboard);
  return new TSdl(wake);
}

}  // namespace backend

}  // namespace win
