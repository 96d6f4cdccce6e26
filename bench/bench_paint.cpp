// A full repaint of the main window's size (552 x 365 client, default frame
// with caption text, four child windows), against the floor of what it has
// to do: one FillRect over a surface of the same size.
#include "bench/BenchRatio.h"
#include "platform/ui/Paint.h"

namespace {

constexpr int kClientW = 552, kClientH = 365;

struct TWindowSetup {
  TWindowSetup() {
    win::WNDCLASSA wc;
    wc.style = win::CS_HREDRAW | win::CS_VREDRAW;
    wc.lpfnWndProc = win::DefWindowProcA;
    wc.hbrBackground = reinterpret_cast<win::HBRUSH>(static_cast<std::uintptr_t>(win::COLOR_BTNFACE + 1));
    wc.lpszClassName = "BenchPaint";
    win::RegisterClassA(&wc);
    win::RECT r{0, 0, kClientW, kClientH};
    const int border = win::GetSystemMetrics(win::SM_CXFRAME);
    Top = win::CreateWindowA("BenchPaint", "Vorra", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 100, 100,
                             r.right + 2 * border, r.bottom + 2 * border + win::GetSystemMetrics(win::SM_CYCAPTION),
                             nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < 4; ++i)
      win::CreateWindowA("BenchPaint", "", win::WS_CHILD | win::WS_VISIBLE, 10 + i * 130, 10, 120, 300, Top, nullptr,
                         nullptr, nullptr);
    win::UpdateWindow(Top);
  }
  ~TWindowSetup() { win::DestroyWindow(Top); }
  win::HWND Top = nullptr;
};

void BM_FullRepaint(benchmark::State& state) {
  TWindowSetup setup;
  for (auto _ : state)
    win::RedrawWindow(setup.Top, nullptr, nullptr,
                      win::RDW_INVALIDATE | win::RDW_ERASE | win::RDW_FRAME | win::RDW_ALLCHILDREN | win::RDW_UPDATENOW);
}
BENCHMARK(BM_FullRepaint);

void BM_BareFill(benchmark::State& state) {
  TWindowSetup setup;
  win::RECT wr;
  win::GetWindowRect(setup.Top, &wr);
  win::BITMAPINFO bi{};
  bi.bmiHeader.biWidth = wr.right - wr.left;
  bi.bmiHeader.biHeight = -(wr.bottom - wr.top);
  win::HBITMAP bmp = win::CreateDIBSection(nullptr, &bi, win::DIB_RGB_COLORS, nullptr, nullptr, 0);
  win::HDC dc = win::CreateCompatibleDC(nullptr);
  win::HGDIOBJ old = win::SelectObject(dc, bmp);
  win::HBRUSH brush = win::CreateSolidBrush(win::GetSysColor(win::COLOR_BTNFACE));
  const win::RECT all{0, 0, wr.right - wr.left, wr.bottom - wr.top};
  for (auto _ : state) win::FillRect(dc, &all, brush);
  win::DeleteObject(brush);
  win::SelectObject(dc, old);
  win::DeleteDC(dc);
  win::DeleteObject(bmp);
}
BENCHMARK(BM_BareFill);

}  // namespace

int main(int argc, char** argv) {
  return vorra::bench::RunWithRatios(argc, argv, {{"BM_FullRepaint", "BM_BareFill", 5.0}});
}
