// Hostile text for the text layout: any bytes (broken UTF-8, control
// characters, runs of '&', tabs, path delimiters) under any DrawText flags
// and rectangle, with DT_MODIFYSTRING writing into a buffer of exactly
// count + 4 bytes, so a write past that bound is caught.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/ui/Text.h"

namespace {

struct TSurface {
  TSurface() {
    win::BITMAPINFO bi{};
    bi.bmiHeader.biWidth = 64;
    bi.bmiHeader.biHeight = -32;
    void* bits = nullptr;
    Bmp = win::CreateDIBSection(nullptr, &bi, win::DIB_RGB_COLORS, &bits, nullptr, 0);
    Dc = win::CreateCompatibleDC(nullptr);
    win::SelectObject(Dc, Bmp);
    Font = win::CreateFontA(-11, 0, 0, 0, win::FW_NORMAL, 0, 1, 1, 0, 0, 0, 0, 0, "MS Sans Serif");
    win::SelectObject(Dc, Font);
  }
  win::HBITMAP Bmp;
  win::HDC Dc;
  win::HFONT Font;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TSurface s;
  if (size < 8 || size > 1 << 16) return 0;
  win::UINT flags;
  std::memcpy(&flags, data, 4);
  const int w = static_cast<int8_t>(data[4]) * 4, h = static_cast<int8_t>(data[5]);
  const int x = static_cast<int8_t>(data[6]), y = static_cast<int8_t>(data[7]);
  const size_t n = size - 8;
  std::vector<char> text(n + 4);
  if (n) std::memcpy(text.data(), data + 8, n);
  win::RECT rc{x, y, x + w, y + h};
  win::DRAWTEXTPARAMS p;
  p.iTabLength = data[4] & 15;
  p.iLeftMargin = data[5] & 7;
  p.iRightMargin = data[6] & 7;
  win::SetBkMode(s.Dc, (flags & 1) ? win::OPAQUE : win::TRANSPARENT);
  win::SetTextAlign(s.Dc, (flags >> 8) & 0x1F);
  win::DrawTextExA(s.Dc, text.data(), static_cast<int>(n), &rc, flags, &p);
  win::DrawTextA(s.Dc, text.data(), static_cast<int>(n), &rc, flags & ~win::DT_MODIFYSTRING);
  win::TextOutA(s.Dc, x, y, text.data(), static_cast<int>(n));
  win::SIZE sz;
  win::GetTextExtentPoint32A(s.Dc, text.data(), static_cast<int>(n), &sz);
  return 0;
}
