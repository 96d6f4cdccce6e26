#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/flash/Font.h"
#include "platform/flash/SwfReader.h"
#include "platform/flash/Text.h"
#include "platform/flash/TextDevice.h"
#include "platform/win/Utf8.h"

namespace flash {

namespace {

// Flash keeps a two-pixel gutter inside a field's bounds.
constexpr double kGutter = 40;
constexpr std::size_t kMaxText = 65536;

std::string ToUtf8(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) win::AppendUtf8(out, c);
  return out;
}

std::u32string Decode(const std::string& s, int version) {
  std::u32string out;
  if (version < 6) {
    for (unsigned char c : s) out.push_back(c);
    return out;
  }
  for (std::size_t i = 0; i < s.size();) {
    const win::TUtf8Char c = win::DecodeUtf8At(s, i);
    out.push_back(c.CodePoint);
    i += c.Length;
  }
  return out;
}

std::vector<std::u32string> Lines(const TTextFieldData& d, double width, const auto& measure) {
  std::vector<std::u32string> out;
  std::u32string text = d.Text;
  if (d.Password) std::fill(text.begin(), text.end(), U'*');
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(U"\r\n", start);
    if (end == std::u32string::npos) end = text.size();
    std::u32string para = text.substr(start, end - start);
    if (d.WordWrap && width > 0) {
      // Each word measured once; a word longer than the line stays whole.
      const double space = measure(U" ");
      std::u32string line;
      double lineWidth = 0;
      std::size_t at = 0;
      while (at <= para.size()) {
        std::size_t next = para.find(U' ', at);
        if (next == std::u32string::npos) next = para.size();
        const std::u32string word = para.substr(at, next - at);
        const double w = measure(word);
        if (!line.empty() && lineWidth + space + w > width) {
          out.push_back(std::move(line));
          line.clear();
          lineWidth = 0;
        } else if (!line.empty()) {
          line.push_back(U' ');
          lineWidth += space;
        }
        line += word;
        lineWidth += w;
        at = next + 1;
      }
      para = std::move(line);
    }
    out.push_back(std::move(para));
    if (end == text.size()) break;
    start = end + ((text[end] == U'\r' && end + 1 < text.size() && text[end + 1] == U'\n') ? 2 : 1);
  }
  return out;
}

}  // namespace

std::u32string PlainFromHtml(const std::u32string& html) {
  std::u32string out;
  for (std::size_t i = 0; i < html.size(); ++i) {
    const char32_t c = html[i];
    if (c == U'<') {
      const std::size_t close = html.find(U'>', i);
      if (close == std::u32string::npos) break;
      std::string tag;
      for (std::size_t k = i + 1; k < close && tag.size() < 4; ++k)
        if (html[k] != U' ' && html[k] != U'/') tag.push_back(static_cast<char>(std::tolower(static_cast<int>(html[k] & 0x7F))));
      const bool closing = i + 1 < close && html[i + 1] == U'/';
      if (tag.rfind("br", 0) == 0 || (closing && tag == "p") || tag.rfind("li", 0) == 0) out.push_back(U'\n');
      i = close;
    } else if (c == U'&') {
      const std::size_t semi = html.find(U';', i);
      if (semi == std::u32string::npos || semi - i > 8) {
        out.push_back(c);
        continue;
      }
      const std::u32string name = html.substr(i + 1, semi - i - 1);
      char32_t v = 0;
      if (name == U"amp") v = U'&';
      else if (name == U"lt") v = U'<';
      else if (name == U"gt") v = U'>';
      else if (name == U"quot") v = U'"';
      else if (name == U"apos") v = U'\'';
      else if (name == U"nbsp") v = U' ';
      else if (name.size() > 1 && name[0] == U'#') {
        for (std::size_t k = 1; k < name.size() && name[k] >= U'0' && name[k] <= U'9'; ++k) v = v * 10 + (name[k] - U'0');
      }
      if (v == 0 || v > 0x10FFFF) {
        out.push_back(c);
        continue;
      }
      out.push_back(v);
      i = semi;
    } else {
      out.push_back(c);
    }
  }
  while (!out.empty() && out.back() == U'\n') out.pop_back();
  return out;
}

void TTextFieldCharacter::Draw(const TRenderContext& rc) const {
  cairo_t* cr = rc.Cr;
  if (!cr || cairo_status(cr) != CAIRO_STATUS_SUCCESS || d_.Bounds.IsEmpty()) return;
  cairo_save(cr);
  if (!SetCairoMatrix(cr, rc.Matrix)) {
    cairo_restore(cr);
    return;
  }
  cairo_set_antialias(cr, rc.AntiAlias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  const TRectTw& b = d_.Bounds;
  cairo_rectangle(cr, b.XMin, b.YMin, b.XMax - b.XMin, b.YMax - b.YMin);
  if (d_.Border) {
    const TRgba white = Transform(rc.Cxform, {255, 255, 255, 255}), black = Transform(rc.Cxform, {0, 0, 0, 255});
    cairo_set_source_rgba(cr, white.R / 255.0, white.G / 255.0, white.B / 255.0, white.A / 255.0);
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, black.R / 255.0, black.G / 255.0, black.B / 255.0, black.A / 255.0);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_line_width(cr, 1);
    cairo_stroke_preserve(cr);
    cairo_restore(cr);
  }
  cairo_clip(cr);
  const TFontCharacter* font = nullptr;
  if (d_.UseOutlines && rc.Dictionary) {
    font = dynamic_cast<const TFontCharacter*>(rc.Dictionary->Find(d_.FontId));
    if (font && font->GlyphCount() == 0) font = nullptr;
  }
  const double h = d_.Height;
  const TRgba color = Transform(rc.Cxform, d_.Color);
  double ascent = 0.8 * h, lineHeight = 1.15 * h;
  if (font) {
    if (font->HasLayout) {
      ascent = font->Ascent * h / font->EmUnits();
      lineHeight = (font->Ascent + font->Descent) * h / font->EmUnits();
    }
  }
  std::unique_ptr<TDeviceText> device;
  if (!font) {
    const auto* named = rc.Dictionary ? dynamic_cast<const TFontCharacter*>(rc.Dictionary->Find(d_.FontId)) : nullptr;
    const double scale = std::sqrt(std::fabs(rc.Matrix.A * rc.Matrix.D - rc.Matrix.B * rc.Matrix.C));
    device = std::make_unique<TDeviceText>(named ? named->Name : std::string(), named && named->Bold,
                                           named && named->Italic, scale, h);
    if (!device->Ok()) {
      cairo_restore(cr);
      return;
    }
    ascent = device->Ascent();
    lineHeight = device->LineHeight();
  }
  lineHeight += d_.Leading;
  const auto measure = [&](const std::u32string& s) {
    if (font) {
      double w = 0;
      for (char32_t c : s) {
        const int g = font->GlyphFor(c);
        w += g >= 0 ? font->AdvanceOf(static_cast<std::size_t>(g), h) : h / 4;
      }
      return w;
    }
    return device->Measure(ToUtf8(s));
  };
  const double left = b.XMin + kGutter + d_.LeftMargin;
  const double avail = (b.XMax - b.XMin) - 2 * kGutter - d_.LeftMargin - d_.RightMargin;
  double y = b.YMin + kGutter + ascent;
  for (const std::u32string& line : Lines(d_, avail, measure)) {
    if (y - ascent > b.YMax) break;
    const double w = measure(line);
    double x = left;
    if (d_.Align == 1) x += avail - w;
    else if (d_.Align == 2) x += (avail - w) / 2;
    if (font) {
      for (char32_t c : line) {
        const int g = font->GlyphFor(c);
        if (g < 0) {
          x += h / 4;
          continue;
        }
        TRenderContext at = rc;
        TMatrix t;
        t.Tx = x;
        t.Ty = y;
        at.Matrix = rc.Matrix * t;
        at.Cxform = {};  // the colour is already transformed
        font->DrawGlyph(static_cast<std::size_t>(g), h, color, at);
        x += font->AdvanceOf(static_cast<std::size_t>(g), h);
      }
    } else {
      double dx = 0, dy = 0;
      rc.Matrix.Apply(x, y, dx, dy);
      device->Draw(cr, dx, dy, ToUtf8(line), color);
    }
    y += lineHeight;
    if (!d_.Multiline && !d_.WordWrap) break;
  }
  cairo_restore(cr);
}

std::shared_ptr<TCharacter> ParseTextField(std::span<const std::uint8_t> body, TParseContext& ctx) {
  TSwfReader r(body);
  r.U16();
  TTextFieldData d;
  d.Bounds = r.Rect();
  const std::uint8_t f1 = r.U8(), f2 = r.U8();
  d.WordWrap = f1 & 0x40;
  d.Multiline = f1 & 0x20;
  d.Password = f1 & 0x10;
  d.Border = f2 & 0x08;
  d.Html = f2 & 0x02;
  d.UseOutlines = f2 & 0x01;
  if (f1 & 0x01) d.FontId = r.U16();
  if (f2 & 0x80) r.String();
  if (f1 & 0x01 || f2 & 0x80) d.Height = r.U16();
  if (f1 & 0x04) d.Color = r.Rgba();
  if (f1 & 0x02) r.U16();
  if (f2 & 0x20) {
    d.Align = r.U8();
    d.LeftMargin = r.U16();
    d.RightMargin = r.U16();
    d.Indent = r.U16();
    d.Leading = r.S16();
  }
  r.String();  // variable name
  if (f1 & 0x80) {
    d.Text = Decode(r.String(), ctx.Version);
    if (d.Html) d.Text = PlainFromHtml(d.Text);
    // More than a field can show; keeps layout time bounded on hostile text.
    if (d.Text.size() > kMaxText) d.Text.resize(kMaxText);
  }
  if (r.Overrun() && d.Bounds.IsEmpty()) return nullptr;
  return std::make_shared<TTextFieldCharacter>(std::move(d));
}

}  // namespace flash
