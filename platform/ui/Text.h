// Fonts and text on device contexts. Faces come from fontconfig and are
// rendered by FreeType at 96 dots per inch; the Windows face names the
// program asks for map to metric-compatible installed faces. Text is UTF-8;
// bytes that are not valid UTF-8 draw as replacement glyphs. Glyphs are
// antialiased, blended in the text colour over the destination, clipped to
// the DC's clip region and written with alpha 0, as GDI's own drawing.
#pragma once

#include "platform/ui/Gdi.h"

namespace win {

inline constexpr int LF_FACESIZE = 32;

inline constexpr LONG FW_DONTCARE = 0;
inline constexpr LONG FW_THIN = 100;
inline constexpr LONG FW_LIGHT = 300;
inline constexpr LONG FW_NORMAL = 400;
inline constexpr LONG FW_REGULAR = 400;
inline constexpr LONG FW_MEDIUM = 500;
inline constexpr LONG FW_SEMIBOLD = 600;
inline constexpr LONG FW_BOLD = 700;
inline constexpr LONG FW_HEAVY = 900;

inline constexpr BYTE ANSI_CHARSET = 0;
inline constexpr BYTE DEFAULT_CHARSET = 1;
inline constexpr BYTE SYMBOL_CHARSET = 2;
inline constexpr BYTE OEM_CHARSET = 255;

inline constexpr BYTE OUT_DEFAULT_PRECIS = 0;
inline constexpr BYTE OUT_TT_PRECIS = 4;
inline constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
inline constexpr BYTE DEFAULT_QUALITY = 0;
inline constexpr BYTE NONANTIALIASED_QUALITY = 3;
inline constexpr BYTE ANTIALIASED_QUALITY = 4;
inline constexpr BYTE CLEARTYPE_QUALITY = 5;
inline constexpr BYTE DEFAULT_PITCH = 0;
inline constexpr BYTE FIXED_PITCH = 1;
inline constexpr BYTE VARIABLE_PITCH = 2;
inline constexpr BYTE FF_DONTCARE = 0 << 4;
inline constexpr BYTE FF_ROMAN = 1 << 4;
inline constexpr BYTE FF_SWISS = 2 << 4;
inline constexpr BYTE FF_MODERN = 3 << 4;

// Stock fonts (GetStockObject).
inline constexpr int OEM_FIXED_FONT = 10;
inline constexpr int ANSI_FIXED_FONT = 11;
inline constexpr int ANSI_VAR_FONT = 12;
inline constexpr int SYSTEM_FONT = 13;
inline constexpr int DEVICE_DEFAULT_FONT = 14;
inline constexpr int SYSTEM_FIXED_FONT = 16;
inline constexpr int DEFAULT_GUI_FONT = 17;

struct LOGFONTA {
  LONG lfHeight = 0;  // < 0: character (em) height in pixels; > 0: cell height; 0: default
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = FW_NORMAL;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = DEFAULT_CHARSET;
  BYTE lfOutPrecision = OUT_DEFAULT_PRECIS;
  BYTE lfClipPrecision = CLIP_DEFAULT_PRECIS;
  BYTE lfQuality = DEFAULT_QUALITY;
  BYTE lfPitchAndFamily = DEFAULT_PITCH;
  char lfFaceName[LF_FACESIZE] = {};
};

struct TEXTMETRICA {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  BYTE tmFirstChar;
  BYTE tmLastChar;
  BYTE tmDefaultChar;
  BYTE tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};

// A font is a GDI object like a pen: it converts to HGDIOBJ for
// SelectObject, GetObject and DeleteObject.
struct HFONT__ : HGDIOBJ__ {
  HFONT__() : HGDIOBJ__(TGdiKind::Font) {}
};
using HFONT = HFONT__*;

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR face);
HFONT CreateFontIndirectA(const LOGFONTA* lf);
// GetObject (Gdi.h) answers LOGFONTA for fonts; SelectObject selects them.

inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

inline constexpr UINT TA_NOUPDATECP = 0;
inline constexpr UINT TA_UPDATECP = 1;
inline constexpr UINT TA_LEFT = 0;
inline constexpr UINT TA_RIGHT = 2;
inline constexpr UINT TA_CENTER = 6;
inline constexpr UINT TA_TOP = 0;
inline constexpr UINT TA_BOTTOM = 8;
inline constexpr UINT TA_BASELINE = 24;
inline constexpr UINT TA_RTLREADING = 256;
inline constexpr UINT GDI_ERROR = 0xFFFFFFFF;

COLORREF SetTextColor(HDC hdc, COLORREF color);
COLORREF GetTextColor(HDC hdc);
COLORREF SetBkColor(HDC hdc, COLORREF color);
COLORREF GetBkColor(HDC hdc);
int SetBkMode(HDC hdc, int mode);
int GetBkMode(HDC hdc);
UINT SetTextAlign(HDC hdc, UINT align);
UINT GetTextAlign(HDC hdc);

inline constexpr UINT ETO_OPAQUE = 0x0002;
inline constexpr UINT ETO_CLIPPED = 0x0004;

// count is in bytes; -1 is not accepted here (as on Windows), use the length.
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count);
// dx, when given, holds one advance per character (UTF-8 sequence).
BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCSTR text, UINT count, const int* dx);
BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, SIZE* size);
BOOL GetTextMetricsA(HDC hdc, TEXTMETRICA* tm);
// The selected font's face name; returns the bytes copied (without the NUL),
// or the size needed including the NUL when name is null.
int GetTextFaceA(HDC hdc, int count, LPSTR name);

inline constexpr UINT DT_TOP = 0x00000000;
inline constexpr UINT DT_LEFT = 0x00000000;
inline constexpr UINT DT_CENTER = 0x00000001;
inline constexpr UINT DT_RIGHT = 0x00000002;
inline constexpr UINT DT_VCENTER = 0x00000004;
inline constexpr UINT DT_BOTTOM = 0x00000008;
inline constexpr UINT DT_WORDBREAK = 0x00000010;
inline constexpr UINT DT_SINGLELINE = 0x00000020;
inline constexpr UINT DT_EXPANDTABS = 0x00000040;
inline constexpr UINT DT_TABSTOP = 0x00000080;
inline constexpr UINT DT_NOCLIP = 0x00000100;
inline constexpr UINT DT_EXTERNALLEADING = 0x00000200;
inline constexpr UINT DT_CALCRECT = 0x00000400;
inline constexpr UINT DT_NOPREFIX = 0x00000800;
inline constexpr UINT DT_INTERNAL = 0x00001000;
inline constexpr UINT DT_EDITCONTROL = 0x00002000;
inline constexpr UINT DT_PATH_ELLIPSIS = 0x00004000;
inline constexpr UINT DT_END_ELLIPSIS = 0x00008000;
inline constexpr UINT DT_MODIFYSTRING = 0x00010000;
inline constexpr UINT DT_RTLREADING = 0x00020000;
inline constexpr UINT DT_WORD_ELLIPSIS = 0x00040000;
inline constexpr UINT DT_NOFULLWIDTHCHARBREAK = 0x00080000;
inline constexpr UINT DT_HIDEPREFIX = 0x00100000;
inline constexpr UINT DT_PREFIXONLY = 0x00200000;

struct DRAWTEXTPARAMS {
  UINT cbSize = sizeof(DRAWTEXTPARAMS);
  int iTabLength = 0;  // in average character widths
  int iLeftMargin = 0;
  int iRightMargin = 0;
  UINT uiLengthDrawn = 0;
};

// Returns the height of the text (from rc->top to the bottom of the drawn
// text with DT_VCENTER or DT_BOTTOM), 0 on failure. count -1: up to the NUL.
// With DT_MODIFYSTRING and an ellipsis the buffer receives the shortened
// text: it must hold count + 4 bytes.
int DrawTextA(HDC hdc, LPCSTR text, int count, RECT* rc, UINT format);
int DrawTextExA(HDC hdc, LPSTR text, int count, RECT* rc, UINT format, DRAWTEXTPARAMS* params);

inline constexpr int MulDiv(int number, int numerator, int denominator) {
  if (denominator == 0) return -1;
  const long long p = static_cast<long long>(number) * numerator;
  // Rounds half away from zero, as Windows does.
  const long long half = (denominator < 0 ? -denominator : denominator) / 2;
  const long long q = ((p < 0) != (denominator < 0)) ? (p - half) / denominator : (p + half) / denominator;
  return static_cast<int>(q);
}

}  // namespace win
