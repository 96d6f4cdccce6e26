#include "main/DownProgress.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "main/AppFiles.h"
#include "main/Main.h"
#include "platform/html/HtmlDocument.h"
#include "tests/framework/FormTestSupport.h"
#include "tests/support/HttpServer.h"

namespace vorra {
namespace {

namespace fs = std::filesystem;
using test::THttpResponse;
using test::THttpServer;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

win::TComPtr<win::IDispatch> Parse(const std::string& html) {
  auto doc = win::html::THtmlDocument::Parse(html, "http://site/a/page.html", "UTF-8");
  return win::TComPtr<win::IDispatch>(doc.Get());
}

std::string Object(const std::string& classId, const std::string& movie) {
  return "<object classid=\"" + classId + "\"><param name=\"movie\" value=\"" + movie + "\"></object>";
}

std::vector<std::unique_ptr<TFlashItem>> Walk(const std::string& html, const std::string& folder,
                                              const std::string& pageUrl = "http://site/a/page.html") {
  std::vector<std::unique_ptr<TFlashItem>> items;
  auto doc = Parse(html);
  WalkDocument(doc.Get(), pageUrl, folder, [&](TFlashItem* i) { items.emplace_back(i); });
  return items;
}

TEST(PageLoader, CompletesAddressesWithoutSchemeUnlessTheyNameAFile) {
  test::TTempDir temp;
  const std::string file = temp.Folder() + "a.html";
  std::ofstream(file) << "<html></html>";
  EXPECT_EQ(CompletePageUrl("site/page.html"), "http://site/page.html");
  EXPECT_EQ(CompletePageUrl(file), file);
  EXPECT_EQ(CompletePageUrl("ftp://site/x"), "ftp://site/x");
  EXPECT_EQ(CompletePageUrl(temp.Folder()), "http://" + temp.Folder());  // a folder is no file
}

TEST(PageLoader, WalkFindsFlashObjectsFirstThenFlashEmbedsByTheirMarkup) {
  const std::string clsid = "clsid:d27cdb6e-ae6d-11cf-96b8-444553540000";
  const std::string html =
      "<html><body>"
      "<embed src=\"e1.swf\" type=\"application/x-shockwave-flash\">" +
      Object(clsid, "o1.swf") + Object(" " + clsid, "spaced.swf") +
      Object("clsid:00000000-0000-0000-0000-000000000000", "other.swf") +
      "<object classid=\"" + clsid + "\"><param name=\"quality\" value=\"high\"></object>" +  // no movie
      "<embed src=\"noflash.swf\" type=\"video/mp4\">"
      "<embed src=\"movie.php?id=3\" TYPE=\"Application/X-Shockwave-Flash\">" +
      Object("CLSID:D27CDB6E-AE6D-11CF-96B8-444553540000", "/root/O2.SWF") +
      "<iframe src=\"inner.html\"></iframe></body></html>";
  const auto values = FindMovieValues(Parse(html).Get());
  EXPECT_EQ(values, (std::vector<std::string>{"o1.swf", "/root/O2.SWF", "e1.swf", "movie.php?id=3"}));
}

TEST(PageLoader, WalkResolvesAddressesAndGivesEveryNewAddressItsOwnFile) {
  test::TTempDir temp;
  const std::string folder = temp.Folder();
  std::ofstream(folder + "taken.swf") << "old";
  const std::string clsid = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000";
  const auto items = Walk(Object(clsid, "m/intro.swf") + Object(clsid, "../up/intro.swf") +
                              Object(clsid, "http://other/x/taken.swf") + Object(clsid, "/root.swf") +
                              "<embed src=\"m/intro.swf\" type=\"application/x-shockwave-flash\">",
                          folder);
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0]->Url, "http://site/a/m/intro.swf");
  EXPECT_EQ(items[0]->Name, "intro.swf");
  EXPECT_EQ(items[0]->TempFile, folder + "intro.swf");
  EXPECT_EQ(items[1]->Url, "http://site/up/intro.swf");
  EXPECT_EQ(items[1]->Name, "intro.swf");
  EXPECT_EQ(items[1]->TempFile, folder + "intro1.swf");  // given out in this walk: taken
  EXPECT_EQ(items[2]->TempFile, folder + "taken1.swf");  // an existing file: taken
  EXPECT_EQ(items[3]->Url, "http://site/root.swf");
  EXPECT_EQ(items[4]->TempFile, items[0]->TempFile);  // the same address shares its file
  EXPECT_EQ(ReadFile(folder + "taken.swf"), "old");
}

TEST(PageLoader, OddMovieAddressesNeverNameAFileOutsideTheFolder) {
  test::TTempDir temp;
  const std::string folder = temp.Folder() + "out/";
  const char* values[] = {"..", ".", "/", "x/..", "a/.", "../../..", "sub/", "%2e%2e", "\"q\".swf",
                          "with space.swf", "Ärger.swf", "m.swf?v=1#top", "m.swf#frag", "a\\..\\..\\b.swf",
                          "c:..", "\x01\x02.swf"};
  std::string html;
  for (const char* v : values) html += "<embed src=\"" + std::string(v) + "\" type=\"application/x-shockwave-flash\">";
  const auto items = Walk(html, folder);
  // ".", "/" and the empty src that the quotes leave stay bare paths, which a
  // web page may not fetch: they get no record.
  ASSERT_EQ(items.size(), std::size(values) - 3);
  for (const auto& item : items) {
    const fs::path file = fs::path(item->TempFile).lexically_normal();
    EXPECT_EQ(file.parent_path().string() + "/", folder) << item->Url;
    const std::string name = file.filename().string();
    EXPECT_NE(name, "..");
    EXPECT_NE(name, ".");
    EXPECT_FALSE(name.empty());
  }
  EXPECT_EQ(items[7]->Name, "Ärger.swf");
  EXPECT_EQ(items[8]->Name, "m.swf");
  EXPECT_EQ(SafeFileName(std::string(300, 'a') + ".swf").size(), 200u);
  EXPECT_EQ(SafeFileName(std::string(300, 'a') + ".swf").substr(196), ".swf");
  EXPECT_EQ(SafeFileName(".."), "movie.swf");
  EXPECT_EQ(SafeFileName(""), "movie.swf");
}

TEST(PageLoader, AWebPageNeverGetsALocalFileListedOrFetched) {
  test::TTempDir temp;
  const std::string secret = temp.Folder() + "secret.swf";
  std::ofstream(secret) << "local";
  const std::string embeds = "<embed src=\"file://" + secret + "\" type=\"application/x-shockwave-flash\">"
                             "<embed src=\" FILE://" + secret + "\" type=\"application/x-shockwave-flash\">"
                             "<embed src=\"x\" type=\"application/x-shockwave-flash\">"
                             "<embed src=\"ok.swf\" type=\"application/x-shockwave-flash\">";
  const auto fromWeb = Walk(embeds, temp.Folder() + "out/");
  ASSERT_EQ(fromWeb.size(), 1u);
  EXPECT_EQ(fromWeb[0]->Url, "http://site/a/ok.swf");

  // A local page may name local files.
  const std::string page = temp.Folder() + "page.html";
  auto doc = win::html::THtmlDocument::Parse(embeds, "file://" + page, "UTF-8");
  std::vector<std::unique_ptr<TFlashItem>> fromFile;
  WalkDocument(doc.Get(), page, temp.Folder() + "out/", [&](TFlashItem* i) { fromFile.emplace_back(i); });
  ASSERT_EQ(fromFile.size(), 4u);
  EXPECT_EQ(fromFile[3]->Url, temp.Folder() + "ok.swf");

  // A record that names a local file is fetched only for a local page.
  TFlashItem item;
  item.Url = "file://" + secret;
  item.TempFile = temp.Folder() + "copy.swf";
  item.PageUrl = "http://site/a/page.html";
  EXPECT_EQ(DownloadMovie(item), win::E_ACCESSDENIED);
  EXPECT_FALSE(fs::exists(item.TempFile));
  item.PageUrl = page;
  EXPECT_EQ(DownloadMovie(item), win::S_OK);
  EXPECT_EQ(ReadFile(item.TempFile), "local");
}

TEST(PageLoader, RelativeValuesResolveAgainstTheFirstBaseWithAnHref) {
  const auto items = Walk("<base target=\"_top\"><base href=\" /lib/x.html \"><base href=\"/other/\">"
                          "<embed src=\"m.swf\" type=\"application/x-shockwave-flash\">"
                          "<embed src=\"//cdn/y.swf\" type=\"application/x-shockwave-flash\">",
                          "/nonexistent-vorra-test/");
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0]->Url, "http://site/lib/m.swf");
  EXPECT_EQ(items[1]->Url, "http://cdn/y.swf");
}

TEST(PageLoader, AttributeValuesAreTakenAsABrowserTakesThem) {
  const std::string clsid = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000";
  const std::string html =
      "<object classid=\"" + clsid + "\"><param value=\"dir/a&amp;b.swf\" name=\"movie\">"
      "<param name=\"bgcolor\" value=\"#fff\"></object>"
      "<object classid=\"" + clsid + "\"><param name=\"movie\" value=\"  o.swf\n\"></object>"
      "<embed src=\"\n  m\t1.swf  \" type=\"application/x-shockwave-flash\">";
  EXPECT_EQ(FindMovieValues(Parse(html).Get()), (std::vector<std::string>{"dir/a&b.swf", "o.swf", "m1.swf"}));
}

TEST(PageLoader, TheWiderRulesFindTypedObjectsSrcParamsDataAndUntypedSwfEmbeds) {
  const std::string clsid = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000";
  const std::string html =
      "<embed src=\"u1.swf\">"
      "<embed src=\"U2.SWF?x=1#f\" width=\"1\">"
      "<embed src=\"u3.swf5\"><embed src=\"page.html?m=u4.swf\"><embed src=\"v.swf\" type=\"video/mp4\">"
      "<object type=\"Application/X-Shockwave-Flash\" data=\" typed.swf \"></object>"
      "<object type=\"application/x-shockwave-flash\"></object>"  // no data: nothing
      "<object type=\"text/html\" data=\"page.swf\"></object>"
      "<object classid=\"" + clsid + "\"><PARAM NAME=\"Src\" VALUE=\"src.swf\"></object>"
      "<object classid=\"" + clsid + "\" data=\"data.swf\"></object>"
      "<object classid=\"" + clsid + "\" data=\"not-this.swf\"><param name=\"movie\" value=\"movie.swf\">"
      "<param name=\"src\" value=\"nor-this.swf\"></object>";
  std::vector<std::pair<std::string, bool>> found;
  for (const TMovieValue& m : FindMovies(Parse(html).Get())) found.emplace_back(m.Value, m.Widened);
  EXPECT_EQ(found, (std::vector<std::pair<std::string, bool>>{{"typed.swf", true},
                                                              {"src.swf", true},
                                                              {"data.swf", true},
                                                              {"movie.swf", false},
                                                              {"u1.swf", true},
                                                              {"U2.SWF?x=1#f", true}}));
}

TEST(PageLoader, WiderFindsListOnlyNewAddressesWhileClassicOnesListAsBefore) {
  test::TTempDir temp;
  const std::string clsid = "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000";
  const std::string satay = "<object classid=\"" + clsid + "\"><param name=\"movie\" value=\"s.swf\">"
                            "<object type=\"application/x-shockwave-flash\" data=\"s.swf\"></object></object>";
  const std::string classic = "<object classid=\"" + clsid + "\"><param name=\"movie\" value=\"c.swf\">"
                              "<embed src=\"c.swf\" type=\"application/x-shockwave-flash\"></object>";
  // A typed OBJECT ahead of a classic EMBED of the same movie; two untyped EMBEDs of one movie.
  const std::string ahead = "<object type=\"application/x-shockwave-flash\" data=\"a.swf\"></object>"
                            "<embed src=\"a.swf\" type=\"application/x-shockwave-flash\">"
                            "<embed src=\"u.swf\"><embed src=\" u.swf\">";
  std::vector<std::string> urls;
  for (const auto& item : Walk(satay + classic + ahead, temp.Folder())) urls.push_back(item->Url);
  EXPECT_EQ(urls, (std::vector<std::string>{"http://site/a/s.swf", "http://site/a/c.swf", "http://site/a/c.swf",
                                            "http://site/a/a.swf", "http://site/a/u.swf"}));
}

TEST(PageLoader, NoScriptsAddsItsFlagToTheLoadersAnswer) {
  TWebHost host(nullptr);
  SetPageLoaderOptions(&host);
  EXPECT_EQ(host.DownloadControlFlags(), 0x40004700u);
  SetPageLoaderOptions(&host, false);
  EXPECT_EQ(host.DownloadControlFlags(), 0x40004780u);
}

TEST(PageLoader, TheLowerCasedRetryFollowsOnlyANotFoundAndKeepsTheQuery) {
  test::TTempDir temp;
  THttpServer server;
  server.Serve("/Err.swf", THttpResponse::Error(500));
  server.Serve("/err.swf", THttpResponse::Text("wrong"));
  server.Serve("/Gone.swf", THttpResponse::Error(410));
  server.Route("/gone.swf", [](const test::THttpRequest& r) {
    return THttpResponse::Text("folded?" + r.Query, "application/x-shockwave-flash");
  });
  TFlashItem failed;
  failed.Url = server.Url("/Err.swf");
  failed.TempFile = temp.Folder() + "a.swf";
  EXPECT_TRUE(win::FAILED(DownloadMovie(failed)));
  EXPECT_FALSE(fs::exists(failed.TempFile));

  TFlashItem gone;
  gone.Url = server.Url("/Gone.swf?Id=A#Top");
  gone.TempFile = temp.Folder() + "b.swf";
  EXPECT_EQ(DownloadMovie(gone), win::S_OK);
  EXPECT_EQ(ReadFile(gone.TempFile), "folded?Id=A");
  EXPECT_EQ(server.RequestLog(),
            (std::vector<std::string>{"GET /Err.swf", "GET /Gone.swf?Id=A", "GET /gone.swf?Id=A"}));
}

TEST(PageLoader, DownloadsTheAddressAsFoundAndOnlyThenTheLowerCasedOne) {
  test::TTempDir temp;
  THttpServer server;
  std::vector<std::string> asked;
  std::mutex m;
  server.Route("/Movies/Intro.swf", [&](const test::THttpRequest& r) {
    std::lock_guard<std::mutex> lock(m);
    asked.push_back(r.Path);
    return THttpResponse::Text("exact", "application/x-shockwave-flash");
  });
  server.Route("/movies/lower.swf", [&](const test::THttpRequest& r) {
    std::lock_guard<std::mutex> lock(m);
    asked.push_back(r.Path);
    return THttpResponse::Text("folded", "application/x-shockwave-flash");
  });
  TFlashItem exact;
  exact.Url = server.Url("/Movies/Intro.swf");
  exact.TempFile = temp.Folder() + "a.swf";
  EXPECT_EQ(DownloadMovie(exact), win::S_OK);
  EXPECT_EQ(ReadFile(exact.TempFile), "exact");

  TFlashItem folded;
  folded.Url = server.Url("/Movies/LOWER.swf");
  folded.TempFile = temp.Folder() + "b.swf";
  EXPECT_EQ(DownloadMovie(folded), win::S_OK);
  EXPECT_EQ(ReadFile(folded.TempFile), "folded");

  TFlashItem missing;
  missing.Url = server.Url("/none.swf");
  missing.TempFile = temp.Folder() + "c.swf";
  EXPECT_EQ(DownloadMovie(missing), win::INET_E_OBJECT_NOT_FOUND);
  EXPECT_FALSE(fs::exists(missing.TempFile));
  std::lock_guard<std::mutex> lock(m);
  EXPECT_EQ(asked, (std::vector<std::string>{"/Movies/Intro.swf", "/movies/lower.swf"}));
}

// ---- The dialog ----

class DownLoadFrmTest : public test::TFormTest {
 protected:
  void SetUp() override {
    TFormTest::SetUp();
    fs::create_directories(temp_.Folder() + "prog/");
    SetAppFolders(temp_.Folder() + "prog/", true);
    fs::create_directories(TempFolder);
    host_ = new TForm(nullptr);
    address_ = new TComboBox(host_);
    address_->SetParent(host_);
    list_ = new TListBox(host_);
    list_->SetParent(host_);
  }
  void TearDown() override {
    for (int i = 0; i < list_->Items()->Count(); ++i) delete list_->Items()->Objects(i);
    host_->Free();
    ClearAppFolders();
    TFormTest::TearDown();
  }
  TDownLoadFrm* Make(const std::string& address) {
    address_->SetText(address);
    win::TWebBrowserSettings settings = TDownLoadFrm::LoaderBrowserSettings();
    if (timeoutMs_) settings.TimeoutMs = timeoutMs_;
    frm_.reset(new TDownLoadFrm(nullptr, address_, list_, settings));
    return frm_.get();
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < list_->Items()->Count(); ++i) names.push_back(list_->Items()->Strings(i));
    return names;
  }
  TFlashItem* Item(int i) { return dynamic_cast<TFlashItem*>(list_->Items()->Objects(i)); }

  THttpServer server_;
  TForm* host_ = nullptr;
  TComboBox* address_ = nullptr;
  TListBox* list_ = nullptr;
  long timeoutMs_ = 0;
  std::unique_ptr<TDownLoadFrm, TFreeDeleter> frm_;
};

TEST_F(DownLoadFrmTest, LoadsThePageListsItsMoviesDownloadsThemAndCloses) {
  server_.Serve("/site/page.html",
                THttpResponse::Text("<embed src=\"b.swf\" type=\"application/x-shockwave-flash\">" +
                                        Object("clsid:D27CDB6E-AE6D-11CF-96B8-444553540000", "A.swf") +
                                        "<script>window.open('x.html')</script>",
                                    "text/html"));
  server_.Serve("/site/A.swf", THttpResponse::Text("FWS-a"));
  server_.Serve("/site/b.swf", THttpResponse::Text("FWS-b"));
  TDownLoadFrm* f = Make(server_.Url("/site/page.html"));
  EXPECT_EQ(f->Caption(), "Progress");
  EXPECT_EQ(f->ClientWidth(), 361);
  EXPECT_EQ(f->ClientHeight(), 90);
  EXPECT_EQ(f->Wb->DownloadControlFlags(), 0x40004700u);
  EXPECT_EQ(f->Button1->Caption(), "Cancel");
  EXPECT_TRUE(f->Button1->Default());
  int newWindows = 0;
  auto newWindow = f->Wb->OnNewWindow2;
  f->Wb->OnNewWindow2 = [&](TObject* s, win::IDispatch*& d, win::VARIANT_BOOL& c) {
    newWindow(s, d, c);
    newWindows += c == win::VARIANT_TRUE;
  };
  f->ShowModal();
  EXPECT_EQ(newWindows, 1);
  EXPECT_TRUE(f->PageDone);
  EXPECT_FALSE(f->Downloading);
  EXPECT_EQ(f->Label1->Caption(), "Download flashs.. ( 2/2 )");
  ASSERT_EQ(Names(), (std::vector<std::string>{"A.swf", "b.swf"}));
  EXPECT_EQ(Item(0)->TempFile, TempFolder + "A.swf");
  EXPECT_EQ(ReadFile(Item(0)->TempFile), "FWS-a");
  EXPECT_EQ(ReadFile(Item(1)->TempFile), "FWS-b");
  EXPECT_EQ(f->pb->Max(), 1);
}

TEST_F(DownLoadFrmTest, APageWithoutMoviesOrThatFailsClosesWithAnEmptyList) {
  server_.Serve("/empty.html", THttpResponse::Text("<p>nothing</p>", "text/html"));
  Make(server_.Url("/empty.html"))->ShowModal();
  EXPECT_TRUE(Names().empty());
  EXPECT_TRUE(frm_->PageDone);
  // A failed navigation's error page is walked like any page.
  Make(server_.Url("/missing.html"))->ShowModal();
  EXPECT_TRUE(Names().empty());
  EXPECT_TRUE(frm_->PageDone);
}

TEST_F(DownLoadFrmTest, APageThatNeverFinishesWaitsOnRetrieveUntilCancel) {
  THttpResponse stalled = THttpResponse::Text(std::string(4000, ' ') + "<embed src=a.swf>", "text/html");
  stalled.Fault = test::TBodyFault::bfStall;
  stalled.FaultAfter = 1000;
  server_.Serve("/slow.html", stalled);
  TDownLoadFrm* f = Make(server_.Url("/slow.html"));
  auto progress = f->Wb->OnProgressChange;
  bool cancelled = false;
  f->Wb->OnProgressChange = [&](TObject* s, int p, int m) {
    progress(s, p, m);
    // Once bytes have arrived the page is half there: the user gives up.
    if (p > 0 && !cancelled) {
      cancelled = true;
      Later([&] {
        EXPECT_EQ(f->Label1->Caption(), "Retrieve the web page");
        EXPECT_FALSE(f->PageDone);
        f->Button1->Click();
      });
    }
  };
  EXPECT_EQ(f->ShowModal(), mrCancel);
  EXPECT_TRUE(cancelled);
  EXPECT_FALSE(f->PageDone);
  EXPECT_TRUE(Names().empty());
  server_.ReleaseStalls();
}

TEST_F(DownLoadFrmTest, CancelEndsTheRunningDownloadAndSkipsTheRest) {
  server_.Serve("/p.html", THttpResponse::Text("<embed src=\"a.swf\" type=\"application/x-shockwave-flash\">"
                                               "<embed src=\"b.swf\" type=\"application/x-shockwave-flash\">",
                                               "text/html"));
  THttpResponse slow = THttpResponse::Text(std::string(5000, 'a'));
  slow.Fault = test::TBodyFault::bfStall;
  slow.FaultAfter = 100;
  server_.Serve("/a.swf", slow);
  server_.Serve("/b.swf", THttpResponse::Text("b"));
  TDownLoadFrm* f = Make(server_.Url("/p.html"));
  auto complete = f->Wb->OnDocumentComplete;
  bool tried = false;
  f->Wb->OnDocumentComplete = [&](TObject* s, win::IDispatch* d, win::VARIANT& u) {
    // Runs while the first transfer waits on the stalled server.
    Later([&] {
      tried = true;
      EXPECT_TRUE(f->Downloading);
      EXPECT_EQ(f->Label1->Caption(), "Download flashs.. ( 1/2 )");
      EXPECT_FALSE(f->CloseQuery());
      f->Button1->Click();
      EXPECT_TRUE(f->Downloading);  // the close is still refused
      server_.ReleaseStalls();
    });
    complete(s, d, u);
  };
  f->ShowModal();
  EXPECT_TRUE(tried);
  EXPECT_FALSE(f->Downloading);
  ASSERT_EQ(Names().size(), 2u);
  EXPECT_NE(ReadFile(Item(0)->TempFile), std::string(5000, 'a'));
  EXPECT_FALSE(fs::exists(Item(1)->TempFile));
  for (const std::string& request : server_.RequestLog()) EXPECT_EQ(request.find("b.swf"), std::string::npos);
}

TEST_F(DownLoadFrmTest, MoviesResolveAgainstThePageAddressAfterRedirects) {
  server_.Serve("/old/p.html", THttpResponse::Redirect("/new/p.html"));
  server_.Serve("/new/p.html",
                THttpResponse::Text("<embed src=\"m.swf\" type=\"application/x-shockwave-flash\">", "text/html"));
  server_.Serve("/new/m.swf", THttpResponse::Text("FWS-new"));
  Make(server_.Url("/old/p.html"))->ShowModal();
  ASSERT_EQ(Names().size(), 1u);
  EXPECT_EQ(Item(0)->Url, server_.Url("/new/m.swf"));
  EXPECT_EQ(ReadFile(Item(0)->TempFile), "FWS-new");
}

TEST_F(DownLoadFrmTest, FrameMoviesFollowThePagesResolvedAgainstTheirFrame) {
  server_.Serve("/p/top.html", THttpResponse::Text("<iframe src=\"../go\"></iframe><embed src=\"m.swf\" "
                                                   "type=\"application/x-shockwave-flash\"><iframe src=\"top.html\">"
                                                   "</iframe><iframe src=\"sub/set.html\"></iframe>",
                                                   "text/html"));
  server_.Serve("/go", THttpResponse::Redirect("/q/f.html"));
  server_.Serve("/q/f.html", THttpResponse::Text("<embed src=\"f.swf\"><iframe src=\"d/deeper.html\"></iframe>",
                                                 "text/html"));
  server_.Serve("/q/d/deeper.html",
                THttpResponse::Text("<object type=\"application/x-shockwave-flash\" data=\"g.swf\"></object>"
                                    "<embed src=\"/p/m.swf\">",  // listed already by the top page
                                    "text/html"));
  server_.Serve("/p/sub/set.html", THttpResponse::Text("<frameset><frame src=\"../../q/f.html\">"
                                                       "<frame src=\"h.html\"></frameset>",
                                                       "text/html"));
  server_.Serve("/p/sub/h.html", THttpResponse::Text("<embed src=\"h.swf\">", "text/html"));
  for (const char* movie : {"/p/m.swf", "/q/f.swf", "/q/d/g.swf", "/p/sub/h.swf"})
    server_.Serve(movie, THttpResponse::Text(std::string("FWS") + movie));
  Make(server_.Url("/p/top.html"))->ShowModal();
  std::vector<std::string> urls;
  for (int i = 0; i < list_->Items()->Count(); ++i) urls.push_back(Item(i)->Url);
  EXPECT_EQ(urls, (std::vector<std::string>{server_.Url("/p/m.swf"), server_.Url("/q/f.swf"),
                                            server_.Url("/q/d/g.swf"), server_.Url("/p/sub/h.swf")}));
  EXPECT_EQ(ReadFile(Item(2)->TempFile), "FWS/q/d/g.swf");
}

TEST_F(DownLoadFrmTest, HostilePagesCloseTheDialogWithWhatTheyHold) {
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "<div>";
  nested += "<embed src=\"deep.swf\" type=\"application/x-shockwave-flash\">";
  server_.Serve("/nested.html", THttpResponse::Text(nested, "text/html"));
  server_.Serve("/malformed.html",
                THttpResponse::Text("<table><tr><td><object classid=\"clsid:D27CDB6E-AE6D-11CF-96B8-444553540000\""
                                    "<param name=\"movie\" value=\"m.swf\"></td></object></table><embed src=\"e.swf"
                                    "\" type=\"application/x-shockwave-flash\"<p><embed src='x.swf type=application/"
                                    "x-shockwave-flash",
                                    "text/html"));
  server_.Serve("/binary.html", THttpResponse::Text(THttpServer::GeneratedBody(200000), "text/html"));
  server_.Serve("/loop", THttpResponse::Redirect("/loop"));
  server_.Serve("/deep.swf", THttpResponse::Text("deep"));

  Make(server_.Url("/nested.html"))->ShowModal();
  // Past the nesting bound the elements are dropped, not the movie.
  ASSERT_EQ(Names(), std::vector<std::string>{"deep.swf"});
  EXPECT_EQ(ReadFile(Item(0)->TempFile), "deep");
  for (int i = 0; i < list_->Items()->Count(); ++i) delete list_->Items()->Objects(i);
  list_->Items()->Clear();

  for (const char* page : {"/malformed.html", "/binary.html", "/loop"}) {
    Make(server_.Url(page))->ShowModal();
    EXPECT_TRUE(frm_->PageDone) << page;
    for (const std::string& name : Names()) EXPECT_FALSE(name.empty()) << page;
    for (int i = 0; i < list_->Items()->Count(); ++i) {
      EXPECT_EQ(fs::path(Item(i)->TempFile).parent_path().string() + "/", TempFolder);
      delete list_->Items()->Objects(i);
    }
    list_->Items()->Clear();
  }
}

class GoTest : public test::TFormTest {
 protected:
  void TearDown() override {
    if (form_) form_->Free();
    ClearAppFolders();
    TFormTest::TearDown();
  }
  TVorraMainFrm* Start() {
    fs::create_directories(temp_.Folder() + "prog/");
    form_ = new TVorraMainFrm(nullptr, temp_.Folder() + "prog/");
    form_->AfterConstruction();
    return form_;
  }
  TVorraMainFrm* form_ = nullptr;
  THttpServer server_;
};

TEST_F(GoTest, AnEmptyAddressDoesNothingAndAPageWithoutMoviesSaysSo) {
  TVorraMainFrm* f = Start();
  auto* kept = new TFlashItem;
  f->FlashList->Items()->AddObject("kept.swf", kept);
  std::ofstream(TempFolder + "kept.swf") << "x";
  f->btnGoClick(f->btnGo);
  EXPECT_EQ(f->FlashList->Items()->Count(), 1);
  EXPECT_TRUE(fs::exists(TempFolder + "kept.swf"));
  EXPECT_TRUE(requests_.empty());

  server_.Serve("/none.html", THttpResponse::Text("<p>no movies</p>", "text/html"));
  f->FlashAddress->SetText(server_.Url("/none.html"));
  f->btnGoClick(f->btnGo);
  EXPECT_EQ(f->FlashList->Items()->Count(), 0);
  EXPECT_FALSE(fs::exists(TempFolder + "kept.swf"));
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_EQ(requests_[0].Text, "No Flashs file find");
  EXPECT_EQ(requests_[0].Caption, "Vorra");
  EXPECT_EQ(requests_[0].Type, static_cast<unsigned>(win::MB_ICONINFORMATION | win::MB_OK));
}

TEST_F(GoTest, EnterInTheAddressBoxLoadsThePage) {
  TVorraMainFrm* f = Start();
  server_.Serve("/p.html", THttpResponse::Text("<embed src=\"m.swf\" type=\"application/x-shockwave-flash\">",
                                               "text/html"));
  server_.Serve("/m.swf", THttpResponse::Text("FWS"));
  f->FlashAddress->SetText(server_.Url("/p.html"));
  win::SendMessageA(f->FlashAddress->EditHandle(), win::WM_KEYDOWN, win::VK_RETURN, 0);
  ASSERT_EQ(f->FlashList->Items()->Count(), 1);
  auto* item = dynamic_cast<TFlashItem*>(f->FlashList->Items()->Objects(0));
  EXPECT_EQ(ReadFile(item->TempFile), "FWS");
  EXPECT_TRUE(requests_.empty());
}

}  // namespace
}  // namespace vorra
