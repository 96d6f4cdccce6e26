#include <algorithm>
#include <cmath>

#include "platform/flash/Bitmap.h"
#include "platform/flash/Gradient.h"
#include "platform/flash/Shape.h"

namespace flash {

namespace {

void SetColor(cairo_t* cr, TRgba c, const TColorTransform& cx) {
  if (!cx.IsIdentity()) c = Transform(cx, c);
  cairo_set_source_rgba(cr, c.R / 255.0, c.G / 255.0, c.B / 255.0, c.A / 255.0);
}

bool SetBitmapSource(cairo_t* cr, const TFillStyle& f, const TRenderContext& rc) {
  if (!rc.Dictionary) return false;
  const auto* bitmap = dynamic_cast<const TBitmapCharacter*>(rc.Dictionary->Find(f.BitmapId));
  if (!bitmap) return false;
  cairo_matrix_t m;
  cairo_matrix_init(&m, f.Matrix.A, f.Matrix.B, f.Matrix.C, f.Matrix.D, f.Matrix.Tx, f.Matrix.Ty);
  if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return false;
  const TSurfacePtr image = bitmap->ImageFor(rc.Cxform);
  if (!image) return false;
  cairo_pattern_t* p = cairo_pattern_create_for_surface(image.get());
  cairo_pattern_set_matrix(p, &m);
  cairo_pattern_set_extend(p, f.Repeat ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
  cairo_pattern_set_filter(p, f.Smooth && rc.AntiAlias ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
  return true;
}

bool SetFillSource(cairo_t* cr, const TFillStyle& f, const TRenderContext& rc) {
  switch (f.Kind) {
    case TFillKind::fkSolid:
      SetColor(cr, f.Color, rc.Cxform);
      return true;
    case TFillKind::fkBitmap:
      return SetBitmapSource(cr, f, rc);
    default:
      if (f.Pattern && rc.Cxform.IsIdentity()) {
        cairo_set_source(cr, f.Pattern.get());
        return true;
      }
      if (cairo_pattern_t* p = MakeGradientPattern(f, rc.Cxform)) {
        cairo_set_source(cr, p);
        cairo_pattern_destroy(p);
        return true;
      }
      return false;
  }
}

void EmitPath(cairo_t* cr, const TPath& path, bool closes) {
  cairo_new_path(cr);
  double px = 0, py = 0;
  for (const TPathOp& op : path) {
    switch (op.Kind) {
      case TPathOp::opMove:
        cairo_move_to(cr, op.X, op.Y);
        break;
      case TPathOp::opLine:
        cairo_line_to(cr, op.X, op.Y);
        break;
      case TPathOp::opCurve:
        // The quadratic as the cubic with the same shape.
        cairo_curve_to(cr, px + 2.0 / 3 * (op.CX - px), py + 2.0 / 3 * (op.CY - py), op.X + 2.0 / 3 * (op.CX - op.X),
                       op.Y + 2.0 / 3 * (op.CY - op.Y), op.X, op.Y);
        break;
      case TPathOp::opClose:
        if (closes) cairo_close_path(cr);
        continue;
    }
    px = op.X;
    py = op.Y;
  }
}

cairo_line_cap_t Cap(std::uint8_t c) {
  return c == 1 ? CAIRO_LINE_CAP_BUTT : c == 2 ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_ROUND;
}

void Stroke(cairo_t* cr, const TPath& path, const TLineStyle& l, const TRenderContext& rc, double deviceScale,
            TGlyphColor glyph) {
  if (glyph.Use)
    SetColor(cr, glyph.Color, rc.Cxform);
  else if (!l.HasFill)
    SetColor(cr, l.Color, rc.Cxform);
  else if (!SetFillSource(cr, l.Fill, rc))
    return;
  EmitPath(cr, path, !l.NoClose);
  cairo_set_line_cap(cr, Cap(l.StartCap));
  cairo_set_line_join(cr, l.Join == 1 ? CAIRO_LINE_JOIN_BEVEL : l.Join == 2 ? CAIRO_LINE_JOIN_MITER : CAIRO_LINE_JOIN_ROUND);
  cairo_set_miter_limit(cr, std::max(1.0, l.MiterLimit));
  if (l.Width * deviceScale < 1) {
    // Lines thinner than a pixel stay one pixel wide at any scale.
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_restore(cr);
  } else {
    cairo_set_line_width(cr, l.Width);
    cairo_stroke(cr);
  }
}

}  // namespace

bool SetCairoMatrix(cairo_t* cr, const TMatrix& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.A, t.B, t.C, t.D, t.Tx, t.Ty);
  for (double v : {t.A, t.B, t.C, t.D, t.Tx, t.Ty})
    if (!std::isfinite(v) || std::fabs(v) > 1e9) return false;
  cairo_matrix_t inverse = m;
  if (cairo_matrix_invert(&inverse) != CAIRO_STATUS_SUCCESS) return false;
  cairo_set_matrix(cr, &m);
  return true;
}

void PrepareFills(std::vector<TFillStyle>& fills) {
  for (TFillStyle& f : fills)
    if (f.Kind != TFillKind::fkSolid && f.Kind != TFillKind::fkBitmap)
      if (cairo_pattern_t* p = MakeGradientPattern(f, {})) f.Pattern.reset(p, cairo_pattern_destroy);
}

void PrepareLines(std::vector<TLineStyle>& lines) {
  for (TLineStyle& l : lines)
    if (l.HasFill && l.Fill.Kind != TFillKind::fkBitmap)
      if (cairo_pattern_t* p = MakeGradientPattern(l.Fill, {})) l.Fill.Pattern.reset(p, cairo_pattern_destroy);
}

void DrawGeometry(const TShapeGeometry& g, const std::vector<TFillStyle>& fills, const std::vector<TLineStyle>& lines,
                  bool nonZero, const TRenderContext& rc, TGlyphColor glyph) {
  cairo_t* cr = rc.Cr;
  if (!cr || cairo_status(cr) != CAIRO_STATUS_SUCCESS) return;
  cairo_save(cr);
  if (!SetCairoMatrix(cr, rc.Matrix)) {
    cairo_restore(cr);
    return;
  }
  cairo_set_antialias(cr, rc.AntiAlias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  cairo_set_fill_rule(cr, nonZero ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  const double deviceScale = std::sqrt(std::fabs(rc.Matrix.A * rc.Matrix.D - rc.Matrix.B * rc.Matrix.C));
  for (const TShapeGeometry::TLayer& layer : g.Layers) {
    for (const auto& f : layer.Fills) {
      if (glyph.Use) {
        SetColor(cr, glyph.Color, rc.Cxform);
      } else {
        if (f.Style < 0 || static_cast<std::size_t>(f.Style) >= fills.size()) continue;
        if (!SetFillSource(cr, fills[static_cast<std::size_t>(f.Style)], rc)) continue;
      }
      EmitPath(cr, f.Path, true);
      cairo_fill(cr);
    }
    for (const auto& l : layer.Lines) {
      if (l.Style < 0 || static_cast<std::size_t>(l.Style) >= lines.size()) continue;
      Stroke(cr, l.Path, lines[static_cast<std::size_t>(l.Style)], rc, deviceScale, glyph);
    }
  }
  cairo_restore(cr);
}

}  // namespace flash
