#include "platform/html/ScriptEngine.h"

#include <gtest/gtest.h>

#include <time.h>
#include <map>
#include <string>
#include <vector>

namespace win::html {
namespace {

// Serves external scripts from a table and records errors.
class TTestHost : public TScriptHost {
 public:
  std::map<std::string, std::string> Scripts;
  std::vector<std::string> Errors;
  int Fetches = 0;
  bool FetchScript(const std::string& url, std::string& text) override {
    ++Fetches;
    auto it = Scripts.find(url);
    if (it == Scripts.end()) return false;
    text = it->second;
    return true;
  }
  void ScriptError(const TScriptError& error) override { Errors.push_back(error.Message); }
};

// What the page walk reads through the document's late-bound interface:
// "OBJECT <movie param>" and "EMBED <src>", each kind in document order.
std::vector<std::string> Movies(THtmlDocument& doc) {
  std::vector<std::string> out;
  TVariant all;
  EXPECT_EQ(DispGetProperty(&doc, "all", all), S_OK);
  for (const char* tag : {"OBJECT", "EMBED"}) {
    TVariant list, length;
    DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text(tag)}, &list);
    DispGetProperty(list.ToDispatch().Get(), "length", length);
    LONG n = 0;
    length.ToInt(n);
    for (LONG i = 0; i < n; ++i) {
      TVariant item, value;
      DispCallMethod(list.ToDispatch().Get(), "Item", {TVariant::Int(i)}, &item);
      std::string text;
      if (std::string(tag) == "EMBED") {
        DispGetProperty(item.ToDispatch().Get(), "src", value);
        value.ToText(text);
      } else {
        DispGetProperty(item.ToDispatch().Get(), "innerhtml", value);
        value.ToText(text);
        const auto at = text.find("value=\"");
        text = at == std::string::npos ? "" : text.substr(at + 7, text.find('"', at + 7) - at - 7);
      }
      out.push_back(std::string(tag) + " " + text);
    }
  }
  return out;
}

long long ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

struct TPage {
  TComPtr<THtmlDocument> Doc;
  TTestHost Host;
  TScriptRun Run;
  explicit TPage(const std::string& html, TScriptSettings settings = {}) {
    Doc = THtmlDocument::Parse(html, "http://127.0.0.1:1/dir/page.html", "UTF-8");
    Run = RunPageScripts(*Doc, Host, settings);
  }
};

const char kObject[] =
    "<object classid=\\\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\\\"><param name=\\\"movie\\\" value=\\\"a.swf\\\"></object>";

TEST(ScriptEngine, DocumentWriteInsertsAtTheScriptsPlaceInOrder) {
  TPage page(std::string("<body><embed src='first.swf' type='application/x-shockwave-flash'>"
                         "<script>document.write(\"") + kObject + "\");"
                         "document.write('<embed src=\"b.swf\" type=\"application/x-shockwave-flash\">');</script>"
                         "<embed src='last.swf' type='application/x-shockwave-flash'></body>");
  EXPECT_EQ(Movies(*page.Doc),
            (std::vector<std::string>{"OBJECT a.swf", "EMBED first.swf", "EMBED b.swf", "EMBED last.swf"}));
  EXPECT_EQ(page.Run.Errors, 0);
}

TEST(ScriptEngine, NestedWritesComeBeforeTheRestOfTheOuterWrite) {
  TPage page(
      "<body><script>document.write('<scr' + 'ipt>document.write(\"<embed src=inner.swf>\")</scr' + 'ipt>"
      "<embed src=outer.swf>');</script><script>document.write('<embed src=next.swf>')</script></body>");
  EXPECT_EQ(Movies(*page.Doc), (std::vector<std::string>{"EMBED inner.swf", "EMBED outer.swf", "EMBED next.swf"}));
}

TEST(ScriptEngine, DomCallsBuildMoviesThatTheWalkSees) {
  TPage page(R"(<body><div id="holder">Get Flash</div><p id="p"></p><script>
    document.getElementById('holder').innerHTML = '<embed src="inner.swf" type="application/x-shockwave-flash">';
    var e = document.createElement('embed');
    e.setAttribute('src', 'made.swf');
    e.type = 'application/x-shockwave-flash';
    var p = document.getElementById('p');
    p.appendChild(e);
    p.insertBefore(document.createElement('br'), e);
    if (e.parentNode !== p || p.firstChild.nextSibling !== e || p.childNodes.length !== 2) throw new Error('tree');
    var old = document.createElement('embed'); old.src = 'gone.swf'; document.body.appendChild(old);
    document.body.removeChild(old);
    </script></body>)");
  EXPECT_EQ(Movies(*page.Doc), (std::vector<std::string>{"EMBED inner.swf", "EMBED made.swf"}));
  EXPECT_EQ(page.Host.Errors, std::vector<std::string>{});
}

TEST(ScriptEngine, OuterHtmlReplacesAPlaceholderAndItsScriptsDoNotRun) {
  TPage page(R"(<body><div id="ph"></div><script>
    document.getElementById('ph').outerHTML = '<object type="application/x-shockwave-flash" data="o.swf">' +
      '<param name="movie" value="o.swf"></object><script>document.write("<embed src=never.swf>")<\/script>';
    if (document.getElementById('ph') !== null) throw new Error('still there');
    </script></body>)");
  EXPECT_EQ(Movies(*page.Doc), (std::vector<std::string>{"OBJECT o.swf"}));
  EXPECT_EQ(page.Run.Errors, 0);
}

// Detection as the era wrote it: ActiveXObject on one side, plugins on the other.
TEST(ScriptEngine, DetectionFindsFlashOnBothPaths) {
  TPage page(R"(<body><script>
    var v = '';
    try { v = new ActiveXObject('ShockwaveFlash.ShockwaveFlash.7').GetVariable('$version'); } catch (e) {}
    if (v === 'WIN 32,0,0,0') document.write('<object classid="clsid:D27CDB6E-AE6D-11cf-96B8-444553540000">' +
      '<param name="movie" value="ax.swf"></object>');
    var p = navigator.plugins['Shockwave Flash'], m = navigator.mimeTypes['application/x-shockwave-flash'];
    if (p && p.description === 'Shockwave Flash 32.0 r0' && m.enabledPlugin === p)
      document.write('<embed src="plugin.swf" type="application/x-shockwave-flash">');
    try { new ActiveXObject('No.Such.Object'); } catch (e) { document.title = e.message; throw e; }
    </script></body>)");
  EXPECT_EQ(Movies(*page.Doc), (std::vector<std::string>{"OBJECT ax.swf", "EMBED plugin.swf"}));
  EXPECT_EQ(page.Host.Errors, std::vector<std::string>{"Error: Automation server can't create object"});
}

TEST(ScriptEngine, LoadHandlersAndTimersRunInOrderOnTheVirtualClock) {
  TPage page(R"(<body onload="document.body.appendChild(document.createElement('embed')).src = 'attr.swf'"><script>
    window.addEventListener('load', function () {
      setTimeout(function () { document.write('<embed src="late.swf">'); }, 5000);
      setTimeout(function () { document.body.appendChild(document.createElement('embed')).src = 'soon.swf'; }, 10);
      setTimeout(function () { document.write('<embed src="never.swf">'); }, 20000);
    });
    document.addEventListener('DOMContentLoaded', function () {
      document.body.appendChild(document.createElement('embed')).src = 'ready.swf'; });
    </script></body>)");
  EXPECT_EQ(Movies(*page.Doc), (std::vector<std::string>{"EMBED ready.swf", "EMBED attr.swf", "EMBED soon.swf",
                                                         "EMBED late.swf"}));
}

TEST(ScriptEngine, ExternalScriptsRunInDocumentOrderAgainstTheBase) {
  TPage page(R"(<head><base href="http://127.0.0.1:1/lib/"></head><body>
    <script src="a.js"></script><script>document.write('<embed src="' + order + '.swf">')</script>
    <script src="/self.js"></script></body>)",
             {});
  // The table was empty when the page ran: nothing fetched runs, nothing fails.
  EXPECT_EQ(page.Host.Fetches, 2);
  TTestHost host;
  host.Scripts["http://127.0.0.1:1/lib/a.js"] = "var order = 'a';";
  // A script that includes itself runs once more per include, within bounds.
  host.Scripts["http://127.0.0.1:1/self.js"] =
      "document.write('<scr' + 'ipt src=\"/self.js\"></scr' + 'ipt><embed src=\"s.swf\">');";
  auto doc = THtmlDocument::Parse(R"(<head><base href="http://127.0.0.1:1/lib/"></head><body>
    <script src="a.js"></script><script>document.write('<embed src="' + order + '.swf">')</script>
    <script src="/self.js"></script></body>)",
                                  "http://127.0.0.1:1/dir/page.html", "UTF-8");
  TScriptSettings settings;
  const TScriptRun run = RunPageScripts(*doc, host, settings);
  const auto movies = Movies(*doc);
  ASSERT_FALSE(movies.empty());
  EXPECT_EQ(movies[0], "EMBED a.swf");
  EXPECT_EQ(host.Fetches, settings.MaxExternalScripts);
  EXPECT_EQ(run.Errors, 0);
}

// Hostile pages end within their budget and the page keeps what it had.
TEST(ScriptEngine, BadScriptsEndWithinTheirBudgets) {
  TScriptSettings settings;
  settings.CpuBudgetMs = 200;
  settings.MemoryBytes = 32u << 20;
  const char* kBad[] = {
      "for (;;) {}",
      "while (true) { try { for (;;) {} } catch (e) {} }",
      "function f() { return f() + 1; } f();",
      "for (;;) document.write('<b>x</b>');",
      "setInterval(function () {}, 0);",
      "var s = 'x'; while (s.length < 100 * 1024 * 1024) s += s; document.write(s);",
      "var a = []; for (;;) a.push(new Array(1000).join('y') + a.length);",
      "var s = 'x'; for (;;) s += s;",
      "x.y = 1; undefinedFunction(); null.z;",
  };
  for (const char* script : kBad) {
    SCOPED_TRACE(script);
    const long long start = ThreadCpuMs();
    TPage page(std::string("<body><embed src=kept.swf><script>") + script +
                   "</script><script>document.write('<embed src=after.swf>')</script></body>",
               settings);
    // CPU time, not wall time: the machine may be busy with other work.
    EXPECT_LT(ThreadCpuMs() - start, 1500);
    const auto movies = Movies(*page.Doc);
    ASSERT_FALSE(movies.empty());
    EXPECT_EQ(movies[0], "EMBED kept.swf");
    if (!page.Run.OutOfTime && !page.Run.OutOfMemory) {
      // Errors and endless timers do not stop the page's other scripts.
      EXPECT_EQ(movies.back(), "EMBED after.swf");
    } else {
      EXPECT_GE(page.Run.Errors, 1);
    }
  }
}

TEST(ScriptEngine, ResolvesAddressesAsBrowsersDo) {
  EXPECT_EQ(ResolvePageAddress("http://h/a/b/c.html?q", "../x.js"), "http://h/a/x.js");
  EXPECT_EQ(ResolvePageAddress("http://h/a/b/", "./x/./y.js"), "http://h/a/b/x/y.js");
  EXPECT_EQ(ResolvePageAddress("http://h:8/a/b", "/r.js?v=1"), "http://h:8/r.js?v=1");
  EXPECT_EQ(ResolvePageAddress("https://h/a", "//cdn/x.js"), "https://cdn/x.js");
  EXPECT_EQ(ResolvePageAddress("http://h", "x.js"), "http://h/x.js");
  EXPECT_EQ(ResolvePageAddress("http://h/a", "HTTP://other/x.js"), "HTTP://other/x.js");
}

}  // namespace
}  // namespace win::html
