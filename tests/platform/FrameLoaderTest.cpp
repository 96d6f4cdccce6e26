#include "platform/html/FrameLoader.h"
#include "platform/html/PageAddress.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace win::html {
namespace {

// Frame pages served from memory; every load is logged.
struct TPages {
  std::map<std::string, std::string> Text;
  std::map<std::string, std::string> Redirect;
  std::vector<std::string> Log;

  TComPtr<THtmlDocument> Load(const std::string& address) {
    Log.push_back(address);
    std::string landed = address;
    if (auto r = Redirect.find(address); r != Redirect.end()) landed = r->second;
    const auto page = Text.find(landed);
    return THtmlDocument::Parse(page == Text.end() ? "<p>not found</p>" : page->second, landed, "UTF-8");
  }
  TComPtr<THtmlDocument> Top(const std::string& address) { return THtmlDocument::Parse(Text[address], address, "UTF-8"); }
  int Run(THtmlDocument& top, const TFrameLimits& limits = {}) {
    return LoadFrames(top, [this](const std::string& a) { return Load(a); }, limits);
  }
};

std::string Iframe(const std::string& src) { return "<iframe src=\"" + src + "\"></iframe>"; }

TEST(FrameLoader, LoadsFramesDepthFirstInOrderEachAddressOnceAndThreeDeep) {
  TPages pages;
  pages.Text["http://s/d/top.html"] = Iframe("a.html") + Iframe("top.html#again") + Iframe("../d/./a.html") +
                                      Iframe("http://s/r") + Iframe("/e/deep1.html");
  pages.Text["http://s/d/a.html"] = "<frameset><frame src=\"b.html\" name=\"bee\"><frame src=\"top.html\"></frameset>";
  pages.Text["http://s/d/b.html"] = Iframe("a.html");  // back up the tree: already loaded
  pages.Redirect["http://s/r"] = "http://s/d/b.html";  // lands on a page already loaded
  pages.Text["http://s/e/deep1.html"] = Iframe("deep2.html");
  pages.Text["http://s/e/deep2.html"] = Iframe("deep3.html");
  pages.Text["http://s/e/deep3.html"] = Iframe("deep4.html");
  auto top = pages.Top("http://s/d/top.html");
  EXPECT_EQ(pages.Run(*top), 5);
  EXPECT_EQ(pages.Log, (std::vector<std::string>{"http://s/d/a.html", "http://s/d/b.html", "http://s/r",
                                                 "http://s/e/deep1.html", "http://s/e/deep2.html",
                                                 "http://s/e/deep3.html"}));
  ASSERT_EQ(top->Frames().size(), 2u);
  ASSERT_EQ(top->Frames()[0].Document->Frames().size(), 1u);
  EXPECT_EQ(top->Frames()[0].Document->Frames()[0].Name, "bee");

  // Served late-bound: document.frames(i).document / .location / .name.
  TVariant frames, length, window, name, document, frames2, window2, location;
  ASSERT_EQ(DispGetProperty(top.Get(), "frames", frames), S_OK);
  ASSERT_EQ(DispGetProperty(frames.ToDispatch().Get(), "length", length), S_OK);
  EXPECT_EQ(length.lVal, 2);
  ASSERT_EQ(DispCallMethod(frames.ToDispatch().Get(), "item", {TVariant::Int(0)}, &window), S_OK);
  ASSERT_EQ(DispGetProperty(window.ToDispatch().Get(), "document", document), S_OK);
  ASSERT_EQ(DispGetProperty(document.ToDispatch().Get(), "frames", frames2), S_OK);
  ASSERT_EQ(DispCallMethod(frames2.ToDispatch().Get(), "item", {TVariant::Text("bee")}, &window2), S_OK);
  ASSERT_EQ(DispGetProperty(window2.ToDispatch().Get(), "location", location), S_OK);
  std::string text;
  location.ToText(text);
  EXPECT_EQ(text, "http://s/d/b.html");
  TVariant outside;
  ASSERT_EQ(DispCallMethod(frames.ToDispatch().Get(), "item", {TVariant::Int(2)}, &outside), S_OK);
  EXPECT_EQ(outside.vt, VT_NULL);
}

TEST(FrameLoader, FetchesAtMostFiftyFramesAPageAndNoLocalFileForAWebPage) {
  TPages pages;
  std::string many = Iframe("file:///etc/passwd") + Iframe("file:/etc/passwd") + Iframe("javascript:x()") +
                     Iframe("about:blank") + Iframe("  ") + "<iframe></iframe>";
  for (int i = 0; i < 60; ++i) many += Iframe("//s/f" + std::to_string(i) + ".html");
  pages.Text["http://s/top.html"] = many;
  auto top = pages.Top("http://s/top.html");
  EXPECT_EQ(pages.Run(*top), 50);
  ASSERT_EQ(pages.Log.size(), 50u);
  EXPECT_EQ(pages.Log.front(), "http://s/f0.html");

  // A local page may have local frames.
  TPages local;
  local.Text["/p/top.html"] = Iframe("sub/f.html") + Iframe("file:///p/g.html");
  auto localTop = local.Top("/p/top.html");
  EXPECT_EQ(local.Run(*localTop), 2);
  EXPECT_EQ(local.Log, (std::vector<std::string>{"/p/sub/f.html", "file:///p/g.html"}));
}

TEST(FrameLoader, FrameAddressesResolveAsABrowserResolvesThem) {
  const std::string base = "http://s/a/b/page.html?q=1#f";
  EXPECT_EQ(ResolvePageAddress(base, "c.html"), "http://s/a/b/c.html");
  EXPECT_EQ(ResolvePageAddress(base, " ../../../c.html\n"), "http://s/c.html");
  EXPECT_EQ(ResolvePageAddress(base, "./x/../c.html?z#y"), "http://s/a/b/c.html?z#y");
  EXPECT_EQ(ResolvePageAddress(base, "/c.html"), "http://s/c.html");
  EXPECT_EQ(ResolvePageAddress("https://s/", "//t/c.html"), "https://t/c.html");
  EXPECT_EQ(ResolvePageAddress(base, "?z"), "http://s/a/b/page.html?z");
  EXPECT_EQ(ResolvePageAddress(base, ".."), "http://s/a/");
  EXPECT_EQ(ResolvePageAddress("http://s", "c.html"), "http://s/c.html");
  EXPECT_EQ(ResolvePageAddress(base, "FTP://t/c"), "FTP://t/c");
  EXPECT_EQ(ResolvePageAddress("file:///p/q/r.html", "c.html"), "file:///p/q/c.html");

  // A BASE element's href is what frames resolve against.
  TPages pages;
  pages.Text["http://s/a/top.html"] = "<base href=\"http://t/lib/\">" + Iframe("f.html");
  auto top = pages.Top("http://s/a/top.html");
  pages.Run(*top);
  EXPECT_EQ(pages.Log, std::vector<std::string>{"http://t/lib/f.html"});
}

}  // namespace
}  // namespace win::html
