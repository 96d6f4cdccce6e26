#include "framework/Controls.h"

#include <algorithm>
#include <stdexcept>

#include "framework/Forms.h"
#include "platform/ui/Paint.h"
#include "platform/win/ScopeGuard.h"

namespace vorra {

using namespace win;

namespace {

// The control whose CreateWindowExA call is under way: its window's first
// message binds the window to it.
TWinControl* g_creating = nullptr;
TControl* g_captureControl = nullptr;
constexpr const char* kControlProp = "VorraControl";

TPoint PointOf(LPARAM lp) { return TPoint{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}; }
LPARAM PackPoint(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

bool IsMouseMsg(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MOUSELAST && m != WM_MOUSEWHEEL; }

// Sets a canvas on a DC for the span of a paint and always takes it off again.
struct TCanvasScope {
  TCanvas* canvas;
  TCanvasScope(TCanvas* c, HDC dc) : canvas(c) { canvas->SetHandle(dc); }
  ~TCanvasScope() { canvas->SetHandle(nullptr); }
};

}  // namespace

TShiftState KeyboardShiftState() {
  TShiftState s;
  if (GetKeyState(VK_SHIFT) < 0) s.Include(ssShift);
  if (GetKeyState(VK_CONTROL) < 0) s.Include(ssCtrl);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TShiftState MouseShiftState(WPARAM keys) {
  TShiftState s;
  if (keys & MK_SHIFT) s.Include(ssShift);
  if (keys & MK_CONTROL) s.Include(ssCtrl);
  if (keys & MK_LBUTTON) s.Include(ssLeft);
  if (keys & MK_RBUTTON) s.Include(ssRight);
  if (keys & MK_MBUTTON) s.Include(ssMiddle);
  if (GetKeyState(VK_MENU) < 0) s.Include(ssAlt);
  return s;
}

TControl* GetCaptureControl() { return g_captureControl; }

void SetCaptureControl(TControl* Control) {
  g_captureControl = Control;
  if (!Control) {
    if (GetCapture()) ReleaseCapture();
    return;
  }
  HWND h = Control->ParentWindow();
  if (h) SetCapture(h);
}

TWinControl* FindControl(HWND hwnd) {
  if (!hwnd || !IsWindow(hwnd)) return nullptr;
  return static_cast<TWinControl*>(GetPropA(hwnd, kControlProp));
}

TCustomForm* GetParentForm(TControl* Control) {
  if (!Control) return nullptr;
  while (Control->Parent()) Control = Control->Parent();
  return dynamic_cast<TCustomForm*>(Control);
}

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(new TFont) {
  FFont->OnChange = [this](TObject* Sender) { FontChanged(Sender); };
  WindowProc = [this](TMessage& m) { WndProc(m); };
}

TControl::~TControl() {
  Destroying();
  if (g_captureControl == this) g_captureControl = nullptr;
  if (FParent) FParent->RemoveControl(this);
}

void TControl::SetParent(TWinControl* AParent) {
  if (AParent == FParent) return;
  if (AParent == this) throw std::invalid_argument("A control cannot be its own parent");
  if (FParent) FParent->RemoveControl(this);
  if (AParent) AParent->InsertControl(this);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  const bool resized = AWidth != FWidth || AHeight != FHeight;
  Invalidate();
  FLeft = ALeft, FTop = ATop, FWidth = AWidth, FHeight = AHeight;
  Invalidate();
  RequestAlign();
  if (resized) Resize();
}

void TControl::UpdateBoundsRect(const TRect& r) {
  const bool resized = r.Width() != FWidth || r.Height() != FHeight;
  FLeft = r.Left, FTop = r.Top, FWidth = r.Width(), FHeight = r.Height();
  if (resized && !IsWindowed()) Resize();
}

TRect TControl::ClientRect() { return Rect(0, 0, FWidth, FHeight); }

void TControl::SetClientWidth(int v) { SetWidth(v + (FWidth - ClientWidth())); }
void TControl::SetClientHeight(int v) { SetHeight(v + (FHeight - ClientHeight())); }

void TControl::SetVisible(bool v) {
  if (v == FVisible) return;
  if (!v) Invalidate();
  FVisible = v;
  if (v) Invalidate();
  Perform(CM_VISIBLECHANGED, v);
  RequestAlign();
}

void TControl::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  Perform(CM_ENABLEDCHANGED);
}

void TControl::SetText(const std::string& v) {
  if (v == FText) return;
  if (IsWindowed() && static_cast<TWinControl*>(this)->HandleAllocated()) {
    // Through the window, so that its procedure (and whoever hooks it) sees the change.
    SetWindowTextA(static_cast<TWinControl*>(this)->Handle(), v.c_str());
    if (FText != v) {
      FText = v;
      Perform(CM_TEXTCHANGED);
    }
    return;
  }
  FText = v;
  Perform(CM_TEXTCHANGED);
}

void TControl::SetColor(TColor v) {
  FParentColor = false;
  if (v == FColor) return;
  FColor = v;
  Perform(CM_COLORCHANGED);
}

void TControl::SetParentFont(bool v) {
  if (v == FParentFont) return;
  FParentFont = v;
  if (v && FParent) Perform(CM_PARENTFONTCHANGED);
}

void TControl::SetParentColor(bool v) {
  if (v == FParentColor) return;
  FParentColor = v;
  if (v && FParent) Perform(CM_PARENTCOLORCHANGED);
}

void TControl::FontChanged(TObject*) {
  if (!FChangingParentFont) FParentFont = false;
  Perform(CM_FONTCHANGED);
}

void TControl::SetAlign(TAlign v) {
  if (v == FAlign) return;
  FAlign = v;
  RequestAlign();
}

void TControl::RequestAlign() {
  if (FParent && !FParent->ComponentState().Contains(csDestroying)) FParent->Realign();
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  if (WindowProc)
    WindowProc(m);
  else
    WndProc(m);
  return m.Result;
}

void TControl::Invalidate() {
  if (!FParent || !FParent->HandleAllocated() || !FVisible) return;
  const TPoint o = FParent->ClientOrigin();
  RECT r{FLeft + o.X, FTop + o.Y, FLeft + o.X + FWidth, FTop + o.Y + FHeight};
  InvalidateRect(FParent->Handle(), &r, TRUE);
}

void TControl::Update() {
  if (FParent) FParent->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

HWND TControl::ParentWindow() const { return FParent ? FParent->ParentWindow() : nullptr; }

TPoint TControl::ClientOrigin() {
  if (!FParent) return TPoint{FLeft, FTop};
  const TPoint o = FParent->ClientOrigin();
  return TPoint{o.X + FLeft, o.Y + FTop};
}

bool TControl::Showing() const { return FVisible && (!FParent || FParent->Showing()); }

TPoint TControl::ClientToScreen(TPoint p) {
  HWND h = IsWindowed() ? static_cast<TWinControl*>(this)->Handle() : (FParent ? FParent->Handle() : nullptr);
  const TPoint o = IsWindowed() ? TPoint{} : ClientOrigin();
  POINT pt{p.X + o.X, p.Y + o.Y};
  if (h) win::ClientToScreen(h, &pt);
  return TPoint{pt.x, pt.y};
}

TPoint TControl::ScreenToClient(TPoint p) {
  HWND h = IsWindowed() ? static_cast<TWinControl*>(this)->Handle() : (FParent ? FParent->Handle() : nullptr);
  const TPoint o = IsWindowed() ? TPoint{} : ClientOrigin();
  POINT pt{p.X, p.Y};
  if (h) win::ScreenToClient(h, &pt);
  return TPoint{pt.x - o.X, pt.y - o.Y};
}

void TControl::WndProc(TMessage& Message) { Dispatch(Message); }

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::Dispatch(TMessage& m) {
  const TPoint p = PointOf(m.LParam);
  switch (m.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (FCaptureMouse) SetCaptureControl(this);
      TShiftState s = MouseShiftState(m.WParam);
      if (m.Msg == WM_LBUTTONDBLCLK) {
        s.Include(ssDouble);
        if (FClickEvents) DblClick();
      } else {
        FClicking = FClickEvents;
      }
      FMouseDownPos = p;
      MouseDown(mbLeft, s, p.X, p.Y);
      return;
    }
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK: MouseDown(mbRight, MouseShiftState(m.WParam), p.X, p.Y); return;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK: MouseDown(mbMiddle, MouseShiftState(m.WParam), p.X, p.Y); return;
    case WM_LBUTTONUP: {
      if (g_captureControl == this) SetCaptureControl(nullptr);
      if (FClicking) {
        FClicking = false;
        if (ClientRect().Contains(p)) Click();
      }
      MouseUp(mbLeft, MouseShiftState(m.WParam), p.X, p.Y);
      return;
    }
    case WM_RBUTTONUP: MouseUp(mbRight, MouseShiftState(m.WParam), p.X, p.Y); return;
    case WM_MBUTTONUP: MouseUp(mbMiddle, MouseShiftState(m.WParam), p.X, p.Y); return;
    case WM_MOUSEMOVE: MouseMove(MouseShiftState(m.WParam), p.X, p.Y); return;
    case CM_MOUSEENTER: FMouseInControl = true; return;
    case CM_MOUSELEAVE: FMouseInControl = false; return;
    case CM_FONTCHANGED:
    case CM_COLORCHANGED:
    case CM_TEXTCHANGED:
    case CM_ENABLEDCHANGED: Invalidate(); return;
    case CM_PARENTFONTCHANGED:
      if (FParentFont && FParent) {
        FChangingParentFont = true;
        const auto cleanup = win::ScopeExit([&] { FChangingParentFont = false; });
        FFont->Assign(FParent->Font());
      }
      return;
    case CM_PARENTCOLORCHANGED:
      if (FParentColor && FParent && FColor != FParent->Color()) {
        FColor = FParent->Color();
        Perform(CM_COLORCHANGED);
      }
      return;
    default: DefaultHandler(m);
  }
}

void TControl::DefaultHandler(TMessage& Message) {
  switch (Message.Msg) {
    case WM_GETTEXTLENGTH: Message.Result = static_cast<LRESULT>(FText.size()); break;
    default: break;
  }
}

// ---------------------------------------------------------------- TGraphicControl

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), FCanvas(new TCanvas) {}

TGraphicControl::~TGraphicControl() { Destroying(); }

void TGraphicControl::PaintOn(HDC dc) {
  TCanvasScope scope(FCanvas.get(), dc);
  FCanvas->Font()->Assign(FFont.get());
  FCanvas->Brush()->SetColor(FColor);
  Paint();
}

void TGraphicControl::Dispatch(TMessage& Message) { TControl::Dispatch(Message); }

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
  FObjectInstance = MakeProcInstance(
      [this](HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) { return MainWndProc(hwnd, msg, wParam, lParam); });
  if (!FObjectInstance) throw std::runtime_error("Out of system resources");
  FDefWndProc = DefWindowProcA;
  FColor = clBtnFace;
}

TWinControl::~TWinControl() {
  Destroying();
  if (TCustomForm* form = GetParentForm(this); form && form != this) form->DefocusControl(this, true);
  // Leave the parent while still a window control: by ~TControl this object
  // no longer counts as windowed and would stay in the parent's tab order.
  if (FParent) FParent->RemoveControl(this);
  if (FHandle) DestroyHandle();
  // Children still placed here go with it.
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    RemoveControl(c);
    c->BeforeDestruction();
    delete c;
  }
  if (g_creating == this) g_creating = nullptr;
  FreeProcInstance(FObjectInstance);
  FObjectInstance = nullptr;
}

HWND TWinControl::Handle() {
  HandleNeeded();
  return FHandle;
}

void TWinControl::HandleNeeded() {
  if (FHandle) return;
  if (FParent) FParent->HandleNeeded();
  if (!FHandle) CreateHandle();
}

void TWinControl::CreateHandle() {
  if (FHandle) return;
  CreateWnd();
  UpdateChildHandles();
  Realign();
}

void TWinControl::UpdateChildHandles() {
  const std::vector<TWinControl*> tabs = FTabList;
  for (TWinControl* c : tabs)
    if (!c->FHandle) c->CreateHandle();
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = FText;
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
  if (FVisible) Params.Style |= WS_VISIBLE;
  if (!FEnabled) Params.Style |= WS_DISABLED;
  if (FTabStop) Params.Style |= WS_TABSTOP;
  Params.X = FLeft, Params.Y = FTop, Params.Width = FWidth, Params.Height = FHeight;
  Params.WndParent = FParent ? FParent->FHandle : nullptr;
  Params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  Params.WinClassName = "VorraWinControl";
}

void TWinControl::CreateWnd() {
  TCreateParams params;
  CreateParams(params);
  if ((params.Style & WS_CHILD) && !params.WndParent)
    throw EInvalidOperation("Control '" + Name() + "' has no parent window");
  WNDCLASSA existing;
  if (!GetClassInfoA(nullptr, params.WinClassName.c_str(), &existing)) {
    WNDCLASSA wc = params.WindowClass;
    wc.lpfnWndProc = InitWndProc;
    wc.lpszClassName = params.WinClassName.c_str();
    if (!RegisterClassA(&wc)) throw std::runtime_error("Cannot register the window class " + params.WinClassName);
  }
  CreateWindowHandle(params);
}

void TWinControl::CreateWindowHandle(const TCreateParams& p) {
  g_creating = this;
  HWND h = CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width,
                           p.Height, p.WndParent, nullptr, nullptr, nullptr);
  if (g_creating == this) g_creating = nullptr;
  if (!h) {
    FHandle = nullptr;
    throw std::runtime_error("Error creating window");
  }
}

LRESULT TWinControl::InitWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWinControl* c = g_creating;
  if (!c) return DefWindowProcA(hwnd, msg, wParam, lParam);
  g_creating = nullptr;
  c->FHandle = hwnd;
  SetPropA(hwnd, kControlProp, static_cast<HANDLE>(c));
  SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(c->FObjectInstance));
  return CallWindowProcA(c->FObjectInstance, hwnd, msg, wParam, lParam);
}

LRESULT TWinControl::MainWndProc(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam, 0};
  // Nothing may unwind into the window layer's dispatch.
  try {
    if (WindowProc)
      WindowProc(m);
    else
      WndProc(m);
  } catch (...) {
    HandleCurrentException(this);
  }
  return m.Result;
}

void TWinControl::DestroyWnd() {
  if (FHandle) DestroyWindow(FHandle);
}

void TWinControl::DestroyHandle() {
  if (!FHandle || FDestroyingHandle) return;
  FDestroyingHandle = true;
  {
    const auto cleanup = win::ScopeExit([&] { FDestroyingHandle = false; });
    DestroyWnd();
  }
  FHandle = nullptr;  // a window that refused to die is no longer ours
}

void TWinControl::RecreateWnd() {
  if (!FHandle) return;
  DestroyHandle();
  HandleNeeded();
}

void TWinControl::InsertControl(TControl* AControl) {
  if (!AControl || AControl->FParent == this) return;
  AControl->FParent = this;
  FControls.push_back(AControl);
  if (AControl->IsWindowed()) FTabList.push_back(static_cast<TWinControl*>(AControl));
  AControl->Perform(CM_PARENTFONTCHANGED);
  AControl->Perform(CM_PARENTCOLORCHANGED);
  if (AControl->IsWindowed()) {
    auto* w = static_cast<TWinControl*>(AControl);
    if (w->FHandle) {
      if (FHandle)
        win::SetParent(w->FHandle, FHandle);
      else
        w->DestroyHandle();
    } else if (FHandle) {
      w->CreateHandle();
    }
  }
  if (AControl->Align() != alNone) Realign();
  AControl->Invalidate();
}

void TWinControl::RemoveControl(TControl* AControl) {
  auto it = std::find(FControls.begin(), FControls.end(), AControl);
  if (it == FControls.end()) return;
  AControl->Invalidate();
  if (AControl->IsWindowed()) {
    auto* w = static_cast<TWinControl*>(AControl);
    // The window belongs to this one's window: it cannot stay without it.
    if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(w, true);
    if (w->FHandle && !w->ComponentState().Contains(csDestroying)) w->DestroyHandle();
    std::erase(FTabList, w);
  }
  FControls.erase(std::find(FControls.begin(), FControls.end(), AControl));
  AControl->FParent = nullptr;
  if (g_captureControl == AControl) SetCaptureControl(nullptr);
  if (AControl->Align() != alNone && !ComponentState().Contains(csDestroying)) Realign();
}

bool TWinControl::ContainsControl(TControl* AControl) const {
  for (TControl* c = AControl; c; c = c->Parent())
    if (c == this) return true;
  return false;
}

TControl* TWinControl::ControlAtPos(TPoint p, bool AllowDisabled) {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* c = *it;
    if (c->Visible() && (AllowDisabled || c->Enabled()) && c->BoundsRect().Contains(p)) return c;
  }
  return nullptr;
}

void TWinControl::SetTabStop(bool v) {
  if (v == FTabStop) return;
  FTabStop = v;
  if (FHandle) {
    const LONG style = GetWindowLongA(FHandle, GWL_STYLE);
    SetWindowLongA(FHandle, GWL_STYLE, v ? (style | static_cast<LONG>(WS_TABSTOP)) : (style & ~static_cast<LONG>(WS_TABSTOP)));
  }
}

int TWinControl::TabOrder() const {
  if (!FParent) return -1;
  const auto& list = FParent->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int v) {
  if (!FParent) return;
  auto& list = FParent->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  v = std::clamp(v, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + v, this);
}

bool TWinControl::CanFocus() {
  TCustomForm* form = GetParentForm(this);
  if (!form) return false;
  for (TControl* c = this; c && c != form; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return true;
}

bool TWinControl::Focused() { return FHandle && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
  TCustomForm* form = GetParentForm(this);
  if (form && form != this) {
    form->FocusControl(this);
  } else if (Showing()) {
    win::SetFocus(Handle());
  }
}

namespace {
void CollectTabOrder(TWinControl* parent, std::vector<TWinControl*>& out) {
  for (TWinControl* c : parent->TabList()) {
    out.push_back(c);
    CollectTabOrder(c, out);
  }
}
}  // namespace

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop,
                                          bool CheckParent) {
  std::vector<TWinControl*> list;
  CollectTabOrder(this, list);
  if (list.empty()) return nullptr;
  const int n = static_cast<int>(list.size());
  auto it = std::find(list.begin(), list.end(), CurControl);
  int start = it == list.end() ? (GoForward ? n - 1 : 0) : static_cast<int>(it - list.begin());
  for (int step = 1; step <= n; ++step) {
    const int i = ((start + (GoForward ? step : -step)) % n + n) % n;
    TWinControl* c = list[static_cast<size_t>(i)];
    if (c == CurControl) continue;
    if (CheckParent && c->Parent() != this) continue;
    if ((!CheckTabStop || c->TabStop()) && c->CanFocus()) return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  if (TWinControl* c = FindNextControl(CurControl, GoForward, CheckTabStop, false)) c->SetFocus();
}

void TWinControl::SetBorderWidth(int v) {
  if (v == FBorderWidth) return;
  FBorderWidth = std::max(v, 0);
  Realign();
  Invalidate();
}

void TWinControl::AdjustClientRect(TRect& r) {
  r.Left += FBorderWidth, r.Top += FBorderWidth, r.Right -= FBorderWidth, r.Bottom -= FBorderWidth;
}

void TWinControl::Realign() {
  if (FAlignLevel || ComponentState().Contains(csDestroying)) return;
  bool any = false;
  for (TControl* c : FControls) any = any || c->Align() != alNone;
  if (!any) return;
  ++FAlignLevel;
  const auto cleanup = win::ScopeExit([&] { --FAlignLevel; });
  TRect r = ClientRect();
  AdjustClientRect(r);
  AlignControls(nullptr, r);
}

void TWinControl::AlignControls(TControl*, TRect& r) {
  for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) {
    std::vector<TControl*> list;
    for (TControl* c : FControls)
      if (c->Align() == a && c->Visible()) list.push_back(c);
    // Earlier positions stay nearer the edge they are aligned to.
    std::stable_sort(list.begin(), list.end(), [a](TControl* x, TControl* y) {
      switch (a) {
        case alTop: return x->Top() < y->Top();
        case alBottom: return x->Top() + x->Height() > y->Top() + y->Height();
        case alLeft: return x->Left() < y->Left();
        case alRight: return x->Left() + x->Width() > y->Left() + y->Width();
        default: return false;
      }
    });
    for (TControl* c : list) {
      switch (a) {
        case alTop:
          c->SetBounds(r.Left, r.Top, r.Width(), c->Height());
          r.Top += c->Height();
          break;
        case alBottom:
          c->SetBounds(r.Left, r.Bottom - c->Height(), r.Width(), c->Height());
          r.Bottom -= c->Height();
          break;
        case alLeft:
          c->SetBounds(r.Left, r.Top, c->Width(), r.Height());
          r.Left += c->Width();
          break;
        case alRight:
          c->SetBounds(r.Right - c->Width(), r.Top, c->Width(), r.Height());
          r.Right -= c->Width();
          break;
        case alClient: c->SetBounds(r.Left, r.Top, r.Width(), r.Height()); break;
        default: break;
      }
    }
  }
}

void TWinControl::Broadcast(TMessage& Message) {
  const std::vector<TControl*> list = FControls;
  for (TControl* c : list) {
    if (std::find(FControls.begin(), FControls.end(), c) == FControls.end()) continue;
    c->WindowProc ? c->WindowProc(Message) : void();
    if (Message.Result != 0) return;
  }
}

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  if (FHandle) {
    // The window's WM_WINDOWPOSCHANGED brings the new bounds back.
    SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    RequestAlign();
    return;
  }
  const bool resized = AWidth != FWidth || AHeight != FHeight;
  FLeft = ALeft, FTop = ATop, FWidth = AWidth, FHeight = AHeight;
  RequestAlign();
  if (resized) {
    Realign();
    Resize();
  }
}

void TWinControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (FHandle) ShowWindow(FHandle, v ? SW_SHOWNOACTIVATE : SW_HIDE);
  Perform(CM_VISIBLECHANGED, v);
  RequestAlign();
}

void TWinControl::SetEnabled(bool v) {
  if (v == FEnabled) return;
  FEnabled = v;
  if (FHandle) EnableWindow(FHandle, v);
  Perform(CM_ENABLEDCHANGED);
}

TRect TWinControl::ClientRect() {
  // A top-level window's frame is the window layer's business: ask it.
  if (!FHandle && !FParent && !ComponentState().Contains(csDestroying)) HandleNeeded();
  if (FHandle) {
    RECT r;
    GetClientRect(FHandle, &r);
    return TRect::From(r);
  }
  return Rect(0, 0, FWidth, FHeight);
}

bool TWinControl::Showing() const { return TControl::Showing(); }

void TWinControl::Invalidate() {
  if (FHandle) InvalidateRect(FHandle, nullptr, TRUE);
}

void TWinControl::Update() {
  if (FHandle) UpdateWindow(FHandle);
}

bool TWinControl::IsControlMouseMsg(TMessage& m) {
  TControl* c = nullptr;
  if (g_captureControl && g_captureControl->Parent() == this)
    c = g_captureControl;
  else if (!GetCapture() || GetCapture() != FHandle || !g_captureControl)
    c = ControlAtPos(PointOf(m.LParam));
  if (!c || c->IsWindowed()) return false;
  const TPoint p = PointOf(m.LParam);
  m.Result = c->Perform(m.Msg, m.WParam, PackPoint(p.X - c->Left(), p.Y - c->Top()));
  return true;
}

void TWinControl::WndProc(TMessage& m) {
  if (IsMouseMsg(m.Msg)) {
    if (IsControlMouseMsg(m)) return;
  } else if (m.Msg == WM_SETFOCUS) {
    TCustomForm* form = GetParentForm(this);
    if (form && form != this && !ComponentState().Contains(csDestroying) && !form->SetFocusedControl(this)) return;
  }
  TControl::WndProc(m);
}

bool TWinControl::DoKeyDown(TMessage& m) {
  WORD key = static_cast<WORD>(m.WParam);
  const TShiftState shift = KeyboardShiftState();
  TCustomForm* form = GetParentForm(this);
  if (form && form != this && form->KeyPreview() && form->OnKeyDown) {
    form->OnKeyDown(form, key, shift);
    if (key == 0) return true;
  }
  if (OnKeyDown) OnKeyDown(this, key, shift);
  if (key == 0) return true;
  // Dialog keys the control does not want go to the form (Tab, Enter, Esc, arrows).
  const bool arrow = key >= VK_LEFT && key <= VK_DOWN;
  if (key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE || arrow) {
    const LRESULT code = Perform(WM_GETDLGCODE, key);
    bool wants = (code & DLGC_WANTALLKEYS) != 0;
    if (key == VK_TAB) wants = wants || (code & DLGC_WANTTAB);
    if (arrow) wants = wants || (code & DLGC_WANTARROWS);
    if (!wants && form && !shift.Contains(ssAlt) && form->Perform(CM_DIALOGKEY, key, m.LParam)) return true;
  }
  KeyDown(key, shift);
  m.WParam = key;
  return key == 0;
}

bool TWinControl::DoKeyPress(TMessage& m) {
  char key = static_cast<char>(m.WParam);
  TCustomForm* form = GetParentForm(this);
  if (form && form != this && form->KeyPreview() && form->OnKeyPress) {
    form->OnKeyPress(form, key);
    if (key == 0) return true;
  }
  if (OnKeyPress) OnKeyPress(this, key);
  if (key == 0) return true;
  KeyPress(key);
  m.WParam = static_cast<unsigned char>(key);
  return key == 0;
}

bool TWinControl::DoKeyUp(TMessage& m) {
  WORD key = static_cast<WORD>(m.WParam);
  const TShiftState shift = KeyboardShiftState();
  TCustomForm* form = GetParentForm(this);
  if (form && form != this && form->KeyPreview() && form->OnKeyUp) {
    form->OnKeyUp(form, key, shift);
    if (key == 0) return true;
  }
  if (OnKeyUp) OnKeyUp(this, key, shift);
  if (key == 0) return true;
  KeyUp(key, shift);
  return key == 0;
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_PAINT: PaintHandler(m); return;
    case WM_PRINTCLIENT:
      if (m.WParam) {
        TMessage p{WM_PAINT, m.WParam, 0, 0};
        PaintHandler(p);
      }
      return;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(FHandle, &r);
      HBRUSH b = CreateSolidBrush(ColorToRGB(FColor));
      FillRect(reinterpret_cast<HDC>(m.WParam), &r, b);
      DeleteObject(b);
      m.Result = 1;
      return;
    }
    case WM_WINDOWPOSCHANGED:
    case WM_SIZE:
    case WM_MOVE: {
      DefaultHandler(m);
      if (!FHandle) return;
      RECT r;
      GetWindowRect(FHandle, &r);
      POINT tl{r.left, r.top};
      if ((GetWindowLongA(FHandle, GWL_STYLE) & static_cast<LONG>(WS_CHILD)) && GetParent(FHandle))
        win::ScreenToClient(GetParent(FHandle), &tl);
      const bool resized = (r.right - r.left) != FWidth || (r.bottom - r.top) != FHeight;
      FLeft = tl.x, FTop = tl.y, FWidth = r.right - r.left, FHeight = r.bottom - r.top;
      if (m.Msg == WM_SIZE || resized) {
        Realign();
        if (resized || m.Msg == WM_SIZE) Resize();
      }
      return;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (!DoKeyDown(m)) DefaultHandler(m);
      return;
    case WM_CHAR:
      if (!DoKeyPress(m)) DefaultHandler(m);
      return;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      if (!DoKeyUp(m)) DefaultHandler(m);
      return;
    case WM_SETTEXT: {
      DefaultHandler(m);
      const std::string text = m.LParam ? reinterpret_cast<const char*>(m.LParam) : "";
      if (text != FText) {
        FText = text;
        Perform(CM_TEXTCHANGED);
      }
      return;
    }
    case WM_NCDESTROY:
      DefaultHandler(m);
      if (FHandle) RemovePropA(FHandle, kControlProp);
      FHandle = nullptr;
      return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_MOUSEMOVE:
      DefaultHandler(m);
      TControl::Dispatch(m);
      return;
    case CM_FONTCHANGED: {
      TControl::Dispatch(m);
      TMessage n{CM_PARENTFONTCHANGED, 0, 0, 0};
      Broadcast(n);
      return;
    }
    case CM_COLORCHANGED: {
      TControl::Dispatch(m);
      TMessage n{CM_PARENTCOLORCHANGED, 0, 0, 0};
      Broadcast(n);
      return;
    }
    case CM_DIALOGKEY:
    case CM_DIALOGCHAR:
    case CM_FOCUSCHANGED: Broadcast(m); return;
    case WM_SYSCHAR:
      // Alt+letter: the control whose caption marks that letter acts.
      if (TCustomForm* form = GetParentForm(this)) {
        if (form->Perform(CM_DIALOGCHAR, m.WParam, m.LParam)) return;
      }
      DefaultHandler(m);
      return;
    case CM_ENTER: DoEnter(); return;
    case CM_EXIT: DoExit(); return;
    case CM_ENABLEDCHANGED:
    case CM_TEXTCHANGED: Invalidate(); return;
    default: TControl::Dispatch(m);
  }
}

void TWinControl::DefaultHandler(TMessage& m) {
  if (FHandle && m.Msg < CM_BASE)
    m.Result = CallWindowProcA(FDefWndProc, FHandle, m.Msg, m.WParam, m.LParam);
  else
    TControl::DefaultHandler(m);
}

void TWinControl::PaintHandler(TMessage& m) {
  PAINTSTRUCT ps;
  HDC dc = reinterpret_cast<HDC>(m.WParam);
  const bool own = dc == nullptr;
  if (own) {
    dc = BeginPaint(FHandle, &ps);
    if (!dc) return;
  } else {
    GetClipBox(dc, &ps.rcPaint);
  }
  struct TEnd {
    HWND h;
    PAINTSTRUCT* ps;
    bool own;
    ~TEnd() {
      if (own) EndPaint(h, ps);
    }
  } end{FHandle, &ps, own};
  PaintWindow(dc);
  PaintControls(dc, ps.rcPaint);
}

void TWinControl::PaintControls(HDC dc, const RECT& clip) {
  const std::vector<TControl*> list = FControls;
  const TPoint o = ClientOrigin();
  for (TControl* c : list) {
    if (c->IsWindowed() || !c->Visible()) continue;
    const RECT r{c->Left() + o.X, c->Top() + o.Y, c->Left() + o.X + c->Width(), c->Top() + o.Y + c->Height()};
    if (r.right <= clip.left || r.left >= clip.right || r.bottom <= clip.top || r.top >= clip.bottom) continue;
    POINT old;
    OffsetViewportOrgEx(dc, r.left, r.top, &old);
    struct TRestore {
      HDC dc;
      POINT old;
      ~TRestore() { SetViewportOrgEx(dc, old.x, old.y, nullptr); }
    } restore{dc, old};
    if (auto* g = dynamic_cast<TGraphicControl*>(c)) g->PaintOn(dc);
  }
}

// ---------------------------------------------------------------- TCustomControl

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner), FCanvas(new TCanvas) {}

TCustomControl::~TCustomControl() {
  Destroying();
  // The window goes while Paint can still be called safely on this class.
  if (FHandle) DestroyHandle();
}

void TCustomControl::PaintWindow(HDC dc) {
  TCanvasScope scope(FCanvas.get(), dc);
  FCanvas->Font()->Assign(FFont.get());
  FCanvas->Brush()->SetColor(FColor);
  Paint();
}

}  // namespace vorra
