// A window shape from 100 000 per-row runs (500 rows, 200 runs each, as a
// skin's key scan produces them), against a reference that only sorts the
// same runs: the region build should cost a small multiple of a sort.
#include <algorithm>
#include <random>
#include <vector>

#include "bench/BenchRatio.h"
#include "platform/ui/Region.h"

namespace {

std::vector<win::RECT> Runs() {
  std::mt19937 rng(1);
  std::vector<win::RECT> runs;
  for (int y = 0; y < 500; ++y) {
    int x = 0;
    for (int k = 0; k < 200; ++k) {
      x += 1 + static_cast<int>(rng() % 4);
      const int len = 1 + static_cast<int>(rng() % 6);
      runs.push_back(win::RECT{x, y, x + len, y + 1});
      x += len;
    }
  }
  std::shuffle(runs.begin(), runs.end(), rng);
  return runs;
}

void BM_SortRuns(benchmark::State& state) {
  const std::vector<win::RECT> runs = Runs();
  for (auto _ : state) {
    std::vector<win::RECT> v = runs;
    std::sort(v.begin(), v.end(), [](const win::RECT& a, const win::RECT& b) {
      return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(BM_SortRuns);

void BM_ExtCreateRegion(benchmark::State& state) {
  const std::vector<win::RECT> runs = Runs();
  std::vector<char> buf(sizeof(win::RGNDATAHEADER) + runs.size() * sizeof(win::RECT));
  auto* data = reinterpret_cast<win::RGNDATA*>(buf.data());
  data->rdh = win::RGNDATAHEADER{};
  data->rdh.nCount = static_cast<win::DWORD>(runs.size());
  std::copy(runs.begin(), runs.end(), reinterpret_cast<win::RECT*>(buf.data() + sizeof(win::RGNDATAHEADER)));
  for (auto _ : state) {
    win::HRGN r = win::ExtCreateRegion(nullptr, static_cast<win::DWORD>(buf.size()), data);
    benchmark::DoNotOptimize(r);
    win::DeleteObject(r);
  }
}
BENCHMARK(BM_ExtCreateRegion);

// The same shape joined into a growing region row by row (the other way a
// caller might build it): one CombineRgn per row of runs.
void BM_CombineRows(benchmark::State& state) {
  std::vector<win::RECT> runs = Runs();
  std::sort(runs.begin(), runs.end(), [](const win::RECT& a, const win::RECT& b) {
    return a.top != b.top ? a.top < b.top : a.left < b.left;
  });
  for (auto _ : state) {
    win::HRGN all = win::CreateRectRgn(0, 0, 0, 0);
    win::HRGN row = win::CreateRectRgn(0, 0, 0, 0);
    for (size_t i = 0; i < runs.size();) {
      size_t j = i;
      while (j < runs.size() && runs[j].top == runs[i].top) ++j;
      win::rgn::Assign(*row, win::rgn::FromRects(std::vector<win::RECT>(runs.begin() + i, runs.begin() + j)));
      win::CombineRgn(all, all, row, win::RGN_OR);
      i = j;
    }
    win::DeleteObject(row);
    win::DeleteObject(all);
  }
}
BENCHMARK(BM_CombineRows);

}  // namespace

int main(int argc, char** argv) {
  return vorra::bench::RunWithRatios(argc, argv,
                                     {{"BM_ExtCreateRegion", "BM_SortRuns", 4.0}, {"BM_CombineRows", "BM_SortRuns", 60.0}});
}
