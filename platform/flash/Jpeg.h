// JPEG (and the PNG that later files put in the same tags) decoded into
// bitmap characters.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/flash/Bitmap.h"

namespace flash {

// The stream libjpeg can read: the stray end/start pair that older tools put
// before the image, or between the tables and the image, removed.
std::vector<std::uint8_t> JoinJpeg(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> image);

// Null on a broken or refused image.
TSurfacePtr DecodeJpeg(std::span<const std::uint8_t> data);
TSurfacePtr DecodePng(std::span<const std::uint8_t> data);

// DefineBits (6), DefineBitsJPEG2 (21), DefineBitsJPEG3 (35), DefineBitsJPEG4 (90).
std::shared_ptr<TCharacter> ParseJpeg(int code, std::span<const std::uint8_t> body, TParseContext& ctx);

}  // namespace flash
