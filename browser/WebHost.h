// TWebHost: the component through which the program loads pages. It hosts the
// browser control (platform/html) as the control's client site and answers
// its host questions: the download-control flags (ambient -5512), the host
// information, commands, services, messages and help. It also keeps the
// floating-point control word, a user-agent token in the registry while it
// lives, and hooks its own and its owner's window procedure.
//
// The shell's DDE service is not built yet: the constructor makes the hidden
// window that will receive its initiations, and the own window procedure
// already routes WM_DDE_EXECUTE and WM_DDE_TERMINATE to DdeExecute and
// DdeTerminate, which acknowledge nothing while EnableDDE is False.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "framework/Controls.h"
#include "framework/Set.h"
#include "framework/Strings.h"
#include "framework/SysUtils.h"
#include "platform/html/WebBrowser.h"

namespace vorra {

enum TDownloadControlOption {
  DLCTL_DLIMAGES,
  DLCTL_VIDEOS,
  DLCTL_BGSOUNDS,
  DLCTL_NO_SCRIPTS,
  DLCTL_NO_JAVA,
  DLCTL_NO_RUNACTIVEXCTLS,
  DLCTL_NO_DLACTIVEXCTLS,
  DLCTL_DOWNLOADONLY,
  DLCTL_NO_FRAMEDOWNLOAD,
  DLCTL_RESYNCHRONIZE,
  DLCTL_PRAGMA_NO_CACHE,
  DLCTL_NO_BEHAVIORS,
  DLCTL_NO_METACHARSET,
  DLCTL_URL_ENCODING_DISABLE_UTF8,
  DLCTL_URL_ENCODING_ENABLE_UTF8,
  DLCTL_FORCEOFFLINE,
  DLCTL_NO_CLIENTPULL,
  DLCTL_SILENT,
  DLCTL_OFFLINE
};
using TDownloadControlOptions = TSet<TDownloadControlOption>;

enum TUserInterfaceOption {
  DIALOG,
  DISABLE_HELP_MENU,
  NO3DBORDER,
  SCROLL_NO,
  DISABLE_SCRIPT_INACTIVE,
  OPENNEWWIN,
  DISABLE_OFFSCREEN,
  FLAT_SCROLLBAR,
  DIV_BLOCKDEFAULT,
  ACTIVATE_CLIENTHIT_ONLY,
  OVERRIDEBEHAVIORFACTORY,
  CODEPAGELINKEDFONTS,
  URL_ENCODING_DISABLE_UTF8,
  URL_ENCODING_ENABLE_UTF8,
  ENABLE_FORMS_AUTOCOMPLETE,
  ENABLE_INPLACE_NAVIGATION,
  IME_ENABLE_RECONVERSION
};
using TUserInterfaceOptions = TSet<TUserInterfaceOption>;

// The masks the two sets stand for (distinct bits: the sum is the union).
win::DWORD DownloadControlMask(const TDownloadControlOptions& options);
win::DWORD HostUIMask(const TUserInterfaceOptions& options);

enum TPrintOrientationOption { poPortrait, poLandscape };

class TMargins : public TPersistent {
 public:
  double Left = 0, Right = 0, Top = 0, Bottom = 0;
  void Assign(const TPersistent* Source) override;
};

// Page-setup values kept for printing; nothing reads them at run time.
class TPrintOptions : public TPersistent {
 public:
  TPrintOptions();
  ~TPrintOptions() override;
  TMargins* Margins() { return FMargins.get(); }
  std::string Header, Footer;
  TStrings* HTMLHeader() { return FHTMLHeader.get(); }
  // Copies the lines in.
  void SetHTMLHeader(const TStrings* v);
  TPrintOrientationOption Orientation = poPortrait;
  void Assign(const TPersistent* Source) override;

 private:
  std::unique_ptr<TMargins> FMargins;
  std::unique_ptr<TStringList> FHTMLHeader;
};

// A failed COM call made by the component: the text of its result code, or
// "'name' not supported." for an unknown member.
class EOleError : public Exception {
 public:
  EOleError(const std::string& text, win::HRESULT code) : Exception(text), ErrorCode(code) {}
  win::HRESULT ErrorCode;
};

// Reflected keyboard notifications of the class library (CN_BASE + WM_...).
inline constexpr win::UINT CN_BASE = 0xBC00;
inline constexpr win::UINT CN_KEYDOWN = CN_BASE + win::WM_KEYDOWN;
inline constexpr win::UINT CN_DEADCHAR = CN_BASE + win::WM_DEADCHAR;
inline constexpr win::UINT WM_DDE_TERMINATE = 0x03E1;
inline constexpr win::UINT WM_DDE_EXECUTE = 0x03E8;
inline constexpr win::UINT WM_SETICON = 0x0080;
inline constexpr win::WPARAM ICON_SMALL = 0;

// The registry key under which the user-agent token is written.
inline constexpr const char* UserAgentKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";

// The floating-point control word of the process at start, and what the
// fpExceptions setter loads for False (all six exceptions masked, 64-bit
// precision, round to nearest).
win::WORD SavedFpuControlWord();
inline constexpr win::WORD FpuMaskAll = 0x133F;
// The x87 control word now (0 where the machine has none).
win::WORD CurrentFpuControlWord();

// The base host's ambient properties that the control may ask besides -5512.
inline constexpr win::DISPID DISPID_AMBIENT_USERMODE = -709;
inline constexpr win::DISPID DISPID_AMBIENT_UIDEAD = -710;
inline constexpr win::DISPID DISPID_AMBIENT_SILENT = -5502;
inline constexpr win::DISPID DISPID_AMBIENT_OFFLINEIFNOTCONNECTED = -5501;

using TScriptErrorEvent = std::function<void(TObject* Sender, const std::string& ErrorLine,
                                             const std::string& ErrorCharacter, const std::string& ErrorCode,
                                             const std::string& ErrorMessage, const std::string& ErrorUrl,
                                             bool& ContinueScript, bool& Showdialog)>;
using TRefreshEvent = std::function<void(TObject* Sender, int CmdID, bool& Cancel)>;
using TWebCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TShowDialogEvent = std::function<void(TObject* Sender, win::HWND h)>;
using TProgressChangeEvent = std::function<void(TObject* Sender, int Progress, int ProgressMax)>;
using TNewWindow2Event = std::function<void(TObject* Sender, win::IDispatch*& ppDisp, win::VARIANT_BOOL& Cancel)>;
using TDocumentCompleteEvent = std::function<void(TObject* Sender, win::IDispatch* pDisp, win::VARIANT& URL)>;

class TWebHost : public TWinControl,
                 public win::IDocHostUIHandler2,
                 public win::IDocHostShowUI,
                 public win::IOleCommandTarget,
                 public win::IServiceProvider,
                 public win::IDispatch {
 public:
  explicit TWebHost(TComponent* AOwner, const win::TWebBrowserSettings& settings = {});
  ~TWebHost() override;

  void Loaded() override;

  // ---- operations ----
  // Navigate2(address, 0, 0, 0, 0); throws EOleError when the control fails.
  void NavigateTo(const std::string& address);
  // Navigate2 with the item-ID list (terminator included) as a byte array.
  void NavigateToItemList(const void* pidl);
  // The control's Busy (212) and Document (203), through its dispatch interface.
  bool Busy();
  win::TComPtr<win::IDispatch> Document();
  win::IWebBrowser2* ControlInterface() const;
  win::TWebBrowserControl* Control() const { return FControl.Get(); }

  // ---- published properties ----
  const TDownloadControlOptions& DownloadOptions() const { return FDownloadOptions; }
  void SetDownloadOptions(const TDownloadControlOptions& v);
  const TUserInterfaceOptions& UserInterfaceOptions() const { return FUserInterfaceOptions; }
  void SetUserInterfaceOptions(const TUserInterfaceOptions& v);
  win::DWORD DownloadControlFlags() const { return FDownloadControlFlags; }
  win::DWORD HostUIFlags() const { return FHostUIFlags; }
  TPrintOptions* PrintOptions() { return FPrintOptions.get(); }
  void SetPrintOptions(const TPrintOptions* v) { FPrintOptions->Assign(v); }
  std::string UserAgent;
  bool ReplaceCaption = false;
  bool EnableDDE = false;
  bool fpExceptions() const { return FfpExceptions; }
  void SetfpExceptions(bool v);
  std::string HelpFile;
  // Whether the user locale measures in U.S. units.
  bool MeasureUS() const { return FMeasureUS; }
  win::HWND DdeWindow() const { return FDdeWindow; }

  // ---- events raised from the control ----
  TProgressChangeEvent OnProgressChange;
  TNewWindow2Event OnNewWindow2;
  TDocumentCompleteEvent OnDocumentComplete;

  // ---- host events: each answers for its host method when assigned ----
  std::function<win::HRESULT(win::DWORD, win::POINT*, win::IUnknown*, win::IDispatch*)> OnShowContextMenu;
  std::function<win::HRESULT(win::DOCHOSTUIINFO&)> OnGetHostInfo;
  std::function<win::HRESULT(win::DWORD, win::IOleInPlaceActiveObject*, win::IOleCommandTarget*,
                             win::IOleInPlaceFrame*, win::IOleInPlaceUIWindow*)>
      OnShowUI;
  std::function<win::HRESULT()> OnHideUI;
  std::function<win::HRESULT()> OnUpdateUI;
  std::function<win::HRESULT(win::BOOL)> OnEnableModeless;
  std::function<win::HRESULT(win::BOOL)> OnOnDocWindowActivate;
  std::function<win::HRESULT(win::BOOL)> OnOnFrameWindowActivate;
  std::function<win::HRESULT(const win::RECT*, win::IOleInPlaceUIWindow*, win::BOOL)> OnResizeBorder;
  std::function<win::HRESULT(win::MSG*, const win::GUID*, win::DWORD)> OnTranslateAccelerator;
  std::function<win::HRESULT(win::LPOLESTR&, win::DWORD)> OnGetOptionKeyPath;
  std::function<win::HRESULT(win::IDropTarget*, win::IDropTarget*&)> OnGetDropTarget;
  std::function<win::HRESULT(win::IDispatch*&)> OnGetExternal;
  std::function<win::HRESULT(win::DWORD, win::LPOLESTR, win::LPOLESTR&)> OnTranslateUrl;
  std::function<win::HRESULT(win::IDataObject*, win::IDataObject*&)> OnFilterDataObject;
  std::function<win::HRESULT(win::LPOLESTR*, win::DWORD)> OnGetOverrideKeyPath;
  std::function<win::HRESULT(win::HWND, win::LPOLESTR, win::LPOLESTR, win::DWORD, win::LPOLESTR, win::DWORD,
                             win::LRESULT&)>
      OnShowMessage;
  std::function<win::HRESULT(win::HWND, win::LPOLESTR, win::UINT, win::DWORD, win::POINT, win::IDispatch*&)>
      OnShowHelp;
  std::function<win::HRESULT(win::UINT&)> OnGetTypeInfoCount;
  std::function<win::HRESULT(win::UINT, win::LCID, win::ITypeInfo*&)> OnGetTypeInfo;
  std::function<win::HRESULT(win::REFIID, win::LPOLESTR*, win::UINT, win::LCID, win::DISPID*)> OnGetIDsOfNames;
  std::function<win::HRESULT(win::DISPID, win::REFIID, win::LCID, win::WORD, win::DISPPARAMS*, win::VARIANT*,
                             win::EXCEPINFO*, win::UINT*)>
      OnInvoke;
  std::function<win::HRESULT(win::REFGUID, win::REFIID, void*&)> OnQueryService;
  TRefreshEvent OnRefresh;
  TScriptErrorEvent OnScriptError;
  TNotifyEvent OnUnload;
  TWebCloseQueryEvent OnCloseQuery;
  TShowDialogEvent OnShowDialog;

  // ---- COM: the host interfaces, counted by the component (it is freed by its owner) ----
  win::HRESULT QueryInterface(win::REFIID riid, void** ppvObject) override;
  win::ULONG AddRef() override;
  win::ULONG Release() override;

  win::HRESULT ShowContextMenu(win::DWORD dwID, win::POINT* ppt, win::IUnknown* pcmdtReserved,
                               win::IDispatch* pdispReserved) override;
  win::HRESULT GetHostInfo(win::DOCHOSTUIINFO* pInfo) override;
  win::HRESULT ShowUI(win::DWORD dwID, win::IOleInPlaceActiveObject* pActiveObject,
                      win::IOleCommandTarget* pCommandTarget, win::IOleInPlaceFrame* pFrame,
                      win::IOleInPlaceUIWindow* pDoc) override;
  win::HRESULT HideUI() override;
  win::HRESULT UpdateUI() override;
  win::HRESULT EnableModeless(win::BOOL fEnable) override;
  win::HRESULT OnDocWindowActivate(win::BOOL fActivate) override;
  win::HRESULT OnFrameWindowActivate(win::BOOL fActivate) override;
  win::HRESULT ResizeBorder(const win::RECT* prcBorder, win::IOleInPlaceUIWindow* pUIWindow,
                            win::BOOL fRameWindow) override;
  win::HRESULT TranslateAccelerator(win::MSG* lpMsg, const win::GUID* pguidCmdGroup, win::DWORD nCmdID) override;
  win::HRESULT GetOptionKeyPath(win::LPOLESTR* pchKey, win::DWORD dw) override;
  win::HRESULT GetDropTarget(win::IDropTarget* pDropTarget, win::IDropTarget** ppDropTarget) override;
  win::HRESULT GetExternal(win::IDispatch** ppDispatch) override;
  win::HRESULT TranslateUrl(win::DWORD dwTranslate, win::LPOLESTR pchURLIn, win::LPOLESTR* ppchURLOut) override;
  win::HRESULT FilterDataObject(win::IDataObject* pDO, win::IDataObject** ppDORet) override;
  win::HRESULT GetOverrideKeyPath(win::LPOLESTR* pchKey, win::DWORD dw) override;

  win::HRESULT ShowMessage(win::HWND hwnd, win::LPOLESTR lpstrText, win::LPOLESTR lpstrCaption, win::DWORD dwType,
                           win::LPOLESTR lpstrHelpFile, win::DWORD dwHelpContext, win::LRESULT* plResult) override;
  win::HRESULT ShowHelp(win::HWND hwnd, win::LPOLESTR pszHelpFile, win::UINT uCommand, win::DWORD dwData,
                        win::POINT ptMouse, win::IDispatch* pDispatchObjectHit) override;

  win::HRESULT QueryStatus(const win::GUID* pguidCmdGroup, win::ULONG cCmds, win::OLECMD* prgCmds,
                           win::OLECMDTEXT* pCmdText) override;
  win::HRESULT Exec(const win::GUID* pguidCmdGroup, win::DWORD nCmdID, win::DWORD nCmdexecopt, win::VARIANT* pvaIn,
                    win::VARIANT* pvaOut) override;

  win::HRESULT QueryService(win::REFGUID guidService, win::REFIID riid, void** ppvObject) override;

  win::HRESULT GetTypeInfoCount(win::UINT* pctinfo) override;
  win::HRESULT GetTypeInfo(win::UINT iTInfo, win::LCID lcid, win::ITypeInfo** ppTInfo) override;
  win::HRESULT GetIDsOfNames(win::REFIID riid, win::LPOLESTR* rgszNames, win::UINT cNames, win::LCID lcid,
                             win::DISPID* rgDispId) override;
  win::HRESULT Invoke(win::DISPID dispIdMember, win::REFIID riid, win::LCID lcid, win::WORD wFlags,
                      win::DISPPARAMS* pDispParams, win::VARIANT* pVarResult, win::EXCEPINFO* pExcepInfo,
                      win::UINT* puArgErr) override;

 protected:
  // The base host's ambient properties: user mode, not dead, silent.
  win::HRESULT AmbientInvoke(win::DISPID dispIdMember, win::WORD wFlags, win::VARIANT* pVarResult);
  // The document the script-error command reads (the control's, 203).
  virtual win::TComPtr<win::IDispatch> ScriptErrorDocument();
  // DDE: answered once the service exists; nothing while EnableDDE is False.
  virtual void DdeExecute(TMessage& Message);
  virtual void DdeTerminate(TMessage& Message);

 private:
  class TEventSink;
  void NotifyAmbientChange();
  void HostWndProc(TMessage& Message);
  win::LRESULT OwnerWndProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);
  void HookOwner();
  void UnhookOwner();
  void WriteUserAgent();
  void RemoveUserAgent();
  bool ScriptError(win::VARIANT* pvaOut);

  win::TComPtr<win::TWebBrowserControl> FControl;
  win::TComPtr<TEventSink> FSink;
  win::DWORD FSinkCookie = 0;
  TDownloadControlOptions FDownloadOptions;
  TUserInterfaceOptions FUserInterfaceOptions;
  win::DWORD FDownloadControlFlags = 0;
  win::DWORD FHostUIFlags = 0;
  std::unique_ptr<TPrintOptions> FPrintOptions;
  bool FfpExceptions = true;
  bool FMeasureUS = false;
  bool FUserAgentWritten = false;
  std::function<void(TMessage&)> FSavedWndProc;
  bool FWndProcHooked = false;
  TWinControl* FOwnerControl = nullptr;
  win::HWND FOwnerWindow = nullptr;
  win::WNDPROC FOwnerProcInstance = nullptr;
  win::WNDPROC FSavedOwnerWndProc = nullptr;
  win::HWND FDdeWindow = nullptr;
  win::ULONG FRefs = 0;
};

}  // namespace vorra
