// What the font engine, text output and DrawText layout share; not for the
// rest of the program.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SIZES_H

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/GdiInternal.h"
#include "platform/ui/Text.h"

namespace win {

namespace text {
struct TInstance;
}

struct TFontObject : HFONT__ {
  LOGFONTA Log;
  std::string Face;  // the name GetTextFaceA reports
  std::shared_ptr<text::TInstance> Inst;
};

namespace text {

using gdi::DevX;
using gdi::DevY;
using gdi::Intersect;
using gdi::IsEmpty;
using gdi::PixelOf;

struct TGlyph {
  int Advance = 0;
  int Left = 0, Top = 0, Width = 0, Rows = 0;
  std::vector<std::uint8_t> Coverage;
};

// One face at one pixel size: metrics and rendered glyphs. Without a face
// file (Face null) glyphs are hollow boxes, so text is never lost.
struct TInstance {
  FT_Face Face = nullptr;  // shared per file, owned by the engine
  FT_Size Size = nullptr;
  int Ppem = 0;
  bool SynthBold = false, SynthItalic = false;
  int Ascent = 0, Descent = 0, ExternalLeading = 0, AveWidth = 0, MaxWidth = 0;
  int UnderlinePos = 0, UnderlineThick = 1, StrikePos = 0, StrikeThick = 1;  // below baseline, pixels
  bool Fixed = false;
  std::unordered_map<char32_t, TGlyph> Glyphs;
  size_t CacheBytes = 0;
  ~TInstance() {
    if (Size) FT_Done_Size(Size);
  }
  const TGlyph& Glyph(char32_t c);
  TGlyph BoxGlyph(char32_t c) const;
  int Height() const { return Ascent + Descent; }
};

// UTF-8 decoding: every byte that does not start a valid, shortest-form
// sequence becomes one U+FFFD.
struct TChar {
  char32_t Code;
  std::uint32_t Begin, End;  // source bytes
  bool Prefix = false;       // marked by '&': underlined in DrawText
};

// Holds the font engine's lock, which guards every instance and glyph cache.
std::unique_lock<std::recursive_mutex> LockFonts();
TFontObject* Font(const void* h);
TFontObject* SelectedFont(const HDC__* d);

std::vector<TChar> Decode(const char* s, size_t n);
std::vector<char32_t> Codes(const std::vector<TChar>& chars);
// Pen positions of a run from its start (tabs to the next stop when tabWidth
// is set); returns the run's width.
int Place(TInstance& in, const char32_t* c, size_t n, int tabWidth, std::vector<int>* xs);
int Width(TInstance& in, const std::vector<TChar>& chars, size_t a, size_t b, int tabWidth);

// Where and how a DC draws text.
struct TPainter {
  HDC__* D;
  TInstance& In;
  const LOGFONTA& Log;
  std::vector<RECT> Clip;  // device
  std::uint32_t Color;

  void Fill(const RECT& area, std::uint32_t value) const {
    for (const RECT& c : Clip) {
      const RECT r = Intersect(c, area);
      if (IsEmpty(r)) continue;
      for (LONG y = r.top; y < r.bottom; ++y) std::fill(D->Bitmap->Row(y) + r.left, D->Bitmap->Row(y) + r.right, value);
    }
  }

  void Glyph(const TGlyph& g, long long penX, long long baseY) const {
    if (g.Coverage.empty()) return;
    const long long left = penX + g.Left, top = baseY - g.Top;
    if (left > INT32_MAX / 2 || top > INT32_MAX / 2 || left < INT32_MIN / 2 || top < INT32_MIN / 2) return;
    const RECT box{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(left + g.Width),
                   static_cast<LONG>(top + g.Rows)};
    const int sr = (Color >> 16) & 0xFF, sg = (Color >> 8) & 0xFF, sb = Color & 0xFF;
    for (const RECT& c : Clip) {
      const RECT r = Intersect(c, box);
      if (IsEmpty(r)) continue;
      for (LONG y = r.top; y < r.bottom; ++y) {
        std::uint32_t* row = D->Bitmap->Row(y);
        const std::uint8_t* cov = g.Coverage.data() + static_cast<size_t>(y - box.top) * g.Width - box.left;
        for (LONG x = r.left; x < r.right; ++x) {
          const int a = cov[x];
          if (a == 0) continue;
          if (a == 255) {
            row[x] = Color;
            continue;
          }
          const std::uint32_t p = row[x];
          const int dr = (p >> 16) & 0xFF, dg = (p >> 8) & 0xFF, db = p & 0xFF;
          const auto mix = [a](int s, int d) { return static_cast<std::uint32_t>(d + ((s - d) * a + (s > d ? 127 : -127)) / 255); };
          row[x] = (mix(sr, dr) << 16) | (mix(sg, dg) << 8) | mix(sb, db);
        }
      }
    }
  }

  // One line of placed characters with its top-left corner at device (x, top).
  void Line(const std::vector<char32_t>& c, const std::vector<int>& xs, int width, long long x, long long top,
            int prefix, bool glyphs) const {
    const long long base = top + In.Ascent;
    if (glyphs)
      for (size_t i = 0; i < c.size(); ++i) Glyph(In.Glyph(c[i]), x + xs[i], base);
    const auto bar = [&](long long from, long long to, long long y, int thick) {
      const auto clampL = [](long long v) { return static_cast<LONG>(std::clamp<long long>(v, INT32_MIN / 2, INT32_MAX / 2)); };
      Fill(RECT{clampL(from), clampL(y), clampL(to), clampL(y + thick)}, Color);
    };
    if (glyphs && Log.lfUnderline && width > 0) bar(x, x + width, base + In.UnderlinePos, In.UnderlineThick);
    if (glyphs && Log.lfStrikeOut && width > 0) bar(x, x + width, base + In.StrikePos, In.StrikeThick);
    if (prefix >= 0 && prefix < static_cast<int>(c.size())) {
      const int w = In.Glyph(c[prefix]).Advance;
      bar(x + xs[prefix], x + xs[prefix] + w, base + In.UnderlinePos, In.UnderlineThick);
    }
  }
};

RECT DevRect(const HDC__* d, const RECT& r);
std::vector<RECT> ClipTo(std::vector<RECT> clip, const RECT& dev);
BOOL TextCore(HDC hdc, int x, int y, UINT options, const RECT* rc, const char* s, size_t n, const int* dx);
int DrawTextCore(HDC hdc, const char* text, int count, RECT* rc, UINT fmt, DRAWTEXTPARAMS* params, char* writable);

}  // namespace text

}  // namespace win
