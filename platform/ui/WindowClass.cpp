#include "platform/ui/WindowState.h"

#include <algorithm>
#include <cstring>
#include <array>
#include <utility>

namespace win {

using namespace wnd;

namespace {

// Object-bound procedures: a fixed table of plain functions, each calling
// the callback in its slot. Only the GUI thread uses them.
std::vector<TObjectWndProc>& ProcSlots() {
  static std::vector<TObjectWndProc> slots(kMaxProcInstances);
  return slots;
}

template <std::size_t I>
LRESULT SlotProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // A copy: the callback may free its own slot while it runs.
  const TObjectWndProc proc = ProcSlots()[I];
  return proc ? proc(hwnd, msg, wParam, lParam) : DefWindowProcA(hwnd, msg, wParam, lParam);
}

template <std::size_t... I>
constexpr std::array<WNDPROC, sizeof...(I)> MakeSlotTable(std::index_sequence<I...>) {
  return {&SlotProc<I>...};
}

constexpr auto kSlotTable = MakeSlotTable(std::make_index_sequence<kMaxProcInstances>());

}  // namespace

namespace wnd {

UINT ClassStyle(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return w ? w->cls->style : 0;
}

HBRUSH ClassBackground(HWND hwnd) {
  TWnd* w = Find(hwnd);
  return w ? w->cls->background : nullptr;
}

}  // namespace wnd

WNDPROC MakeProcInstance(TObjectWndProc proc) {
  if (!proc) return nullptr;
  auto& slots = ProcSlots();
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (!slots[i]) {
      slots[i] = std::move(proc);
      return kSlotTable[i];
    }
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

void FreeProcInstance(WNDPROC proc) {
  auto it = std::find(kSlotTable.begin(), kSlotTable.end(), proc);
  if (it != kSlotTable.end()) ProcSlots()[static_cast<std::size_t>(it - kSlotTable.begin())] = nullptr;
}

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  if (!wc || !wc->lpszClassName || IsAtom(wc->lpszClassName) || !*wc->lpszClassName || wc->cbWndExtra < 0 ||
      wc->cbClsExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (FindClass(wc->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  auto c = std::make_shared<TClass>();
  c->name = wc->lpszClassName;
  c->style = wc->style;
  c->proc = wc->lpfnWndProc;
  c->clsExtra = wc->cbClsExtra;
  c->wndExtra = wc->cbWndExtra;
  c->instance = wc->hInstance;
  c->icon = wc->hIcon;
  c->cursor = wc->hCursor;
  c->background = wc->hbrBackground;
  std::lock_guard lock(g_mutex);
  c->atom = g_nextAtom++;
  g_classes.push_back(c);
  return c->atom;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXA ex;
  ex.style = wc->style;
  ex.lpfnWndProc = wc->lpfnWndProc;
  ex.cbClsExtra = wc->cbClsExtra;
  ex.cbWndExtra = wc->cbWndExtra;
  ex.hInstance = wc->hInstance;
  ex.hIcon = wc->hIcon;
  ex.hCursor = wc->hCursor;
  ex.hbrBackground = wc->hbrBackground;
  ex.lpszMenuName = wc->lpszMenuName;
  ex.lpszClassName = wc->lpszClassName;
  return RegisterClassExA(&ex);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE) {
  auto c = FindClass(className);
  if (!c) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  if (c->windows > 0) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  std::lock_guard lock(g_mutex);
  g_classes.erase(std::remove(g_classes.begin(), g_classes.end(), c), g_classes.end());
  return TRUE;
}

BOOL GetClassInfoA(HINSTANCE, LPCSTR className, WNDCLASSA* wc) {
  auto c = FindClass(className);
  if (!c || !wc) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  wc->style = c->style;
  wc->lpfnWndProc = c->proc;
  wc->cbClsExtra = c->clsExtra;
  wc->cbWndExtra = c->wndExtra;
  wc->hInstance = c->instance;
  wc->hIcon = c->icon;
  wc->hCursor = c->cursor;
  wc->hbrBackground = c->background;
  wc->lpszMenuName = nullptr;
  wc->lpszClassName = className;
  return TRUE;
}

int GetClassNameA(HWND hwnd, LPSTR buffer, int maxCount) {
  TWnd* w = Check(hwnd);
  if (!w || !buffer || maxCount <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(w->cls->name.size()), maxCount - 1);
  std::memcpy(buffer, w->cls->name.data(), static_cast<std::size_t>(n));
  buffer[n] = 0;
  return n;
}

}  // namespace win
