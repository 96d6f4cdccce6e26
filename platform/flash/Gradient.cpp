#include "platform/flash/Gradient.h"

#include <algorithm>
#include <cmath>

namespace flash {

namespace {

// The gradient square spans -16384..16384 twips before its matrix.
constexpr double kHalf = 16384.0;

double ToLinear(double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }
double ToSrgb(double c) { return c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055; }

void AddStop(cairo_pattern_t* p, double offset, TRgba c) {
  cairo_pattern_add_color_stop_rgba(p, offset, c.R / 255.0, c.G / 255.0, c.B / 255.0, c.A / 255.0);
}

}  // namespace

cairo_pattern_t* MakeGradientPattern(const TFillStyle& f, const TColorTransform& cx) {
  if (f.Stops.empty()) return nullptr;
  cairo_matrix_t m;
  cairo_matrix_init(&m, f.Matrix.A, f.Matrix.B, f.Matrix.C, f.Matrix.D, f.Matrix.Tx, f.Matrix.Ty);
  if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return nullptr;
  cairo_pattern_t* p = nullptr;
  if (f.Kind == TFillKind::fkLinear) {
    p = cairo_pattern_create_linear(-kHalf, 0, kHalf, 0);
  } else {
    const double focal = std::clamp(f.Kind == TFillKind::fkFocal ? f.Focal : 0.0, -0.99, 0.99);
    p = cairo_pattern_create_radial(focal * kHalf, 0, 0, 0, 0, kHalf);
  }
  cairo_pattern_set_matrix(p, &m);
  cairo_pattern_set_extend(p, f.Spread == 1   ? CAIRO_EXTEND_REFLECT
                              : f.Spread == 2 ? CAIRO_EXTEND_REPEAT
                                              : CAIRO_EXTEND_PAD);
  const bool identity = cx.IsIdentity();
  for (std::size_t i = 0; i < f.Stops.size(); ++i) {
    const TRgba c = identity ? f.Stops[i].Color : Transform(cx, f.Stops[i].Color);
    if (f.Interpolation == 1 && i > 0) {
      // Linear-light blending: cairo blends in sRGB, so steps in between approximate it.
      const TRgba a = identity ? f.Stops[i - 1].Color : Transform(cx, f.Stops[i - 1].Color);
      const double r0 = f.Stops[i - 1].Ratio / 255.0, r1 = f.Stops[i].Ratio / 255.0;
      constexpr int kSteps = 8;
      for (int s = 1; s < kSteps; ++s) {
        const double t = static_cast<double>(s) / kSteps;
        const auto mix = [t](std::uint8_t x, std::uint8_t y) {
          const double v = ToSrgb(ToLinear(x / 255.0) * (1 - t) + ToLinear(y / 255.0) * t);
          return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255), 0L, 255L));
        };
        TRgba m2{mix(a.R, c.R), mix(a.G, c.G), mix(a.B, c.B),
                 static_cast<std::uint8_t>(std::lround(a.A * (1 - t) + c.A * t))};
        AddStop(p, r0 + (r1 - r0) * t, m2);
      }
    }
    AddStop(p, f.Stops[i].Ratio / 255.0, c);
  }
  return p;
}

}  // namespace flash
