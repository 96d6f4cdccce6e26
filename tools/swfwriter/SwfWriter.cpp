#include "tools/swfwriter/SwfWriter.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace vorra::swf {

namespace {

void Put16(TBytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(TBytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

unsigned SignedBitsFor(std::int32_t v) {
  std::uint32_t magnitude = v < 0 ? ~static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
  unsigned bits = 1;  // the sign
  while (magnitude) {
    ++bits;
    magnitude >>= 1;
  }
  return bits;
}

class TBitWriter {
 public:
  explicit TBitWriter(TBytes& out) : out_(out) {}
  void Bits(std::uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
      if (used_ == 0) out_.push_back(0);
      if ((value >> i) & 1u) out_.back() |= static_cast<std::uint8_t>(0x80u >> used_);
      used_ = (used_ + 1) % 8;
    }
  }

 private:
  TBytes& out_;
  unsigned used_ = 0;
};

TBytes Deflate(const TBytes& in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  TBytes out(size);
  if (compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9) != Z_OK)
    throw std::runtime_error("zlib compression failed");
  out.resize(size);
  return out;
}

// The .lzma ("alone") form is 5 property bytes, an 8-byte size, then the raw stream.
TBytes LzmaAlone(const TBytes& in) {
  lzma_options_lzma options;
  if (lzma_lzma_preset(&options, 6)) throw std::runtime_error("LZMA preset failed");
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&s, &options) != LZMA_OK) throw std::runtime_error("LZMA encoder failed");
  TBytes out(in.size() + in.size() / 2 + 1024);
  s.next_in = in.data();
  s.avail_in = in.size();
  s.next_out = out.data();
  s.avail_out = out.size();
  const lzma_ret rc = lzma_code(&s, LZMA_FINISH);
  out.resize(s.total_out);
  lzma_end(&s);
  if (rc != LZMA_STREAM_END) throw std::runtime_error("LZMA compression failed");
  return out;
}

}  // namespace

TSwfWriter::TSwfWriter(std::uint8_t version, TTwipsRect frame, std::uint16_t frameCount, double frameRate)
    : version_(version),
      frame_(frame),
      frameCount_(frameCount),
      frameRate88_(static_cast<std::uint16_t>(frameRate * 256.0)) {}

void TSwfWriter::Tag(std::uint16_t code, const TBytes& data) {
  if (data.size() < 0x3F) {
    Put16(tags_, static_cast<std::uint32_t>(code << 6 | data.size()));
  } else {
    Put16(tags_, static_cast<std::uint32_t>(code << 6 | 0x3F));
    Put32(tags_, static_cast<std::uint32_t>(data.size()));
  }
  tags_.insert(tags_.end(), data.begin(), data.end());
  endsWithEnd_ = code == 0;
}

void TSwfWriter::SetBackgroundColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  Tag(9, {red, green, blue});
}

void TSwfWriter::FileAttributes(std::uint32_t flags) {
  TBytes data;
  Put32(data, flags);
  Tag(69, data);
}

void TSwfWriter::ShowFrame() { Tag(1, {}); }

void TSwfWriter::Padding(std::size_t size, std::uint32_t seed) {
  TBytes data;
  data.reserve(size + 6);
  Put16(data, 1);  // character id
  Put32(data, 0);  // reserved
  std::uint32_t x = seed ? seed : 1;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    data.push_back(static_cast<std::uint8_t>(x));
  }
  Tag(87, data);
}

TBytes TSwfWriter::Header() const {
  TBytes b;
  unsigned bits = rectBits_;
  if (bits == 0)
    for (std::int32_t v : {frame_.XMin, frame_.XMax, frame_.YMin, frame_.YMax}) bits = std::max(bits, SignedBitsFor(v));
  bits = std::min(bits, 31u);  // the width field has five bits
  TBitWriter w(b);
  w.Bits(bits, 5);
  for (std::int32_t v : {frame_.XMin, frame_.XMax, frame_.YMin, frame_.YMax})
    w.Bits(static_cast<std::uint32_t>(v) & (bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1)), bits);
  Put16(b, frameRate88_);
  Put16(b, frameCount_);
  return b;
}

TBytes TSwfWriter::Bytes(TSwfForm form) const {
  TBytes body = Header();
  body.insert(body.end(), tags_.begin(), tags_.end());
  if (!endsWithEnd_) Put16(body, 0);

  const auto length = static_cast<std::uint32_t>(8 + body.size());
  TBytes out = {static_cast<std::uint8_t>(form == TSwfForm::sfPlain ? 'F' : form == TSwfForm::sfZlib ? 'C' : 'Z'),
                'W', 'S', version_};
  Put32(out, length);
  if (form == TSwfForm::sfPlain) {
    out.insert(out.end(), body.begin(), body.end());
  } else if (form == TSwfForm::sfZlib) {
    const TBytes packed = Deflate(body);
    out.insert(out.end(), packed.begin(), packed.end());
  } else {
    const TBytes alone = LzmaAlone(body);
    Put32(out, static_cast<std::uint32_t>(alone.size() - 13));
    out.insert(out.end(), alone.begin(), alone.begin() + 5);
    out.insert(out.end(), alone.begin() + 13, alone.end());
  }
  return out;
}

void WriteFile(const std::string& path, const TBytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace vorra::swf
