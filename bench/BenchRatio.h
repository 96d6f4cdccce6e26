// Runs the registered benchmarks and then prints the ratios asked for, each
// measured against its reference in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vorra::bench {

class TRecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

// Each pair is (measured, reference); prints measured/reference and returns
// false when a ratio exceeds its limit.
struct TRatio {
  std::string Measured, Reference;
  double Limit;
};

inline int RunWithRatios(int argc, char** argv, const std::vector<TRatio>& ratios) {
  benchmark::Initialize(&argc, argv);
  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  bool ok = true;
  for (const TRatio& r : ratios) {
    const auto m = reporter.times.find(r.Measured), ref = reporter.times.find(r.Reference);
    if (m == reporter.times.end() || ref == reporter.times.end() || ref->second <= 0) continue;
    const double ratio = m->second / ref->second;
    const bool pass = ratio <= r.Limit;
    ok = ok && pass;
    std::printf("ratio %s / %s = %.2f (limit %.2f) %s\n", r.Measured.c_str(), r.Reference.c_str(), ratio, r.Limit,
                pass ? "ok" : "OVER");
  }
  return ok ? 0 : 1;
}

}  // namespace vorra::bench
