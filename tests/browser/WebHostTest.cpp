#include "browser/WebHost.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <mutex>

#include "framework/Forms.h"
#include "platform/registry/Registry.h"
#include "platform/shell/BrowseFolder.h"
#include "platform/ui/Messages.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

using namespace win;

class WebHostTest : public ::testing::Test {
 protected:
  void TearDown() override { Application->Shutdown(); }

  // The ambient download-control answer, asked as the control asks it.
  LONG Ambient(TWebHost& host, DISPID id = DISPID_AMBIENT_DLCONTROL, HRESULT* hr = nullptr) {
    TComPtr<IDispatch> disp;
    EXPECT_EQ(host.QueryInterface(IID_IDispatch, reinterpret_cast<void**>(disp.Put())), S_OK);
    TVariant result;
    DISPPARAMS none;
    const HRESULT r = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                   nullptr);
    if (hr) *hr = r;
    LONG value = -1;
    result.ToInt(value);
    return value;
  }

  test::TTempDir temp_;
  test::TScopedEnv home_{"VORRA_HOME", temp_.Folder()};
};

TEST_F(WebHostTest, OptionMasksAnswerTheAmbientQuestionAndReachTheControl) {
  TWebHost host(nullptr);
  EXPECT_EQ(Ambient(host), 0x70);
  EXPECT_EQ(host.Control()->DownloadControlFlags(), 0x70u);

  host.SetDownloadOptions(
      {DLCTL_NO_JAVA, DLCTL_NO_RUNACTIVEXCTLS, DLCTL_NO_DLACTIVEXCTLS, DLCTL_PRAGMA_NO_CACHE, DLCTL_SILENT});
  EXPECT_EQ(host.DownloadControlFlags(), 0x40004700u);
  EXPECT_EQ(static_cast<DWORD>(Ambient(host)), 0x40004700u);
  // The setter told the control, which asked again.
  EXPECT_EQ(host.Control()->DownloadControlFlags(), 0x40004700u);

  host.SetDownloadOptions({});
  EXPECT_EQ(Ambient(host), 0);
  EXPECT_EQ(host.Control()->DownloadControlFlags(), 0u);

  host.SetDownloadOptions({DLCTL_OFFLINE, DLCTL_FORCEOFFLINE, DLCTL_URL_ENCODING_ENABLE_UTF8});
  EXPECT_EQ(host.DownloadControlFlags(), 0x90040000u);
  EXPECT_EQ(host.Control()->DownloadControlFlags(), 0x90040000u);

  TUserInterfaceOptions all;
  for (int i = DIALOG; i <= IME_ENABLE_RECONVERSION; ++i) all.Include(static_cast<TUserInterfaceOption>(i));
  host.SetUserInterfaceOptions(all);
  EXPECT_EQ(host.HostUIFlags(), 0x37FFFu);  // every bit but 0x8000
  host.SetUserInterfaceOptions({NO3DBORDER, ENABLE_INPLACE_NAVIGATION});
  EXPECT_EQ(host.HostUIFlags(), 0x10004u);
}

TEST_F(WebHostTest, OtherAmbientPropertiesComeFromTheBaseHostUnlessOnInvokeAnswers) {
  TWebHost host(nullptr);
  HRESULT hr = E_FAIL;
  EXPECT_EQ(Ambient(host, DISPID_AMBIENT_USERMODE, &hr), -1);  // VT_BOOL true reads as -1
  EXPECT_EQ(hr, S_OK);
  Ambient(host, 12345, &hr);
  EXPECT_EQ(hr, DISP_E_MEMBERNOTFOUND);

  int asked = 0;
  host.OnInvoke = [&](DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
    ++asked;
    result->vt = VT_I4;
    result->lVal = id == 12345 ? 7 : 0;
    return S_OK;
  };
  EXPECT_EQ(Ambient(host, 12345, &hr), 7);
  // -5512 is the host's own answer, never the handler's.
  EXPECT_EQ(Ambient(host), 0x70);
  EXPECT_EQ(asked, 1);
}

TEST_F(WebHostTest, HostMethodsGiveTheirDefaultsAndForwardToTheirEvents) {
  TWebHost host(nullptr);
  DOCHOSTUIINFO info{};
  info.cbSize = 99;
  info.dwDoubleClick = 5;
  OLECHAR css[] = u"x";
  info.pchHostCss = css;
  EXPECT_EQ(host.GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.cbSize, 20u);
  EXPECT_EQ(info.dwFlags, 0u);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  EXPECT_EQ(info.pchHostCss, css);
  host.SetUserInterfaceOptions({DIALOG, SCROLL_NO});
  host.OnGetHostInfo = [](DOCHOSTUIINFO& i) {
    i.dwDoubleClick = 2;
    return E_FAIL;
  };
  EXPECT_EQ(host.GetHostInfo(&info), E_FAIL);
  EXPECT_EQ(info.dwFlags, 9u);
  EXPECT_EQ(info.dwDoubleClick, 2u);

  EXPECT_EQ(host.ShowContextMenu(0, nullptr, nullptr, nullptr), S_FALSE);
  EXPECT_EQ(host.HideUI(), S_FALSE);
  EXPECT_EQ(host.TranslateAccelerator(nullptr, nullptr, 0), S_FALSE);
  IDropTarget* target = reinterpret_cast<IDropTarget*>(&host);
  EXPECT_EQ(host.GetDropTarget(nullptr, &target), S_OK);
  EXPECT_EQ(target, nullptr);
  IDispatch* external = &host;
  EXPECT_EQ(host.GetExternal(&external), S_FALSE);
  EXPECT_EQ(external, nullptr);
  EXPECT_EQ(host.GetOverrideKeyPath(nullptr, 0), S_OK);
  void* service = &host;
  EXPECT_EQ(host.QueryService(IID_IUnknown, IID_IUnknown, &service), E_NOINTERFACE);
  EXPECT_EQ(service, &host);  // untouched without a handler
  host.OnQueryService = [](REFGUID, REFIID, void*&) { return E_ACCESSDENIED; };
  EXPECT_EQ(host.QueryService(IID_IUnknown, IID_IUnknown, &service), E_ACCESSDENIED);
  EXPECT_EQ(service, nullptr);  // cleared before the handler
  EXPECT_EQ(host.ShowMessage(nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr), S_FALSE);
  POINT pt{};
  EXPECT_EQ(host.ShowHelp(nullptr, nullptr, 0, 0, pt, nullptr), S_FALSE);
  host.HelpFile = "vorra.chm";
  EXPECT_EQ(host.ShowHelp(nullptr, nullptr, 0, 0, pt, nullptr), S_OK);  // no help viewer: nothing shown
  UINT count = 9;
  EXPECT_EQ(host.GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host.QueryStatus(nullptr, 0, nullptr, nullptr), S_OK);
  host.OnShowContextMenu = [](DWORD id, POINT*, IUnknown*, IDispatch*) { return id == 3 ? S_OK : E_FAIL; };
  EXPECT_EQ(host.ShowContextMenu(3, nullptr, nullptr, nullptr), S_OK);

  // One table for both handler interfaces; the others answer too.
  void* a = nullptr;
  void* b = nullptr;
  EXPECT_EQ(host.QueryInterface(IID_IDocHostUIHandler, &a), S_OK);
  EXPECT_EQ(host.QueryInterface(IID_IDocHostUIHandler2, &b), S_OK);
  EXPECT_EQ(a, b);
  for (const IID* iid : {&IID_IDocHostShowUI, &IID_IOleCommandTarget, &IID_IServiceProvider, &IID_IDispatch}) {
    void* p = nullptr;
    EXPECT_EQ(host.QueryInterface(*iid, &p), S_OK);
    static_cast<IUnknown*>(p)->Release();
  }
  static_cast<IUnknown*>(a)->Release();
  static_cast<IUnknown*>(b)->Release();
}

// A document whose window has a current event with script-error properties
// (or, with partial, only some of them).
class TFakeObject : public TComObject<IDispatch> {
 public:
  explicit TFakeObject(std::vector<std::pair<std::string, TVariant>> props) : props_(std::move(props)) {}
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* ids) override {
    const std::string name = Utf16ToUtf8(names[0], std::char_traits<char16_t>::length(names[0]));
    for (std::size_t i = 0; i < props_.size(); ++i)
      if (props_[i].first == name) {
        ids[0] = static_cast<DISPID>(i + 1);
        return S_OK;
      }
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id < 1 || id > static_cast<DISPID>(props_.size())) return DISP_E_MEMBERNOTFOUND;
    return VariantCopy(result, &props_[id - 1].second);
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }

 private:
  std::vector<std::pair<std::string, TVariant>> props_;
};

TComPtr<IDispatch> Fake(std::vector<std::pair<std::string, TVariant>> props) {
  return TComPtr<IDispatch>::Attach(new TFakeObject(std::move(props)));
}

class TScriptHost : public TWebHost {
 public:
  using TWebHost::TWebHost;
  TComPtr<IDispatch> Doc;

 protected:
  TComPtr<IDispatch> ScriptErrorDocument() override { return Doc; }
};

TEST_F(WebHostTest, ExecAnswersCommandGroupsRefreshUnloadAndScriptErrors) {
  TScriptHost host(nullptr);
  EXPECT_EQ(host.Exec(nullptr, 40, 0, nullptr, nullptr), OLECMDERR_E_UNKNOWNGROUP);
  const GUID other = MakeGuid("{12345678-1234-1234-1234-123456789ABC}");
  EXPECT_EQ(host.Exec(&other, 40, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);

  int unloads = 0;
  host.OnUnload = [&](TObject* s) { unloads += s == &host; };
  EXPECT_EQ(host.Exec(&CGID_Explorer, 37, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(unloads, 1);

  std::vector<int> refreshes;
  host.OnRefresh = [&](TObject*, int id, bool& cancel) {
    refreshes.push_back(id);
    cancel = id == 6041;
  };
  EXPECT_EQ(host.Exec(&CGID_DocHostCommandHandler, 6041, 0, nullptr, nullptr), S_OK);
  EXPECT_EQ(host.Exec(&CGID_DocHostCommandHandler, 2300, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(host.Exec(&CGID_DocHostCommandHandler, 2301, 0, nullptr, nullptr), OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(refreshes, (std::vector<int>{6041, 2300}));

  // Script error: the properties are read from the window's current event.
  TComPtr<IDispatch> event = Fake({{"errorCharacter", TVariant::Int(4)},
                                   {"errorCode", TVariant::Int(0)},
                                   {"errorMessage", TVariant::Text("x is undefined")},
                                   {"errorUrl", TVariant::Text("http://site/a.js")},
                                   {"errorline", TVariant::Int(12)}});
  host.Doc = Fake({{"parentWindow", TVariant::Dispatch(Fake({{"event", TVariant::Dispatch(event.Get())}}).Get())}});
  std::string seen;
  host.OnScriptError = [&](TObject*, const std::string& line, const std::string& ch, const std::string& code,
                           const std::string& msg, const std::string& url, bool& cont, bool& show) {
    seen = line + "|" + ch + "|" + code + "|" + msg + "|" + url;
    EXPECT_TRUE(cont && show);
    cont = false;
    show = false;
  };
  TVariant out;
  EXPECT_EQ(host.Exec(&CGID_DocHostCommandHandler, 40, 0, nullptr, &out), S_OK);
  EXPECT_EQ(seen, "12|4|0|x is undefined|http://site/a.js");
  EXPECT_EQ(out.vt, VT_BOOL);
  EXPECT_EQ(out.boolVal, VARIANT_FALSE);

  // Dialog left on: the control shows its own.
  host.OnScriptError = [](TObject*, auto&, auto&, auto&, auto&, auto&, bool&, bool&) {};
  EXPECT_EQ(host.Exec(&CGID_DocHostCommandHandler, 40, 0, nullptr, &out), OLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(out.boolVal, VARIANT_TRUE);

  // No current event: nothing to report.
  host.Doc = Fake({{"parentWindow", TVariant::Dispatch(Fake({{"event", TVariant::Null()}}).Get())}});
  EXPECT_EQ(host.Exec(&CGID_DocHostCommandHandler, 40, 0, nullptr, &out), OLECMDERR_E_NOTSUPPORTED);

  // An event without one of the properties raises with its name.
  TComPtr<IDispatch> partial = Fake({{"errorCode", TVariant::Int(1)}});
  host.Doc = Fake({{"parentWindow", TVariant::Dispatch(Fake({{"event", TVariant::Dispatch(partial.Get())}}).Get())}});
  try {
    host.Exec(&CGID_DocHostCommandHandler, 40, 0, nullptr, &out);
    ADD_FAILURE() << "no error raised";
  } catch (const EOleError& e) {
    EXPECT_STREQ(e.what(), "'errorCharacter' not supported.");
  }
}

TEST_F(WebHostTest, OwnWindowProcedureTranslatesKeysAndAsksBeforeClosing) {
  TWebHost host(nullptr);
  std::vector<UINT> passed;
  host.WindowProc = [&](TMessage& m) { passed.push_back(m.Msg); };
  host.Loaded();
  TWebBrowserControl* control = host.Control();

  EXPECT_EQ(host.Perform(CN_KEYDOWN, VK_RETURN, 0), 0);
  EXPECT_EQ(host.Perform(CN_KEYDOWN, VK_BACK, 0), 0);
  EXPECT_EQ(host.Perform(CN_KEYDOWN, VK_LEFT, 1 << 24), 0);
  EXPECT_EQ(control->AcceleratorsOffered(), 0);
  // Arrows of the numeric pad (no extended bit) are offered.
  host.Perform(CN_KEYDOWN, VK_LEFT, 0);
  host.Perform(CN_KEYDOWN + 2, VK_TAB, 0);  // CN_CHAR
  EXPECT_EQ(control->AcceleratorsOffered(), 2);
  EXPECT_EQ(control->LastAcceleratorMessage(), static_cast<UINT>(WM_CHAR));
  EXPECT_TRUE(passed.empty());  // never handed on

  bool allow = false;
  host.OnCloseQuery = [&](TObject*, bool& canClose) { canClose = allow; };
  host.Perform(WM_CLOSE);
  EXPECT_TRUE(passed.empty());
  allow = true;
  host.Perform(WM_CLOSE);
  host.Perform(WM_USER + 5);
  EXPECT_EQ(passed, (std::vector<UINT>{WM_CLOSE, WM_USER + 5}));
  // DDE commands are the DDE service's, not the saved procedure's.
  host.Perform(WM_DDE_EXECUTE);
  EXPECT_EQ(passed.size(), 2u);
}

TEST_F(WebHostTest, OwnerWindowProcedureRecaptionsDialogsAndIsRestored) {
  Application->SetTitle("Vorra");
  TForm* form = new TForm(nullptr);
  const HWND owner = form->Handle();
  const auto before = GetWindowLongPtrA(owner, GWLP_WNDPROC);
  auto* host = new TWebHost(form);
  host->ReplaceCaption = true;
  std::vector<HWND> shown;
  host->OnShowDialog = [&](TObject*, HWND h) { shown.push_back(h); };
  host->Loaded();
  EXPECT_NE(GetWindowLongPtrA(owner, GWLP_WNDPROC), before);

  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "#32770";
  RegisterClassA(&wc);
  const HWND dialog = CreateWindowExA(0, "#32770", "Script - Microsoft Internet Explorer - Internet Explorer",
                                      WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(dialog, nullptr);
  SendMessageA(owner, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(dialog));
  EXPECT_EQ(GetWindowTextString(dialog), "Script - Vorra - Internet Explorer");
  EXPECT_EQ(shown, std::vector<HWND>{dialog});
  // Activation of the owner itself is not a dialog.
  SendMessageA(owner, WM_ACTIVATE, 1, reinterpret_cast<LPARAM>(dialog));
  EXPECT_EQ(shown.size(), 1u);

  host->ReplaceCaption = false;
  SetWindowTextA(dialog, "Microsoft x");
  SendMessageA(owner, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(dialog));
  EXPECT_EQ(GetWindowTextString(dialog), "Microsoft x");
  DestroyWindow(dialog);

  host->Free();
  EXPECT_EQ(GetWindowLongPtrA(owner, GWLP_WNDPROC), before);
  form->Free();
}

bool UserAgentValueExists(const std::string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, UserAgentKey + 1, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  const bool found = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

TEST_F(WebHostTest, UserAgentTokenLivesAsLongAsTheComponent) {
  {
    TWebHost host(nullptr);
    host.UserAgent = "Vorra Capture";
    EXPECT_FALSE(UserAgentValueExists("Vorra Capture"));  // written only once loaded
    host.Loaded();
    EXPECT_TRUE(UserAgentValueExists("Vorra Capture"));
  }
  EXPECT_FALSE(UserAgentValueExists("Vorra Capture"));
}

TEST_F(WebHostTest, RequestsCarryTheRegisteredTokenAndThePageLoadersHeaders) {
  test::THttpServer server;
  std::mutex m;
  std::string agent, pragma;
  server.Route("/p.html", [&](const test::THttpRequest& r) {
    std::lock_guard<std::mutex> lock(m);
    agent = r.Header("User-Agent");
    pragma = r.Header("Pragma");
    return test::THttpResponse::Text("<p>x</p>", "text/html");
  });
  TWebHost host(nullptr);
  host.UserAgent = "VorraCapture";
  host.SetDownloadOptions({DLCTL_PRAGMA_NO_CACHE});
  host.Loaded();
  host.NavigateTo(server.Url("/p.html"));
  {
    std::lock_guard<std::mutex> lock(m);
    EXPECT_NE(agent.find("; VorraCapture)"), std::string::npos) << agent;
    EXPECT_EQ(pragma, "no-cache");
  }
  host.SetDownloadOptions({});
  TWebHost other(nullptr);  // never loaded: registers nothing
  other.NavigateTo(server.Url("/p.html"));
  std::lock_guard<std::mutex> lock(m);
  EXPECT_NE(agent.find("VorraCapture"), std::string::npos);  // the first one still lives
  EXPECT_EQ(pragma, "");
}

TEST_F(WebHostTest, FpExceptionsLoadsTheMaskedOrTheSavedControlWord) {
  {
    TWebHost host(nullptr);
    EXPECT_TRUE(host.fpExceptions());
    EXPECT_EQ(CurrentFpuControlWord(), SavedFpuControlWord());  // construction leaves the word alone
    host.SetfpExceptions(false);
#if defined(__x86_64__) || defined(__i386__)
    // Bit 6 of the x87 word is reserved and always reads as set.
    EXPECT_EQ(CurrentFpuControlWord() | 0x40, FpuMaskAll | 0x40);
#endif
    host.SetfpExceptions(true);
    EXPECT_EQ(CurrentFpuControlWord(), SavedFpuControlWord());
  }
  const TPrintOptions options;
  ASSERT_EQ(const_cast<TPrintOptions&>(options).HTMLHeader()->Count(), 1);
  EXPECT_EQ(const_cast<TPrintOptions&>(options).HTMLHeader()->Strings(0), "<HTML></HTML>");
  EXPECT_EQ(options.Orientation, poPortrait);
}

TEST_F(WebHostTest, NavigatesToAddressesAndItemListsAndRaisesTheControlsEvents) {
  const std::string page = temp_.Folder() + "page.html";
  std::ofstream(page) << "<html><body><embed src=\"a.swf\" type=\"application/x-shockwave-flash\"></body></html>";
  TWebHost host(nullptr);
  host.Loaded();
  int completes = 0, progress = 0;
  std::string url;
  host.OnProgressChange = [&](TObject*, int, int) { ++progress; };
  host.OnDocumentComplete = [&](TObject* s, IDispatch* d, VARIANT& u) {
    ++completes;
    EXPECT_EQ(s, &host);
    EXPECT_FALSE(host.Busy());
    TVariant(u).ToText(url);
  };
  host.NavigateTo(page);
  EXPECT_EQ(completes, 1);
  EXPECT_GT(progress, 0);
  EXPECT_EQ(url, "file://" + page);
  TComPtr<IDispatch> doc = host.Document();
  ASSERT_TRUE(doc);
  TVariant all, length;
  ASSERT_EQ(DispGetProperty(doc.Get(), "all", all), S_OK);
  TVariant embeds;
  ASSERT_EQ(DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text("EMBED")}, &embeds), S_OK);
  ASSERT_EQ(DispGetProperty(embeds.ToDispatch().Get(), "length", length), S_OK);
  EXPECT_EQ(length.lVal, 1);

  LPITEMIDLIST pidl = ILCreateFromPathA(page.c_str());
  ASSERT_NE(pidl, nullptr);
  host.NavigateToItemList(pidl);
  ILFree(pidl);
  EXPECT_EQ(completes, 2);
  EXPECT_EQ(url, "file://" + page);

  // A list that runs past its array is refused before anything loads.
  TVariant bad;
  bad.vt = VT_ARRAY | VT_UI1;
  bad.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
  static_cast<BYTE*>(bad.parray->pvData)[0] = 0x40;
  TVariant empty;
  EXPECT_EQ(host.Control()->Navigate2(&bad, &empty, &empty, &empty, &empty), E_INVALIDARG);
  EXPECT_EQ(completes, 2);
}

}  // namespace
}  // namespace vorra
