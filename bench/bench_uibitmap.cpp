// Skin bitmap transfers on 1024 x 1024 images against memcpy of the same
// bytes in the same run: blended Draw within 2x, plain Draw and Fill within
// 1.25x; Stretch 2x is reported.
#include <cstring>
#include <vector>

#include "bench/BenchRatio.h"
#include "skin/UiBitmap.h"

namespace {

constexpr int Side = 1024;

// Every alpha from 0 to 255 across each row, so all three blend cases run.
void Pattern(vorra::TUiBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    std::uint32_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x)
      row[x] = (static_cast<std::uint32_t>((x + y) & 255) << 24) | static_cast<std::uint32_t>(x * 2654435761u >> 8);
  }
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<std::uint32_t> a(Side * Side, 0x12345678), b(Side * Side);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Memcpy);

void Transfer(benchmark::State& state, bool alpha) {
  vorra::TUiBitmap src, dst;
  src.SetSize(Side, Side);
  dst.SetSize(Side, Side);
  Pattern(src);
  dst.Fill(0xFF808080);
  src.SetAlphaBlend(alpha);
  for (auto _ : state) {
    src.DrawAll(&dst, 0, 0);
    benchmark::ClobberMemory();
  }
}
void BM_DrawAlpha(benchmark::State& state) { Transfer(state, true); }
void BM_Draw(benchmark::State& state) { Transfer(state, false); }
BENCHMARK(BM_DrawAlpha);
BENCHMARK(BM_Draw);

void BM_Fill(benchmark::State& state) {
  vorra::TUiBitmap dst;
  dst.SetSize(Side, Side);
  for (auto _ : state) {
    dst.Fill(0xFF336699);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Fill);

void BM_Stretch2x(benchmark::State& state) {
  vorra::TUiBitmap src, dst;
  src.SetSize(Side / 2, Side / 2);
  dst.SetSize(Side, Side);
  Pattern(src);
  src.SetAlphaBlend(state.range(0) != 0);
  for (auto _ : state) {
    src.Stretch(&dst, vorra::TRect{0, 0, Side, Side}, vorra::TRect{0, 0, Side / 2, Side / 2});
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Stretch2x)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv) {
  return vorra::bench::RunWithRatios(argc, argv,
                                     {{"BM_DrawAlpha", "BM_Memcpy", 2.0},
                                      {"BM_Draw", "BM_Memcpy", 1.25},
                                      {"BM_Fill", "BM_Memcpy", 1.25},
                                      {"BM_Stretch2x/0", "BM_Memcpy", 100},
                                      {"BM_Stretch2x/1", "BM_Memcpy", 100}});
}
