#include "platform/ui/Gdi.h"
#include "platform/ui/GdiInternal.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace win {

HBITMAP__::~HBITMAP__() { std::free(Bits); }

namespace {

using gdi::ClipRects;
using gdi::ColorOf;
using gdi::DevX;
using gdi::DevY;
using gdi::Intersect;
using gdi::IsEmpty;
using gdi::PixelOf;
using gdi::SurfaceOf;

constexpr int SYSTEM_FONT_INDEX = 13;  // SYSTEM_FONT, a fresh DC's font

// Larger surfaces are refused rather than half-allocated.
constexpr unsigned long long MaxSurfaceBytes = 1ULL << 30;

HDC__* Dc(HDC h) { return gdi::As<HDC__>(h, TGdiKind::Dc); }
HBITMAP__* Bmp(const void* h) { return gdi::As<HBITMAP__>(h, TGdiKind::Bitmap); }
HPEN__* Pen(const void* h) { return gdi::As<HPEN__>(h, TGdiKind::Pen); }
HBRUSH__* Brush(const void* h) { return gdi::As<HBRUSH__>(h, TGdiKind::Brush); }


HBITMAP NewBitmap(LONG width, LONG height, bool bottomUp, bool dib) {
  if (width <= 0 || height <= 0) return nullptr;
  const unsigned long long bytes = 4ULL * static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height);
  if (bytes > MaxSurfaceBytes) return nullptr;
  void* bits = std::calloc(static_cast<size_t>(bytes), 1);
  if (!bits) return nullptr;
  auto* b = new HBITMAP__;
  b->Width = width;
  b->Height = height;
  b->BottomUp = bottomUp;
  b->Dib = dib;
  b->Bits = static_cast<std::uint32_t*>(bits);
  return static_cast<HBITMAP>(gdi::Register(b));
}

struct TStock {
  HGDIOBJ Objects[20] = {};
  HBITMAP Bitmap = nullptr;  // 1x1 surface of a fresh memory DC
};

TStock& Stock() {
  static TStock* s = [] {
    auto* t = new TStock;
    auto brush = [](COLORREF c, bool null) {
      auto* b = new HBRUSH__;
      b->Color = c;
      b->Null = null;
      b->Stock = true;
      return gdi::Register(b);
    };
    auto pen = [](COLORREF c, int style) {
      auto* p = new HPEN__;
      p->Color = c;
      p->Style = style;
      p->Stock = true;
      return gdi::Register(p);
    };
    t->Objects[WHITE_BRUSH] = brush(RGB(255, 255, 255), false);
    t->Objects[LTGRAY_BRUSH] = brush(RGB(192, 192, 192), false);
    t->Objects[GRAY_BRUSH] = brush(RGB(128, 128, 128), false);
    t->Objects[DKGRAY_BRUSH] = brush(RGB(64, 64, 64), false);
    t->Objects[BLACK_BRUSH] = brush(RGB(0, 0, 0), false);
    t->Objects[NULL_BRUSH] = brush(0, true);
    t->Objects[WHITE_PEN] = pen(RGB(255, 255, 255), PS_SOLID);
    t->Objects[BLACK_PEN] = pen(RGB(0, 0, 0), PS_SOLID);
    t->Objects[NULL_PEN] = pen(0, PS_NULL);
    t->Bitmap = NewBitmap(1, 1, false, false);
    t->Bitmap->Stock = true;
    return t;
  }();
  return *s;
}


bool InClip(const std::vector<RECT>& rects, LONG x, LONG y) {
  auto it = std::upper_bound(rects.begin(), rects.end(), y, [](LONG v, const RECT& r) { return v < r.bottom; });
  for (; it != rects.end() && it->top <= y; ++it) {
    if (x < it->left) return false;
    if (x < it->right) return true;
  }
  return false;
}

// All 256 ternary operations bit-parallel: each set bit of the index names a
// (pattern, source, destination) combination whose result bit is 1.
std::uint32_t Rop3(unsigned index, std::uint32_t p, std::uint32_t s, std::uint32_t d) {
  switch (index) {
    case 0xCC: return s;
    case 0xF0: return p;
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFFFF;
  }
  std::uint32_t r = 0;
  for (unsigned k = 0; k < 8; ++k)
    if (index & (1u << k)) r |= ((k & 4) ? p : ~p) & ((k & 2) ? s : ~s) & ((k & 1) ? d : ~d);
  return r;
}

bool UsesSource(DWORD rop) { return (((rop >> 2) ^ rop) & 0x330000) != 0; }

std::uint32_t PatternOf(const HDC__* d) {
  const HBRUSH__* b = Brush(d->Brush);
  return b && !b->Null ? PixelOf(b->Color) : 0;
}

void FillDevice(const std::vector<RECT>& clip, const HBITMAP__* bmp, const RECT& area, std::uint32_t value) {
  for (const RECT& c : clip) {
    const RECT r = Intersect(c, area);
    if (IsEmpty(r)) continue;
    for (LONG y = r.top; y < r.bottom; ++y) std::fill(bmp->Row(y) + r.left, bmp->Row(y) + r.right, value);
  }
}

// A snapshot of a source area, taken when source and destination share pixels.
struct TSource {
  const HBITMAP__* Bmp = nullptr;
  std::vector<std::uint32_t> Copy;
  RECT Area{};  // what Copy holds, in source device coordinates
  std::uint32_t At(LONG x, LONG y) const {
    if (Copy.empty()) return Bmp->Row(y)[x];
    return Copy[static_cast<size_t>(y - Area.top) * (Area.right - Area.left) + (x - Area.left)];
  }
};

TSource SourceFor(const HBITMAP__* src, const HBITMAP__* dest, const RECT& area) {
  TSource s;
  s.Bmp = src;
  if (src != dest || IsEmpty(area)) return s;
  s.Area = area;
  s.Copy.resize(static_cast<size_t>(area.right - area.left) * (area.bottom - area.top));
  for (LONG y = area.top; y < area.bottom; ++y)
    std::copy(src->Row(y) + area.left, src->Row(y) + area.right,
              s.Copy.begin() + static_cast<size_t>(y - area.top) * (area.right - area.left));
  return s;
}

// t = a * b / 255, rounded.
inline unsigned Mul255(unsigned a, unsigned b) {
  const unsigned t = a * b + 128;
  return (t + (t >> 8)) >> 8;
}

std::uint32_t Blend(std::uint32_t s, std::uint32_t d, BYTE sca, bool perPixel) {
  std::uint32_t out = 0;
  if (perPixel) {
    if (sca != 255) {
      std::uint32_t t = 0;
      for (int sh = 0; sh < 32; sh += 8) t |= Mul255((s >> sh) & 0xFF, sca) << sh;
      s = t;
    }
    const unsigned inv = 255 - (s >> 24);
    for (int sh = 0; sh < 32; sh += 8)
      out |= std::min(255u, ((s >> sh) & 0xFF) + Mul255((d >> sh) & 0xFF, inv)) << sh;
  } else {
    for (int sh = 0; sh < 32; sh += 8)
      out |= std::min(255u, Mul255((s >> sh) & 0xFF, sca) + Mul255((d >> sh) & 0xFF, 255u - sca)) << sh;
  }
  return out;
}

// Maps destination index i of n onto a source of m: the source pixel under the
// centre of the destination pixel, mirrored when asked.
inline LONG MapIndex(LONG i, LONG n, LONG m, bool mirror) {
  const LONG k = static_cast<LONG>((2LL * i + 1) * m / (2LL * n));
  return mirror ? m - 1 - k : k;
}

// Scaled copy through a per-pixel combiner; source pixels outside the source
// surface leave their destination pixels alone.
template <class F>
void Scaled(HDC__* d, int xd, int yd, int wd, int hd, HDC__* s, int xs, int ys, int ws, int hs, F combine) {
  const bool mirrorX = (wd < 0) != (ws < 0), mirrorY = (hd < 0) != (hs < 0);
  const long long dl = std::min<long long>(xd, 0LL + xd + wd), dt = std::min<long long>(yd, 0LL + yd + hd);
  const long long sl = std::min<long long>(xs, 0LL + xs + ws), st = std::min<long long>(ys, 0LL + ys + hs);
  const LONG aw = std::abs(wd), ah = std::abs(hd), bw = std::abs(ws), bh = std::abs(hs);
  if (!aw || !ah || !bw || !bh) return;
  const LONG dx0 = DevX(d, dl), dy0 = DevY(d, dt), sx0 = DevX(s, sl), sy0 = DevY(s, st);
  const RECT area{dx0, dy0, static_cast<LONG>(std::min<long long>(INT32_MAX, 0LL + dx0 + aw)),
                  static_cast<LONG>(std::min<long long>(INT32_MAX, 0LL + dy0 + ah))};
  const RECT srcSurface = SurfaceOf(s);
  const TSource src = SourceFor(s->Bitmap, d->Bitmap, srcSurface);
  for (const RECT& c : ClipRects(d)) {
    const RECT r = Intersect(c, area);
    if (IsEmpty(r)) continue;
    for (LONG y = r.top; y < r.bottom; ++y) {
      const long long sy = 0LL + sy0 + MapIndex(y - dy0, ah, bh, mirrorY);
      if (sy < 0 || sy >= srcSurface.bottom) continue;
      std::uint32_t* row = d->Bitmap->Row(y);
      for (LONG x = r.left; x < r.right; ++x) {
        const long long sx = 0LL + sx0 + MapIndex(x - dx0, aw, bw, mirrorX);
        if (sx < 0 || sx >= srcSurface.right) continue;
        row[x] = combine(src.At(static_cast<LONG>(sx), static_cast<LONG>(sy)), row[x]);
      }
    }
  }
}

void Plot(HDC__* d, const std::vector<RECT>& clip, LONG x, LONG y, std::uint32_t value) {
  if (InClip(clip, x, y)) d->Bitmap->Row(y)[x] = value;
}

int ClipComplexity(const HDC__* d) { return rgn::ComplexityOf(ClipRects(d)); }

}  // namespace

HBITMAP GetDCBitmap(HDC hdc) {
  HDC__* d = Dc(hdc);
  return d ? d->Bitmap : nullptr;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
  if (bits) *bits = nullptr;
  if (!info || section || usage != DIB_RGB_COLORS) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biBitCount != 32 || h.biCompression != BI_RGB || h.biPlanes != 1 ||
      h.biHeight == INT32_MIN)
    return nullptr;
  HBITMAP b = NewBitmap(h.biWidth, std::abs(h.biHeight), h.biHeight > 0, true);
  if (b && bits) *bits = b->Bits;
  return b;
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height) {
  if (hdc && !Dc(hdc)) return nullptr;
  if (width == 0 || height == 0) return Stock().Bitmap;
  return NewBitmap(width, height, false, false);
}

HDC CreateCompatibleDC(HDC hdc) {
  if (hdc && !Dc(hdc)) return nullptr;
  auto* d = new HDC__;
  d->Bitmap = Stock().Bitmap;
  d->Pen = static_cast<HPEN>(Stock().Objects[BLACK_PEN]);
  d->Brush = static_cast<HBRUSH>(Stock().Objects[WHITE_BRUSH]);
  ++d->Pen->Selections;
  ++d->Brush->Selections;
  return static_cast<HDC>(gdi::Register(d));
}

BOOL DeleteDC(HDC hdc) {
  HDC__* d = Dc(hdc);
  if (!d) return FALSE;
  if (d->Bitmap && !d->Bitmap->Stock) d->Bitmap->SelectedInto = nullptr;
  --d->Pen->Selections;
  --d->Brush->Selections;
  if (d->Font) --d->Font->Selections;
  return gdi::Destroy(d) ? TRUE : FALSE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj) {
  HDC__* d = Dc(hdc);
  if (!d || !gdi::IsLive(obj)) return nullptr;
  switch (obj->Kind) {
    case TGdiKind::Pen:
    case TGdiKind::Brush:
    case TGdiKind::Font: {
      HGDIOBJ old;
      if (obj->Kind == TGdiKind::Pen)
        old = std::exchange(d->Pen, static_cast<HPEN>(obj));
      else if (obj->Kind == TGdiKind::Brush)
        old = std::exchange(d->Brush, static_cast<HBRUSH>(obj));
      else
        old = std::exchange(d->Font, obj);
      if (old)
        --old->Selections;
      else  // a DC's font before any was selected, made only when asked for
        old = gdi::StockFont(SYSTEM_FONT_INDEX);
      ++obj->Selections;
      return old;
    }
    case TGdiKind::Region:
      return reinterpret_cast<HGDIOBJ>(static_cast<std::intptr_t>(SelectClipRgn(hdc, static_cast<HRGN>(obj))));
    case TGdiKind::Bitmap: {
      auto* b = static_cast<HBITMAP>(obj);
      if (!b->Stock && b->SelectedInto && b->SelectedInto != hdc) return nullptr;  // one DC at a time
      HBITMAP old = d->Bitmap;
      if (!old->Stock) old->SelectedInto = nullptr;
      if (!b->Stock) b->SelectedInto = hdc;
      d->Bitmap = b;
      return old;
    }
    case TGdiKind::Dc: return nullptr;
  }
  return nullptr;
}

HGDIOBJ GetStockObject(int which) {
  if (HGDIOBJ font = gdi::StockFont(which)) return font;
  if (which < 0 || which >= static_cast<int>(std::size(Stock().Objects))) return nullptr;
  return Stock().Objects[which];
}

int GetObject(HGDIOBJ obj, int size, void* out) {
  if (gdi::Lookup(obj, TGdiKind::Font)) return gdi::GetFontObject(obj, size, out);
  HBITMAP__* b = Bmp(obj);
  if (!b) return 0;
  if (!out) return sizeof(BITMAP);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP bm{0, b->Width, b->Height, b->Width * 4, 1, 32, b->Dib ? b->Bits : nullptr};
  std::memcpy(out, &bm, sizeof bm);
  return sizeof(BITMAP);
}

HPEN CreatePen(int style, int width, COLORREF color) {
  if (style != PS_SOLID && style != PS_NULL) return nullptr;
  auto* p = new HPEN__;
  p->Style = style;
  p->Width = std::max(1, width);
  p->Color = color & 0xFFFFFF;
  return static_cast<HPEN>(gdi::Register(p));
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new HBRUSH__;
  b->Color = color & 0xFFFFFF;
  return static_cast<HBRUSH>(gdi::Register(b));
}

COLORREF GetPixel(HDC hdc, int x, int y) {
  HDC__* d = Dc(hdc);
  if (!d) return CLR_INVALID;
  const LONG dx = DevX(d, x), dy = DevY(d, y);
  if (!InClip(ClipRects(d), dx, dy)) return CLR_INVALID;
  return ColorOf(d->Bitmap->Row(dy)[dx]);
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
  HDC__* d = Dc(hdc);
  if (!d) return CLR_INVALID;
  const LONG dx = DevX(d, x), dy = DevY(d, y);
  if (!InClip(ClipRects(d), dx, dy)) return CLR_INVALID;
  d->Bitmap->Row(dy)[dx] = PixelOf(color);
  return color & 0xFFFFFF;
}

BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
  HDC__* d = Dc(dest);
  if (!d) return FALSE;
  const bool needSrc = UsesSource(rop);
  HDC__* s = needSrc ? Dc(src) : nullptr;
  if (needSrc && !s) return FALSE;
  if (cx <= 0 || cy <= 0) return TRUE;
  const unsigned index = (rop >> 16) & 0xFF;
  const std::uint32_t pat = PatternOf(d);
  const LONG dx = DevX(d, x), dy = DevY(d, y);
  RECT area{dx, dy, static_cast<LONG>(std::min<long long>(INT32_MAX, 0LL + dx + cx)),
            static_cast<LONG>(std::min<long long>(INT32_MAX, 0LL + dy + cy))};
  LONG shiftX = 0, shiftY = 0;  // source device = destination device + shift
  TSource source;
  if (needSrc) {
    const LONG sx = DevX(s, x1), sy = DevY(s, y1);
    shiftX = sx - dx;
    shiftY = sy - dy;
    // Only where the source surface has pixels.
    const RECT srcSurface = SurfaceOf(s);
    area = Intersect(area, RECT{srcSurface.left - shiftX, srcSurface.top - shiftY, srcSurface.right - shiftX,
                                srcSurface.bottom - shiftY});
    if (IsEmpty(area)) return TRUE;
    const RECT srcArea{area.left + shiftX, area.top + shiftY, area.right + shiftX, area.bottom + shiftY};
    source = SourceFor(s->Bitmap, d->Bitmap, srcArea);
  }
  for (const RECT& c : ClipRects(d)) {
    const RECT r = Intersect(c, area);
    if (IsEmpty(r)) continue;
    for (LONG row = r.top; row < r.bottom; ++row) {
      std::uint32_t* out = d->Bitmap->Row(row);
      if (index == 0xCC) {
        for (LONG col = r.left; col < r.right; ++col) out[col] = source.At(col + shiftX, row + shiftY);
      } else {
        for (LONG col = r.left; col < r.right; ++col)
          out[col] = Rop3(index, pat, needSrc ? source.At(col + shiftX, row + shiftY) : 0, out[col]);
      }
    }
  }
  return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
  if (UsesSource(rop)) return FALSE;
  // Negative extents count from the other corner, as on Windows.
  if (w < 0) {
    x += w;
    w = -w;
  }
  if (h < 0) {
    y += h;
    h = -h;
  }
  return BitBlt(hdc, x, y, w, h, nullptr, 0, 0, rop);
}

int SetStretchBltMode(HDC hdc, int mode) {
  HDC__* d = Dc(hdc);
  if (!d || mode < BLACKONWHITE || mode > HALFTONE) return 0;
  return std::exchange(d->StretchMode, mode);
}

int GetStretchBltMode(HDC hdc) {
  HDC__* d = Dc(hdc);
  return d ? d->StretchMode : 0;
}

BOOL StretchBlt(HDC dest, int xd, int yd, int wd, int hd, HDC src, int xs, int ys, int ws, int hs, DWORD rop) {
  if (wd == ws && hd == hs && wd > 0 && hd > 0) return BitBlt(dest, xd, yd, wd, hd, src, xs, ys, rop);
  HDC__* d = Dc(dest);
  if (!d) return FALSE;
  if (!UsesSource(rop)) return PatBlt(dest, xd, yd, wd, hd, rop);
  HDC__* s = Dc(src);
  if (!s) return FALSE;
  const unsigned index = (rop >> 16) & 0xFF;
  const std::uint32_t pat = PatternOf(d);
  Scaled(d, xd, yd, wd, hd, s, xs, ys, ws, hs,
         [&](std::uint32_t sp, std::uint32_t dp) { return Rop3(index, pat, sp, dp); });
  return TRUE;
}

BOOL AlphaBlend(HDC dest, int xd, int yd, int wd, int hd, HDC src, int xs, int ys, int ws, int hs, BLENDFUNCTION fn) {
  HDC__* d = Dc(dest);
  HDC__* s = Dc(src);
  if (!d || !s || fn.BlendOp != AC_SRC_OVER || fn.BlendFlags != 0 || (fn.AlphaFormat & ~AC_SRC_ALPHA)) return FALSE;
  if (wd < 0 || hd < 0 || ws < 0 || hs < 0) return FALSE;
  // The source rectangle must lie inside the source surface.
  const long long sl = DevX(s, xs), st = DevY(s, ys);
  if (sl < 0 || st < 0 || sl + ws > s->Bitmap->Width || st + hs > s->Bitmap->Height) return FALSE;
  const BYTE sca = fn.SourceConstantAlpha;
  const bool perPixel = (fn.AlphaFormat & AC_SRC_ALPHA) != 0;
  Scaled(d, xd, yd, wd, hd, s, xs, ys, ws, hs,
         [&](std::uint32_t sp, std::uint32_t dp) { return Blend(sp, dp, sca, perPixel); });
  return TRUE;
}

int FillRect(HDC hdc, const RECT* rc, HBRUSH brush) {
  HDC__* d = Dc(hdc);
  HBRUSH__* b = Brush(brush);
  if (!d || !rc || !b) return 0;
  if (b->Null) return 1;
  const RECT area{DevX(d, rc->left), DevY(d, rc->top), DevX(d, rc->right), DevY(d, rc->bottom)};
  FillDevice(ClipRects(d), d->Bitmap, area, PixelOf(b->Color));
  return 1;
}

int FrameRect(HDC hdc, const RECT* rc, HBRUSH brush) {
  HDC__* d = Dc(hdc);
  HBRUSH__* b = Brush(brush);
  if (!d || !rc || !b) return 0;
  if (b->Null) return 1;
  const RECT a{DevX(d, rc->left), DevY(d, rc->top), DevX(d, rc->right), DevY(d, rc->bottom)};
  if (IsEmpty(a)) return 1;
  const std::vector<RECT> clip = ClipRects(d);
  const std::uint32_t v = PixelOf(b->Color);
  FillDevice(clip, d->Bitmap, RECT{a.left, a.top, a.right, a.top + 1}, v);
  FillDevice(clip, d->Bitmap, RECT{a.left, a.bottom - 1, a.right, a.bottom}, v);
  FillDevice(clip, d->Bitmap, RECT{a.left, a.top, a.left + 1, a.bottom}, v);
  FillDevice(clip, d->Bitmap, RECT{a.right - 1, a.top, a.right, a.bottom}, v);
  return 1;
}

BOOL FillRgn(HDC hdc, HRGN hrgn, HBRUSH brush) {
  HDC__* d = Dc(hdc);
  HBRUSH__* b = Brush(brush);
  HRGN__* r = gdi::As<HRGN__>(hrgn, TGdiKind::Region);
  if (!d || !b || !r) return FALSE;
  if (b->Null) return TRUE;
  const std::vector<RECT> clip = ClipRects(d);
  for (const RECT& rc : r->Rects)
    FillDevice(clip, d->Bitmap, RECT{DevX(d, rc.left), DevY(d, rc.top), DevX(d, rc.right), DevY(d, rc.bottom)},
               PixelOf(b->Color));
  return TRUE;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  HDC__* d = Dc(hdc);
  if (!d) return FALSE;
  const RECT a{DevX(d, std::min(left, right)), DevY(d, std::min(top, bottom)), DevX(d, std::max(left, right)),
               DevY(d, std::max(top, bottom))};
  const std::vector<RECT> clip = ClipRects(d);
  const HPEN__* p = Pen(d->Pen);
  const HBRUSH__* b = Brush(d->Brush);
  const bool outline = p && p->Style != PS_NULL;
  // Without a pen the fill stops one pixel short on the right and bottom, as on Windows.
  const RECT inner = outline ? RECT{a.left + 1, a.top + 1, a.right - 1, a.bottom - 1}
                             : RECT{a.left, a.top, a.right - 1, a.bottom - 1};
  if (b && !b->Null && !IsEmpty(inner)) FillDevice(clip, d->Bitmap, inner, PixelOf(b->Color));
  if (outline && !IsEmpty(a)) {
    const std::uint32_t v = PixelOf(p->Color);
    FillDevice(clip, d->Bitmap, RECT{a.left, a.top, a.right, a.top + 1}, v);
    FillDevice(clip, d->Bitmap, RECT{a.left, a.bottom - 1, a.right, a.bottom}, v);
    FillDevice(clip, d->Bitmap, RECT{a.left, a.top, a.left + 1, a.bottom}, v);
    FillDevice(clip, d->Bitmap, RECT{a.right - 1, a.top, a.right, a.bottom}, v);
  }
  return TRUE;
}

BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  HDC__* d = Dc(hdc);
  if (!d) return FALSE;
  const RECT a{DevX(d, std::min(left, right)), DevY(d, std::min(top, bottom)), DevX(d, std::max(left, right)),
               DevY(d, std::max(top, bottom))};
  if (IsEmpty(a)) return TRUE;
  const LONG w = a.right - a.left, h = a.bottom - a.top;
  const double rx = std::min<double>(std::abs(static_cast<long long>(width)), w) / 2;
  const double ry = std::min<double>(std::abs(static_cast<long long>(height)), h) / 2;
  // How far each row's span starts inside the rectangle, sampled at pixel centres.
  std::vector<LONG> inset(static_cast<size_t>(h), 0);
  if (rx > 0 && ry > 0) {
    for (LONG row = 0; row < h; ++row) {
      const double cy = row + 0.5;
      const double dy = cy < ry ? ry - cy : cy > h - ry ? cy - (h - ry) : 0;
      if (dy <= 0) continue;
      const double t = std::min(1.0, dy / ry);
      inset[static_cast<size_t>(row)] = static_cast<LONG>(std::lround(rx - rx * std::sqrt(1 - t * t)));
    }
  }
  const std::vector<RECT> clip = ClipRects(d);
  const HPEN__* p = Pen(d->Pen);
  const HBRUSH__* b = Brush(d->Brush);
  const bool outline = p && p->Style != PS_NULL;
  auto spanOf = [&](LONG row) { return std::pair<LONG, LONG>{a.left + inset[row], a.right - inset[row]}; };
  for (LONG row = 0; row < h; ++row) {
    const auto [l, r] = spanOf(row);
    if (l >= r) continue;
    const LONG y = a.top + row;
    if (b && !b->Null) FillDevice(clip, d->Bitmap, RECT{l, y, r, y + 1}, PixelOf(b->Color));
    if (!outline) continue;
    const std::uint32_t v = PixelOf(p->Color);
    if (row == 0 || row == h - 1) {
      FillDevice(clip, d->Bitmap, RECT{l, y, r, y + 1}, v);
      continue;
    }
    // Pixels with a neighbour outside the shape: the row's ends and what the
    // rows above and below do not cover.
    const auto [la, ra] = spanOf(row - 1);
    const auto [lb, rb] = spanOf(row + 1);
    const LONG leftEnd = std::min(r, std::max(l + 1, std::max(la, lb)));
    const LONG rightStart = std::max(leftEnd, std::min(r - 1, std::min(ra, rb)));
    FillDevice(clip, d->Bitmap, RECT{l, y, leftEnd, y + 1}, v);
    FillDevice(clip, d->Bitmap, RECT{rightStart, y, r, y + 1}, v);
  }
  return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, POINT* old) {
  HDC__* d = Dc(hdc);
  if (!d) return FALSE;
  if (old) *old = d->Pos;
  d->Pos = POINT{x, y};
  return TRUE;
}

BOOL GetCurrentPositionEx(HDC hdc, POINT* pt) {
  HDC__* d = Dc(hdc);
  if (!d || !pt) return FALSE;
  *pt = d->Pos;
  return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y) {
  HDC__* d = Dc(hdc);
  if (!d) return FALSE;
  const HPEN__* p = Pen(d->Pen);
  const POINT from = d->Pos;
  d->Pos = POINT{x, y};
  if (!p || p->Style == PS_NULL) return TRUE;
  const std::uint32_t v = PixelOf(p->Color);
  const std::vector<RECT> clip = ClipRects(d);
  // Bresenham from the start point up to, but not including, the end point.
  long long x0 = DevX(d, from.x), y0 = DevY(d, from.y);
  const long long x1 = DevX(d, x), y1 = DevY(d, y);
  const long long dx = std::llabs(x1 - x0), dy = -std::llabs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  long long err = dx + dy;
  const RECT box = clip.empty() ? RECT{} : rgn::BoundsOf(clip);
  while (x0 != x1 || y0 != y1) {
    if (x0 >= box.left && x0 < box.right && y0 >= box.top && y0 < box.bottom)
      Plot(d, clip, static_cast<LONG>(x0), static_cast<LONG>(y0), v);
    const long long e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y0 += sy;
    }
  }
  return TRUE;
}

int SelectClipRgn(HDC hdc, HRGN hrgn) {
  HDC__* d = Dc(hdc);
  if (!d) return ERROR;
  if (!hrgn) {
    d->HasClip = false;
    d->Clip.clear();
    return SIMPLEREGION;
  }
  HRGN__* r = gdi::As<HRGN__>(hrgn, TGdiKind::Region);
  if (!r) return ERROR;
  d->HasClip = true;
  d->Clip = r->Rects;
  for (RECT& c : d->Clip) c = RECT{c.left + d->Origin.x, c.top + d->Origin.y, c.right + d->Origin.x, c.bottom + d->Origin.y};
  return ClipComplexity(d);
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  HDC__* d = Dc(hdc);
  if (!d) return ERROR;
  const std::vector<RECT> rect = rgn::FromRects({RECT{DevX(d, left), DevY(d, top), DevX(d, right), DevY(d, bottom)}});
  d->Clip = d->HasClip ? rgn::Combine(d->Clip, rect, RGN_AND) : rect;
  d->HasClip = true;
  return ClipComplexity(d);
}

int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  HDC__* d = Dc(hdc);
  if (!d) return ERROR;
  const std::vector<RECT> rect = rgn::FromRects({RECT{DevX(d, left), DevY(d, top), DevX(d, right), DevY(d, bottom)}});
  d->Clip = rgn::Combine(d->HasClip ? d->Clip : std::vector<RECT>{SurfaceOf(d)}, rect, RGN_DIFF);
  d->HasClip = true;
  return ClipComplexity(d);
}

int GetClipBox(HDC hdc, RECT* rc) {
  HDC__* d = Dc(hdc);
  if (!d || !rc) return ERROR;
  const std::vector<RECT> clip = ClipRects(d);
  const RECT box = rgn::BoundsOf(clip);
  if (clip.empty()) {
    *rc = RECT{};
  } else {
    const LONG ox = d->Window.x - d->Viewport.x - d->Origin.x, oy = d->Window.y - d->Viewport.y - d->Origin.y;
    *rc = RECT{box.left + ox, box.top + oy, box.right + ox, box.bottom + oy};
  }
  return rgn::ComplexityOf(clip);
}

namespace {
BOOL SetOrigin(HDC hdc, POINT HDC__::*which, int x, int y, bool relative, POINT* old) {
  HDC__* d = Dc(hdc);
  if (!d) return FALSE;
  POINT& p = d->*which;
  if (old) *old = p;
  p = relative ? POINT{p.x + x, p.y + y} : POINT{x, y};
  return TRUE;
}
}  // namespace

BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* old) { return SetOrigin(hdc, &HDC__::Viewport, x, y, false, old); }
BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, POINT* old) {
  return SetOrigin(hdc, &HDC__::Viewport, dx, dy, true, old);
}
BOOL GetViewportOrgEx(HDC hdc, POINT* pt) {
  HDC__* d = Dc(hdc);
  if (!d || !pt) return FALSE;
  *pt = d->Viewport;
  return TRUE;
}
BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* old) { return SetOrigin(hdc, &HDC__::Window, x, y, false, old); }
BOOL OffsetWindowOrgEx(HDC hdc, int dx, int dy, POINT* old) { return SetOrigin(hdc, &HDC__::Window, dx, dy, true, old); }
BOOL GetWindowOrgEx(HDC hdc, POINT* pt) {
  HDC__* d = Dc(hdc);
  if (!d || !pt) return FALSE;
  *pt = d->Window;
  return TRUE;
}

}  // namespace win
