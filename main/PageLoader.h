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
  // The page the movie was found on (after redirects): only a local page may
  // have a local Url fetched. Empty: no page, a web page is assumed.
  std::string PageUrl;
};

// The class identifier of the Shockwave Flash control, upper case.
inline constexpr const char* FlashClassId = "CLSID:D27CDB6E-AE6D-11CF-96B8-444553540000";
inline constexpr const char* FlashContentType = "application/x-shockwave-flash";

// The address as the loader loads it: "http://" in front when the text has
// no "://" and is not the path of an existing file.
std::string CompletePageUrl(const std::string& text);

// A movie value of a document, and whether only the wider rules found it.
struct TMovieValue {
  std::string Value;
  bool Widened = false;
};

// The movie values of a document, read late-bound by name: OBJECT elements
// first, then EMBED elements, each kind in document order. Values are taken
// as a browser takes them (references decoded, blanks stripped).
// The classic rules: an OBJECT with the Flash class identifier gives its
// MOVIE parameter (none or an empty one: see below); an EMBED whose markup
// names the Flash type gives its src.
// The wider rules (Widened): an OBJECT with the class identifier but no MOVIE
// value gives its PARAM named "src", else its data attribute; an OBJECT whose
// type is the Flash type (any case) gives its data attribute; an EMBED with no
// type gives its src when the src's path (before any query or fragment) ends
// in ".swf" (any case). Elements that give nothing are skipped. Failed calls
// end the kind they belong to.
std::vector<TMovieValue> FindMovies(win::IDispatch* document);
// The values of FindMovies alone.
std::vector<std::string> FindMovieValues(win::IDispatch* document);

// The folder that the document's relative values resolve against: that of
// its first BASE element with an href (resolved against the page), else the
// page's own.
std::string DocumentBase(win::IDispatch* document, const std::string& pageUrl);

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

// One walk of a document and of its frames: a new record per movie value
// (its Url resolved against its document's base, its Name the address's file
// name, its TempFile from one name book in folder), handed to add in order:
// the document's movies, then each frame's ("frames" collection, in order,
// each followed by its own frames, at most kMaxFrameDepth deep). A value that
// only the wider rules found is listed only when its address is neither
// listed yet nor given by a classic value of its document, so the same movie
// named by an OBJECT and a nested typed OBJECT lists once; classic values are
// always listed, as many times as the page names them. The page is the
// document's own address (after redirects) unless that is unknown or a local
// file: then pageUrl (for the top document). A movie that its page may not
// have fetched (a local file named by a web page) gets no record. Answers the
// count.
inline constexpr int kMaxFrameDepth = 3;
int WalkDocument(win::IDispatch* document, const std::string& pageUrl, const std::string& folder,
                 const std::function<void(TFlashItem*)>& add);

// A movie transfer: the address as found, and only when the server answers
// "not found" the address with its part before the query lower-cased
// (servers that fold case). E_ACCESSDENIED, and nothing fetched, for a
// local Url that the record's page may not have. The copy never replaces a
// file: when TempFile was taken meanwhile (another run, another program) the
// name is counted up and TempFile follows it. options.NextName is ignored.
win::HRESULT DownloadMovie(TFlashItem& item, const win::TDownloadOptions& options = {},
                           win::TDownloadResult* result = nullptr);

// The download loop over the records in order: before(index, count) ahead
// of each transfer, after(index, result) behind it. A record whose TempFile
// an earlier record already fetched shares that copy and is not fetched
// again. Once stopped() answers true the remaining records are skipped.
void DownloadFlashItems(const std::vector<TFlashItem*>& items, const std::function<void(int, int)>& before,
                        const std::function<void(int, const win::TDownloadResult&)>& after,
                        const win::TDownloadOptions& options = {}, const std::function<bool()>& stopped = {});

// The page loader's settings of the browser host; scripts false adds
// DLCTL_NO_SCRIPTS (vorra get --no-scripts).
void SetPageLoaderOptions(TWebHost* Wb, bool scripts = true);

}  // namespace vorra
