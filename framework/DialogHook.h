// Lets tests answer the dialogs the class library would show (message
// boxes, the save dialog, the folder browser), so nothing waits for a person.
#pragma once

#include <functional>
#include <string>
#include <utility>

namespace vorra {

enum class TDialogKind { dkMessageBox, dkSaveDialog, dkOpenDialog, dkFolderBrowser };

// What the dialog would show.
struct TDialogRequest {
  TDialogKind Kind = TDialogKind::dkMessageBox;
  std::string Caption;     // title, or the folder browser's title text
  std::string Text;        // message box text
  unsigned Type = 0;       // MB_ flags of a message box, the options of a file dialog
  std::string InitialDir;  // file dialogs, folder browser
  std::string FileName;    // file dialogs: the name offered
  std::string Filter;      // file dialogs: "Text|*.txt|All|*.*"
  std::string DefaultExt;  // file dialogs
};

// How the dialog was answered: the button ID (IDOK, IDYES...) of a message
// box or the modal result of a dialog (mrOk, mrCancel), and the chosen path.
struct TDialogAnswer {
  int Result = 0;
  std::string Path;
};

using TDialogHook = std::function<TDialogAnswer(const TDialogRequest&)>;

// The hook in force; null means dialogs are shown for real.
inline TDialogHook& DialogHook() {
  static TDialogHook hook;
  return hook;
}

// Installs a hook for a scope and puts the previous one back.
class TScopedDialogHook {
 public:
  explicit TScopedDialogHook(TDialogHook hook) : previous_(std::exchange(DialogHook(), std::move(hook))) {}
  ~TScopedDialogHook() { DialogHook() = std::move(previous_); }
  TScopedDialogHook(const TScopedDialogHook&) = delete;
  TScopedDialogHook& operator=(const TScopedDialogHook&) = delete;

 private:
  TDialogHook previous_;
};

}  // namespace vorra
