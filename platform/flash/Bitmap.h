// Bitmap characters: lossless images, and the image surface that JPEG and
// PNG decoding fill. Pixels are cairo's premultiplied ARGB32.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/flash/Character.h"

namespace flash {

using TSurfacePtr = std::shared_ptr<cairo_surface_t>;

// Images past these are refused, whatever the file claims.
constexpr int kMaxBitmapSide = 8192;
constexpr std::int64_t kMaxBitmapPixels = 16 * 1024 * 1024;
bool BitmapSizeOk(std::int64_t width, std::int64_t height);

// A new ARGB32 surface, or null when the size is refused or cairo fails.
TSurfacePtr NewImageSurface(int width, int height);

// A copy of the image with each pixel's colour transformed.
TSurfacePtr TransformSurface(cairo_surface_t* image, const TColorTransform& cx);

// Inflates a zlib stream, keeping at most `limit` bytes; false on a broken stream
// before `limit` bytes came out or on fewer than `atLeast` bytes.
bool Inflate(std::span<const std::uint8_t> in, std::size_t atLeast, std::size_t limit, std::vector<std::uint8_t>& out);

class TBitmapCharacter : public TCharacter {
 public:
  explicit TBitmapCharacter(TSurfacePtr image);
  // One image pixel is one pixel (20 twips) at scale 1.
  TRectTw Bounds() const override;
  void Draw(const TRenderContext& rc) const override;
  cairo_surface_t* Image() const { return image_.get(); }
  // The image under a colour transform; the last one is kept for the next frame.
  TSurfacePtr ImageFor(const TColorTransform& cx) const;

 private:
  TSurfacePtr image_;
  mutable TColorTransform cachedCx_;
  mutable TSurfacePtr cached_;
};

// DefineBitsLossless (20) and DefineBitsLossless2 (36).
std::shared_ptr<TCharacter> ParseLossless(int code, std::span<const std::uint8_t> body, TParseContext& ctx);

}  // namespace flash
