#include "platform/flash/Morph.h"

#include <algorithm>
#include <cmath>

namespace flash {

namespace {

std::size_t ReadCount(TSwfReader& r) {
  std::size_t n = r.U8();
  if (n == 0xFF) n = r.U16();
  return n;
}

bool ReadMorphFill(TSwfReader& r, TFillStyle& a, TFillStyle& b) {
  const std::uint8_t type = r.U8();
  switch (type) {
    case 0x00:
      a.Kind = b.Kind = TFillKind::fkSolid;
      a.Color = r.Rgba();
      b.Color = r.Rgba();
      break;
    case 0x10:
    case 0x12:
    case 0x13: {
      a.Kind = b.Kind = type == 0x10 ? TFillKind::fkLinear : type == 0x12 ? TFillKind::fkRadial : TFillKind::fkFocal;
      a.Matrix = r.Matrix();
      b.Matrix = r.Matrix();
      const std::uint8_t head = r.U8();
      a.Spread = b.Spread = static_cast<std::uint8_t>(head >> 6);
      a.Interpolation = b.Interpolation = static_cast<std::uint8_t>(head >> 4 & 3);
      for (unsigned i = 0; i < (head & 15u) && !r.Overrun(); ++i) {
        TGradientStop s, e;
        s.Ratio = r.U8();
        s.Color = r.Rgba();
        e.Ratio = r.U8();
        e.Color = r.Rgba();
        a.Stops.push_back(s);
        b.Stops.push_back(e);
      }
      break;
    }
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
      a.Kind = b.Kind = TFillKind::fkBitmap;
      a.BitmapId = b.BitmapId = r.U16();
      a.Matrix = r.Matrix();
      b.Matrix = r.Matrix();
      a.Repeat = b.Repeat = type == 0x40 || type == 0x42;
      a.Smooth = b.Smooth = type == 0x40 || type == 0x41;
      break;
    default:
      return false;
  }
  return !r.Overrun();
}

double Mix(double a, double b, double t) { return a + (b - a) * t; }

TRgba Mix(TRgba a, TRgba b, double t) {
  const auto c = [t](std::uint8_t x, std::uint8_t y) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(Mix(x, y, t)), 0L, 255L));
  };
  return {c(a.R, b.R), c(a.G, b.G), c(a.B, b.B), c(a.A, b.A)};
}

TMatrix Mix(const TMatrix& a, const TMatrix& b, double t) {
  TMatrix m;
  m.A = Mix(a.A, b.A, t);
  m.B = Mix(a.B, b.B, t);
  m.C = Mix(a.C, b.C, t);
  m.D = Mix(a.D, b.D, t);
  m.Tx = Mix(a.Tx, b.Tx, t);
  m.Ty = Mix(a.Ty, b.Ty, t);
  return m;
}

TFillStyle Mix(const TFillStyle& a, const TFillStyle& b, double t) {
  TFillStyle f = a;
  f.Color = Mix(a.Color, b.Color, t);
  f.Matrix = Mix(a.Matrix, b.Matrix, t);
  f.Focal = Mix(a.Focal, b.Focal, t);
  for (std::size_t i = 0; i < f.Stops.size() && i < b.Stops.size(); ++i) {
    f.Stops[i].Ratio = static_cast<std::uint8_t>(std::lround(Mix(a.Stops[i].Ratio, b.Stops[i].Ratio, t)));
    f.Stops[i].Color = Mix(a.Stops[i].Color, b.Stops[i].Color, t);
  }
  return f;
}

}  // namespace

TShapeData InterpolateMorph(const TMorphData& m, double t) {
  TShapeData out;
  for (std::size_t i = 0; i < m.StartFills.size() && i < m.EndFills.size(); ++i)
    out.Fills.push_back(Mix(m.StartFills[i], m.EndFills[i], t));
  for (std::size_t i = 0; i < m.StartLines.size() && i < m.EndLines.size(); ++i) {
    TLineStyle l = m.StartLines[i];
    l.Width = Mix(l.Width, m.EndLines[i].Width, t);
    l.Color = Mix(l.Color, m.EndLines[i].Color, t);
    if (l.HasFill) l.Fill = Mix(l.Fill, m.EndLines[i].Fill, t);
    out.Lines.push_back(std::move(l));
  }
  // Edges pair up in order; a move in the start pairs with the end's move.
  double sx = 0, sy = 0, ex = 0, ey = 0;
  std::size_t j = 0;
  const auto takeEndMoves = [&] {
    while (j < m.End.size() && m.End[j].Kind == TShapeRecord::rkMove) {
      if (m.End[j].HasMove) {
        ex = m.End[j].X;
        ey = m.End[j].Y;
      }
      ++j;
    }
  };
  out.Records.reserve(m.Start.size());
  for (const TShapeRecord& s : m.Start) {
    TShapeRecord rec = s;
    if (s.Kind == TShapeRecord::rkMove) {
      if (s.HasMove) {
        takeEndMoves();
        sx = s.X;
        sy = s.Y;
      }
      rec.X = Mix(sx, ex, t);
      rec.Y = Mix(sy, ey, t);
      out.Records.push_back(rec);
      continue;
    }
    takeEndMoves();
    if (j >= m.End.size()) break;
    const TShapeRecord& e = m.End[j++];
    // A straight edge meeting a curve becomes a curve with its control point midway.
    const double scx = s.Kind == TShapeRecord::rkCurve ? s.CX : (sx + s.X) / 2;
    const double scy = s.Kind == TShapeRecord::rkCurve ? s.CY : (sy + s.Y) / 2;
    const double ecx = e.Kind == TShapeRecord::rkCurve ? e.CX : (ex + e.X) / 2;
    const double ecy = e.Kind == TShapeRecord::rkCurve ? e.CY : (ey + e.Y) / 2;
    rec.Kind = s.Kind == TShapeRecord::rkCurve || e.Kind == TShapeRecord::rkCurve ? TShapeRecord::rkCurve
                                                                                : TShapeRecord::rkLine;
    rec.X = Mix(s.X, e.X, t);
    rec.Y = Mix(s.Y, e.Y, t);
    rec.CX = Mix(scx, ecx, t);
    rec.CY = Mix(scy, ecy, t);
    out.Records.push_back(rec);
    sx = s.X;
    sy = s.Y;
    ex = e.X;
    ey = e.Y;
  }
  return out;
}

void TMorphCharacter::Draw(const TRenderContext& rc) const {
  if (cachedRatio_ != rc.Ratio) {
    cached_ = InterpolateMorph(data_, rc.Ratio / 65535.0);
    cachedGeometry_ = BuildGeometry(cached_.Records, 1);
    cached_.Records.clear();
    cachedRatio_ = rc.Ratio;
  }
  DrawGeometry(cachedGeometry_, cached_.Fills, cached_.Lines, false, rc);
}

std::shared_ptr<TCharacter> ParseMorph(int code, std::span<const std::uint8_t> body, TParseContext&) {
  const bool two = code == 84;
  TSwfReader r(body);
  r.U16();
  const TRectTw a = r.Rect(), b = r.Rect();
  if (two) {
    r.Rect();
    r.Rect();
    r.U8();
  }
  const std::uint32_t offset = r.U32();
  const std::size_t endAt = r.Position() + offset;
  if (r.Overrun()) return nullptr;
  TMorphData m;
  const std::size_t fills = ReadCount(r);
  for (std::size_t i = 0; i < fills && !r.Overrun(); ++i) {
    TFillStyle s, e;
    if (!ReadMorphFill(r, s, e)) return nullptr;
    m.StartFills.push_back(std::move(s));
    m.EndFills.push_back(std::move(e));
  }
  const std::size_t lines = ReadCount(r);
  for (std::size_t i = 0; i < lines && !r.Overrun(); ++i) {
    TLineStyle s, e;
    s.Width = r.U16();
    e.Width = r.U16();
    if (two) {
      s.StartCap = static_cast<std::uint8_t>(r.UB(2));
      s.Join = static_cast<std::uint8_t>(r.UB(2));
      s.HasFill = r.Flag();
      r.UB(8);
      s.NoClose = r.Flag();
      s.EndCap = static_cast<std::uint8_t>(r.UB(2));
      if (s.Join == 2) s.MiterLimit = r.Fixed8();
      if (s.HasFill && !ReadMorphFill(r, s.Fill, e.Fill)) return nullptr;
      if (!s.HasFill) {
        s.Color = r.Rgba();
        e.Color = r.Rgba();
      }
      e.HasFill = s.HasFill;
    } else {
      s.Color = r.Rgba();
      e.Color = r.Rgba();
    }
    if (r.Overrun()) return nullptr;
    m.StartLines.push_back(std::move(s));
    m.EndLines.push_back(std::move(e));
  }
  TShapeData start;
  start.Fills.resize(m.StartFills.size());
  start.Lines.resize(m.StartLines.size());
  ReadShape(r, TShapeVersion::sv3, TShapeStyles::ssGiven, start);
  m.Start = std::move(start.Records);
  if (endAt < body.size()) {
    TSwfReader er(body.subspan(endAt));
    TShapeData end;
    ReadShape(er, TShapeVersion::sv3, TShapeStyles::ssNone, end);
    m.End = std::move(end.Records);
  }
  TRectTw bounds{std::min(a.XMin, b.XMin), std::max(a.XMax, b.XMax), std::min(a.YMin, b.YMin), std::max(a.YMax, b.YMax)};
  return std::make_shared<TMorphCharacter>(bounds, std::move(m));
}

}  // namespace flash
