#include "skin/UiBitmap.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/ui/Window.h"
#include "skin/UiBlend.h"

namespace vorra {

using namespace win;

TUiColor UiColor(TColor Color, int Alpha) {
  const COLORREF c = ColorToRGB(Color);
  const std::uint32_t a = static_cast<std::uint32_t>(std::clamp(Alpha, 0, 255));
  return (a << 24) | (static_cast<std::uint32_t>(GetRValue(c)) << 16) | (static_cast<std::uint32_t>(GetGValue(c)) << 8) |
         GetBValue(c);
}

TUiColor UiRGBA(int R, int G, int B, int A) {
  auto c = [](int v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
  return (c(A) << 24) | (c(R) << 16) | (c(G) << 8) | c(B);
}

TColor UiColorToColor(TUiColor Value) {
  return static_cast<TColor>(RGB(static_cast<BYTE>(Value >> 16), static_cast<BYTE>(Value >> 8), static_cast<BYTE>(Value)));
}

namespace {

// Nearest integer, ties to even (the default rounding mode).
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

int Channel(double v) { return std::clamp(RoundEven(v * 255), 0, 255); }

double HueToChannel(double t1, double t2, double x) {
  x -= std::floor(x);
  if (6 * x < 1) return t1 + (t2 - t1) * 6 * x;
  if (2 * x < 1) return t2;
  if (3 * x < 2) return t1 + (t2 - t1) * (2.0 / 3.0 - x) * 6;
  return t1;
}

struct TSharedColors {
  TUiColor BtnFace, Window, BtnShadow;
};

const TSharedColors& SharedColors() {
  static const TSharedColors c{UiColor(clBtnFace), UiColor(clWindow), UiColor(clBtnShadow)};
  return c;
}

}  // namespace

TUiColor UiRotateHue(TUiColor Value, int Delta) {
  const double r = ((Value >> 16) & 0xFF) / 255.0, g = ((Value >> 8) & 0xFF) / 255.0, b = (Value & 0xFF) / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  const double l = (mx + mn) / 2;
  double h = 0, s = 0;
  if (mx != mn) {
    const double d = mx - mn;
    s = l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    if (r == mx)
      h = (g - b) / d;
    else if (g == mx)
      h = (b - r) / d + 2;
    else
      h = (r - g) / d + 4;
    h /= 6;
    if (h < 0) h += 1;
  }
  // 255 steps around the circle, one correction each way.
  long long step = static_cast<long long>(RoundEven(h * 255)) + Delta;
  if (step >= 256) step -= 255;
  if (step < 0) step += 255;
  int cr, cg, cb;
  if (s == 0) {
    cr = cg = cb = Channel(l);
  } else {
    const double hh = static_cast<double>(step) / 255;
    const double t2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
    const double t1 = 2 * l - t2;
    cr = Channel(HueToChannel(t1, t2, hh + 1.0 / 3.0));
    cg = Channel(HueToChannel(t1, t2, hh));
    cb = Channel(HueToChannel(t1, t2, hh - 1.0 / 3.0));
  }
  return (Value & 0xFF000000u) | (static_cast<std::uint32_t>(cr) << 16) | (static_cast<std::uint32_t>(cg) << 8) |
         static_cast<std::uint32_t>(cb);
}

TUiColor UiBtnFaceColor() { return SharedColors().BtnFace; }
TUiColor UiWindowColor() { return SharedColors().Window; }
TUiColor UiBtnShadowColor() { return SharedColors().BtnShadow; }

// ---------------------------------------------------------------- life

TUiBitmap::TUiBitmap() : FFont(std::make_unique<TFont>()) {
  FInfo.bmiHeader.biSize = 40;
  FInfo.bmiHeader.biPlanes = 1;
  FInfo.bmiHeader.biBitCount = 32;
  FInfo.bmiHeader.biCompression = BI_RGB;
}

TUiBitmap::~TUiBitmap() { FreeHandles(); }

void TUiBitmap::FreeHandles() {
  if (FDC) {
    SelectObject(FDC, FOldBitmap);
    DeleteDC(FDC);
  }
  if (FBitmap) DeleteObject(FBitmap);
  FDC = nullptr;
  FBitmap = nullptr;
  FOldBitmap = nullptr;
  FBits = nullptr;
  FWidth = FHeight = 0;
  FInfo.bmiHeader.biWidth = 0;
  FInfo.bmiHeader.biHeight = 0;
}

void TUiBitmap::Changed() {
  if (OnChange) OnChange(this);
}

void TUiBitmap::SetSize(int AWidth, int AHeight) {
  const long long w = std::llabs(static_cast<long long>(AWidth)), h = std::llabs(static_cast<long long>(AHeight));
  if (w == 0 || h == 0 || (w == FWidth && h == FHeight)) return;
  FreeHandles();
  const char* failure = nullptr;
  if (w > INT_MAX || h > INT_MAX) {
    failure = "Can't allocate the DIB handle";
  } else {
    BITMAPINFO info = FInfo;
    info.bmiHeader.biWidth = static_cast<LONG>(w);
    info.bmiHeader.biHeight = -static_cast<LONG>(h);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = bitmap ? CreateCompatibleDC(nullptr) : nullptr;
    HGDIOBJ old = dc ? SelectObject(dc, bitmap) : nullptr;
    if (!bitmap) {
      failure = "Can't allocate the DIB handle";
    } else if (!dc) {
      DeleteObject(bitmap);
      failure = "Can't create compatible DC";
    } else if (!old) {
      DeleteDC(dc);
      DeleteObject(bitmap);
      failure = "Can't select an object into DC";
    } else {
      FInfo = info;
      FBitmap = bitmap;
      FDC = dc;
      FOldBitmap = old;
      FBits = static_cast<std::uint32_t*>(bits);
      FWidth = static_cast<int>(w);
      FHeight = static_cast<int>(h);
    }
  }
  Changed();
  if (failure) throw EUiBitmapError(failure);
}

void TUiBitmap::Assign(const TPersistent* Source) {
  if (auto* b = dynamic_cast<const TUiBitmap*>(Source)) {
    if (b == this) return;
    if (b->Empty()) {
      if (!Empty()) {
        FreeHandles();
        Changed();
      }
    } else {
      SetSize(b->FWidth, b->FHeight);
      std::memcpy(FBits, b->FBits, static_cast<std::size_t>(FWidth) * FHeight * 4);
    }
    FName = b->FName;
    FAlphaBlend = b->FAlphaBlend;
    return;
  }
  TPersistent::Assign(Source);
}

// ---------------------------------------------------------------- pixels

namespace {

// R within (0, 0, w, h); empty rectangles come back with Right <= Left.
TRect Clipped(const TRect& r, int w, int h) {
  return TRect{std::max(r.Left, 0), std::max(r.Top, 0), std::min(r.Right, w), std::min(r.Bottom, h)};
}
bool IsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

}  // namespace

void TUiBitmap::Fill(TUiColor Value) {
  if (Empty()) return;
  std::fill(FBits, FBits + static_cast<std::size_t>(FWidth) * FHeight, Value);
}

void TUiBitmap::FillRect(const TRect& R, TUiColor Value) {
  const TRect c = Clipped(R, FWidth, FHeight);
  if (Empty() || IsEmpty(c)) return;
  const std::vector<std::uint32_t> value(FAlphaBlend ? static_cast<std::size_t>(c.Right - c.Left) : 0, Value);
  for (int y = c.Top; y < c.Bottom; ++y) {
    std::uint32_t* row = ScanLine(y) + c.Left;
    if (FAlphaBlend)
      UiBlendRow(row, value.data(), row, c.Right - c.Left);
    else
      std::fill(row, row + (c.Right - c.Left), Value);
  }
}

void TUiBitmap::SetAlpha(std::uint8_t Alpha) { SetAlphaRect(TRect{0, 0, FWidth, FHeight}, Alpha); }

void TUiBitmap::SetAlphaRect(const TRect& R, std::uint8_t Alpha) {
  const TRect c = Clipped(R, FWidth, FHeight);
  if (Empty() || IsEmpty(c)) return;
  const std::uint32_t a = static_cast<std::uint32_t>(Alpha) << 24;
  for (int y = c.Top; y < c.Bottom; ++y) {
    std::uint32_t* row = ScanLine(y);
    for (int x = c.Left; x < c.Right; ++x) row[x] = (row[x] & 0x00FFFFFFu) | a;
  }
}

void TUiBitmap::ReplaceKey(TUiColor Color) {
  if (Empty()) return;
  const std::uint32_t rgb = Color & 0x00FFFFFFu;
  std::uint32_t* p = FBits;
  const std::size_t n = static_cast<std::size_t>(FWidth) * FHeight;
  for (std::size_t i = 0; i < n; ++i) p[i] = (p[i] & 0x00FFFFFFu) == rgb ? UiTransparentKey : p[i];
}

TUiColor TUiBitmap::GetPixel(int X, int Y) const {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return 0;
  return ScanLine(Y)[X];
}

void TUiBitmap::SetPixel(int X, int Y, TUiColor Value) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return;
  ScanLine(Y)[X] = Value;
}

HRGN TUiBitmap::GetRegion(int X, int Y) const {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (Empty()) return region;
  std::vector<RECT> runs;
  runs.reserve(1501);
  const std::uint32_t key = UiTransparentKey & 0x00FFFFFFu;
  for (int y = 0; y < FHeight; ++y) {
    const std::uint32_t* row = ScanLine(y);
    int x = 0;
    while (x < FWidth) {
      while (x < FWidth && (row[x] & 0x00FFFFFFu) == key) ++x;
      if (x == FWidth) break;
      const int start = x;
      while (x < FWidth && (row[x] & 0x00FFFFFFu) != key) ++x;
      runs.push_back(RECT{start + X, y + Y, x + X, y + Y + 1});
    }
  }
  rgn::Assign(*region, rgn::FromRects(std::move(runs)));
  return region;
}

void TUiBitmap::ChangeHue(int Delta) {
  if (Empty()) return;
  std::uint32_t* p = FBits;
  const std::size_t n = static_cast<std::size_t>(FWidth) * FHeight;
  // Skins repeat colours in long runs: one rotation per run.
  std::uint32_t lastIn = 0, lastOut = 0;
  bool have = false;
  for (std::size_t i = 0; i < n; ++i) {
    if ((p[i] >> 24) == 0) continue;
    const std::uint32_t rgb = p[i] & 0x00FFFFFFu;
    if (!have || rgb != lastIn) {
      lastIn = rgb;
      lastOut = UiRotateHue(rgb, Delta) & 0x00FFFFFFu;
      have = true;
    }
    p[i] = 0xFF000000u | lastOut;
  }
}

// ---------------------------------------------------------------- streams

namespace {

constexpr std::int64_t MaxPixels = 1LL << 28;  // the platform's largest surface
constexpr std::int64_t DirectReadBytes = 16LL << 20;

std::int32_t ReadInt(TStream* s) {
  unsigned char b[4];
  s->ReadBuffer(b, 4);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
                                   (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

void WriteInt(TStream* s, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  const unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                              static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  s->WriteBuffer(b, 4);
}

// Grows with the bytes that arrive, so a hostile length costs only what the
// stream really holds.
std::string ReadText(TStream* s) {
  const std::int32_t n = ReadInt(s);
  if (n < 0) throw EReadError("Stream read error");
  std::string text;
  std::int64_t left = n;
  while (left > 0) {
    const std::int64_t chunk = std::min<std::int64_t>(left, 1 << 16);
    const std::size_t at = text.size();
    text.resize(at + static_cast<std::size_t>(chunk));
    s->ReadBuffer(text.data() + at, chunk);
    left -= chunk;
  }
  return text;
}

}  // namespace

void TUiBitmap::LoadFromStream(TStream* Stream) {
  FName = ReadText(Stream);
  const std::int32_t w = ReadInt(Stream), h = ReadInt(Stream);
  const std::int64_t aw = std::llabs(static_cast<std::int64_t>(w)), ah = std::llabs(static_cast<std::int64_t>(h));
  if (aw * ah > MaxPixels) throw EReadError("Stream read error");
  const std::int64_t bytes = aw * ah * 4;
  const bool withPixels = w > 0 && h > 0;
  if (withPixels && bytes > DirectReadBytes) {
    // Large: the bytes first, then the surface they fill.
    std::vector<unsigned char> data;
    for (std::int64_t got = 0; got < bytes;) {
      const std::int64_t chunk = std::min<std::int64_t>(bytes - got, DirectReadBytes);
      data.resize(static_cast<std::size_t>(got + chunk));
      Stream->ReadBuffer(data.data() + got, chunk);
      got += chunk;
    }
    SetSize(w, h);
    std::memcpy(FBits, data.data(), data.size());
    return;
  }
  if (!withPixels && bytes > DirectReadBytes) throw EReadError("Stream read error");
  SetSize(w, h);
  if (withPixels && FWidth == w && FHeight == h) Stream->ReadBuffer(FBits, bytes);
}

void TUiBitmap::SaveToStream(TStream* Stream) const {
  WriteInt(Stream, static_cast<std::int32_t>(FName.size()));
  Stream->WriteBuffer(FName.data(), static_cast<std::int64_t>(FName.size()));
  WriteInt(Stream, FWidth);
  WriteInt(Stream, FHeight);
  Stream->WriteBuffer(FBits, static_cast<std::int64_t>(FWidth) * FHeight * 4);
}

}  // namespace vorra
