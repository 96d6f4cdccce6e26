#include "platform/ui/Text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MODULE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include FT_ADVANCES_H
#include FT_SIZES_H
#include FT_SYSTEM_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ui/GdiInternal.h"

namespace win {

namespace text {
struct TInstance;
}

struct TFontObject : HFONT__ {
  LOGFONTA Log;
  std::string Face;  // the name GetTextFaceA reports
  std::shared_ptr<text::TInstance> Inst;
};

namespace text {
namespace {

using gdi::DevX;
using gdi::DevY;
using gdi::Intersect;
using gdi::IsEmpty;
using gdi::PixelOf;

// The names the program asks for, mapped to installed faces with the same
// advance widths, so that layouts made for Windows keep their line breaks.
// "MS Sans Serif" and "Tahoma" have no metric twin in Debian: at dialog
// sizes Arial's widths lie within a few per cent of both, while DejaVu Sans
// runs about a tenth wider and would overflow labels sized for them; so they
// take Liberation Sans too. Verdana is DejaVu Sans' own ancestor's design.
struct TFaceMap {
  const char* Name;
  const char* Family;
};
constexpr TFaceMap FaceTable[] = {
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"MS Shell Dlg", "Liberation Sans"},
    {"MS Shell Dlg 2", "Liberation Sans"},
    {"Tahoma", "Liberation Sans"},
    {"System", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"MS Serif", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Fixedsys", "Liberation Mono"},
    {"Terminal", "Liberation Mono"},
    {"Verdana", "DejaVu Sans"},
};
// Where a name is neither mapped nor installed.
constexpr const char* FallbackFamilies[] = {"Liberation Sans", "DejaVu Sans"};
constexpr const char* DefaultFace = "MS Sans Serif";

constexpr int DefaultPixels = 12;     // em height for lfHeight 0
constexpr int MaxPixels = 2048;       // larger requests are clamped
constexpr size_t MaxGlyphs = 1024;    // per size, before the cache starts over
constexpr size_t MaxInstances = 64;   // sizes kept while no font uses them

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

// A face file chosen for a request.
struct TFaceFile {
  std::string Path;
  int Index = 0;
  bool SynthBold = false, SynthItalic = false;
  std::string Family;
  std::string Reported;  // empty: the name asked for
  bool Found() const { return !Path.empty(); }
};

struct TGlyph {
  int Advance = 0;
  int Left = 0, Top = 0, Width = 0, Rows = 0;
  std::vector<std::uint8_t> Coverage;
};

}  // namespace

// One face at one pixel size: metrics and rendered glyphs. Without a face
// file (Face null) glyphs are hollow boxes, so text is never lost.
struct TInstance {
  FT_Face Face = nullptr;  // shared per file, owned by the engine
  FT_Size Size = nullptr;
  int Ppem = 0;
  bool SynthBold = false, SynthItalic = false;
  int Ascent = 0, Descent = 0, ExternalLeading = 0, AveWidth = 0, MaxWidth = 0;
  int UnderlinePos = 0, UnderlineThick = 1, StrikePos = 0, StrikeThick = 1;  // below baseline, pixels
  bool Fixed = false;
  std::unordered_map<char32_t, TGlyph> Glyphs;
  ~TInstance() {
    if (Size) FT_Done_Size(Size);
  }
  const TGlyph& Glyph(char32_t c);
  TGlyph BoxGlyph(char32_t c) const;
  int Height() const { return Ascent + Descent; }
};

namespace {

struct TEngine {
  std::recursive_mutex Lock;
  FT_MemoryRec_ Memory{};
  FT_Library Lib = nullptr;
  FcConfig* Config = nullptr;
  bool ConfigClosed = false;  // after exit began
  bool UseFiles = true;
  std::map<std::pair<std::string, int>, FT_Face> Faces;
  std::map<std::tuple<std::string, int, int, bool, bool>, std::shared_ptr<TInstance>> Instances;
  std::map<std::tuple<std::string, int, bool>, TFaceFile> Resolved;
  HGDIOBJ Stock[DEFAULT_GUI_FONT + 1] = {};

  TEngine() {
    // Not FT_Init_FreeType: it would read FREETYPE_PROPERTIES from the
    // environment, and measurement must not depend on the user's tweaks.
    Memory.user = nullptr;
    Memory.alloc = [](FT_Memory, long size) { return std::malloc(static_cast<size_t>(size)); };
    Memory.free = [](FT_Memory, void* block) { std::free(block); };
    Memory.realloc = [](FT_Memory, long, long size, void* block) { return std::realloc(block, static_cast<size_t>(size)); };
    if (FT_New_Library(&Memory, &Lib) == 0)
      FT_Add_Default_Modules(Lib);
    else
      Lib = nullptr;
  }
};

TEngine& Engine() {
  static TEngine* e = new TEngine;  // never destroyed: fonts may outlive static destructors
  return *e;
}

FcConfig* Config(TEngine& e) {
  if (!e.Config && !e.ConfigClosed) {
    e.Config = FcInitLoadConfigAndFonts();
    // Fontconfig frees its own tables only in FcFini; without it every
    // process would end with a leak report.
    std::atexit([] {
      TEngine& e = Engine();
      std::lock_guard<std::recursive_mutex> g(e.Lock);
      if (e.Config) FcConfigDestroy(e.Config);
      e.Config = nullptr;
      e.ConfigClosed = true;
      FcFini();
    });
  }
  return e.Config;
}

// The installed face of one family nearest to the weight and slant asked,
// listed without fontconfig's substitution rules (which users may change).
TFaceFile ListFamily(TEngine& e, const std::string& family, int weight, bool italic) {
  TFaceFile best;
  FcConfig* cfg = Config(e);
  if (!cfg) return best;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcObjectSet* os = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_WEIGHT, FC_SLANT, FC_WIDTH, FC_FAMILY, nullptr);
  FcFontSet* set = FcFontList(cfg, pat, os);
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  if (!set) return best;
  const double wantWeight = FcWeightFromOpenTypeDouble(weight);
  double bestScore = 1e18;
  std::string bestPath;
  for (int i = 0; i < set->nfont; ++i) {
    FcPattern* f = set->fonts[i];
    FcChar8* file = nullptr;
    int index = 0, slant = FC_SLANT_ROMAN;
    double w = FC_WEIGHT_REGULAR, width = FC_WIDTH_NORMAL;
    if (FcPatternGetString(f, FC_FILE, 0, &file) != FcResultMatch) continue;
    FcPatternGetInteger(f, FC_INDEX, 0, &index);
    FcPatternGetDouble(f, FC_WEIGHT, 0, &w);
    FcPatternGetInteger(f, FC_SLANT, 0, &slant);
    FcPatternGetDouble(f, FC_WIDTH, 0, &width);
    const bool isItalic = slant != FC_SLANT_ROMAN;
    const double score = std::abs(width - FC_WIDTH_NORMAL) * 1000 + (isItalic != italic ? 500 : 0) +
                         std::abs(w - wantWeight) + (w < wantWeight ? 0.5 : 0);
    const std::string path = reinterpret_cast<const char*>(file);
    // Ties go to the smaller path, so the choice never depends on list order.
    if (score < bestScore || (score == bestScore && path < bestPath)) {
      bestScore = score;
      bestPath = path;
      best.Path = path;
      best.Index = index;
      best.SynthBold = weight >= FW_SEMIBOLD && w < FC_WEIGHT_DEMIBOLD;
      best.SynthItalic = italic && !isItalic;
      FcChar8* fam = nullptr;
      best.Family = FcPatternGetString(f, FC_FAMILY, 0, &fam) == FcResultMatch ? reinterpret_cast<const char*>(fam)
                                                                                 : family;
    }
  }
  FcFontSetDestroy(set);
  return best;
}

// Whatever fontconfig offers for the name, when nothing fixed applies.
TFaceFile MatchAny(TEngine& e, const std::string& name, int weight, bool italic) {
  TFaceFile r;
  FcConfig* cfg = Config(e);
  if (!cfg) return r;
  FcPattern* pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(cfg, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res;
  FcPattern* m = FcFontMatch(cfg, pat, &res);
  FcPatternDestroy(pat);
  if (!m) return r;
  FcChar8* file = nullptr;
  if (FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) {
    r.Path = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(m, FC_INDEX, 0, &r.Index);
    double w = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    FcPatternGetDouble(m, FC_WEIGHT, 0, &w);
    FcPatternGetInteger(m, FC_SLANT, 0, &slant);
    r.SynthBold = weight >= FW_SEMIBOLD && w < FC_WEIGHT_DEMIBOLD;
    r.SynthItalic = italic && slant == FC_SLANT_ROMAN;
    FcChar8* fam = nullptr;
    if (FcPatternGetString(m, FC_FAMILY, 0, &fam) == FcResultMatch) r.Family = reinterpret_cast<const char*>(fam);
  }
  FcPatternDestroy(m);
  return r;
}

// Picks the face file for a logical font; also says which name to report.
TFaceFile Resolve(TEngine& e, const std::string& face, int weight, bool italic, std::string* reported) {
  std::string name = face.empty() ? DefaultFace : face;
  *reported = name;
  if (!e.UseFiles) return {};
  std::string lower = name;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c += 32;
  const auto key = std::make_tuple(lower, weight >= FW_SEMIBOLD ? FW_BOLD : FW_NORMAL, italic);
  auto it = e.Resolved.find(key);
  if (it == e.Resolved.end()) {
    TFaceFile f;
    bool known = false;
    for (const TFaceMap& m : FaceTable)
      if (SameName(m.Name, name)) {
        f = ListFamily(e, m.Family, std::get<1>(key), italic);
        known = true;
      }
    if (!known) known = (f = ListFamily(e, name, std::get<1>(key), italic)).Found();
    for (const char* fb : FallbackFamilies)
      if (!f.Found()) f = ListFamily(e, fb, std::get<1>(key), italic);
    if (!f.Found()) f = MatchAny(e, name, std::get<1>(key), italic);
    // A name that is neither mapped nor installed reports the face drawn, as on Windows.
    if (!known && f.Found()) f.Reported = f.Family;
    it = e.Resolved.emplace(key, f).first;
  }
  if (!it->second.Reported.empty()) *reported = it->second.Reported;
  return it->second;
}

FT_Face FaceFor(TEngine& e, const TFaceFile& f) {
  if (!e.Lib || !f.Found()) return nullptr;
  const auto key = std::make_pair(f.Path, f.Index);
  auto it = e.Faces.find(key);
  if (it != e.Faces.end()) return it->second;
  FT_Face face = nullptr;
  if (FT_New_Face(e.Lib, f.Path.c_str(), f.Index, &face) != 0 || !FT_IS_SCALABLE(face)) {
    if (face) FT_Done_Face(face);
    face = nullptr;
  }
  e.Faces.emplace(key, face);  // failures are remembered too
  return face;
}

int CeilDiv(long long a, long long b) { return static_cast<int>(a >= 0 ? (a + b - 1) / b : -((-a) / b)); }
int RoundDiv(long long a, long long b) { return static_cast<int>(a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b)); }

// Letter weights of the classic average character width: lowercase letters
// and the space by their frequency in English text (per thousand).
constexpr int LetterWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6, 35, 20, 56,
                                   56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2, 166};

void FillMetrics(TInstance& in, FT_Face face) {
  const long long upem = face->units_per_EM ? face->units_per_EM : 2048;
  const long long ppem = in.Ppem;
  long long asc = face->ascender, desc = -face->descender, gap = face->height - (face->ascender - face->descender);
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    // Windows sizes the cell by the win metrics and puts the rest of the
    // typographic line gap into the external leading.
    asc = os2->usWinAscent;
    desc = os2->usWinDescent;
    if (hhea) gap = std::max<long long>(0, hhea->Line_Gap - ((asc + desc) - (hhea->Ascender - hhea->Descender)));
  }
  in.Ascent = CeilDiv(asc * ppem, upem);
  in.Descent = CeilDiv(desc * ppem, upem);
  if (in.Ascent + in.Descent < in.Ppem) in.Ascent = in.Ppem - in.Descent;
  in.ExternalLeading = std::max(0, RoundDiv(std::max<long long>(0, gap) * ppem, upem));
  in.MaxWidth = CeilDiv(face->max_advance_width * ppem, upem) + (in.SynthBold ? 1 : 0);
  // The weighted average over the letters, from the unhinted advances.
  long long sum = 0, total = 0;
  for (int i = 0; i < 27; ++i) {
    const FT_UInt g = FT_Get_Char_Index(face, i < 26 ? 'a' + i : ' ');
    FT_Fixed adv = 0;
    if (g && FT_Get_Advance(face, g, FT_LOAD_NO_SCALE, &adv) == 0) {
      sum += adv * LetterWeights[i];
      total += LetterWeights[i];
    }
  }
  in.AveWidth = total ? RoundDiv(sum * ppem, total * upem) : std::max(1, in.Ppem / 2);
  if (in.SynthBold) ++in.AveWidth;
  in.Fixed = FT_IS_FIXED_WIDTH(face);
  in.UnderlineThick = std::max(1, RoundDiv(face->underline_thickness * ppem, upem));
  in.UnderlinePos = std::max(1, RoundDiv(-face->underline_position * ppem, upem));
  if (in.UnderlinePos + in.UnderlineThick > in.Descent) in.UnderlinePos = std::max(0, in.Descent - in.UnderlineThick);
  if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
    in.StrikeThick = std::max(1, RoundDiv(os2->yStrikeoutSize * ppem, upem));
    in.StrikePos = -RoundDiv(os2->yStrikeoutPosition * ppem, upem);
  } else {
    in.StrikeThick = in.UnderlineThick;
    in.StrikePos = -in.Ascent / 3;
  }
}

void BoxMetrics(TInstance& in) {
  in.Ascent = CeilDiv(in.Ppem * 8LL, 10);
  in.Descent = std::max(1, in.Ppem - in.Ascent + CeilDiv(in.Ppem, 5));
  in.AveWidth = std::max(1, in.Ppem / 2);
  in.MaxWidth = std::max(2, (in.Ppem * 6) / 10);
  in.UnderlinePos = 1;
  in.StrikePos = -in.Ascent / 3;
}

std::shared_ptr<TInstance> InstanceFor(TEngine& e, const TFaceFile& f, int ppem) {
  const auto key = std::make_tuple(f.Path, f.Index, ppem, f.SynthBold, f.SynthItalic);
  auto it = e.Instances.find(key);
  if (it != e.Instances.end()) return it->second;
  if (e.Instances.size() >= MaxInstances)
    for (auto i = e.Instances.begin(); i != e.Instances.end();)
      i = i->second.use_count() == 1 ? e.Instances.erase(i) : std::next(i);
  auto in = std::make_shared<TInstance>();
  in->Ppem = ppem;
  in->SynthBold = f.SynthBold;
  in->SynthItalic = f.SynthItalic;
  FT_Face face = FaceFor(e, f);
  if (face && FT_New_Size(face, &in->Size) == 0) {
    FT_Activate_Size(in->Size);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) == 0) {
      in->Face = face;
      FillMetrics(*in, face);
    } else {
      FT_Done_Size(in->Size);
      in->Size = nullptr;
    }
  }
  if (!in->Face) BoxMetrics(*in);
  e.Instances.emplace(key, in);
  return in;
}

// The em height in pixels that a LOGFONT's height asks of a face.
int PixelsFor(TEngine& e, const TFaceFile& f, LONG height) {
  if (height == 0) return DefaultPixels;
  if (height < 0) return std::clamp<long long>(-static_cast<long long>(height), 1, MaxPixels);
  // A cell height: scale by the face's cell to em ratio.
  FT_Face face = FaceFor(e, f);
  long long cell = 0, upem = 1;
  if (face) {
    upem = face->units_per_EM ? face->units_per_EM : 2048;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    cell = os2 && os2->version != 0xFFFF ? os2->usWinAscent + os2->usWinDescent : face->ascender - face->descender;
  }
  if (cell <= 0) {
    cell = 12;  // box font: cell is about 1.2 em
    upem = 10;
  }
  const long long h = std::min<long long>(height, MaxPixels);
  return std::clamp<int>(RoundDiv(h * upem, cell), 1, MaxPixels);
}

}  // namespace

const TGlyph& TInstance::Glyph(char32_t c) {
  auto it = Glyphs.find(c);
  if (it != Glyphs.end()) return it->second;
  if (Glyphs.size() >= MaxGlyphs) Glyphs.clear();
  TGlyph g;
  if (c < 0x20 || c == 0x7F) {
    // Control characters take no room and leave no ink.
  } else if (Face) {
    FT_Activate_Size(Size);
    const FT_UInt index = FT_Get_Char_Index(Face, c);
    if (!index) return Glyphs.emplace(c, BoxGlyph(c)).first->second;
    // Fixed load flags: light hinting, outlines only; the same bytes on every run.
    if (FT_Load_Glyph(Face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) == 0) {
      FT_GlyphSlot slot = Face->glyph;
      if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (SynthBold) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
        if (SynthItalic) FT_GlyphSlot_Oblique(slot);
      }
      g.Advance = static_cast<int>((slot->advance.x + 32) >> 6) + (SynthBold ? 1 : 0);
      if (c != ' ' && FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) == 0 &&
          slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        const FT_Bitmap& b = slot->bitmap;
        g.Left = slot->bitmap_left;
        g.Top = slot->bitmap_top;
        g.Width = static_cast<int>(b.width);
        g.Rows = static_cast<int>(b.rows);
        g.Coverage.resize(static_cast<size_t>(g.Width) * g.Rows);
        for (int y = 0; y < g.Rows; ++y)
          std::memcpy(g.Coverage.data() + static_cast<size_t>(y) * g.Width, b.buffer + static_cast<long>(y) * b.pitch,
                      static_cast<size_t>(g.Width));
      }
    }
  } else {
    g = BoxGlyph(c);
  }
  return Glyphs.emplace(c, std::move(g)).first->second;
}

// A hollow box: characters the face lacks (the replacement character for
// broken UTF-8 among them) and every character when no face file loads.
TGlyph TInstance::BoxGlyph(char32_t c) const {
  TGlyph g;
  g.Advance = std::max(3, AveWidth + 1);
  if (c == ' ') return g;
  g.Left = 1;
  g.Width = g.Advance - 2;
  g.Top = std::max(2, Ascent - std::max(1, Ascent / 8));
  g.Rows = g.Top;
  g.Coverage.assign(static_cast<size_t>(g.Width) * g.Rows, 0);
  for (int y = 0; y < g.Rows; ++y)
    for (int x = 0; x < g.Width; ++x)
      if (y == 0 || y == g.Rows - 1 || x == 0 || x == g.Width - 1) g.Coverage[static_cast<size_t>(y) * g.Width + x] = 255;
  return g;
}

namespace {

TFontObject* Font(const void* h) { return gdi::As<TFontObject>(h, TGdiKind::Font); }

HFONT NewFont(const LOGFONTA& lf, bool stock) {
  TEngine& e = Engine();
  std::lock_guard<std::recursive_mutex> g(e.Lock);
  auto* f = new TFontObject;
  f->Log = lf;
  f->Log.lfFaceName[LF_FACESIZE - 1] = 0;
  f->Stock = stock;
  const std::string face(f->Log.lfFaceName, strnlen(f->Log.lfFaceName, LF_FACESIZE));
  const TFaceFile file = Resolve(e, face, lf.lfWeight, lf.lfItalic != 0, &f->Face);
  f->Inst = InstanceFor(e, file, PixelsFor(e, file, lf.lfHeight));
  gdi::Register(f);
  return f;
}

LOGFONTA Logical(LONG height, LONG weight, const char* face) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWeight = weight;
  std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return lf;
}

}  // namespace

// UTF-8 decoding: every byte that does not start a valid, shortest-form
// sequence becomes one U+FFFD.
struct TChar {
  char32_t Code;
  std::uint32_t Begin, End;  // source bytes
  bool Prefix = false;       // marked by '&': underlined in DrawText
};

namespace {
std::vector<TChar> Decode(const char* s, size_t n) {
  std::vector<TChar> out;
  out.reserve(n);
  size_t i = 0;
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  while (i < n) {
    const unsigned char b = u[i];
    size_t len = 0;
    char32_t c = 0, min = 0;
    if (b < 0x80) {
      len = 1;
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      c = b & 0x1F;
      min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      c = b & 0x0F;
      min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      c = b & 0x07;
      min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      if ((u[i + k] & 0xC0) != 0x80)
        ok = false;
      else
        c = (c << 6) | (u[i + k] & 0x3F);
    }
    if (ok && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
    if (!ok) {
      out.push_back({0xFFFD, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i + 1)});
      ++i;
    } else {
      out.push_back({c, static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(i + len)});
      i += len;
    }
  }
  return out;
}
}  // namespace

}  // namespace text

namespace gdi {

HGDIOBJ StockFont(int which) {
  using namespace text;
  if (which < OEM_FIXED_FONT || which > DEFAULT_GUI_FONT || which == 15) return nullptr;
  TEngine& e = Engine();
  std::lock_guard<std::recursive_mutex> g(e.Lock);
  if (!e.Stock[which]) {
    LOGFONTA lf;
    switch (which) {
      case OEM_FIXED_FONT: lf = Logical(12, FW_NORMAL, "Terminal"); break;
      case ANSI_FIXED_FONT: lf = Logical(12, FW_NORMAL, "Courier"); break;
      case ANSI_VAR_FONT: lf = Logical(13, FW_NORMAL, "MS Sans Serif"); break;
      case SYSTEM_FONT:
      case DEVICE_DEFAULT_FONT: lf = Logical(16, FW_BOLD, "System"); break;
      case SYSTEM_FIXED_FONT: lf = Logical(15, FW_NORMAL, "Fixedsys"); break;
      default: lf = Logical(-11, FW_NORMAL, "MS Shell Dlg"); break;
    }
    if (which == ANSI_FIXED_FONT || which == OEM_FIXED_FONT || which == SYSTEM_FIXED_FONT)
      lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    e.Stock[which] = NewFont(lf, true);
  }
  return e.Stock[which];
}

int GetFontObject(HGDIOBJ obj, int size, void* out) {
  TFontObject* f = text::Font(obj);
  if (!f) return 0;
  if (!out) return sizeof(LOGFONTA);
  const int n = std::min<int>(std::max(size, 0), sizeof(LOGFONTA));
  std::memcpy(out, &f->Log, static_cast<size_t>(n));
  return n;
}

}  // namespace gdi

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
  if (!lf) return nullptr;
  return text::NewFont(*lf, false);
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCSTR face) {
  LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic != 0);
  lf.lfUnderline = static_cast<BYTE>(underline != 0);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut != 0);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return CreateFontIndirectA(&lf);
}

namespace text {
namespace {

TEngine& Locked(std::unique_lock<std::recursive_mutex>& g) {
  TEngine& e = Engine();
  g = std::unique_lock<std::recursive_mutex>(e.Lock);
  return e;
}

TFontObject* SelectedFont(const HDC__* d) {
  if (TFontObject* f = Font(d->Font)) return f;
  return Font(gdi::StockFont(SYSTEM_FONT));
}

std::vector<char32_t> Codes(const std::vector<TChar>& chars) {
  std::vector<char32_t> c;
  c.reserve(chars.size());
  for (const TChar& t : chars) c.push_back(t.Code);
  return c;
}

// Pen positions of a run from its start (tabs to the next stop when tabWidth
// is set); returns the run's width.
int Place(TInstance& in, const char32_t* c, size_t n, int tabWidth, std::vector<int>* xs) {
  long long x = 0;
  if (xs) xs->resize(n);
  for (size_t i = 0; i < n; ++i) {
    if (xs) (*xs)[i] = static_cast<int>(x);
    if (c[i] == '\t' && tabWidth > 0)
      x = (x / tabWidth + 1) * tabWidth;
    else
      x += in.Glyph(c[i]).Advance;
    x = std::min<long long>(x, INT32_MAX / 4);
  }
  return static_cast<int>(x);
}

int Width(TInstance& in, const std::vector<TChar>& chars, size_t a, size_t b, int tabWidth) {
  std::vector<char32_t> c;
  c.reserve(b - a);
  for (size_t i = a; i < b; ++i) c.push_back(chars[i].Code);
  return Place(in, c.data(), c.size(), tabWidth, nullptr);
}

// Where and how a DC draws text.
struct TPainter {
  HDC__* D;
  TInstance& In;
  const LOGFONTA& Log;
  std::vector<RECT> Clip;  // device
  std::uint32_t Color;

  void Fill(const RECT& area, std::uint32_t value) const {
    for (const RECT& c : Clip) {
      const RECT r = Intersect(c, area);
      if (IsEmpty(r)) continue;
      for (LONG y = r.top; y < r.bottom; ++y) std::fill(D->Bitmap->Row(y) + r.left, D->Bitmap->Row(y) + r.right, value);
    }
  }

  void Glyph(const TGlyph& g, long long penX, long long baseY) const {
    if (g.Coverage.empty()) return;
    const long long left = penX + g.Left, top = baseY - g.Top;
    if (left > INT32_MAX / 2 || top > INT32_MAX / 2 || left < INT32_MIN / 2 || top < INT32_MIN / 2) return;
    const RECT box{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(left + g.Width),
                   static_cast<LONG>(top + g.Rows)};
    const int sr = (Color >> 16) & 0xFF, sg = (Color >> 8) & 0xFF, sb = Color & 0xFF;
    for (const RECT& c : Clip) {
      const RECT r = Intersect(c, box);
      if (IsEmpty(r)) continue;
      for (LONG y = r.top; y < r.bottom; ++y) {
        std::uint32_t* row = D->Bitmap->Row(y);
        const std::uint8_t* cov = g.Coverage.data() + static_cast<size_t>(y - box.top) * g.Width - box.left;
        for (LONG x = r.left; x < r.right; ++x) {
          const int a = cov[x];
          if (a == 0) continue;
          if (a == 255) {
            row[x] = Color;
            continue;
          }
          const std::uint32_t p = row[x];
          const int dr = (p >> 16) & 0xFF, dg = (p >> 8) & 0xFF, db = p & 0xFF;
          const auto mix = [a](int s, int d) { return static_cast<std::uint32_t>(d + ((s - d) * a + (s > d ? 127 : -127)) / 255); };
          row[x] = (mix(sr, dr) << 16) | (mix(sg, dg) << 8) | mix(sb, db);
        }
      }
    }
  }

  // One line of placed characters with its top-left corner at device (x, top).
  void Line(const std::vector<char32_t>& c, const std::vector<int>& xs, int width, long long x, long long top,
            int prefix, bool glyphs) const {
    const long long base = top + In.Ascent;
    if (glyphs)
      for (size_t i = 0; i < c.size(); ++i) Glyph(In.Glyph(c[i]), x + xs[i], base);
    const auto bar = [&](long long from, long long to, long long y, int thick) {
      const auto clampL = [](long long v) { return static_cast<LONG>(std::clamp<long long>(v, INT32_MIN / 2, INT32_MAX / 2)); };
      Fill(RECT{clampL(from), clampL(y), clampL(to), clampL(y + thick)}, Color);
    };
    if (glyphs && Log.lfUnderline && width > 0) bar(x, x + width, base + In.UnderlinePos, In.UnderlineThick);
    if (glyphs && Log.lfStrikeOut && width > 0) bar(x, x + width, base + In.StrikePos, In.StrikeThick);
    if (prefix >= 0 && prefix < static_cast<int>(c.size())) {
      const int w = In.Glyph(c[prefix]).Advance;
      bar(x + xs[prefix], x + xs[prefix] + w, base + In.UnderlinePos, In.UnderlineThick);
    }
  }
};

RECT DevRect(const HDC__* d, const RECT& r) {
  return RECT{DevX(d, r.left), DevY(d, r.top), DevX(d, r.right), DevY(d, r.bottom)};
}

std::vector<RECT> ClipTo(std::vector<RECT> clip, const RECT& dev) {
  std::vector<RECT> out;
  for (const RECT& c : clip) {
    const RECT r = Intersect(c, dev);
    if (!IsEmpty(r)) out.push_back(r);
  }
  return out;
}

BOOL TextCore(HDC hdc, int x, int y, UINT options, const RECT* rc, const char* s, size_t n, const int* dx) {
  std::unique_lock<std::recursive_mutex> lock;
  Locked(lock);
  HDC__* d = gdi::DcOf(hdc);
  if (!d || (!s && n)) return FALSE;
  TFontObject* f = SelectedFont(d);
  if (!f) return FALSE;
  TInstance& in = *f->Inst;
  const std::vector<char32_t> c = Codes(Decode(s, n));
  std::vector<int> xs;
  int width;
  if (dx) {
    xs.resize(c.size());
    long long acc = 0;
    for (size_t i = 0; i < c.size(); ++i) {
      xs[i] = static_cast<int>(acc);
      acc = std::clamp<long long>(acc + dx[i], INT32_MIN / 4, INT32_MAX / 4);
    }
    width = static_cast<int>(acc);
  } else {
    width = Place(in, c.data(), c.size(), 0, &xs);
  }
  const UINT align = d->TextAlign;
  if (align & TA_UPDATECP) {
    x = d->Pos.x;
    y = d->Pos.y;
  }
  long long left = x, top = y;
  if ((align & TA_CENTER) == TA_CENTER)
    left -= width / 2;
  else if (align & TA_RIGHT)
    left -= width;
  if ((align & TA_BASELINE) == TA_BASELINE)
    top -= in.Ascent;
  else if (align & TA_BOTTOM)
    top -= in.Height();
  if (align & TA_UPDATECP) {
    if ((align & TA_CENTER) == TA_CENTER) {
    } else if (align & TA_RIGHT) {
      d->Pos.x = static_cast<LONG>(x - static_cast<long long>(width));
    } else {
      d->Pos.x = static_cast<LONG>(x + static_cast<long long>(width));
    }
  }
  TPainter p{d, in, f->Log, gdi::ClipRects(d), PixelOf(d->TextColor & 0xFFFFFF)};
  if (rc && (options & ETO_CLIPPED)) p.Clip = ClipTo(std::move(p.Clip), DevRect(d, *rc));
  const std::uint32_t bk = PixelOf(d->BkColor & 0xFFFFFF);
  if (rc && (options & ETO_OPAQUE)) p.Fill(DevRect(d, *rc), bk);
  const long long dl = DevX(d, left), dt = DevY(d, top);
  if (d->BkMode == OPAQUE && width > 0 && !c.empty())
    p.Fill(RECT{static_cast<LONG>(dl), static_cast<LONG>(dt), static_cast<LONG>(std::min<long long>(dl + width, INT32_MAX / 2)),
                static_cast<LONG>(dt + in.Height())},
           bk);
  p.Line(c, xs, width, dl, dt, -1, true);
  return TRUE;
}

// --- DrawText layout ---

struct TLine {
  std::vector<TChar> Chars;
  bool Shortened = false;
};

TChar Dot() { return TChar{'.', 0, 0, false}; }

bool IsSpace(char32_t c) { return c == ' ' || c == '\t'; }

// Removes '&' marks: "&&" is one '&', "&x" marks x; a final '&' stays.
std::vector<TChar> StripPrefixes(const std::vector<TChar>& in, bool mark) {
  std::vector<TChar> out;
  out.reserve(in.size());
  int marked = -1;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i].Code == '&' && i + 1 < in.size()) {
      ++i;
      TChar t = in[i];
      t.Begin = in[i - 1].Begin;
      if (t.Code != '&') marked = static_cast<int>(out.size());
      out.push_back(t);
    } else {
      out.push_back(in[i]);
    }
  }
  // Only the last mark is the accelerator.
  if (mark && marked >= 0) out[marked].Prefix = true;
  return out;
}

// Splits at line ends and, with wordbreak, wherever the width runs out.
std::vector<TLine> BreakLines(TInstance& in, const std::vector<TChar>& c, UINT fmt, int width, int tabWidth) {
  std::vector<TLine> lines;
  if (fmt & DT_SINGLELINE) {
    lines.push_back(TLine{c});
    return lines;
  }
  size_t i = 0;
  const size_t n = c.size();
  if (n == 0) return lines;
  while (i < n) {
    size_t e = i;
    while (e < n && c[e].Code != '\r' && c[e].Code != '\n') ++e;
    // Wrap [i, e).
    size_t start = i;
    bool first = true;
    while (first || start < e) {
      if (!first)
        while (start < e && c[start].Code == ' ') ++start;  // a wrapped line starts at its word
      if (!first && start >= e) break;
      first = false;
      size_t j = start, lastWord = start;
      long long x = 0;
      size_t end = e, next = e;
      if (fmt & DT_WORDBREAK) {
        for (; j < e; ++j) {
          const char32_t ch = c[j].Code;
          if (j > start && !IsSpace(ch) && IsSpace(c[j - 1].Code)) lastWord = j;
          const long long w = (ch == '\t' && tabWidth > 0) ? ((x / tabWidth + 1) * tabWidth - x) : in.Glyph(ch).Advance;
          if (x + w > width && j > start) {
            if (ch == ' ') {
              end = j;
              next = j;
            } else if (lastWord > start) {
              end = lastWord;
              next = lastWord;
            } else if (fmt & DT_EDITCONTROL) {
              end = j;
              next = j;
            } else {
              // One word wider than the line stays whole.
              size_t k = j;
              while (k < e && !IsSpace(c[k].Code)) ++k;
              end = k;
              next = k;
            }
            break;
          }
          x += w;
        }
      }
      while (end > start && c[end - 1].Code == ' ' && end != e) --end;  // trailing blanks of a wrapped line
      lines.push_back(TLine{std::vector<TChar>(c.begin() + start, c.begin() + end)});
      start = next;
    }
    if (e >= n) break;
    i = e + ((c[e].Code == '\r' && e + 1 < n && c[e + 1].Code == '\n') ? 2 : 1);
    if (i >= n) break;  // a final line end opens no empty line
  }
  return lines;
}

// The longest prefix of chars that fits in room, as an index.
size_t FitPrefix(TInstance& in, const std::vector<TChar>& c, size_t limit, int room, int tabWidth) {
  size_t k = 0;
  long long x = 0;
  for (; k < limit; ++k) {
    const char32_t ch = c[k].Code;
    const long long w = (ch == '\t' && tabWidth > 0) ? ((x / tabWidth + 1) * tabWidth - x) : in.Glyph(ch).Advance;
    if (x + w > room) break;
    x += w;
  }
  return k;
}

std::vector<TChar> Dots(TInstance& in, int room) {
  std::vector<TChar> d;
  const int w = in.Glyph('.').Advance;
  for (int i = 0; i < 3 && (i + 1) * w <= room; ++i) d.push_back(Dot());
  return d;
}

void EndEllipsis(TInstance& in, TLine& line, int width, int tabWidth) {
  const int dots = 3 * in.Glyph('.').Advance;
  const size_t k = FitPrefix(in, line.Chars, line.Chars.size(), width - dots, tabWidth);
  std::vector<TChar> out(line.Chars.begin(), line.Chars.begin() + static_cast<long>(k));
  const std::vector<TChar> d = Dots(in, width - Width(in, out, 0, out.size(), tabWidth));
  out.insert(out.end(), d.begin(), d.end());
  line.Chars = std::move(out);
  line.Shortened = true;
}

// Keeps as much as possible after the last path delimiter, taking characters
// out of the middle; without a delimiter the middle of the text goes.
void PathEllipsis(TInstance& in, TLine& line, int width, int tabWidth) {
  const std::vector<TChar>& c = line.Chars;
  size_t sep = c.size();
  for (size_t i = c.size(); i-- > 0;)
    if (c[i].Code == '\\' || c[i].Code == '/') {
      sep = i;
      break;
    }
  if (sep == c.size()) sep = c.size() / 2;
  const std::vector<TChar> tail(c.begin() + static_cast<long>(sep), c.end());
  const int dots = 3 * in.Glyph('.').Advance;
  const int tailWidth = Width(in, tail, 0, tail.size(), 0);
  if (dots + tailWidth <= width) {
    const size_t k = FitPrefix(in, c, sep, width - dots - tailWidth, tabWidth);
    std::vector<TChar> out(c.begin(), c.begin() + static_cast<long>(k));
    for (int i = 0; i < 3; ++i) out.push_back(Dot());
    out.insert(out.end(), tail.begin(), tail.end());
    line.Chars = std::move(out);
    line.Shortened = true;
    return;
  }
  // Even the last part is too wide: it loses its end as well.
  TLine t{std::vector<TChar>{Dot(), Dot(), Dot()}};
  t.Chars.insert(t.Chars.end(), tail.begin(), tail.end());
  EndEllipsis(in, t, width, 0);
  line = std::move(t);
}

// The shortened text in the caller's buffer: kept source bytes and the dots.
void WriteBack(char* buf, const TLine& line) {
  std::string out;
  for (const TChar& t : line.Chars) {
    if (t.Begin == t.End) {
      out += '.';
      continue;
    }
    out.append(buf + t.Begin, buf + t.End);
  }
  std::memcpy(buf, out.data(), out.size());
  buf[out.size()] = 0;
}

int DrawTextCore(HDC hdc, const char* text, int count, RECT* rc, UINT fmt, DRAWTEXTPARAMS* params, char* writable) {
  std::unique_lock<std::recursive_mutex> lock;
  Locked(lock);
  HDC__* d = gdi::DcOf(hdc);
  if (!d || !rc || (!text && count != 0)) return 0;
  if (params && params->cbSize != sizeof(DRAWTEXTPARAMS)) return 0;
  if (count == -1) count = static_cast<int>(std::strlen(text));
  if (count < 0) return 0;
  TFontObject* f = SelectedFont(d);
  if (!f) return 0;
  TInstance& in = *f->Inst;
  int tabChars = 8;
  if (fmt & DT_TABSTOP) {
    tabChars = (fmt >> 8) & 0xFF;
    fmt &= ~0xFF00u;  // those bits were the tab length, not flags
  } else if (params && params->iTabLength > 0) {
    tabChars = params->iTabLength;
  }
  const int tabWidth = (fmt & DT_EXPANDTABS) ? std::max(1, tabChars) * in.AveWidth : 0;
  const int lineHeight = in.Height() + ((fmt & DT_EXTERNALLEADING) ? in.ExternalLeading : 0);
  const int leftMargin = params ? params->iLeftMargin : 0, rightMargin = params ? params->iRightMargin : 0;
  if (params) params->uiLengthDrawn = static_cast<UINT>(count);
  const long long left = 0LL + rc->left + leftMargin, right = 0LL + rc->right - rightMargin;
  const int width = static_cast<int>(std::clamp<long long>(right - left, 0, INT32_MAX / 4));
  const bool single = (fmt & DT_SINGLELINE) != 0;

  std::vector<TChar> chars = Decode(text, static_cast<size_t>(count));
  if (!(fmt & DT_NOPREFIX)) chars = StripPrefixes(chars, !(fmt & DT_HIDEPREFIX));
  std::vector<TLine> lines = BreakLines(in, chars, fmt, width, tabWidth);
  const bool ellipsis = (fmt & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) != 0;
  if (ellipsis)
    for (TLine& l : lines)
      if (Width(in, l.Chars, 0, l.Chars.size(), tabWidth) > width) {
        if (fmt & DT_PATH_ELLIPSIS)
          PathEllipsis(in, l, width, tabWidth);
        else
          EndEllipsis(in, l, width, tabWidth);
      }
  if ((fmt & DT_MODIFYSTRING) && writable && (fmt & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)) && lines.size() == 1 &&
      lines[0].Shortened)
    WriteBack(writable, lines[0]);
  if ((fmt & DT_EDITCONTROL) && !single && !(fmt & DT_CALCRECT)) {
    // No partly visible last line.
    const long long room = 0LL + rc->bottom - rc->top;
    const size_t fit = static_cast<size_t>(std::max<long long>(1, room / std::max(1, lineHeight)));
    if (lines.size() > fit) lines.resize(fit);
  }

  const int total = single ? lineHeight : static_cast<int>(std::min<size_t>(lines.size(), INT32_MAX / 4 / std::max(1, lineHeight)) * lineHeight);
  if (fmt & DT_CALCRECT) {
    long long widest = 0;
    for (const TLine& l : lines) widest = std::max<long long>(widest, Width(in, l.Chars, 0, l.Chars.size(), tabWidth));
    rc->right = static_cast<LONG>(std::clamp<long long>(left + widest + rightMargin, INT32_MIN, INT32_MAX));
    rc->bottom = static_cast<LONG>(std::clamp<long long>(0LL + rc->top + total, INT32_MIN, INT32_MAX));
    return total;
  }
  long long y = rc->top;
  if (single && (fmt & DT_VCENTER))
    y = rc->top + (0LL + rc->bottom - rc->top - lineHeight) / 2;
  else if (single && (fmt & DT_BOTTOM))
    y = 0LL + rc->bottom - lineHeight;

  TPainter p{d, in, f->Log, gdi::ClipRects(d), PixelOf(d->TextColor & 0xFFFFFF)};
  if (!(fmt & DT_NOCLIP)) p.Clip = ClipTo(std::move(p.Clip), DevRect(d, *rc));
  const std::uint32_t bk = PixelOf(d->BkColor & 0xFFFFFF);
  const bool prefixOnly = (fmt & DT_PREFIXONLY) != 0;
  long long lineTop = y;
  for (const TLine& l : lines) {
    std::vector<char32_t> c;
    int prefix = -1;
    for (const TChar& t : l.Chars) {
      if (t.Prefix) prefix = static_cast<int>(c.size());
      c.push_back(t.Code);
    }
    std::vector<int> xs;
    const int w = Place(in, c.data(), c.size(), tabWidth, &xs);
    long long x = left;
    if (fmt & DT_CENTER)
      x = left + (0LL + width - w) / 2;
    else if (fmt & DT_RIGHT)
      x = right - w;
    const long long dx = DevX(d, x), dy = DevY(d, lineTop);
    if (d->BkMode == OPAQUE && w > 0 && !prefixOnly)
      p.Fill(RECT{static_cast<LONG>(dx), static_cast<LONG>(dy), static_cast<LONG>(std::min<long long>(dx + w, INT32_MAX / 2)),
                  static_cast<LONG>(dy + in.Height())},
             bk);
    p.Line(c, xs, w, dx, dy, prefix, !prefixOnly);
    lineTop += lineHeight;
  }
  if (single && (fmt & (DT_VCENTER | DT_BOTTOM))) return static_cast<int>(y - rc->top + lineHeight);
  return total;
}

}  // namespace
}  // namespace text

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->TextColor, color & 0xFFFFFF);
}
COLORREF GetTextColor(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->TextColor : CLR_INVALID;
}
COLORREF SetBkColor(HDC hdc, COLORREF color) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return CLR_INVALID;
  return std::exchange(d->BkColor, color & 0xFFFFFF);
}
COLORREF GetBkColor(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->BkColor : CLR_INVALID;
}
int SetBkMode(HDC hdc, int mode) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  return std::exchange(d->BkMode, mode);
}
int GetBkMode(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->BkMode : 0;
}
UINT SetTextAlign(HDC hdc, UINT align) {
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return GDI_ERROR;
  return std::exchange(d->TextAlign, align & (TA_UPDATECP | TA_CENTER | TA_BASELINE | TA_RTLREADING));
}
UINT GetTextAlign(HDC hdc) {
  HDC__* d = gdi::DcOf(hdc);
  return d ? d->TextAlign : GDI_ERROR;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int count) {
  if (count < 0) return FALSE;
  return text::TextCore(hdc, x, y, 0, nullptr, text, static_cast<size_t>(count), nullptr);
}

BOOL ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* rc, LPCSTR text, UINT count, const int* dx) {
  if (count > static_cast<UINT>(INT32_MAX)) return FALSE;
  return text::TextCore(hdc, x, y, options, rc, text, count, dx);
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, SIZE* size) {
  std::unique_lock<std::recursive_mutex> lock;
  text::Locked(lock);
  HDC__* d = gdi::DcOf(hdc);
  if (!d || !size || count < 0 || (!text && count)) return FALSE;
  TFontObject* f = text::SelectedFont(d);
  if (!f) return FALSE;
  const std::vector<char32_t> c = text::Codes(text::Decode(text, static_cast<size_t>(count)));
  size->cx = text::Place(*f->Inst, c.data(), c.size(), 0, nullptr);
  size->cy = f->Inst->Height();
  return TRUE;
}

BOOL GetTextMetricsA(HDC hdc, TEXTMETRICA* tm) {
  std::unique_lock<std::recursive_mutex> lock;
  text::Locked(lock);
  HDC__* d = gdi::DcOf(hdc);
  if (!d || !tm) return FALSE;
  TFontObject* f = text::SelectedFont(d);
  if (!f) return FALSE;
  const text::TInstance& in = *f->Inst;
  *tm = TEXTMETRICA{};
  tm->tmHeight = in.Height();
  tm->tmAscent = in.Ascent;
  tm->tmDescent = in.Descent;
  tm->tmInternalLeading = std::max(0, in.Height() - in.Ppem);
  tm->tmExternalLeading = in.ExternalLeading;
  tm->tmAveCharWidth = in.AveWidth;
  tm->tmMaxCharWidth = in.MaxWidth;
  tm->tmWeight = f->Log.lfWeight ? f->Log.lfWeight : FW_NORMAL;
  tm->tmDigitizedAspectX = 96;
  tm->tmDigitizedAspectY = 96;
  tm->tmFirstChar = 0x1E;
  tm->tmLastChar = 0xFF;
  tm->tmDefaultChar = 0x1F;
  tm->tmBreakChar = 0x20;
  tm->tmItalic = f->Log.lfItalic ? 255 : 0;
  tm->tmUnderlined = f->Log.lfUnderline ? 255 : 0;
  tm->tmStruckOut = f->Log.lfStrikeOut ? 255 : 0;
  // TMPF_FIXED_PITCH (1) means variable pitch; vector and TrueType bits.
  const BYTE family = (f->Log.lfPitchAndFamily & 0xF0) ? (f->Log.lfPitchAndFamily & 0xF0) : FF_SWISS;
  tm->tmPitchAndFamily = static_cast<BYTE>((in.Fixed ? 0 : 1) | 2 | 4 | family);
  tm->tmCharSet = ANSI_CHARSET;
  return TRUE;
}

int GetTextFaceA(HDC hdc, int count, LPSTR name) {
  std::unique_lock<std::recursive_mutex> lock;
  text::Locked(lock);
  HDC__* d = gdi::DcOf(hdc);
  if (!d) return 0;
  TFontObject* f = text::SelectedFont(d);
  if (!f) return 0;
  if (!name) return static_cast<int>(f->Face.size()) + 1;
  if (count <= 0) return 0;
  const size_t n = std::min<size_t>(f->Face.size(), static_cast<size_t>(count - 1));
  std::memcpy(name, f->Face.data(), n);
  name[n] = 0;
  return static_cast<int>(n);
}

int DrawTextA(HDC hdc, LPCSTR text, int count, RECT* rc, UINT format) {
  // The caller's buffer is written only when it asks for that with DT_MODIFYSTRING.
  return text::DrawTextCore(hdc, text, count, rc, format, nullptr,
                            (format & DT_MODIFYSTRING) ? const_cast<char*>(text) : nullptr);
}

int DrawTextExA(HDC hdc, LPSTR text, int count, RECT* rc, UINT format, DRAWTEXTPARAMS* params) {
  return text::DrawTextCore(hdc, text, count, rc, format, params, (format & DT_MODIFYSTRING) ? text : nullptr);
}

namespace text {
void SetFontFilesEnabled(bool enabled) {
  TEngine& e = Engine();
  std::lock_guard<std::recursive_mutex> g(e.Lock);
  e.UseFiles = enabled;
  e.Resolved.clear();
}
}  // namespace text

}  // namespace win
