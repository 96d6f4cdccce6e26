// Reading the fields of a movie's tags. Hostile input never reads past the
// end: missing bytes and bits read as zero and set Overrun, so a parser reads
// on and checks Overrun once at the end of a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/flash/SwfTypes.h"

namespace flash {

class TSwfReader {
 public:
  explicit TSwfReader(std::span<const std::uint8_t> data) : data_(data) {}

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
  double Fixed8();   // 8.8
  double Fixed16();  // 16.16
  std::uint32_t EncodedU32();
  // Up to the terminating zero (consumed) or the end.
  std::string String();
  // The next n bytes (fewer at the end, with Overrun set).
  std::span<const std::uint8_t> Bytes(std::size_t n);
  std::span<const std::uint8_t> Rest();
  void Skip(std::size_t n) { Bytes(n); }

  // Bit fields start at the next byte after any byte read; AlignBits drops
  // the rest of a partly read byte.
  std::uint32_t UB(unsigned bits);
  std::int32_t SB(unsigned bits);
  double FB(unsigned bits);  // 16.16 signed
  bool Flag() { return UB(1) != 0; }
  void AlignBits() { bitCount_ = 0; }

  TRectTw Rect();
  TMatrix Matrix();
  // CXFORM, or CXFORMWITHALPHA when withAlpha.
  TColorTransform ColorTransform(bool withAlpha);
  TRgba Rgb();
  TRgba Rgba();
  TRgba Argb();

  std::size_t Position() const { return pos_; }
  std::size_t Remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  bool Overrun() const { return overrun_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  std::uint8_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
  bool overrun_ = false;
};

}  // namespace flash
