// Movies made in the tests: control tags written by hand, and a rectangle
// character of one colour that stands in for drawn definitions.
#pragma once

#include <cairo.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/flash/Player.h"
#include "platform/flash/SwfReader.h"
#include "tools/swfwriter/SwfWriter.h"

namespace vorra::test {

using swf::TBytes;

// Body after the id: xmin, ymin, xmax, ymax (twips, 32-bit) and RGBA.
inline constexpr int kRectTag = 2;

class TRectCharacter : public flash::TCharacter {
 public:
  TRectCharacter(flash::TRectTw r, flash::TRgba c) : rect_(r), colour_(c) {}
  flash::TRectTw Bounds() const override { return rect_; }
  void Draw(const flash::TRenderContext& rc) const override {
    const double xs[4] = {double(rect_.XMin), double(rect_.XMax), double(rect_.XMax), double(rect_.XMin)};
    const double ys[4] = {double(rect_.YMin), double(rect_.YMin), double(rect_.YMax), double(rect_.YMax)};
    for (int i = 0; i < 4; ++i) {
      double x, y;
      rc.Matrix.Apply(xs[i], ys[i], x, y);
      i ? cairo_line_to(rc.Cr, x, y) : cairo_move_to(rc.Cr, x, y);
    }
    const flash::TRgba c = flash::Transform(rc.Cxform, colour_);
    cairo_set_source_rgba(rc.Cr, c.R / 255.0, c.G / 255.0, c.B / 255.0, c.A / 255.0);
    cairo_set_antialias(rc.Cr, rc.AntiAlias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_fill(rc.Cr);
  }

 private:
  flash::TRectTw rect_;
  flash::TRgba colour_;
};

inline std::shared_ptr<flash::TCharacter> DefineRect(int code, std::span<const std::uint8_t> body, flash::TParseContext&) {
  if (code != kRectTag) return nullptr;
  flash::TSwfReader r(body);
  r.U16();
  flash::TRectTw rect;
  rect.XMin = static_cast<std::int32_t>(r.U32());
  rect.YMin = static_cast<std::int32_t>(r.U32());
  rect.XMax = static_cast<std::int32_t>(r.U32());
  rect.YMax = static_cast<std::int32_t>(r.U32());
  const flash::TRgba c = r.Rgba();
  return std::make_shared<TRectCharacter>(rect, c);
}

class TBits {
 public:
  void Bits(std::uint32_t v, unsigned n) {
    for (unsigned i = n; i-- > 0;) {
      if (used_ == 0) out.push_back(0);
      if ((v >> i) & 1u) out.back() |= static_cast<std::uint8_t>(0x80u >> used_);
      used_ = (used_ + 1) % 8;
    }
  }
  TBytes out;

 private:
  unsigned used_ = 0;
};

inline void Put16(TBytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(TBytes& b, std::uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
inline void Append(TBytes& b, const TBytes& more) { b.insert(b.end(), more.begin(), more.end()); }

inline TBytes TagBytes(int code, const TBytes& body) {
  TBytes t;
  if (body.size() < 63) {
    Put16(t, static_cast<unsigned>(code << 6) | static_cast<unsigned>(body.size()));
  } else {
    Put16(t, static_cast<unsigned>(code << 6) | 63);
    Put32(t, static_cast<std::uint32_t>(body.size()));
  }
  Append(t, body);
  return t;
}

// A matrix of scale (16.16 via doubles) and translation in twips.
inline TBytes MatrixBytes(double sx, double sy, int tx, int ty) {
  TBits b;
  const bool scale = sx != 1 || sy != 1;
  b.Bits(scale, 1);
  if (scale) {
    b.Bits(24, 5);
    b.Bits(static_cast<std::uint32_t>(std::int32_t(sx * 65536)) & 0xFFFFFF, 24);
    b.Bits(static_cast<std::uint32_t>(std::int32_t(sy * 65536)) & 0xFFFFFF, 24);
  }
  b.Bits(0, 1);
  b.Bits(20, 5);
  b.Bits(static_cast<std::uint32_t>(tx) & 0xFFFFF, 20);
  b.Bits(static_cast<std::uint32_t>(ty) & 0xFFFFF, 20);
  return b.out;
}

// Multipliers in 1/256 units, adds in colour units (red, green, blue, alpha).
inline TBytes CxformBytes(std::array<int, 4> mul, std::array<int, 4> add) {
  TBits b;
  b.Bits(1, 1);
  b.Bits(1, 1);
  b.Bits(12, 4);
  for (int v : mul) b.Bits(static_cast<std::uint32_t>(v) & 0xFFF, 12);
  for (int v : add) b.Bits(static_cast<std::uint32_t>(v) & 0xFFF, 12);
  return b.out;
}

inline TBytes Rect(unsigned id, int x0, int y0, int x1, int y1, flash::TRgba c) {
  TBytes b;
  Put16(b, id);
  for (int v : {x0, y0, x1, y1}) Put32(b, static_cast<std::uint32_t>(v));
  b.insert(b.end(), {c.R, c.G, c.B, c.A});
  return TagBytes(kRectTag, b);
}

struct TPlace {
  unsigned Depth = 1;
  std::optional<unsigned> Character;
  bool Move = false;
  TBytes Matrix;  // empty: none
  TBytes Cxform;
  std::optional<unsigned> Ratio;
  std::optional<unsigned> ClipDepth;
  std::optional<std::string> Name;
};

inline TBytes Place(const TPlace& p) {
  TBytes b;
  std::uint8_t flags = p.Move ? 0x01 : 0;
  if (p.Character) flags |= 0x02;
  if (!p.Matrix.empty()) flags |= 0x04;
  if (!p.Cxform.empty()) flags |= 0x08;
  if (p.Ratio) flags |= 0x10;
  if (p.Name) flags |= 0x20;
  if (p.ClipDepth) flags |= 0x40;
  b.push_back(flags);
  Put16(b, p.Depth);
  if (p.Character) Put16(b, *p.Character);
  Append(b, p.Matrix);
  Append(b, p.Cxform);
  if (p.Ratio) Put16(b, *p.Ratio);
  if (p.Name) {
    b.insert(b.end(), p.Name->begin(), p.Name->end());
    b.push_back(0);
  }
  if (p.ClipDepth) Put16(b, *p.ClipDepth);
  return TagBytes(26, b);
}

inline TBytes Remove(unsigned depth) {
  TBytes b;
  Put16(b, depth);
  return TagBytes(28, b);
}

inline TBytes ShowFrame() { return TagBytes(1, {}); }
inline TBytes Label(const std::string& name) {
  TBytes b(name.begin(), name.end());
  b.push_back(0);
  return TagBytes(43, b);
}
// Action bytes: 0x06 play, 0x07 stop, 0x04 next, 0x05 previous.
inline TBytes Actions(const TBytes& actions) {
  TBytes b = actions;
  b.push_back(0);
  return TagBytes(12, b);
}
inline TBytes GotoFrame(unsigned frame) { return {0x81, 2, 0, static_cast<std::uint8_t>(frame), static_cast<std::uint8_t>(frame >> 8)}; }
inline TBytes GotoLabel(const std::string& label) {
  TBytes b{0x8C};
  Put16(b, static_cast<unsigned>(label.size() + 1));
  b.insert(b.end(), label.begin(), label.end());
  b.push_back(0);
  return b;
}

inline TBytes Sprite(unsigned id, unsigned frames, const TBytes& tags) {
  TBytes b;
  Put16(b, id);
  Put16(b, frames);
  Append(b, tags);
  Append(b, TagBytes(0, {}));
  return TagBytes(39, b);
}

// A whole movie file: w x h pixels, the tags as given.
inline TBytes Movie(int w, int h, const TBytes& tags, swf::TSwfForm form = swf::TSwfForm::sfPlain,
                    std::optional<flash::TRgba> bg = std::nullopt, std::uint16_t frames = 1) {
  swf::TSwfWriter writer(10, {0, w * 20, 0, h * 20}, frames, 12.0);
  if (bg) writer.SetBackgroundColor(bg->R, bg->G, bg->B);
  // The writer takes whole tags; feed it ours one by one.
  flash::TSwfReader r(tags);
  while (!r.AtEnd()) {
    const std::uint16_t head = r.U16();
    std::size_t len = head & 0x3F;
    if (len == 0x3F) len = r.U32();
    auto body = r.Bytes(len);
    writer.Tag(static_cast<std::uint16_t>(head >> 6), TBytes(body.begin(), body.end()));
  }
  return writer.Bytes(form);
}

inline std::shared_ptr<flash::TMovie> Parse(const TBytes& file) {
  return flash::LoadMovieBytes(file, nullptr, DefineRect);
}

// A rendered frame, sampled by pixel.
class TFrame {
 public:
  TFrame(const flash::TMoviePlayer& player, int w, int h, flash::TStageOptions o = {})
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h)) {
    o.AntiAlias = false;  // exact edges for sampling
    cairo_t* cr = cairo_create(surface_);
    player.Render(cr, w, h, o);
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
  }
  ~TFrame() { cairo_surface_destroy(surface_); }
  TFrame(const TFrame&) = delete;
  TFrame& operator=(const TFrame&) = delete;
  // 0xRRGGBB.
  std::uint32_t At(int x, int y) const {
    const auto* row = reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(surface_) +
                                                             y * cairo_image_surface_get_stride(surface_));
    return row[x] & 0xFFFFFF;
  }

 private:
  cairo_surface_t* surface_;
};

}  // namespace vorra::test
