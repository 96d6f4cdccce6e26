#include "platform/ui/Png.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace win {
namespace {

struct TFile {
  explicit TFile(std::FILE* f) : F(f) {}
  ~TFile() {
    if (F) std::fclose(F);
  }
  std::FILE* F;
};

}  // namespace

bool SavePng(const std::string& path, HBITMAP bitmap, const RECT* area, bool withAlpha) {
  HBITMAP__* b = gdi::As<HBITMAP__>(bitmap, TGdiKind::Bitmap);
  if (!b) return false;
  RECT r{0, 0, b->Width, b->Height};
  if (area) {
    r = RECT{std::max(r.left, area->left), std::max(r.top, area->top), std::min(r.right, area->right),
             std::min(r.bottom, area->bottom)};
  }
  if (r.left >= r.right || r.top >= r.bottom) return false;
  const LONG w = r.right - r.left, h = r.bottom - r.top;
  const int channels = withAlpha ? 4 : 3;
  std::vector<png_byte> rows(static_cast<size_t>(w) * h * channels);
  for (LONG y = 0; y < h; ++y) {
    const std::uint32_t* src = b->Row(r.top + y) + r.left;
    png_byte* out = rows.data() + static_cast<size_t>(y) * w * channels;
    for (LONG x = 0; x < w; ++x) {
      const std::uint32_t p = src[x];
      *out++ = static_cast<png_byte>(p >> 16);
      *out++ = static_cast<png_byte>(p >> 8);
      *out++ = static_cast<png_byte>(p);
      if (withAlpha) *out++ = static_cast<png_byte>(p >> 24);
    }
  }
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = static_cast<png_uint_32>(w);
  img.height = static_cast<png_uint_32>(h);
  img.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  // Written to a neighbour first, so a failed write never leaves half a file under the name.
  const std::string tmp = path + ".tmp";
  const bool ok = png_image_write_to_file(&img, tmp.c_str(), 0, rows.data(), 0, nullptr) != 0;
  png_image_free(&img);
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

bool SavePng(const std::string& path, HDC hdc, const RECT* area, bool withAlpha) {
  return SavePng(path, GetDCBitmap(hdc), area, withAlpha);
}

HBITMAP LoadPng(const std::string& path) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return nullptr;
  img.format = PNG_FORMAT_BGRA;  // memory order of our pixels
  if (img.width == 0 || img.height == 0 || img.width > 32768 || img.height > 32768) {
    png_image_free(&img);
    return nullptr;
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = static_cast<LONG>(img.width);
  bi.bmiHeader.biHeight = -static_cast<LONG>(img.height);
  void* bits = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!b) {
    png_image_free(&img);
    return nullptr;
  }
  if (!png_image_finish_read(&img, nullptr, bits, 0, nullptr)) {
    png_image_free(&img);
    DeleteObject(b);
    return nullptr;
  }
  return b;
}

}  // namespace win
