#include "platform/flash/Bitmap.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>

#include "platform/flash/Shape.h"
#include "platform/flash/SwfReader.h"

namespace flash {

bool BitmapSizeOk(std::int64_t width, std::int64_t height) {
  return width > 0 && height > 0 && width <= kMaxBitmapSide && height <= kMaxBitmapSide &&
         width * height <= kMaxBitmapPixels;
}

TSurfacePtr NewImageSurface(int width, int height) {
  if (!BitmapSizeOk(width, height)) return nullptr;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return TSurfacePtr(s, cairo_surface_destroy);
}

TSurfacePtr TransformSurface(cairo_surface_t* image, const TColorTransform& cx) {
  const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
  TSurfacePtr out = NewImageSurface(w, h);
  if (!out) return nullptr;
  cairo_surface_flush(image);
  const int inStride = cairo_image_surface_get_stride(image), outStride = cairo_image_surface_get_stride(out.get());
  const unsigned char* in = cairo_image_surface_get_data(image);
  unsigned char* dst = cairo_image_surface_get_data(out.get());
  for (int y = 0; y < h; ++y) {
    const auto* src = reinterpret_cast<const std::uint32_t*>(in + static_cast<std::ptrdiff_t>(y) * inStride);
    auto* row = reinterpret_cast<std::uint32_t*>(dst + static_cast<std::ptrdiff_t>(y) * outStride);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t p = src[x];
      const unsigned a = p >> 24;
      TRgba c;
      c.A = static_cast<std::uint8_t>(a);
      if (a) {
        c.R = static_cast<std::uint8_t>(std::min(255u, ((p >> 16 & 0xFF) * 255 + a / 2) / a));
        c.G = static_cast<std::uint8_t>(std::min(255u, ((p >> 8 & 0xFF) * 255 + a / 2) / a));
        c.B = static_cast<std::uint8_t>(std::min(255u, ((p & 0xFF) * 255 + a / 2) / a));
      }
      c = Transform(cx, c);
      const unsigned na = c.A;
      row[x] = na << 24 | (c.R * na + 127) / 255 << 16 | (c.G * na + 127) / 255 << 8 | (c.B * na + 127) / 255;
    }
  }
  cairo_surface_mark_dirty(out.get());
  return out;
}

bool Inflate(std::span<const std::uint8_t> in, std::size_t atLeast, std::size_t limit, std::vector<std::uint8_t>& out) {
  out.clear();
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT32_MAX));
  // The buffer grows with what really comes out, not with what the header claims.
  std::size_t got = 0;
  int rc = Z_OK;
  while (got < limit && rc == Z_OK) {
    out.resize(std::min(limit, std::max<std::size_t>(got * 2, 65536)));
    z.next_out = out.data() + got;
    z.avail_out = static_cast<uInt>(out.size() - got);
    const uInt before = z.avail_out;
    rc = inflate(&z, Z_SYNC_FLUSH);
    got += before - z.avail_out;
    if (rc == Z_BUF_ERROR) {
      if (before == z.avail_out) break;
      rc = Z_OK;
    }
  }
  inflateEnd(&z);
  out.resize(got);
  return got >= atLeast;
}

TBitmapCharacter::TBitmapCharacter(TSurfacePtr image) : image_(std::move(image)) {}

TRectTw TBitmapCharacter::Bounds() const {
  return {0, cairo_image_surface_get_width(image_.get()) * 20, 0, cairo_image_surface_get_height(image_.get()) * 20};
}

TSurfacePtr TBitmapCharacter::ImageFor(const TColorTransform& cx) const {
  if (cx.IsIdentity()) return image_;
  const auto same = [](const TColorTransform& a, const TColorTransform& b) {
    return a.RMul == b.RMul && a.GMul == b.GMul && a.BMul == b.BMul && a.AMul == b.AMul && a.RAdd == b.RAdd &&
           a.GAdd == b.GAdd && a.BAdd == b.BAdd && a.AAdd == b.AAdd;
  };
  if (!cached_ || !same(cachedCx_, cx)) {
    cached_ = TransformSurface(image_.get(), cx);
    cachedCx_ = cx;
  }
  return cached_;
}

void TBitmapCharacter::Draw(const TRenderContext& rc) const {
  cairo_t* cr = rc.Cr;
  if (!cr || cairo_status(cr) != CAIRO_STATUS_SUCCESS) return;
  const TSurfacePtr image = ImageFor(rc.Cxform);
  if (!image) return;
  cairo_save(cr);
  TMatrix pixels;
  pixels.A = pixels.D = 20;
  if (SetCairoMatrix(cr, rc.Matrix * pixels)) {
    cairo_set_source_surface(cr, image.get(), 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr), rc.AntiAlias ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, 0, cairo_image_surface_get_width(image.get()), cairo_image_surface_get_height(image.get()));
    cairo_fill(cr);
  }
  cairo_restore(cr);
}

namespace {

std::uint32_t Premultiplied(unsigned r, unsigned g, unsigned b, unsigned a, bool alreadyPremultiplied) {
  if (!alreadyPremultiplied) {
    r = (r * a + 127) / 255;
    g = (g * a + 127) / 255;
    b = (b * a + 127) / 255;
  }
  return a << 24 | std::min(r, a) << 16 | std::min(g, a) << 8 | std::min(b, a);
}

}  // namespace

std::shared_ptr<TCharacter> ParseLossless(int code, std::span<const std::uint8_t> body, TParseContext&) {
  const bool alpha = code == 36;
  TSwfReader r(body);
  r.U16();
  const unsigned format = r.U8();
  const int w = r.U16(), h = r.U16();
  const unsigned tableSize = format == 3 ? r.U8() + 1u : 0;
  if (r.Overrun() || (format != 3 && format != 4 && format != 5) || !BitmapSizeOk(w, h)) return nullptr;
  const std::size_t entry = alpha ? 4 : 3;
  const std::size_t rowBytes = format == 3 ? (static_cast<std::size_t>(w) + 3) & ~std::size_t{3}
                               : format == 4 ? (static_cast<std::size_t>(w) * 2 + 3) & ~std::size_t{3}
                                             : static_cast<std::size_t>(w) * 4;
  const std::size_t tableBytes = tableSize * entry;
  const std::size_t need = tableBytes + rowBytes * static_cast<std::size_t>(h);
  std::vector<std::uint8_t> data;
  if (!Inflate(r.Rest(), need, need, data)) return nullptr;
  TSurfacePtr image = NewImageSurface(w, h);
  if (!image) return nullptr;
  const int stride = cairo_image_surface_get_stride(image.get());
  unsigned char* pixels = cairo_image_surface_get_data(image.get());
  std::vector<std::uint32_t> table(tableSize);
  for (unsigned i = 0; i < tableSize; ++i) {
    const std::uint8_t* e = &data[i * entry];
    table[i] = Premultiplied(e[0], e[1], e[2], alpha ? e[3] : 255, true);
  }
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = &data[tableBytes + rowBytes * static_cast<std::size_t>(y)];
    auto* row = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      if (format == 3) {
        row[x] = src[x] < tableSize ? table[src[x]] : 0;
      } else if (format == 4) {
        const unsigned v = src[2 * x] << 8 | src[2 * x + 1];
        const auto scale = [](unsigned c5) { return c5 << 3 | c5 >> 2; };
        row[x] = Premultiplied(scale(v >> 10 & 31), scale(v >> 5 & 31), scale(v & 31), 255, true);
      } else {
        const std::uint8_t* p = &src[4 * x];
        row[x] = Premultiplied(p[1], p[2], p[3], alpha ? p[0] : 255, true);
      }
    }
  }
  cairo_surface_mark_dirty(image.get());
  return std::make_shared<TBitmapCharacter>(std::move(image));
}

}  // namespace flash
