// The browser control: the members of the WebBrowser control (IWebBrowser2)
// that a host calls, the host questions it asks (ambient download control
// through the host's IDispatch, GetHostInfo through IDocHostUIHandler), and
// the DWebBrowserEvents2 events it raises on the sinks advised to it.
//
// A navigation fetches the page (platform/net, with the message pump running
// while it waits), decodes and parses it (THtmlDocument) and completes:
// ProgressChange while bytes arrive, NewWindow2 for each inline script or
// event attribute that calls window.open (nothing opens whatever the handler
// answers), the page's scripts (html/ScriptEngine.h; external ones fetched
// like the page, http/https only unless the page itself is local), then Busy
// turns false and DocumentComplete is raised with the control itself and the
// address. A script error is counted and skipped; without DLCTL_SILENT the
// host is first asked through IOleCommandTarget::Exec(OLECMDID_SHOWSCRIPTERROR)
// while the document (its parentWindow.event) describes the error. A failed navigation completes the same
// way with a small error page that names the error and the address.
// Before DocumentComplete the page's FRAME and IFRAME documents are loaded
// the same way (FrameLoader.h), unless DLCTL_NO_FRAMEDOWNLOAD is set.
// Navigate2 returns after the navigation has completed (or was superseded by
// a later Navigate2 or Stop made from a message that the pump dispatched; the
// superseded one raises no more events).
//
// The download-control flags are honoured as far as they mean anything to a
// browser that runs no scripts, Java or ActiveX and renders nothing:
// - DLCTL_DLIMAGES, DLCTL_VIDEOS, DLCTL_BGSOUNDS: sub-resources are never
//   fetched (the document does not need them); the addresses the flags allow
//   are only listed (WouldFetch), so a host can see what the flags let through.
// - DLCTL_NO_JAVA, DLCTL_NO_RUNACTIVEXCTLS, DLCTL_NO_DLACTIVEXCTLS: applets
//   and controls are never fetched or run.
// - DLCTL_NO_SCRIPTS: the page's scripts neither run nor are fetched.
// - DLCTL_PRAGMA_NO_CACHE: the request carries "Pragma: no-cache" and
//   "Cache-Control: no-cache".
// - DLCTL_SILENT: no dialogs; this control never shows any.
// - DLCTL_NO_METACHARSET: a <meta> charset declaration is not read.
// - DLCTL_OFFLINE, DLCTL_FORCEOFFLINE: the page comes from the URL cache only;
//   nothing goes to the network (local files are still read).
// Requests carry the user agent with the tokens registered under the
// browser's "Post Platform" key (HKEY_CURRENT_USER), as IE sends them.
// The flags are asked for before every navigation and again when the host
// calls OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL or DISPID_UNKNOWN).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/Com.h"
#include "platform/html/HtmlDocument.h"
#include "platform/net/PageFetch.h"
#include "platform/ui/UiTypes.h"
#include "platform/ui/Window.h"

namespace win {
namespace net {
struct TPageRequest;
}

struct MSG;
class IOleInPlaceFrame;
class IOleInPlaceUIWindow;
class IDropTarget;
class IDataObject;

// Download-control flags (ambient DISPID_AMBIENT_DLCONTROL), Windows values.
inline constexpr DWORD DLCTL_DLIMAGES = 0x00000010;
inline constexpr DWORD DLCTL_VIDEOS = 0x00000020;
inline constexpr DWORD DLCTL_BGSOUNDS = 0x00000040;
inline constexpr DWORD DLCTL_NO_SCRIPTS = 0x00000080;
inline constexpr DWORD DLCTL_NO_JAVA = 0x00000100;
inline constexpr DWORD DLCTL_NO_RUNACTIVEXCTLS = 0x00000200;
inline constexpr DWORD DLCTL_NO_DLACTIVEXCTLS = 0x00000400;
inline constexpr DWORD DLCTL_DOWNLOADONLY = 0x00000800;
inline constexpr DWORD DLCTL_NO_FRAMEDOWNLOAD = 0x00001000;
inline constexpr DWORD DLCTL_RESYNCHRONIZE = 0x00002000;
inline constexpr DWORD DLCTL_PRAGMA_NO_CACHE = 0x00004000;
inline constexpr DWORD DLCTL_NO_BEHAVIORS = 0x00008000;
inline constexpr DWORD DLCTL_NO_METACHARSET = 0x00010000;
inline constexpr DWORD DLCTL_URL_ENCODING_DISABLE_UTF8 = 0x00020000;
inline constexpr DWORD DLCTL_URL_ENCODING_ENABLE_UTF8 = 0x00040000;
inline constexpr DWORD DLCTL_NOFRAMES = 0x00080000;
inline constexpr DWORD DLCTL_FORCEOFFLINE = 0x10000000;
inline constexpr DWORD DLCTL_NO_CLIENTPULL = 0x20000000;
inline constexpr DWORD DLCTL_SILENT = 0x40000000;
inline constexpr DWORD DLCTL_OFFLINEIFNOTCONNECTED = 0x80000000;
inline constexpr DWORD DLCTL_OFFLINE = DLCTL_OFFLINEIFNOTCONNECTED;

// What the control uses when the host does not answer the ambient property.
inline constexpr DWORD DLCTL_DEFAULT = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS;

// IDocHostUIHandler's host information.
struct DOCHOSTUIINFO {
  ULONG cbSize;
  DWORD dwFlags;
  DWORD dwDoubleClick;
  OLECHAR* pchHostCss;
  OLECHAR* pchHostNS;
};

inline constexpr DWORD DOCHOSTUIFLAG_DIALOG = 0x1;
inline constexpr DWORD DOCHOSTUIFLAG_DISABLE_HELP_MENU = 0x2;
inline constexpr DWORD DOCHOSTUIFLAG_NO3DBORDER = 0x4;
inline constexpr DWORD DOCHOSTUIFLAG_SCROLL_NO = 0x8;
inline constexpr DWORD DOCHOSTUIFLAG_OPENNEWWIN = 0x20;

extern const IID IID_IDocHostUIHandler;
extern const IID IID_IDocHostShowUI;
extern const IID IID_IOleCommandTarget;
extern const IID IID_IServiceProvider;
extern const IID IID_IOleInPlaceActiveObject;
extern const IID IID_IOleWindow;
// Command groups of IOleCommandTarget::Exec that MSHTML sends its host.
extern const GUID CGID_DocHostCommandHandler;
extern const GUID CGID_Explorer;

// The in-place object the host hands keyboard messages to.
class IOleWindow : public IUnknown {
 public:
  virtual HRESULT GetWindow(HWND* phwnd) = 0;
  virtual HRESULT ContextSensitiveHelp(BOOL fEnterMode) = 0;

 protected:
  ~IOleWindow() = default;
};

class IOleInPlaceActiveObject : public IOleWindow {
 public:
  virtual HRESULT TranslateAccelerator(MSG* lpmsg) = 0;
  virtual HRESULT OnFrameWindowActivate(BOOL fActivate) = 0;
  virtual HRESULT OnDocWindowActivate(BOOL fActivate) = 0;
  virtual HRESULT ResizeBorder(const RECT* prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) = 0;
  virtual HRESULT EnableModeless(BOOL fEnable) = 0;

 protected:
  ~IOleInPlaceActiveObject() = default;
};

struct OLECMD {
  ULONG cmdID;
  DWORD cmdf;
};
struct OLECMDTEXT {
  DWORD cmdtextf;
  ULONG cwActual;
  ULONG cwBuf;
  OLECHAR rgwz[1];
};

class IOleCommandTarget : public IUnknown {
 public:
  virtual HRESULT QueryStatus(const GUID* pguidCmdGroup, ULONG cCmds, OLECMD* prgCmds, OLECMDTEXT* pCmdText) = 0;
  virtual HRESULT Exec(const GUID* pguidCmdGroup, DWORD nCmdID, DWORD nCmdexecopt, VARIANT* pvaIn,
                       VARIANT* pvaOut) = 0;

 protected:
  ~IOleCommandTarget() = default;
};

class IServiceProvider : public IUnknown {
 public:
  virtual HRESULT QueryService(REFGUID guidService, REFIID riid, void** ppvObject) = 0;

 protected:
  ~IServiceProvider() = default;
};

// Messages and help that the page would show, offered to the host first.
class IDocHostShowUI : public IUnknown {
 public:
  virtual HRESULT ShowMessage(HWND hwnd, LPOLESTR lpstrText, LPOLESTR lpstrCaption, DWORD dwType,
                              LPOLESTR lpstrHelpFile, DWORD dwHelpContext, LRESULT* plResult) = 0;
  virtual HRESULT ShowHelp(HWND hwnd, LPOLESTR pszHelpFile, UINT uCommand, DWORD dwData, POINT ptMouse,
                           IDispatch* pDispatchObjectHit) = 0;

 protected:
  ~IDocHostShowUI() = default;
};
extern const IID IID_IDocHostUIHandler2;
extern const IID IID_IOleControl;
extern const IID IID_IWebBrowser2;
extern const IID DIID_DWebBrowserEvents2;
extern const CLSID CLSID_WebBrowser;

// The host's UI handler, in its Windows slot order. The interfaces that only
// pass through it (frames, drop targets, data objects) are opaque here.
class IDocHostUIHandler : public IUnknown {
 public:
  virtual HRESULT ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved, IDispatch* pdispReserved) = 0;
  virtual HRESULT GetHostInfo(DOCHOSTUIINFO* pInfo) = 0;
  virtual HRESULT ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject, IOleCommandTarget* pCommandTarget,
                         IOleInPlaceFrame* pFrame, IOleInPlaceUIWindow* pDoc) = 0;
  virtual HRESULT HideUI() = 0;
  virtual HRESULT UpdateUI() = 0;
  virtual HRESULT EnableModeless(BOOL fEnable) = 0;
  virtual HRESULT OnDocWindowActivate(BOOL fActivate) = 0;
  virtual HRESULT OnFrameWindowActivate(BOOL fActivate) = 0;
  virtual HRESULT ResizeBorder(const RECT* prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fRameWindow) = 0;
  virtual HRESULT TranslateAccelerator(MSG* lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) = 0;
  virtual HRESULT GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) = 0;
  virtual HRESULT GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) = 0;
  virtual HRESULT GetExternal(IDispatch** ppDispatch) = 0;
  virtual HRESULT TranslateUrl(DWORD dwTranslate, LPOLESTR pchURLIn, LPOLESTR* ppchURLOut) = 0;
  virtual HRESULT FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) = 0;

 protected:
  ~IDocHostUIHandler() = default;
};

class IDocHostUIHandler2 : public IDocHostUIHandler {
 public:
  virtual HRESULT GetOverrideKeyPath(LPOLESTR* pchKey, DWORD dw) = 0;

 protected:
  ~IDocHostUIHandler2() = default;
};

struct CONTROLINFO {
  ULONG cb;
  void* hAccel;
  WORD cAccel;
  DWORD dwFlags;
};

class IOleControl : public IUnknown {
 public:
  virtual HRESULT GetControlInfo(CONTROLINFO* pCI) = 0;
  virtual HRESULT OnMnemonic(MSG* pMsg) = 0;
  virtual HRESULT OnAmbientPropertyChange(DISPID dispID) = 0;
  virtual HRESULT FreezeEvents(BOOL bFreeze) = 0;

 protected:
  ~IOleControl() = default;
};

inline constexpr LONG READYSTATE_UNINITIALIZED = 0;
inline constexpr LONG READYSTATE_LOADING = 1;
inline constexpr LONG READYSTATE_INTERACTIVE = 3;
inline constexpr LONG READYSTATE_COMPLETE = 4;

// The members of IWebBrowser2 that hosts call (the rest are not offered).
class IWebBrowser2 : public IDispatch {
 public:
  virtual HRESULT Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                            VARIANT* Headers) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT get_Busy(VARIANT_BOOL* pBool) = 0;
  virtual HRESULT get_Document(IDispatch** ppDisp) = 0;
  virtual HRESULT get_LocationURL(BSTR* LocationURL) = 0;
  virtual HRESULT get_ReadyState(LONG* plReadyState) = 0;
  virtual HRESULT get_Application(IDispatch** ppDisp) = 0;

 protected:
  ~IWebBrowser2() = default;
};

// Dispatch identifiers of the control's members and events (Windows values).
inline constexpr DISPID DISPID_WB_APPLICATION = 200;
inline constexpr DISPID DISPID_WB_DOCUMENT = 203;
inline constexpr DISPID DISPID_WB_LOCATIONURL = 211;
inline constexpr DISPID DISPID_WB_BUSY = 212;
inline constexpr DISPID DISPID_WB_READYSTATE = -525;
inline constexpr DISPID DISPID_WB_NAVIGATE2 = 500;
inline constexpr DISPID DISPID_WB_STOP = 106;
inline constexpr DISPID DISPID_PROGRESSCHANGE = 108;
inline constexpr DISPID DISPID_NEWWINDOW2 = 251;
inline constexpr DISPID DISPID_DOCUMENTCOMPLETE = 259;

// IOleCommandTarget::Exec command of CGID_DocHostCommandHandler that asks the
// host about a script error (pvaIn: the document; pvaOut: whether to go on).
inline constexpr DWORD OLECMDID_SHOWSCRIPTERROR = 40;

struct TWebBrowserSettings {
  // The whole fetch of a page; past it the navigation completes with an error page.
  long TimeoutMs = 60000;
  // Larger pages complete with an error page.
  std::size_t MaxPageBytes = 64u << 20;
  // CPU time and memory for all of a page's scripts (html/ScriptEngine.h).
  long ScriptBudgetMs = 2000;
  std::size_t ScriptMemoryBytes = 256u << 20;
};

class TWebBrowserControl : public TComObject<IWebBrowser2, IOleControl, IOleInPlaceActiveObject> {
 public:
  // A new control holding one reference.
  static TComPtr<TWebBrowserControl> Create(const TWebBrowserSettings& settings = {});

  // The host: asked (QueryInterface) for IDispatch, whose DISPID_AMBIENT_DLCONTROL
  // property gives the download-control flags, and IDocHostUIHandler, whose
  // GetHostInfo is asked once. Null detaches the host (IOleObject::SetClientSite).
  HRESULT SetClientSite(IUnknown* site);
  // Event sinks (DWebBrowserEvents2, called through IDispatch::Invoke);
  // the cookie ends the connection (IConnectionPoint::Advise / Unadvise).
  HRESULT Advise(IDispatch* sink, DWORD* cookie);
  HRESULT Unadvise(DWORD cookie);

  // IWebBrowser2. Navigate2 reads URL as text, or as a shell item-ID list
  // (VT_ARRAY | VT_UI1, its terminator included) naming a file or folder; Headers, when text, adds
  // request headers (lines separated by CR LF); the other arguments are ignored.
  HRESULT Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                    VARIANT* Headers) override;
  HRESULT Stop() override;
  HRESULT get_Busy(VARIANT_BOOL* pBool) override;
  HRESULT get_Document(IDispatch** ppDisp) override;
  HRESULT get_LocationURL(BSTR* LocationURL) override;
  HRESULT get_ReadyState(LONG* plReadyState) override;
  HRESULT get_Application(IDispatch** ppDisp) override;

  // IDispatch: the members above by name and by their dispatch identifiers.
  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // IOleControl.
  HRESULT GetControlInfo(CONTROLINFO* pCI) override;
  HRESULT OnMnemonic(MSG* pMsg) override;
  HRESULT OnAmbientPropertyChange(DISPID dispID) override;
  HRESULT FreezeEvents(BOOL bFreeze) override;

  // IOleInPlaceActiveObject. The control has no keyboard user interface of
  // its own: every key offered is declined (S_FALSE) and counted.
  HRESULT GetWindow(HWND* phwnd) override;
  HRESULT ContextSensitiveHelp(BOOL fEnterMode) override;
  HRESULT TranslateAccelerator(MSG* lpmsg) override;
  HRESULT OnFrameWindowActivate(BOOL fActivate) override;
  HRESULT OnDocWindowActivate(BOOL fActivate) override;
  HRESULT ResizeBorder(const RECT* prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fFrameWindow) override;
  HRESULT EnableModeless(BOOL fEnable) override;
  // Keyboard messages offered through TranslateAccelerator, and the last one.
  int AcceleratorsOffered() const { return acceleratorsOffered_; }
  UINT LastAcceleratorMessage() const { return lastAccelerator_; }

  // The flags in force (from the host's last answer).
  DWORD DownloadControlFlags() const { return dlControl_; }
  // How the last completed navigation went: S_OK, or the fetch's failure that
  // its error page shows.
  HRESULT LastNavigationResult() const { return lastResult_; }
  // The host's GetHostInfo answer (zeros until asked).
  const DOCHOSTUIINFO& HostInfo() const { return hostInfo_; }
  // Script errors of the navigations so far (each is skipped), and scripts
  // and handlers run.
  int ScriptErrors() const { return scriptErrors_; }
  int ScriptsRun() const { return scriptsRun_; }
  // Sub-resources of the current page that the flags let through, as
  // "image:", "video:" or "bgsound:" followed by the address as written.
  const std::vector<std::string>& WouldFetch() const { return wouldFetch_; }

 protected:
  IUnknown* FindInterface(REFIID riid) override;

 private:
  explicit TWebBrowserControl(const TWebBrowserSettings& settings) : settings_(settings) {}
  ~TWebBrowserControl() override;

  // One page fetched, decoded and parsed with the flags in force: the
  // navigation's own page and each of its frames. A failed fetch gives the
  // error page, located at the address asked for.
  struct TLoadedPage {
    HRESULT Result = S_OK;
    std::string Location;  // after redirects
    TComPtr<html::THtmlDocument> Document;
    net::TPageRequest Request;  // how it was fetched: its scripts are fetched alike
  };
  TLoadedPage LoadPage(const std::string& url, const std::vector<std::string>& extraHeaders,
                       const std::function<bool()>& cancelled,
                       const std::function<void(ULONGLONG, ULONGLONG)>& progress) const;
  void AskDownloadControl();
  void AskHostInfo();
  void FireProgressChange(LONG progress, LONG max);
  bool FireNewWindow2();
  void FireDocumentComplete(const std::string& url);
  void FireEvent(DISPID id, DISPPARAMS& params);
  void ListSubresources(const html::THtmlDocument& doc);
  int CountWindowOpens(const html::THtmlDocument& doc) const;
  class TPageScriptHost;
  void RunScripts(html::THtmlDocument& doc, const net::TPageRequest& pageRequest, unsigned long generation);

  TWebBrowserSettings settings_;
  TComPtr<IDispatch> ambient_;
  TComPtr<IDocHostUIHandler> uiHandler_;
  TComPtr<IOleCommandTarget> commandTarget_;
  int scriptErrors_ = 0;
  int scriptsRun_ = 0;
  // True while the page's scripts run: the host may read the document then.
  bool scriptsRunning_ = false;
  std::vector<std::pair<DWORD, TComPtr<IDispatch>>> sinks_;
  DWORD nextCookie_ = 1;
  DWORD dlControl_ = DLCTL_DEFAULT;
  bool hostInfoAsked_ = false;
  DOCHOSTUIINFO hostInfo_{};
  int freezeCount_ = 0;
  int acceleratorsOffered_ = 0;
  HRESULT lastResult_ = S_OK;
  UINT lastAccelerator_ = 0;
  // Each navigation takes the next number; a navigation whose number is no
  // longer current was stopped or superseded.
  unsigned long generation_ = 0;
  bool busy_ = false;
  LONG readyState_ = READYSTATE_UNINITIALIZED;
  TComPtr<html::THtmlDocument> document_;
  std::string locationUrl_;
  std::vector<std::string> wouldFetch_;
};

// A base for event sinks: decodes DWebBrowserEvents2 calls into these methods.
class TWebBrowserEvents : public TComObject<IDispatch> {
 public:
  virtual void ProgressChange(LONG Progress, LONG ProgressMax) {}
  // ppDisp may be set to a browser for the new window; Cancel stops it.
  virtual void NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* Cancel) {}
  virtual void DocumentComplete(IDispatch* pDisp, VARIANT* URL) {}

  HRESULT GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                 VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

 protected:
  IUnknown* FindInterface(REFIID riid) override;
};

// The error page a failed navigation shows (UTF-8 HTML).
std::string NavigationErrorPage(const std::string& url, HRESULT hr);

}  // namespace win
