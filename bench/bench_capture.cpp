// The page loader's walk as the program runs it (main/PageLoader: the
// document read late-bound by name, every movie value resolved and given a
// file) over a 5 MB page with 2 000 OBJECT and 2 000 EMBED elements,
// decoding and parsing included, against gumbo's bare parse of the same
// bytes. Targets: within 1.5 times the parse, and under 0.5 s.
#include <cstdio>
#include <string>

#include "bench/BenchRatio.h"
#include "bench/MoviePage.h"
#include "main/PageLoader.h"
#include "platform/html/Charset.h"
#include "platform/html/HtmlDocument.h"

namespace {

using vorra::bench::BM_GumboParse;

BENCHMARK(BM_GumboParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PageLoaderWalk(benchmark::State& state) {
  const std::string& page = vorra::bench::MoviePage();
  // A folder that does not exist: the name book's existence tests all miss.
  const std::string folder = "/nonexistent-vorra-bench/";
  int movies = 0;
  for (auto _ : state) {
    std::string encoding;
    std::string text = win::html::PageTextToUtf8(page, "text/html", &encoding);
    auto doc = win::html::THtmlDocument::Parse(std::move(text), "http://bench/a/page.html", encoding);
    movies = vorra::WalkDocument(doc.Get(), "http://bench/a/page.html", folder, [](vorra::TFlashItem* item) {
      benchmark::DoNotOptimize(item->TempFile.size());
      delete item;
    });
  }
  if (movies != 4000) state.SkipWithError("the walk did not find every movie");
  state.SetBytesProcessed(static_cast<long long>(state.iterations() * page.size()));
}
BENCHMARK(BM_PageLoaderWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Real and processor times: on a shared machine the absolute target is read
// from the processor time the walk took.
class TCpuReporter : public vorra::bench::TRecordingReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
    TRecordingReporter::ReportRuns(runs);
  }
  std::map<std::string, double> cpu;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TCpuReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double walk = reporter.times["BM_PageLoaderWalk/min_time:2.000"];
  const double parse = reporter.times["BM_GumboParse/min_time:2.000"];
  if (walk <= 0 || parse <= 0) return 1;
  const double walkCpu = reporter.cpu["BM_PageLoaderWalk/min_time:2.000"];
  const bool ratioOk = walk / parse <= 1.5, timeOk = walkCpu < 500;
  std::printf("ratio BM_PageLoaderWalk / BM_GumboParse = %.2f (limit 1.50) %s\n", walk / parse,
              ratioOk ? "ok" : "OVER");
  std::printf("walk of the 5 MB page: %.0f ms of processor time, %.0f ms real (limit 500 ms) %s\n", walkCpu, walk,
              timeOk ? "ok" : "OVER");
  return ratioOk && timeOk ? 0 : 1;
}
