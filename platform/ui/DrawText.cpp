#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ui/TextInternal.h"
#include "platform/win/Utf8.h"

namespace win {

namespace text {
namespace {

struct TLine {
  std::vector<TChar> Chars;
  bool Shortened = false;
};

TChar Dot() { return TChar{'.', 0, 0, false}; }

bool IsSpace(char32_t c) { return c == ' ' || c == '\t'; }

// Removes '&' marks: "&&" is one '&', "&x" marks x; a final '&' stays.
std::vector<TChar> StripPrefixes(const std::vector<TChar>& in, bool mark) {
  std::vector<TChar> out;
  out.reserve(in.size());
  int marked = -1;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i].Code == '&' && i + 1 < in.size()) {
      ++i;
      TChar t = in[i];
      t.Begin = in[i - 1].Begin;
      if (t.Code != '&') marked = static_cast<int>(out.size());
      out.push_back(t);
    } else {
      out.push_back(in[i]);
    }
  }
  // Only the last mark is the accelerator.
  if (mark && marked >= 0) out[marked].Prefix = true;
  return out;
}

// Splits at line ends and, with wordbreak, wherever the width runs out.
std::vector<TLine> BreakLines(TInstance& in, const std::vector<TChar>& c, UINT fmt, int width, int tabWidth) {
  std::vector<TLine> lines;
  if (fmt & DT_SINGLELINE) {
    lines.push_back(TLine{c});
    return lines;
  }
  size_t i = 0;
  const size_t n = c.size();
  if (n == 0) return lines;
  while (i < n) {
    size_t e = i;
    while (e < n && c[e].Code != '\r' && c[e].Code != '\n') ++e;
    // Wrap [i, e).
    size_t start = i;
    bool first = true;
    while (first || start < e) {
      if (!first)
        while (start < e && c[start].Code == ' ') ++start;  // a wrapped line starts at its word
      if (!first && start >= e) break;
      first = false;
      size_t j = start, lastWord = start;
      long long x = 0;
      size_t end = e, next = e;
      if (fmt & DT_WORDBREAK) {
        for (; j < e; ++j) {
          const char32_t ch = c[j].Code;
          if (j > start && !IsSpace(ch) && IsSpace(c[j - 1].Code)) lastWord = j;
          const long long w = (ch == '\t' && tabWidth > 0) ? ((x / tabWidth + 1) * tabWidth - x) : in.Glyph(ch).Advance;
          if (x + w > width && j > start) {
            if (ch == ' ') {
              end = j;
              next = j;
            } else if (lastWord > start) {
              end = lastWord;
              next = lastWord;
            } else if (fmt & DT_EDITCONTROL) {
              end = j;
              next = j;
            } else {
              // One word wider than the line stays whole.
              size_t k = j;
              while (k < e && !IsSpace(c[k].Code)) ++k;
              end = k;
              next = k;
            }
            break;
          }
          x += w;
        }
      }
      while (end > start && c[end - 1].Code == ' ' && end != e) --end;  // trailing blanks of a wrapped line
      lines.push_back(TLine{std::vector<TChar>(c.begin() + start, c.begin() + end)});
      start = next;
    }
    if (e >= n) break;
    i = e + ((c[e].Code == '\r' && e + 1 < n && c[e + 1].Code == '\n') ? 2 : 1);
    if (i >= n) break;  // a final line end opens no empty line
  }
  return lines;
}

// The longest prefix of chars that fits in room, as an index.
size_t FitPrefix(TInstance& in, const std::vector<TChar>& c, size_t limit, int room, int tabWidth) {
  size_t k = 0;
  long long x = 0;
  for (; k < limit; ++k) {
    const char32_t ch = c[k].Code;
    const long long w = (ch == '\t' && tabWidth > 0) ? ((x / tabWidth + 1) * tabWidth - x) : in.Glyph(ch).Advance;
    if (x + w > room) break;
    x += w;
  }
  return k;
}

std::vector<TChar> Dots(TInstance& in, int room) {
  std::vector<TChar> d;
  const int w = in.Glyph('.').Advance;
  for (int i = 0; i < 3 && (i + 1) * w <= room; ++i) d.push_back(Dot());
  return d;
}

void EndEllipsis(TInstance& in, TLine& line, int width, int tabWidth) {
  const int dots = 3 * in.Glyph('.').Advance;
  const size_t k = FitPrefix(in, line.Chars, line.Chars.size(), width - dots, tabWidth);
  std::vector<TChar> out(line.Chars.begin(), line.Chars.begin() + static_cast<long>(k));
  const std::vector<TChar> d = Dots(in, width - Width(in, out, 0, out.size(), tabWidth));
  out.insert(out.end(), d.begin(), d.end());
  line.Chars = std::move(out);
  line.Shortened = true;
}

// Keeps as much as possible after the last path delimiter, taking characters
// out of the middle; without a delimiter the middle of the text goes.
void PathEllipsis(TInstance& in, TLine& line, int width, int tabWidth) {
  const std::vector<TChar>& c = line.Chars;
  size_t sep = c.size();
  for (size_t i = c.size(); i-- > 0;)
    if (c[i].Code == '\\' || c[i].Code == '/') {
      sep = i;
      break;
    }
  if (sep == c.size()) sep = c.size() / 2;
  const std::vector<TChar> tail(c.begin() + static_cast<long>(sep), c.end());
  const int dots = 3 * in.Glyph('.').Advance;
  const int tailWidth = Width(in, tail, 0, tail.size(), 0);
  if (dots + tailWidth <= width) {
    const size_t k = FitPrefix(in, c, sep, width - dots - tailWidth, tabWidth);
    std::vector<TChar> out(c.begin(), c.begin() + static_cast<long>(k));
    for (int i = 0; i < 3; ++i) out.push_back(Dot());
    out.insert(out.end(), tail.begin(), tail.end());
    line.Chars = std::move(out);
    line.Shortened = true;
    return;
  }
  // Even the last part is too wide: it loses its end as well.
  TLine t{std::vector<TChar>{Dot(), Dot(), Dot()}};
  t.Chars.insert(t.Chars.end(), tail.begin(), tail.end());
  EndEllipsis(in, t, width, 0);
  line = std::move(t);
}

// The shortened text in the caller's buffer: kept source bytes and the dots,
// never more than the count + 4 bytes the caller provides.
void WriteBack(char* buf, size_t count, const TLine& line) {
  std::string out;
  for (const TChar& t : line.Chars) {
    if (t.Begin == t.End) {
      out += '.';
      continue;
    }
    out.append(buf + t.Begin, buf + t.End);
  }
  out = CutUtf8(std::move(out), count + 3);
  std::memcpy(buf, out.data(), out.size());
  buf[out.size()] = 0;
}

}  // namespace

int DrawTextCore(HDC hdc, const char* text, int count, RECT* rc, UINT fmt, DRAWTEXTPARAMS* params, char* writable) {
  auto lock = LockFonts();
  HDC__* d = gdi::DcOf(hdc);
  if (!d || !rc || (!text && count != 0)) return 0;
  if (params && params->cbSize != sizeof(DRAWTEXTPARAMS)) return 0;
  if (count == -1) count = static_cast<int>(std::strlen(text));
  if (count < 0) return 0;
  TFontObject* f = SelectedFont(d);
  if (!f) return 0;
  TInstance& in = *f->Inst;
  int tabChars = 8;
  if (fmt & DT_TABSTOP) {
    tabChars = (fmt >> 8) & 0xFF;
    fmt &= ~0xFF00u;  // those bits were the tab length, not flags
  } else if (params && params->iTabLength > 0) {
    tabChars = params->iTabLength;
  }
  const int tabWidth = (fmt & DT_EXPANDTABS) ? std::max(1, tabChars) * in.AveWidth : 0;
  const int lineHeight = in.Height() + ((fmt & DT_EXTERNALLEADING) ? in.ExternalLeading : 0);
  const int leftMargin = params ? params->iLeftMargin : 0, rightMargin = params ? params->iRightMargin : 0;
  if (params) params->uiLengthDrawn = static_cast<UINT>(count);
  const long long left = 0LL + rc->left + leftMargin, right = 0LL + rc->right - rightMargin;
  const int width = static_cast<int>(std::clamp<long long>(right - left, 0, INT32_MAX / 4));
  const bool single = (fmt & DT_SINGLELINE) != 0;

  std::vector<TChar> chars = Decode(text, static_cast<size_t>(count));
  if (!(fmt & DT_NOPREFIX)) chars = StripPrefixes(chars, !(fmt & DT_HIDEPREFIX));
  std::vector<TLine> lines = BreakLines(in, chars, fmt, width, tabWidth);
  const bool ellipsis = (fmt & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) != 0;
  if (ellipsis)
    for (TLine& l : lines)
      if (Width(in, l.Chars, 0, l.Chars.size(), tabWidth) > width) {
        if (fmt & DT_PATH_ELLIPSIS)
          PathEllipsis(in, l, width, tabWidth);
        else
          EndEllipsis(in, l, width, tabWidth);
      }
  if ((fmt & DT_MODIFYSTRING) && writable && (fmt & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)) && lines.size() == 1 &&
      lines[0].Shortened)
    WriteBack(writable, static_cast<size_t>(count), lines[0]);
  if ((fmt & DT_EDITCONTROL) && !single && !(fmt & DT_CALCRECT)) {
    // No partly visible last line.
    const long long room = 0LL + rc->bottom - rc->top;
    const size_t fit = static_cast<size_t>(std::max<long long>(1, room / std::max(1, lineHeight)));
    if (lines.size() > fit) lines.resize(fit);
  }

  const int total = single ? lineHeight : static_cast<int>(std::min<size_t>(lines.size(), INT32_MAX / 4 / std::max(1, lineHeight)) * lineHeight);
  if (fmt & DT_CALCRECT) {
    long long widest = 0;
    for (const TLine& l : lines) widest = std::max<long long>(widest, Width(in, l.Chars, 0, l.Chars.size(), tabWidth));
    rc->right = static_cast<LONG>(std::clamp<long long>(left + widest + rightMargin, INT32_MIN, INT32_MAX));
    rc->bottom = static_cast<LONG>(std::clamp<long long>(0LL + rc->top + total, INT32_MIN, INT32_MAX));
    return total;
  }
  long long y = rc->top;
  if (single && (fmt & DT_VCENTER))
    y = rc->top + (0LL + rc->bottom - rc->top - lineHeight) / 2;
  else if (single && (fmt & DT_BOTTOM))
    y = 0LL + rc->bottom - lineHeight;

  TPainter p{d, in, f->Log, gdi::ClipRects(d), PixelOf(d->TextColor & 0xFFFFFF)};
  if (!(fmt & DT_NOCLIP)) p.Clip = ClipTo(std::move(p.Clip), DevRect(d, *rc));
  const std::uint32_t bk = PixelOf(d->BkColor & 0xFFFFFF);
  const bool prefixOnly = (fmt & DT_PREFIXONLY) != 0;
  long long lineTop = y;
  for (const TLine& l : lines) {
    std::vector<char32_t> c;
    int prefix = -1;
    for (const TChar& t : l.Chars) {
      if (t.Prefix) prefix = static_cast<int>(c.size());
      c.push_back(t.Code);
    }
    std::vector<int> xs;
    const int w = Place(in, c.data(), c.size(), tabWidth, &xs);
    long long x = left;
    if (fmt & DT_CENTER)
      x = left + (0LL + width - w) / 2;
    else if (fmt & DT_RIGHT)
      x = right - w;
    const long long dx = DevX(d, x), dy = DevY(d, lineTop);
    if (d->BkMode == OPAQUE && w > 0 && !prefixOnly)
      p.Fill(RECT{static_cast<LONG>(dx), static_cast<LONG>(dy), static_cast<LONG>(std::min<long long>(dx + w, INT32_MAX / 2)),
                  static_cast<LONG>(dy + in.Height())},
             bk);
    p.Line(c, xs, w, dx, dy, prefix, !prefixOnly);
    lineTop += lineHeight;
  }
  if (single && (fmt & (DT_VCENTER | DT_BOTTOM))) return static_cast<int>(y - rc->top + lineHeight);
  return total;
}

}  // namespace text

int DrawTextA(HDC hdc, LPCSTR text, int count, RECT* rc, UINT format) {
  // The caller's buffer is written only when it asks for that with DT_MODIFYSTRING.
  return text::DrawTextCore(hdc, text, count, rc, format, nullptr,
                            (format & DT_MODIFYSTRING) ? const_cast<char*>(text) : nullptr);
}

int DrawTextExA(HDC hdc, LPSTR text, int count, RECT* rc, UINT format, DRAWTEXTPARAMS* params) {
  return text::DrawTextCore(hdc, text, count, rc, format, params, (format & DT_MODIFYSTRING) ? text : nullptr);
}

}  // namespace win
