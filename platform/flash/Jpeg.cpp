#include "platform/flash/Jpeg.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
// libjpeg's header needs FILE and size_t first.
#include <jpeglib.h>

#include "platform/flash/SwfReader.h"

namespace flash {

namespace {

void AppendMarkers(std::span<const std::uint8_t> d, std::vector<std::uint8_t>& out, bool& sawScan) {
  std::size_t i = 0;
  const std::size_t n = d.size();
  while (i + 1 < n && !sawScan) {
    if (d[i] != 0xFF) break;
    const std::uint8_t m = d[i + 1];
    if (m == 0xFF) {
      ++i;
    } else if (m == 0xD9) {
      i += 2;  // an end before the scan: a table block or the stray pair
    } else if (m == 0xD8) {
      if (out.empty()) out.insert(out.end(), {0xFF, 0xD8});
      i += 2;
    } else if (m == 0xDA) {
      sawScan = true;
    } else if ((m >= 0xD0 && m <= 0xD7) || m == 0x01) {
      out.insert(out.end(), d.begin() + static_cast<std::ptrdiff_t>(i), d.begin() + static_cast<std::ptrdiff_t>(i + 2));
      i += 2;
    } else {
      if (i + 3 >= n) break;
      const std::size_t len = static_cast<std::size_t>(d[i + 2]) << 8 | d[i + 3];
      if (len < 2 || i + 2 + len > n) break;
      out.insert(out.end(), d.begin() + static_cast<std::ptrdiff_t>(i),
                 d.begin() + static_cast<std::ptrdiff_t>(i + 2 + len));
      i += 2 + len;
    }
  }
  if (sawScan || i < n) {
    // The scan (or bytes this walk does not understand) go through as they are.
    if (out.empty()) out.insert(out.end(), {0xFF, 0xD8});
    out.insert(out.end(), d.begin() + static_cast<std::ptrdiff_t>(i), d.end());
    sawScan = true;
  }
}

struct TJpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
};

[[noreturn]] void OnJpegError(j_common_ptr c) { std::longjmp(reinterpret_cast<TJpegError*>(c->err)->Jump, 1); }
void OnJpegMessage(j_common_ptr) {}

// Plain C data only between setjmp and longjmp.
cairo_surface_t* DecodeJpegRaw(const unsigned char* data, unsigned long size) {
  jpeg_decompress_struct cinfo{};
  TJpegError err;
  cinfo.err = jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = OnJpegError;
  err.Mgr.output_message = OnJpegMessage;
  cairo_surface_t* volatile surface = nullptr;
  unsigned char* volatile row = nullptr;
  if (setjmp(err.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    std::free(row);
    if (surface) cairo_surface_destroy(surface);
    return nullptr;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, size);
  jpeg_read_header(&cinfo, TRUE);
  if (!BitmapSizeOk(cinfo.image_width, cinfo.image_height)) {
    jpeg_destroy_decompress(&cinfo);
    return nullptr;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
  surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  row = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(w) * 3));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || !row || cinfo.output_components != 3) {
    jpeg_destroy_decompress(&cinfo);
    std::free(row);
    cairo_surface_destroy(surface);
    return nullptr;
  }
  unsigned char* pixels = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  while (cinfo.output_scanline < cinfo.output_height) {
    const int y = static_cast<int>(cinfo.output_scanline);
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) break;
    auto* out = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x)
      out[x] = 0xFF000000u | static_cast<std::uint32_t>(row[3 * x]) << 16 | row[3 * x + 1] << 8 | row[3 * x + 2];
  }
  jpeg_abort_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::free(row);
  cairo_surface_mark_dirty(surface);
  return surface;
}

bool IsPng(std::span<const std::uint8_t> d) { return d.size() >= 8 && d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G'; }
bool IsGif(std::span<const std::uint8_t> d) { return d.size() >= 6 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F'; }

void ApplyAlpha(cairo_surface_t* s, const std::vector<std::uint8_t>& alpha) {
  cairo_surface_flush(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  unsigned char* pixels = cairo_image_surface_get_data(s);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t a = alpha[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)];
      const std::uint32_t p = row[x];
      row[x] = a << 24 | ((p >> 16 & 0xFF) * a + 127) / 255 << 16 | ((p >> 8 & 0xFF) * a + 127) / 255 << 8 |
               ((p & 0xFF) * a + 127) / 255;
    }
  }
  cairo_surface_mark_dirty(s);
}

}  // namespace

std::vector<std::uint8_t> JoinJpeg(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> image) {
  std::vector<std::uint8_t> out;
  out.reserve(tables.size() + image.size());
  bool sawScan = false;
  AppendMarkers(tables, out, sawScan);
  if (!sawScan) AppendMarkers(image, out, sawScan);
  return out;
}

TSurfacePtr DecodeJpeg(std::span<const std::uint8_t> data) {
  if (data.empty()) return nullptr;
  cairo_surface_t* s = DecodeJpegRaw(data.data(), data.size());
  return s ? TSurfacePtr(s, cairo_surface_destroy) : nullptr;
}

TSurfacePtr DecodePng(std::span<const std::uint8_t> data) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&img, data.data(), data.size())) return nullptr;
  TSurfacePtr s = NewImageSurface(static_cast<int>(img.width), static_cast<int>(img.height));
  if (!s) {
    png_image_free(&img);
    return nullptr;
  }
  img.format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
  unsigned char* pixels = cairo_image_surface_get_data(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  if (!png_image_finish_read(&img, nullptr, pixels, stride, nullptr)) {
    png_image_free(&img);
    return nullptr;
  }
  for (int y = 0; y < static_cast<int>(img.height); ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::ptrdiff_t>(y) * stride);
    for (int x = 0; x < static_cast<int>(img.width); ++x) {
      const std::uint32_t p = row[x], a = p >> 24;
      row[x] = a << 24 | ((p >> 16 & 0xFF) * a + 127) / 255 << 16 | ((p >> 8 & 0xFF) * a + 127) / 255 << 8 |
               ((p & 0xFF) * a + 127) / 255;
    }
  }
  cairo_surface_mark_dirty(s.get());
  return s;
}

std::shared_ptr<TCharacter> ParseJpeg(int code, std::span<const std::uint8_t> body, TParseContext& ctx) {
  TSwfReader r(body);
  r.U16();
  std::size_t imageSize = 0;
  if (code == 35 || code == 90) imageSize = r.U32();
  if (code == 90) r.U16();  // deblocking, not applied
  if (r.Overrun()) return nullptr;
  const std::span<const std::uint8_t> rest = r.Rest();
  const std::span<const std::uint8_t> image = imageSize ? rest.first(std::min(imageSize, rest.size())) : rest;
  TSurfacePtr s;
  if (IsPng(image)) {
    s = DecodePng(image);
  } else if (IsGif(image)) {
    return nullptr;  // GIF images are not decoded
  } else {
    const std::span<const std::uint8_t> tables = code == 6 ? std::span<const std::uint8_t>(ctx.JpegTables) : std::span<const std::uint8_t>();
    s = DecodeJpeg(JoinJpeg(tables, image));
    if (s && imageSize && imageSize < rest.size()) {
      const int w = cairo_image_surface_get_width(s.get()), h = cairo_image_surface_get_height(s.get());
      const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
      std::vector<std::uint8_t> alpha;
      if (Inflate(rest.subspan(imageSize), n, n, alpha)) ApplyAlpha(s.get(), alpha);
    }
  }
  if (!s) return nullptr;
  return std::make_shared<TBitmapCharacter>(std::move(s));
}

}  // namespace flash
