#include "main/PageLoader.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "common/MovieAddress.h"
#include "main/AppFiles.h"
#include "platform/html/ElementWalk.h"
#include "platform/html/HtmlNodes.h"

namespace vorra {

namespace {

using win::html::ForEachTag;

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}


std::string TextProperty(win::IDispatch* element, const char* name) {
  win::TVariant v;
  std::string text;
  if (win::SUCCEEDED(win::DispGetProperty(element, name, v))) v.ToText(text);
  return text;
}

// The value of the element's first PARAM named "src" (case ignored).
std::string SrcParamValue(win::IDispatch* object) {
  std::string value;
  bool found = false;
  // The element's "all" holds its descendants, as a document's holds its elements.
  ForEachTag(object, "PARAM", [&](win::IDispatch* param) {
    win::TVariant name, v;
    std::string text;
    if (found || win::FAILED(win::DispCallMethod(param, "getAttribute", {win::TVariant::Text("name")}, &name)) ||
        name.vt != win::VT_BSTR || !name.ToText(text) || AnsiLowerCase(std::string(win::AsciiTrim(text))) != "src")
      return;
    found = true;
    if (win::SUCCEEDED(win::DispCallMethod(param, "getAttribute", {win::TVariant::Text("value")}, &v)) &&
        v.vt == win::VT_BSTR)
      v.ToText(value);
  });
  return AttributeAddress(value);
}

// What a browser sends for a web address typed with spaces, quotes or
// non-ASCII letters: those bytes percent-encoded. Local paths stay as they are.
std::string RequestAddress(const std::string& url) {
  const std::string lower = AnsiLowerCase(url.substr(0, 8));
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return url;
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`' || c == '{' || c == '}' ||
        c == '|' || c == '^') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::string CompletePageUrl(const std::string& text) {
  if (text.find("://") != std::string::npos) return text;
  std::error_code ec;
  if (fs::is_regular_file(text, ec)) return text;
  return "http://" + text;
}

std::vector<TMovieValue> FindMovies(win::IDispatch* document) {
  std::vector<TMovieValue> movies;
  if (!document) return movies;
  ForEachTag(document, "OBJECT", [&](win::IDispatch* element) {
    if (AnsiUpperCase(TextProperty(element, "CLASSID")) == FlashClassId) {
      // Read from serialised markup, so its references are still encoded.
      std::string value = AttributeAddress(
          win::html::DecodeCharacterReferences(MovieParamValue(TextProperty(element, "innerhtml"))));
      if (!value.empty()) {
        movies.push_back({std::move(value), false});
        return;
      }
      value = SrcParamValue(element);
      if (value.empty()) value = AttributeAddress(TextProperty(element, "data"));
      // Nothing to fetch: the record would name the folder itself.
      if (!value.empty()) movies.push_back({std::move(value), true});
      return;
    }
    if (AnsiLowerCase(std::string(win::AsciiTrim(TextProperty(element, "type")))) != FlashContentType) return;
    std::string value = AttributeAddress(TextProperty(element, "data"));
    if (!value.empty()) movies.push_back({std::move(value), true});
  });
  ForEachTag(document, "EMBED", [&](win::IDispatch* element) {
    if (AnsiLowerCase(TextProperty(element, "outerhtml")).find(FlashContentType) != std::string::npos) {
      movies.push_back({AttributeAddress(TextProperty(element, "src")), false});
      return;
    }
    if (!win::AsciiTrim(TextProperty(element, "type")).empty()) return;
    std::string value = AttributeAddress(TextProperty(element, "src"));
    const std::string path = AnsiLowerCase(value.substr(0, value.find_first_of("?#")));
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".swf") == 0) movies.push_back({std::move(value), true});
  });
  return movies;
}

std::vector<std::string> FindMovieValues(win::IDispatch* document) {
  std::vector<std::string> values;
  for (TMovieValue& movie : FindMovies(document)) values.push_back(std::move(movie.Value));
  return values;
}

std::string DocumentBase(win::IDispatch* document, const std::string& pageUrl) {
  const std::string pageBase = UrlBase(pageUrl);
  std::string href;
  bool found = false;
  if (document) {
    ForEachTag(document, "BASE", [&](win::IDispatch* element) {
      win::TVariant v;
      if (found || win::FAILED(win::DispCallMethod(element, "getAttribute", {win::TVariant::Text("href")}, &v)) ||
          v.vt != win::VT_BSTR)
        return;
      found = true;
      v.ToText(href);
    });
  }
  href = AttributeAddress(href);
  if (href.empty()) return pageBase;
  // A name behind the href makes its folder what UrlBase keeps, one-character
  // hrefs ("/") included, which ResolveMovieUrl returns unresolved.
  return UrlBase(ResolveMovieUrl(href + "x", pageBase));
}

std::string SafeFileName(const std::string& name) {
  bool usable = !name.empty() && name != "." && name != "..";
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') usable = false;
  if (!usable) return "movie.swf";
  if (name.size() <= 200) return name;
  // Cut at a character boundary, keeping the extension where it is short.
  std::string ext;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && name.size() - dot <= 10) ext = name.substr(dot);
  std::size_t cut = 200 - ext.size();
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut) + ext;
}

std::string TNameBook::FileFor(const std::string& name, const std::string& url) {
  if (const auto it = FGiven.find(url); it != FGiven.end()) return it->second;
  std::string file = FFolder + SafeFileName(name);
  // Bounded: a folder cannot hold this many copies of one name.
  for (int i = 0; (FTaken.count(file) || Exists(file)) && i < 100000; ++i) file = NumberedFileName(file);
  FTaken.insert(file);
  FGiven.emplace(url, file);
  return file;
}

namespace {

struct TWalk {
  TNameBook Book;
  std::unordered_set<std::string> Listed;
  const std::function<void(TFlashItem*)>& Add;
  int Count = 0;

  void Document(win::IDispatch* document, const std::string& pageUrl, int depth) {
    // After a redirect the document knows where it came from; a local file
    // keeps the address as given (files do not redirect).
    std::string page = document ? TextProperty(document, "URL") : std::string();
    if (page.empty() || IsLocalAddress(page)) page = pageUrl;
    const std::string base = DocumentBase(document, page);
    std::vector<std::pair<std::string, bool>> found;  // address, widened
    for (const TMovieValue& movie : FindMovies(document)) {
      std::string url = ResolveMovieUrl(movie.Value, base);
      // A web page never gets a local file copied: such movies are not listed.
      if (MayFetchFromPage(url, page)) found.emplace_back(std::move(url), movie.Widened);
    }
    for (const auto& [url, widened] : found)
      if (!widened) Listed.insert(url);
    for (const auto& [url, widened] : found) {
      if (widened && !Listed.insert(url).second) continue;
      auto* item = new TFlashItem;
      item->Url = url;
      item->Name = UrlFileName(item->Url);
      item->TempFile = Book.FileFor(item->Name, item->Url);
      item->PageUrl = page;
      Add(item);
      ++Count;
    }
    if (document && depth < kMaxFrameDepth) Frames(document, depth + 1);
  }

  void Frames(win::IDispatch* document, int depth) {
    win::TVariant frames, length;
    if (win::FAILED(win::DispGetProperty(document, "frames", frames))) return;
    win::TComPtr<win::IDispatch> framesDisp = frames.ToDispatch();
    win::LONG count = 0;
    if (!framesDisp || win::FAILED(win::DispGetProperty(framesDisp.Get(), "length", length)) || !length.ToInt(count))
      return;
    for (win::LONG i = 0; i < count; ++i) {
      win::TVariant window, doc;
      if (win::FAILED(win::DispCallMethod(framesDisp.Get(), "item", {win::TVariant::Int(i)}, &window))) continue;
      win::TComPtr<win::IDispatch> windowDisp = window.ToDispatch();
      if (!windowDisp || win::FAILED(win::DispGetProperty(windowDisp.Get(), "document", doc))) continue;
      win::TComPtr<win::IDispatch> frameDocument = doc.ToDispatch();
      // A frame's movies resolve against the frame's own address.
      if (frameDocument) Document(frameDocument.Get(), TextProperty(frameDocument.Get(), "URL"), depth);
    }
  }
};

}  // namespace

int WalkDocument(win::IDispatch* document, const std::string& pageUrl, const std::string& folder,
                 const std::function<void(TFlashItem*)>& add) {
  TWalk walk{TNameBook(folder), {}, add};
  walk.Document(document, pageUrl, 0);
  return walk.Count;
}

win::HRESULT DownloadMovie(TFlashItem& item, const win::TDownloadOptions& options, win::TDownloadResult* result) {
  win::TDownloadResult local;
  win::TDownloadResult& r = result ? *result : local;
  r = {};
  if (!MayFetchFromPage(item.Url, item.PageUrl)) return r.Result = win::E_ACCESSDENIED;
  win::TDownloadOptions placing = options;
  placing.NextName = NumberedFileName;
  const std::string url = RequestAddress(item.Url);
  r = win::DownloadToFile(url, item.TempFile, placing);
  // Servers that fold case answer "not found" for the address as written;
  // the query is the program's on the server, its case matters.
  if (r.Result == win::INET_E_OBJECT_NOT_FOUND) {
    const std::size_t query = url.find_first_of("?#");
    const std::string lower =
        AnsiLowerCase(url.substr(0, query)) + (query == std::string::npos ? "" : url.substr(query));
    if (lower != url) r = win::DownloadToFile(lower, item.TempFile, placing);
  }
  if (win::SUCCEEDED(r.Result)) item.TempFile = r.File;
  return r.Result;
}

void DownloadFlashItems(const std::vector<TFlashItem*>& items, const std::function<void(int, int)>& before,
                        const std::function<void(int, const win::TDownloadResult&)>& after,
                        const win::TDownloadOptions& options, const std::function<bool()>& stopped) {
  const int count = static_cast<int>(items.size());
  std::map<std::string, std::string> fetched;  // the name book's file -> where the copy landed
  for (int i = 0; i < count; ++i) {
    if (stopped && stopped()) break;
    if (before) before(i, count);
    win::TDownloadResult result;
    if (const auto done = fetched.find(items[i]->TempFile); done != fetched.end()) {
      items[i]->TempFile = done->second;
      result.File = done->second;
    } else {
      const std::string wanted = items[i]->TempFile;
      DownloadMovie(*items[i], options, &result);
      if (win::SUCCEEDED(result.Result)) fetched[wanted] = items[i]->TempFile;
    }
    if (after) after(i, result);
  }
}

void SetPageLoaderOptions(TWebHost* Wb, bool scripts) {
  TDownloadControlOptions options{DLCTL_NO_JAVA, DLCTL_NO_RUNACTIVEXCTLS, DLCTL_NO_DLACTIVEXCTLS,
                                  DLCTL_PRAGMA_NO_CACHE, DLCTL_SILENT};
  if (!scripts) options.Include(DLCTL_NO_SCRIPTS);
  Wb->SetDownloadOptions(options);
  Wb->SetUserInterfaceOptions({});
  Wb->PrintOptions()->HTMLHeader()->SetText("<HTML></HTML>");
  Wb->PrintOptions()->Orientation = poPortrait;
  Wb->ReplaceCaption = false;
  Wb->EnableDDE = false;
  Wb->SetfpExceptions(true);
}

}  // namespace vorra
