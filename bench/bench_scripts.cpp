// Page scripts: a page whose 200 movies are made by scripts (one
// document.write or one createElement call each) is parsed, its scripts run
// and walked, against the same 200 movies in static markup parsed and walked
// (target within 3 times, and under 1 s); and a generated 300 KB library in
// minified style loaded and run (target under 150 ms).
#include <string>

#include "bench/BenchRatio.h"
#include "platform/html/ScriptEngine.h"

namespace {

using namespace win;

constexpr int kMovies = 200;

std::string ObjectMarkup(int i) {
  const std::string movie = "movies/m" + std::to_string(i) + ".swf";
  return "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=\"400\" height=\"300\">"
         "<param name=\"movie\" value=\"" + movie + "\"><param name=\"quality\" value=\"high\">"
         "<embed src=\"" + movie + "\" type=\"application/x-shockwave-flash\" width=\"400\" height=\"300\"></object>";
}

const std::string& StaticPage() {
  static const std::string page = [] {
    std::string p = "<html><head><title>Movies</title></head><body>";
    for (int i = 0; i < kMovies; ++i) p += "<div class=\"movie\"><h2>Movie " + std::to_string(i) + "</h2>" + ObjectMarkup(i) + "</div>";
    return p + "</body></html>";
  }();
  return page;
}

// Half write their markup, half build it with createElement.
const std::string& ScriptPage() {
  static const std::string page = [] {
    std::string p = "<html><head><title>Movies</title><script>function embed(id, movie) {"
                    "var o = document.createElement('object');"
                    "o.setAttribute('classid', 'clsid:D27CDB6E-AE6D-11cf-96B8-444553540000');"
                    "o.innerHTML = '<param name=\"movie\" value=\"' + movie + '\"><embed src=\"' + movie +"
                    "'\" type=\"application/x-shockwave-flash\">';"
                    "document.getElementById(id).appendChild(o); }</script></head><body>";
    for (int i = 0; i < kMovies; ++i) {
      const std::string n = std::to_string(i);
      p += "<div class=\"movie\" id=\"d" + n + "\"><h2>Movie " + n + "</h2><script>";
      if (i % 2 == 0) {
        std::string markup = ObjectMarkup(i);
        std::string escaped;
        for (char c : markup) escaped += c == '\'' ? std::string("\\'") : std::string(1, c);
        p += "document.write('" + escaped + "');";
      } else {
        p += "embed('d" + n + "', 'movies/m" + n + ".swf');";
      }
      p += "</script></div>";
    }
    return p + "</body></html>";
  }();
  return page;
}

// A library of the kind pages loaded: many small functions, object literals,
// string work and loops, without whitespace.
const std::string& Library() {
  static const std::string lib = [] {
    std::string s = "var L={};";
    for (int i = 0; s.size() < 300 * 1024; ++i) {
      const std::string n = std::to_string(i);
      s += "L.f" + n + "=function(a,b){var c=[],d={k:'" + n + "',v:a||" + n +
           "};for(var i=0;i<3;i++){c.push(d.k+i)}if(b){return c.join(',')+b}return c.length+d.v};";
      s += "L.o" + n + "={name:'object" + n + "',list:[1,2,3,'" + n + "'],get:function(){return this.name}};";
    }
    s += "var r=0;for(var k in L){if(typeof L[k]==='function'){r+=L[k](1,'x').length}}";
    return s;
  }();
  return lib;
}

std::size_t Walk(IDispatch* doc) {
  std::size_t total = 0;
  TVariant all;
  DispGetProperty(doc, "all", all);
  for (const char* tag : {"OBJECT", "EMBED"}) {
    TVariant list, length;
    DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text(tag)}, &list);
    DispGetProperty(list.ToDispatch().Get(), "length", length);
    for (LONG i = 0; i < length.lVal; ++i) {
      TVariant item, inner, outer;
      DispCallMethod(list.ToDispatch().Get(), "Item", {TVariant::Int(i)}, &item);
      DispGetProperty(item.ToDispatch().Get(), "innerhtml", inner);
      DispGetProperty(item.ToDispatch().Get(), "outerhtml", outer);
      total += SysStringLen(inner.bstrVal) + SysStringLen(outer.bstrVal);
    }
  }
  return total;
}

class TNoHost : public html::TScriptHost {};

void BM_StaticMovies(benchmark::State& state) {
  for (auto _ : state) {
    auto doc = html::THtmlDocument::Parse(StaticPage(), "http://bench/", "UTF-8");
    benchmark::DoNotOptimize(Walk(doc.Get()));
  }
}
BENCHMARK(BM_StaticMovies)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_ScriptMovies(benchmark::State& state) {
  std::size_t walked = 0;
  for (auto _ : state) {
    auto doc = html::THtmlDocument::Parse(ScriptPage(), "http://bench/", "UTF-8");
    TNoHost host;
    html::RunPageScripts(*doc, host, {});
    walked = Walk(doc.Get());
  }
  if (walked == 0) state.SkipWithError("the scripts made no movies");
}
BENCHMARK(BM_ScriptMovies)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_MinifiedLibrary(benchmark::State& state) {
  const std::string page = "<html><body><script>" + Library() + "</script></body></html>";
  for (auto _ : state) {
    auto doc = html::THtmlDocument::Parse(page, "http://bench/", "UTF-8");
    TNoHost host;
    const html::TScriptRun run = html::RunPageScripts(*doc, host, {});
    if (run.Errors) state.SkipWithError("the library failed");
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * Library().size()));
}
BENCHMARK(BM_MinifiedLibrary)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  return vorra::bench::RunWithRatios(argc, argv,
                                     {{"BM_ScriptMovies/min_time:1.000", "BM_StaticMovies/min_time:1.000", 3.0}});
}
