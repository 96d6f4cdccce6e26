// The page loader: the modal "Progress" dialog that loads a page out of
// sight, lists the page's Flash movies in the web list and downloads them
// into the temporary folder. The walk and the download loop are plain
// functions, so `vorra get` does exactly what the dialog does.
#pragma once

#include <functional>
#include <utility>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <string>
#include <vector>

#include "browser/WebHost.h"
#include "framework/ComCtrls.h"
#include "framework/Component.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/ListControls.h"
#include "framework/StdCtrls.h"
#include "platform/net/Download.h"

namespace vorra {

class TFlashItem : public TObject {
 public:
  std::string Name;      // the file name of Url; also the list's text
  std::string Url;       // absolute address of the movie
  std::string TempFile;  // the downloaded copy in TempFolder
};

// The class identifier of the Shockwave Flash control, upper case.
inline constexpr const char* FlashClassId = "CLSID:D27CDB6E-AE6D-11CF-96B8-444553540000";
inline constexpr const char* FlashContentType = "application/x-shockwave-flash";

// The address as the loader loads it: "http://" in front when the text has
// no "://" and is not the path of an existing file.
std::string CompletePageUrl(const std::string& text);

// The movie values of a document, read late-bound by name: OBJECT elements
// with the Flash class identifier (their MOVIE parameter) first, then EMBED
// elements whose markup names the Flash type (their src), each kind in
// document order. An OBJECT without a MOVIE value is skipped. Failed calls
// end the kind they belong to.
std::vector<std::string> FindMovieValues(win::IDispatch* document);

// Gives out file names in one folder during one walk: a name already given
// out, or a file that exists, counts as taken; an address already given a
// file keeps that file.
class TNameBook {
 public:
  explicit TNameBook(std::string folder) : FFolder(std::move(folder)) {}
  // The file for a movie named name at address url, always inside the folder.
  std::string FileFor(const std::string& name, const std::string& url);

 private:
  std::string FFolder;
  std::unordered_set<std::string> FTaken;
  std::unordered_map<std::string, std::string> FGiven;  // url -> file
};

// The file name a movie's copy takes: the name itself when it is a usable
// single file name, otherwise "movie.swf" ("", "." and "..", names with a
// separator or a control character); long names are cut to 200 bytes.
std::string SafeFileName(const std::string& name);

// One walk of a document: a new record per movie value (its Url resolved
// against the page, its Name the address's file name, its TempFile from the
// name book in folder), handed to add in order. Answers the count.
int WalkDocument(win::IDispatch* document, const std::string& pageUrl, const std::string& folder,
                 const std::function<void(TFlashItem*)>& add);

// A movie transfer: the address as found, and only when that fails the
// lower-cased address (servers that fold case).
win::HRESULT DownloadMovie(const TFlashItem& item, win::IBindStatusCallback* callback = nullptr);

// The download loop over the records in order: before(index, count) ahead
// of each transfer, after(index, result) behind it. A record whose TempFile
// an earlier record already fetched is not fetched again.
void DownloadFlashItems(const std::vector<TFlashItem*>& items, const std::function<void(int, int)>& before,
                        const std::function<void(int, win::HRESULT)>& after,
                        win::IBindStatusCallback* callback = nullptr);

// The page loader's settings of the browser host.
void SetPageLoaderOptions(TWebHost* Wb);

class TDownLoadFrm : public TForm {
 public:
  // address: the text to load; FlashList: the web list that receives the
  // records (its owner disposes of them).
  TDownLoadFrm(TComponent* AOwner, TComboBox* address, TListBox* flashList,
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

  TComboBox* FAddress;
  TListBox* FFlashList;
};

}  // namespace vorra
