#include "framework/Forms.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/ExtCtrls.h"
#include "framework/StdCtrls.h"
#include "tests/framework/FormTestSupport.h"

namespace vorra {
namespace {

using namespace win;
using test::TFormTest;

// A form built in code, as the program's forms are.
class TDialogForm : public TForm {
 public:
  explicit TDialogForm(TComponent* AOwner, std::vector<std::string>* log = nullptr) : TForm(AOwner), log_(log) {
    SetCaption("Dialog");
    SetBorderStyle(bsDialog);
    SetClientWidth(300);
    SetClientHeight(120);
    Edit1 = new TEdit(this);
    Edit1->SetParent(this);
    Edit1->SetBounds(10, 10, 200, 21);
    btnOk = new TButton(this);
    btnOk->SetParent(this);
    btnOk->SetBounds(60, 80, 75, 25);
    btnOk->SetCaption("OK");
    btnOk->SetModalResult(mrOk);
    btnOk->SetDefault(true);
    btnCancel = new TButton(this);
    btnCancel->SetParent(this);
    btnCancel->SetBounds(150, 80, 75, 25);
    btnCancel->SetCaption("Cancel");
    btnCancel->SetModalResult(mrCancel);
    btnCancel->SetCancel(true);
    OnCreate = [this](TObject*) { Note("create"); };
    OnShow = [this](TObject*) { Note("show"); };
    OnHide = [this](TObject*) { Note("hide"); };
    OnDestroy = [this](TObject*) { Note("destroy " + Caption()); };
  }
  void Note(const std::string& s) {
    if (log_) log_->push_back(s);
  }
  TEdit* Edit1;
  TButton* btnOk;
  TButton* btnCancel;

 private:
  std::vector<std::string>* log_;
};

struct TFree {
  void operator()(TCustomForm* f) const {
    if (IsLiveForm(f)) f->Free();
  }
};
template <class T>
using TFormPtr = std::unique_ptr<T, TFree>;

class FormsTest : public TFormTest {};

TEST_F(FormsTest, ShowModalEndsWithTheClickedButtonsModalResultAndLetsTheOtherWindowsBack) {
  TFormPtr<TForm> main(new TForm(nullptr));
  main->Show();
  ASSERT_TRUE(IsWindowEnabled(main->Handle()));
  TFormPtr<TDialogForm> dlg(new TDialogForm(nullptr));
  bool mainDisabled = false;
  Later([&] {
    mainDisabled = !IsWindowEnabled(main->Handle());
    Click(dlg->btnOk);
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_TRUE(mainDisabled);
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  EXPECT_FALSE(dlg->Visible());
  EXPECT_FALSE(IsWindowVisible(dlg->Handle()));
  // A second round starts from mrNone and ends with the other button.
  Later([&] { Click(dlg->btnCancel); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  EXPECT_THROW(
      {
        dlg->Show();
        dlg->ShowModal();
      },
      EInvalidOperation);
}

TEST_F(FormsTest, CloseAndTheWindowsCloseRequestEndAModalFormWithCancel) {
  TFormPtr<TDialogForm> dlg(new TDialogForm(nullptr));
  Later([&] { dlg->Close(); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  Later([&] { PostMessageA(dlg->Handle(), WM_CLOSE, 0, 0); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
}

TEST_F(FormsTest, OnCloseQueryCanRefuseAndOnCloseSeesTheAction) {
  TFormPtr<TDialogForm> dlg(new TDialogForm(nullptr));
  int queries = 0;
  std::vector<TCloseAction> actions;
  dlg->OnCloseQuery = [&](TObject* Sender, bool& CanClose) {
    EXPECT_EQ(Sender, dlg.get());
    CanClose = ++queries > 1;
  };
  dlg->OnClose = [&](TObject*, TCloseAction& Action) { actions.push_back(Action); };
  bool stillUp = false;
  Later([&] {
    Click(dlg->btnOk);
    Later([&] {
      stillUp = dlg->Visible() && IsWindowVisible(dlg->Handle());
      EXPECT_EQ(dlg->ModalResult(), mrNone);  // the refusal clears it
      Click(dlg->btnOk);
    });
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_TRUE(stillUp);
  EXPECT_EQ(queries, 2);
  EXPECT_EQ(actions, std::vector<TCloseAction>{caHide});

  // A modeless form: caNone keeps it, caHide hides it, caFree frees it later.
  TDialogForm* free = new TDialogForm(nullptr);
  free->Show();
  TCloseAction next = caNone;
  free->OnClose = [&](TObject*, TCloseAction& Action) { Action = next; };
  free->Close();
  EXPECT_TRUE(free->Visible());
  next = caHide;
  free->Close();
  EXPECT_FALSE(free->Visible());
  next = caFree;
  free->Close();
  EXPECT_TRUE(IsLiveForm(free));  // not inside its own handler
  Application->ProcessMessages();
  EXPECT_FALSE(IsLiveForm(free));
}

TEST_F(FormsTest, NestedModalFormsEndInnerFirst) {
  std::vector<std::string> log;
  TFormPtr<TDialogForm> outer(new TDialogForm(nullptr));
  TFormPtr<TDialogForm> inner(new TDialogForm(nullptr));
  inner->SetCaption("Inner");
  inner->SetLeft(400);  // not over the outer one's buttons
  Later([&] {
    Later([&] {
      EXPECT_FALSE(IsWindowEnabled(outer->Handle()));
      // The outer one's button cannot be pressed while the inner one is up.
      Click(outer->btnOk);
      Later([&] { Click(inner->btnCancel); });
    });
    log.push_back("inner returned " + std::to_string(inner->ShowModal()));
    EXPECT_TRUE(IsWindowEnabled(outer->Handle()));
    Click(outer->btnOk);
  });
  log.push_back("outer returned " + std::to_string(outer->ShowModal()));
  EXPECT_EQ(log, (std::vector<std::string>{"inner returned 2", "outer returned 1"}));
}

TEST_F(FormsTest, ClosingTheMainFormEndsRun) {
  TDialogForm* main = nullptr;
  std::vector<std::string> log;
  Application->CreateForm(main);
  ASSERT_EQ(Application->MainForm(), main);
  main->OnShow = [&](TObject*) { log.push_back("show"); };
  main->OnClose = [&](TObject*, TCloseAction& Action) {
    log.push_back("close");
    Action = caFree;  // the main form ends the program whatever the action
  };
  Later([&] { main->Close(); });
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(log, (std::vector<std::string>{"show", "close"}));
  EXPECT_TRUE(IsLiveForm(main));  // the application frees it at its end
  Application->Shutdown();
  EXPECT_FALSE(IsLiveForm(main));
  EXPECT_EQ(Application->MainForm(), nullptr);
}

std::vector<std::string> g_log;
class TProbe;
TProbe* g_probe = nullptr;

// OnCreate runs after the constructor made the components, with the
// application's reference already set, and the components loaded.
class TProbe : public TDialogForm {
 public:
  explicit TProbe(TComponent* o) : TDialogForm(o, &g_log) {
    OnCreate = [this](TObject*) {
      Note(std::string("create ") + (g_probe == this ? "ready" : "early") +
           (Edit1->ComponentState().Contains(csLoading) ? " loading" : ""));
    };
  }
};

TEST_F(FormsTest, CreateShowHideDestroyComeInOrderWithTheComponentsInPlace) {
  g_log.clear();
  Application->CreateForm(g_probe);
  EXPECT_EQ(Application->MainForm(), g_probe);
  g_probe->Show();
  g_probe->Hide();
  g_probe->SetCaption("two");
  Application->Shutdown();
  EXPECT_EQ(g_log, (std::vector<std::string>{"create ready", "show", "hide", "destroy two"}));
  // Freed by hand the same way; a visible form hides first.
  g_log.clear();
  auto* f = new TDialogForm(nullptr, &g_log);
  f->Show();
  f->OnHide = [](TObject*) { g_log.push_back("hidden"); };
  f->Free();
  EXPECT_EQ(g_log, (std::vector<std::string>{"create", "show", "hidden", "destroy Dialog"}));
}

TEST_F(FormsTest, AnExceptionFromAClickHandlerIsShownAndTheLoopGoesOn) {
  TFormPtr<TDialogForm> dlg(new TDialogForm(nullptr));
  int clicks = 0;
  dlg->btnOk->SetModalResult(mrNone);
  dlg->btnOk->OnClick = [&](TObject*) {
    ++clicks;
    throw std::runtime_error("Cannot open the file");
  };
  Later([&] {
    Click(dlg->btnOk);
    Later([&] {
      Click(dlg->btnOk);
      Later([&] { Click(dlg->btnCancel); });
    });
  });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(requests_.size(), 2u);
  EXPECT_EQ(requests_[0].Kind, TDialogKind::dkMessageBox);
  EXPECT_EQ(requests_[0].Text, "Cannot open the file.");
  EXPECT_EQ(requests_[0].Caption, "Vorra Test");
  EXPECT_EQ(requests_[0].Type & MB_ICONMASK, MB_ICONERROR);
  EXPECT_EQ(requests_[0].Type & MB_TYPEMASK, MB_OK);

  // OnException takes the report instead; a text ending in a stop stays as it is.
  std::vector<std::string> seen;
  Application->OnException = [&](TObject* Sender, const std::exception& E) {
    seen.push_back(E.what());
    EXPECT_EQ(Sender, dlg->btnOk);
  };
  dlg->btnOk->OnClick = [&](TObject*) { throw std::runtime_error("x"); };
  Later([&] {
    Click(dlg->btnOk);
    Later([&] { dlg->Close(); });
  });
  dlg->ShowModal();
  EXPECT_EQ(seen, std::vector<std::string>{"x"});
  EXPECT_EQ(requests_.size(), 2u);
  Application->OnException = nullptr;
  try {
    throw std::runtime_error("Done.");
  } catch (...) {
    Application->HandleException(nullptr);
  }
  EXPECT_EQ(requests_.back().Text, "Done.");
  // A class library error that names only what failed is shown with why, in words.
  try {
    throw Exception("Failed to set data for 'x'", win::HRESULT_FROM_WIN32(win::ERROR_ACCESS_DENIED));
  } catch (...) {
    Application->HandleException(nullptr);
  }
  EXPECT_EQ(requests_.back().Text, "Failed to set data for 'x': access denied.");
}

TEST_F(FormsTest, ErrorsInOnCreateAndInAnExceptionHandlerDoNotEscape) {
  Application->OnException = [](TObject*, const std::exception&) { throw std::logic_error("again"); };
  struct TBad : TForm {
    explicit TBad(TComponent* o) : TForm(o) {
      OnCreate = [](TObject*) { throw std::runtime_error("create failed"); };
    }
  };
  TBad* bad = nullptr;
  EXPECT_NO_THROW(Application->CreateForm(bad));
  EXPECT_NE(bad, nullptr);
}

TEST_F(FormsTest, TimerFiresAtItsIntervalWhileTheLoopRuns) {
  TFormPtr<TDialogForm> dlg(new TDialogForm(nullptr));
  auto* timer = new TTimer(dlg.get());
  timer->SetEnabled(false);
  timer->SetInterval(40);
  std::vector<std::chrono::steady_clock::time_point> ticks;
  timer->OnTimer = [&](TObject* Sender) {
    EXPECT_EQ(Sender, timer);
    ticks.push_back(std::chrono::steady_clock::now());
    if (ticks.size() == 3) {
      timer->SetEnabled(false);
      dlg->SetModalResult(mrOk);
    }
  };
  const auto start = std::chrono::steady_clock::now();
  dlg->OnShow = [&](TObject*) { timer->SetEnabled(true); };
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  ASSERT_EQ(ticks.size(), 3u);
  EXPECT_GE(ticks[0] - start, std::chrono::milliseconds(35));
  EXPECT_GE(ticks[2] - ticks[0], std::chrono::milliseconds(75));
  // An error in OnTimer is reported with the timer as the sender.
  TObject* sender = nullptr;
  Application->OnException = [&](TObject* Sender, const std::exception&) {
    sender = Sender;
    timer->SetEnabled(false);
    dlg->SetModalResult(mrAbort);
  };
  timer->OnTimer = [](TObject*) { throw std::runtime_error("tick failed"); };
  timer->SetEnabled(true);
  EXPECT_EQ(dlg->ShowModal(), mrAbort);
  EXPECT_EQ(sender, timer);
  Application->OnException = nullptr;
  ticks.resize(3);
  timer->OnTimer = [&](TObject*) { ticks.push_back({}); };
  // Disabled, it stays quiet through later loops.
  Later([&] { Later([&] { dlg->Close(); }); });
  dlg->ShowModal();
  EXPECT_EQ(ticks.size(), 3u);
}

TEST_F(FormsTest, EnterPressesTheDefaultButtonAndEscapeTheCancelButton) {
  TFormPtr<TDialogForm> dlg(new TDialogForm(nullptr));
  dlg->SetActiveControl(dlg->Edit1);
  Later([&] {
    EXPECT_TRUE(dlg->Edit1->Focused());
    Key(VK_RETURN);
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  Later([&] { Key(VK_ESCAPE); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  // A focused button takes Enter for itself.
  dlg->SetActiveControl(dlg->btnCancel);
  Later([&] { Key(VK_RETURN); });
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  // Space presses the focused button; Tab moves on in tab order.
  dlg->SetActiveControl(dlg->Edit1);
  Later([&] {
    Key(VK_TAB);
    Later([&] {
      EXPECT_TRUE(dlg->btnOk->Focused());
      Key(VK_SPACE);
    });
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
}

TEST_F(FormsTest, ActivationFocusesTheFirstControlAndFocusChangesRunEnterAndExit) {
  TFormPtr<TDialogForm> dlg(new TDialogForm(nullptr));
  std::vector<std::string> log;
  dlg->Edit1->OnEnter = [&](TObject*) { log.push_back("enter edit"); };
  dlg->Edit1->OnExit = [&](TObject*) { log.push_back("exit edit"); };
  dlg->btnOk->OnEnter = [&](TObject*) { log.push_back("enter ok"); };
  dlg->Show();
  EXPECT_EQ(dlg->ActiveControl(), dlg->Edit1);
  EXPECT_TRUE(dlg->Edit1->Focused());
  dlg->btnOk->SetFocus();
  EXPECT_EQ(dlg->ActiveControl(), dlg->btnOk);
  EXPECT_EQ(log, (std::vector<std::string>{"enter edit", "exit edit", "enter ok"}));
  dlg->btnOk->SetEnabled(false);
  EXPECT_THROW(dlg->btnOk->SetFocus(), EInvalidOperation);
  // A freed control does not stay the active one.
  dlg->btnCancel->SetFocus();
  delete dlg->btnCancel;
  EXPECT_EQ(dlg->ActiveControl(), nullptr);
}

TEST_F(FormsTest, PositionScreenCenterCentresOnTheWorkArea) {
  TFormPtr<TForm> f(new TForm(nullptr));
  f->SetBounds(0, 0, 300, 200);
  f->SetPosition(poScreenCenter);
  f->Show();
  RECT wa;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
  RECT r;
  GetWindowRect(f->Handle(), &r);
  EXPECT_EQ(r.left, wa.left + (wa.right - wa.left - 300) / 2);
  EXPECT_EQ(r.top, wa.top + (wa.bottom - wa.top - 200) / 2);
  EXPECT_EQ(f->Left(), r.left);
  // Over the main form; the owner when asked and it is a form.
  TFormPtr<TForm> main(new TForm(nullptr));
  main->SetBounds(10, 20, 500, 400);
  Application->SetMainForm(main.get());
  main->Show();
  TFormPtr<TForm> child(new TForm(nullptr));
  child->SetBounds(0, 0, 100, 50);
  child->SetPosition(poMainFormCenter);
  child->Show();
  EXPECT_EQ(child->Left(), 10 + (500 - 100) / 2);
  EXPECT_EQ(child->Top(), 20 + (400 - 50) / 2);
  Application->SetMainForm(nullptr);
}

TEST_F(FormsTest, ClientSizeAndBorderStyleShapeTheWindow) {
  TFormPtr<TForm> f(new TForm(nullptr));
  f->SetClientWidth(361);
  f->SetClientHeight(90);
  EXPECT_EQ(f->ClientWidth(), 361);
  EXPECT_EQ(f->ClientHeight(), 90);
  EXPECT_GT(f->Width(), 361);
  const HWND before = f->Handle();
  f->SetBorderStyle(bsNone);
  EXPECT_NE(f->Handle(), before);
  EXPECT_FALSE(IsWindow(before));
  EXPECT_EQ(GetWindowLongA(f->Handle(), GWL_STYLE) & static_cast<LONG>(WS_CAPTION), 0);
  f->SetBorderStyle(bsDialog);
  f->SetBorderIcons({});
  EXPECT_EQ(GetWindowLongA(f->Handle(), GWL_STYLE) & static_cast<LONG>(WS_SYSMENU), 0);
  EXPECT_NE(GetWindowLongA(f->Handle(), GWL_EXSTYLE) & static_cast<LONG>(WS_EX_DLGMODALFRAME), 0);
}

TEST_F(FormsTest, MessageBoxWithoutAHookShowsAFormThatTheKeyboardAnswers) {
  TScopedDialogHook none(nullptr);
  Later([&] { Key(VK_RETURN); });
  EXPECT_EQ(MessageBoxA(nullptr, "Delete the entries?", "Vorra", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
  Later([&] { Key(VK_ESCAPE); });
  EXPECT_EQ(MessageBoxA(nullptr, "Saved.", "Vorra", MB_OK | MB_ICONINFORMATION), IDOK);
  Later([&] { Key(VK_ESCAPE); });
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Vorra", MB_YESNOCANCEL), IDCANCEL);
  Later([&] {
    Key(VK_TAB);
    Later([&] { Key(VK_SPACE); });
  });
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Vorra", MB_OKCANCEL), IDCANCEL);
}

TEST_F(FormsTest, MinimizingTheApplicationMinimizesTheMainForm) {
  TDialogForm* main = nullptr;
  Application->CreateForm(main);
  main->Show();
  std::vector<std::string> log;
  Application->OnMinimize = [&](TObject*) { log.push_back("min " + std::to_string(main->WindowState())); };
  Application->OnRestore = [&](TObject*) { log.push_back("restore " + std::to_string(main->WindowState())); };
  Application->Minimize();
  EXPECT_TRUE(IsIconic(main->Handle()));
  Application->Restore();
  EXPECT_FALSE(IsIconic(main->Handle()));
  EXPECT_EQ(log, (std::vector<std::string>{"min 1", "restore 0"}));
}

TEST(MessageBox, WithoutAProviderTheDefaultButtonAnswers) {
  const auto previous = SetMessageBoxProvider(nullptr);
  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OKCANCEL), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "text", "caption", MB_OK | MB_DEFBUTTON3), IDOK);  // no third button
  EXPECT_EQ(MessageBoxA(nullptr, nullptr, nullptr, MB_ABORTRETRYIGNORE | MB_DEFBUTTON3), IDIGNORE);
  SetMessageBoxProvider(previous);
}

}  // namespace
}  // namespace vorra
