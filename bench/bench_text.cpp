// Drawing a typical label (DrawTextA, single line, centred, with an
// accelerator) against measuring the same text (GetTextExtentPoint32A): with
// the glyphs cached, drawing should cost a small multiple of measuring, and
// measuring a cached label should cost little more than walking its bytes.
#include <cstring>

#include "bench/BenchRatio.h"
#include "platform/ui/Text.h"

namespace {

const char* const Label = "&Save the selected movies to the folder...";

struct TSurface {
  TSurface() {
    win::BITMAPINFO bi{};
    bi.bmiHeader.biWidth = 400;
    bi.bmiHeader.biHeight = -24;
    Bmp = win::CreateDIBSection(nullptr, &bi, win::DIB_RGB_COLORS, &Bits, nullptr, 0);
    Dc = win::CreateCompatibleDC(nullptr);
    win::SelectObject(Dc, Bmp);
    Font = win::CreateFontA(-11, 0, 0, 0, win::FW_NORMAL, 0, 0, 0, win::DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
    win::SelectObject(Dc, Font);
    win::SetBkMode(Dc, win::TRANSPARENT);
  }
  ~TSurface() {
    win::DeleteDC(Dc);
    win::DeleteObject(Bmp);
    win::DeleteObject(Font);
  }
  void* Bits = nullptr;
  win::HBITMAP Bmp;
  win::HDC Dc;
  win::HFONT Font;
};

void BM_Extent(benchmark::State& state) {
  TSurface s;
  const int n = static_cast<int>(std::strlen(Label));
  for (auto _ : state) {
    win::SIZE sz;
    win::GetTextExtentPoint32A(s.Dc, Label, n, &sz);
    benchmark::DoNotOptimize(sz);
  }
}
BENCHMARK(BM_Extent);

void BM_DrawText(benchmark::State& state) {
  TSurface s;
  for (auto _ : state) {
    win::RECT rc{0, 0, 400, 24};
    benchmark::DoNotOptimize(
        win::DrawTextA(s.Dc, Label, -1, &rc, win::DT_SINGLELINE | win::DT_CENTER | win::DT_VCENTER));
  }
}
BENCHMARK(BM_DrawText);

void BM_CalcRect(benchmark::State& state) {
  TSurface s;
  for (auto _ : state) {
    win::RECT rc{0, 0, 400, 24};
    benchmark::DoNotOptimize(win::DrawTextA(s.Dc, Label, -1, &rc, win::DT_SINGLELINE | win::DT_CALCRECT));
  }
}
BENCHMARK(BM_CalcRect);

}  // namespace

int main(int argc, char** argv) {
  return vorra::bench::RunWithRatios(argc, argv, {{"BM_DrawText", "BM_Extent", 40.0}, {"BM_CalcRect", "BM_Extent", 8.0}});
}
