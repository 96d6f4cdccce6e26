#include "platform/ui/GdiObject.h"

#include <mutex>
#include <unordered_set>

namespace win {
namespace gdi {
namespace {

struct TTable {
  std::mutex Lock;
  std::unordered_set<const void*> Live;
};

TTable& Table() {
  static TTable* t = new TTable;  // never destroyed: handles may outlive static destructors
  return *t;
}

}  // namespace

HGDIOBJ Register(HGDIOBJ obj) {
  if (!obj) return nullptr;
  TTable& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  t.Live.insert(obj);
  return obj;
}

bool IsLive(const void* handle) {
  if (!handle) return false;
  TTable& t = Table();
  std::lock_guard<std::mutex> g(t.Lock);
  return t.Live.count(handle) != 0;
}

HGDIOBJ Lookup(const void* handle, TGdiKind kind) {
  if (!IsLive(handle)) return nullptr;
  HGDIOBJ obj = static_cast<HGDIOBJ>(const_cast<void*>(handle));
  return obj->Kind == kind ? obj : nullptr;
}

bool Destroy(HGDIOBJ obj) {
  {
    TTable& t = Table();
    std::lock_guard<std::mutex> g(t.Lock);
    if (!t.Live.erase(obj)) return false;
  }
  delete obj;
  return true;
}

}  // namespace gdi

BOOL DeleteObject(HGDIOBJ obj) {
  if (!gdi::IsLive(obj) || obj->Kind == TGdiKind::Dc) return FALSE;  // DCs go through DeleteDC
  if (obj->Stock) return TRUE;  // stock objects outlive every caller
  if (obj->Busy()) return FALSE;
  return gdi::Destroy(obj) ? TRUE : FALSE;
}
}  // namespace win
