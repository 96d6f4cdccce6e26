// The page loader's work without its dialog: the walk of a loaded page for
// its Flash movies and the download loop, as plain functions, so that the
// dialog and `vorra get` do exactly the same.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "browser/WebHost.h"
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

}  // namespace vorra
