// Pixel transfer between bitmaps: copies, blends, scaling, tiling, merging
// and block copies to device contexts. Rows are walked through pointers; the
// inner loops are plain so the compiler vectorises them.
#include <algorithm>
#include <cstring>
#include <vector>

#include "skin/UiBitmap.h"
#include "skin/UiBlend.h"

namespace vorra {

using namespace win;

namespace {

bool IsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

void BlendRow(std::uint32_t* d, const std::uint32_t* s, int n) { UiBlendRow(d, s, d, n); }

// The part of a transfer that both images hold: source (sx, sy) goes to
// target (dx, dy), w x h pixels; false when nothing is left.
struct TSpan {
  int sx, sy, dx, dy, w, h;
};

bool ClipTransfer(const TRect& src, int srcW, int srcH, int x, int y, int dstW, int dstH, TSpan& t) {
  // Source pixels keep their place relative to the rectangle's corner.
  long long l = std::max(0, src.Left), t0 = std::max(0, src.Top);
  long long r = std::min(srcW, src.Right), b = std::min(srcH, src.Bottom);
  const long long ox = static_cast<long long>(x) - src.Left, oy = static_cast<long long>(y) - src.Top;
  l = std::max(l, -ox);
  t0 = std::max(t0, -oy);
  r = std::min(r, dstW - ox);
  b = std::min(b, dstH - oy);
  if (l >= r || t0 >= b) return false;
  t = TSpan{static_cast<int>(l), static_cast<int>(t0), static_cast<int>(l + ox), static_cast<int>(t0 + oy),
            static_cast<int>(r - l), static_cast<int>(b - t0)};
  return true;
}

}  // namespace

void TUiBitmap::Draw(TUiBitmap* Target, int X, int Y, const TRect& SrcRect) const {
  if (!Target || Empty() || Target->Empty() || IsEmpty(SrcRect)) return;
  TSpan t;
  if (!ClipTransfer(SrcRect, FWidth, FHeight, X, Y, Target->FWidth, Target->FHeight, t)) return;
  const std::size_t bytes = static_cast<std::size_t>(t.w) * 4;
  if (!FAlphaBlend) {
    if (Target == this && t.dy > t.sy) {  // overlapping: bottom row first
      for (int j = t.h - 1; j >= 0; --j)
        std::memmove(Target->ScanLine(t.dy + j) + t.dx, ScanLine(t.sy + j) + t.sx, bytes);
    } else {
      for (int j = 0; j < t.h; ++j) std::memmove(Target->ScanLine(t.dy + j) + t.dx, ScanLine(t.sy + j) + t.sx, bytes);
    }
    return;
  }
  if (Target == this) {
    // Blend from a copy, so no source pixel is read after it was written.
    std::vector<std::uint32_t> copy(static_cast<std::size_t>(t.w) * t.h);
    for (int j = 0; j < t.h; ++j) std::memcpy(&copy[static_cast<std::size_t>(j) * t.w], ScanLine(t.sy + j) + t.sx, bytes);
    for (int j = 0; j < t.h; ++j)
      BlendRow(Target->ScanLine(t.dy + j) + t.dx, &copy[static_cast<std::size_t>(j) * t.w], t.w);
    return;
  }
  for (int j = 0; j < t.h; ++j) BlendRow(Target->ScanLine(t.dy + j) + t.dx, ScanLine(t.sy + j) + t.sx, t.w);
}

void TUiBitmap::DrawAll(TUiBitmap* Target, int X, int Y) const { Draw(Target, X, Y, TRect{0, 0, FWidth, FHeight}); }

void TUiBitmap::Stretch(TUiBitmap* Target, const TRect& DstRect, const TRect& SrcRect) const {
  if (!Target || Empty() || Target->Empty() || IsEmpty(DstRect) || IsEmpty(SrcRect)) return;
  const long long dw = static_cast<long long>(DstRect.Right) - DstRect.Left;
  const long long dh = static_cast<long long>(DstRect.Bottom) - DstRect.Top;
  const long long sw = static_cast<long long>(SrcRect.Right) - SrcRect.Left;
  const long long sh = static_cast<long long>(SrcRect.Bottom) - SrcRect.Top;
  if (dw == sw && dh == sh) {
    Draw(Target, DstRect.Left, DstRect.Top, SrcRect);
    return;
  }
  // Target clipped to the target image; the stepping starts at the clipped
  // origin's offset, so clipping never shifts the picture.
  const int cl = std::max(DstRect.Left, 0), ct = std::max(DstRect.Top, 0);
  const int cr = std::min(DstRect.Right, Target->FWidth), cb = std::min(DstRect.Bottom, Target->FHeight);
  if (cl >= cr || ct >= cb) return;
  const long long fx = (sw << 16) / dw, fy = (sh << 16) / dh;
  // Source columns per target column; -1 where the source image has none.
  std::vector<int> cols(static_cast<std::size_t>(cr - cl));
  long long acc = (cl - static_cast<long long>(DstRect.Left)) * fx;
  int first = -1, last = -1;
  for (int x = cl; x < cr; ++x, acc += fx) {
    const long long sx = SrcRect.Left + (acc >> 16);
    const bool in = sx >= 0 && sx < FWidth;
    cols[static_cast<std::size_t>(x - cl)] = in ? static_cast<int>(sx) : -1;
    if (in) {
      if (first < 0) first = x - cl;
      last = x - cl;
    }
  }
  if (first < 0) return;
  std::vector<std::uint32_t> picked(FAlphaBlend ? cols.size() : 0);
  // Enlarging repeats source rows: the row picked (or copied) last is reused.
  long long lastSy = -1;
  int lastY = -1;
  acc = (ct - static_cast<long long>(DstRect.Top)) * fy;
  for (int y = ct; y < cb; ++y, acc += fy) {
    const long long sy = SrcRect.Top + (acc >> 16);
    if (sy < 0 || sy >= FHeight) continue;
    const std::uint32_t* s = ScanLine(static_cast<int>(sy));
    std::uint32_t* d = Target->ScanLine(y) + cl;
    // Columns outside the source image sit only at the two ends.
    if (FAlphaBlend) {
      if (sy != lastSy)
        for (int i = first; i <= last; ++i) picked[i] = s[cols[i]];
      BlendRow(d + first, picked.data() + first, last - first + 1);
    } else if (sy == lastSy && Target != this) {
      std::memcpy(d + first, Target->ScanLine(lastY) + cl + first, static_cast<std::size_t>(last - first + 1) * 4);
    } else {
      for (int i = first; i <= last; ++i) d[i] = s[cols[i]];
    }
    lastSy = sy;
    lastY = y;
  }
}

void TUiBitmap::Tile(TUiBitmap* Target, const TRect& DstRect, const TRect& SrcRect) const {
  if (!Target || Empty() || Target->Empty() || IsEmpty(DstRect) || IsEmpty(SrcRect)) return;
  const long long tw = static_cast<long long>(SrcRect.Right) - SrcRect.Left;
  const long long th = static_cast<long long>(SrcRect.Bottom) - SrcRect.Top;
  const long long dw = static_cast<long long>(DstRect.Right) - DstRect.Left;
  const long long dh = static_cast<long long>(DstRect.Bottom) - DstRect.Top;
  const long long columns = dw / tw + (dw % tw ? 1 : 0), rows = dh / th + (dh % th ? 1 : 0);
  // Tiles wholly outside the target image draw nothing: skip them.
  const long long i0 = DstRect.Left < 0 ? -static_cast<long long>(DstRect.Left) / tw : 0;
  const long long j0 = DstRect.Top < 0 ? -static_cast<long long>(DstRect.Top) / th : 0;
  for (long long j = j0; j < rows; ++j) {
    const long long top = DstRect.Top + j * th;
    if (top >= Target->FHeight) break;
    const long long bottom = std::min<long long>(top + th, DstRect.Bottom);
    for (long long i = i0; i < columns; ++i) {
      const long long left = DstRect.Left + i * tw;
      if (left >= Target->FWidth) break;
      const long long right = std::min<long long>(left + tw, DstRect.Right);
      const TRect dst{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right), static_cast<int>(bottom)};
      const TRect src{SrcRect.Left, SrcRect.Top, static_cast<int>(SrcRect.Left + (right - left)),
                      static_cast<int>(SrcRect.Top + (bottom - top))};
      Stretch(Target, dst, src);
    }
  }
}

void TUiBitmap::MergeUnder(const TUiBitmap* Background, int X, int Y, const TRect& R) {
  if (!Background || Empty() || Background->Empty() || IsEmpty(R)) return;
  TSpan t;
  // The background's rectangle lands at (X, Y) of this image.
  if (!ClipTransfer(R, Background->FWidth, Background->FHeight, X, Y, FWidth, FHeight, t)) return;
  for (int j = 0; j < t.h; ++j) {
    const std::uint32_t* b = Background->ScanLine(t.sy + j) + t.sx;
    std::uint32_t* p = ScanLine(t.dy + j) + t.dx;
    if (Background == this) {
      for (int i = 0; i < t.w; ++i) p[i] = UiBlend(p[i], b[i]);
    } else {
      UiBlendRow(p, p, b, t.w);
    }
  }
}

void TUiBitmap::CopyToDC(HDC DC, int X, int Y) const {
  if (Empty()) return;
  BitBlt(DC, X, Y, FWidth, FHeight, FDC, 0, 0, SRCCOPY);
}

void TUiBitmap::CopyRectToDC(HDC DC, int X, int Y, const TRect& R) const {
  if (Empty() || IsEmpty(R)) return;
  const long long w = static_cast<long long>(R.Right) - R.Left, h = static_cast<long long>(R.Bottom) - R.Top;
  BitBlt(DC, X, Y, static_cast<int>(std::min<long long>(w, FWidth)), static_cast<int>(std::min<long long>(h, FHeight)),
         FDC, R.Left, R.Top, SRCCOPY);
}

void TUiBitmap::CopyToCanvas(TCanvas* Canvas, int X, int Y) const {
  if (!Canvas || !Canvas->Handle()) return;
  CopyToDC(Canvas->Handle(), X, Y);
}

}  // namespace vorra
