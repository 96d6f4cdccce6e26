// Shapes: their fill and line styles, their edge records, and the closed
// paths per fill that the records describe. Glyphs and morphs reuse them.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/flash/Character.h"
#include "platform/flash/SwfReader.h"

namespace flash {

struct TGradientStop {
  std::uint8_t Ratio = 0;
  TRgba Color;
};

enum class TFillKind : std::uint8_t { fkSolid, fkLinear, fkRadial, fkFocal, fkBitmap };

struct TFillStyle {
  TFillKind Kind = TFillKind::fkSolid;
  TRgba Color;
  TMatrix Matrix;  // gradient square or bitmap pixels to shape twips
  std::vector<TGradientStop> Stops;
  std::uint8_t Spread = 0;  // 0 pad, 1 reflect, 2 repeat
  std::uint8_t Interpolation = 0;  // 0 RGB, 1 linear RGB
  double Focal = 0;  // -1..1 along the gradient's x axis
  std::uint16_t BitmapId = 0;
  bool Repeat = true, Smooth = true;
  // The gradient as drawn without a colour transform, made once.
  std::shared_ptr<cairo_pattern_t> Pattern;
};

struct TLineStyle {
  double Width = 0;  // twips; 0 is a hairline
  TRgba Color;
  std::uint8_t StartCap = 0, EndCap = 0;  // 0 round, 1 none, 2 square
  std::uint8_t Join = 0;  // 0 round, 1 bevel, 2 miter
  double MiterLimit = 3;
  bool NoClose = false;
  bool HasFill = false;
  TFillStyle Fill;
};

// One record with its style indices already made global (-1: none).
struct TShapeRecord {
  enum TKind : std::uint8_t { rkMove, rkLine, rkCurve } Kind = rkLine;
  bool StyleChange = false;  // a style-change record (rkMove)
  bool HasMove = false;  // it moves the pen to X, Y
  std::int32_t Fill0 = -1, Fill1 = -1, Line = -1;
  std::int32_t Layer = 0;  // new-styles group
  double X = 0, Y = 0;  // absolute end point (move target for rkMove)
  double CX = 0, CY = 0;  // curve control point
};

struct TShapeData {
  std::vector<TFillStyle> Fills;
  std::vector<TLineStyle> Lines;
  std::vector<TShapeRecord> Records;
  int Layers = 1;
  bool NonZero = false;
};

enum class TShapeVersion { sv1 = 1, sv2, sv3, sv4 };

// Style arrays (appended to data) and records. Counts are bounded by the bytes left.
void ReadFillStyles(TSwfReader& r, TShapeVersion v, std::vector<TFillStyle>& out);
void ReadLineStyles(TSwfReader& r, TShapeVersion v, std::vector<TLineStyle>& out);
bool ReadFillStyle(TSwfReader& r, TShapeVersion v, TFillStyle& out);
// Where a shape's styles come from: read before the records (SHAPEWITHSTYLE),
// already in `out` (morphs), or none (glyphs: any fill is fill 0; morph ends).
enum class TShapeStyles { ssRead, ssGiven, ssNone };
void ReadShape(TSwfReader& r, TShapeVersion v, TShapeStyles styles, TShapeData& out);

// A path in shape twips: moves, lines and quadratic curves.
struct TPathOp {
  enum TKind : std::uint8_t { opMove, opLine, opCurve, opClose } Kind;
  double X, Y, CX, CY;
};
using TPath = std::vector<TPathOp>;

struct TShapeGeometry {
  struct TStyled {
    int Style;
    TPath Path;
  };
  struct TLayer {
    std::vector<TStyled> Fills, Lines;
  };
  std::vector<TLayer> Layers;
};

// Links each fill's edges (fill1 sides as drawn, fill0 sides reversed) into
// closed contours, and gathers each line style's edges into strokes.
TShapeGeometry BuildGeometry(const std::vector<TShapeRecord>& records, int layers);

// Gradient patterns made ahead for the untransformed colours.
void PrepareFills(std::vector<TFillStyle>& fills);
void PrepareLines(std::vector<TLineStyle>& lines);

struct TGlyphColor {
  bool Use = false;
  TRgba Color;
};

// Draws in rc.Matrix space with rc.Cxform; `glyph` paints every fill in one colour.
void DrawGeometry(const TShapeGeometry& g, const std::vector<TFillStyle>& fills, const std::vector<TLineStyle>& lines,
                  bool nonZero, const TRenderContext& rc, TGlyphColor glyph = {});

// Sets the cairo matrix to m; false (nothing changed) when m cannot be drawn with.
bool SetCairoMatrix(cairo_t* cr, const TMatrix& m);

class TShapeCharacter : public TCharacter {
 public:
  TShapeCharacter(TRectTw bounds, TShapeData data);
  TRectTw Bounds() const override { return bounds_; }
  void Draw(const TRenderContext& rc) const override;

 private:
  TRectTw bounds_;
  TShapeData data_;
  TShapeGeometry geometry_;
};

std::shared_ptr<TCharacter> ParseShape(int code, std::span<const std::uint8_t> body, TParseContext& ctx);

}  // namespace flash
