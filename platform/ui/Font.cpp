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
#include <utility>
#include <vector>

#include "platform/ui/TextInternal.h"
#include "platform/win/Ascii.h"

namespace win {

namespace text {
namespace {

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
constexpr size_t MaxGlyphBytes = 2 << 20;  // likewise, for huge sizes
constexpr size_t MaxInstances = 64;   // sizes kept while no font uses them

// A face file chosen for a request.
struct TFaceFile {
  std::string Path;
  int Index = 0;
  bool SynthBold = false, SynthItalic = false;
  std::string Family;
  std::string Reported;  // empty: the name asked for
  bool Found() const { return !Path.empty(); }
};

}  // namespace

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
  const std::string lower = AsciiLowerCase(name);
  const auto key = std::make_tuple(lower, weight >= FW_SEMIBOLD ? FW_BOLD : FW_NORMAL, italic);
  auto it = e.Resolved.find(key);
  if (it == e.Resolved.end()) {
    TFaceFile f;
    bool known = false;
    for (const TFaceMap& m : FaceTable)
      if (AsciiEqualsIgnoreCase(m.Name, name)) {
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
  if (Glyphs.size() >= MaxGlyphs || CacheBytes > MaxGlyphBytes) {
    Glyphs.clear();
    CacheBytes = 0;
  }
  TGlyph g;
  if (c < 0x20 || c == 0x7F) {
    // Control characters take no room and leave no ink.
  } else if (Face) {
    FT_Activate_Size(Size);
    const FT_UInt index = FT_Get_Char_Index(Face, c);
    if (!index) {
      g = BoxGlyph(c);
      CacheBytes += g.Coverage.size() + sizeof(TGlyph);
      return Glyphs.emplace(c, std::move(g)).first->second;
    }
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
  CacheBytes += g.Coverage.size() + sizeof(TGlyph);
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

std::unique_lock<std::recursive_mutex> LockFonts() { return std::unique_lock<std::recursive_mutex>(Engine().Lock); }

TFontObject* Font(const void* h) { return gdi::As<TFontObject>(h, TGdiKind::Font); }

TFontObject* SelectedFont(const HDC__* d) {
  if (TFontObject* f = Font(d->Font)) return f;
  return Font(gdi::StockFont(SYSTEM_FONT));
}

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

BOOL GetTextMetricsA(HDC hdc, TEXTMETRICA* tm) {
  auto lock = text::LockFonts();
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
  auto lock = text::LockFonts();
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

namespace text {
void SetFontFilesEnabled(bool enabled) {
  TEngine& e = Engine();
  std::lock_guard<std::recursive_mutex> g(e.Lock);
  e.UseFiles = enabled;
  e.Resolved.clear();
}
}  // namespace text

}  // namespace win
