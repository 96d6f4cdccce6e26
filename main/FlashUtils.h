// Recognising Flash movies (plain "FWS", zlib "CWS" and LZMA "ZWS") and reading
// the header facts the preview needs: frame rectangle, frame count and the
// background colour of a leading SetBackgroundColor tag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace vorra {

struct TSwfRect {
  std::int32_t Left = 0;
  std::int32_t Top = 0;
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
};

struct TSwfHeader {
  std::int32_t FrameCount = 0;
  TSwfRect FrameRect;
  bool HasBackground = false;
  std::int32_t Background = 0;  // Windows colour: red in the low byte
};

// A compressed header that does not decompress; the text is the library's message.
class ESwfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TSwfCompression { scNone, scZlib, scLzma };

enum class TSwfRecognition {
  srMovie,        // a known signature with its whole fixed header
  srNotMovie,     // no known signature
  srShortHeader,  // a compressed movie cut inside its fixed header
};

struct TSwfFileInfo {
  std::string Signature;  // "FWS", "CWS", "ZWS"
  std::uint8_t Version = 0;
  std::uint32_t FileLength = 0;  // as declared: the uncompressed size
  TSwfCompression Compression = TSwfCompression::scNone;
  TSwfHeader Header;
  // Which facts lay inside the bytes there were; the others read as 0.
  bool VersionRead = false, LengthRead = false;
  bool FrameRead = false;  // frame rectangle, rate and count
};

// The most of a file's start that the reader ever looks at (ZWS: 17 header bytes + 256).
inline constexpr std::size_t SwfPrefixMax = 17 + 256;

// Recognises a movie from its first bytes (the first min(file size, SwfPrefixMax)
// bytes of the file) and fills info. Throws ESwfError when compressed data is damaged.
TSwfRecognition ParseSwfPrefix(std::span<const std::uint8_t> prefix, TSwfFileInfo& info);

enum class TSwfReadResult { rrMovie, rrNotMovie, rrShortHeader, rrCannotOpen };

// Opens and recognises a file; `why` receives the reason it could not be opened.
// Never blocks on pipes or devices. Throws ESwfError as ParseSwfPrefix does.
TSwfReadResult ReadSwfFile(const std::string& path, TSwfFileInfo& info, std::string* why = nullptr);

// Fills header from a movie file; leaves it alone when the file cannot be
// opened or is not a movie. Throws ESwfError on damaged compressed data.
void ReadSwfHeader(const std::string& path, TSwfHeader& header);

// Windows colour to the player's 0xRRGGBB form (red and blue exchanged).
std::int32_t FlashColor(std::int32_t color);

// Reads a recognised movie to its end: empty when it is whole, otherwise what is
// wrong (cut short, also when the compressed data ends before the declared
// length; damaged data). Memory stays bounded whatever the file says.
std::string CheckSwfBody(const std::string& path, const TSwfFileInfo& info);

}  // namespace vorra
