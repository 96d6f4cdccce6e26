#include "framework/Forms.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <utility>

#include "framework/MsgBox.h"
#include "platform/ui/MessageBox.h"
#include "platform/win/ErrorText.h"
#include "platform/win/ScopeGuard.h"
#include "platform/ui/Paint.h"

namespace vorra {

using namespace win;

namespace {

std::set<const TCustomForm*>& LiveForms() {
  static std::set<const TCustomForm*> forms;
  return forms;
}

struct TUtilWindow {
  WNDPROC proc;
};
std::map<HWND, TUtilWindow>& UtilWindows() {
  static std::map<HWND, TUtilWindow> windows;
  return windows;
}
constexpr const char* kUtilClass = "VorraUtilWindow";

std::vector<HWND> DisableTaskWindows(HWND except) {
  std::vector<HWND> disabled;
  for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
    if (h != except && IsWindowVisible(h) && IsWindowEnabled(h)) disabled.push_back(h);
  }
  for (HWND h : disabled) EnableWindow(h, FALSE);
  return disabled;
}

void EnableTaskWindows(const std::vector<HWND>& list) {
  for (HWND h : list)
    if (IsWindow(h)) EnableWindow(h, TRUE);
}

}  // namespace

bool IsLiveForm(const TCustomForm* Form) { return LiveForms().count(Form) != 0; }

void HandleCurrentException(TObject* Sender) {
  if (Application) {
    Application->HandleException(Sender);
    return;
  }
  std::fprintf(stderr, "Unhandled exception\n");
}

HWND AllocateHWnd(std::function<void(TMessage&)> Method) {
  WNDCLASSA existing;
  if (!GetClassInfoA(nullptr, kUtilClass, &existing)) {
    WNDCLASSA wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kUtilClass;
    RegisterClassA(&wc);
  }
  HWND h = CreateWindowExA(0, kUtilClass, "", WS_POPUP, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!h) throw std::runtime_error("Cannot create a utility window");
  WNDPROC proc = MakeProcInstance([method = std::move(Method)](HWND hwnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
    TMessage m{msg, w, l, 0};
    try {
      if (method)
        method(m);
      else
        m.Result = DefWindowProcA(hwnd, msg, w, l);
    } catch (...) {
      HandleCurrentException(nullptr);
    }
    return m.Result;
  });
  if (!proc) {
    DestroyWindow(h);
    throw std::runtime_error("Out of system resources");
  }
  SetWindowLongPtrA(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
  UtilWindows()[h] = TUtilWindow{proc};
  return h;
}

void DeallocateHWnd(HWND Wnd) {
  auto it = UtilWindows().find(Wnd);
  if (it == UtilWindows().end()) return;
  const WNDPROC proc = it->second.proc;
  UtilWindows().erase(it);
  if (IsWindow(Wnd)) {
    SetWindowLongPtrA(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
    DestroyWindow(Wnd);
  }
  FreeProcInstance(proc);
}

// ---------------------------------------------------------------- TCustomForm

TCustomForm::TCustomForm(TComponent* AOwner) : TCustomControl(AOwner) {
  LiveForms().insert(this);
  FVisible = false;
  FColor = clBtnFace;
  FParentFont = false;
  FWidth = 320;
  FHeight = 240;
  FClickEvents = false;
  FFormState.Include(fsCreating);
  // What the derived constructor makes is part of the form's build.
  SetLoading(true);
}

TCustomForm::~TCustomForm() {
  Destroying();
  LiveForms().erase(this);
  if (Application) Application->FormDestroyed(this);
  if (FHandle) DestroyHandle();
}

void TCustomForm::AfterConstruction() {
  if (FCreated) return;
  FCreated = true;
  LoadedTree();
  FFormState.Exclude(fsCreating);
  // An error in OnCreate is shown; the form still comes up.
  try {
    if (OnCreate) OnCreate(this);
  } catch (...) {
    HandleCurrentException(this);
  }
}

void TCustomForm::BeforeDestruction() {
  if (FDestroyed) return;
  FDestroyed = true;
  Destroying();
  try {
    if (FVisible) SetVisible(false);
    if (OnDestroy) OnDestroy(this);
  } catch (...) {
    HandleCurrentException(this);
  }
}

void TCustomForm::SetBorderStyle(TFormBorderStyle v) {
  if (v == FBorderStyle) return;
  FBorderStyle = v;
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons v) {
  if (v == FBorderIcons) return;
  FBorderIcons = v;
  RecreateWnd();
}

void TCustomForm::CreateParams(TCreateParams& p) {
  TCustomControl::CreateParams(p);
  p.Style &= ~(WS_CHILD | WS_GROUP | WS_TABSTOP | WS_VISIBLE);
  p.Style |= WS_CLIPCHILDREN;
  p.WndParent = nullptr;
  p.WinClassName = "VorraForm";
  p.WindowClass.style = CS_DBLCLKS;
  switch (FBorderStyle) {
    case bsNone: p.Style |= WS_POPUP; break;
    case bsSingle: p.Style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable: p.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
      p.Style |= WS_POPUP | WS_CAPTION;
      p.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
    case bsToolWindow:
      p.Style |= WS_CAPTION;
      p.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      p.Style |= WS_CAPTION | WS_THICKFRAME;
      p.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FBorderStyle != bsNone && FBorderIcons.Contains(biSystemMenu)) {
    p.Style |= WS_SYSMENU;
    if (FBorderStyle == bsSingle || FBorderStyle == bsSizeable) {
      if (FBorderIcons.Contains(biMinimize)) p.Style |= WS_MINIMIZEBOX;
      if (FBorderIcons.Contains(biMaximize)) p.Style |= WS_MAXIMIZEBOX;
    }
  }
}

void TCustomForm::CreateWnd() {
  TCustomControl::CreateWnd();
  if (FVisible) ShowWindow(FHandle, FWindowState == wsMaximized   ? SW_SHOWMAXIMIZED
                                    : FWindowState == wsMinimized ? SW_SHOWMINIMIZED
                                                                  : SW_SHOWNORMAL);
}

TWindowState TCustomForm::WindowState() const {
  if (FHandle) {
    if (IsIconic(FHandle)) return wsMinimized;
    if (IsZoomed(FHandle)) return wsMaximized;
    return wsNormal;
  }
  return FWindowState;
}

void TCustomForm::SetWindowState(TWindowState v) {
  FWindowState = v;
  if (FHandle && FVisible)
    ShowWindow(FHandle, v == wsMaximized ? SW_SHOWMAXIMIZED : v == wsMinimized ? SW_MINIMIZE : SW_RESTORE);
}

void TCustomForm::SetActiveControl(TWinControl* v) {
  if (v == FActiveControl) return;
  if (v && (v == this || GetParentForm(v) != this))
    throw EInvalidOperation("Invalid control for the active control");
  FActiveControl = v;
  if (v && FVisible && FHandle && FActive && v->CanFocus()) win::SetFocus(v->Handle());
}

void TCustomForm::FocusControl(TWinControl* Control) {
  if (!Control->CanFocus()) throw EInvalidOperation("Cannot focus a disabled or invisible window");
  FActiveControl = Control;
  if (FVisible && FHandle) win::SetFocus(Control->Handle());
}

bool TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (ComponentState().Contains(csDestroying)) return true;
  FActiveControl = Control;
  if (FFocusedControl == Control) return true;
  TWinControl* old = FFocusedControl;
  FFocusedControl = Control;
  Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Control));
  if (old && !old->ComponentState().Contains(csDestroying)) old->Perform(CM_EXIT);
  // The exit handler may have moved the focus on.
  if (FFocusedControl == Control) Control->Perform(CM_ENTER);
  return true;
}

void TCustomForm::DefocusControl(TWinControl* Control, bool) {
  if (FActiveControl && Control->ContainsControl(FActiveControl)) FActiveControl = nullptr;
  if (FFocusedControl && Control->ContainsControl(FFocusedControl)) FFocusedControl = nullptr;
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove) {
    if (AComponent == FActiveControl) FActiveControl = nullptr;
    if (AComponent == FFocusedControl) FFocusedControl = nullptr;
  }
}

void TCustomForm::ApplyPosition() {
  int x = FLeft, y = FTop;
  const int w = FWidth, h = FHeight;
  RECT wa{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
  auto centreOn = [&](const RECT& r) {
    x = r.left + ((r.right - r.left) - w) / 2;
    y = r.top + ((r.bottom - r.top) - h) / 2;
  };
  auto centreOnForm = [&](TCustomForm* f) {
    if (f && f != this && f->HandleAllocated() && f->Visible()) {
      RECT r;
      GetWindowRect(f->Handle(), &r);
      centreOn(r);
    } else {
      centreOn(wa);
    }
  };
  switch (FPosition) {
    case poScreenCenter: centreOn(wa); break;
    case poDesktopCenter: centreOn(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}); break;
    case poMainFormCenter: centreOnForm(Application ? Application->MainForm() : nullptr); break;
    case poOwnerFormCenter: {
      auto* owner = dynamic_cast<TCustomForm*>(Owner());
      centreOnForm(owner ? owner : (Application ? Application->MainForm() : nullptr));
      break;
    }
    default: return;
  }
  SetBounds(x, y, w, h);
}

void TCustomForm::SetVisible(bool v) {
  AfterConstruction();
  if (v == FVisible) return;
  if (v) {
    HandleNeeded();
    ApplyPosition();
    FVisible = true;
    DoShow();
    if (!FVisible || !FHandle) return;  // OnShow hid or freed the window
    ShowWindow(FHandle, FWindowState == wsMaximized   ? SW_SHOWMAXIMIZED
                        : FWindowState == wsMinimized ? SW_SHOWMINIMIZED
                                                      : SW_SHOWNORMAL);
  } else {
    FVisible = false;
    if (FHandle) ShowWindow(FHandle, SW_HIDE);
    DoHide();
  }
}

void TCustomForm::Show() {
  SetVisible(true);
  if (FHandle) SetActiveWindow(FHandle);
}

void TCustomForm::DoShow() {
  if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::Close() {
  if (FFormState.Contains(fsModal)) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
  } else if (action == caHide) {
    Hide();
  } else if (action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Release();
  }
}

void TCustomForm::Release() {
  if (Application) Application->ReleaseForm(this);
}

void TCustomForm::CloseModal() {
  TCloseAction action = caNone;
  if (CloseQuery()) {
    action = caHide;
    DoClose(action);
  }
  switch (action) {
    case caNone: FModalResult = mrNone; break;
    case caFree: Release(); break;
    default: break;
  }
}

TModalResult TCustomForm::ShowModal() {
  AfterConstruction();
  if (FVisible || !FEnabled || FFormState.Contains(fsModal))
    throw EInvalidOperation("Cannot make a visible window modal");
  SetCaptureControl(nullptr);
  if (GetCapture()) ReleaseCapture();
  HandleNeeded();
  const HWND activeBefore = GetActiveWindow();
  const std::vector<HWND> disabled = DisableTaskWindows(FHandle);
  FFormState.Include(fsModal);
  FModalResult = mrNone;
  auto restore = [&] {
    FFormState.Exclude(fsModal);
    EnableTaskWindows(disabled);
    if (activeBefore && IsWindow(activeBefore)) SetActiveWindow(activeBefore);
  };
  auto onFailure = win::ScopeExit([&] {
    restore();
    if (FHandle) Hide();
  });
  Show();
  const BOOL ended = RunModalLoop([this]() -> bool {
    if (Application && Application->Terminated()) return true;
    if (FModalResult != mrNone) {
      try {
        CloseModal();
      } catch (...) {
        FModalResult = mrNone;
        HandleCurrentException(this);
      }
    }
    return FModalResult != mrNone;
  });
  if (!ended || FModalResult == mrNone) FModalResult = mrCancel;
  onFailure.Dismiss();
  // The other windows come back before this one hides, so one of them takes the activation.
  const TModalResult result = FModalResult;
  restore();
  if (IsLiveForm(this) && FVisible) Hide();
  return result;
}

void TCustomForm::Activate() {
  FActive = true;
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  FActive = false;
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TCustomForm::Dispatch(TMessage& m) {
  switch (m.Msg) {
    case WM_CLOSE:
      Close();
      m.Result = 0;
      return;
    case WM_ACTIVATE: {
      if (LOWORD(m.WParam) != WA_INACTIVE) {
        // The focus goes back to the control that had it, else the first one.
        if (!FActiveControl || !FActiveControl->CanFocus() || GetParentForm(FActiveControl) != this)
          FActiveControl = FindNextControl(nullptr, true, true, false);
        if (FActiveControl && !IsIconic(FHandle))
          win::SetFocus(FActiveControl->Handle());
        else
          DefaultHandler(m);
        Activate();
      } else {
        DefaultHandler(m);
        Deactivate();
      }
      return;
    }
    case WM_SETFOCUS:
      if (FActiveControl && FActiveControl->CanFocus() && FActiveControl->HandleAllocated() &&
          !ComponentState().Contains(csDestroying)) {
        win::SetFocus(FActiveControl->Handle());
        return;
      }
      DefaultHandler(m);
      return;
    case CM_DIALOGKEY: {
      const WORD key = static_cast<WORD>(m.WParam);
      if (key == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
        SelectNext(FActiveControl, GetKeyState(VK_SHIFT) >= 0, true);
        m.Result = 1;
        return;
      }
      TCustomControl::Dispatch(m);  // the buttons: default and cancel
      return;
    }
    case WM_SHOWWINDOW:
      DefaultHandler(m);
      return;
    default: TCustomControl::Dispatch(m);
  }
}

// ---------------------------------------------------------------- TApplication

TApplication* Application = new TApplication;

TApplication::TApplication() : TComponent(nullptr) { InstallMessageBoxProvider(); }

TApplication::~TApplication() {
  Shutdown();
  if (FHandle) DeallocateHWnd(FHandle);
}

void TApplication::Initialize() { InitDisplay(); }

HWND TApplication::Handle() {
  if (!FHandle || !IsWindow(FHandle)) FHandle = AllocateHWnd([this](TMessage& m) { WndProc(m); });
  return FHandle;
}

void TApplication::WndProc(TMessage& m) {
  if (m.Msg == CM_RELEASE) {
    auto* form = reinterpret_cast<TCustomForm*>(m.LParam);
    auto it = std::find(FReleased.begin(), FReleased.end(), form);
    if (it != FReleased.end()) {
      FReleased.erase(it);
      if (IsLiveForm(form)) form->Free();
    }
    return;
  }
  m.Result = DefWindowProcA(FHandle, m.Msg, m.WParam, m.LParam);
}

void TApplication::ReleaseForm(TCustomForm* Form) {
  if (std::find(FReleased.begin(), FReleased.end(), Form) != FReleased.end()) return;
  FReleased.push_back(Form);
  PostMessageA(Handle(), CM_RELEASE, 0, reinterpret_cast<LPARAM>(Form));
}

void TApplication::FormDestroyed(TCustomForm* Form) {
  if (FMainForm == Form) FMainForm = nullptr;
  std::erase(FReleased, Form);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

std::string TApplication::Title() const {
  if (!FTitle.empty()) return FTitle;
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.stem().string();
}

void TApplication::Run() {
  FTerminated = false;
  if (FMainForm && FShowMainForm) FMainForm->Show();
  while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::Minimize() {
  if (FMainForm && FMainForm->HandleAllocated() && !IsIconic(FMainForm->Handle()))
    ShowWindow(FMainForm->Handle(), SW_MINIMIZE);
  if (OnMinimize) OnMinimize(this);
}

void TApplication::Restore() {
  if (FMainForm && FMainForm->HandleAllocated() && IsIconic(FMainForm->Handle()))
    ShowWindow(FMainForm->Handle(), SW_RESTORE);
  if (OnRestore) OnRestore(this);
}

bool TApplication::ProcessMessage(MSG& m) {
  if (m.message == WM_QUIT) {
    FTerminated = true;
    return false;
  }
  try {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  } catch (...) {
    // Procedures outside the library (timer callbacks, raw windows) may throw too.
    HandleException(this);
  }
  return true;
}

void TApplication::HandleMessage() {
  MSG m;
  const BOOL r = GetMessageA(&m, nullptr, 0, 0);
  if (r < 0) {
    FTerminated = true;
    return;
  }
  ProcessMessage(m);
}

void TApplication::ProcessMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (!ProcessMessage(m)) break;
  }
}

void TApplication::HandleException(TObject* Sender) {
  std::exception_ptr e = std::current_exception();
  if (!e || FHandlingException) return;
  FHandlingException = true;
  try {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& ex) {
      if (OnException)
        OnException(Sender, ex);
      else
        ShowException(ex);
    } catch (...) {
      const std::runtime_error ex("Unknown exception");
      if (OnException)
        OnException(Sender, ex);
      else
        ShowException(ex);
    }
  } catch (const std::exception& again) {
    // An error while reporting an error: nothing is left to report it to.
    std::fprintf(stderr, "%s\n", again.what());
  } catch (...) {
  }
  FHandlingException = false;
}

void TApplication::ShowException(const std::exception& E) {
  std::string msg = E.what();
  // Its own errors name what failed; the code behind one says why.
  if (const auto* error = dynamic_cast<const Exception*>(&E); error && error->ErrorCode() != 0) {
    const std::string why = win::ErrorText(error->ErrorCode());
    if (msg.find(why) == std::string::npos) msg += ": " + why;
  }
  // The class library ends the sentence when the text does not.
  if (!msg.empty() && msg.back() > '.') msg += '.';
  MessageBox(msg, Title(), MB_OK | MB_ICONSTOP);
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
  return MessageBoxA(GetActiveWindow(), Text.c_str(), Caption.c_str(), Flags);
}

void TApplication::Shutdown() {
  while (ComponentCount() > 0) {
    TComponent* c = Components(ComponentCount() - 1);
    c->BeforeDestruction();
    if (ComponentCount() > 0 && Components(ComponentCount() - 1) == c) delete c;
  }
  // Forms waiting for release that the application does not own.
  const std::vector<TCustomForm*> released = std::exchange(FReleased, {});
  for (TCustomForm* f : released)
    if (IsLiveForm(f)) f->Free();
  FMainForm = nullptr;
  FTerminated = false;
}

}  // namespace vorra
