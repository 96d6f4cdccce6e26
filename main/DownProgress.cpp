#include "main/DownProgress.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/MovieAddress.h"
#include "main/AppFiles.h"
#include "platform/ui/Messages.h"

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
    std::string value = MovieParamValue(TextProperty(element, "innerhtml"));
    // Nothing to fetch: the record would name the folder itself.
    if (!value.empty()) values.push_back(std::move(value));
  });
  ForEachTag(document, "EMBED", [&](win::IDispatch* element) {
    if (AnsiLowerCase(TextProperty(element, "outerhtml")).find(FlashContentType) == std::string::npos) return;
    values.push_back(TextProperty(element, "src"));
  });
  return values;
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
  TNameBook book(folder);
  const std::string base = UrlBase(pageUrl);
  int count = 0;
  for (const std::string& value : FindMovieValues(document)) {
    auto* item = new TFlashItem;
    item->Url = ResolveMovieUrl(value, base);
    item->Name = UrlFileName(item->Url);
    item->TempFile = book.FileFor(item->Name, item->Url);
    add(item);
    ++count;
  }
  return count;
}

win::HRESULT DownloadMovie(const TFlashItem& item, win::IBindStatusCallback* callback) {
  const std::string url = RequestAddress(item.Url);
  win::HRESULT hr = win::URLDownloadToFileA(nullptr, url.c_str(), item.TempFile.c_str(), 0, callback);
  const std::string lower = AnsiLowerCase(url);
  if (win::FAILED(hr) && lower != url)
    hr = win::URLDownloadToFileA(nullptr, lower.c_str(), item.TempFile.c_str(), 0, callback);
  return hr;
}

void DownloadFlashItems(const std::vector<TFlashItem*>& items, const std::function<void(int, int)>& before,
                        const std::function<void(int, win::HRESULT)>& after, win::IBindStatusCallback* callback) {
  const int count = static_cast<int>(items.size());
  std::set<std::string> fetched;
  for (int i = 0; i < count; ++i) {
    if (before) before(i, count);
    win::HRESULT hr = win::S_OK;
    if (!fetched.count(items[i]->TempFile)) {
      hr = DownloadMovie(*items[i], callback);
      if (win::SUCCEEDED(hr)) fetched.insert(items[i]->TempFile);
    }
    if (after) after(i, hr);
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

// ---- The dialog ----

win::TWebBrowserSettings TDownLoadFrm::LoaderBrowserSettings() {
  win::TWebBrowserSettings settings;
  settings.TimeoutMs = 24L * 3600 * 1000;
  return settings;
}

TDownLoadFrm::TDownLoadFrm(TComponent* AOwner, TComboBox* address, TListBox* flashList,
                           const win::TWebBrowserSettings& settings)
    : TForm(AOwner), FAddress(address), FFlashList(flashList) {
  SetName("DownLoadFrm");
  SetCaption("Progress");
  SetBorderStyle(bsDialog);
  SetBorderIcons({});
  SetPosition(poMainFormCenter);
  SetClientWidth(361);
  SetClientHeight(90);

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(8, 12, 345, 13);
  Label1->SetCaption("");

  pb = new TProgressBar(this);
  pb->SetName("pb");
  pb->SetParent(this);
  pb->SetBounds(8, 32, 345, 17);
  pb->SetMin(0);

  Wb = new TWebHost(this, settings);
  Wb->SetName("Wb");
  Wb->SetParent(this);
  Wb->SetBounds(2, 1, 1, 1);
  SetPageLoaderOptions(Wb);

  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(143, 58, 75, 25);
  Button1->SetCaption("Cancel");
  Button1->SetDefault(true);
  Button1->SetModalResult(mrCancel);

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetInterval(100);
  Timer1->SetEnabled(false);

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Wb->OnProgressChange = [this](TObject* s, int p, int m) { WbProgressChange(s, p, m); };
  Wb->OnNewWindow2 = [this](TObject* s, win::IDispatch*& d, win::VARIANT_BOOL& c) { WbNewWindow2(s, d, c); };
  Wb->OnDocumentComplete = [this](TObject* s, win::IDispatch* d, win::VARIANT& u) { WbDocumentComplete(s, d, u); };
}

void TDownLoadFrm::FormCreate(TObject*) {
  pb->SetMax(FFlashList->Items()->Count());
  pb->SetStep(1);
}

void TDownLoadFrm::FormShow(TObject*) { Timer1->SetEnabled(true); }

void TDownLoadFrm::FormCloseQuery(TObject*, bool& CanClose) { CanClose = !Downloading; }

void TDownLoadFrm::StopLoading() {
  if (!Downloading && !PageDone) Wb->ControlInterface()->Stop();
}

void TDownLoadFrm::Button1Click(TObject*) {
  StopLoading();
  Close();
}

void TDownLoadFrm::Dispatch(TMessage& Message) {
  if (Message.Msg == win::WM_CLOSE) StopLoading();
  TForm::Dispatch(Message);
}

void TDownLoadFrm::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  PageUrl = CompletePageUrl(FAddress->Text());
  PageDone = false;
  Label1->SetCaption("Retrieve the web page");
  Wb->NavigateTo(PageUrl);
}

void TDownLoadFrm::WbProgressChange(TObject*, int Progress, int ProgressMax) {
  pb->SetMax(ProgressMax);
  pb->SetPosition(Progress);
}

void TDownLoadFrm::WbNewWindow2(TObject*, win::IDispatch*&, win::VARIANT_BOOL& Cancel) { Cancel = win::VARIANT_TRUE; }

void TDownLoadFrm::WbDocumentComplete(TObject*, win::IDispatch*, win::VARIANT&) {
  if (PageDone || Wb->Busy()) return;
  PageDone = true;
  win::TComPtr<win::IDispatch> document = Wb->Document();
  const int made = WalkDocument(document.Get(), PageUrl, TempFolder,
                                [this](TFlashItem* item) { FFlashList->Items()->AddObject(item->Name, item); });
  if (made > 0) DownloadFlashs();
  Close();
}

void TDownLoadFrm::DownloadFlashs() {
  TStrings* items = FFlashList->Items();
  std::vector<TFlashItem*> list;
  for (int i = 0; i < items->Count(); ++i)
    if (auto* item = dynamic_cast<TFlashItem*>(items->Objects(i))) list.push_back(item);
  pb->SetPosition(0);
  if (items->Count() > 1) pb->SetMax(items->Count() - 1);
  DownloadFlashItems(
      list,
      [this](int index, int count) {
        char text[64];
        std::snprintf(text, sizeof text, "Download flashs.. ( %d/%d )", index + 1, count);
        Label1->SetCaption(text);
        Repaint();
        Downloading = true;
      },
      [this](int, win::HRESULT) {
        Downloading = false;
        pb->StepIt();
      });
}

}  // namespace vorra
