#include "platform/flash/TextDevice.h"

#include <algorithm>
#include <cmath>

namespace flash {

namespace {

// Wider text is cut; keeps the coverage bitmap bounded.
constexpr int kMaxWidth = 4096;

std::string FaceFor(const std::string& name) {
  if (name.empty() || name == "_sans") return "Arial";
  if (name == "_serif") return "Times New Roman";
  if (name == "_typewriter") return "Courier New";
  return name;
}

}  // namespace

TDeviceText::TDeviceText(const std::string& face, bool bold, bool italic, double pixelsPerTwip, double height)
    : scale_(pixelsPerTwip) {
  const double pixels = height * pixelsPerTwip;
  if (!std::isfinite(pixels) || pixels < 1 || pixels > 1000) return;
  font_ = win::CreateFontA(-static_cast<int>(std::lround(pixels)), 0, 0, 0, bold ? win::FW_BOLD : win::FW_NORMAL, italic,
                           0, 0, win::DEFAULT_CHARSET, 0, 0, win::ANTIALIASED_QUALITY, 0, FaceFor(face).c_str());
  if (!font_) return;
  dc_ = win::CreateCompatibleDC(nullptr);
  if (!dc_) return;
  win::SelectObject(dc_, font_);
  win::TEXTMETRICA tm{};
  win::GetTextMetricsA(dc_, &tm);
  ascent_ = tm.tmAscent;
  height_ = tm.tmHeight;
}

TDeviceText::~TDeviceText() {
  if (dc_) win::DeleteDC(dc_);
  if (font_) win::DeleteObject(font_);
}

double TDeviceText::Measure(const std::string& utf8) const {
  if (!dc_ || utf8.empty()) return 0;
  win::SIZE size{};
  win::GetTextExtentPoint32A(dc_, utf8.data(), static_cast<int>(std::min<std::size_t>(utf8.size(), 1 << 20)), &size);
  return size.cx / scale_;
}

void TDeviceText::Draw(cairo_t* cr, double x, double y, const std::string& utf8, TRgba color) const {
  if (!dc_ || utf8.empty()) return;
  const int width = std::clamp(static_cast<int>(std::ceil(Measure(utf8) * scale_)) + 2, 1, kMaxWidth);
  const int rows = std::max(1, height_ + 2);
  win::BITMAPINFO bi{};
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -rows;
  void* bits = nullptr;
  win::HBITMAP bmp = win::CreateDIBSection(nullptr, &bi, win::DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp || !bits) {
    if (bmp) win::DeleteObject(bmp);
    return;
  }
  win::HGDIOBJ old = win::SelectObject(dc_, bmp);
  // White on black: the red channel is the glyphs' coverage.
  win::SetBkMode(dc_, win::TRANSPARENT);
  win::SetTextColor(dc_, 0xFFFFFF);
  win::SetTextAlign(dc_, win::TA_BASELINE);
  win::TextOutA(dc_, 1, ascent_ + 1, utf8.data(), static_cast<int>(std::min<std::size_t>(utf8.size(), 1 << 20)));
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, rows);
  if (cairo_surface_status(mask) == CAIRO_STATUS_SUCCESS) {
    unsigned char* dst = cairo_image_surface_get_data(mask);
    const int stride = cairo_image_surface_get_stride(mask);
    const auto* src = static_cast<const std::uint32_t*>(bits);
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < width; ++c)
        dst[r * stride + c] = static_cast<unsigned char>(src[static_cast<std::size_t>(r) * width + c] >> 16 & 0xFF);
    cairo_surface_mark_dirty(mask);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_source_rgba(cr, color.R / 255.0, color.G / 255.0, color.B / 255.0, color.A / 255.0);
    cairo_mask_surface(cr, mask, std::round(x) - 1, std::round(y) - ascent_ - 1);
    cairo_restore(cr);
  }
  cairo_surface_destroy(mask);
  win::SelectObject(dc_, old);
  win::DeleteObject(bmp);
}

}  // namespace flash
