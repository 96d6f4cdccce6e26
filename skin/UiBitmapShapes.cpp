// Frames, checkers, gradients, rounded rectangles and lines on a bitmap.
#include <algorithm>

#include "platform/ui/Gdi.h"
#include "skin/UiBitmap.h"

namespace vorra {

using namespace win;

namespace {

TRect Clipped(const TRect& r, int w, int h) {
  return TRect{std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, w), std::min(r.Bottom, h)};
}
bool IsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

COLORREF RgbOf(TUiColor v) { return static_cast<COLORREF>(UiColorToColor(v)); }

// A GDI pen and brush of one colour selected for one call.
class TSolidTools {
 public:
  TSolidTools(HDC dc, TUiColor color)
      : dc_(dc), pen_(CreatePen(PS_SOLID, 1, RgbOf(color))), brush_(CreateSolidBrush(RgbOf(color))) {
    oldPen_ = SelectObject(dc_, pen_);
    oldBrush_ = SelectObject(dc_, brush_);
  }
  ~TSolidTools() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(pen_);
    DeleteObject(brush_);
  }
  TSolidTools(const TSolidTools&) = delete;
  TSolidTools& operator=(const TSolidTools&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ oldPen_ = nullptr, oldBrush_ = nullptr;
};

}  // namespace

void TUiBitmap::FrameRect(const TRect& R, TUiColor TopLeft, TUiColor BottomRight) {
  const TRect c = Clipped(R, FWidth, FHeight);
  if (Empty() || IsEmpty(c)) return;
  std::uint32_t* top = ScanLine(c.Top);
  std::uint32_t* bottom = ScanLine(c.Bottom - 1);
  for (int x = c.Left; x < c.Right - 1; ++x) top[x] = UiBlend(TopLeft, top[x]);
  for (int y = c.Top; y < c.Bottom - 1; ++y) ScanLine(y)[c.Left] = UiBlend(TopLeft, ScanLine(y)[c.Left]);
  for (int x = c.Left; x < c.Right; ++x) bottom[x] = UiBlend(BottomRight, bottom[x]);
  for (int y = c.Top; y < c.Bottom - 1; ++y) ScanLine(y)[c.Right - 1] = UiBlend(BottomRight, ScanLine(y)[c.Right - 1]);
}

void TUiBitmap::RoundRect(const TRect& R, int Corner, TUiColor Color) {
  if (Empty() || IsEmpty(R)) return;
  TSolidTools tools(FDC, Color);
  win::RoundRect(FDC, R.Left, R.Top, R.Right, R.Bottom, Corner, Corner);
}

void TUiBitmap::CheckerRect(const TRect& R, TUiColor Color, TUiColor Value) {
  const TRect c = Clipped(R, FWidth, FHeight);
  if (Empty() || IsEmpty(c)) return;
  for (int y = c.Top; y < c.Bottom; ++y) {
    std::uint32_t* row = ScanLine(y);
    for (int x = c.Left; x < c.Right; ++x) row[x] = ((x ^ y) & 1) == 0 ? Value : Color;
  }
}

void TUiBitmap::GradientRect(const TRect& R, TUiColor Start, bool Vertical, TUiColor End) {
  const TRect c = Clipped(R, FWidth, FHeight);
  if (Empty() || IsEmpty(c)) return;
  const long long extent = Vertical ? static_cast<long long>(R.Bottom) - R.Top : static_cast<long long>(R.Right) - R.Left;
  const long long bands = std::min<long long>(255, extent);
  // The band of a position along the gradient, and its colour.
  auto colorAt = [&](long long pos) {
    const long long band = (pos - (Vertical ? R.Top : R.Left)) * bands / extent;
    TUiColor v = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const long long s = (Start >> shift) & 0xFF, e = (End >> shift) & 0xFF;
      const long long ch = bands > 1 ? s + (e - s) * band / (bands - 1) : s;
      v |= static_cast<TUiColor>(ch) << shift;
    }
    return v;
  };
  if (Vertical) {
    for (int y = c.Top; y < c.Bottom; ++y) std::fill(ScanLine(y) + c.Left, ScanLine(y) + c.Right, colorAt(y));
  } else {
    std::uint32_t* first = ScanLine(c.Top);
    for (int x = c.Left; x < c.Right; ++x) first[x] = colorAt(x);
    for (int y = c.Top + 1; y < c.Bottom; ++y) std::copy(first + c.Left, first + c.Right, ScanLine(y) + c.Left);
  }
}

void TUiBitmap::MoveTo(int X, int Y) {
  FPenPos = TPoint{X, Y};
  if (FDC) MoveToEx(FDC, X, Y, nullptr);
}

void TUiBitmap::LineTo(int X, int Y, TUiColor Color) {
  if (!Empty()) {
    TSolidTools tools(FDC, Color);
    MoveToEx(FDC, FPenPos.X, FPenPos.Y, nullptr);
    win::LineTo(FDC, X, Y);
  }
  FPenPos = TPoint{X, Y};
}

}  // namespace vorra
