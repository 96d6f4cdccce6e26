// Drawing a frame of 2 000 shapes (solid and gradient fills, half of them
// outlined) from their definition tags, against drawing the same paths
// straight with cairo.
#include <cairo.h>

#include <memory>
#include <random>
#include <vector>

#include "bench/BenchRatio.h"
#include "platform/flash/Character.h"
#include "tests/platform/SwfDrawBodies.h"

namespace {

constexpr int kShapes = 2000;

struct TShapeRecipe {
  int X, Y, W, H;
  bool Gradient, Line;
  std::uint32_t Color, LineColor;
  int LineWidth;
};

const std::vector<TShapeRecipe>& Recipes() {
  static const std::vector<TShapeRecipe> recipes = [] {
    std::mt19937 rng(7);
    std::vector<TShapeRecipe> out;
    for (int i = 0; i < kShapes; ++i) {
      TShapeRecipe s;
      s.W = 200 + static_cast<int>(rng() % 1800);
      s.H = 200 + static_cast<int>(rng() % 1800);
      s.X = static_cast<int>(rng() % 11000) - s.W / 2;
      s.Y = static_cast<int>(rng() % 8000) - s.H / 2;
      s.Gradient = i % 3 == 0;
      s.Line = i % 2 == 0;
      s.Color = (rng() & 0xFFFFFF00u) | 0xFF;
      s.LineColor = (rng() & 0xFFFFFF00u) | 0xFF;
      s.LineWidth = 20 + static_cast<int>(rng() % 40);
      out.push_back(s);
    }
    return out;
  }();
  return recipes;
}

// A rectangle whose right side bulges out as a curve.
std::vector<std::uint8_t> Body(std::uint16_t id, const TShapeRecipe& s) {
  swfdraw_test::TBody b;
  b.U16(id).Rect(s.X, s.X + s.W + s.W / 2, s.Y, s.Y + s.H).U8(1);
  if (s.Gradient)
    b.U8(0x10).Matrix(s.W / 32768.0, s.W / 32768.0, s.X + s.W / 2, s.Y).U8(2).U8(0).Rgba(s.Color).U8(255).Rgba(0x000000FF);
  else
    b.U8(0).Rgba(s.Color);
  if (s.Line)
    b.U8(1).U16(static_cast<std::uint32_t>(s.LineWidth)).Rgba(s.LineColor);
  else
    b.U8(0);
  b.ShapeBits().Style(-1, 1, s.Line ? 1 : -1, true, s.X, s.Y);
  b.Line(s.W, 0).Curve(s.W / 2, s.H / 2, -s.W / 2, s.H / 2).Line(-s.W, 0).Line(0, -s.H).EndShape();
  return b.Bytes;
}

struct TTarget {
  TTarget() : Surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 550, 400)), Cr(cairo_create(Surface)) {}
  ~TTarget() {
    cairo_destroy(Cr);
    cairo_surface_destroy(Surface);
  }
  void Clear() {
    cairo_set_source_rgb(Cr, 1, 1, 1);
    cairo_paint(Cr);
  }
  cairo_surface_t* Surface;
  cairo_t* Cr;
};

void BM_DrawShapes(benchmark::State& state) {
  std::vector<std::shared_ptr<flash::TCharacter>> shapes;
  flash::TParseContext ctx;
  for (int i = 0; i < kShapes; ++i) shapes.push_back(flash::ParseDrawable(32, Body(static_cast<std::uint16_t>(i + 1), Recipes()[i]), ctx));
  TTarget t;
  flash::TRenderContext rc;
  rc.Cr = t.Cr;
  rc.Matrix.A = rc.Matrix.D = 1 / 20.0;
  for (auto _ : state) {
    t.Clear();
    for (const auto& s : shapes)
      if (s) s->Draw(rc);
    cairo_surface_flush(t.Surface);
  }
}

void BM_CairoDirect(benchmark::State& state) {
  std::vector<cairo_pattern_t*> patterns;
  for (const TShapeRecipe& s : Recipes()) {
    cairo_pattern_t* p = nullptr;
    if (s.Gradient) {
      p = cairo_pattern_create_linear(-16384, 0, 16384, 0);
      cairo_matrix_t m;
      cairo_matrix_init(&m, s.W / 32768.0, 0, 0, s.W / 32768.0, s.X + s.W / 2, s.Y);
      cairo_matrix_invert(&m);
      cairo_pattern_set_matrix(p, &m);
      cairo_pattern_add_color_stop_rgba(p, 0, (s.Color >> 24) / 255.0, (s.Color >> 16 & 0xFF) / 255.0, (s.Color >> 8 & 0xFF) / 255.0, 1);
      cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, 1);
    }
    patterns.push_back(p);
  }
  TTarget t;
  for (auto _ : state) {
    t.Clear();
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      const TShapeRecipe& s = Recipes()[i];
      cairo_t* cr = t.Cr;
      cairo_save(cr);
      cairo_scale(cr, 1 / 20.0, 1 / 20.0);
      cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
      cairo_new_path(cr);
      const double x = s.X, y = s.Y, w = s.W, h = s.H;
      cairo_move_to(cr, x, y);
      cairo_line_to(cr, x + w, y);
      cairo_curve_to(cr, x + w + w / 3, y + h / 3, x + w + w / 3, y + h - h / 3, x + w, y + h);
      cairo_line_to(cr, x, y + h);
      cairo_close_path(cr);
      if (patterns[i])
        cairo_set_source(cr, patterns[i]);
      else
        cairo_set_source_rgba(cr, (s.Color >> 24) / 255.0, (s.Color >> 16 & 0xFF) / 255.0, (s.Color >> 8 & 0xFF) / 255.0, 1);
      if (s.Line) {
        cairo_fill_preserve(cr);
        cairo_set_source_rgba(cr, (s.LineColor >> 24) / 255.0, (s.LineColor >> 16 & 0xFF) / 255.0,
                              (s.LineColor >> 8 & 0xFF) / 255.0, 1);
        cairo_set_line_width(cr, s.LineWidth);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_stroke(cr);
      } else {
        cairo_fill(cr);
      }
      cairo_restore(cr);
    }
    cairo_surface_flush(t.Surface);
  }
  for (cairo_pattern_t* p : patterns)
    if (p) cairo_pattern_destroy(p);
}

BENCHMARK(BM_DrawShapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoDirect)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return vorra::bench::RunWithRatios(argc, argv, {{"BM_DrawShapes", "BM_CairoDirect", 1.5}});
}
