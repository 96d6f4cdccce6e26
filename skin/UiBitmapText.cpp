// Text on a bitmap through the window layer's fonts and DrawTextA.
#include <algorithm>

#include "platform/ui/Text.h"
#include "skin/UiBitmap.h"

namespace vorra {

using namespace win;

namespace {

// The bitmap's font in its DC for one call.
class TFontSelection {
 public:
  TFontSelection(HDC dc, TFont* font) : dc_(dc), old_(SelectObject(dc, font->Handle())) {}
  ~TFontSelection() {
    if (old_) SelectObject(dc_, old_);
  }
  TFontSelection(const TFontSelection&) = delete;
  TFontSelection& operator=(const TFontSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace

int TUiBitmap::TextHeight(const std::string& Text) {
  if (Empty()) return 0;
  TFontSelection font(FDC, FFont.get());
  SIZE size{};
  GetTextExtentPoint32A(FDC, Text.data(), static_cast<int>(Text.size()), &size);
  return size.cy;
}

int TUiBitmap::TextWidth(const std::string& Text, unsigned Flags) {
  if (Empty() || Text.empty()) return 0;
  TFontSelection font(FDC, FFont.get());
  RECT rc{0, 0, 0, 0};
  DrawTextA(FDC, Text.data(), static_cast<int>(Text.size()), &rc, (Flags & ~DT_MODIFYSTRING) | DT_CALCRECT);
  return rc.right - rc.left;
}

void TUiBitmap::DrawText(const std::string& Text, const TRect& R, unsigned Flags) {
  if (Empty() || Text.empty()) return;
  TFontSelection font(FDC, FFont.get());
  const int oldMode = SetBkMode(FDC, TRANSPARENT);
  const COLORREF oldColor = SetTextColor(FDC, ColorToRGB(FFont->Color()));
  RECT rc = R.ToRECT();
  DrawTextA(FDC, Text.data(), static_cast<int>(Text.size()), &rc, Flags & ~DT_MODIFYSTRING);
  SetTextColor(FDC, oldColor);
  SetBkMode(FDC, oldMode);
}

void TUiBitmap::DrawRotatedText(const std::string& Text, const TRect& R, bool Clockwise, unsigned Flags) {
  if (Empty() || Text.empty() || R.Right <= R.Left || R.Bottom <= R.Top) return;
  const TRect c{std::max(R.Left, 0), std::max(R.Top, 0), std::min(R.Right, FWidth), std::min(R.Bottom, FHeight)};
  if (c.Left >= c.Right || c.Top >= c.Bottom) return;
  // Lay the text out level on a turned copy of the background, then turn it back.
  const int w = R.Height(), h = R.Width();
  TUiBitmap level;
  level.SetSize(w, h);
  level.SetFont(FFont.get());
  auto place = [&](int u, int v, int& x, int& y) {
    x = Clockwise ? R.Right - 1 - v : R.Left + v;
    y = Clockwise ? R.Top + u : R.Bottom - 1 - u;
  };
  for (int v = 0; v < h; ++v) {
    std::uint32_t* row = level.ScanLine(v);
    for (int u = 0; u < w; ++u) {
      int x, y;
      place(u, v, x, y);
      row[u] = GetPixel(x, y);
    }
  }
  level.DrawText(Text, TRect{0, 0, w, h}, Flags);
  for (int v = 0; v < h; ++v) {
    const std::uint32_t* row = level.ScanLine(v);
    for (int u = 0; u < w; ++u) {
      int x, y;
      place(u, v, x, y);
      SetPixel(x, y, row[u]);
    }
  }
}

}  // namespace vorra
