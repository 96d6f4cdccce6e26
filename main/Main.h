// The program's only window: the tab row, the four pages and the default
// folder for saved movies. Start-up reads the settings and makes the
// folders; shut-down stores the folder and removes the page's downloads.
#pragma once

#include <memory>
#include <string>

#include "browser/AddressBox.h"
#include "framework/Dialogs.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/ListControls.h"
#include "framework/Notebook.h"
#include "framework/StdCtrls.h"
#include "main/BrowserCache.h"
#include "main/CacheSearch.h"

namespace vorra {

inline constexpr const char* MenuExtKey = "Software\\Microsoft\\Internet Explorer\\MenuExt\\Download Flash with Vorra";

// Whether the browser's context-menu entry of the extension exists.
bool MenuEntryExists();

class TVorraMainFrm : public TForm {
 public:
  // The program folder decides AppFolder and the default "Flash Files"
  // folder; it is the running program's own unless a test gives another.
  explicit TVorraMainFrm(TComponent* AOwner, std::string programFolder = {});
  ~TVorraMainFrm() override;

  TTabControl* MainPageControl;
  TNotebook* Notebook1;

  // "From Web"
  TLabel* Label1;
  TAddressBox* FlashAddress;
  TButton* btnGo;
  TLabel* Label3;
  TListBox* FlashList;
  TLabel* Label2;
  TPanel* FlashPanel;
  TPanel* swfPreview;  // the preview player's place
  TButton* btnSaveAll;
  TButton* btnSave;
  TButton* btnSaveAs;

  // "From Cache"
  TButton* btnCache;
  TButton* btnClear;
  TLabel* Label4;
  TListBox* CacheFlashList;
  TLabel* Label5;
  TPanel* Panel1;
  TPanel* swfPreview2;
  TButton* btnSaveAll2;
  TButton* btnSave2;
  TButton* btnSaveAs2;

  // "IE Extensions"
  TCheckBox* CheckBox1;
  TLabel* Label10;
  TImage* Image4;

  // "Option"
  TGroupBox* SeSkinGroupBox1;
  TLabel* Label6;
  TEdit* EditPath;
  TButton* btnBrowse;

  TSaveDialog* sd;

  // The default save folder, with its trailing delimiter after start-up.
  std::string DefaultDir;
  // Created at start-up, freed at shut-down; the cache tab's list.
  std::unique_ptr<TCacheSearch> CacheList;

  void SetDefaultDir(const std::string& text);
  // Disposes of the web list's records, empties it and the temporary folder.
  void ClearWebList();

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void MainPageControlChange(TObject* Sender);
  void btnBrowseClick(TObject* Sender);
  // Go: loads the address's page in the page loader and lists its movies.
  void btnGoClick(TObject* Sender);
  // The address box's choice (Enter, or an entry picked from its list).
  void FlashAddressUrlSelected(TObject* Sender);

 private:
  void CreateWebPage(TWinControl* page);
  void CreateCachePage(TWinControl* page);
  void CreateExtensionPage(TWinControl* page);
  void CreateOptionPage(TWinControl* page);

  std::string FProgramFolder;
  TBrowserCache BrowserCache1;
};

extern TVorraMainFrm* VorraMainFrm;

}  // namespace vorra
