#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ui/TextInternal.h"
#include "platform/win/Utf8.h"

namespace win {

namespace text {

std::vector<TChar> Decode(const char* s, size_t n) {
  const std::string_view text(s, n);
  std::vector<TChar> out;
  out.reserve(n);
  for (size_t i = 0; i < n;) {
    const TUtf8Char c = DecodeUtf8At(text, i);
    out.push_back({c.CodePoint, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i + c.Length)});
    i += c.Length;
  }
  return out;
}

std::vector<char32_t> Codes(const std::vector<TChar>& chars) {
  std::vector<char32_t> c;
  c.reserve(chars.size());
  for (const TChar& t : chars) c.push_back(t.Code);
  return c;
}

// Pen positions of a run from its start (tabs to the next stop when tabWidth
// is set); returns the run's width.
int Place(TInstance& in, const char32_t* c, size_t n, int tabWidth, std::vector<int>* xs) {
  long long x = 0;
  if (xs) xs->resize(n);
  for (size_t i = 0; i < n; ++i) {
    if (xs) (*xs)[i] = static_cast<int>(x);
    if (c[i] == '\t' && tabWidth > 0)
      x = (x / tabWidth + 1) * tabWidth;
    else
      x += in.Glyph(c[i]).Advance;
    x = std::min<long long>(x, INT32_MAX / 4);
  }
  return static_cast<int>(x);
}

int Width(TInstance& in, const std::vector<TChar>& chars, size_t a, size_t b, int tabWidth) {
  std::vector<char32_t> c;
  c.reserve(b - a);
  for (size_t i = a; i < b; ++i) c.push_back(chars[i].Code);
  return Place(in, c.data(), c.size(), tabWidth, nullptr);
}

RECT DevRect(const HDC__* d, const RECT& r) {
  return RECT{DevX(d, r.left), DevY(d, r.top), DevX(d, r.right), DevY(d, r.bottom)};
}

std::vector<RECT> ClipTo(std::vector<RECT> clip, const RECT& dev) {
  std::vector<RECT> out;
  for (const RECT& c : clip) {
    const RECT r = Intersect(c, dev);
    if (!IsEmpty(r)) out.push_back(r);
  }
  return out;
}

BOOL TextCore(HDC hdc, int x, int y, UINT options, const RECT* rc, const char* s, size_t n, const int* dx) {
  auto lock = LockFonts();
  HDC__* d = gdi::DcOf(hdc);
  if (!d || (!s && n)) return FALSE;
  TFontObject* f = SelectedFont(d);
  if (!f) return FALSE;
  TInstance& in = *f->Inst;
  const std::vector<char32_t> c = Codes(Decode(s, n));
  std::vector<int> xs;
  int width;
  if (dx) {
    xs.resize(c.size());
    long long acc = 0;
    for (size_t i = 0; i < c.size(); ++i) {
      xs[i] = static_cast<int>(acc);
      acc = std::clamp<long long>(acc + dx[i], INT32_MIN / 4, INT32_MAX / 4);
    }
    width = static_cast<int>(acc);
  } else {
    width = Place(in, c.data(), c.size(), 0, &xs);
  }
  const UINT align = d->TextAlign;
  if (align & TA_UPDATECP) {
    x = d->Pos.x;
    y = d->Pos.y;
  }
  long long left = x, top = y;
  if ((align & TA_CENTER) == TA_CENTER)
    left -= width / 2;
  else if (align & TA_RIGHT)
    left -= width;
  if ((align & TA_BASELINE) == TA_BASELINE)
    top -= in.Ascent;
  else if (align & TA_BOTTOM)
    top -= in.Height();
  if (align & TA_UPDATECP) {
    if ((align & TA_CENTER) == TA_CENTER) {
    } else if (align & TA_RIGHT) {
      d->Pos.x = static_cast<LONG>(x - static_cast<long long>(width));
    } else {
      d->Pos.x = static_cast<LONG>(x + static_cast<long long>(width));
    }
  }
  TPainter p{d, in, f->Log, gdi::ClipRects(d), PixelOf(d->TextColor & 0xFFFFFF)};
  if (rc && (options & ETO_CLIPPED)) p.Clip = ClipTo(std::move(p.Clip), DevRect(d, *rc));
  const std::uint32_t bk = PixelOf(d->BkColor & 0xFFFFFF);
  if (rc && (options & ETO_OPAQUE)) p.Fill(DevRect(d, *rc), bk);
  const long long dl = DevX(d, left), dt = DevY(d, top);
  if (d->BkMode == OPAQUE && width > 0 && !c.empty())
    p.Fill(RECT{static_cast<LONG>(dl), static_cast<LONG>(dt), static_cast<LONG>(std::min<long long>(dl + width, INT32_MAX / 2)),
                static_cast<LONG>(dt + in.Height())},
           bk);
  p.Line(c, xs, width, dl, dt, -1, true);
  return TRUE;
}

}  // namespace text

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->TextColor, color & 0xFFFFFF);
}
COLORREF GetTextColor(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->TextColor : CLR_INVALID;
}
COLORREF SetBkColor(HDC hdc, COLORREF color) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->BkColor, color & 0xFFFFFF);
}
COLORREF GetBkColor(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->BkColor : CLR_INVALID;
}
int SetBkMode(HDC hdc, int mode) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(d->BkMode, mode);
}
int GetBkMode(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->BkMode : 0;
}
UINT SetTextAlign(HDC hdc, UINT align) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return GDI_ERROR;
  return std::exchange(d->TextAlign, align & (TA_UPDATECP | TA_CENTER | TA_BASELINE | TA_RTLREADING));
}
UINT GetTextAlign(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->TextAlign : GDI_ERROR;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count) {
  if (count < 0) return FALSE;
  return text::TextCore(hdc, x, y, 0, nullptr, text, static_cast<size_t>(count), nullptr);
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCSTR text, UINT count, const int* dx) {
  if (count > static_cast<UINT>(INT32_MAX)) return FALSE;
  return text::TextCore(hdc, x, y, options, rc, text, count, dx);
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, SIZE* size) {
  auto lock = text::LockFonts();
  HDC__* d = gdi::DcOf(hdc);
  if (!d || !size || count < 0 || (!text && count)) return FALSE;
  TFontObject* f = text::SelectedFont(d);
  if (!f) return FALSE;
  const std::vector<char32_t> c = text::Codes(text::Decode(text, static_cast<size_t>(count)));
  size->cx = text::Place(*f->Inst, c.data(), c.size(), 0, nullptr);
  size->cy = f->Inst->Height();
  return TRUE;
}

}  // namespace win
