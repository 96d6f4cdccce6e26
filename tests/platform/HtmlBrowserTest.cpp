#include "platform/html/WebBrowser.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/MovieAddress.h"
#include "platform/net/Download.h"
#include "platform/win/MessagePump.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

using vorra::test::TBodyFault;
using vorra::test::THttpRequest;
using vorra::test::THttpResponse;
using vorra::test::THttpServer;
using vorra::test::TScopedEnv;
using vorra::test::TTempDir;

// The host side of the control: ambient properties and the UI handler.
class THost : public TComObject<IDispatch, IDocHostUIHandler> {
 public:
  DWORD Flags = 0;
  int DlControlAsks = 0, HostInfoAsks = 0;
  // Called when the control asks for the flags.
  std::function<void()> OnAsk;

  HRESULT GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_AMBIENT_DLCONTROL || !(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    ++DlControlAsks;
    if (OnAsk) OnAsk();
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(Flags);
    return S_OK;
  }

  HRESULT ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return S_FALSE; }
  HRESULT GetHostInfo(DOCHOSTUIINFO* info) override {
    ++HostInfoAsks;
    info->cbSize = 20;
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER;
    info->dwDoubleClick = 0;
    return S_OK;
  }
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
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT TranslateUrl(DWORD, LPOLESTR, LPOLESTR*) override { return S_FALSE; }
  HRESULT FilterDataObject(IDataObject*, IDataObject** out) override {
    *out = nullptr;
    return S_FALSE;
  }

 protected:
  IUnknown* FindInterface(REFIID riid) override {
    if (IsEqualIID(riid, IID_IDispatch)) return static_cast<IDispatch*>(this);
    if (IsEqualIID(riid, IID_IDocHostUIHandler)) return static_cast<IDocHostUIHandler*>(this);
    return nullptr;
  }
};

// Records the events, and walks the page on completion the way the page loader does.
class TSink : public TWebBrowserEvents {
 public:
  std::vector<std::string> Log;
  std::vector<LONG> Progress;
  bool BusyAtComplete = true;
  std::string CompletedUrl;
  std::vector<std::string> Movies;
  std::string BodyText;
  bool CancelNewWindows = true;
  std::function<void()> OnProgress;

  void ProgressChange(LONG progress, LONG max) override {
    Progress.push_back(progress);
    if (OnProgress) OnProgress();
  }
  void NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel) override {
    Log.push_back("NewWindow2");
    EXPECT_EQ(*ppDisp, nullptr);
    if (CancelNewWindows) *cancel = VARIANT_TRUE;
  }
  void DocumentComplete(IDispatch* browser, VARIANT* url) override {
    Log.push_back("DocumentComplete");
    TVariant(*url).ToText(CompletedUrl);
    TVariant busy;
    EXPECT_EQ(DispGetProperty(browser, DISPID_WB_BUSY, busy), S_OK);
    BusyAtComplete = busy.boolVal != VARIANT_FALSE;
    TVariant document;
    EXPECT_EQ(DispGetProperty(browser, DISPID_WB_DOCUMENT, document), S_OK);
    TComPtr<IDispatch> doc = document.ToDispatch();
    if (!doc) return;
    TVariant all, body, objects, embeds;
    EXPECT_EQ(DispGetProperty(doc.Get(), "all", all), S_OK);
    EXPECT_EQ(DispGetProperty(doc.Get(), "body", body), S_OK);
    if (TComPtr<IDispatch> b = body.ToDispatch()) {
      TVariant text;
      DispGetProperty(b.Get(), "innerText", text);
      text.ToText(BodyText);
    }
    EXPECT_EQ(DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text("OBJECT")}, &objects), S_OK);
    TVariant length;
    DispGetProperty(objects.ToDispatch().Get(), "length", length);
    LONG n = 0;
    length.ToInt(n);
    for (LONG i = 0; i < n; ++i) {
      TVariant item, inner;
      DispCallMethod(objects.ToDispatch().Get(), "Item", {TVariant::Int(i)}, &item);
      DispGetProperty(item.ToDispatch().Get(), "innerhtml", inner);
      std::string html;
      inner.ToText(html);
      Movies.push_back(vorra::MovieParamValue(html));
    }
  }
};

class HtmlBrowser : public ::testing::Test {
 protected:
  HtmlBrowser() : home_("VORRA_HOME", dir_.Path().string()) {
    baseline_ = ComObjectsAlive();
    browser_ = TWebBrowserControl::Create(settings_);
    host_ = TComPtr<THost>::Attach(new THost);
    sink_ = TComPtr<TSink>::Attach(new TSink);
    browser_->SetClientSite(static_cast<IDispatch*>(host_.Get()));
    browser_->Advise(sink_.Get(), &cookie_);
  }
  ~HtmlBrowser() override {
    EXPECT_EQ(browser_->Unadvise(cookie_), S_OK);
    browser_->SetClientSite(nullptr);
    browser_ = nullptr;
    host_ = nullptr;
    sink_ = nullptr;
    EXPECT_EQ(ComObjectsAlive(), baseline_);  // nothing kept alive by a forgotten reference
  }

  void Recreate(const TWebBrowserSettings& settings) {
    browser_->Unadvise(cookie_);
    browser_ = TWebBrowserControl::Create(settings);
    browser_->SetClientSite(static_cast<IDispatch*>(host_.Get()));
    browser_->Advise(sink_.Get(), &cookie_);
  }

  void Navigate(const std::string& url) {
    sink_->Log.clear();
    sink_->Movies.clear();
    sink_->BodyText.clear();
    TVariant address = TVariant::Text(url), zero = TVariant::Int(0);
    // As the host does it: the URL and the integer 0 for the rest.
    ASSERT_EQ(browser_->Navigate2(&address, &zero, &zero, &zero, &zero), S_OK);
  }

  TTempDir dir_;
  TScopedEnv home_;
  long baseline_ = 0;
  TWebBrowserSettings settings_;
  TComPtr<TWebBrowserControl> browser_;
  TComPtr<THost> host_;
  TComPtr<TSink> sink_;
  DWORD cookie_ = 0;
};

const char kPage[] =
    "<html><body><h1>Movies</h1>"
    "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\"><param name=\"movie\" value=\"m/intro.swf\">"
    "</object><img src=\"pic.png\"><bgsound src=\"tune.mid\"><img dynsrc=\"clip.avi\">"
    "</body></html>";

constexpr DWORD kLoaderFlags =
    DLCTL_NO_JAVA | DLCTL_NO_RUNACTIVEXCTLS | DLCTL_NO_DLACTIVEXCTLS | DLCTL_PRAGMA_NO_CACHE | DLCTL_SILENT;

TEST_F(HtmlBrowser, LoadsAPageAndCompletesWithTheDocumentReady) {
  static_assert(kLoaderFlags == 0x40004700);
  THttpServer server;
  server.Serve("/page.html", THttpResponse::Text(kPage, "text/html"));
  host_->Flags = kLoaderFlags;
  Navigate(server.Url("/page.html"));
  EXPECT_EQ(sink_->Log, std::vector<std::string>{"DocumentComplete"});
  EXPECT_FALSE(sink_->BusyAtComplete);
  EXPECT_EQ(sink_->CompletedUrl, server.Url("/page.html"));
  EXPECT_EQ(sink_->Movies, std::vector<std::string>{"m/intro.swf"});
  ASSERT_FALSE(sink_->Progress.empty());
  EXPECT_EQ(host_->HostInfoAsks, 1);
  EXPECT_EQ(browser_->HostInfo().dwFlags, DOCHOSTUIFLAG_NO3DBORDER);
  // No image, video or sound is let through by the loader's flags.
  EXPECT_TRUE(browser_->WouldFetch().empty());

  VARIANT_BOOL busy = VARIANT_TRUE;
  EXPECT_EQ(browser_->get_Busy(&busy), S_OK);
  EXPECT_EQ(busy, VARIANT_FALSE);
  BSTR location = nullptr;
  browser_->get_LocationURL(&location);
  EXPECT_EQ(BstrToUtf8(location), server.Url("/page.html"));
  SysFreeString(location);

  // Again: the host is asked for its flags every time, for its host information once.
  Navigate(server.Url("/page.html"));
  EXPECT_EQ(host_->DlControlAsks, 2);
  EXPECT_EQ(host_->HostInfoAsks, 1);
  EXPECT_EQ(server.Requests(), 2u);
}

TEST_F(HtmlBrowser, AsksForTheDownloadFlagsBeforeLoadingAndSendsNoCacheHeaders) {
  THttpServer server;
  std::mutex lock;
  std::vector<std::pair<std::string, std::string>> seen;
  server.Route("/p", [&](const THttpRequest& r) {
    std::lock_guard g(lock);
    seen.emplace_back(r.Header("Pragma"), r.Header("Cache-Control"));
    return THttpResponse::Text(kPage, "text/html");
  });
  std::size_t requestsWhenAsked = 99;
  host_->OnAsk = [&] { requestsWhenAsked = server.Requests(); };
  host_->Flags = kLoaderFlags;
  Navigate(server.Url("/p"));
  EXPECT_EQ(requestsWhenAsked, 0u);
  host_->Flags = DLCTL_DLIMAGES | DLCTL_BGSOUNDS;
  Navigate(server.Url("/p"));
  std::lock_guard g(lock);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], std::make_pair(std::string("no-cache"), std::string("no-cache")));
  EXPECT_EQ(seen[1], std::make_pair(std::string(), std::string()));
  // Images and background sounds allowed, videos not: listed, never fetched.
  EXPECT_EQ(browser_->WouldFetch(), (std::vector<std::string>{"image:pic.png", "bgsound:tune.mid"}));
  EXPECT_EQ(server.Requests(), 2u);
}

TEST_F(HtmlBrowser, AsksAgainWhenTheHostSaysTheFlagsChanged) {
  host_->Flags = kLoaderFlags;
  EXPECT_EQ(browser_->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL), S_OK);
  EXPECT_EQ(host_->DlControlAsks, 1);
  EXPECT_EQ(browser_->DownloadControlFlags(), kLoaderFlags);
  host_->Flags = 0;
  EXPECT_EQ(browser_->OnAmbientPropertyChange(-501), S_OK);  // another property: not asked
  EXPECT_EQ(host_->DlControlAsks, 1);
  TComPtr<IOleControl> control;
  ASSERT_EQ(TComPtr<IWebBrowser2>(browser_.Get()).As(IID_IOleControl, control), S_OK);
  EXPECT_EQ(control->OnAmbientPropertyChange(DISPID_UNKNOWN), S_OK);
  EXPECT_EQ(browser_->DownloadControlFlags(), 0u);
  // Without a host's answer the control uses its defaults.
  browser_->SetClientSite(nullptr);
  browser_->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL);
  EXPECT_EQ(browser_->DownloadControlFlags(), DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS);
}

TEST_F(HtmlBrowser, OfflineFlagsFetchNothingFromTheNetwork) {
  THttpServer server;
  server.Serve("/cached.html", THttpResponse::Text(kPage, "text/html; charset=utf-8"));
  server.Serve("/new.html", THttpResponse::Text(kPage, "text/html"));
  host_->Flags = kLoaderFlags;
  Navigate(server.Url("/cached.html"));  // online: the page goes into the URL cache
  ASSERT_EQ(server.Requests(), 1u);

  for (const DWORD offline : {DLCTL_OFFLINE, DLCTL_FORCEOFFLINE}) {
    host_->Flags = kLoaderFlags | offline;
    Navigate(server.Url("/cached.html"));
    EXPECT_EQ(sink_->Movies, std::vector<std::string>{"m/intro.swf"});
    Navigate(server.Url("/new.html"));
    EXPECT_EQ(sink_->Log, std::vector<std::string>{"DocumentComplete"});
    EXPECT_NE(sink_->BodyText.find("not available (offline"), std::string::npos) << sink_->BodyText;
  }
  EXPECT_EQ(server.Requests(), 1u);
}

TEST_F(HtmlBrowser, FailedNavigationsCompleteWithAnErrorPage) {
  THttpServer server;
  server.Serve("/loop", THttpResponse::Redirect("/loop"));
  int refusedPort;
  {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
    refusedPort = ntohs(a.sin_port);
    ::close(fd);  // bound, never listening: connections are refused
  }
  struct TCase {
    std::string url, text;
  };
  const TCase cases[] = {
      {server.Url("/missing"), "not found on the server"},
      {"http://127.0.0.1:" + std::to_string(refusedPort) + "/", "refused the connection"},
      {server.Url("/loop"), "redirects too often"},
      {"gopher://127.0.0.1/", "not supported"},
      {(dir_ / "no-such-file.html"), "not found"},
  };
  for (const TCase& c : cases) {
    Navigate(c.url);
    EXPECT_EQ(sink_->Log, std::vector<std::string>{"DocumentComplete"}) << c.url;
    EXPECT_NE(sink_->BodyText.find(c.text), std::string::npos) << c.url << ": " << sink_->BodyText;
    EXPECT_EQ(sink_->CompletedUrl, c.url);
  }
  EXPECT_LE(server.Requests(), 2u + 11u);  // the loop ended after the redirect limit

  // The address is shown as text: markup in it makes no element.
  Navigate("http://127.0.0.1:" + std::to_string(refusedPort) +
           "/<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\"><param name=movie value=evil.swf>");
  EXPECT_NE(sink_->BodyText.find("<object"), std::string::npos) << sink_->BodyText;
  EXPECT_TRUE(sink_->Movies.empty());
}

TEST_F(HtmlBrowser, AServerThatNeverFinishesTimesOut) {
  THttpServer server;
  THttpResponse stall = THttpResponse::Text(std::string(100000, 'x'), "text/html");
  stall.Fault = TBodyFault::bfStall;
  stall.FaultAfter = 1000;
  server.Serve("/slow", stall);
  TWebBrowserSettings quick;
  quick.TimeoutMs = 300;
  Recreate(quick);
  Navigate(server.Url("/slow"));
  EXPECT_EQ(sink_->Log, std::vector<std::string>{"DocumentComplete"});
  EXPECT_NE(sink_->BodyText.find("timed out"), std::string::npos) << sink_->BodyText;
  server.ReleaseStalls();
}

TEST_F(HtmlBrowser, LargePagesLoadUpToTheCapAndFailBeyondIt) {
  THttpServer server;
  std::string big;
  big.reserve(50u << 20);
  big += "<html><body>";
  std::string para = "<p class=\"t\">";
  while (para.size() < 1000) para += "Lorem ipsum dolor sit amet, consectetur adipiscing elit. ";
  para += "<b>bold</b></p>\n";
  while (big.size() < (50u << 20)) big += para;
  big += "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\"><param name=movie value=\"end.swf\"></object>";
  server.Serve("/big", THttpResponse::Text(big, "text/html"));
  Navigate(server.Url("/big"));
  EXPECT_EQ(sink_->Movies, std::vector<std::string>{"end.swf"});
  EXPECT_GT(sink_->Progress.size(), 2u);

  TWebBrowserSettings small;
  small.MaxPageBytes = 1u << 20;
  Recreate(small);
  Navigate(server.Url("/big"));
  EXPECT_NE(sink_->BodyText.find("too large"), std::string::npos) << sink_->BodyText;
}

TEST_F(HtmlBrowser, BinaryBytesServedAsHtmlMakeAPage) {
  THttpServer server;
  server.Serve("/bin", THttpResponse::Text(THttpServer::GeneratedBody(300000), "text/html"));
  Navigate(server.Url("/bin"));
  EXPECT_EQ(sink_->Log, std::vector<std::string>{"DocumentComplete"});
  TComPtr<IDispatch> doc;
  ASSERT_EQ(browser_->get_Document(doc.Put()), S_OK);
  ASSERT_TRUE(doc);
  TVariant all, length;
  DispGetProperty(doc.Get(), "all", all);
  DispGetProperty(all.ToDispatch().Get(), "length", length);
  EXPECT_GE(length.lVal, 3);
}

TEST_F(HtmlBrowser, ReadsLocalFilesByPathAndFileAddressInTheirCharset) {
  const std::string path = dir_ / "local page.html";
  vorra::test::WriteText(path, std::string("<meta charset=windows-1251><body>\xC1\xE2") + kPage);
  Navigate(path);
  EXPECT_EQ(sink_->Movies, std::vector<std::string>{"m/intro.swf"});
  EXPECT_EQ(sink_->BodyText.substr(0, 4), "\xD0\x91\xD0\xB2");
  Navigate("file://" + (dir_ / "local%20page.html"));
  EXPECT_EQ(sink_->Movies, std::vector<std::string>{"m/intro.swf"});
  // The page's own declaration can be switched off.
  host_->Flags = DLCTL_NO_METACHARSET;
  Navigate(path);
  EXPECT_EQ(sink_->BodyText.substr(0, 4), "\xC3\x81\xC3\xA2");
  // Offline, local files are still read.
  host_->Flags = DLCTL_OFFLINE;
  Navigate(path);
  EXPECT_EQ(sink_->Movies, std::vector<std::string>{"m/intro.swf"});
}

TEST_F(HtmlBrowser, PagesThatOpenWindowsRaiseNewWindow2First) {
  THttpServer server;
  server.Serve("/popup", THttpResponse::Text("<body onload=\"window.open('ad.html')\"><script>"
                                             "var w = window.open('x.html', '_blank');</script>"
                                             "<script src=\"window.open.js\"></script><a target=_blank href=y>y</a>",
                                             "text/html"));
  Navigate(server.Url("/popup"));
  EXPECT_EQ(sink_->Log, (std::vector<std::string>{"NewWindow2", "NewWindow2", "DocumentComplete"}));
  sink_->CancelNewWindows = false;  // nothing opens either way
  Navigate(server.Url("/popup"));
  EXPECT_EQ(sink_->Log.size(), 3u);
}

TEST_F(HtmlBrowser, StopDuringTheLoadEndsItWithoutCompletion) {
  THttpServer server;
  THttpResponse stall = THttpResponse::Text(std::string(100000, 'x'), "text/html");
  stall.Fault = TBodyFault::bfStall;
  stall.FaultAfter = 5000;
  server.Serve("/slow", stall);
  // The pump stands for the message loop: a click on "Cancel" arrives while the page loads.
  bool stopped = false;
  sink_->OnProgress = [&] {
    if (!stopped && !sink_->Progress.empty() && sink_->Progress.back() > 0) {
      stopped = true;
      browser_->Stop();
    }
  };
  Navigate(server.Url("/slow"));
  EXPECT_TRUE(stopped);
  EXPECT_TRUE(sink_->Log.empty());
  VARIANT_BOOL busy = VARIANT_TRUE;
  browser_->get_Busy(&busy);
  EXPECT_EQ(busy, VARIANT_FALSE);
  server.ReleaseStalls();
}

TEST_F(HtmlBrowser, TheMessagePumpRunsWhileAPageLoads) {
  THttpServer server;
  THttpResponse stall = THttpResponse::Text(std::string(100000, 'x'), "text/html");
  stall.Fault = TBodyFault::bfStall;
  stall.FaultAfter = 10;
  server.Serve("/slow", stall);
  int pumped = 0;
  const TMessagePump old = SetBlockingCallPump([&] {
    // The page's first bytes are in: let the server finish (a timer would, in the program).
    if (++pumped == 3) server.ReleaseStalls();
  });
  Navigate(server.Url("/slow"));
  SetBlockingCallPump(old);
  EXPECT_GE(pumped, 3);
  EXPECT_EQ(sink_->Log, std::vector<std::string>{"DocumentComplete"});
  EXPECT_EQ(sink_->BodyText.size(), 100000u);
}

TEST_F(HtmlBrowser, MembersAnswerLateBoundByNameAndDispatchId) {
  THttpServer server;
  server.Serve("/page.html", THttpResponse::Text(kPage, "text/html"));
  TComPtr<IDispatch> disp(static_cast<IWebBrowser2*>(browser_.Get()));
  TVariant result;
  ASSERT_EQ(DispCallMethod(disp.Get(), "navigate2", {TVariant::Text(server.Url("/page.html"))}, &result), S_OK);
  EXPECT_EQ(sink_->Movies, std::vector<std::string>{"m/intro.swf"});
  ASSERT_EQ(DispGetProperty(disp.Get(), "BUSY", result), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL);
  EXPECT_EQ(result.boolVal, VARIANT_FALSE);
  ASSERT_EQ(DispGetProperty(disp.Get(), 203, result), S_OK);
  EXPECT_EQ(result.vt, VT_DISPATCH);
  EXPECT_NE(result.pdispVal, nullptr);
  ASSERT_EQ(DispGetProperty(disp.Get(), "ReadyState", result), S_OK);
  EXPECT_EQ(result.lVal, READYSTATE_COMPLETE);
  EXPECT_EQ(DispInvoke(disp.Get(), DISPID_WB_NAVIGATE2, DISPATCH_METHOD, nullptr, 0, nullptr), DISP_E_BADPARAMCOUNT);
  // The host notifies the control through its Application object, taken as IOleControl.
  ASSERT_EQ(DispGetProperty(disp.Get(), DISPID_WB_APPLICATION, result), S_OK);
  TComPtr<IOleControl> control;
  ASSERT_EQ(result.ToDispatch().As(IID_IOleControl, control), S_OK);
  host_->Flags = DLCTL_SILENT;
  EXPECT_EQ(control->OnAmbientPropertyChange(DISPID_AMBIENT_DLCONTROL), S_OK);
  EXPECT_EQ(browser_->DownloadControlFlags(), DLCTL_SILENT);
  EXPECT_EQ(browser_->Navigate2(nullptr, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(HtmlBrowser, FramePagesLoadBeforeCompletionUnlessTheHostForbidsFrameDownloads) {
  THttpServer server;
  server.Serve("/top.html", THttpResponse::Text("<iframe src=\"in/set.html\"></iframe><iframe src=\"top.html\">"
                                                "</iframe><iframe src=\"go\"></iframe>",
                                                "text/html"));
  server.Serve("/in/set.html", THttpResponse::Text("<frameset><frame src=\"../top.html\"><frame src=\"f.html\">"
                                                   "</frameset>",
                                                   "text/html"));
  server.Serve("/in/f.html", THttpResponse::Text(kPage, "text/html"));
  server.Serve("/go", THttpResponse::Redirect("/moved/g.html"));
  server.Serve("/moved/g.html", THttpResponse::Text("<p>g</p>", "text/html"));
  host_->Flags = kLoaderFlags;
  Navigate(server.Url("/top.html"));
  EXPECT_EQ(sink_->Log, std::vector<std::string>{"DocumentComplete"});
  // The page that includes itself is fetched once, each frame once.
  EXPECT_EQ(server.RequestLog(), (std::vector<std::string>{"GET /top.html", "GET /in/set.html", "GET /in/f.html",
                                                           "GET /go", "GET /moved/g.html"}));
  TComPtr<IDispatch> doc;
  ASSERT_EQ(browser_->get_Document(doc.Put()), S_OK);
  auto frameLocation = [](IDispatch* document, LONG i) {
    TVariant frames, window, location;
    std::string text;
    if (SUCCEEDED(DispGetProperty(document, "frames", frames)) &&
        SUCCEEDED(DispCallMethod(frames.ToDispatch().Get(), "item", {TVariant::Int(i)}, &window)) && window.vt == VT_DISPATCH &&
        SUCCEEDED(DispGetProperty(window.ToDispatch().Get(), "location", location)))
      location.ToText(text);
    return text;
  };
  EXPECT_EQ(frameLocation(doc.Get(), 0), server.Url("/in/set.html"));
  EXPECT_EQ(frameLocation(doc.Get(), 1), server.Url("/moved/g.html"));  // after the redirect
  EXPECT_EQ(frameLocation(doc.Get(), 2), "");

  host_->Flags = kLoaderFlags | DLCTL_NO_FRAMEDOWNLOAD;
  Navigate(server.Url("/top.html"));
  EXPECT_EQ(server.Requests(), 6u);
  ASSERT_EQ(browser_->get_Document(doc.Put()), S_OK);
  EXPECT_EQ(frameLocation(doc.Get(), 0), "");
}

}  // namespace
}  // namespace win
