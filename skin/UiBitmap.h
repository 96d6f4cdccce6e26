// The skin engine's one raster type: a 32-bit top-down DIB section with alpha
// and a memory DC on it. Engine colours are 0xAARRGGBB values, the layout of
// the pixels themselves; the key 0x007F007F marks pixels outside a skin shape.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "framework/Component.h"
#include "framework/Graphics.h"
#include "framework/Streams.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Region.h"

namespace vorra {

using TUiColor = std::uint32_t;

// Not part of any shape: blue 0x7F, green 0, red 0x7F, alpha 0.
inline constexpr TUiColor UiTransparentKey = 0x007F007F;

// A class-library colour (system colours resolved) with the given alpha.
TUiColor UiColor(TColor Color, int Alpha = 255);
// Each component clamped to 0..255.
TUiColor UiRGBA(int R, int G, int B, int A);
// The lower three bytes back as an RGB colour.
TColor UiColorToColor(TUiColor Value);

// s over d: alpha 255 gives s, 0 gives d, otherwise every byte (alpha
// included) is (a*s + 128) >> 8 plus ((255-a)*d + 128) >> 8. Two bytes per
// multiplication; a byte's product stays below 65536, so lanes never carry.
inline TUiColor UiBlend(TUiColor s, TUiColor d) {
  const std::uint32_t a = s >> 24;
  const std::uint32_t na = 255 - a;
  const std::uint32_t rb = ((((s & 0x00FF00FFu) * a + 0x00800080u) >> 8) & 0x00FF00FFu) +
                           ((((d & 0x00FF00FFu) * na + 0x00800080u) >> 8) & 0x00FF00FFu);
  const std::uint32_t ag = (((((s >> 8) & 0x00FF00FFu) * a + 0x00800080u) >> 8) & 0x00FF00FFu) +
                           (((((d >> 8) & 0x00FF00FFu) * na + 0x00800080u) >> 8) & 0x00FF00FFu);
  const std::uint32_t mixed = rb | (ag << 8);
  return a == 255 ? s : a == 0 ? d : mixed;
}

// One colour turned around the hue circle by Delta steps of 255; the alpha
// byte is kept.
TUiColor UiRotateHue(TUiColor Value, int Delta);

// The process-wide colours prepared once: button face, window, button shadow.
TUiColor UiBtnFaceColor();
TUiColor UiWindowColor();
TUiColor UiBtnShadowColor();

class EUiBitmapError : public Exception {
 public:
  using Exception::Exception;
};

class TUiBitmap : public TPersistent {
 public:
  TUiBitmap();
  ~TUiBitmap() override;
  TUiBitmap(const TUiBitmap&) = delete;
  TUiBitmap& operator=(const TUiBitmap&) = delete;
  // Size, pixels, name and alpha mode.
  void Assign(const TPersistent* Source) override;

  // Absolute values; nothing when either is 0 or the size is unchanged. The
  // new pixels are unspecified. OnChange follows every attempt.
  void SetSize(int AWidth, int AHeight);
  bool Empty() const { return FBitmap == nullptr; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  std::uint32_t* Bits() { return FBits; }
  const std::uint32_t* Bits() const { return FBits; }
  std::uint32_t* ScanLine(int y) { return FBits + static_cast<std::size_t>(y) * FWidth; }
  const std::uint32_t* ScanLine(int y) const { return FBits + static_cast<std::size_t>(y) * FWidth; }
  win::HBITMAP Handle() const { return FBitmap; }
  win::HDC DC() const { return FDC; }
  const win::BITMAPINFO& BitmapInfo() const { return FInfo; }

  const std::string& Name() const { return FName; }
  void SetName(const std::string& v) { FName = v; }
  // Drawing from this image and filling it honour alpha.
  bool AlphaBlend() const { return FAlphaBlend; }
  void SetAlphaBlend(bool v) { FAlphaBlend = v; }
  TFont* Font() { return FFont.get(); }
  void SetFont(const TFont* AFont) { FFont->Assign(AFont); }
  TNotifyEvent OnChange;

  void Fill(TUiColor Value);
  void FillRect(const TRect& R, TUiColor Value);
  void SetAlpha(std::uint8_t Alpha);
  void SetAlphaRect(const TRect& R, std::uint8_t Alpha);
  // Pixels whose blue, green and red equal Color's become the key.
  void ReplaceKey(TUiColor Color);

  // SrcRect of this image to (X, Y) of Target.
  void Draw(TUiBitmap* Target, int X, int Y, const TRect& SrcRect) const;
  void DrawAll(TUiBitmap* Target, int X, int Y) const;
  // Nearest source pixel by 16.16 stepping.
  void Stretch(TUiBitmap* Target, const TRect& DstRect, const TRect& SrcRect) const;
  void Tile(TUiBitmap* Target, const TRect& DstRect, const TRect& SrcRect) const;
  // Lays this image over Background's R (shifted by X, Y into this image):
  // opaque pixels stay, clear ones take the background, others blend over it.
  void MergeUnder(const TUiBitmap* Background, int X, int Y, const TRect& R);

  void CopyToDC(win::HDC DC, int X, int Y) const;
  void CopyRectToDC(win::HDC DC, int X, int Y, const TRect& R) const;
  void CopyToCanvas(TCanvas* Canvas, int X, int Y) const;

  void FrameRect(const TRect& R, TUiColor TopLeft, TUiColor BottomRight);
  void FrameRect(const TRect& R, TUiColor Color) { FrameRect(R, Color, Color); }
  void RoundRect(const TRect& R, int Corner, TUiColor Color);
  // Filled with Color; pixels whose column and row are both even or both odd
  // take Value.
  void CheckerRect(const TRect& R, TUiColor Color, TUiColor Value);
  void GradientRect(const TRect& R, TUiColor Start, bool Vertical, TUiColor End);
  void MoveTo(int X, int Y);
  void LineTo(int X, int Y, TUiColor Color);
  TPoint PenPos() const { return FPenPos; }

  int TextHeight(const std::string& Text);
  int TextWidth(const std::string& Text, unsigned Flags = 0);
  // Transparent background, the font's colour, DrawTextA's flags.
  void DrawText(const std::string& Text, const TRect& R, unsigned Flags);
  // Clockwise: reads top to bottom (a tab on the right); otherwise bottom to top.
  void DrawRotatedText(const std::string& Text, const TRect& R, bool Clockwise, unsigned Flags);

  // 0 outside the image.
  TUiColor GetPixel(int X, int Y) const;
  void SetPixel(int X, int Y, TUiColor Value);
  // Every pixel whose blue, green and red differ from the key's, one
  // rectangle per run of a row, shifted by (X, Y). The caller owns it; an
  // empty image gives an empty region.
  win::HRGN GetRegion(int X, int Y) const;
  // Rotates every pixel whose alpha is not 0, which then becomes opaque.
  void ChangeHue(int Delta);

  // Name, width, height, then the pixels when the size could be taken.
  // Reads raise EReadError on short input; a size the rest of the stream
  // cannot hold raises before anything is allocated.
  void LoadFromStream(TStream* Stream);
  void SaveToStream(TStream* Stream) const;

 private:
  void FreeHandles();
  void Changed();
  win::BITMAPINFO FInfo{};
  win::HBITMAP FBitmap = nullptr;
  win::HDC FDC = nullptr;
  win::HGDIOBJ FOldBitmap = nullptr;
  std::uint32_t* FBits = nullptr;
  int FWidth = 0, FHeight = 0;
  std::string FName;
  bool FAlphaBlend = false;
  std::unique_ptr<TFont> FFont;
  TPoint FPenPos;
};

}  // namespace vorra
