#include "browser/WebHost.h"

#include <langinfo.h>
#include <locale.h>

#include <cfenv>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <fpu_control.h>
#define VORRA_HAVE_X87 1
#endif

#include "framework/Forms.h"
#include "platform/registry/Registry.h"
#include "platform/shell/BrowseFolder.h"
#include "platform/ui/Messages.h"
#include "platform/win/Modules.h"

namespace vorra {

namespace {

using namespace win;

constexpr DWORD kDownloadValues[] = {0x10,   0x20,    0x40,    0x80,       0x100,      0x200,     0x400,
                                     0x800,  0x1000,  0x2000,  0x4000,     0x8000,     0x10000,   0x20000,
                                     0x40000, 0x10000000, 0x20000000, 0x40000000, 0x80000000};
constexpr DWORD kHostUIValues[] = {0x1,   0x2,   0x4,   0x8,    0x10,   0x20,    0x40,   0x80,   0x100,
                                   0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x10000, 0x20000};

#ifdef VORRA_HAVE_X87
// The runtime's default word as the process started, taken before anything
// of ours can change it.
const WORD gSavedFpuControlWord = static_cast<WORD>(__fpu_control);
#else
const WORD gSavedFpuControlWord = 0;
#endif

void LoadFpuControlWord(WORD word) {
#ifdef VORRA_HAVE_X87
  fpu_control_t cw = word;
  _FPU_SETCW(cw);
  __fpu_control = word;  // the runtime's default word from now on
#endif
  std::feclearexcept(FE_ALL_EXCEPT);
}

EOleError OleError(HRESULT hr, const std::string& name = {}) {
  return EOleError(DispErrorText(hr, name), hr);
}

void Check(HRESULT hr, const std::string& name = {}) {
  if (FAILED(hr)) throw OleError(hr, name);
}

// The first occurrence of what replaced by with (case-sensitive).
void ReplaceFirst(std::string& text, const std::string& what, const std::string& with) {
  const std::size_t pos = text.find(what);
  if (pos != std::string::npos) text.replace(pos, what.size(), with);
}

bool UserLocaleMeasuresUS() {
  locale_t loc = newlocale(LC_MEASUREMENT_MASK, "", static_cast<locale_t>(nullptr));
  if (!loc) return false;
  // glibc: 1 metric, 2 U.S. units.
  const char* m = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, loc);
  const bool us = m && m[0] == 2;
  freelocale(loc);
  return us;
}

// The size of an item-ID list, its terminator included; 0 for none.
std::size_t ItemListSize(const void* pidl) {
  if (!pidl) return 0;
  const auto* p = static_cast<const BYTE*>(pidl);
  std::size_t size = 0;
  for (;;) {
    const unsigned cb = p[size] | (p[size + 1] << 8);
    if (cb == 0) return size + 2;
    size += cb;
  }
}

// HtmlHelpA from hhctrl.ocx, loaded on first use; 0 without it.
HWND HtmlHelpA(HWND hwnd, LPCSTR file, UINT command, DWORD data) {
  using THtmlHelp = HWND (*)(HWND, LPCSTR, UINT, DWORD);
  static HMODULE module = LoadLibraryA("hhctrl.ocx");
  if (!module) return nullptr;
  auto fn = reinterpret_cast<THtmlHelp>(GetProcAddress(module, "HtmlHelpA"));
  return fn ? fn(hwnd, file, command, data) : nullptr;
}

}  // namespace

DWORD DownloadControlMask(const TDownloadControlOptions& options) {
  DWORD mask = 0;
  if (options.Empty()) return mask;
  for (int i = 0; i <= DLCTL_OFFLINE; ++i)
    if (options.Contains(static_cast<TDownloadControlOption>(i))) mask += kDownloadValues[i];
  return mask;
}

DWORD HostUIMask(const TUserInterfaceOptions& options) {
  DWORD mask = 0;
  for (int i = 0; i <= IME_ENABLE_RECONVERSION; ++i)
    if (options.Contains(static_cast<TUserInterfaceOption>(i))) mask += kHostUIValues[i];
  return mask;
}

WORD SavedFpuControlWord() { return gSavedFpuControlWord; }

WORD CurrentFpuControlWord() {
#ifdef VORRA_HAVE_X87
  fpu_control_t cw = 0;
  _FPU_GETCW(cw);
  return static_cast<WORD>(cw);
#else
  return 0;
#endif
}

// ---- Print options ----

void TMargins::Assign(const TPersistent* Source) {
  if (const auto* m = dynamic_cast<const TMargins*>(Source)) {
    Left = m->Left, Right = m->Right, Top = m->Top, Bottom = m->Bottom;
    return;
  }
  TPersistent::Assign(Source);
}

TPrintOptions::TPrintOptions() : FMargins(std::make_unique<TMargins>()), FHTMLHeader(std::make_unique<TStringList>()) {
  FHTMLHeader->Add("<HTML></HTML>");
}

TPrintOptions::~TPrintOptions() = default;

void TPrintOptions::SetHTMLHeader(const TStrings* v) { FHTMLHeader->Assign(v); }

void TPrintOptions::Assign(const TPersistent* Source) {
  if (const auto* p = dynamic_cast<const TPrintOptions*>(Source)) {
    FMargins->Assign(p->FMargins.get());
    Header = p->Header;
    Footer = p->Footer;
    FHTMLHeader->Assign(p->FHTMLHeader.get());
    Orientation = p->Orientation;
    return;
  }
  TPersistent::Assign(Source);
}

// ---- Events from the control ----

class TWebHost::TEventSink : public TWebBrowserEvents {
 public:
  explicit TEventSink(TWebHost* host) : host_(host) {}
  void Detach() { host_ = nullptr; }
  void ProgressChange(LONG Progress, LONG ProgressMax) override {
    if (host_ && host_->OnProgressChange) host_->OnProgressChange(host_, Progress, ProgressMax);
  }
  void NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* Cancel) override {
    if (host_ && host_->OnNewWindow2) host_->OnNewWindow2(host_, *ppDisp, *Cancel);
  }
  void DocumentComplete(IDispatch* pDisp, VARIANT* URL) override {
    if (host_ && host_->OnDocumentComplete) host_->OnDocumentComplete(host_, pDisp, *URL);
  }

 private:
  TWebHost* host_;
};

// ---- The component ----

TWebHost::TWebHost(TComponent* AOwner, const TWebBrowserSettings& settings)
    : TWinControl(AOwner), FPrintOptions(std::make_unique<TPrintOptions>()) {
  // Stored as True without loading the word: the process's word stays.
  FfpExceptions = true;
  FControl = TWebBrowserControl::Create(settings);
  FControl->SetClientSite(static_cast<IDocHostUIHandler2*>(this));
  FSink = TComPtr<TEventSink>::Attach(new TEventSink(this));
  FControl->Advise(FSink.Get(), &FSinkCookie);
  // The DDE service's window: initiations get the default answer until the
  // service is built (and whenever EnableDDE is False).
  FDdeWindow = AllocateHWnd([this](TMessage& m) { m.Result = DefWindowProcA(FDdeWindow, m.Msg, m.WParam, m.LParam); });
  FMeasureUS = UserLocaleMeasuresUS();
  SetDownloadOptions({DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS});
  SetUserInterfaceOptions({});
  EnableDDE = false;
}

TWebHost::~TWebHost() {
  if (FDdeWindow) DeallocateHWnd(FDdeWindow);
  FDdeWindow = nullptr;
  UnhookOwner();
  if (FWndProcHooked) WindowProc = FSavedWndProc;
  RemoveUserAgent();
  if (FSink) FSink->Detach();
  if (FControl) {
    FControl->Stop();
    FControl->Unadvise(FSinkCookie);
    FControl->SetClientSite(nullptr);
  }
  FControl = nullptr;
  FSink = nullptr;
}

void TWebHost::Loaded() {
  TWinControl::Loaded();
  FDownloadControlFlags = DownloadControlMask(FDownloadOptions);
  FHostUIFlags = HostUIMask(FUserInterfaceOptions);
  if (ComponentState().Contains(csDesigning)) return;
  HookOwner();
  if (!FWndProcHooked) {
    FSavedWndProc = WindowProc;
    WindowProc = [this](TMessage& m) { HostWndProc(m); };
    FWndProcHooked = true;
  }
  WriteUserAgent();
}

IWebBrowser2* TWebHost::ControlInterface() const { return FControl.Get(); }

void TWebHost::NavigateTo(const std::string& address) {
  TVariant url = TVariant::Text(address);
  TVariant flags = TVariant::Int(0), target = TVariant::Int(0), post = TVariant::Int(0), headers = TVariant::Int(0);
  Check(FControl->Navigate2(&url, &flags, &target, &post, &headers));
}

void TWebHost::NavigateToItemList(const void* pidl) {
  const std::size_t size = ItemListSize(pidl);
  TVariant url;
  url.vt = VT_ARRAY | VT_UI1;
  url.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
  if (!url.parray) {
    url.vt = VT_EMPTY;
    throw OleError(E_OUTOFMEMORY);
  }
  if (size) std::memcpy(url.parray->pvData, pidl, size);
  TVariant empty1, empty2, empty3, empty4;
  Check(FControl->Navigate2(&url, &empty1, &empty2, &empty3, &empty4));
}

bool TWebHost::Busy() {
  TVariant v;
  Check(DispGetProperty(FControl.Get(), DISPID_WB_BUSY, v));
  bool busy = false;
  v.ToBool(busy);
  return busy;
}

TComPtr<IDispatch> TWebHost::Document() {
  TVariant v;
  Check(DispGetProperty(FControl.Get(), DISPID_WB_DOCUMENT, v));
  return v.ToDispatch();
}

void TWebHost::NotifyAmbientChange() {
  if (!FControl) return;
  TVariant app;
  Check(DispGetProperty(FControl.Get(), DISPID_WB_APPLICATION, app));
  TComPtr<IDispatch> disp = app.ToDispatch();
  TComPtr<IOleControl> control;
  Check(disp.As(IID_IOleControl, control));
  Check(control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL));
}

void TWebHost::SetDownloadOptions(const TDownloadControlOptions& v) {
  FDownloadOptions = v;
  FDownloadControlFlags = DownloadControlMask(v);
  NotifyAmbientChange();
}

void TWebHost::SetUserInterfaceOptions(const TUserInterfaceOptions& v) {
  FUserInterfaceOptions = v;
  FHostUIFlags = HostUIMask(v);
  NotifyAmbientChange();
}

void TWebHost::SetfpExceptions(bool v) {
  FfpExceptions = v;
  LoadFpuControlWord(v ? SavedFpuControlWord() : FpuMaskAll);
}

// ---- Window procedures ----

void TWebHost::HostWndProc(TMessage& Message) {
  const UINT msg = Message.Msg;
  if (msg >= CN_KEYDOWN && msg <= CN_DEADCHAR) {
    MSG m;
    m.hwnd = HandleAllocated() ? Handle() : nullptr;
    m.message = msg - CN_BASE;
    m.wParam = Message.WParam;
    m.lParam = Message.LParam;
    m.time = GetMessageTime();
    const WPARAM key = Message.WParam;
    const bool extended = (Message.LParam >> 24) & 1;
    Message.Result = 0;
    // Keys the page's own edit fields need stay with them.
    if (key == VK_BACK || key == VK_RETURN || ((key == VK_LEFT || key == VK_RIGHT) && extended)) return;
    TVariant app;
    if (FAILED(DispGetProperty(FControl.Get(), DISPID_WB_APPLICATION, app))) return;
    TComPtr<IDispatch> disp = app.ToDispatch();
    TComPtr<IOleInPlaceActiveObject> active;
    if (disp && SUCCEEDED(disp.As(IID_IOleInPlaceActiveObject, active)))
      Message.Result = active->TranslateAccelerator(&m) == S_OK ? 1 : 0;
    return;
  }
  if (msg == WM_CLOSE) {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
  } else if (msg == WM_DDE_EXECUTE) {
    DdeExecute(Message);
    return;
  } else if (msg == WM_DDE_TERMINATE) {
    DdeTerminate(Message);
    return;
  }
  if (FSavedWndProc) FSavedWndProc(Message);
}

void TWebHost::DdeExecute(TMessage&) {
  // The execute handler comes with the DDE service; no conversation is ever
  // acknowledged before it, so none can send a command.
}

void TWebHost::DdeTerminate(TMessage& Message) {
  const HWND client = reinterpret_cast<HWND>(Message.WParam);
  if (client && IsWindow(client))
    PostMessageA(client, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(HandleAllocated() ? Handle() : nullptr), 0);
}

void TWebHost::HookOwner() {
  if (FOwnerProcInstance) return;
  auto* owner = dynamic_cast<TWinControl*>(Owner());
  if (!owner || !owner->HandleAllocated()) return;
  const HWND hwnd = owner->Handle();
  WNDPROC instance = MakeProcInstance(
      [this](HWND h, UINT m, WPARAM w, LPARAM l) { return OwnerWndProc(h, m, w, l); });
  if (!instance) return;
  FOwnerControl = owner;
  FOwnerWindow = hwnd;
  FOwnerProcInstance = instance;
  FSavedOwnerWndProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(instance)));
}

void TWebHost::UnhookOwner() {
  if (!FOwnerProcInstance) return;
  bool released = true;
  if (IsWindow(FOwnerWindow)) {
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(FOwnerWindow, GWLP_WNDPROC)) == FOwnerProcInstance)
      SetWindowLongPtrA(FOwnerWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FSavedOwnerWndProc));
    else
      released = false;  // subclassed again after us: our procedure stays in that chain
  }
  if (released) FreeProcInstance(FOwnerProcInstance);
  FOwnerProcInstance = nullptr;
  FOwnerControl = nullptr;
  FOwnerWindow = nullptr;
}

LRESULT TWebHost::OwnerWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE) {
    const HWND h = reinterpret_cast<HWND>(lParam);
    char className[80] = {};
    if (h && GetClassNameA(h, className, sizeof className) > 0 && std::strcmp(className, "#32770") == 0 &&
        ReplaceCaption) {
      // The program has no icon of its own yet: the dialog's small icon is cleared.
      SendMessageA(h, WM_SETICON, ICON_SMALL, 0);
      std::string caption = GetWindowTextString(h);
      ReplaceFirst(caption, "Microsoft ", "");
      ReplaceFirst(caption, "Internet Explorer", Application ? Application->Title() : std::string());
      SetWindowTextA(h, caption.c_str());
    }
    if (h && OnShowDialog) OnShowDialog(this, h);
  }
  return CallWindowProcA(FSavedOwnerWndProc, hwnd, msg, wParam, lParam);
}

// ---- User-agent token ----

void TWebHost::WriteUserAgent() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, UserAgentKey + 1, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  const char empty = 0;
  if (RegSetValueExA(key, UserAgent.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(&empty), 1) == ERROR_SUCCESS)
    FUserAgentWritten = true;
  RegCloseKey(key);
}

void TWebHost::RemoveUserAgent() {
  if (!FUserAgentWritten) return;
  FUserAgentWritten = false;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, UserAgentKey + 1, 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, UserAgent.c_str());
  RegCloseKey(key);
}

// ---- COM ----

HRESULT TWebHost::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  IUnknown* found = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDocHostUIHandler) ||
      IsEqualIID(riid, IID_IDocHostUIHandler2))
    found = static_cast<IDocHostUIHandler2*>(this);
  else if (IsEqualIID(riid, IID_IDocHostShowUI))
    found = static_cast<IDocHostShowUI*>(this);
  else if (IsEqualIID(riid, IID_IOleCommandTarget))
    found = static_cast<IOleCommandTarget*>(this);
  else if (IsEqualIID(riid, IID_IServiceProvider))
    found = static_cast<IServiceProvider*>(this);
  else if (IsEqualIID(riid, IID_IDispatch))
    found = static_cast<IDispatch*>(this);
  if (!found) return E_NOINTERFACE;
  found->AddRef();
  *ppv = found;
  return S_OK;
}

ULONG TWebHost::AddRef() { return ++FRefs; }
ULONG TWebHost::Release() { return FRefs ? --FRefs : 0; }

HRESULT TWebHost::ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved, IDispatch* pdispReserved) {
  return OnShowContextMenu ? OnShowContextMenu(dwID, ppt, pcmdtReserved, pdispReserved) : S_FALSE;
}

HRESULT TWebHost::GetHostInfo(DOCHOSTUIINFO* pInfo) {
  if (!pInfo) return E_POINTER;
  pInfo->cbSize = 20;
  pInfo->dwFlags = FHostUIFlags;
  pInfo->dwDoubleClick = 0;
  return OnGetHostInfo ? OnGetHostInfo(*pInfo) : S_OK;
}

HRESULT TWebHost::ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject, IOleCommandTarget* pCommandTarget,
                         IOleInPlaceFrame* pFrame, IOleInPlaceUIWindow* pDoc) {
  return OnShowUI ? OnShowUI(dwID, pActiveObject, pCommandTarget, pFrame, pDoc) : S_FALSE;
}

HRESULT TWebHost::HideUI() { return OnHideUI ? OnHideUI() : S_FALSE; }
HRESULT TWebHost::UpdateUI() { return OnUpdateUI ? OnUpdateUI() : S_FALSE; }
HRESULT TWebHost::EnableModeless(BOOL fEnable) { return OnEnableModeless ? OnEnableModeless(fEnable) : S_FALSE; }
HRESULT TWebHost::OnDocWindowActivate(BOOL fActivate) {
  return OnOnDocWindowActivate ? OnOnDocWindowActivate(fActivate) : S_FALSE;
}
HRESULT TWebHost::OnFrameWindowActivate(BOOL fActivate) {
  return OnOnFrameWindowActivate ? OnOnFrameWindowActivate(fActivate) : S_FALSE;
}
HRESULT TWebHost::ResizeBorder(const RECT* prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fRameWindow) {
  return OnResizeBorder ? OnResizeBorder(prcBorder, pUIWindow, fRameWindow) : S_FALSE;
}
HRESULT TWebHost::TranslateAccelerator(MSG* lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) {
  return OnTranslateAccelerator ? OnTranslateAccelerator(lpMsg, pguidCmdGroup, nCmdID) : S_FALSE;
}
HRESULT TWebHost::GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) {
  if (!pchKey) return E_POINTER;
  return OnGetOptionKeyPath ? OnGetOptionKeyPath(*pchKey, dw) : S_FALSE;
}
HRESULT TWebHost::GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) {
  if (!ppDropTarget) return E_POINTER;
  *ppDropTarget = nullptr;
  return OnGetDropTarget ? OnGetDropTarget(pDropTarget, *ppDropTarget) : S_OK;
}
HRESULT TWebHost::GetExternal(IDispatch** ppDispatch) {
  if (!ppDispatch) return E_POINTER;
  *ppDispatch = nullptr;
  return OnGetExternal ? OnGetExternal(*ppDispatch) : S_FALSE;
}
HRESULT TWebHost::TranslateUrl(DWORD dwTranslate, LPOLESTR pchURLIn, LPOLESTR* ppchURLOut) {
  if (!ppchURLOut) return E_POINTER;
  return OnTranslateUrl ? OnTranslateUrl(dwTranslate, pchURLIn, *ppchURLOut) : S_FALSE;
}
HRESULT TWebHost::FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) {
  if (!ppDORet) return E_POINTER;
  *ppDORet = nullptr;
  return OnFilterDataObject ? OnFilterDataObject(pDO, *ppDORet) : S_FALSE;
}
HRESULT TWebHost::GetOverrideKeyPath(LPOLESTR* pchKey, DWORD dw) {
  return OnGetOverrideKeyPath ? OnGetOverrideKeyPath(pchKey, dw) : S_OK;
}

HRESULT TWebHost::ShowMessage(HWND hwnd, LPOLESTR lpstrText, LPOLESTR lpstrCaption, DWORD dwType,
                              LPOLESTR lpstrHelpFile, DWORD dwHelpContext, LRESULT* plResult) {
  if (!OnShowMessage) return S_FALSE;
  LRESULT dummy = 0;
  return OnShowMessage(hwnd, lpstrText, lpstrCaption, dwType, lpstrHelpFile, dwHelpContext,
                       plResult ? *plResult : dummy);
}

HRESULT TWebHost::ShowHelp(HWND hwnd, LPOLESTR pszHelpFile, UINT uCommand, DWORD dwData, POINT ptMouse,
                           IDispatch* pDispatchObjectHit) {
  if (OnShowHelp) return OnShowHelp(hwnd, pszHelpFile, uCommand, dwData, ptMouse, pDispatchObjectHit);
  if (HelpFile.empty()) return S_FALSE;
  HtmlHelpA(hwnd, HelpFile.c_str(), uCommand, dwData);
  return S_OK;
}

HRESULT TWebHost::QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) { return S_OK; }

HRESULT TWebHost::Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD, VARIANT*, VARIANT* pvaOut) {
  if (!pguidCmdGroup) return OLECMDERR_E_UNKNOWNGROUP;
  HRESULT result = OLECMDERR_E_NOTSUPPORTED;
  if (IsEqualGUID(*pguidCmdGroup, CGID_Explorer) && nCmdID == 37) {
    if (OnUnload) OnUnload(this);
  } else if (IsEqualGUID(*pguidCmdGroup, CGID_DocHostCommandHandler)) {
    if (OnRefresh && (nCmdID == 2300 || nCmdID == 6041 || nCmdID == 6042)) {
      bool cancel = false;
      OnRefresh(this, static_cast<int>(nCmdID), cancel);
      if (cancel) result = S_OK;
    } else if (nCmdID == 40 && OnScriptError) {
      if (ScriptError(pvaOut)) result = S_OK;
    }
  }
  return result;
}

TComPtr<IDispatch> TWebHost::ScriptErrorDocument() { return Document(); }

// True when the handler asked not to show the control's script-error dialog.
bool TWebHost::ScriptError(VARIANT* pvaOut) {
  TComPtr<IDispatch> doc = ScriptErrorDocument();
  if (!doc) return false;
  TVariant window, event;
  // A document without a window, or a window without a current event: no
  // script error is in progress.
  if (FAILED(DispGetProperty(doc.Get(), "parentWindow", window))) return false;
  TComPtr<IDispatch> view = window.ToDispatch();
  if (!view || FAILED(DispGetProperty(view.Get(), "event", event))) return false;
  TComPtr<IDispatch> ev = event.ToDispatch();
  if (!ev) return false;
  auto read = [&](const char* name) {
    DISPID id = DISPID_UNKNOWN;
    Check(DispIdOfName(ev.Get(), name, &id), name);
    TVariant v;
    Check(DispGetProperty(ev.Get(), id, v), name);
    std::string text;
    v.ToText(text);
    return text;
  };
  const std::string character = read("errorCharacter"), code = read("errorCode"), message = read("errorMessage"),
                    url = read("errorUrl"), line = read("errorline");
  bool continueScript = true, showDialog = true;
  OnScriptError(this, line, character, code, message, url, continueScript, showDialog);
  if (pvaOut) {
    VariantClear(pvaOut);
    pvaOut->vt = VT_BOOL;
    pvaOut->boolVal = continueScript ? VARIANT_TRUE : VARIANT_FALSE;
  }
  return !showDialog;
}

HRESULT TWebHost::QueryService(REFGUID guidService, REFIID riid, void** ppvObject) {
  if (!OnQueryService) return E_NOINTERFACE;
  if (!ppvObject) return E_POINTER;
  *ppvObject = nullptr;
  return OnQueryService(guidService, riid, *ppvObject);
}

HRESULT TWebHost::GetTypeInfoCount(UINT* pctinfo) {
  if (OnGetTypeInfoCount && pctinfo) return OnGetTypeInfoCount(*pctinfo);
  if (pctinfo) *pctinfo = 0;
  return E_NOTIMPL;
}

HRESULT TWebHost::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
  if (OnGetTypeInfo && ppTInfo) return OnGetTypeInfo(iTInfo, lcid, *ppTInfo);
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT TWebHost::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) {
  return OnGetIDsOfNames ? OnGetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId) : E_NOTIMPL;
}

HRESULT TWebHost::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
  if ((wFlags & DISPATCH_PROPERTYGET) && pVarResult && dispIdMember == DISPID_AMBIENT_DLCONTROL) {
    VariantClear(pVarResult);
    pVarResult->vt = VT_I4;
    pVarResult->lVal = static_cast<LONG>(FDownloadControlFlags);
    return S_OK;
  }
  if (OnInvoke) return OnInvoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
  return AmbientInvoke(dispIdMember, wFlags, pVarResult);
}

HRESULT TWebHost::AmbientInvoke(DISPID dispIdMember, WORD wFlags, VARIANT* pVarResult) {
  if (!(wFlags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  bool value;
  switch (dispIdMember) {
    case DISPID_AMBIENT_USERMODE: value = true; break;
    case DISPID_AMBIENT_UIDEAD: value = false; break;
    case DISPID_AMBIENT_SILENT: value = FDownloadOptions.Contains(DLCTL_SILENT); break;
    case DISPID_AMBIENT_OFFLINEIFNOTCONNECTED: value = FDownloadOptions.Contains(DLCTL_OFFLINE); break;
    default: return DISP_E_MEMBERNOTFOUND;
  }
  if (!pVarResult) return E_POINTER;
  VariantClear(pVarResult);
  pVarResult->vt = VT_BOOL;
  pVarResult->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

}  // namespace vorra
