// A 5 MB page with 2 000 OBJECT and 2 000 EMBED elements among ordinary
// markup: decoding, parsing and the page loader's walk through the document
// (tags("OBJECT"), each one's CLASSID and innerhtml; tags("EMBED"), each
// one's outerhtml and src), late-bound by name as the loader calls it,
// against gumbo's bare parse of the same bytes. Target: within 1.5 times.
#include <gumbo.h>

#include <cstdio>
#include <string>

#include "bench/BenchRatio.h"
#include "platform/html/Charset.h"
#include "platform/html/HtmlDocument.h"

namespace {

const std::string& Page() {
  static const std::string page = [] {
    std::string p = "<html><head><title>Bench</title></head><body>\n";
    int objects = 0, embeds = 0;
    char buf[512];
    while (p.size() < (5u << 20) - 2000 || objects < 2000 || embeds < 2000) {
      p += "<div class=\"row\"><p>Some text of the page, <a href=\"/link.html\">a link</a> and <b>bold</b> words "
           "that make the page look like a page.</p><ul><li>one<li>two<li>three</ul></div>\n";
      if (objects < 2000 && p.size() > static_cast<std::size_t>(objects) * 2500) {
        std::snprintf(buf, sizeof buf,
                      "<object classid=\"clsid:D27CDB6E-AE6D-11cf-96B8-444553540000\" width=\"550\" height=\"400\">"
                      "<param name=\"movie\" value=\"movies/m%d.swf\"><param name=\"quality\" value=\"high\">"
                      "</object>\n",
                      objects);
        p += buf;
        ++objects;
      }
      if (embeds < 2000 && p.size() > static_cast<std::size_t>(embeds) * 2500 + 1200) {
        std::snprintf(buf, sizeof buf,
                      "<embed src=\"movies/e%d.swf\" type=\"application/x-shockwave-flash\" width=\"300\">\n", embeds);
        p += buf;
        ++embeds;
      }
    }
    p += "</body></html>\n";
    return p;
  }();
  return page;
}

void BM_GumboParse(benchmark::State& state) {
  const std::string& page = Page();
  // The same options as the document's: parse errors not recorded.
  GumboOptions options = kGumboDefaultOptions;
  options.max_errors = 0;
  for (auto _ : state) {
    GumboOutput* out = gumbo_parse_with_options(&options, page.data(), page.size());
    benchmark::DoNotOptimize(out);
    gumbo_destroy_output(&kGumboDefaultOptions, out);
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * page.size()));
}
BENCHMARK(BM_GumboParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The walk's text, summed so that nothing is optimised away.
std::size_t Walk(win::IDispatch* doc) {
  using namespace win;
  std::size_t total = 0;
  TVariant all, objects, embeds, length;
  DispGetProperty(doc, "all", all);
  DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text("OBJECT")}, &objects);
  DispGetProperty(objects.ToDispatch().Get(), "length", length);
  for (LONG i = 0; i < length.lVal; ++i) {
    TVariant item, classid, inner;
    DispCallMethod(objects.ToDispatch().Get(), "Item", {TVariant::Int(i)}, &item);
    DispGetProperty(item.ToDispatch().Get(), "CLASSID", classid);
    DispGetProperty(item.ToDispatch().Get(), "innerhtml", inner);
    total += SysStringLen(classid.bstrVal) + SysStringLen(inner.bstrVal);
  }
  DispCallMethod(all.ToDispatch().Get(), "tags", {TVariant::Text("EMBED")}, &embeds);
  DispGetProperty(embeds.ToDispatch().Get(), "length", length);
  for (LONG i = 0; i < length.lVal; ++i) {
    TVariant item, outer, src;
    DispCallMethod(embeds.ToDispatch().Get(), "Item", {TVariant::Int(i)}, &item);
    DispGetProperty(item.ToDispatch().Get(), "outerhtml", outer);
    DispGetProperty(item.ToDispatch().Get(), "src", src);
    total += SysStringLen(outer.bstrVal) + SysStringLen(src.bstrVal);
  }
  return total;
}

void BM_DocumentAndWalk(benchmark::State& state) {
  const std::string& page = Page();
  for (auto _ : state) {
    std::string encoding;
    std::string text = win::html::PageTextToUtf8(page, "text/html", &encoding);
    auto doc = win::html::THtmlDocument::Parse(std::move(text), "http://bench/", encoding);
    benchmark::DoNotOptimize(Walk(doc.Get()));
  }
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * page.size()));
}
BENCHMARK(BM_DocumentAndWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  return vorra::bench::RunWithRatios(argc, argv, {{"BM_DocumentAndWalk/min_time:2.000", "BM_GumboParse/min_time:2.000", 1.5}});
}
