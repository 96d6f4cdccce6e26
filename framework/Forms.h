// Forms and the application object: top-level windows built in code (the
// constructor creates the form's components), shown modeless or modal, and
// the message loop that runs until the main form closes. Errors escaping
// event handlers end up in TApplication::HandleException, which shows them.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Set.h"

namespace vorra {

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TPosition {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter
};
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStateItem { fsCreating, fsVisible, fsShowing, fsModal, fsActivated };
using TFormState = TSet<TFormStateItem>;

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;
inline constexpr TModalResult mrNoToAll = 9;
inline constexpr TModalResult mrYesToAll = 10;
inline constexpr TModalResult mrClose = 11;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TCustomForm : public TCustomControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  // Ends the build: Loaded on every component made in the constructor,
  // then OnCreate. CreateForm and the first Show or ShowModal call it.
  void AfterConstruction();
  // Hides the form and runs OnDestroy while the derived form still stands.
  void BeforeDestruction() override;

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle v);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons v);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition v) { FPosition = v; }
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool v) { FKeyPreview = v; }
  TWindowState WindowState() const;
  void SetWindowState(TWindowState v);
  TFormState FormState() const { return FFormState; }
  bool Active() const { return FActive; }

  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* v);
  // Called by controls: moves the focus (and OnExit/OnEnter) to Control.
  void FocusControl(TWinControl* Control);
  // WM_SETFOCUS of a control on this form: OnExit of the old one, OnEnter of the new.
  bool SetFocusedControl(TWinControl* Control);
  // A control that goes away must not stay the active one.
  void DefocusControl(TWinControl* Control, bool Removing);

  void SetVisible(bool v) override;
  void Show();
  void Close();
  bool CloseQuery();
  // Frees the form once the messages waiting now are handled.
  void Release();
  TModalResult ShowModal();
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void Dispatch(TMessage& Message) override;
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void DoClose(TCloseAction& Action);
  virtual void DoShow();
  virtual void DoHide();
  virtual void Activate();
  virtual void Deactivate();
  void ApplyPosition();
  void CloseModal();

  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TPosition FPosition = poDesigned;
  bool FKeyPreview = false;
  TWinControl* FActiveControl = nullptr;
  TWinControl* FFocusedControl = nullptr;
  TModalResult FModalResult = mrNone;
  TFormState FFormState;
  TWindowState FWindowState = wsNormal;
  bool FActive = false;
  bool FCreated = false;
  bool FDestroyed = false;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // Program start: picks the display (desktop or headless). Tests leave it
  // out and stay headless.
  void Initialize();
  // Makes a form owned by the application, sets Reference before OnCreate
  // runs, and makes the first form the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    T* form = new T(this);
    Reference = form;
    form->AfterConstruction();
    if (!FMainForm) FMainForm = form;
  }
  // Shows the main form and handles messages until the application ends.
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Handles the messages that wait now, without waiting.
  void ProcessMessages();
  // Waits for one message and handles it.
  void HandleMessage();
  // Reports the exception being handled (call from a catch block): OnException
  // when set, else ShowException. Never throws.
  void HandleException(TObject* Sender);
  void ShowException(const std::exception& E);
  int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags);

  TCustomForm* MainForm() const { return FMainForm; }
  void SetMainForm(TCustomForm* v) { FMainForm = v; }
  std::string Title() const;
  void SetTitle(const std::string& v) { FTitle = v; }
  bool ShowMainForm() const { return FShowMainForm; }
  void SetShowMainForm(bool v) { FShowMainForm = v; }
  // The hidden window that receives the application's own messages.
  win::HWND Handle();

  // Minimizes or restores the main form (the application as a whole) and
  // tells OnMinimize / OnRestore.
  void Minimize();
  void Restore();

  TExceptionEvent OnException;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;

  // Frees the forms and components the application owns and forgets the
  // main form, so the application can start afresh (tests, restarts).
  void Shutdown();
  // Called by forms.
  void ReleaseForm(TCustomForm* Form);
  void FormDestroyed(TCustomForm* Form);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  bool ProcessMessage(win::MSG& m);
  void WndProc(TMessage& m);
  TCustomForm* FMainForm = nullptr;
  std::string FTitle;
  bool FTerminated = false;
  bool FShowMainForm = true;
  bool FHandlingException = false;
  win::HWND FHandle = nullptr;
  std::vector<TCustomForm*> FReleased;
};

extern TApplication* Application;

// A hidden window whose messages go to Method (which sets the result and
// calls DefWindowProcA itself for what it does not handle); exceptions go
// to the application.
win::HWND AllocateHWnd(std::function<void(TMessage&)> Method);
void DeallocateHWnd(win::HWND Wnd);

// Whether a form is still alive (not yet freed).
bool IsLiveForm(const TCustomForm* Form);

}  // namespace vorra
