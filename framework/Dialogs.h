// The class library's own dialogs: the save dialog, the folder browser that
// answers the shell's SHBrowseForFolderA, and the shell file operations'
// questions and progress. Each asks the dialog hook (DialogHook.h) first, so
// tests answer them without a window.
#pragma once

#include <string>
#include <vector>

#include "framework/ComCtrls.h"
#include "framework/Component.h"
#include "framework/Forms.h"
#include "framework/Set.h"
#include "framework/StdCtrls.h"
#include "framework/SysUtils.h"
#include "platform/shell/BrowseFolder.h"
#include "platform/shell/Shell.h"

namespace vorra {

enum TOpenOption {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing,
  ofDontAddToRecent,
  ofForceShowHidden
};
using TOpenOptions = TSet<TOpenOption>;
// The options as bits (bit n = option n), as the dialog hook sees them.
unsigned OpenOptionsMask(TOpenOptions Options);

// One "description|mask" pair of a filter; masks are separated by ";".
struct TFilterItem {
  std::string Description;
  std::string Mask;
};
std::vector<TFilterItem> ParseFilter(const std::string& Filter);
// Whether a file name matches one of the masks ("*.swf;*.SWF"), ignoring case.
bool MatchesMask(const std::string& Name, const std::string& Mask);

class TSaveDialog : public TComponent {
 public:
  explicit TSaveDialog(TComponent* AOwner);

  // Without a dot; appended (after one) when the chosen name has no extension.
  const std::string& DefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& v) { FDefaultExt = v; }
  // "Text files|*.txt|All|*.*".
  const std::string& Filter() const { return FFilter; }
  void SetFilter(const std::string& v) { FFilter = v; }
  // 1-based; the type the dialog starts with and the one the user chose.
  int FilterIndex() const { return FFilterIndex; }
  void SetFilterIndex(int v) { FFilterIndex = v; }
  // The name offered, and after Execute the chosen file's full path.
  const std::string& FileName() const { return FFileName; }
  void SetFileName(const std::string& v) { FFileName = v; }
  // Where the dialog starts; when empty, the folder it showed last in this
  // process (the current folder the first time).
  const std::string& InitialDir() const { return FInitialDir; }
  void SetInitialDir(const std::string& v) { FInitialDir = v; }
  // "Save As" when empty.
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& v) { FTitle = v; }
  TOpenOptions Options() const { return FOptions; }
  void SetOptions(TOpenOptions v) { FOptions = v; }

  // Shows the dialog modally over the active form; true when the user chose
  // a name (FileName holds it).
  virtual bool Execute();

  // Once the dialog's window is on screen and takes input (not when the
  // dialog hook answers).
  TNotifyEvent OnShow;

  // The folder the dialog showed last in this process ("" before the first).
  static std::string LastFolder();
  static void SetLastFolder(const std::string& Folder);

  // The path the dialog accepts for a name typed in Folder: relative names
  // are taken in Folder, DefaultExt is added to a name without extension.
  std::string CompleteName(const std::string& Folder, const std::string& Typed) const;

 private:
  std::string StartFolder() const;
  std::string FDefaultExt;
  std::string FFilter;
  int FFilterIndex = 1;
  std::string FFileName;
  std::string FInitialDir;
  std::string FTitle;
  TOpenOptions FOptions{ofHideReadOnly, ofEnableSizing};
};

// The class library's folder browser for SHBrowseForFolderA: a modal form
// with the title and a folder list that starts at the desktop (the user's
// home and "/") or at the given root, OK and Cancel.
class TFolderBrowserUI : public win::IBrowseFolderUI {
 public:
  bool BrowseForFolder(win::HWND owner, const std::string& title, const std::string& root, win::UINT flags,
                       std::string& path) override;
};

// The small modeless form of FOF_SIMPLEPROGRESS operations.
class TProgressForm : public TForm {
 public:
  explicit TProgressForm(const std::string& Title);
  TProgressBar* Bar() const { return FBar; }
  TLabel* Label() const { return FLabel; }
  bool Cancelled() const { return FCancelled; }

 private:
  TLabel* FLabel = nullptr;
  TProgressBar* FBar = nullptr;
  bool FCancelled = false;
};

// The shell file operations' UI: questions through MessageBoxA (the replace
// question offers Yes, No and Cancel), errors in an error box, and
// FOF_SIMPLEPROGRESS progress in a small form with a progress bar.
class TShellOperationUI : public win::IShellOperationUI {
 public:
  ~TShellOperationUI() override;
  win::TShellAnswer Ask(win::HWND owner, win::TShellQuestion question, const std::string& subject,
                        std::size_t count) override;
  void ShowError(win::HWND owner, const std::string& text) override;
  bool ShowProgress(win::HWND owner, std::size_t done, std::size_t total, const std::string& item) override;
  void EndProgress(win::HWND owner) override;

  // The progress form while an operation runs (null otherwise).
  TProgressForm* ProgressForm() const { return FProgress; }

 private:
  TProgressForm* FProgress = nullptr;
};

// Installs the class library's folder browser and shell operation UI (the
// application does it at start; tests may too). Answers nothing; safe to
// call more than once.
void InstallShellDialogs();

}  // namespace vorra
