#include "platform/flash/Shape.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace flash {

namespace {

TRgba ReadColor(TSwfReader& r, TShapeVersion v) { return v >= TShapeVersion::sv3 ? r.Rgba() : r.Rgb(); }

std::size_t ReadCount(TSwfReader& r, bool extended) {
  std::size_t n = r.U8();
  if (n == 0xFF && extended) n = r.U16();
  return n;
}

}  // namespace

bool ReadFillStyle(TSwfReader& r, TShapeVersion v, TFillStyle& f) {
  const std::uint8_t type = r.U8();
  switch (type) {
    case 0x00:
      f.Kind = TFillKind::fkSolid;
      f.Color = ReadColor(r, v);
      break;
    case 0x10:
    case 0x12:
    case 0x13: {
      f.Kind = type == 0x10 ? TFillKind::fkLinear : type == 0x12 ? TFillKind::fkRadial : TFillKind::fkFocal;
      f.Matrix = r.Matrix();
      f.Spread = static_cast<std::uint8_t>(r.UB(2));
      f.Interpolation = static_cast<std::uint8_t>(r.UB(2));
      const unsigned n = r.UB(4);
      for (unsigned i = 0; i < n && !r.Overrun(); ++i) {
        TGradientStop s;
        s.Ratio = r.U8();
        s.Color = ReadColor(r, v);
        f.Stops.push_back(s);
      }
      if (type == 0x13) f.Focal = r.Fixed8();
      break;
    }
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
      f.Kind = TFillKind::fkBitmap;
      f.BitmapId = r.U16();
      f.Matrix = r.Matrix();
      f.Repeat = type == 0x40 || type == 0x42;
      f.Smooth = type == 0x40 || type == 0x41;
      break;
    default:
      return false;
  }
  return !r.Overrun();
}

void ReadFillStyles(TSwfReader& r, TShapeVersion v, std::vector<TFillStyle>& out) {
  const std::size_t n = ReadCount(r, v >= TShapeVersion::sv2);
  for (std::size_t i = 0; i < n && !r.Overrun(); ++i) {
    TFillStyle f;
    if (!ReadFillStyle(r, v, f)) return;
    out.push_back(std::move(f));
  }
}

void ReadLineStyles(TSwfReader& r, TShapeVersion v, std::vector<TLineStyle>& out) {
  const std::size_t n = ReadCount(r, true);
  for (std::size_t i = 0; i < n && !r.Overrun(); ++i) {
    TLineStyle l;
    l.Width = r.U16();
    if (v == TShapeVersion::sv4) {
      l.StartCap = static_cast<std::uint8_t>(r.UB(2));
      l.Join = static_cast<std::uint8_t>(r.UB(2));
      l.HasFill = r.Flag();
      r.UB(3);  // no h/v scale, pixel hinting
      r.UB(5);
      l.NoClose = r.Flag();
      l.EndCap = static_cast<std::uint8_t>(r.UB(2));
      if (l.Join == 2) l.MiterLimit = r.Fixed8();
      if (l.HasFill) {
        if (!ReadFillStyle(r, v, l.Fill)) return;
        l.Color = l.Fill.Kind == TFillKind::fkSolid ? l.Fill.Color : TRgba{};
        if (l.Fill.Kind == TFillKind::fkSolid) l.HasFill = false;
      } else {
        l.Color = r.Rgba();
      }
    } else {
      l.Color = ReadColor(r, v);
    }
    if (r.Overrun()) return;
    out.push_back(std::move(l));
  }
}

void ReadShape(TSwfReader& r, TShapeVersion v, TShapeStyles styles, TShapeData& out) {
  const bool withStyles = styles != TShapeStyles::ssNone;
  int fillBase = 0, lineBase = 0;
  int fillCount = static_cast<int>(out.Fills.size()), lineCount = static_cast<int>(out.Lines.size());
  if (styles == TShapeStyles::ssRead) {
    fillBase = fillCount;
    lineBase = lineCount;
    ReadFillStyles(r, v, out.Fills);
    ReadLineStyles(r, v, out.Lines);
    fillCount = static_cast<int>(out.Fills.size()) - fillBase;
    lineCount = static_cast<int>(out.Lines.size()) - lineBase;
  }
  unsigned fillBits = r.UB(4), lineBits = r.UB(4);
  TShapeRecord cur;
  cur.Layer = out.Layers - 1;
  const auto fillIndex = [&](std::uint32_t k) -> int {
    if (k == 0) return -1;
    if (!withStyles) return 0;
    return static_cast<int>(k) <= fillCount ? fillBase + static_cast<int>(k) - 1 : -1;
  };
  while (!r.Overrun()) {
    if (!r.Flag()) {
      const bool newStyles = r.Flag(), lineStyle = r.Flag(), fill1 = r.Flag(), fill0 = r.Flag(), move = r.Flag();
      if (!newStyles && !lineStyle && !fill1 && !fill0 && !move) break;
      TShapeRecord rec = cur;
      rec.Kind = TShapeRecord::rkMove;
      rec.StyleChange = true;
      if (move) {
        const unsigned n = r.UB(5);
        rec.X = r.SB(n);
        rec.Y = r.SB(n);
      }
      const std::uint32_t f0 = fill0 ? r.UB(fillBits) : 0, f1 = fill1 ? r.UB(fillBits) : 0;
      const std::uint32_t ls = lineStyle ? r.UB(lineBits) : 0;
      if (newStyles && styles == TShapeStyles::ssRead && v >= TShapeVersion::sv2) {
        fillBase = static_cast<int>(out.Fills.size());
        lineBase = static_cast<int>(out.Lines.size());
        ReadFillStyles(r, v, out.Fills);
        ReadLineStyles(r, v, out.Lines);
        fillCount = static_cast<int>(out.Fills.size()) - fillBase;
        lineCount = static_cast<int>(out.Lines.size()) - lineBase;
        fillBits = r.UB(4);
        lineBits = r.UB(4);
        rec.Layer = out.Layers++;
        rec.Fill0 = rec.Fill1 = rec.Line = -1;
      }
      if (fill0) rec.Fill0 = fillIndex(f0);
      if (fill1) rec.Fill1 = fillIndex(f1);
      if (lineStyle)
        rec.Line = withStyles && ls != 0 && static_cast<int>(ls) <= lineCount ? lineBase + static_cast<int>(ls) - 1 : -1;
      if (r.Overrun()) break;
      rec.HasMove = move;
      out.Records.push_back(rec);
      cur = rec;
      continue;
    }
    TShapeRecord rec = cur;
    rec.StyleChange = false;
    rec.HasMove = false;
    if (r.Flag()) {  // straight
      const unsigned n = r.UB(4) + 2;
      double dx = 0, dy = 0;
      if (r.Flag()) {
        dx = r.SB(n);
        dy = r.SB(n);
      } else if (r.Flag()) {
        dy = r.SB(n);
      } else {
        dx = r.SB(n);
      }
      rec.Kind = TShapeRecord::rkLine;
      rec.X = cur.X + dx;
      rec.Y = cur.Y + dy;
    } else {
      const unsigned n = r.UB(4) + 2;
      const double cdx = r.SB(n), cdy = r.SB(n), adx = r.SB(n), ady = r.SB(n);
      rec.Kind = TShapeRecord::rkCurve;
      rec.CX = cur.X + cdx;
      rec.CY = cur.Y + cdy;
      rec.X = rec.CX + adx;
      rec.Y = rec.CY + ady;
    }
    if (r.Overrun()) break;
    out.Records.push_back(rec);
    cur = rec;
  }
}

namespace {

struct TEdge {
  double X0, Y0, CX, CY, X1, Y1;
  bool Curve;
};

struct TPointKey {
  std::uint64_t X, Y;
  bool operator==(const TPointKey&) const = default;
};

struct TPointHash {
  std::size_t operator()(const TPointKey& k) const { return std::hash<std::uint64_t>()(k.X * 0x9E3779B97F4A7C15ull ^ k.Y); }
};

TPointKey Key(double x, double y) {
  TPointKey k;
  x += 0.0;  // -0 and +0 meet
  y += 0.0;
  std::memcpy(&k.X, &x, sizeof x);
  std::memcpy(&k.Y, &y, sizeof y);
  return k;
}

void AppendEdge(TPath& p, const TEdge& e) {
  if (e.Curve)
    p.push_back({TPathOp::opCurve, e.X1, e.Y1, e.CX, e.CY});
  else
    p.push_back({TPathOp::opLine, e.X1, e.Y1, 0, 0});
}

TPath LinkContours(std::vector<TEdge>& edges) {
  TPath path;
  std::unordered_map<TPointKey, std::vector<std::uint32_t>, TPointHash> starts;
  starts.reserve(edges.size());
  for (std::uint32_t i = edges.size(); i-- > 0;) starts[Key(edges[i].X0, edges[i].Y0)].push_back(i);
  std::vector<bool> used(edges.size());
  for (std::size_t first = 0; first < edges.size(); ++first) {
    if (used[first]) continue;
    path.push_back({TPathOp::opMove, edges[first].X0, edges[first].Y0, 0, 0});
    std::size_t cur = first;
    const TPointKey origin = Key(edges[first].X0, edges[first].Y0);
    for (;;) {
      used[cur] = true;
      AppendEdge(path, edges[cur]);
      const TPointKey end = Key(edges[cur].X1, edges[cur].Y1);
      if (end == origin) break;
      auto it = starts.find(end);
      if (it == starts.end()) break;
      auto& list = it->second;
      while (!list.empty() && used[list.back()]) list.pop_back();
      if (list.empty()) break;
      cur = list.back();
      list.pop_back();
    }
    path.push_back({TPathOp::opClose, 0, 0, 0, 0});
  }
  return path;
}

// Closes stroke subpaths that end where they began, so they join instead of capping.
void CloseLoops(TPath& p) {
  TPath out;
  out.reserve(p.size() + p.size() / 4);
  double sx = 0, sy = 0, px = 0, py = 0;
  bool open = false;
  const auto finish = [&] {
    if (open && sx == px && sy == py) out.push_back({TPathOp::opClose, 0, 0, 0, 0});
    open = false;
  };
  for (const TPathOp& op : p) {
    if (op.Kind == TPathOp::opMove) {
      finish();
      sx = px = op.X;
      sy = py = op.Y;
    } else {
      open = true;
      px = op.X;
      py = op.Y;
    }
    out.push_back(op);
  }
  finish();
  p = std::move(out);
}

}  // namespace

TShapeGeometry BuildGeometry(const std::vector<TShapeRecord>& records, int layers) {
  TShapeGeometry g;
  if (layers < 1) layers = 1;
  g.Layers.resize(static_cast<std::size_t>(layers));
  // Per layer: style index -> edges / stroke path, in first-use order.
  struct TLayerWork {
    std::unordered_map<int, std::size_t> fillSlot, lineSlot;
    std::vector<std::pair<int, std::vector<TEdge>>> fills;
    std::vector<std::pair<int, TPath>> lines;
  };
  std::vector<TLayerWork> work(g.Layers.size());
  double px = 0, py = 0;
  for (const TShapeRecord& rec : records) {
    if (rec.Kind == TShapeRecord::rkMove) {
      if (rec.HasMove) {
        px = rec.X;
        py = rec.Y;
      }
      continue;
    }
    const bool curve = rec.Kind == TShapeRecord::rkCurve;
    const TEdge e{px, py, rec.CX, rec.CY, rec.X, rec.Y, curve};
    const std::size_t layer = rec.Layer >= 0 && rec.Layer < layers ? static_cast<std::size_t>(rec.Layer) : 0;
    TLayerWork& w = work[layer];
    const auto fillEdges = [&](int style) -> std::vector<TEdge>& {
      auto [it, added] = w.fillSlot.try_emplace(style, w.fills.size());
      if (added) w.fills.emplace_back(style, std::vector<TEdge>());
      return w.fills[it->second].second;
    };
    // An edge with the same fill on both sides lies inside that fill: no boundary.
    if (rec.Fill1 >= 0 && rec.Fill0 != rec.Fill1) fillEdges(rec.Fill1).push_back(e);
    if (rec.Fill0 >= 0 && rec.Fill0 != rec.Fill1) fillEdges(rec.Fill0).push_back({e.X1, e.Y1, e.CX, e.CY, e.X0, e.Y0, curve});
    if (rec.Line >= 0) {
      auto [it, added] = w.lineSlot.try_emplace(rec.Line, w.lines.size());
      if (added) w.lines.emplace_back(rec.Line, TPath());
      TPath& p = w.lines[it->second].second;
      if (p.empty() || p.back().X != px || p.back().Y != py) p.push_back({TPathOp::opMove, px, py, 0, 0});
      AppendEdge(p, e);
    }
    px = rec.X;
    py = rec.Y;
  }
  for (std::size_t i = 0; i < work.size(); ++i) {
    // Fills in style order, as the styles were declared.
    std::sort(work[i].fills.begin(), work[i].fills.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::sort(work[i].lines.begin(), work[i].lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [style, edges] : work[i].fills) g.Layers[i].Fills.push_back({style, LinkContours(edges)});
    for (auto& [style, path] : work[i].lines) {
      CloseLoops(path);
      g.Layers[i].Lines.push_back({style, std::move(path)});
    }
  }
  return g;
}

TShapeCharacter::TShapeCharacter(TRectTw bounds, TShapeData data)
    : bounds_(bounds), data_(std::move(data)), geometry_(BuildGeometry(data_.Records, data_.Layers)) {
  data_.Records.clear();
  data_.Records.shrink_to_fit();
  PrepareFills(data_.Fills);
  PrepareLines(data_.Lines);
}

void TShapeCharacter::Draw(const TRenderContext& rc) const {
  DrawGeometry(geometry_, data_.Fills, data_.Lines, data_.NonZero, rc);
}

std::shared_ptr<TCharacter> ParseShape(int code, std::span<const std::uint8_t> body, TParseContext&) {
  const TShapeVersion v = code == 2    ? TShapeVersion::sv1
                          : code == 22 ? TShapeVersion::sv2
                          : code == 32 ? TShapeVersion::sv3
                                       : TShapeVersion::sv4;
  TSwfReader r(body);
  r.U16();
  const TRectTw bounds = r.Rect();
  TShapeData data;
  if (v == TShapeVersion::sv4) {
    r.Rect();
    const std::uint8_t flags = r.U8();
    data.NonZero = (flags & 0x04) != 0;
  }
  if (r.Overrun()) return nullptr;
  ReadShape(r, v, TShapeStyles::ssRead, data);
  return std::make_shared<TShapeCharacter>(bounds, std::move(data));
}

}  // namespace flash
