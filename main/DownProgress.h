// The page loader's dialog: the modal "Progress" dialog that loads a page out
// of sight, lists the page's Flash movies in the web list and downloads them
// into the temporary folder (the work itself is in PageLoader).
#pragma once

#include <string>

#include "browser/WebHost.h"
#include "framework/ComCtrls.h"
#include "framework/Component.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/ListControls.h"
#include "framework/StdCtrls.h"
#include "main/PageLoader.h"

namespace vorra {

class TDownLoadFrm : public TForm {
 public:
  // address: the text to load; FlashList: the web list that receives the
  // records (its owner disposes of them).
  TDownLoadFrm(TComponent* AOwner, TCustomComboBox* address, TListBox* flashList,
               const win::TWebBrowserSettings& settings = LoaderBrowserSettings());

  // The dialog waits for a page as long as the user does.
  static win::TWebBrowserSettings LoaderBrowserSettings();

  TLabel* Label1;
  TProgressBar* pb;
  TWebHost* Wb;
  TButton* Button1;
  TTimer* Timer1;

  std::string PageUrl;
  bool PageDone = false;
  bool Downloading = false;
  // Cancel pressed while a movie downloads: the transfer ends within a tenth
  // of a second, the rest are skipped, then the dialog closes.
  bool CancelPressed = false;

  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void Timer1Timer(TObject* Sender);
  void Button1Click(TObject* Sender);
  void WbProgressChange(TObject* Sender, int Progress, int ProgressMax);
  void WbNewWindow2(TObject* Sender, win::IDispatch*& ppDisp, win::VARIANT_BOOL& Cancel);
  void WbDocumentComplete(TObject* Sender, win::IDispatch* pDisp, win::VARIANT& URL);

 protected:
  void Dispatch(TMessage& Message) override;

 private:
  void DownloadFlashs();
  // A close asked for while the page loads ends the load at once.
  void StopLoading();

  // Answers the transfers' progress with E_ABORT once Cancel was pressed.
  TCustomComboBox* FAddress;
  TListBox* FFlashList;
};

}  // namespace vorra
