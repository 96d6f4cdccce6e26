// The three containers of a movie file: plain ("FWS"), zlib ("CWS") and LZMA
// ("ZWS"). The body (everything after the 8-byte file header) is unpacked up
// to the length the header declares and never past a cap, so a hostile
// length or stream cannot take unbounded memory. A stream that ends early
// or breaks gives what came before the damage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flash {

inline constexpr std::size_t kMaxMovieBytes = 64u << 20;

struct TSwfFile {
  char Signature = 0;  // 'F', 'C' or 'Z'
  int Version = 0;
  std::uint32_t DeclaredLength = 0;
  std::vector<std::uint8_t> Body;
  bool Truncated = false;  // the body is shorter than declared
};

// False (with the reason) when the bytes are not a movie.
bool DecodeSwfContainer(std::span<const std::uint8_t> file, TSwfFile& out, std::string* why = nullptr,
                        std::size_t cap = kMaxMovieBytes);
// Reads at most what the cap can need of a regular file and decodes it.
bool ReadSwfContainerFile(const std::string& path, TSwfFile& out, std::string* why = nullptr,
                          std::size_t cap = kMaxMovieBytes);

}  // namespace flash
