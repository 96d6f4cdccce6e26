#include "framework/Graphics.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "framework/DateTime.h"
#include "platform/ui/Png.h"
#include "platform/ui/Window.h"

namespace vorra {

using namespace win;

COLORREF ColorToRGB(TColor Color) {
  if (Color < 0) return GetSysColor(Color & 0xFF);
  return static_cast<COLORREF>(Color) & 0xFFFFFF;
}

// ---------------------------------------------------------------- objects

void TGraphicsObject::Changed() {
  if (FCanvas) FCanvas->DeselectHandles();
  FreeHandle();
  if (OnChange) OnChange(this);
}

TFont::TFont() = default;
TFont::~TFont() {
  if (FCanvas) FCanvas->DeselectHandles();
  FreeHandle();
}

void TFont::Assign(const TPersistent* Source) {
  if (auto* f = dynamic_cast<const TFont*>(Source)) {
    if (f == this) return;
    if (FName == f->FName && FHeight == f->FHeight && FStyle == f->FStyle && FColor == f->FColor) return;
    FName = f->FName;
    FHeight = f->FHeight;
    FStyle = f->FStyle;
    FColor = f->FColor;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TFont::SetName(const std::string& v) {
  if (v.empty() || v == FName) return;
  FName = v;
  Changed();
}

int TFont::Size() const { return -MulDiv(FHeight, 72, PixelsPerInch()); }

void TFont::SetSize(int v) { SetHeight(-MulDiv(v, PixelsPerInch(), 72)); }

void TFont::SetHeight(int v) {
  if (v == FHeight) return;
  FHeight = v;
  Changed();
}

void TFont::SetStyle(TFontStyles v) {
  if (v == FStyle) return;
  FStyle = v;
  Changed();
}

void TFont::SetColor(TColor v) {
  if (v == FColor) return;
  FColor = v;
  // The colour is not part of the GDI font.
  if (OnChange) OnChange(this);
}

HFONT TFont::Handle() {
  if (!FHandle) {
    LOGFONTA lf;
    lf.lfHeight = FHeight;
    lf.lfWeight = FStyle.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = FStyle.Contains(fsItalic);
    lf.lfUnderline = FStyle.Contains(fsUnderline);
    lf.lfStrikeOut = FStyle.Contains(fsStrikeOut);
    std::strncpy(lf.lfFaceName, FName.c_str(), LF_FACESIZE - 1);
    FHandle = CreateFontIndirectA(&lf);
  }
  return FHandle;
}

void TFont::FreeHandle() {
  if (FHandle) DeleteObject(reinterpret_cast<HGDIOBJ>(FHandle));
  FHandle = nullptr;
}

TBrush::~TBrush() {
  if (FCanvas) FCanvas->DeselectHandles();
  FreeHandle();
}

void TBrush::Assign(const TPersistent* Source) {
  if (auto* b = dynamic_cast<const TBrush*>(Source)) {
    if (b == this || (FColor == b->FColor && FStyle == b->FStyle)) return;
    FColor = b->FColor;
    FStyle = b->FStyle;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TBrush::SetColor(TColor v) {
  if (v == FColor && FStyle == bsSolid) return;
  FColor = v;
  FStyle = bsSolid;  // as the class library: a colour makes the brush solid
  Changed();
}

void TBrush::SetStyle(TBrushStyle v) {
  if (v == FStyle) return;
  FStyle = v;
  Changed();
}

HBRUSH TBrush::Handle() {
  if (FStyle == bsClear) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  if (!FHandle) FHandle = CreateSolidBrush(ColorToRGB(FColor));
  return FHandle;
}

void TBrush::FreeHandle() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

TPen::~TPen() {
  if (FCanvas) FCanvas->DeselectHandles();
  FreeHandle();
}

void TPen::Assign(const TPersistent* Source) {
  if (auto* p = dynamic_cast<const TPen*>(Source)) {
    if (p == this) return;
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TPen::SetColor(TColor v) {
  if (v == FColor) return;
  FColor = v;
  Changed();
}

void TPen::SetWidth(int v) {
  if (v < 1 || v == FWidth) return;
  FWidth = v;
  Changed();
}

void TPen::SetStyle(TPenStyle v) {
  if (v == FStyle) return;
  FStyle = v;
  Changed();
}

HPEN TPen::Handle() {
  if (!FHandle) FHandle = CreatePen(FStyle == psClear ? PS_NULL : PS_SOLID, FWidth, ColorToRGB(FColor));
  return FHandle;
}

void TPen::FreeHandle() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

// ---------------------------------------------------------------- canvas

TCanvas::TCanvas() : FFont(new TFont), FBrush(new TBrush), FPen(new TPen) {
  FFont->FCanvas = this;
  FBrush->FCanvas = this;
  FPen->FCanvas = this;
}

TCanvas::~TCanvas() {
  DeselectHandles();
  FFont->FCanvas = FBrush->FCanvas = FPen->FCanvas = nullptr;
}

void TCanvas::SetHandle(HDC v) {
  if (v == FHandle) return;
  DeselectHandles();
  FHandle = v;
}

void TCanvas::DeselectHandles() {
  if (!FSelected) return;
  FSelected = false;
  if (FHandle && gdi::IsLive(FHandle)) {
    SelectObject(FHandle, FOldFont);
    SelectObject(FHandle, FOldBrush);
    SelectObject(FHandle, FOldPen);
  }
  FOldFont = FOldBrush = FOldPen = nullptr;
}

void TCanvas::RequireState() {
  if (!FHandle) CreateHandle();
  if (!FHandle) throw EInvalidGraphic("Canvas does not allow drawing");
  if (!FSelected) {
    FOldFont = SelectObject(FHandle, reinterpret_cast<HGDIOBJ>(FFont->Handle()));
    FOldBrush = SelectObject(FHandle, FBrush->Handle());
    FOldPen = SelectObject(FHandle, FPen->Handle());
    FSelected = true;
  }
  SetTextColor(FHandle, ColorToRGB(FFont->Color()));
  SetBkColor(FHandle, ColorToRGB(FBrush->Color()));
  SetBkMode(FHandle, FBrush->Style() == bsClear ? TRANSPARENT : OPAQUE);
}

void TCanvas::FillRect(const TRect& r) {
  RequireState();
  const RECT rc = r.ToRECT();
  win::FillRect(FHandle, &rc, FBrush->Handle());
}

void TCanvas::FrameRect(const TRect& r) {
  RequireState();
  const RECT rc = r.ToRECT();
  win::FrameRect(FHandle, &rc, FBrush->Handle());
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  RequireState();
  win::Rectangle(FHandle, x1, y1, x2, y2);
}

void TCanvas::MoveTo(int x, int y) {
  RequireState();
  MoveToEx(FHandle, x, y, nullptr);
}

void TCanvas::LineTo(int x, int y) {
  RequireState();
  win::LineTo(FHandle, x, y);
}

TPoint TCanvas::PenPos() {
  RequireState();
  POINT p;
  GetCurrentPositionEx(FHandle, &p);
  return TPoint{p.x, p.y};
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  RequireState();
  TextOutA(FHandle, x, y, text.data(), static_cast<int>(text.size()));
}

void TCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  RequireState();
  const RECT rc = r.ToRECT();
  UINT options = ETO_CLIPPED;
  if (FBrush->Style() != bsClear) options |= ETO_OPAQUE;
  ExtTextOutA(FHandle, x, y, options, &rc, text.data(), static_cast<UINT>(text.size()), nullptr);
}

int TCanvas::DrawText(const std::string& text, TRect& r, unsigned format) {
  RequireState();
  RECT rc = r.ToRECT();
  const int h = DrawTextA(FHandle, text.c_str(), static_cast<int>(text.size()), &rc, format);
  r = TRect::From(rc);
  return h;
}

SIZE TCanvas::TextExtent(const std::string& text) {
  RequireState();
  SIZE s;
  GetTextExtentPoint32A(FHandle, text.data(), static_cast<int>(text.size()), &s);
  return s;
}

void TCanvas::Draw(int x, int y, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  graphic->Draw(this, Bounds(x, y, graphic->Width(), graphic->Height()));
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* graphic) {
  if (!graphic || graphic->Empty()) return;
  graphic->Draw(this, r);
}

COLORREF TCanvas::Pixel(int x, int y) {
  RequireState();
  return GetPixel(FHandle, x, y);
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  RequireState();
  win::SetPixel(FHandle, x, y, ColorToRGB(c));
}

// ---------------------------------------------------------------- graphics

void TGraphic::SetTransparent(bool v) {
  if (v == FTransparent) return;
  FTransparent = v;
  Changed();
}

void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

// A memory DC with the bitmap selected, made when first drawn on.
class TBitmap::TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* bitmap) : FBitmap(bitmap) {}
  ~TBitmapCanvas() override { FreeContext(); }
  void FreeContext() {
    HDC dc = Handle();
    if (!dc) return;
    SetHandle(nullptr);
    if (FOldBitmap) SelectObject(dc, FOldBitmap);
    FOldBitmap = nullptr;
    DeleteDC(dc);
  }

 protected:
  void CreateHandle() override {
    if (!FBitmap->FHandle) return;
    HDC dc = CreateCompatibleDC(nullptr);
    FOldBitmap = SelectObject(dc, FBitmap->FHandle);
    SetHandle(dc);
  }

 private:
  TBitmap* FBitmap;
  HGDIOBJ FOldBitmap = nullptr;
};

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int AWidth, int AHeight) { SetSize(AWidth, AHeight); }

TBitmap::~TBitmap() {
  FCanvas.reset();
  if (FHandle) DeleteObject(FHandle);
}

void TBitmap::Reset(HBITMAP bitmap, int w, int h, std::uint32_t* bits) {
  if (FCanvas) static_cast<TBitmapCanvas*>(FCanvas.get())->FreeContext();
  if (FHandle) DeleteObject(FHandle);
  FHandle = bitmap;
  FBits = bits;
  FWidth = bitmap ? w : 0;
  FHeight = bitmap ? h : 0;
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == FWidth && AHeight == FHeight) return;
  HBITMAP bmp = nullptr;
  void* bits = nullptr;
  if (AWidth > 0 && AHeight > 0) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = AWidth;
    bi.bmiHeader.biHeight = -AHeight;
    bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bmp) throw EInvalidGraphic("Out of system resources");
    // Keep what fits of the old picture, as resizing a bitmap does.
    if (FBits) {
      auto* dst = static_cast<std::uint32_t*>(bits);
      for (int y = 0; y < std::min(AHeight, FHeight); ++y)
        std::memcpy(dst + static_cast<size_t>(y) * AWidth, FBits + static_cast<size_t>(y) * FWidth,
                    sizeof(std::uint32_t) * static_cast<size_t>(std::min(AWidth, FWidth)));
    }
  }
  Reset(bmp, AWidth, AHeight, static_cast<std::uint32_t*>(bits));
  Changed();
}

void TBitmap::Assign(const TPersistent* Source) {
  if (auto* b = dynamic_cast<const TBitmap*>(Source)) {
    if (b == this) return;
    Reset(nullptr, 0, 0, nullptr);
    SetSize(b->FWidth, b->FHeight);
    if (FBits && b->FBits)
      std::memcpy(FBits, b->FBits, sizeof(std::uint32_t) * static_cast<size_t>(FWidth) * FHeight);
    FTransparent = b->FTransparent;
    FTransparentColor = b->FTransparentColor;
    Changed();
    return;
  }
  if (!Source) {
    Reset(nullptr, 0, 0, nullptr);
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TBitmapCanvas>(this);
  return FCanvas.get();
}

std::uint32_t* TBitmap::ScanLine(int y) {
  if (!FBits || y < 0 || y >= FHeight) throw EInvalidGraphic("Scan line index out of range");
  return FBits + static_cast<size_t>(y) * FWidth;
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentColor != clDefault || !FBits) return FTransparentColor;
  const std::uint32_t p = FBits[static_cast<size_t>(FHeight - 1) * FWidth];
  return static_cast<TColor>(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& r) {
  if (Empty() || !ACanvas) return;
  if (ACanvas == FCanvas.get()) return;
  // A bitmap sits in one DC at a time: its own canvas lets go of it first.
  if (FCanvas) static_cast<TBitmapCanvas*>(FCanvas.get())->FreeContext();
  HDC dest = ACanvas->Handle();
  if (!dest) return;
  HDC src = CreateCompatibleDC(nullptr);
  if (!FTransparent) {
    HGDIOBJ old = SelectObject(src, FHandle);
    if (r.Width() == FWidth && r.Height() == FHeight)
      BitBlt(dest, r.Left, r.Top, FWidth, FHeight, src, 0, 0, SRCCOPY);
    else
      StretchBlt(dest, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, FWidth, FHeight, SRCCOPY);
    SelectObject(src, old);
  } else {
    // The transparent colour becomes alpha 0, everything else opaque, and
    // the copy is blended: clipping and origins stay the DC's business.
    TBitmap mask(FWidth, FHeight);
    const COLORREF key = ColorToRGB(TransparentColor());
    const std::uint32_t keyPixel = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
    const size_t n = static_cast<size_t>(FWidth) * FHeight;
    for (size_t i = 0; i < n; ++i) {
      const std::uint32_t p = FBits[i] & 0xFFFFFF;
      mask.FBits[i] = p == keyPixel ? 0 : (p | 0xFF000000u);
    }
    HGDIOBJ old = SelectObject(src, mask.FHandle);
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dest, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, FWidth, FHeight, bf);
    SelectObject(src, old);
  }
  DeleteDC(src);
}

void TBitmap::LoadFromFile(const std::string& FileName) {
  HBITMAP bmp = LoadPng(FileName);
  if (!bmp) throw EInvalidGraphic("Cannot load the picture \"" + FileName + "\"");
  BITMAP info{};
  GetObject(bmp, sizeof(info), &info);
  Reset(bmp, info.bmWidth, info.bmHeight, static_cast<std::uint32_t*>(info.bmBits));
  Changed();
}

void TBitmap::SaveToFile(const std::string& FileName) {
  if (!FHandle || !SavePng(FileName, FHandle)) throw EInvalidGraphic("Cannot save the picture \"" + FileName + "\"");
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

TBitmap* TPicture::Bitmap() {
  if (!FBitmap) {
    FBitmap = std::make_unique<TBitmap>();
    FBitmap->OnChange = [this](TObject*) { Changed(); };
  }
  return FBitmap.get();
}

void TPicture::Assign(const TPersistent* Source) {
  if (!Source) {
    FBitmap.reset();
    Changed();
  } else if (auto* p = dynamic_cast<const TPicture*>(Source)) {
    if (p == this) return;
    if (p->FBitmap)
      Bitmap()->Assign(p->FBitmap.get());
    else
      Assign(nullptr);
  } else if (auto* b = dynamic_cast<const TBitmap*>(Source)) {
    Bitmap()->Assign(b);
  } else {
    TPersistent::Assign(Source);
  }
}

void TPicture::LoadFromFile(const std::string& FileName) { Bitmap()->LoadFromFile(FileName); }

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

}  // namespace vorra
