#include "platform/flash/SwfReader.h"

namespace flash {

std::uint8_t TSwfReader::U8() {
  bitCount_ = 0;
  if (pos_ >= data_.size()) {
    overrun_ = true;
    return 0;
  }
  return data_[pos_++];
}

std::uint16_t TSwfReader::U16() {
  const std::uint16_t lo = U8();
  return static_cast<std::uint16_t>(lo | (U8() << 8));
}

std::uint32_t TSwfReader::U32() {
  const std::uint32_t lo = U16();
  return lo | (static_cast<std::uint32_t>(U16()) << 16);
}

double TSwfReader::Fixed8() { return S16() / 256.0; }

double TSwfReader::Fixed16() { return static_cast<std::int32_t>(U32()) / 65536.0; }

std::uint32_t TSwfReader::EncodedU32() {
  std::uint32_t value = 0;
  for (int i = 0; i < 5; ++i) {
    const std::uint8_t b = U8();
    value |= static_cast<std::uint32_t>(b & 0x7F) << (7 * i);
    if (!(b & 0x80)) break;
  }
  return value;
}

std::string TSwfReader::String() {
  bitCount_ = 0;
  std::string s;
  while (pos_ < data_.size() && data_[pos_] != 0) s.push_back(static_cast<char>(data_[pos_++]));
  if (pos_ < data_.size())
    ++pos_;
  else
    overrun_ = true;
  return s;
}

std::span<const std::uint8_t> TSwfReader::Bytes(std::size_t n) {
  bitCount_ = 0;
  const std::size_t have = Remaining();
  if (n > have) {
    overrun_ = true;
    n = have;
  }
  auto out = data_.subspan(pos_, n);
  pos_ += n;
  return out;
}

std::span<const std::uint8_t> TSwfReader::Rest() { return Bytes(Remaining()); }

std::uint32_t TSwfReader::UB(unsigned bits) {
  std::uint32_t value = 0;
  for (unsigned i = 0; i < bits; ++i) {
    if (bitCount_ == 0) {
      if (pos_ >= data_.size()) {
        overrun_ = true;
        bitBuffer_ = 0;
      } else {
        bitBuffer_ = data_[pos_++];
      }
      bitCount_ = 8;
    }
    --bitCount_;
    // Widths over 32 keep the low 32 bits; the file format never needs more.
    value = (value << 1) | ((bitBuffer_ >> bitCount_) & 1u);
  }
  return value;
}

std::int32_t TSwfReader::SB(unsigned bits) {
  const std::uint32_t raw = UB(bits);
  if (bits == 0 || bits >= 32) return static_cast<std::int32_t>(raw);
  const std::uint32_t sign = 1u << (bits - 1);
  return static_cast<std::int32_t>((raw ^ sign) - sign);
}

double TSwfReader::FB(unsigned bits) { return SB(bits) / 65536.0; }

TRectTw TSwfReader::Rect() {
  bitCount_ = 0;
  const unsigned n = UB(5);
  TRectTw r;
  r.XMin = SB(n);
  r.XMax = SB(n);
  r.YMin = SB(n);
  r.YMax = SB(n);
  bitCount_ = 0;
  return r;
}

TMatrix TSwfReader::Matrix() {
  bitCount_ = 0;
  TMatrix m;
  if (Flag()) {
    const unsigned n = UB(5);
    m.A = FB(n);
    m.D = FB(n);
  }
  if (Flag()) {
    const unsigned n = UB(5);
    m.B = FB(n);
    m.C = FB(n);
  }
  const unsigned n = UB(5);
  m.Tx = SB(n);
  m.Ty = SB(n);
  bitCount_ = 0;
  return m;
}

TColorTransform TSwfReader::ColorTransform(bool withAlpha) {
  bitCount_ = 0;
  TColorTransform cx;
  const bool hasAdd = Flag();
  const bool hasMul = Flag();
  const unsigned n = UB(4);
  if (hasMul) {
    cx.RMul = SB(n) / 256.0;
    cx.GMul = SB(n) / 256.0;
    cx.BMul = SB(n) / 256.0;
    if (withAlpha) cx.AMul = SB(n) / 256.0;
  }
  if (hasAdd) {
    cx.RAdd = SB(n);
    cx.GAdd = SB(n);
    cx.BAdd = SB(n);
    if (withAlpha) cx.AAdd = SB(n);
  }
  bitCount_ = 0;
  return cx;
}

TRgba TSwfReader::Rgb() {
  TRgba c;
  c.R = U8();
  c.G = U8();
  c.B = U8();
  return c;
}

TRgba TSwfReader::Rgba() {
  TRgba c = Rgb();
  c.A = U8();
  return c;
}

TRgba TSwfReader::Argb() {
  TRgba c;
  c.A = U8();
  c.R = U8();
  c.G = U8();
  c.B = U8();
  return c;
}

}  // namespace flash
