// Geometry and colour of movie files, shared by the parser, the drawing code
// and the player. Geometry is in twips (1/20 pixel) unless a name says pixels.
#pragma once

#include <cstdint>

namespace flash {

struct TRectTw {
  std::int32_t XMin = 0, XMax = 0, YMin = 0, YMax = 0;
  bool IsEmpty() const { return XMax <= XMin || YMax <= YMin; }
};

// x' = A*x + C*y + Tx, y' = B*x + D*y + Ty (the file's scale/rotate-skew order).
struct TMatrix {
  double A = 1, B = 0, C = 0, D = 1, Tx = 0, Ty = 0;
  // This after inner: (outer * inner)(p) = outer(inner(p)).
  TMatrix operator*(const TMatrix& inner) const;
  void Apply(double x, double y, double& outX, double& outY) const;
};

// Multipliers are factors (1 = unchanged); adds are in 0..255 colour units.
struct TColorTransform {
  double RMul = 1, GMul = 1, BMul = 1, AMul = 1;
  double RAdd = 0, GAdd = 0, BAdd = 0, AAdd = 0;
  // This after inner.
  TColorTransform operator*(const TColorTransform& inner) const;
  bool IsIdentity() const;
};

struct TRgba {
  std::uint8_t R = 0, G = 0, B = 0, A = 255;
  bool operator==(const TRgba&) const = default;
};

// The colour after the transform, each channel clamped to 0..255.
TRgba Transform(const TColorTransform& cx, TRgba c);

}  // namespace flash
