// GDI object handles: every pen, brush, bitmap and region is a live object
// known to one process-wide table, so a stale or foreign handle is refused
// instead of dereferenced.
#pragma once

#include "platform/ui/UiTypes.h"

namespace win {

enum class TGdiKind { Pen, Brush, Bitmap, Region, Dc, Font };

struct HGDIOBJ__ {
  explicit HGDIOBJ__(TGdiKind kind) : Kind(kind) {}
  virtual ~HGDIOBJ__() = default;
  HGDIOBJ__(const HGDIOBJ__&) = delete;
  HGDIOBJ__& operator=(const HGDIOBJ__&) = delete;
  // True while the object may not be deleted: selected into a DC, whose
  // drawing would otherwise reach a freed (or reused) object.
  virtual bool Busy() const { return Selections > 0; }
  const TGdiKind Kind;
  bool Stock = false;
  int Selections = 0;  // DCs holding this pen or brush
};
using HGDIOBJ = HGDIOBJ__*;

struct HRGN__;
struct HBITMAP__;
struct HPEN__;
struct HBRUSH__;
struct HDC__;
using HRGN = HRGN__*;
using HBITMAP = HBITMAP__*;
using HPEN = HPEN__*;
using HBRUSH = HBRUSH__*;
using HDC = HDC__*;

namespace gdi {
// Enters a new object into the table and hands it out as its handle.
HGDIOBJ Register(HGDIOBJ obj);
// The object behind a handle when it is live and of the kind asked, else null.
HGDIOBJ Lookup(const void* handle, TGdiKind kind);
bool IsLive(const void* handle);
// Removes and frees; false for unknown handles.
bool Destroy(HGDIOBJ obj);
template <class T>
T* As(const void* handle, TGdiKind kind) {
  return static_cast<T*>(Lookup(handle, kind));
}
}  // namespace gdi

BOOL DeleteObject(HGDIOBJ obj);

}  // namespace win
