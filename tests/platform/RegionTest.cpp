#include "platform/ui/Region.h"

#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace win {
namespace {

constexpr int Grid = 24;

HRGN RandomRegion(std::mt19937& rng, std::vector<RECT>& rects) {
  std::uniform_int_distribution<int> coord(-2, Grid - 3), count(0, 5);
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  rects.clear();
  for (int n = count(rng); n > 0; --n) {
    RECT rc{coord(rng), coord(rng), coord(rng), coord(rng)};
    rects.push_back(rc);
    HRGN piece = CreateRectRgnIndirect(&rc);
    CombineRgn(r, r, piece, RGN_OR);
    DeleteObject(piece);
  }
  return r;
}

bool InRects(const std::vector<RECT>& rects, int x, int y) {
  for (const RECT& rc : rects) {
    const int l = std::min(rc.left, rc.right), r = std::max(rc.left, rc.right);
    const int t = std::min(rc.top, rc.bottom), b = std::max(rc.top, rc.bottom);
    if (x >= l && x < r && y >= t && y < b) return true;
  }
  return false;
}

// Checks the stored form: bands sorted, spans sorted, disjoint, not touching,
// and no two touching bands with the same spans.
void ExpectNormalised(HRGN h) {
  const std::vector<RECT>& v = static_cast<HRGN__*>(h)->Rects;
  size_t prevStart = 0, prevEnd = 0;
  for (size_t i = 0; i < v.size();) {
    size_t j = i;
    while (j < v.size() && v[j].top == v[i].top) {
      ASSERT_EQ(v[j].bottom, v[i].bottom);
      ASSERT_LT(v[j].left, v[j].right);
      if (j > i) {
        ASSERT_LT(v[j - 1].right, v[j].left);
      }
      ++j;
    }
    ASSERT_LT(v[i].top, v[i].bottom);
    if (prevEnd > prevStart) {
      ASSERT_LE(v[prevStart].bottom, v[i].top);
      if (v[prevStart].bottom == v[i].top && prevEnd - prevStart == j - i) {
        bool same = true;
        for (size_t k = 0; k < j - i; ++k)
          same = same && v[prevStart + k].left == v[i + k].left && v[prevStart + k].right == v[i + k].right;
        ASSERT_FALSE(same) << "touching bands with equal spans were not merged";
      }
    }
    prevStart = i;
    prevEnd = j;
    i = j;
  }
}

TEST(RegionTest, CombineAgreesWithPixelModel) {
  std::mt19937 rng(20261208);
  std::vector<RECT> ra, rb;
  for (int round = 0; round < 300; ++round) {
    HRGN a = RandomRegion(rng, ra);
    HRGN b = RandomRegion(rng, rb);
    ASSERT_NO_FATAL_FAILURE(ExpectNormalised(a));
    for (int mode : {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY}) {
      HRGN d = CreateRectRgn(0, 0, 0, 0);
      const int kind = CombineRgn(d, a, b, mode);
      ASSERT_NO_FATAL_FAILURE(ExpectNormalised(d));
      int inside = 0;
      for (int y = -2; y < Grid - 2; ++y)
        for (int x = -2; x < Grid - 2; ++x) {
          const bool ia = InRects(ra, x, y), ib = InRects(rb, x, y);
          bool want = false;
          switch (mode) {
            case RGN_AND: want = ia && ib; break;
            case RGN_OR: want = ia || ib; break;
            case RGN_XOR: want = ia != ib; break;
            case RGN_DIFF: want = ia && !ib; break;
            case RGN_COPY: want = ia; break;
          }
          inside += want;
          ASSERT_EQ(want, PtInRegion(d, x, y) != 0) << "mode " << mode << " round " << round << " at " << x << "," << y;
        }
      RECT box;
      ASSERT_EQ(kind, GetRgnBox(d, &box));
      if (inside == 0) EXPECT_EQ(kind, NULLREGION);
      else EXPECT_NE(kind, NULLREGION);
      // The box is tight: every edge row or column holds a point of the region.
      if (inside) {
        RECT row{box.left, box.top, box.right, box.top + 1}, col{box.left, box.top, box.left + 1, box.bottom};
        RECT lastRow{box.left, box.bottom - 1, box.right, box.bottom}, lastCol{box.right - 1, box.top, box.right, box.bottom};
        EXPECT_TRUE(RectInRegion(d, &row) && RectInRegion(d, &col) && RectInRegion(d, &lastRow) && RectInRegion(d, &lastCol));
      }
      DeleteObject(d);
    }
    DeleteObject(a);
    DeleteObject(b);
  }
}

TEST(RegionTest, SameShapeBuiltDifferentlyIsEqual) {
  // An L shape from two rectangles, from its rows, and by cutting a square.
  HRGN a = CreateRectRgn(0, 0, 10, 10);
  HRGN cut = CreateRectRgn(5, 5, 10, 10);
  EXPECT_EQ(COMPLEXREGION, CombineRgn(a, a, cut, RGN_DIFF));
  std::vector<char> buf(sizeof(RGNDATAHEADER) + 10 * sizeof(RECT));
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  data->rdh = RGNDATAHEADER{};
  data->rdh.nCount = 10;
  auto* rects = reinterpret_cast<RECT*>(buf.data() + sizeof(RGNDATAHEADER));
  for (int y = 9; y >= 0; --y) rects[9 - y] = RECT{0, y, y < 5 ? 10 : 5, y + 1};  // rows in reverse order
  HRGN b = ExtCreateRegion(nullptr, static_cast<DWORD>(buf.size()), data);
  ASSERT_NE(b, nullptr);
  HRGN c = CreateRectRgn(0, 0, 3, 10);
  HRGN right = CreateRectRgn(3, 0, 10, 5), mid = CreateRectRgn(3, 5, 5, 10);
  CombineRgn(c, c, right, RGN_OR);
  CombineRgn(c, c, mid, RGN_OR);
  EXPECT_TRUE(EqualRgn(a, b));
  EXPECT_TRUE(EqualRgn(a, c));
  EXPECT_EQ(2u, static_cast<HRGN__*>(a)->Rects.size());
  EXPECT_EQ(2u, static_cast<HRGN__*>(b)->Rects.size());
  HRGN other = CreateRectRgn(0, 0, 10, 10);
  EXPECT_FALSE(EqualRgn(a, other));
  DeleteObject(other);
  for (HRGN h : {a, b, c, cut, right, mid}) DeleteObject(h);
}


TEST(RegionTest, RectanglesAndOffsets) {
  HRGN r = CreateRectRgn(10, 20, 0, 5);  // swapped corners are put in order
  RECT box;
  EXPECT_EQ(SIMPLEREGION, GetRgnBox(r, &box));
  EXPECT_EQ(0, box.left);
  EXPECT_EQ(5, box.top);
  EXPECT_EQ(10, box.right);
  EXPECT_EQ(20, box.bottom);
  EXPECT_TRUE(PtInRegion(r, 0, 5));
  EXPECT_FALSE(PtInRegion(r, 10, 5));  // right and bottom edges are outside
  EXPECT_FALSE(PtInRegion(r, 0, 20));
  EXPECT_EQ(SIMPLEREGION, OffsetRgn(r, -3, 4));
  EXPECT_TRUE(PtInRegion(r, -3, 9));
  EXPECT_FALSE(PtInRegion(r, 7, 9));
  RECT touch{6, 0, 9, 10}, miss{6, 0, 9, 9}, flat{0, 10, 5, 10};
  EXPECT_TRUE(RectInRegion(r, &touch));
  EXPECT_FALSE(RectInRegion(r, &miss));
  EXPECT_FALSE(RectInRegion(r, &flat));
  EXPECT_EQ(ERROR, OffsetRgn(r, INT32_MAX, 0));  // would wrap: refused, region untouched
  EXPECT_TRUE(PtInRegion(r, -3, 9));
  EXPECT_TRUE(SetRectRgn(r, 0, 0, 0, 0));
  EXPECT_EQ(NULLREGION, GetRgnBox(r, &box));
  EXPECT_EQ(0, box.right);
  EXPECT_TRUE(DeleteObject(r));
  EXPECT_FALSE(DeleteObject(r));  // stale handle
  EXPECT_EQ(ERROR, GetRgnBox(r, &box));
  EXPECT_EQ(ERROR, CombineRgn(r, r, r, RGN_OR));
  EXPECT_EQ(nullptr, CreateRectRgnIndirect(nullptr));
}

TEST(RegionTest, RegionDataRoundTripAndHostileData) {
  HRGN ring = CreateRectRgn(0, 0, 30, 30), hole = CreateRectRgn(10, 10, 20, 20);
  ASSERT_EQ(COMPLEXREGION, CombineRgn(ring, ring, hole, RGN_XOR));
  const DWORD size = GetRegionData(ring, 0, nullptr);
  ASSERT_EQ(sizeof(RGNDATAHEADER) + 4 * sizeof(RECT), size);  // top band, two sides, bottom band
  std::vector<char> buf(size);
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  EXPECT_EQ(0u, GetRegionData(ring, size - 1, data));
  ASSERT_EQ(size, GetRegionData(ring, size, data));
  EXPECT_EQ(4u, data->rdh.nCount);
  EXPECT_EQ(30, data->rdh.rcBound.bottom);
  HRGN copy = ExtCreateRegion(nullptr, size, data);
  EXPECT_TRUE(EqualRgn(copy, ring));
  // Counts that promise more rectangles than the bytes hold, bad header sizes, bad types.
  data->rdh.nCount = 5;
  EXPECT_EQ(nullptr, ExtCreateRegion(nullptr, size, data));
  data->rdh.nCount = 0x40000000;
  EXPECT_EQ(nullptr, ExtCreateRegion(nullptr, size, data));
  data->rdh.nCount = 4;
  data->rdh.dwSize = 0xFFFFFFF0;
  EXPECT_EQ(nullptr, ExtCreateRegion(nullptr, size, data));
  data->rdh.dwSize = sizeof(RGNDATAHEADER);
  data->rdh.iType = 2;
  EXPECT_EQ(nullptr, ExtCreateRegion(nullptr, size, data));
  EXPECT_EQ(nullptr, ExtCreateRegion(nullptr, 8, data));
  for (HRGN h : {ring, hole, copy}) DeleteObject(h);
}

// A window shape from per-row runs, as a skin's transparent-key scan makes
// them, against the same shape built one run at a time with CombineRgn.
TEST(RegionTest, ShapeFromRowRuns) {
  std::mt19937 rng(7);
  std::vector<RECT> runs;
  for (int y = 0; y < 200; ++y) {
    int x = 0;
    for (int k = 0; k < 4; ++k) {
      const int gap = static_cast<int>(rng() % 6), len = 1 + static_cast<int>(rng() % 8);
      x += gap;
      runs.push_back(RECT{x, y, x + len, y + 1});
      x += len;
    }
  }
  std::vector<char> buf(sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT));
  auto* data = reinterpret_cast<RGNDATA*>(buf.data());
  data->rdh = RGNDATAHEADER{};
  data->rdh.nCount = static_cast<DWORD>(runs.size());
  std::memcpy(buf.data() + sizeof(RGNDATAHEADER), runs.data(), runs.size() * sizeof(RECT));
  HRGN shape = ExtCreateRegion(nullptr, static_cast<DWORD>(buf.size()), data);
  ASSERT_NE(nullptr, shape);
  ASSERT_NO_FATAL_FAILURE(ExpectNormalised(shape));
  HRGN slow = CreateRectRgn(0, 0, 0, 0);
  for (const RECT& rc : runs) {
    HRGN piece = CreateRectRgnIndirect(&rc);
    CombineRgn(slow, slow, piece, RGN_OR);
    DeleteObject(piece);
  }
  EXPECT_TRUE(EqualRgn(shape, slow));
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 60; ++x) ASSERT_EQ(InRects(runs, x, y), PtInRegion(shape, x, y) != 0) << x << "," << y;
  DeleteObject(shape);
  DeleteObject(slow);
}

}  // namespace
}  // namespace win
