#include "main/Main.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "common/MovieAddress.h"
#include "framework/Registry.h"
#include "main/AppFiles.h"
#include "main/DownProgress.h"
#include "main/Settings.h"
#include "platform/shell/BrowseFolder.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/Messages.h"
#include "platform/shell/UserFolders.h"

namespace vorra {

TVorraMainFrm* VorraMainFrm = nullptr;

namespace {

// The notebook's own colour: red 0xF5, green 0xF5, blue 0xEF.
constexpr TColor NotebookColor = 15726069;
constexpr int PreviewWidth = 263, PreviewHeight = 180;

template <class T>
T* Make(TComponent* owner, TWinControl* parent, const char* name, int left, int top, int width, int height) {
  T* c = new T(owner);
  c->SetName(name);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, const char* name, const char* caption, int left, int top) {
  TLabel* l = Make<TLabel>(owner, parent, name, left, top, 0, 0);
  l->SetCaption(caption);
  l->SetAutoSize(true);
  return l;
}

TButton* MakeButton(TComponent* owner, TWinControl* parent, const char* name, const char* caption, const char* hint,
                    int left, int top, int width) {
  TButton* b = Make<TButton>(owner, parent, name, left, top, width, 25);
  b->SetCaption(caption);
  if (*hint) {
    b->SetHint(hint);
    b->SetShowHint(true);
  }
  return b;
}

// A lowered frame holding a preview player's place of 263 x 180 pixels.
TPanel* MakePreviewPanel(TComponent* owner, TWinControl* parent, const char* name, const char* player, int left,
                         int top, TPanel*& playerPanel) {
  TPanel* panel = Make<TPanel>(owner, parent, name, left, top, PreviewWidth + 4, PreviewHeight + 4);
  panel->SetBevelOuter(bvNone);
  panel->SetBevelInner(bvLowered);
  playerPanel = Make<TPanel>(owner, panel, player, 2, 2, PreviewWidth, PreviewHeight);
  playerPanel->SetBevelOuter(bvNone);
  playerPanel->SetColor(clWhite);
  return panel;
}

// The picture under the extension's switch: the browser's page menu with the
// entry the extension adds, highlighted.
void DrawMenuPicture(TBitmap* b) {
  b->SetSize(430, 60);
  TCanvas* c = b->Canvas();
  c->Brush()->SetColor(NotebookColor);
  c->FillRect({0, 0, 430, 60});
  const TRect menu{115, 2, 315, 58};
  c->Brush()->SetColor(clBtnFace);
  c->FillRect(menu);
  c->Pen()->SetColor(clBtnShadow);
  c->Rectangle(menu);
  c->Font()->SetName("Tahoma");
  c->Font()->SetSize(8);
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(clGrayText);
  c->TextOut(menu.Left + 20, menu.Top + 5, "Open Link in New Window");
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clHighlight);
  c->FillRect({menu.Left + 3, menu.Top + 22, menu.Right - 3, menu.Top + 40});
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(clHighlightText);
  c->TextOut(menu.Left + 20, menu.Top + 24, "Download Flash with Vorra");
  c->Font()->SetColor(clGrayText);
  c->TextOut(menu.Left + 20, menu.Top + 41, "Properties");
}

}  // namespace

bool MenuEntryExists() {
  TRegistry reg;
  reg.SetRootKey(win::HKEY_CURRENT_USER);
  return reg.KeyExists(MenuExtKey);
}

TVorraMainFrm::TVorraMainFrm(TComponent* AOwner, std::string programFolder)
    : TForm(AOwner),
      FProgramFolder(programFolder.empty() ? win::GetProgramFolder() : std::move(programFolder)),
      BrowserCache1(nullptr) {
  SetName("VorraMainFrm");
  SetCaption("Vorra");
  SetBorderStyle(bsSingle);
  SetBorderIcons({biSystemMenu, biMinimize});
  SetPosition(poScreenCenter);
  SetClientWidth(552);
  SetClientHeight(365);

  MainPageControl = Make<TTabControl>(this, this, "MainPageControl", 0, 0, 552, 24);
  for (const char* tab : {"From Web", "From Cache", "IE Extensions", "Option"}) MainPageControl->Tabs()->Add(tab);
  Notebook1 = Make<TNotebook>(this, this, "Notebook1", 0, 24, 552, 341);
  Notebook1->SetColor(NotebookColor);
  for (const char* page : {"Web", "Cache", "Extensions", "Option"}) {
    Notebook1->Pages()->Add(page);
    Notebook1->Page(Notebook1->PageCount() - 1)->SetColor(NotebookColor);
  }
  CreateWebPage(Notebook1->Page(0));
  CreateCachePage(Notebook1->Page(1));
  CreateExtensionPage(Notebook1->Page(2));
  CreateOptionPage(Notebook1->Page(3));

  sd = new TSaveDialog(this);
  sd->SetName("sd");
  sd->SetDefaultExt("swf");
  sd->SetFilter("Flash Files (*.swf)|*.swf|All Files|*.*");
  sd->SetOptions({ofOverwritePrompt, ofHideReadOnly, ofEnableSizing});

  MainPageControl->OnChange = [this](TObject* s) { MainPageControlChange(s); };
  btnBrowse->OnClick = [this](TObject* s) { btnBrowseClick(s); };
  btnGo->OnClick = [this](TObject* s) { btnGoClick(s); };
  FlashAddress->OnUrlSelected = [this](TObject* s, const std::string&) { FlashAddressUrlSelected(s); };
  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
}

TVorraMainFrm::~TVorraMainFrm() {
  if (VorraMainFrm == this) VorraMainFrm = nullptr;
}

namespace {

// The part both list tabs share: the movie list, the preview and the three
// save buttons, under the names each tab gives them.
struct TMoviePageParts {
  TLabel*& ListLabel;
  TListBox*& List;
  TLabel*& PreviewLabel;
  TPanel*& Panel;
  TPanel*& Player;
  TButton*& SaveAll;
  TButton*& Save;
  TButton*& SaveAs;
};

void MakeMoviePage(TComponent* owner, TWinControl* page, const std::array<const char*, 8>& names,
                   const std::array<const char*, 3>& hints, const TMoviePageParts& p) {
  p.ListLabel = MakeLabel(owner, page, names[0], "Flashs List : ", 8, 40);
  p.List = Make<TListBox>(owner, page, names[1], 8, 56, 260, 276);
  p.PreviewLabel = MakeLabel(owner, page, names[2], "Flash Preview:", 277, 40);
  p.Panel = MakePreviewPanel(owner, page, names[3], names[4], 277, 56, p.Player);
  p.SaveAll = MakeButton(owner, page, names[5], "Save All", hints[0], 277, 250, 83);
  p.Save = MakeButton(owner, page, names[6], "Save", hints[1], 369, 250, 83);
  p.SaveAs = MakeButton(owner, page, names[7], "Save as", hints[2], 461, 250, 83);
}

}  // namespace

void TVorraMainFrm::CreateWebPage(TWinControl* page) {
  Label1 = MakeLabel(this, page, "Label1", "Address:", 8, 12);
  Label1->Font()->SetStyle({fsBold});
  FlashAddress = Make<TAddressBox>(this, page, "FlashAddress", 66, 8, 392, 22);
  FlashAddress->DefaultProtocol = "http://";
  FlashAddress->FileOptions = {UrlHistory, UrlMRU};
  btnGo = MakeButton(this, page, "btnGo", "Go", "Get Flashs", 468, 6, 76);
  MakeMoviePage(this, page,
                {"Label3", "FlashList", "Label2", "FlashPanel", "swfPreview", "btnSaveAll", "btnSave", "btnSaveAs"},
                {"Save all flashs to default directory", "Save flash to default directory", "Save As.."},
                {Label3, FlashList, Label2, FlashPanel, swfPreview, btnSaveAll, btnSave, btnSaveAs});
}

void TVorraMainFrm::CreateCachePage(TWinControl* page) {
  btnCache = MakeButton(this, page, "btnCache", "Search In Cache", "", 8, 6, 120);
  btnClear = MakeButton(this, page, "btnClear", "Clear Cache", "", 136, 6, 120);
  MakeMoviePage(this, page,
                {"Label4", "CacheFlashList", "Label5", "Panel1", "swfPreview2", "btnSaveAll2", "btnSave2", "btnSaveAs2"},
                {"", "", ""}, {Label4, CacheFlashList, Label5, Panel1, swfPreview2, btnSaveAll2, btnSave2, btnSaveAs2});
}

void TVorraMainFrm::CreateExtensionPage(TWinControl* page) {
  CheckBox1 = Make<TCheckBox>(this, page, "CheckBox1", 24, 24, 400, 17);
  CheckBox1->SetCaption("Enable item in Internet Explorer context menu.");
  Label10 = MakeLabel(this, page, "Label10", "(You need restart Internet Explorer to see  the changes)", 42, 48);
  Image4 = Make<TImage>(this, page, "Image4", (552 - 430) / 2, 84, 430, 60);
  Image4->SetCenter(true);
  DrawMenuPicture(Image4->Picture()->Bitmap());
}

void TVorraMainFrm::CreateOptionPage(TWinControl* page) {
  SeSkinGroupBox1 = Make<TGroupBox>(this, page, "SeSkinGroupBox1", 8, 8, 536, 92);
  SeSkinGroupBox1->SetCaption("Save Options");
  SeSkinGroupBox1->SetCaptionMargin(12);
  Label6 = MakeLabel(this, SeSkinGroupBox1, "Label6", "Default Flash Files Path : ", 16, 26);
  EditPath = Make<TEdit>(this, SeSkinGroupBox1, "EditPath", 16, 48, 412, 21);
  btnBrowse = MakeButton(this, SeSkinGroupBox1, "btnBrowse", "Browse..", "", 440, 46, 80);
}

void TVorraMainFrm::SetDefaultDir(const std::string& text) {
  DefaultDir = text;
  EditPath->SetText(text);
}

void TVorraMainFrm::FormCreate(TObject*) {
  VorraMainFrm = this;
  // The preview players' mouse switch comes with the players.
  SetAppFolders(FProgramFolder);
  // The stored folder, or the "Flash Files" folder, with its delimiter.
  SetDefaultDir(ReadDefaultDir());
  // Folders that cannot be made are not reported here: the copies into them
  // report later.
  std::error_code ec;
  std::filesystem::create_directories(TempFolder, ec);
  std::filesystem::create_directories(DefaultDir, ec);
  CacheList = std::make_unique<TCacheSearch>(BrowserCache1);
  CacheList->CacheList.reserve(CacheListReserve);
  CheckBox1->SetChecked(MenuEntryExists());
}

void TVorraMainFrm::FormShow(TObject*) {
  MainPageControl->SetTabIndex(0);
  Notebook1->SetPageIndex(0);
}

void TVorraMainFrm::MainPageControlChange(TObject*) { Notebook1->SetPageIndex(MainPageControl->TabIndex()); }

void TVorraMainFrm::FormDestroy(TObject*) {
  WriteDefaultDir(DefaultDir);
  ClearWebList();
  if (CacheList) CacheList->ClearCacheList();
  CacheList.reset();
}

void TVorraMainFrm::ClearWebList() {
  TStrings* items = FlashList->Items();
  for (int i = 0; i < items->Count(); ++i) {
    delete items->Objects(i);
    items->SetObjects(i, nullptr);
  }
  items->Clear();
  // The folder itself: names here are case-sensitive.
  if (!TempFolder.empty()) DeleteFiles(TempFolder + "*.*");
}

void TVorraMainFrm::btnGoClick(TObject*) {
  if (FlashAddress->Text().empty()) return;
  ClearWebList();
  {
    std::unique_ptr<TDownLoadFrm, TFreeDeleter> loader(new TDownLoadFrm(nullptr, FlashAddress, FlashList));
    loader->ShowModal();
  }
  if (FlashList->Items()->Count() == 0)
    win::MessageBoxA(Handle(), "No Flashs file find", "Vorra", win::MB_ICONINFORMATION | win::MB_OK);
}

void TVorraMainFrm::FlashAddressUrlSelected(TObject* Sender) { btnGoClick(Sender); }

void TVorraMainFrm::btnBrowseClick(TObject*) {
  char name[win::kBrowseMaxPath] = {};
  win::BROWSEINFOA info;
  info.hwndOwner = Handle();
  info.pszDisplayName = name;
  info.lpszTitle = "Select Directory";
  info.ulFlags = win::BIF_RETURNONLYFSDIRS;
  win::LPITEMIDLIST pidl = win::SHBrowseForFolderA(&info);
  if (!pidl) return;
  char path[win::kBrowseMaxPath] = {};
  const bool ok = win::SHGetPathFromIDListA(pidl, path);
  win::ILFree(pidl);
  if (ok) SetDefaultDir(AddTrailingBackslash(path));
}

}  // namespace vorra
