#include "platform/flash/SwfContainer.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>

#include <sys/stat.h>

namespace flash {

namespace {

constexpr std::size_t kHeader = 8;
constexpr std::size_t kZwsHeader = 17;  // + compressed length and 5 LZMA property bytes
constexpr std::size_t kChunk = 64 * 1024;

std::uint32_t Le32(std::span<const std::uint8_t> b, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < 4 && at + i < b.size(); ++i) v |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  return v;
}

// Grows out in chunks so a small stream never reserves the whole limit.
bool Inflate(std::span<const std::uint8_t> in, std::size_t limit, std::vector<std::uint8_t>& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT32_MAX));
  bool whole = false;
  while (out.size() < limit) {
    const std::size_t at = out.size();
    const std::size_t grow = std::min(kChunk + at, limit - at);
    out.resize(at + grow);
    z.next_out = out.data() + at;
    z.avail_out = static_cast<uInt>(grow);
    const int rc = inflate(&z, Z_NO_FLUSH);
    out.resize(at + grow - z.avail_out);
    if (rc == Z_STREAM_END) {
      whole = true;
      break;
    }
    if (rc != Z_OK) break;  // damaged or cut short: keep what came before
  }
  inflateEnd(&z);
  return whole || out.size() >= limit;
}

bool Unlzma(std::span<const std::uint8_t> props, std::span<const std::uint8_t> in, std::size_t limit,
            std::vector<std::uint8_t>& out) {
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  if (lzma_properties_decode(&filters[0], nullptr, props.data(), props.size()) != LZMA_OK) return false;
  std::unique_ptr<lzma_options_lzma, decltype(&std::free)> options(
      static_cast<lzma_options_lzma*>(filters[0].options), &std::free);
  // The dictionary never needs to exceed what will be decoded.
  const std::uint64_t dict = std::max<std::uint64_t>(limit, LZMA_DICT_SIZE_MIN);
  if (options->dict_size > dict) options->dict_size = static_cast<std::uint32_t>(dict);
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&s, filters) != LZMA_OK) return false;
  s.next_in = in.data();
  s.avail_in = in.size();
  bool whole = false;
  while (out.size() < limit) {
    const std::size_t at = out.size();
    const std::size_t grow = std::min(kChunk + at, limit - at);
    out.resize(at + grow);
    s.next_out = out.data() + at;
    s.avail_out = grow;
    const lzma_ret rc = lzma_code(&s, s.avail_in ? LZMA_RUN : LZMA_FINISH);
    out.resize(at + grow - s.avail_out);
    if (rc == LZMA_STREAM_END) {
      whole = true;
      break;
    }
    if (rc != LZMA_OK || (s.avail_in == 0 && s.avail_out != 0)) break;
  }
  lzma_end(&s);
  return whole || out.size() >= limit;
}

}  // namespace

bool DecodeSwfContainer(std::span<const std::uint8_t> file, TSwfFile& out, std::string* why, std::size_t cap) {
  out = TSwfFile{};
  if (file.size() < 3 || file[1] != 'W' || file[2] != 'S' || (file[0] != 'F' && file[0] != 'C' && file[0] != 'Z')) {
    if (why) *why = "not a Flash movie (it does not start with FWS, CWS or ZWS)";
    return false;
  }
  if (file.size() < kHeader) {
    if (why) *why = "cut short inside its header";
    return false;
  }
  out.Signature = static_cast<char>(file[0]);
  out.Version = file[3];
  out.DeclaredLength = Le32(file, 4);
  const std::size_t declared = out.DeclaredLength > kHeader ? out.DeclaredLength - kHeader : 0;
  const std::size_t limit = std::min(declared, cap);
  bool whole = true;
  if (out.Signature == 'F') {
    const std::size_t n = std::min(limit, file.size() - kHeader);
    out.Body.assign(file.begin() + kHeader, file.begin() + static_cast<std::ptrdiff_t>(kHeader + n));
    whole = n == limit;
  } else if (out.Signature == 'C') {
    whole = Inflate(file.subspan(kHeader), limit, out.Body);
  } else if (file.size() < kZwsHeader) {
    whole = false;
  } else {
    whole = Unlzma(file.subspan(12, 5), file.subspan(kZwsHeader), limit, out.Body);
  }
  out.Truncated = !whole || out.Body.size() < declared;
  return true;
}

bool ReadSwfContainerFile(const std::string& path, TSwfFile& out, std::string* why, std::size_t cap) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) {
    if (why) *why = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    if (why) *why = S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "it is not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (why) *why = "cannot be opened";
    return false;
  }
  // A compressed body is rarely larger than what it unpacks to; the header adds 17 bytes.
  const std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(st.st_size), cap + kZwsHeader);
  std::vector<std::uint8_t> bytes(want);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(want));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return DecodeSwfContainer(bytes, out, why, cap);
}

}  // namespace flash
