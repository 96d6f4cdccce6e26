// Page scripts inside the browser control: flags, fetches, the host's answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/html/WebBrowser.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

using vorra::test::THttpResponse;
using vorra::test::THttpServer;
using vorra::test::TScopedEnv;
using vorra::test::TTempDir;

// window.external: a property and a method, late-bound.
class TExternal : public TComObject<IDispatch> {
 public:
  std::vector<std::string> Added;
  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    static constexpr TDispMember kMembers[] = {{"menuArguments", 1}, {"Add", 2}};
    return LookupDispNames(kMembers, std::size(kMembers), names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                 UINT*) override {
    if (id == 1 && (flags & DISPATCH_PROPERTYGET)) {
      TVariant v = TVariant::Text("from-host.swf");
      VariantCopy(result, &v);
      return S_OK;
    }
    if (id == 2 && (flags & DISPATCH_METHOD) && DispArgCount(params) == 1) {
      std::string text;
      TVariant(*DispArg(params, 0)).ToText(text);
      Added.push_back(text);
      return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    return IsEqualIID(riid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
  }
};

class THost : public TComObject<IDispatch, IDocHostUIHandler, IOleCommandTarget> {
 public:
  DWORD Flags = 0;
  TComPtr<TExternal> External = TComPtr<TExternal>::Attach(new TExternal);
  std::vector<std::string> ShownErrors;

  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_AMBIENT_DLCONTROL || !result) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(Flags);
    return S_OK;
  }
  HRESULT ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
  HRESULT GetHostInfo(DOCHOSTUIINFO*) override { return S_OK; }
  HRESULT ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                 IOleInPlaceUIWindow*) override {
    return S_FALSE;
  }
  HRESULT HideUI() override { return S_FALSE; }
  HRESULT UpdateUI() override { return S_FALSE; }
  HRESULT EnableModeless(BOOL) override { return S_FALSE; }
  HRESULT OnDocWindowActivate(BOOL) override { return S_FALSE; }
  HRESULT OnFrameWindowActivate(BOOL) override { return S_FALSE; }
  HRESULT ResizeBorder(const RECT*, IOleInPlaceUIWindow*, BOOL) override { return S_FALSE; }
  HRESULT TranslateAccelerator(MSG*, const GUID*, DWORD) override { return S_FALSE; }
  HRESULT GetOptionKeyPath(LPOLESTR*, DWORD) override { return S_FALSE; }
  HRESULT GetDropTarget(IDropTarget*, IDropTarget** out) override {
    *out = nullptr;
    return S_OK;
  }
  HRESULT GetExternal(IDispatch** out) override {
    *out = External.Get();
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT TranslateUrl(DWORD, LPOLESTR, LPOLESTR*) override { return S_FALSE; }
  HRESULT FilterDataObject(IDataObject*, IDataObject** out) override {
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return S_OK; }
  // As the browser host reads it: the document's parentWindow.event.
  HRESULT Exec(const GUID* group, DWORD id, DWORD, VARIANT* in, VARIANT*) override {
    if (!group || !IsEqualGUID(*group, CGID_DocHostCommandHandler) || id != OLECMDID_SHOWSCRIPTERROR)
      return OLECMDERR_E_NOTSUPPORTED;
    TComPtr<IDispatch> doc = TVariant(*in).ToDispatch();
    TVariant window, event, message;
    EXPECT_EQ(DispGetProperty(doc.Get(), "parentWindow", window), S_OK);
    EXPECT_EQ(DispGetProperty(window.ToDispatch().Get(), "event", event), S_OK);
    EXPECT_EQ(DispGetProperty(event.ToDispatch().Get(), "errorMessage", message), S_OK);
    std::string text;
    message.ToText(text);
    ShownErrors.push_back(text);
    return S_OK;
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualIID(riid, IID_IDispatch)) return static_cast<IDispatch*>(this);
    if (IsEqualIID(riid, IID_IDocHostUIHandler)) return static_cast<IDocHostUIHandler*>(this);
    if (IsEqualIID(riid, IID_IOleCommandTarget)) return static_cast<IOleCommandTarget*>(this);
    return nullptr;
  }
};

class ScriptBrowser : public ::testing::Test {
 protected:
  ScriptBrowser() : home_("VORRA_HOME", dir_.Path().string()) {
    TWebBrowserSettings settings;
    settings.ScriptBudgetMs = 200;
    browser_ = TWebBrowserControl::Create(settings);
    browser_->SetClientSite(static_cast<IDispatch*>(host_.Get()));
  }
  ~ScriptBrowser() override { browser_->SetClientSite(nullptr); }

  // The EMBED sources that the document serves after the load.
  std::vector<std::string> Load(const std::string& url) {
    TVariant address = TVariant::Text(url);
    EXPECT_EQ(browser_->Navigate2(&address, nullptr, nullptr, nullptr, nullptr), S_OK);
    TComPtr<IDispatch> doc;
    browser_->get_Document(doc.Put());
    TVariant all, embeds, length;
    DispGetProperty(doc.Get(), "all", all);
    DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text("EMBED")}, &embeds);
    DispGetProperty(embeds.ToDispatch().Get(), "length", length);
    LONG n = 0;
    length.ToInt(n);
    std::vector<std::string> out;
    for (LONG i = 0; i < n; ++i) {
      TVariant item, src;
      DispCallMethod(embeds.ToDispatch().Get(), "Item", {TVariant::Int(i)}, &item);
      DispGetProperty(item.ToDispatch().Get(), "src", src);
      out.emplace_back();
      src.ToText(out.back());
    }
    return out;
  }

  TTempDir dir_;
  TScopedEnv home_;
  TComPtr<THost> host_ = TComPtr<THost>::Attach(new THost);
  TComPtr<TWebBrowserControl> browser_;
};

const char kScriptPage[] =
    "<html><body><script src='js/lib.js'></script>"
    "<script>document.write('<embed src=\"' + external.menuArguments + '\">'); external.Add(libMovie);</script>"
    "<script src='/self.js'></script></body></html>";

TEST_F(ScriptBrowser, ExternalScriptsComeFromTheServerAndScriptsReachTheHost) {
  THttpServer server;
  server.Serve("/dir/page.html", THttpResponse::Text(kScriptPage, "text/html"));
  server.Serve("/dir/js/lib.js",
               THttpResponse::Text("var libMovie = 'lib.swf'; document.write('<embed src=' + libMovie + '>');",
                                   "application/javascript"));
  // A script that includes itself: fetched a bounded number of times.
  server.Serve("/self.js", THttpResponse::Text("document.write('<scr' + 'ipt src=/self.js></scr' + 'ipt>');",
                                               "application/javascript"));
  host_->Flags = DLCTL_SILENT;
  const auto movies = Load(server.Url("/dir/page.html"));
  EXPECT_EQ(movies, (std::vector<std::string>{"lib.swf", "from-host.swf"}));
  EXPECT_EQ(host_->External->Added, std::vector<std::string>{"lib.swf"});
  EXPECT_LE(server.Requests(), 2u + 256u);
  EXPECT_EQ(browser_->ScriptErrors(), 0);
}

TEST_F(ScriptBrowser, NoScriptsFlagLeavesTheTreeAsParsed) {
  THttpServer server;
  server.Serve("/dir/page.html", THttpResponse::Text(kScriptPage, "text/html"));
  host_->Flags = DLCTL_SILENT | DLCTL_NO_SCRIPTS;
  EXPECT_TRUE(Load(server.Url("/dir/page.html")).empty());
  EXPECT_EQ(server.Requests(), 1u);  // no script fetched
  EXPECT_EQ(browser_->ScriptsRun(), 0);
}

TEST_F(ScriptBrowser, ErrorsAreCountedAndShownToTheHostUnlessSilent) {
  THttpServer server;
  server.Serve("/page.html",
               THttpResponse::Text("<body><script>throw new Error('boom')</script><script>for (;;) {}</script>"
                                   "<script>document.write('<embed src=never.swf>')</script></body>",
                                   "text/html"));
  host_->Flags = 0;
  // The endless loop uses up the page's budget: the page completes without the last script.
  EXPECT_TRUE(Load(server.Url("/page.html")).empty());
  EXPECT_EQ(host_->ShownErrors, (std::vector<std::string>{"Error: boom", "RangeError: execution timeout"}));
  EXPECT_EQ(browser_->ScriptErrors(), 2);

  host_->Flags = DLCTL_SILENT;
  Load(server.Url("/page.html"));
  EXPECT_EQ(host_->ShownErrors.size(), 2u);
  EXPECT_EQ(browser_->ScriptErrors(), 4);
}

}  // namespace
}  // namespace win
