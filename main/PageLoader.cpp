#include "main/PageLoader.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "common/MovieAddress.h"
#include "main/AppFiles.h"
#include "platform/html/HtmlNodes.h"

namespace vorra {

namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

// The elements of one tag name: their count and an accessor, late-bound.
template <class F>
void ForEachTag(win::IDispatch* document, const char* tag, F&& each) {
  using namespace win;
  TVariant all, tags, length;
  if (FAILED(DispGetProperty(document, "all", all))) return;
  TComPtr<IDispatch> allDisp = all.ToDispatch();
  if (!allDisp || FAILED(DispCallMethod(allDisp.Get(), "tags", {TVariant::Text(tag)}, &tags))) return;
  TComPtr<IDispatch> tagsDisp = tags.ToDispatch();
  LONG count = 0;
  if (!tagsDisp || FAILED(DispGetProperty(tagsDisp.Get(), "length", length)) || !length.ToInt(count)) return;
  for (LONG i = 0; i < count; ++i) {
    TVariant item;
    if (FAILED(DispCallMethod(tagsDisp.Get(), "Item", {TVariant::Int(i)}, &item))) continue;
    TComPtr<IDispatch> element = item.ToDispatch();
    if (element) each(element.Get());
  }
}

std::string TextProperty(win::IDispatch* element, const char* name) {
  win::TVariant v;
  std::string text;
  if (win::SUCCEEDED(win::DispGetProperty(element, name, v))) v.ToText(text);
  return text;
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

std::vector<std::string> FindMovieValues(win::IDispatch* document) {
  std::vector<std::string> values;
  if (!document) return values;
  ForEachTag(document, "OBJECT", [&](win::IDispatch* element) {
    if (AnsiUpperCase(TextProperty(element, "CLASSID")) != FlashClassId) return;
    // Read from serialised markup, so its references are still encoded.
    std::string value = AttributeAddress(
        win::html::DecodeCharacterReferences(MovieParamValue(TextProperty(element, "innerhtml"))));
    // Nothing to fetch: the record would name the folder itself.
    if (!value.empty()) values.push_back(std::move(value));
  });
  ForEachTag(document, "EMBED", [&](win::IDispatch* element) {
    if (AnsiLowerCase(TextProperty(element, "outerhtml")).find(FlashContentType) == std::string::npos) return;
    values.push_back(AttributeAddress(TextProperty(element, "src")));
  });
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

int WalkDocument(win::IDispatch* document, const std::string& pageUrl, const std::string& folder,
                 const std::function<void(TFlashItem*)>& add) {
  // After a redirect the document knows where it came from; a local file
  // keeps the address as given (files do not redirect).
  std::string page = document ? TextProperty(document, "URL") : std::string();
  if (page.empty() || IsLocalAddress(page)) page = pageUrl;
  TNameBook book(folder);
  const std::string base = DocumentBase(document, page);
  int count = 0;
  for (const std::string& value : FindMovieValues(document)) {
    std::string url = ResolveMovieUrl(value, base);
    // A web page never gets a local file copied: such movies are not listed.
    if (!MayFetchFromPage(url, page)) continue;
    auto* item = new TFlashItem;
    item->Url = std::move(url);
    item->Name = UrlFileName(item->Url);
    item->TempFile = book.FileFor(item->Name, item->Url);
    item->PageUrl = page;
    add(item);
    ++count;
  }
  return count;
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

void SetPageLoaderOptions(TWebHost* Wb) {
  Wb->SetDownloadOptions(
      {DLCTL_NO_JAVA, DLCTL_NO_RUNACTIVEXCTLS, DLCTL_NO_DLACTIVEXCTLS, DLCTL_PRAGMA_NO_CACHE, DLCTL_SILENT});
  Wb->SetUserInterfaceOptions({});
  Wb->PrintOptions()->HTMLHeader()->SetText("<HTML></HTML>");
  Wb->PrintOptions()->Orientation = poPortrait;
  Wb->ReplaceCaption = false;
  Wb->EnableDDE = false;
  Wb->SetfpExceptions(true);
}

}  // namespace vorra
