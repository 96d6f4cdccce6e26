// A minimal Flash movie writer: a header, a few tags, and the three
// container forms (plain, zlib, LZMA). Used at build time for blank.dat and
// the sample movies, and by the tests to make their own movies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorra::swf {

using TBytes = std::vector<std::uint8_t>;

enum class TSwfForm { sfPlain, sfZlib, sfLzma };

struct TTwipsRect {
  std::int32_t XMin = 0, XMax = 0, YMin = 0, YMax = 0;
};

class TSwfWriter {
 public:
  TSwfWriter(std::uint8_t version, TTwipsRect frame, std::uint16_t frameCount, double frameRate = 24.0);

  // Forces the rectangle's field width (0: the least that holds the values).
  void SetRectBits(unsigned bits) { rectBits_ = bits; }

  void Tag(std::uint16_t code, const TBytes& data);  // short header when it fits, long otherwise
  void SetBackgroundColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
  void FileAttributes(std::uint32_t flags);
  void ShowFrame();
  // A DefineBinaryData tag of `size` bytes that do not compress.
  void Padding(std::size_t size, std::uint32_t seed = 1);

  // The whole file; an End tag is appended when the last tag is not one.
  TBytes Bytes(TSwfForm form) const;

 private:
  TBytes Header() const;  // rectangle, frame rate and count: what follows the 8-byte file header

  std::uint8_t version_;
  TTwipsRect frame_;
  std::uint16_t frameCount_;
  std::uint16_t frameRate88_;
  unsigned rectBits_ = 0;
  TBytes tags_;
  bool endsWithEnd_ = false;
};

// Writes bytes to a file; throws std::runtime_error when it cannot.
void WriteFile(const std::string& path, const TBytes& bytes);

}  // namespace vorra::swf
