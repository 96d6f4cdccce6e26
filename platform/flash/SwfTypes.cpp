#include "platform/flash/SwfTypes.h"

#include <algorithm>
#include <cmath>

namespace flash {

TMatrix TMatrix::operator*(const TMatrix& m) const {
  TMatrix r;
  r.A = A * m.A + C * m.B;
  r.B = B * m.A + D * m.B;
  r.C = A * m.C + C * m.D;
  r.D = B * m.C + D * m.D;
  r.Tx = A * m.Tx + C * m.Ty + Tx;
  r.Ty = B * m.Tx + D * m.Ty + Ty;
  return r;
}

void TMatrix::Apply(double x, double y, double& outX, double& outY) const {
  outX = A * x + C * y + Tx;
  outY = B * x + D * y + Ty;
}

TColorTransform TColorTransform::operator*(const TColorTransform& in) const {
  TColorTransform r;
  r.RMul = RMul * in.RMul;
  r.GMul = GMul * in.GMul;
  r.BMul = BMul * in.BMul;
  r.AMul = AMul * in.AMul;
  r.RAdd = in.RAdd * RMul + RAdd;
  r.GAdd = in.GAdd * GMul + GAdd;
  r.BAdd = in.BAdd * BMul + BAdd;
  r.AAdd = in.AAdd * AMul + AAdd;
  return r;
}

bool TColorTransform::IsIdentity() const {
  return RMul == 1 && GMul == 1 && BMul == 1 && AMul == 1 && RAdd == 0 && GAdd == 0 && BAdd == 0 && AAdd == 0;
}

static std::uint8_t Channel(double v, double mul, double add) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(v * mul + add), 0L, 255L));
}

TRgba Transform(const TColorTransform& cx, TRgba c) {
  return {Channel(c.R, cx.RMul, cx.RAdd), Channel(c.G, cx.GMul, cx.GAdd), Channel(c.B, cx.BMul, cx.BAdd),
          Channel(c.A, cx.AMul, cx.AAdd)};
}

}  // namespace flash
