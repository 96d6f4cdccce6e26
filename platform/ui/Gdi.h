// Device contexts on 32-bit pixel surfaces, pens, brushes and the raster
// operations the skin engine draws with. Pixels sit in memory as blue, green,
// red, alpha (the 32-bit value 0xAARRGGBB); GDI's own drawing writes alpha 0,
// as on Windows. Coordinates go through the window and viewport origins;
// clip regions are in device coordinates.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ui/GdiObject.h"
#include "platform/ui/Region.h"

namespace win {

inline constexpr DWORD BI_RGB = 0;
inline constexpr UINT DIB_RGB_COLORS = 0;

struct BITMAPINFOHEADER {
  DWORD biSize = sizeof(BITMAPINFOHEADER);
  LONG biWidth = 0;
  LONG biHeight = 0;  // negative: rows run top to bottom
  WORD biPlanes = 1;
  WORD biBitCount = 32;
  DWORD biCompression = BI_RGB;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};

struct RGBQUAD {
  BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;  // null for bitmaps that are not DIB sections
};

struct BLENDFUNCTION {
  BYTE BlendOp;
  BYTE BlendFlags;
  BYTE SourceConstantAlpha;
  BYTE AlphaFormat;
};
inline constexpr BYTE AC_SRC_OVER = 0x00;
inline constexpr BYTE AC_SRC_ALPHA = 0x01;

// Raster operations (ternary codes: the index in bits 16..23 says the result
// for every combination of pattern, source and destination bits).
inline constexpr DWORD SRCCOPY = 0x00CC0020;
inline constexpr DWORD SRCPAINT = 0x00EE0086;
inline constexpr DWORD SRCAND = 0x008800C6;
inline constexpr DWORD SRCINVERT = 0x00660046;
inline constexpr DWORD SRCERASE = 0x00440328;
inline constexpr DWORD NOTSRCCOPY = 0x00330008;
inline constexpr DWORD NOTSRCERASE = 0x001100A6;
inline constexpr DWORD MERGECOPY = 0x00C000CA;
inline constexpr DWORD MERGEPAINT = 0x00BB0226;
inline constexpr DWORD PATCOPY = 0x00F00021;
inline constexpr DWORD PATPAINT = 0x00FB0A09;
inline constexpr DWORD PATINVERT = 0x005A0049;
inline constexpr DWORD DSTINVERT = 0x00550009;
inline constexpr DWORD BLACKNESS = 0x00000042;
inline constexpr DWORD WHITENESS = 0x00FF0062;

inline constexpr int BLACKONWHITE = 1;
inline constexpr int WHITEONBLACK = 2;
inline constexpr int COLORONCOLOR = 3;
inline constexpr int HALFTONE = 4;
inline constexpr int STRETCH_DELETESCANS = COLORONCOLOR;

inline constexpr int PS_SOLID = 0;
inline constexpr int PS_NULL = 5;

inline constexpr int WHITE_BRUSH = 0;
inline constexpr int LTGRAY_BRUSH = 1;
inline constexpr int GRAY_BRUSH = 2;
inline constexpr int DKGRAY_BRUSH = 3;
inline constexpr int BLACK_BRUSH = 4;
inline constexpr int NULL_BRUSH = 5;
inline constexpr int HOLLOW_BRUSH = NULL_BRUSH;
inline constexpr int WHITE_PEN = 6;
inline constexpr int BLACK_PEN = 7;
inline constexpr int NULL_PEN = 8;
inline constexpr int DC_BRUSH = 18;
inline constexpr int DC_PEN = 19;

inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

struct HPEN__ : HGDIOBJ__ {
  HPEN__() : HGDIOBJ__(TGdiKind::Pen) {}
  int Style = PS_SOLID;
  int Width = 1;
  COLORREF Color = 0;
};

struct HBRUSH__ : HGDIOBJ__ {
  HBRUSH__() : HGDIOBJ__(TGdiKind::Brush) {}
  bool Null = false;
  COLORREF Color = 0;
};

struct HBITMAP__ : HGDIOBJ__ {
  HBITMAP__() : HGDIOBJ__(TGdiKind::Bitmap) {}
  ~HBITMAP__() override;
  bool Busy() const override { return SelectedInto != nullptr; }
  LONG Width = 0, Height = 0;
  bool BottomUp = false;
  bool Dib = false;
  std::uint32_t* Bits = nullptr;
  HDC SelectedInto = nullptr;
  std::uint32_t* Row(LONG y) const { return Bits + static_cast<size_t>(BottomUp ? Height - 1 - y : y) * Width; }
};

// The surface of a DC: its selected bitmap's pixels, for code that draws
// directly (the skin bitmaps, PNG output). Null for an invalid DC.
HBITMAP GetDCBitmap(HDC hdc);

HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);
HBITMAP CreateCompatibleBitmap(HDC hdc, int width, int height);
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj);
HGDIOBJ GetStockObject(int which);
int GetObject(HGDIOBJ obj, int size, void* out);

HPEN CreatePen(int style, int width, COLORREF color);
HBRUSH CreateSolidBrush(COLORREF color);

COLORREF GetPixel(HDC hdc, int x, int y);
COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);

BOOL BitBlt(HDC dest, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop);
BOOL PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
int SetStretchBltMode(HDC hdc, int mode);
int GetStretchBltMode(HDC hdc);
BOOL StretchBlt(HDC dest, int xd, int yd, int wd, int hd, HDC src, int xs, int ys, int ws, int hs, DWORD rop);
BOOL AlphaBlend(HDC dest, int xd, int yd, int wd, int hd, HDC src, int xs, int ys, int ws, int hs, BLENDFUNCTION fn);

int FillRect(HDC hdc, const RECT* rc, HBRUSH brush);
int FrameRect(HDC hdc, const RECT* rc, HBRUSH brush);
BOOL FillRgn(HDC hdc, HRGN rgn, HBRUSH brush);
BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
// Corners are quarter ellipses of width x height; outlined with the pen,
// filled with the brush, right and bottom edges exclusive.
BOOL RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
BOOL MoveToEx(HDC hdc, int x, int y, POINT* old);
BOOL LineTo(HDC hdc, int x, int y);
BOOL GetCurrentPositionEx(HDC hdc, POINT* pt);

// Clipping; the region is copied, the caller keeps its own.
int SelectClipRgn(HDC hdc, HRGN rgn);
int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
int GetClipBox(HDC hdc, RECT* rc);

BOOL SetViewportOrgEx(HDC hdc, int x, int y, POINT* old);
BOOL OffsetViewportOrgEx(HDC hdc, int dx, int dy, POINT* old);
BOOL GetViewportOrgEx(HDC hdc, POINT* pt);
BOOL SetWindowOrgEx(HDC hdc, int x, int y, POINT* old);
BOOL OffsetWindowOrgEx(HDC hdc, int dx, int dy, POINT* old);
BOOL GetWindowOrgEx(HDC hdc, POINT* pt);

}  // namespace win
