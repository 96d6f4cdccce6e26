// Builds the bodies of definition tags field by field, for the drawing
// tests, the fuzz seeds and the bench.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace swfdraw_test {

class TBody {
 public:
  std::vector<std::uint8_t> Bytes;

  TBody& UB(std::uint32_t v, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
      if (n_ == 0) {
        Bytes.push_back(0);
        n_ = 8;
      }
      --n_;
      if (v >> i & 1u) Bytes.back() |= static_cast<std::uint8_t>(1u << n_);
    }
    return *this;
  }
  TBody& SB(std::int32_t v, unsigned bits) { return UB(static_cast<std::uint32_t>(v) & (bits >= 32 ? ~0u : (1u << bits) - 1), bits); }
  TBody& Align() {
    n_ = 0;
    return *this;
  }
  TBody& U8(std::uint32_t v) {
    Align();
    Bytes.push_back(static_cast<std::uint8_t>(v));
    return *this;
  }
  TBody& U16(std::uint32_t v) { return U8(v & 0xFF).U8(v >> 8 & 0xFF); }
  TBody& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  TBody& Raw(const std::vector<std::uint8_t>& b) {
    Align();
    Bytes.insert(Bytes.end(), b.begin(), b.end());
    return *this;
  }
  TBody& Rgb(std::uint32_t rgb) { return U8(rgb >> 16).U8(rgb >> 8 & 0xFF).U8(rgb & 0xFF); }
  TBody& Rgba(std::uint32_t rgba) { return U8(rgba >> 24).U8(rgba >> 16 & 0xFF).U8(rgba >> 8 & 0xFF).U8(rgba & 0xFF); }

  static unsigned Bits(std::initializer_list<std::int32_t> values) {
    unsigned bits = 1;
    for (std::int32_t v : values) {
      unsigned b = 1;
      while (v < -(1 << (b - 1)) || v >= (1 << (b - 1))) ++b;
      if (b > bits) bits = b;
    }
    return bits;
  }
  TBody& Rect(std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1) {
    Align();
    const unsigned n = Bits({x0, x1, y0, y1});
    UB(n, 5).SB(x0, n).SB(x1, n).SB(y0, n).SB(y1, n);
    return Align();
  }
  // Scale and translation only (scales as 16.16).
  TBody& Matrix(double sx = 1, double sy = 1, std::int32_t tx = 0, std::int32_t ty = 0) {
    Align();
    const auto a = static_cast<std::int32_t>(sx * 65536), d = static_cast<std::int32_t>(sy * 65536);
    const bool scale = sx != 1 || sy != 1;
    UB(scale, 1);
    if (scale) {
      const unsigned n = Bits({a, d});
      UB(n, 5).SB(a, n).SB(d, n);
    }
    UB(0, 1);
    const unsigned n = tx || ty ? Bits({tx, ty}) : 0;
    UB(n, 5);
    if (n) SB(tx, n).SB(ty, n);
    return Align();
  }

  // Shape records, with 4-bit style indices.
  TBody& ShapeBits() { return UB(4, 4).UB(4, 4); }
  TBody& Style(int fill0, int fill1, int line, bool move = false, std::int32_t x = 0, std::int32_t y = 0) {
    UB(0, 1).UB(0, 1).UB(line >= 0, 1).UB(fill1 >= 0, 1).UB(fill0 >= 0, 1).UB(move, 1);
    if (move) {
      const unsigned n = Bits({x, y});
      UB(n, 5).SB(x, n).SB(y, n);
    }
    if (fill0 >= 0) UB(static_cast<std::uint32_t>(fill0), 4);
    if (fill1 >= 0) UB(static_cast<std::uint32_t>(fill1), 4);
    if (line >= 0) UB(static_cast<std::uint32_t>(line), 4);
    return *this;
  }
  TBody& Move(std::int32_t x, std::int32_t y) { return Style(-1, -1, -1, true, x, y); }
  TBody& Line(std::int32_t dx, std::int32_t dy) {
    const unsigned n = std::max(2u, Bits({dx, dy}));
    return UB(1, 1).UB(1, 1).UB(n - 2, 4).UB(1, 1).SB(dx, n).SB(dy, n);
  }
  TBody& Curve(std::int32_t cx, std::int32_t cy, std::int32_t ax, std::int32_t ay) {
    const unsigned n = std::max(2u, Bits({cx, cy, ax, ay}));
    return UB(1, 1).UB(0, 1).UB(n - 2, 4).SB(cx, n).SB(cy, n).SB(ax, n).SB(ay, n);
  }
  TBody& EndShape() { return UB(0, 6).Align(); }
  // An axis-aligned rectangle path from (x, y), w by h, clockwise on screen.
  TBody& RectPath(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
    return Move(x, y).Line(w, 0).Line(0, h).Line(-w, 0).Line(0, -h);
  }

 private:
  unsigned n_ = 0;
};

// DefineShape3 of one solid fill (style 1) over a rectangle, in twips.
inline std::vector<std::uint8_t> SolidRectShape(std::uint16_t id, std::uint32_t rgba, std::int32_t x, std::int32_t y,
                                                std::int32_t w, std::int32_t h) {
  TBody b;
  b.U16(id).Rect(x, x + w, y, y + h);
  b.U8(1).U8(0x00).Rgba(rgba).U8(0).ShapeBits();
  b.Style(-1, 1, -1).RectPath(x, y, w, h).EndShape();
  return b.Bytes;
}

}  // namespace swfdraw_test
