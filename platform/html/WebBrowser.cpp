#include "platform/html/WebBrowser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/html/Charset.h"
#include "platform/html/FrameLoader.h"
#include "platform/html/ScriptEngine.h"
#include "platform/net/PageFetch.h"
#include "platform/net/Download.h"
#include "platform/registry/Registry.h"
#include "platform/shell/BrowseFolder.h"
#include "platform/win/Ascii.h"
#include "platform/win/ErrorText.h"

namespace win {

const IID IID_IDocHostUIHandler {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
const IID IID_IDocHostUIHandler2 {0x3050F6D0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
const IID IID_IOleControl {0xB196B288, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IWebBrowser2 {0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
const IID DIID_DWebBrowserEvents2 {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};
const IID IID_IDocHostShowUI {0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
const IID IID_IOleCommandTarget {0xB722BCCB, 0x4E68, 0x101B, {0xA2, 0xBC, 0x00, 0xAA, 0x00, 0x40, 0x47, 0x70}};
const IID IID_IServiceProvider {0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
const IID IID_IOleInPlaceActiveObject {0x00000117, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IOleWindow {0x00000114, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID CGID_DocHostCommandHandler {0xF38BC242, 0xB950, 0x11D1, {0x89, 0x18, 0x00, 0xC0, 0x4F, 0xC2, 0xC8, 0x36}};
const GUID CGID_Explorer {0x000214D0, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_WebBrowser {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};

namespace {

constexpr TDispMember kBrowserMembers[] = {
    {"Application", DISPID_WB_APPLICATION}, {"Document", DISPID_WB_DOCUMENT}, {"LocationURL", DISPID_WB_LOCATIONURL},
    {"Busy", DISPID_WB_BUSY},               {"ReadyState", DISPID_WB_READYSTATE}, {"Navigate2", DISPID_WB_NAVIGATE2},
    {"Navigate", DISPID_WB_NAVIGATE2},      {"Stop", DISPID_WB_STOP}};

void AppendEscapedText(std::string& out, const std::string& text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
}

// The path named by an item-ID list held in a byte array; the list must end
// inside the array.
HRESULT ItemListPath(SAFEARRAY* psa, std::string& path) {
  if (!psa || psa->cDims != 1) return E_INVALIDARG;
  const ULONG n = psa->rgsabound[0].cElements;
  const auto* bytes = static_cast<const BYTE*>(psa->pvData);
  ULONG pos = 0;
  for (;;) {
    if (pos + 2 > n) return E_INVALIDARG;
    const unsigned cb = bytes[pos] | (bytes[pos + 1] << 8);
    if (cb == 0) break;
    if (cb < 2 || cb > n - pos) return E_INVALIDARG;
    pos += cb;
  }
  char buffer[kBrowseMaxPath] = {};
  if (!SHGetPathFromIDListA(reinterpret_cast<LPCITEMIDLIST>(bytes), buffer)) return E_INVALIDARG;
  path = buffer;
  return S_OK;
}

// The user agent with the tokens that hosts register under the browser's
// "Post Platform" key (the value names), as IE sends them: "; token" each,
// inside the parenthesis. Empty when none is registered.
std::string PostPlatformUserAgent() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform", 0,
                    KEY_READ, &key) != ERROR_SUCCESS)
    return {};
  std::string tokens;
  for (DWORD i = 0; i < 256; ++i) {
    char name[256];
    DWORD length = sizeof name;
    const LONG rc = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || length == 0) continue;
    std::string token(name, length);
    // A header line must stay one line.
    if (token.find_first_of("\r\n()") != std::string::npos) continue;
    tokens += "; " + token;
  }
  RegCloseKey(key);
  if (tokens.empty()) return {};
  std::string agent = GetDownloadSettings().UserAgent;
  const std::size_t close = agent.find(')');
  if (close == std::string::npos) return agent + " (" + tokens.substr(2) + ")";
  agent.insert(close, tokens);
  return agent;
}

LONG ClampLong(ULONGLONG v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<LONG>(v); }

bool ContainsNoCase(std::string_view text, std::string_view word) {
  for (; text.size() >= word.size(); text.remove_prefix(1))
    if (AsciiStartsWithIgnoreCase(text, word)) return true;
  return false;
}

}  // namespace

std::string NavigationErrorPage(const std::string& url, HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  std::string page =
      "<html><head><title>The page cannot be displayed</title></head><body>"
      "<h1>The page cannot be displayed</h1><p id=\"error\">";
  AppendEscapedText(page, ErrorText(hr));
  page += "</p><p id=\"address\">";
  AppendEscapedText(page, url);
  page += "</p><p id=\"code\">Error ";
  page += code;
  page += "</p></body></html>";
  return page;
}

// ---- The control ----

TComPtr<TWebBrowserControl> TWebBrowserControl::Create(const TWebBrowserSettings& settings) {
  return TComPtr<TWebBrowserControl>::Attach(new TWebBrowserControl(settings));
}

TWebBrowserControl::~TWebBrowserControl() = default;

IUnknown* TWebBrowserControl::FindInterface(REFIID riid) {
  if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IWebBrowser2)) return static_cast<IWebBrowser2*>(this);
  if (IsEqualIID(riid, IID_IOleControl)) return static_cast<IOleControl*>(this);
  if (IsEqualIID(riid, IID_IOleInPlaceActiveObject) || IsEqualIID(riid, IID_IOleWindow))
    return static_cast<IOleInPlaceActiveObject*>(this);
  return nullptr;
}

HRESULT TWebBrowserControl::SetClientSite(IUnknown* site) {
  ambient_ = nullptr;
  uiHandler_ = nullptr;
  commandTarget_ = nullptr;
  hostInfoAsked_ = false;
  if (!site) return S_OK;
  site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ambient_.Put()));
  site->QueryInterface(IID_IDocHostUIHandler, reinterpret_cast<void**>(uiHandler_.Put()));
  site->QueryInterface(IID_IOleCommandTarget, reinterpret_cast<void**>(commandTarget_.Put()));
  return S_OK;
}

HRESULT TWebBrowserControl::Advise(IDispatch* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = nextCookie_++;
  sinks_.emplace_back(*cookie, TComPtr<IDispatch>(sink));
  return S_OK;
}

HRESULT TWebBrowserControl::Unadvise(DWORD cookie) {
  const auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](const auto& s) { return s.first == cookie; });
  if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
  sinks_.erase(it);
  return S_OK;
}

void TWebBrowserControl::AskDownloadControl() {
  dlControl_ = DLCTL_DEFAULT;
  if (!ambient_) return;
  TVariant result;
  DISPPARAMS none;
  EXCEPINFO info;
  UINT argErr = 0;
  const HRESULT hr = ambient_->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                      &none, &result, &info, &argErr);
  ClearExcepInfo(&info);
  // Hosts answer a VT_I4 whose bits are the flags (DLCTL_OFFLINE makes it negative).
  TVariant flags;
  if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&flags, &result, 0, VT_I4))) dlControl_ = static_cast<DWORD>(flags.lVal);
  else if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&flags, &result, 0, VT_UI4))) dlControl_ = flags.ulVal;
}

void TWebBrowserControl::AskHostInfo() {
  if (hostInfoAsked_ || !uiHandler_) return;
  hostInfoAsked_ = true;
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof info;
  if (SUCCEEDED(uiHandler_->GetHostInfo(&info))) {
    // The style-sheet texts are the control's to free; it uses none of them.
    SysFreeString(info.pchHostCss);
    SysFreeString(info.pchHostNS);
    info.pchHostCss = info.pchHostNS = nullptr;
    hostInfo_ = info;
  }
}

void TWebBrowserControl::FireEvent(DISPID id, DISPPARAMS& params) {
  if (freezeCount_ > 0) return;
  // A handler may unadvise (or advise) while the event runs.
  const auto sinks = sinks_;
  for (const auto& sink : sinks)
    sink.second->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

void TWebBrowserControl::FireProgressChange(LONG progress, LONG max) {
  // Arguments last first.
  VARIANTARG args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_I4, args[0].lVal = max;
  args[1].vt = VT_I4, args[1].lVal = progress;
  DISPPARAMS params{args, nullptr, 2, 0};
  FireEvent(DISPID_PROGRESSCHANGE, params);
}

bool TWebBrowserControl::FireNewWindow2() {
  IDispatch* newBrowser = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANTARG args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_BYREF | VT_BOOL, args[0].pboolVal = &cancel;
  args[1].vt = VT_BYREF | VT_DISPATCH, args[1].ppdispVal = &newBrowser;
  DISPPARAMS params{args, nullptr, 2, 0};
  FireEvent(DISPID_NEWWINDOW2, params);
  // No second browser is ever made; a browser handed in is not used.
  if (newBrowser) newBrowser->Release();
  return cancel != VARIANT_FALSE;
}

void TWebBrowserControl::FireDocumentComplete(const std::string& url) {
  TVariant address = TVariant::Text(url);
  VARIANTARG args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_BYREF | VT_VARIANT, args[0].pvarVal = &address;
  args[1].vt = VT_DISPATCH, args[1].pdispVal = static_cast<IWebBrowser2*>(this);
  DISPPARAMS params{args, nullptr, 2, 0};
  FireEvent(DISPID_DOCUMENTCOMPLETE, params);
}

void TWebBrowserControl::ListSubresources(const html::THtmlDocument& doc) {
  wouldFetch_.clear();
  const DWORD flags = dlControl_;
  if (!(flags & (DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS))) return;
  std::string value;
  for (const GumboNode* node : *doc.AllElements()) {
    const GumboTag tag = node->v.element.tag;
    if (flags & DLCTL_DLIMAGES) {
      if (tag == GUMBO_TAG_IMG && html::AttributeOf(node, "src", value)) wouldFetch_.push_back("image:" + value);
      if (tag == GUMBO_TAG_INPUT && html::AttributeOf(node, "type", value) && strcasecmp(value.c_str(), "image") == 0 &&
          html::AttributeOf(node, "src", value))
        wouldFetch_.push_back("image:" + value);
      if (tag == GUMBO_TAG_BODY && html::AttributeOf(node, "background", value)) wouldFetch_.push_back("image:" + value);
    }
    if (flags & DLCTL_VIDEOS) {
      if (tag == GUMBO_TAG_IMG && html::AttributeOf(node, "dynsrc", value)) wouldFetch_.push_back("video:" + value);
      if (tag == GUMBO_TAG_VIDEO && html::AttributeOf(node, "src", value)) wouldFetch_.push_back("video:" + value);
    }
    if ((flags & DLCTL_BGSOUNDS) && tag == GUMBO_TAG_BGSOUND && html::AttributeOf(node, "src", value))
      wouldFetch_.push_back("bgsound:" + value);
  }
}

int TWebBrowserControl::CountWindowOpens(const html::THtmlDocument& doc) const {
  int count = 0;
  for (const GumboNode* node : *doc.AllElements()) {
    if (node->v.element.tag == GUMBO_TAG_SCRIPT) {
      std::string src;
      if (!html::AttributeOf(node, "src", src) && ContainsNoCase(html::InnerTextOf(node), "window.open")) ++count;
      continue;
    }
    const GumboVector& attrs = node->v.element.attributes;
    for (unsigned i = 0; i < attrs.length; ++i) {
      const auto* a = static_cast<const GumboAttribute*>(attrs.data[i]);
      if (AsciiStartsWithIgnoreCase(a->name, "on") && ContainsNoCase(a->value, "window.open")) ++count;
    }
  }
  return count;
}

TWebBrowserControl::TLoadedPage TWebBrowserControl::LoadPage(
    const std::string& url, const std::vector<std::string>& extraHeaders, const std::function<bool()>& cancelled,
    const std::function<void(ULONGLONG, ULONGLONG)>& progress) const {
  const DWORD flags = dlControl_;
  net::TPageRequest request;
  request.Address = url;
  request.Headers = extraHeaders;
  if (const std::string agent = PostPlatformUserAgent(); !agent.empty())
    request.Headers.push_back("User-Agent: " + agent);
  if (flags & DLCTL_PRAGMA_NO_CACHE) {
    request.Headers.push_back("Pragma: no-cache");
    request.Headers.push_back("Cache-Control: no-cache");
  }
  request.MaxBytes = settings_.MaxPageBytes;
  request.TimeoutMs = settings_.TimeoutMs;
  request.CacheOnly = (flags & (DLCTL_OFFLINE | DLCTL_FORCEOFFLINE)) != 0;
  request.Cancelled = cancelled;
  request.OnProgress = progress;

  net::TPageResponse response;
  TLoadedPage page;
  page.Request = request;
  page.Request.OnProgress = nullptr;
  if (strcasecmp(url.c_str(), "about:blank") == 0) {
    page.Result = S_OK;
    response.Url = url;
    response.ContentType = "text/html; charset=utf-8";
  } else {
    page.Result = net::FetchPage(request, response);
  }
  std::string text, encoding;
  if (SUCCEEDED(page.Result)) {
    text = html::PageTextToUtf8(response.Body, response.ContentType, &encoding, !(flags & DLCTL_NO_METACHARSET));
    page.Location = response.Url.empty() ? url : response.Url;
  } else {
    text = NavigationErrorPage(url, page.Result);
    encoding = "UTF-8";
    page.Location = url;
  }
  response.Body = std::string();  // the decoded copy is all that is kept
  page.Document = html::THtmlDocument::Parse(std::move(text), page.Location, encoding);
  return page;
}

HRESULT TWebBrowserControl::Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                                      VARIANT* Headers) {
  if (!URL) return E_INVALIDARG;
  std::string url;
  const VARIANT* urlArg = URL->vt == (VT_BYREF | VT_VARIANT) && URL->pvarVal ? URL->pvarVal : URL;
  if (urlArg->vt == (VT_ARRAY | VT_UI1)) {
    // A shell item-ID list: its path is the address.
    if (FAILED(ItemListPath(urlArg->parray, url))) return E_INVALIDARG;
  } else {
    TVariant urlText;
    if (FAILED(VariantChangeType(&urlText, URL, 0, VT_BSTR))) return E_INVALIDARG;
    url = BstrToUtf8(urlText.bstrVal);
  }
  std::vector<std::string> extraHeaders;
  if (Headers) {
    TVariant text;
    if (SUCCEEDED(VariantChangeType(&text, Headers, 0, VT_BSTR))) {
      const std::string all = BstrToUtf8(text.bstrVal);
      std::size_t pos = 0;
      while (pos < all.size()) {
        std::size_t end = all.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = all.size();
        if (end > pos && all.find(':', pos) < end) extraHeaders.push_back(all.substr(pos, end - pos));
        pos = end + 1;
      }
    }
  }

  // Event handlers may release the host's last reference.
  TComPtr<TWebBrowserControl> self(this);
  const unsigned long generation = ++generation_;
  busy_ = true;
  readyState_ = READYSTATE_LOADING;
  AskHostInfo();
  AskDownloadControl();
  const DWORD flags = dlControl_;
  auto cancelled = [this, generation] { return generation_ != generation; };

  FireProgressChange(0, 0);
  TLoadedPage page = LoadPage(url, extraHeaders, cancelled, [this, generation](ULONGLONG received, ULONGLONG total) {
    if (generation_ == generation) FireProgressChange(ClampLong(received), ClampLong(std::max(received, total)));
  });
  if (generation_ != generation) return S_OK;  // stopped, or another navigation took over

  TComPtr<html::THtmlDocument> doc = page.Document;
  ListSubresources(*doc);
  document_ = doc;
  locationUrl_ = page.Location;
  lastResult_ = page.Result;
  const std::string location = page.Location;

  const bool scripts = !(flags & DLCTL_NO_SCRIPTS);
  if (SUCCEEDED(page.Result) && scripts) {
    RunScripts(*doc, page.Request, generation);
    if (generation_ != generation) return S_OK;
  }

  const int opens = CountWindowOpens(*doc);
  for (int i = 0; i < opens && generation_ == generation; ++i) FireNewWindow2();
  if (generation_ != generation) return S_OK;
  if (!(flags & DLCTL_NO_FRAMEDOWNLOAD))
    html::LoadFrames(
        *doc,
        [&](const std::string& address) {
          TLoadedPage frame = LoadPage(address, {}, cancelled, {});
          // A frame's scripts build its document as the page's build the page.
          if (SUCCEEDED(frame.Result) && scripts && generation_ == generation)
            RunScripts(*frame.Document, frame.Request, generation);
          return frame.Document;
        },
        {}, cancelled);
  if (generation_ != generation) return S_OK;
  busy_ = false;
  readyState_ = READYSTATE_COMPLETE;
  FireProgressChange(1, 1);
  if (generation_ != generation) return S_OK;
  FireDocumentComplete(location);
  return S_OK;
}

// ---- Page scripts ----

class TWebBrowserControl::TPageScriptHost : public html::TScriptHost {
 public:
  TPageScriptHost(TWebBrowserControl& control, const net::TPageRequest& page, unsigned long generation)
      : control_(control), page_(page), generation_(generation) {}

  bool FetchScript(const std::string& url, std::string& text) override {
    if (control_.generation_ != generation_ || !MayFetch(url)) return false;
    net::TPageRequest request = page_;
    request.Address = url;
    request.OnProgress = nullptr;
    net::TPageResponse response;
    if (FAILED(net::FetchPage(request, response)) || response.Status >= 400) return false;
    text = html::PageTextToUtf8(response.Body, response.ContentType, nullptr, false);
    return true;
  }

  void ScriptError(const html::TScriptError&) override {
    ++control_.scriptErrors_;
    if ((control_.dlControl_ & DLCTL_SILENT) || !control_.commandTarget_) return;
    // The host may show the error or not; the script is skipped either way.
    TVariant in = TVariant::Unknown(static_cast<IDispatch*>(control_.document_.Get()));
    TVariant out;
    control_.commandTarget_->Exec(&CGID_DocHostCommandHandler, OLECMDID_SHOWSCRIPTERROR, 0, &in, &out);
  }

  TComPtr<IDispatch> External() override {
    TComPtr<IDispatch> external;
    if (control_.uiHandler_) control_.uiHandler_->GetExternal(external.Put());
    return external;
  }

 private:
  // Addresses from a web page never reach local files.
  bool MayFetch(const std::string& url) const {
    const bool pageIsLocal = !AsciiStartsWithIgnoreCase(page_.Address, "http://") &&
                             !AsciiStartsWithIgnoreCase(page_.Address, "https://") &&
                             !AsciiStartsWithIgnoreCase(page_.Address, "ftp://");
    if (AsciiStartsWithIgnoreCase(url, "http://") || AsciiStartsWithIgnoreCase(url, "https://")) return true;
    return pageIsLocal && AsciiStartsWithIgnoreCase(url, "file:");
  }

  TWebBrowserControl& control_;
  const net::TPageRequest& page_;
  unsigned long generation_;
};

void TWebBrowserControl::RunScripts(html::THtmlDocument& doc, const net::TPageRequest& pageRequest,
                                    unsigned long generation) {
  TPageScriptHost host(*this, pageRequest, generation);
  html::TScriptSettings settings;
  settings.CpuBudgetMs = settings_.ScriptBudgetMs;
  settings.MemoryBytes = settings_.ScriptMemoryBytes;
  scriptsRunning_ = true;
  const html::TScriptRun run = html::RunPageScripts(doc, host, settings);
  scriptsRunning_ = false;
  scriptsRun_ += run.Scripts;
}

HRESULT TWebBrowserControl::Stop() {
  if (busy_) {
    ++generation_;
    busy_ = false;
    readyState_ = document_ ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
  }
  return S_OK;
}

HRESULT TWebBrowserControl::get_Busy(VARIANT_BOOL* pBool) {
  if (!pBool) return E_POINTER;
  *pBool = busy_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT TWebBrowserControl::get_Document(IDispatch** ppDisp) {
  if (!ppDisp) return E_POINTER;
  *ppDisp = nullptr;
  // IE gives no document while the page is loading, but for its scripts.
  if (!document_ || (busy_ && !scriptsRunning_)) return S_OK;
  *ppDisp = document_.Get();
  (*ppDisp)->AddRef();
  return S_OK;
}

HRESULT TWebBrowserControl::get_LocationURL(BSTR* LocationURL) {
  if (!LocationURL) return E_POINTER;
  *LocationURL = SysAllocStringUtf8(locationUrl_);
  return *LocationURL ? S_OK : E_OUTOFMEMORY;
}

HRESULT TWebBrowserControl::get_ReadyState(LONG* plReadyState) {
  if (!plReadyState) return E_POINTER;
  *plReadyState = readyState_;
  return S_OK;
}

HRESULT TWebBrowserControl::get_Application(IDispatch** ppDisp) {
  if (!ppDisp) return E_POINTER;
  *ppDisp = static_cast<IWebBrowser2*>(this);
  AddRef();
  return S_OK;
}

HRESULT TWebBrowserControl::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT TWebBrowserControl::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT TWebBrowserControl::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return LookupDispNames(kBrowserMembers, std::size(kBrowserMembers), names, count, ids);
}

HRESULT TWebBrowserControl::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) {
  auto put = [&](TVariant value) {
    if (result) {
      VariantClear(result);
      *result = value;
      VariantInit(&value);
    }
    return S_OK;
  };
  const bool get = (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
  switch (id) {
    case DISPID_WB_BUSY:
      if (!get) return DISP_E_MEMBERNOTFOUND;
      return put(TVariant::Bool(busy_));
    case DISPID_WB_DOCUMENT: {
      if (!get) return DISP_E_MEMBERNOTFOUND;
      TComPtr<IDispatch> doc;
      get_Document(doc.Put());
      return put(TVariant::Dispatch(doc.Get()));
    }
    case DISPID_WB_APPLICATION:
      if (!get) return DISP_E_MEMBERNOTFOUND;
      return put(TVariant::Dispatch(static_cast<IWebBrowser2*>(this)));
    case DISPID_WB_LOCATIONURL:
      if (!get) return DISP_E_MEMBERNOTFOUND;
      return put(TVariant::Text(locationUrl_));
    case DISPID_WB_READYSTATE:
      if (!get) return DISP_E_MEMBERNOTFOUND;
      return put(TVariant::Int(readyState_));
    case DISPID_WB_STOP:
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      return Stop();
    case DISPID_WB_NAVIGATE2: {
      if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
      const UINT n = DispArgCount(params);
      if (n < 1 || n > 5) return DISP_E_BADPARAMCOUNT;
      VARIANT* args[5] = {};
      for (UINT i = 0; i < n; ++i) args[i] = const_cast<VARIANT*>(DispArg(params, i));
      return Navigate2(args[0], args[1], args[2], args[3], args[4]);
    }
    default: return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT TWebBrowserControl::GetControlInfo(CONTROLINFO* pCI) {
  if (!pCI) return E_POINTER;
  pCI->hAccel = nullptr;
  pCI->cAccel = 0;
  pCI->dwFlags = 0;
  return S_OK;
}

HRESULT TWebBrowserControl::GetWindow(HWND* phwnd) {
  if (!phwnd) return E_POINTER;
  *phwnd = nullptr;
  return E_FAIL;
}

HRESULT TWebBrowserControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT TWebBrowserControl::TranslateAccelerator(MSG* lpmsg) {
  if (!lpmsg) return E_INVALIDARG;
  ++acceleratorsOffered_;
  lastAccelerator_ = lpmsg->message;
  return S_FALSE;
}

HRESULT TWebBrowserControl::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT TWebBrowserControl::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT TWebBrowserControl::ResizeBorder(const RECT*, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT TWebBrowserControl::EnableModeless(BOOL) { return S_OK; }

HRESULT TWebBrowserControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

HRESULT TWebBrowserControl::OnAmbientPropertyChange(DISPID dispID) {
  if (dispID == DISPID_AMBIENT_DLCONTROL || dispID == DISPID_UNKNOWN) AskDownloadControl();
  return S_OK;
}

HRESULT TWebBrowserControl::FreezeEvents(BOOL bFreeze) {
  freezeCount_ = std::max(0, freezeCount_ + (bFreeze ? 1 : -1));
  return S_OK;
}

// ---- Event sinks ----

IUnknown* TWebBrowserEvents::FindInterface(REFIID riid) {
  return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DIID_DWebBrowserEvents2) ? static_cast<IDispatch*>(this)
                                                                                       : nullptr;
}

HRESULT TWebBrowserEvents::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}

HRESULT TWebBrowserEvents::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT TWebBrowserEvents::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  static constexpr TDispMember kEvents[] = {{"ProgressChange", DISPID_PROGRESSCHANGE},
                                            {"NewWindow2", DISPID_NEWWINDOW2},
                                            {"DocumentComplete", DISPID_DOCUMENTCOMPLETE}};
  return LookupDispNames(kEvents, std::size(kEvents), names, count, ids);
}

HRESULT TWebBrowserEvents::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                  UINT* argErr) {
  if (!params || !params->rgvarg || DispArgCount(params) != 2) return id == DISPID_PROGRESSCHANGE ||
                                                                         id == DISPID_NEWWINDOW2 ||
                                                                         id == DISPID_DOCUMENTCOMPLETE
                                                                     ? DISP_E_BADPARAMCOUNT
                                                                     : S_OK;
  // rgvarg holds the arguments last first.
  VARIANT& second = params->rgvarg[0];
  VARIANT& first = params->rgvarg[1];
  switch (id) {
    case DISPID_PROGRESSCHANGE: {
      TVariant p, m;
      if (FAILED(VariantChangeType(&p, &first, 0, VT_I4)) || FAILED(VariantChangeType(&m, &second, 0, VT_I4))) {
        if (argErr) *argErr = 0;
        return DISP_E_TYPEMISMATCH;
      }
      ProgressChange(p.lVal, m.lVal);
      return S_OK;
    }
    case DISPID_NEWWINDOW2:
      if (first.vt != (VT_BYREF | VT_DISPATCH) || second.vt != (VT_BYREF | VT_BOOL)) return DISP_E_TYPEMISMATCH;
      NewWindow2(first.ppdispVal, second.pboolVal);
      return S_OK;
    case DISPID_DOCUMENTCOMPLETE:
      if (first.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
      DocumentComplete(first.pdispVal, second.vt == (VT_BYREF | VT_VARIANT) ? second.pvarVal : &second);
      return S_OK;
    default: return S_OK;  // other events of the interface are not decoded
  }
}

}  // namespace win
