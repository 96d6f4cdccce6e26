#include "framework/Dialogs.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "common/MovieAddress.h"
#include "framework/ComCtrls.h"
#include "framework/DialogHook.h"
#include "framework/Forms.h"
#include "framework/ListControls.h"
#include "framework/StdCtrls.h"
#include "platform/ui/MessageBox.h"

namespace vorra {

namespace {

struct TFormFree {
  void operator()(TCustomForm* f) const {
    if (f && IsLiveForm(f)) f->Free();
  }
};

// A posted message that runs once the modal loop has the form on screen.
constexpr win::UINT WM_DIALOG_SHOWN = win::WM_USER + 0x3D1;

std::string& RememberedFolder() {
  static std::string folder;
  return folder;
}

std::string CurrentFolder() {
  char buf[4096];
  if (::getcwd(buf, sizeof buf)) return IncludeTrailingPathDelimiter(buf);
  return "/";
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return IncludeTrailingPathDelimiter(home && *home ? home : "/");
}

// The parent folder of a folder path ("/a/b/" -> "/a/"); "/" stays.
std::string ParentFolder(const std::string& folder) {
  const std::string trimmed = ExcludeTrailingPathDelimiter(folder);
  if (trimmed.size() <= 1) return "/";
  const auto slash = trimmed.rfind('/');
  return slash == std::string::npos ? std::string("/") : trimmed.substr(0, slash + 1);
}

struct TEntry {
  std::string Name;
  bool Folder = false;
};

// Visible entries of a folder, folders first, each group sorted ignoring case.
std::vector<TEntry> ReadFolder(const std::string& folder, bool files) {
  std::vector<TEntry> out;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return out;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    const bool isFolder = DirectoryExists(IncludeTrailingPathDelimiter(folder) + name);
    if (!isFolder && !files) continue;
    out.push_back(TEntry{name, isFolder});
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end(), [](const TEntry& a, const TEntry& b) {
    if (a.Folder != b.Folder) return a.Folder;
    const int c = CompareText(a.Name, b.Name);
    return c != 0 ? c < 0 : a.Name < b.Name;
  });
  return out;
}

template <class T>
T* Make(TWinControl* parent, int x, int y, int w, int h) {
  auto* c = new T(parent);
  c->SetParent(parent);
  c->SetBounds(x, y, w, h);
  return c;
}

}  // namespace

unsigned OpenOptionsMask(TOpenOptions Options) {
  unsigned mask = 0;
  for (int i = ofReadOnly; i <= ofForceShowHidden; ++i)
    if (Options.Contains(static_cast<TOpenOption>(i))) mask |= 1u << i;
  return mask;
}

std::vector<TFilterItem> ParseFilter(const std::string& Filter) {
  std::vector<TFilterItem> out;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= Filter.size()) {
    const auto bar = Filter.find('|', start);
    parts.push_back(Filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  if (Filter.empty()) return out;
  for (std::size_t i = 0; i < parts.size(); i += 2) {
    // A description without a mask shows everything.
    out.push_back(TFilterItem{parts[i], i + 1 < parts.size() && !parts[i + 1].empty() ? parts[i + 1] : "*"});
  }
  return out;
}

bool MatchesMask(const std::string& Name, const std::string& Mask) {
  const std::string name = AnsiLowerCase(Name);
  std::size_t start = 0;
  while (start <= Mask.size()) {
    const auto semi = Mask.find(';', start);
    const std::string one = Trim(Mask.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (!one.empty() && win::MatchesWildcard(name, AnsiLowerCase(one))) return true;
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  return false;
}

// --- TSaveDialog

namespace {

class TSaveForm : public TForm {
 public:
  TSaveForm(TSaveDialog* Dialog, const std::string& Folder, const std::string& Name)
      : TForm(nullptr), FDialog(Dialog), FFilters(ParseFilter(Dialog->Filter())) {
    SetCaption(Dialog->Title().empty() ? "Save As" : Dialog->Title());
    SetBorderStyle(Dialog->Options().Contains(ofEnableSizing) ? bsSizeable : bsDialog);
    SetBorderIcons(TBorderIcons{biSystemMenu});
    SetPosition(poScreenCenter);
    SetClientWidth(440);
    SetClientHeight(300);

    FInLabel = Make<TLabel>(this, 8, 12, 60, 13);
    FInLabel->SetCaption("Save &in:");
    FFolderEdit = Make<TEdit>(this, 72, 8, 300, 21);
    FFolderEdit->SetReadOnly(true);
    FFolderEdit->SetTabStop(false);
    FUp = Make<TButton>(this, 380, 8, 52, 21);
    FUp->SetCaption("Up");
    FUp->SetTabStop(false);
    FUp->OnClick = [this](TObject*) { Navigate(ParentFolder(FFolder)); };

    FList = Make<TListBox>(this, 8, 36, 424, 190);
    FList->OnClick = [this](TObject*) { ListClicked(); };
    FList->OnDblClick = [this](TObject*) { ListOpened(); };

    FNameLabel = Make<TLabel>(this, 8, 240, 80, 13);
    FNameLabel->SetCaption("File &name:");
    FName = Make<TEdit>(this, 96, 236, 250, 21);
    FName->SetText(Name);
    FTypeLabel = Make<TLabel>(this, 8, 268, 80, 13);
    FTypeLabel->SetCaption("Save as &type:");
    FType = Make<TComboBox>(this, 96, 264, 250, 21);
    FType->SetStyle(csDropDownList);
    for (const TFilterItem& f : FFilters) FType->Items()->Add(f.Description);
    if (!FFilters.empty())
      FType->SetItemIndex(std::clamp(Dialog->FilterIndex(), 1, static_cast<int>(FFilters.size())) - 1);
    FType->OnChange = [this](TObject*) { Fill(); };

    FSave = Make<TButton>(this, 356, 236, 76, 23);
    FSave->SetCaption("&Save");
    FSave->SetDefault(true);
    FSave->OnClick = [this](TObject*) { SaveClicked(); };
    FCancel = Make<TButton>(this, 356, 264, 76, 23);
    FCancel->SetCaption("Cancel");
    FCancel->SetCancel(true);
    FCancel->SetModalResult(mrCancel);

    // A resizable dialog keeps its list filling the middle and the rest at the edges.
    OnResize = [this](TObject*) { Layout(); };
    SetActiveControl(FName);
    OnShow = [this](TObject*) {
      if (HandleAllocated()) win::PostMessageA(Handle(), WM_DIALOG_SHOWN, 0, 0);
    };
    Navigate(Folder);
  }

  const std::string& Folder() const { return FFolder; }
  const std::string& Chosen() const { return FChosen; }
  int TypeIndex() const { return FType->ItemIndex(); }

 protected:
  void Dispatch(TMessage& Message) override {
    if (Message.Msg == WM_DIALOG_SHOWN) {
      if (FDialog->OnShow) FDialog->OnShow(FDialog);
      return;
    }
    TForm::Dispatch(Message);
  }

 private:
  void Layout() {
    const int w = std::max(ClientWidth(), 300);
    const int h = std::max(ClientHeight(), 200);
    FInLabel->SetBounds(8, 12, 60, 13);
    FFolderEdit->SetBounds(72, 8, w - 140, 21);
    FUp->SetBounds(w - 60, 8, 52, 21);
    FList->SetBounds(8, 36, w - 16, h - 110);
    FNameLabel->SetBounds(8, h - 60, 80, 13);
    FName->SetBounds(96, h - 64, w - 190, 21);
    FTypeLabel->SetBounds(8, h - 32, 80, 13);
    FType->SetBounds(96, h - 36, w - 190, 21);
    FSave->SetBounds(w - 84, h - 64, 76, 23);
    FCancel->SetBounds(w - 84, h - 36, 76, 23);
  }

  std::string Mask() const {
    const int i = FType->ItemIndex();
    if (!FMaskOverride.empty()) return FMaskOverride;
    return i >= 0 && i < static_cast<int>(FFilters.size()) ? FFilters[static_cast<std::size_t>(i)].Mask : "*";
  }

  void Navigate(const std::string& folder) {
    FFolder = IncludeTrailingPathDelimiter(folder);
    FFolderEdit->SetText(FFolder);
    FMaskOverride.clear();
    Fill();
  }

  void Fill() {
    TStrings* items = FList->Items();
    items->BeginUpdate();
    items->Clear();
    FEntries.clear();
    if (FFolder != "/") FEntries.push_back(TEntry{"..", true});
    for (const TEntry& e : ReadFolder(FFolder, true))
      if (e.Folder || MatchesMask(e.Name, Mask())) FEntries.push_back(e);
    for (const TEntry& e : FEntries) items->Add(e.Folder ? e.Name + "/" : e.Name);
    items->EndUpdate();
  }

  const TEntry* Selected() const {
    const int i = FList->ItemIndex();
    return i >= 0 && i < static_cast<int>(FEntries.size()) ? &FEntries[static_cast<std::size_t>(i)] : nullptr;
  }

  void Open(const TEntry& e) {
    Navigate(e.Name == ".." ? ParentFolder(FFolder) : FFolder + e.Name);
  }

  void ListClicked() {
    if (const TEntry* e = Selected(); e && !e->Folder) FName->SetText(e->Name);
  }

  void ListOpened() {
    const TEntry* e = Selected();
    if (!e) return;
    if (e->Folder) {
      const TEntry copy = *e;
      Open(copy);
    } else {
      FName->SetText(e->Name);
      SaveClicked();
    }
  }

  void SaveClicked() {
    // Enter on a folder in the list opens it, as the system dialog does.
    if (ActiveControl() == FList) {
      if (const TEntry* e = Selected(); e && e->Folder) {
        const TEntry copy = *e;
        Open(copy);
        return;
      }
    }
    const std::string typed = Trim(FName->Text());
    if (typed.empty()) return;
    const std::string whole = typed[0] == '/' ? typed : FFolder + typed;
    if (typed == ".." || DirectoryExists(whole)) {
      Navigate(typed == ".." ? ParentFolder(FFolder) : whole);
      FName->SetText("");
      return;
    }
    if (typed.find_first_of("*?") != std::string::npos) {
      FMaskOverride = typed;
      Fill();
      return;
    }
    const std::string path = FDialog->CompleteName(FFolder, typed);
    const std::string caption = Caption();
    if (FDialog->Options().Contains(ofPathMustExist) && !DirectoryExists(ExtractFilePath(path))) {
      const std::string text = path + "\nPath does not exist.\nCheck the path and try again.";
      win::MessageBoxA(Handle(), text.c_str(), caption.c_str(), win::MB_OK | win::MB_ICONWARNING);
      return;
    }
    if (FDialog->Options().Contains(ofOverwritePrompt) && FileExists(path)) {
      const std::string text = path + " already exists.\nDo you want to replace it?";
      if (win::MessageBoxA(Handle(), text.c_str(), caption.c_str(), win::MB_YESNO | win::MB_ICONWARNING) != win::IDYES)
        return;
    }
    FChosen = path;
    SetModalResult(mrOk);
  }

  TSaveDialog* FDialog;
  std::vector<TFilterItem> FFilters;
  std::vector<TEntry> FEntries;
  std::string FFolder;
  std::string FMaskOverride;
  std::string FChosen;
  TLabel* FInLabel = nullptr;
  TLabel* FNameLabel = nullptr;
  TLabel* FTypeLabel = nullptr;
  TButton* FCancel = nullptr;
  TEdit* FFolderEdit = nullptr;
  TButton* FUp = nullptr;
  TListBox* FList = nullptr;
  TEdit* FName = nullptr;
  TComboBox* FType = nullptr;
  TButton* FSave = nullptr;
};

}  // namespace

TSaveDialog::TSaveDialog(TComponent* AOwner) : TComponent(AOwner) {}

std::string TSaveDialog::LastFolder() { return RememberedFolder(); }
void TSaveDialog::SetLastFolder(const std::string& Folder) { RememberedFolder() = Folder; }

std::string TSaveDialog::StartFolder() const {
  const std::string path = ExtractFilePath(FFileName);
  if (!path.empty() && path[0] == '/' && DirectoryExists(path)) return path;
  if (!FInitialDir.empty() && DirectoryExists(FInitialDir)) return IncludeTrailingPathDelimiter(FInitialDir);
  if (!RememberedFolder().empty() && DirectoryExists(RememberedFolder())) return RememberedFolder();
  return CurrentFolder();
}

std::string TSaveDialog::CompleteName(const std::string& Folder, const std::string& Typed) const {
  std::string path = !Typed.empty() && Typed[0] == '/' ? Typed : IncludeTrailingPathDelimiter(Folder) + Typed;
  if (!FDefaultExt.empty() && ExtractFileExt(path).empty()) {
    std::string ext = FDefaultExt;
    if (ext[0] == '.') ext.erase(0, 1);
    path += "." + ext;
  }
  return path;
}

bool TSaveDialog::Execute() {
  const std::string folder = StartFolder();
  const std::string name = ExtractFileName(FFileName);
  if (const TDialogHook hook = DialogHook()) {
    TDialogRequest req;
    req.Kind = TDialogKind::dkSaveDialog;
    req.Caption = FTitle.empty() ? "Save As" : FTitle;
    req.Type = OpenOptionsMask(FOptions);
    req.InitialDir = folder;
    req.FileName = name;
    req.Filter = FFilter;
    req.DefaultExt = FDefaultExt;
    const TDialogAnswer answer = hook(req);
    // mrNone: the hook leaves this dialog to the user.
    if (answer.Result != 0) {
      if (answer.Result != 1 /* mrOk */ || answer.Path.empty()) {
        RememberedFolder() = folder;
        return false;
      }
      FFileName = CompleteName(folder, answer.Path);
      RememberedFolder() = ExtractFilePath(FFileName);
      return true;
    }
  }
  std::unique_ptr<TSaveForm, TFormFree> form(new TSaveForm(this, folder, name));
  const TModalResult result = form->ShowModal();
  RememberedFolder() = form->Folder();
  if (result != mrOk) return false;
  FFileName = form->Chosen();
  if (form->TypeIndex() >= 0) FFilterIndex = form->TypeIndex() + 1;
  return true;
}

// --- the folder browser

namespace {

class TBrowseForm : public TForm {
 public:
  TBrowseForm(const std::string& Title, const std::string& Root) : TForm(nullptr), FRoot(Root) {
    SetCaption("Browse for Folder");
    SetBorderStyle(bsDialog);
    SetBorderIcons(TBorderIcons{biSystemMenu});
    SetPosition(poScreenCenter);
    SetClientWidth(320);
    SetClientHeight(330);
    auto* title = Make<TLabel>(this, 10, 10, 300, 26);
    title->SetWordWrap(true);
    title->SetShowAccelChar(false);
    title->SetCaption(Title);
    FPathLabel = Make<TLabel>(this, 10, 40, 300, 13);
    FPathLabel->SetShowAccelChar(false);
    FList = Make<TListBox>(this, 10, 58, 300, 226);
    FList->OnClick = [this](TObject*) { UpdateOk(); };
    FList->OnDblClick = [this](TObject*) { OpenSelected(); };
    FOk = Make<TButton>(this, 150, 296, 75, 23);
    FOk->SetCaption("OK");
    FOk->SetDefault(true);
    FOk->OnClick = [this](TObject*) { OkClicked(); };
    auto* cancel = Make<TButton>(this, 235, 296, 75, 23);
    cancel->SetCaption("Cancel");
    cancel->SetCancel(true);
    cancel->SetModalResult(mrCancel);
    SetActiveControl(FList);
    Navigate(Root);
  }

  const std::string& Chosen() const { return FChosen; }

 private:
  // "" is the desktop: the user's home and the file system's root.
  void Navigate(const std::string& folder) {
    FFolder = folder.empty() ? std::string() : IncludeTrailingPathDelimiter(folder);
    FEntries.clear();
    TStrings* items = FList->Items();
    items->BeginUpdate();
    items->Clear();
    if (FFolder.empty()) {
      FEntries = {HomeFolder(), "/"};
      items->Add("Home (" + ExcludeTrailingPathDelimiter(HomeFolder()) + ")");
      items->Add("File System (/)");
    } else {
      if (FFolder != IncludeTrailingPathDelimiter(FRoot.empty() ? "/" : FRoot) || FRoot.empty()) {
        FEntries.push_back("..");
        items->Add("..");
      }
      for (const TEntry& e : ReadFolder(FFolder, false)) {
        FEntries.push_back(FFolder + e.Name);
        items->Add(e.Name);
      }
    }
    items->EndUpdate();
    FPathLabel->SetCaption(FFolder.empty() ? "Desktop" : FFolder);
    UpdateOk();
  }

  std::string SelectedPath() const {
    const int i = FList->ItemIndex();
    if (i >= 0 && i < static_cast<int>(FEntries.size()) && FEntries[static_cast<std::size_t>(i)] != "..")
      return FEntries[static_cast<std::size_t>(i)];
    return FFolder;
  }

  void UpdateOk() { FOk->SetEnabled(!SelectedPath().empty()); }

  void OpenSelected() {
    const int i = FList->ItemIndex();
    if (i < 0 || i >= static_cast<int>(FEntries.size())) return;
    const std::string target = FEntries[static_cast<std::size_t>(i)];
    if (target == "..") {
      // Above "/" or the home folder's parents lies the desktop, when no root is set.
      Navigate(FFolder == "/" && FRoot.empty() ? std::string() : ParentFolder(FFolder));
    } else {
      Navigate(target);
    }
  }

  void OkClicked() {
    if (ActiveControl() == FList && FList->ItemIndex() >= 0 &&
        FEntries[static_cast<std::size_t>(FList->ItemIndex())] == "..") {
      OpenSelected();
      return;
    }
    const std::string path = SelectedPath();
    if (path.empty()) return;
    FChosen = path.size() > 1 ? ExcludeTrailingPathDelimiter(path) : path;
    SetModalResult(mrOk);
  }

  std::string FRoot;
  std::string FFolder;
  std::vector<std::string> FEntries;
  std::string FChosen;
  TLabel* FPathLabel = nullptr;
  TListBox* FList = nullptr;
  TButton* FOk = nullptr;
};

}  // namespace

bool TFolderBrowserUI::BrowseForFolder(win::HWND owner, const std::string& title, const std::string& root,
                                       win::UINT flags, std::string& path) {
  if (const TDialogHook hook = DialogHook()) {
    TDialogRequest req;
    req.Kind = TDialogKind::dkFolderBrowser;
    req.Caption = title;
    req.Type = flags;
    req.InitialDir = root;
    const TDialogAnswer answer = hook(req);
    if (answer.Result != 0) {
      if (answer.Result != 1 /* mrOk */) return false;
      path = answer.Path;
      return true;
    }
  }
  std::unique_ptr<TBrowseForm, TFormFree> form(new TBrowseForm(title, root));
  if (form->ShowModal() != mrOk) return false;
  path = form->Chosen();
  return true;
}

// --- the shell operations' UI

TProgressForm::TProgressForm(const std::string& Title) : TForm(nullptr) {
  SetCaption(Title);
  SetBorderStyle(bsDialog);
  SetBorderIcons(TBorderIcons{});
  SetPosition(poScreenCenter);
  SetClientWidth(320);
  SetClientHeight(90);
  FLabel = Make<TLabel>(this, 12, 12, 296, 13);
  FLabel->SetShowAccelChar(false);
  FBar = Make<TProgressBar>(this, 12, 32, 296, 16);
  auto* cancel = Make<TButton>(this, 233, 58, 75, 23);
  cancel->SetCaption("Cancel");
  cancel->OnClick = [this](TObject*) { FCancelled = true; };
}

TShellOperationUI::~TShellOperationUI() {
  if (FProgress && IsLiveForm(FProgress)) FProgress->Free();
}

win::TShellAnswer TShellOperationUI::Ask(win::HWND owner, win::TShellQuestion question, const std::string& subject,
                                         std::size_t count) {
  std::string text;
  std::string caption;
  win::UINT type = win::MB_YESNO | win::MB_ICONQUESTION;
  switch (question) {
    case win::TShellQuestion::ReplaceFile:
      caption = "Confirm File Replace";
      text = "This folder already contains a file named '" + ExtractFileName(subject) +
             "'.\n\nWould you like to replace the existing file?";
      type = win::MB_YESNOCANCEL | win::MB_ICONWARNING;
      break;
    case win::TShellQuestion::DeleteItems:
      caption = count > 1 ? "Confirm Multiple File Delete" : "Confirm File Delete";
      text = count > 1 ? Format("Are you sure you want to delete these %zu items?", count)
                       : "Are you sure you want to delete '" + ExtractFileName(subject) + "'?";
      break;
    case win::TShellQuestion::CreateFolder:
      caption = "Confirm Folder Create";
      text = "The folder '" + subject + "' does not exist.\n\nDo you want to create it?";
      break;
  }
  switch (win::MessageBoxA(owner, text.c_str(), caption.c_str(), type)) {
    case win::IDYES: return win::TShellAnswer::Yes;
    case win::IDNO: return win::TShellAnswer::No;
    case win::IDCANCEL: return win::TShellAnswer::Cancel;
    default: return win::TShellAnswer::Cancel;
  }
}

void TShellOperationUI::ShowError(win::HWND owner, const std::string& text) {
  win::MessageBoxA(owner, text.c_str(), "Error", win::MB_OK | win::MB_ICONERROR);
}

bool TShellOperationUI::ShowProgress(win::HWND owner, std::size_t done, std::size_t total, const std::string& item) {
  if (!FProgress || !IsLiveForm(FProgress)) {
    FProgress = new TProgressForm("Copying...");
    FProgress->Show();
  }
  FProgress->Bar()->SetMax(static_cast<int>(std::max<std::size_t>(total, 1)));
  FProgress->Bar()->SetPosition(static_cast<int>(done));
  FProgress->Label()->SetCaption(item.empty() ? Format("%zu of %zu", done, total) : ExtractFileName(item));
  // Lets the form paint and its Cancel button be pressed while the copy runs.
  const bool running = win::ProcessPendingMessages();
  return running && IsLiveForm(FProgress) && !FProgress->Cancelled();
}

void TShellOperationUI::EndProgress(win::HWND owner) {
  if (FProgress && IsLiveForm(FProgress)) FProgress->Free();
  FProgress = nullptr;
}

void InstallShellDialogs() {
  static TFolderBrowserUI browser;
  static TShellOperationUI shell;
  win::SetBrowseFolderUI(&browser);
  win::SetShellOperationUI(&shell);
}

}  // namespace vorra
