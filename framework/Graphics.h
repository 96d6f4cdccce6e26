// Colours, fonts, brushes, pens, the canvas over a device context, and
// 32-bit bitmaps: the drawing side of the class library.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "framework/Component.h"
#include "framework/SysUtils.h"
#include "framework/Set.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Text.h"

namespace vorra {

// A COLORREF, or a system colour: 0x80000000 | COLOR_xxx, resolved through
// GetSysColor when drawing.
using TColor = std::int32_t;

inline constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
inline constexpr TColor clScrollBar = clSystemColor | 0;
inline constexpr TColor clBackground = clSystemColor | 1;
inline constexpr TColor clActiveCaption = clSystemColor | 2;
inline constexpr TColor clInactiveCaption = clSystemColor | 3;
inline constexpr TColor clMenu = clSystemColor | 4;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowFrame = clSystemColor | 6;
inline constexpr TColor clMenuText = clSystemColor | 7;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clCaptionText = clSystemColor | 9;
inline constexpr TColor clActiveBorder = clSystemColor | 10;
inline constexpr TColor clInactiveBorder = clSystemColor | 11;
inline constexpr TColor clAppWorkSpace = clSystemColor | 12;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clGrayText = clSystemColor | 17;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clInactiveCaptionText = clSystemColor | 19;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor cl3DDkShadow = clSystemColor | 21;
inline constexpr TColor cl3DLight = clSystemColor | 22;
inline constexpr TColor clInfoText = clSystemColor | 23;
inline constexpr TColor clInfoBk = clSystemColor | 24;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

// The RGB value to draw with.
win::COLORREF ColorToRGB(TColor Color);

struct TPoint {
  int X = 0;
  int Y = 0;
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(TPoint p) const { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  bool operator==(const TRect&) const = default;
  win::RECT ToRECT() const { return win::RECT{Left, Top, Right, Bottom}; }
  static TRect From(const win::RECT& r) { return TRect{r.left, r.top, r.right, r.bottom}; }
};
inline TRect Rect(int l, int t, int r, int b) { return TRect{l, t, r, b}; }
inline TRect Bounds(int l, int t, int w, int h) { return TRect{l, t, l + w, t + h}; }

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TCanvas;

// Fonts, brushes and pens: settings that make a GDI object on demand.
class TGraphicsObject : public TPersistent {
 public:
  TNotifyEvent OnChange;

 protected:
  friend class TCanvas;
  // Lets go of the GDI object (after the canvas that uses it deselected it)
  // and tells OnChange.
  void Changed();
  virtual void FreeHandle() = 0;
  TCanvas* FCanvas = nullptr;  // the canvas this object belongs to, told first
};

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;

class TFont : public TGraphicsObject {
 public:
  TFont();
  ~TFont() override;
  void Assign(const TPersistent* Source) override;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& v);
  // Points at 96 pixels per inch; Height is the character height in pixels,
  // negative as the class library keeps it (Size 8 = Height -11).
  int Size() const;
  void SetSize(int v);
  int Height() const { return FHeight; }
  void SetHeight(int v);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles v);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  int PixelsPerInch() const { return 96; }

  win::HFONT Handle();

 protected:
  void FreeHandle() override;

 private:
  std::string FName = "MS Sans Serif";
  int FHeight = -11;
  TFontStyles FStyle;
  TColor FColor = clWindowText;
  win::HFONT FHandle = nullptr;
};

enum TBrushStyle { bsSolid, bsClear };

class TBrush : public TGraphicsObject {
 public:
  ~TBrush() override;
  void Assign(const TPersistent* Source) override;
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle v);
  win::HBRUSH Handle();

 protected:
  void FreeHandle() override;

 private:
  TColor FColor = clWhite;
  TBrushStyle FStyle = bsSolid;
  win::HBRUSH FHandle = nullptr;
};

enum TPenStyle { psSolid, psClear };

class TPen : public TGraphicsObject {
 public:
  ~TPen() override;
  void Assign(const TPersistent* Source) override;
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  int Width() const { return FWidth; }
  void SetWidth(int v);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle v);
  win::HPEN Handle();

 protected:
  void FreeHandle() override;

 private:
  TColor FColor = clBlack;
  int FWidth = 1;
  TPenStyle FStyle = psSolid;
  win::HPEN FHandle = nullptr;
};

class TGraphic;

// Draws on a device context it does not own; the font, brush and pen are
// selected before each drawing call and taken out again when the handle
// changes, so their objects can be freed.
class TCanvas : public TPersistent {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  win::HDC Handle() const { return FHandle; }
  void SetHandle(win::HDC v);
  bool HandleAllocated() const { return FHandle != nullptr; }

  TFont* Font() { return FFont.get(); }
  TBrush* Brush() { return FBrush.get(); }
  TPen* Pen() { return FPen.get(); }
  void SetFont(const TFont* v) { FFont->Assign(v); }

  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);
  void Rectangle(int x1, int y1, int x2, int y2);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  TPoint PenPos();
  void TextOut(int x, int y, const std::string& text);
  // Text clipped to r, drawn at x, y; the brush fills r first unless clear.
  void TextRect(const TRect& r, int x, int y, const std::string& text);
  // DrawTextA with the canvas font; answers the height drawn.
  int DrawText(const std::string& text, TRect& r, unsigned format);
  win::SIZE TextExtent(const std::string& text);
  int TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }
  void Draw(int x, int y, TGraphic* graphic);
  void StretchDraw(const TRect& r, TGraphic* graphic);
  win::COLORREF Pixel(int x, int y);
  void SetPixel(int x, int y, TColor c);
  // Takes the font, brush and pen out of the DC again.
  void DeselectHandles();

 protected:
  // Selects the current objects (after a change they are made anew).
  void RequireState();
  // Asked for a DC when the canvas has none (bitmap canvases make their own).
  virtual void CreateHandle() {}

 private:
  win::HDC FHandle = nullptr;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TBrush> FBrush;
  std::unique_ptr<TPen> FPen;
  bool FSelected = false;
  win::HGDIOBJ FOldFont = nullptr, FOldBrush = nullptr, FOldPen = nullptr;
};

// Something that draws itself on a canvas.
class TGraphic : public TPersistent {
 public:
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual bool Empty() const = 0;
  virtual void Draw(TCanvas* ACanvas, const TRect& r) = 0;
  virtual void LoadFromFile(const std::string& FileName) = 0;
  virtual void SaveToFile(const std::string& FileName) = 0;
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  TNotifyEvent OnChange;

 protected:
  void Changed();
  bool FTransparent = false;
};

class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

// A top-down 32-bit DIB section with a canvas on it.
class TBitmap : public TGraphic {
 public:
  TBitmap();
  TBitmap(int AWidth, int AHeight);
  ~TBitmap() override;
  void Assign(const TPersistent* Source) override;

  int Width() const override { return FWidth; }
  int Height() const override { return FHeight; }
  bool Empty() const override { return FWidth == 0 || FHeight == 0; }
  void SetWidth(int v) { SetSize(v, FHeight); }
  void SetHeight(int v) { SetSize(FWidth, v); }
  void SetSize(int AWidth, int AHeight);
  void Draw(TCanvas* ACanvas, const TRect& r) override;
  // PNG files.
  void LoadFromFile(const std::string& FileName) override;
  void SaveToFile(const std::string& FileName) override;

  win::HBITMAP Handle() const { return FHandle; }
  TCanvas* Canvas();
  // Pixels 0xAARRGGBB, row by row from the top.
  std::uint32_t* ScanLine(int y);
  // The colour left out when drawn transparent: clDefault means the
  // bottom-left pixel, as the class library chooses.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor v) { FTransparentColor = v; }

 private:
  class TBitmapCanvas;
  void Reset(win::HBITMAP bitmap, int w, int h, std::uint32_t* bits);
  win::HBITMAP FHandle = nullptr;
  std::uint32_t* FBits = nullptr;
  int FWidth = 0, FHeight = 0;
  TColor FTransparentColor = clDefault;
  std::unique_ptr<TCanvas> FCanvas;
};

// Holds one graphic (a bitmap here) for components that show pictures.
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;
  void Assign(const TPersistent* Source) override;
  TGraphic* Graphic() const { return FBitmap.get(); }
  TBitmap* Bitmap();
  void LoadFromFile(const std::string& FileName);
  int Width() const { return FBitmap ? FBitmap->Width() : 0; }
  int Height() const { return FBitmap ? FBitmap->Height() : 0; }
  TNotifyEvent OnChange;

 private:
  void Changed();
  std::unique_ptr<TBitmap> FBitmap;
};

}  // namespace vorra
