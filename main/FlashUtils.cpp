#include "main/FlashUtils.h"

#include <fcntl.h>
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace vorra {

namespace {

constexpr std::size_t HeaderBytes = 8;       // signature, version, length
constexpr std::size_t ZwsHeaderBytes = 17;   // + compressed length, LZMA properties
constexpr std::size_t InflateWindow = 256;   // input and output of the one decompression call
constexpr std::uint16_t BackgroundTagHeader = 0x0243;  // SetBackgroundColor, length 3

using TBody = std::array<std::uint8_t, InflateWindow>;

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4; ++i)
    if (at + i < b.size()) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

class TBitReader {
 public:
  explicit TBitReader(const TBody& body) : body_(body) {}
  std::uint32_t Bits(unsigned count) {
    std::uint32_t v = 0;
    for (unsigned i = 0; i < count; ++i, ++bit_) {
      const std::uint8_t byte = bit_ / 8 < body_.size() ? body_[bit_ / 8] : 0;
      v = (v << 1) | ((byte >> (7 - bit_ % 8)) & 1u);
    }
    return v;
  }
  // Rectangle fields are signed in the format: a movie may start left of or above 0.
  std::int32_t SignedBits(unsigned count) {
    const std::uint32_t v = Bits(count);
    if (count == 0 || count >= 32 || !(v >> (count - 1) & 1u)) return static_cast<std::int32_t>(v);
    return static_cast<std::int32_t>(static_cast<std::int64_t>(v) - (std::int64_t{1} << count));
  }
  std::size_t NextByte() const { return (bit_ + 7) / 8; }

 private:
  const TBody& body_;
  std::size_t bit_ = 0;
};

std::uint16_t Le16(const TBody& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// Answers whether the rectangle, rate and count lay within the available bytes.
bool ParseHeaderBody(const TBody& body, std::size_t available, TSwfHeader& header) {
  TBitReader bits(body);
  const unsigned width = bits.Bits(5);
  header.FrameRect.Left = bits.SignedBits(width) / 20;
  header.FrameRect.Right = bits.SignedBits(width) / 20;
  header.FrameRect.Top = bits.SignedBits(width) / 20;
  header.FrameRect.Bottom = bits.SignedBits(width) / 20;
  std::size_t at = bits.NextByte();  // at most 17: the reads below stay inside the body
  at += 2;                           // frame rate
  header.FrameCount = Le16(body, at);
  at += 2;
  header.HasBackground = false;
  if (Le16(body, at) == BackgroundTagHeader) {
    const std::int32_t red = body[at + 2], green = body[at + 3], blue = body[at + 4];
    header.Background = red + 256 * green + 65536 * blue;
    header.HasBackground = true;
  }
  return available >= at;
}

// Answers how many bytes it decompressed.
std::size_t InflateStart(std::span<const std::uint8_t> input, TBody& out) {
  z_stream z{};
  int rc = inflateInit(&z);
  if (rc != Z_OK) throw ESwfError(zError(rc));
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  rc = inflate(&z, Z_NO_FLUSH);
  inflateEnd(&z);
  if (rc < 0) throw ESwfError(zError(rc));
  return out.size() - z.avail_out;
}

std::string LzmaMessage(lzma_ret rc) {
  switch (rc) {
    case LZMA_MEM_ERROR: return "out of memory";
    case LZMA_MEMLIMIT_ERROR: return "memory limit reached";
    case LZMA_OPTIONS_ERROR: return "unsupported LZMA properties";
    case LZMA_DATA_ERROR: return "data error";
    case LZMA_BUF_ERROR: return "buffer error";
    default: return "LZMA error " + std::to_string(static_cast<int>(rc));
  }
}

struct TLzmaStream {
  lzma_stream s = LZMA_STREAM_INIT;
  ~TLzmaStream() { lzma_end(&s); }
};

// ZWS keeps LZMA's five property bytes apart from the raw stream. The
// dictionary never needs to exceed what will be decoded, so a hostile
// property byte cannot make us allocate gigabytes.
void LzmaDecoderFor(TLzmaStream& stream, const std::uint8_t* props, std::uint64_t maxOutput) {
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_ret rc = lzma_properties_decode(&filters[0], nullptr, props, 5);
  if (rc != LZMA_OK) throw ESwfError(LzmaMessage(rc));
  std::unique_ptr<lzma_options_lzma, decltype(&std::free)> options(
      static_cast<lzma_options_lzma*>(filters[0].options), &std::free);
  const std::uint64_t cap = std::max<std::uint64_t>(maxOutput, LZMA_DICT_SIZE_MIN);
  if (options->dict_size > cap) options->dict_size = static_cast<std::uint32_t>(cap);
  rc = lzma_raw_decoder(&stream.s, filters);
  if (rc != LZMA_OK) throw ESwfError(LzmaMessage(rc));
}

std::size_t LzmaStart(const std::uint8_t* props, std::span<const std::uint8_t> input, TBody& out) {
  TLzmaStream stream;
  LzmaDecoderFor(stream, props, out.size());
  stream.s.next_in = input.data();
  stream.s.avail_in = input.size();
  stream.s.next_out = out.data();
  stream.s.avail_out = out.size();
  const lzma_ret rc = lzma_code(&stream.s, LZMA_RUN);
  if (rc != LZMA_OK && rc != LZMA_STREAM_END) throw ESwfError(LzmaMessage(rc));
  return out.size() - stream.s.avail_out;
}

std::string ShortStream(std::uint64_t produced, std::uint64_t expected) {
  return "cut short: the compressed data ends after " + std::to_string(produced) + " of the " +
         std::to_string(expected) + " bytes its header declares";
}

// A file descriptor that closes itself.
struct TFd {
  int fd = -1;
  ~TFd() {
    if (fd >= 0) ::close(fd);
  }
};

std::string ErrnoText(int err) { return std::strerror(err); }

// Opens a regular file for reading without ever waiting on a pipe or device.
bool OpenRegular(const std::string& path, TFd& file, struct stat& st, std::string& why) {
  file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (file.fd < 0) {
    why = ErrnoText(errno);
    return false;
  }
  if (::fstat(file.fd, &st) != 0) {
    why = ErrnoText(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    why = "it is a folder, not a file";
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    why = "it is not a regular file";
    return false;
  }
  return true;
}

// Reads up to count bytes at offset; fewer only at the end of the file.
bool ReadAt(int fd, std::uint8_t* buf, std::size_t count, off_t offset, std::size_t& got, std::string& why) {
  got = 0;
  while (got < count) {
    const ssize_t n = ::pread(fd, buf + got, count - got, offset + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = ErrnoText(errno);
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

TSwfRecognition ParseSwfPrefix(std::span<const std::uint8_t> prefix, TSwfFileInfo& info) {
  if (prefix.size() < 3) return TSwfRecognition::srNotMovie;
  const std::string sig(prefix.begin(), prefix.begin() + 3);
  if (sig != "FWS" && sig != "CWS" && sig != "ZWS") return TSwfRecognition::srNotMovie;
  info.Signature = sig;
  info.Version = prefix.size() > 3 ? prefix[3] : 0;
  info.FileLength = Le32(prefix, 4);
  info.VersionRead = prefix.size() > 3;
  info.LengthRead = prefix.size() >= HeaderBytes;
  TBody body{};
  std::size_t available = 0;
  if (sig[0] == 'F') {
    info.Compression = TSwfCompression::scNone;
    if (prefix.size() > HeaderBytes) {
      available = std::min(prefix.size() - HeaderBytes, body.size());
      std::copy_n(prefix.begin() + HeaderBytes, available, body.begin());
    }
  } else if (sig[0] == 'C') {
    info.Compression = TSwfCompression::scZlib;
    if (prefix.size() < HeaderBytes) return TSwfRecognition::srShortHeader;
    available = InflateStart(prefix.subspan(HeaderBytes, std::min(prefix.size() - HeaderBytes, InflateWindow)), body);
  } else {
    info.Compression = TSwfCompression::scLzma;
    if (prefix.size() < ZwsHeaderBytes) return TSwfRecognition::srShortHeader;
    available = LzmaStart(prefix.data() + 12,
                          prefix.subspan(ZwsHeaderBytes, std::min(prefix.size() - ZwsHeaderBytes, InflateWindow)), body);
  }
  info.FrameRead = ParseHeaderBody(body, available, info.Header);
  return TSwfRecognition::srMovie;
}

TSwfReadResult ReadSwfFile(const std::string& path, TSwfFileInfo& info, std::string* why) {
  std::string reason;
  TFd file;
  struct stat st{};
  std::array<std::uint8_t, SwfPrefixMax> buf{};
  std::size_t got = 0;
  if (!OpenRegular(path, file, st, reason) || !ReadAt(file.fd, buf.data(), HeaderBytes, 0, got, reason)) {
    if (why) *why = reason;
    return TSwfReadResult::rrCannotOpen;
  }
  // Only as much as the signature's form needs: a plain or zlib movie costs at most 264 bytes.
  const std::size_t want = (got >= 3 && buf[0] == 'Z') ? SwfPrefixMax : HeaderBytes + InflateWindow;
  std::size_t more = 0;
  if (got == HeaderBytes && !ReadAt(file.fd, buf.data() + got, want - got, static_cast<off_t>(got), more, reason)) {
    if (why) *why = reason;
    return TSwfReadResult::rrCannotOpen;
  }
  switch (ParseSwfPrefix(std::span(buf.data(), got + more), info)) {
    case TSwfRecognition::srMovie: return TSwfReadResult::rrMovie;
    case TSwfRecognition::srShortHeader: return TSwfReadResult::rrShortHeader;
    case TSwfRecognition::srNotMovie: break;
  }
  return TSwfReadResult::rrNotMovie;
}

void ReadSwfHeader(const std::string& path, TSwfHeader& header) {
  TSwfFileInfo info;
  info.Header = header;
  if (ReadSwfFile(path, info) == TSwfReadResult::rrMovie) header = info.Header;
}

std::int32_t FlashColor(std::int32_t color) {
  const auto c = static_cast<std::uint32_t>(color);
  const std::uint32_t swapped = (c & 0xFF00FF00u) | ((c & 0xFFu) << 16) | ((c >> 16) & 0xFFu);
  return static_cast<std::int32_t>(swapped);
}

std::string CheckSwfBody(const std::string& path, const TSwfFileInfo& info) {
  std::string why;
  TFd file;
  struct stat st{};
  if (!OpenRegular(path, file, st, why)) return "cannot be read: " + why;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  const std::uint64_t declared = info.FileLength;

  if (info.Compression == TSwfCompression::scNone) {
    if (size < declared)
      return "cut short: the file has " + std::to_string(size) + " of the " + std::to_string(declared) +
             " bytes its header declares";
    return {};
  }

  // Decompress to the end, keeping nothing: only whether the data is whole matters.
  const std::uint64_t expected = declared > HeaderBytes ? declared - HeaderBytes : 0;
  std::vector<std::uint8_t> in(64 * 1024), out(64 * 1024);
  std::uint64_t offset = HeaderBytes, produced = 0;
  const auto refill = [&](std::size_t& got) { return ReadAt(file.fd, in.data(), in.size(), static_cast<off_t>(offset), got, why); };

  if (info.Compression == TSwfCompression::scZlib) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return "out of memory";
    std::unique_ptr<z_stream, decltype(&inflateEnd)> guard(&z, &inflateEnd);
    for (;;) {
      std::size_t got = 0;
      if (!refill(got)) return "cannot be read: " + why;
      if (got == 0) return "cut short: the compressed data ends early";
      offset += got;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(got);
      while (z.avail_in > 0) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        produced += out.size() - z.avail_out;
        if (rc == Z_STREAM_END) return produced < expected ? ShortStream(produced, expected) : std::string();
        if (rc == Z_NEED_DICT) return "damaged compressed data: it asks for a preset dictionary";
        if (rc == Z_BUF_ERROR) break;  // wants more input
        if (rc < 0) return std::string("damaged compressed data: ") + zError(rc);
        if (produced > expected + out.size())
          return "holds more data than its header declares (" + std::to_string(declared) + " bytes)";
      }
    }
  }

  std::uint8_t lengthAndProps[9];
  std::size_t got = 0;
  if (!ReadAt(file.fd, lengthAndProps, 9, 8, got, why) || got != 9) return "cut short inside its header";
  const std::uint32_t packed = Le32(std::span(lengthAndProps, 4), 0);
  const std::uint8_t* props = lengthAndProps + 4;
  if (size < ZwsHeaderBytes + static_cast<std::uint64_t>(packed))
    return "cut short: the file has " + std::to_string(size - ZwsHeaderBytes) + " of the " + std::to_string(packed) +
           " compressed bytes its header declares";
  TLzmaStream stream;
  try {
    LzmaDecoderFor(stream, props, expected);
  } catch (const ESwfError& e) {
    return std::string("damaged compressed data: ") + e.what();
  }
  offset = ZwsHeaderBytes;
  for (;;) {
    if (!refill(got)) return "cannot be read: " + why;
    offset += got;
    stream.s.next_in = in.data();
    stream.s.avail_in = got;
    do {
      stream.s.next_out = out.data();
      stream.s.avail_out = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), expected - produced + 1));
      const lzma_ret rc = lzma_code(&stream.s, got == 0 ? LZMA_FINISH : LZMA_RUN);
      produced += stream.s.next_out - out.data();
      // Movies written without an end marker stop exactly at the declared size.
      if (produced == expected) return {};
      if (rc == LZMA_STREAM_END && produced < expected) return ShortStream(produced, expected);
      if (produced > expected)
        return "holds more data than its header declares (" + std::to_string(declared) + " bytes)";
      if (rc != LZMA_OK) {
        if (got == 0 || rc == LZMA_BUF_ERROR) return "cut short: the compressed data ends early";
        return "damaged compressed data: " + LzmaMessage(rc);
      }
    } while (stream.s.avail_in > 0);
    if (got == 0) return "cut short: the compressed data ends early";
  }
}

}  // namespace vorra
