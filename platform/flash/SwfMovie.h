// A movie read from its file: the header (frame rectangle, rate, count), the
// background colour, the dictionary of characters and the main timeline. The
// tag loop reads short and long tag headers; a tag cut short ends the movie
// there, and what came before it plays.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "platform/flash/Character.h"
#include "platform/flash/SwfContainer.h"
#include "platform/flash/Timeline.h"

namespace flash {

// Makes the character of a definition tag; ParseDrawable unless a caller
// (a test, a benchmark) draws with characters of its own.
using TDefineFunction =
    std::function<std::shared_ptr<TCharacter>(int code, std::span<const std::uint8_t> body, TParseContext& ctx)>;

class TMovie : public TDictionary {
 public:
  // Never throws on hostile bytes.
  static std::shared_ptr<TMovie> Parse(const TSwfFile& file, const TDefineFunction& define = {});

  const TCharacter* Find(std::uint16_t id) const override;
  // Puts a character into the dictionary (replacing one of the same id).
  void Define(std::uint16_t id, std::shared_ptr<TCharacter> character);

  int Version = 0;
  TRectTw FrameRect;
  double FrameRate = 0;       // frames per second as the file gives it
  int DeclaredFrameCount = 0;
  std::optional<TRgba> Background;
  TTimeline Root;
  bool Truncated = false;     // the file or a tag ended early
  std::size_t TagCount = 0;

 private:
  std::unordered_map<std::uint16_t, std::shared_ptr<TCharacter>> characters_;
};

// A file on disk: false with the reason when it cannot be read or is no movie.
std::shared_ptr<TMovie> LoadMovieFile(const std::string& path, std::string* why = nullptr,
                                      const TDefineFunction& define = {});
std::shared_ptr<TMovie> LoadMovieBytes(std::span<const std::uint8_t> bytes, std::string* why = nullptr,
                                       const TDefineFunction& define = {});

}  // namespace flash
