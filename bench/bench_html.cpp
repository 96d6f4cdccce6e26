// A 5 MB page with 2 000 OBJECT and 2 000 EMBED elements among ordinary
// markup: decoding, parsing and the page loader's walk through the document
// (tags("OBJECT"), each one's CLASSID and innerhtml; tags("EMBED"), each
// one's outerhtml and src), late-bound by name as the loader calls it,
// against gumbo's bare parse of the same bytes. Target: within 1.5 times.
#include <cstdio>
#include <string>

#include "bench/BenchRatio.h"
#include "bench/MoviePage.h"
#include "platform/html/Charset.h"
#include "platform/html/HtmlDocument.h"

namespace {

using vorra::bench::BM_GumboParse;

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
  const std::string& page = vorra::bench::MoviePage();
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
