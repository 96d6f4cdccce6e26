#include "platform/ui/Region.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace win {
namespace rgn {
namespace {

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Appends bands one after the other, merging a band into the one above when
// they touch and have the same spans.
class TBandWriter {
 public:
  explicit TBandWriter(std::vector<RECT>& out) : Out(out) {}

  void Band(LONG top, LONG bottom, const std::vector<std::pair<LONG, LONG>>& spans) {
    if (spans.empty() || top >= bottom) return;
    if (PrevStart < Out.size() && Out[PrevStart].bottom == top && Out.size() - PrevStart == spans.size()) {
      bool same = true;
      for (size_t i = 0; i < spans.size() && same; ++i)
        same = Out[PrevStart + i].left == spans[i].first && Out[PrevStart + i].right == spans[i].second;
      if (same) {
        for (size_t i = PrevStart; i < Out.size(); ++i) Out[i].bottom = bottom;
        return;
      }
    }
    PrevStart = Out.size();
    for (const auto& s : spans) Out.push_back(RECT{s.first, top, s.second, bottom});
  }

 private:
  std::vector<RECT>& Out;
  size_t PrevStart = SIZE_MAX;
};

struct TBand {
  LONG Top, Bottom;
  size_t Begin, End;
};

std::vector<TBand> BandsOf(const std::vector<RECT>& rects) {
  std::vector<TBand> bands;
  for (size_t i = 0; i < rects.size();) {
    size_t j = i;
    while (j < rects.size() && rects[j].top == rects[i].top) ++j;
    bands.push_back(TBand{rects[i].top, rects[i].bottom, i, j});
    i = j;
  }
  return bands;
}

bool Apply(int mode, bool a, bool b) {
  switch (mode) {
    case RGN_AND: return a && b;
    case RGN_OR: return a || b;
    case RGN_XOR: return a != b;
    default: return a && !b;  // RGN_DIFF
  }
}

// One band's spans of a and b combined by a sweep over their edges.
void CombineSpans(const RECT* a, size_t na, const RECT* b, size_t nb, int mode,
                  std::vector<std::pair<LONG, LONG>>& out) {
  out.clear();
  size_t ia = 0, ib = 0;
  bool inA = false, inB = false, inOut = false;
  LONG start = 0;
  const long long inf = LLONG_MAX;
  for (;;) {
    const long long xa = ia < na ? (inA ? a[ia].right : a[ia].left) : inf;
    const long long xb = ib < nb ? (inB ? b[ib].right : b[ib].left) : inf;
    const long long x = std::min(xa, xb);
    if (x == inf) break;
    if (xa == x) {
      if (inA) ++ia;
      inA = !inA;
    }
    if (xb == x) {
      if (inB) ++ib;
      inB = !inB;
    }
    const bool now = Apply(mode, inA, inB);
    if (now && !inOut) start = static_cast<LONG>(x);
    if (!now && inOut) out.emplace_back(start, static_cast<LONG>(x));
    inOut = now;
  }
}

}  // namespace

RECT BoundsOf(const std::vector<RECT>& rects) {
  if (rects.empty()) return RECT{};
  RECT box{rects.front().left, rects.front().top, rects.front().right, rects.back().bottom};
  for (const RECT& r : rects) {
    box.left = std::min(box.left, r.left);
    box.right = std::max(box.right, r.right);
  }
  return box;
}

int ComplexityOf(const std::vector<RECT>& rects) {
  return rects.empty() ? NULLREGION : rects.size() == 1 ? SIMPLEREGION : COMPLEXREGION;
}

void Assign(HRGN__& r, std::vector<RECT> rects) {
  r.Rects = std::move(rects);
  r.Box = BoundsOf(r.Rects);
}

std::vector<RECT> FromRects(std::vector<RECT> rects) {
  rects.erase(std::remove_if(rects.begin(), rects.end(), Empty), rects.end());
  std::sort(rects.begin(), rects.end(), [](const RECT& a, const RECT& b) {
    return a.top != b.top ? a.top < b.top : a.left < b.left;
  });
  std::vector<RECT> out;
  TBandWriter writer(out);
  std::vector<const RECT*> active;
  std::vector<std::pair<LONG, LONG>> spans;
  size_t next = 0;
  LONG y = 0;
  while (next < rects.size() || !active.empty()) {
    if (active.empty()) y = rects[next].top;
    bool added = false;
    while (next < rects.size() && rects[next].top <= y) {
      active.push_back(&rects[next++]);
      added = true;
    }
    // Rectangles of one top arrive sorted; only a mix of tops needs a re-sort.
    if (added) std::stable_sort(active.begin(), active.end(), [](const RECT* a, const RECT* b) { return a->left < b->left; });
    LONG bottom = next < rects.size() ? rects[next].top : INT32_MAX;
    for (const RECT* r : active) bottom = std::min(bottom, r->bottom);
    spans.clear();
    for (const RECT* r : active) {
      if (!spans.empty() && r->left <= spans.back().second)
        spans.back().second = std::max(spans.back().second, r->right);
      else
        spans.emplace_back(r->left, r->right);
    }
    writer.Band(y, bottom, spans);
    y = bottom;
    active.erase(std::remove_if(active.begin(), active.end(), [y](const RECT* r) { return r->bottom <= y; }),
                 active.end());
  }
  return out;
}

std::vector<RECT> Combine(const std::vector<RECT>& a, const std::vector<RECT>& b, int mode) {
  if (mode == RGN_COPY) return a;
  const std::vector<TBand> ba = BandsOf(a), bb = BandsOf(b);
  std::vector<LONG> ys;
  ys.reserve(2 * (ba.size() + bb.size()));
  for (const TBand& t : ba) ys.insert(ys.end(), {t.Top, t.Bottom});
  for (const TBand& t : bb) ys.insert(ys.end(), {t.Top, t.Bottom});
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::vector<RECT> out;
  TBandWriter writer(out);
  std::vector<std::pair<LONG, LONG>> spans;
  size_t ia = 0, ib = 0;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const LONG y0 = ys[k], y1 = ys[k + 1];
    while (ia < ba.size() && ba[ia].Bottom <= y0) ++ia;
    while (ib < bb.size() && bb[ib].Bottom <= y0) ++ib;
    const bool hasA = ia < ba.size() && ba[ia].Top <= y0;
    const bool hasB = ib < bb.size() && bb[ib].Top <= y0;
    if (!hasA && !hasB) continue;
    CombineSpans(hasA ? &a[ba[ia].Begin] : nullptr, hasA ? ba[ia].End - ba[ia].Begin : 0,
                 hasB ? &b[bb[ib].Begin] : nullptr, hasB ? bb[ib].End - bb[ib].Begin : 0, mode, spans);
    writer.Band(y0, y1, spans);
  }
  return out;
}

}  // namespace rgn

namespace {

HRGN__* Rgn(HRGN h) { return gdi::As<HRGN__>(h, TGdiKind::Region); }

RECT Ordered(int left, int top, int right, int bottom) {
  return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

// Index of the first rectangle of the band containing row y, or size when none.
size_t BandAt(const std::vector<RECT>& rects, LONG y) {
  auto it = std::upper_bound(rects.begin(), rects.end(), y, [](LONG v, const RECT& r) { return v < r.bottom; });
  return static_cast<size_t>(it - rects.begin());
}

}  // namespace

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
  auto* r = new HRGN__;
  rgn::Assign(*r, rgn::FromRects({Ordered(left, top, right, bottom)}));
  return static_cast<HRGN>(gdi::Register(r));
}

HRGN CreateRectRgnIndirect(const RECT* rc) {
  return rc ? CreateRectRgn(rc->left, rc->top, rc->right, rc->bottom) : nullptr;
}

BOOL SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
  HRGN__* r = Rgn(hrgn);
  if (!r) return FALSE;
  rgn::Assign(*r, rgn::FromRects({Ordered(left, top, right, bottom)}));
  return TRUE;
}

int CombineRgn(HRGN dest, HRGN src1, HRGN src2, int mode) {
  HRGN__* d = Rgn(dest);
  HRGN__* a = Rgn(src1);
  HRGN__* b = mode == RGN_COPY ? a : Rgn(src2);
  if (!d || !a || !b || mode < RGN_AND || mode > RGN_COPY) return ERROR;
  rgn::Assign(*d, rgn::Combine(a->Rects, b->Rects, mode));
  return rgn::ComplexityOf(d->Rects);
}

int OffsetRgn(HRGN hrgn, int x, int y) {
  HRGN__* r = Rgn(hrgn);
  if (!r) return ERROR;
  if (!r->Rects.empty()) {
    const RECT& b = r->Box;
    auto fits = [](long long v) { return v >= INT32_MIN && v <= INT32_MAX; };
    if (!fits(static_cast<long long>(b.left) + x) || !fits(static_cast<long long>(b.right) + x) ||
        !fits(static_cast<long long>(b.top) + y) || !fits(static_cast<long long>(b.bottom) + y))
      return ERROR;
    for (RECT& rc : r->Rects) {
      rc.left += x;
      rc.right += x;
      rc.top += y;
      rc.bottom += y;
    }
    r->Box = rgn::BoundsOf(r->Rects);
  }
  return rgn::ComplexityOf(r->Rects);
}

BOOL PtInRegion(HRGN hrgn, int x, int y) {
  HRGN__* r = Rgn(hrgn);
  if (!r) return FALSE;
  for (size_t i = BandAt(r->Rects, y); i < r->Rects.size() && r->Rects[i].top <= y; ++i) {
    const RECT& rc = r->Rects[i];
    if (x < rc.left) break;
    if (x < rc.right) return TRUE;
  }
  return FALSE;
}

BOOL RectInRegion(HRGN hrgn, const RECT* rc) {
  HRGN__* r = Rgn(hrgn);
  if (!r || !rc) return FALSE;
  const RECT q = Ordered(rc->left, rc->top, rc->right, rc->bottom);
  if (q.left == q.right || q.top == q.bottom) return FALSE;
  for (size_t i = BandAt(r->Rects, q.top); i < r->Rects.size() && r->Rects[i].top < q.bottom; ++i) {
    const RECT& b = r->Rects[i];
    if (b.left < q.right && b.right > q.left) return TRUE;
  }
  return FALSE;
}

int GetRgnBox(HRGN hrgn, RECT* rc) {
  HRGN__* r = Rgn(hrgn);
  if (!r || !rc) return ERROR;
  *rc = r->Box;
  return rgn::ComplexityOf(r->Rects);
}

BOOL EqualRgn(HRGN a, HRGN b) {
  HRGN__* ra = Rgn(a);
  HRGN__* rb = Rgn(b);
  if (!ra || !rb) return ERROR;
  if (ra->Rects.size() != rb->Rects.size()) return FALSE;
  for (size_t i = 0; i < ra->Rects.size(); ++i) {
    const RECT &x = ra->Rects[i], &y = rb->Rects[i];
    if (x.left != y.left || x.top != y.top || x.right != y.right || x.bottom != y.bottom) return FALSE;
  }
  return TRUE;
}

HRGN ExtCreateRegion(const XFORM* xform, DWORD count, const RGNDATA* data) {
  if (xform || !data || count < sizeof(RGNDATAHEADER)) return nullptr;
  const RGNDATAHEADER& h = data->rdh;
  if (h.iType != RDH_RECTANGLES || h.dwSize < sizeof(RGNDATAHEADER) || h.dwSize > count) return nullptr;
  // The rectangles must lie inside the bytes the caller vouched for.
  const unsigned long long need = static_cast<unsigned long long>(h.dwSize) + 16ULL * h.nCount;
  if (need > count) return nullptr;
  std::vector<RECT> rects(h.nCount);
  if (h.nCount) std::memcpy(rects.data(), reinterpret_cast<const char*>(data) + h.dwSize, 16ULL * h.nCount);
  auto* r = new HRGN__;
  rgn::Assign(*r, rgn::FromRects(std::move(rects)));
  return static_cast<HRGN>(gdi::Register(r));
}

DWORD GetRegionData(HRGN hrgn, DWORD count, LPRGNDATA data) {
  HRGN__* r = Rgn(hrgn);
  if (!r) return 0;
  const unsigned long long bytes = sizeof(RGNDATAHEADER) + 16ULL * r->Rects.size();
  if (bytes > UINT32_MAX) return 0;
  if (!data) return static_cast<DWORD>(bytes);
  if (count < bytes) return 0;
  RGNDATAHEADER h;
  h.nCount = static_cast<DWORD>(r->Rects.size());
  h.nRgnSize = static_cast<DWORD>(16ULL * r->Rects.size());
  h.rcBound = r->Box;
  std::memcpy(static_cast<void*>(data), &h, sizeof h);
  if (!r->Rects.empty()) std::memcpy(reinterpret_cast<char*>(data) + sizeof h, r->Rects.data(), h.nRgnSize);
  return static_cast<DWORD>(bytes);
}

}  // namespace win

static_assert(sizeof(win::RECT) == 16 && sizeof(win::RGNDATAHEADER) == 32, "Win32 layout of region data");
