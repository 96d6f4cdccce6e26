// Regions as Win32 keeps them: a list of rectangles in y-x bands. Every region
// is normalised, so equal point sets have equal lists: bands sorted top to
// bottom, the rectangles of a band sorted, disjoint and not touching, and
// vertically adjacent bands with the same spans merged into one.
#pragma once

#include <vector>

#include "platform/ui/GdiObject.h"

namespace win {

inline constexpr int ERROR = 0;
inline constexpr int NULLREGION = 1;
inline constexpr int SIMPLEREGION = 2;
inline constexpr int COMPLEXREGION = 3;
inline constexpr int RGN_ERROR = ERROR;

inline constexpr int RGN_AND = 1;
inline constexpr int RGN_OR = 2;
inline constexpr int RGN_XOR = 3;
inline constexpr int RGN_DIFF = 4;
inline constexpr int RGN_COPY = 5;

inline constexpr DWORD RDH_RECTANGLES = 1;

struct RGNDATAHEADER {
  DWORD dwSize = sizeof(RGNDATAHEADER);
  DWORD iType = RDH_RECTANGLES;
  DWORD nCount = 0;
  DWORD nRgnSize = 0;
  RECT rcBound;
};

struct RGNDATA {
  RGNDATAHEADER rdh;
  char Buffer[1];
};
using LPRGNDATA = RGNDATA*;

struct XFORM;

struct HRGN__ : HGDIOBJ__ {
  HRGN__() : HGDIOBJ__(TGdiKind::Region) {}
  std::vector<RECT> Rects;  // banded and normalised
  RECT Box;                 // all zero while empty
};

namespace rgn {
// The normalised union of any rectangles (empty ones ignored); runs of one
// row each, as skin shapes produce, cost a sort and one pass.
std::vector<RECT> FromRects(std::vector<RECT> rects);
std::vector<RECT> Combine(const std::vector<RECT>& a, const std::vector<RECT>& b, int mode);
RECT BoundsOf(const std::vector<RECT>& rects);
int ComplexityOf(const std::vector<RECT>& rects);
void Assign(HRGN__& r, std::vector<RECT> rects);
}  // namespace rgn

HRGN CreateRectRgn(int left, int top, int right, int bottom);
HRGN CreateRectRgnIndirect(const RECT* rc);
BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom);
int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode);
int OffsetRgn(HRGN hrgn, int x, int y);
BOOL PtInRegion(HRGN hrgn, int x, int y);
BOOL RectInRegion(HRGN hrgn, const RECT* rc);
int GetRgnBox(HRGN hrgn, RECT* rc);
BOOL EqualRgn(HRGN a, HRGN b);
// Only the identity transform (null) is supported; count is the size in bytes of data.
HRGN ExtCreateRegion(const XFORM* xform, DWORD count, const RGNDATA* data);
// Bytes needed when data is null; 0 when count is too small.
DWORD GetRegionData(HRGN hrgn, DWORD count, LPRGNDATA data);

}  // namespace win
