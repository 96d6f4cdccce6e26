#include "platform/ui/Text.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/GdiInternal.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace win {
namespace {

constexpr std::uint32_t White = 0x00FFFFFF;

// A white memory DC on a top-down DIB section, freed at scope end.
struct TSurface {
  TSurface(int w, int h) : W(w), H(h) {
    BITMAPINFO bi{};
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    Bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&Bits), nullptr, 0);
    Dc = CreateCompatibleDC(nullptr);
    Old = SelectObject(Dc, Bmp);
    Clear();
    SetBkMode(Dc, TRANSPARENT);
  }
  ~TSurface() {
    SelectObject(Dc, Old);
    DeleteDC(Dc);
    DeleteObject(Bmp);
  }
  void Clear(std::uint32_t v = White) { std::fill(Bits, Bits + W * H, v); }
  std::uint32_t At(int x, int y) const { return Bits[y * W + x]; }
  // The bounding box of every pixel that differs from the background.
  RECT Ink(std::uint32_t background = White) const {
    RECT r{W, H, 0, 0};
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (At(x, y) != background) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r.left < r.right ? r : RECT{};
  }
  bool HasInk() const { return Ink().right > 0; }
  int W, H;
  std::uint32_t* Bits = nullptr;
  HBITMAP Bmp;
  HDC Dc;
  HGDIOBJ Old;
};

// A font selected into a DC for the length of a scope.
struct TFont {
  TFont(HDC dc, const char* face, int height, int weight = FW_NORMAL, bool italic = false, bool underline = false)
      : Dc(dc) {
    Font = CreateFontA(height, 0, 0, 0, weight, italic, underline, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face);
    Old = SelectObject(dc, Font);
  }
  ~TFont() {
    SelectObject(Dc, Old);
    DeleteObject(Font);
  }
  HDC Dc;
  HFONT Font;
  HGDIOBJ Old;
};

SIZE Extent(HDC dc, const std::string& s) {
  SIZE sz{};
  EXPECT_TRUE(GetTextExtentPoint32A(dc, s.data(), static_cast<int>(s.size()), &sz));
  return sz;
}

TEXTMETRICA Metrics(HDC dc) {
  TEXTMETRICA tm{};
  EXPECT_TRUE(GetTextMetricsA(dc, &tm));
  return tm;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

TEST(TextTest, ExtentsGrowWithLengthSizeAndWeight) {
  TSurface s(10, 10);
  const std::string label = "Save Flash";
  LONG small, large, normal, bold;
  {
    TFont f(s.Dc, "MS Sans Serif", -11);
    const SIZE a = Extent(s.Dc, "Save"), b = Extent(s.Dc, label);
    EXPECT_GT(a.cx, 0);
    EXPECT_GT(b.cx, a.cx);
    EXPECT_EQ(a.cy, b.cy);
    EXPECT_EQ(Metrics(s.Dc).tmHeight, b.cy);
    // Widths add up: no kerning, integer advances.
    EXPECT_EQ(Extent(s.Dc, "Save").cx + Extent(s.Dc, " Flash").cx, b.cx);
    small = b.cx;
    normal = b.cx;
    EXPECT_EQ(0, Extent(s.Dc, "").cx);
    EXPECT_EQ(b.cy, Extent(s.Dc, "").cy);
  }
  {
    TFont f(s.Dc, "MS Sans Serif", -22);
    large = Extent(s.Dc, label).cx;
  }
  {
    TFont f(s.Dc, "MS Sans Serif", -11, FW_BOLD);
    bold = Extent(s.Dc, label).cx;
    EXPECT_EQ(FW_BOLD, Metrics(s.Dc).tmWeight);
  }
  EXPECT_GT(large, small * 3 / 2);
  EXPECT_GT(bold, normal);
}

TEST(TextTest, HeightsFollowTheWindowsConventions) {
  TSurface s(10, 10);
  for (int pt : {8, 10, 14}) {
    const int em = MulDiv(pt, 96, 72);
    TFont f(s.Dc, "Tahoma", -em);
    const TEXTMETRICA tm = Metrics(s.Dc);
    // Negative: the character height, without the internal leading.
    EXPECT_EQ(em, tm.tmHeight - tm.tmInternalLeading) << pt;
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
  }
  for (int cell : {13, 16, 24}) {
    TFont f(s.Dc, "Arial", cell);
    // Positive: the cell height, as near as whole pixels allow.
    EXPECT_NEAR(cell, Metrics(s.Dc).tmHeight, 1) << cell;
  }
  EXPECT_EQ(11, MulDiv(8, 96, 72));
  EXPECT_EQ(-3, MulDiv(-5, 3, 5));
  EXPECT_EQ(-1, MulDiv(1, 1, 0));
  TFont def(s.Dc, "Arial", 0);
  EXPECT_GT(Metrics(s.Dc).tmHeight, 0);
}

TEST(TextTest, SameTextMeasuresTheSameInTwoFontObjects) {
  TSurface s(10, 10);
  const std::string text = "Download the movie at http://example.com/a.swf";
  SIZE first, second;
  {
    TFont f(s.Dc, "Arial", -12);
    first = Extent(s.Dc, text);
  }
  {
    TFont f(s.Dc, "arial", -12);  // face names ignore case
    second = Extent(s.Dc, text);
  }
  EXPECT_EQ(first.cx, second.cx);
  EXPECT_EQ(first.cy, second.cy);
}

// Measures in a fresh process, with FreeType tweaks in its environment that
// would change widths if they were honoured.
std::string MeasureLine(HDC dc) {
  std::ostringstream out;
  for (const char* face : {"MS Sans Serif", "Tahoma", "Arial", "Times New Roman", "Courier New"}) {
    TFont f(dc, face, -11);
    const SIZE a = Extent(dc, "The quick brown fox jumps over the lazy dog 0123456789");
    const TEXTMETRICA tm = Metrics(dc);
    out << face << ' ' << a.cx << 'x' << a.cy << ' ' << tm.tmAscent << ' ' << tm.tmAveCharWidth << '\n';
  }
  return out.str();
}

TEST(TextTest, ChildMeasurement) {
  const char* out = std::getenv("VORRA_TEXT_MEASURE_OUT");
  if (!out) GTEST_SKIP() << "run by MeasurementIsStableAcrossProcesses";
  TSurface s(10, 10);
  vorra::test::WriteText(out, MeasureLine(s.Dc));
}

TEST(TextTest, MeasurementIsStableAcrossProcesses) {
  vorra::test::TTempDir dir;
  vorra::test::TScopedEnv home("VORRA_HOME", dir.Path().string());
  const std::string file = dir / "measure.txt";
  std::vector<std::string> env = {"VORRA_TEXT_MEASURE_OUT=" + file,
                                  "FREETYPE_PROPERTIES=truetype:interpreter-version=35 autofitter:no-stem-darkening=0",
                                  "VORRA_HOME=" + dir.Path().string()};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "FREETYPE_PROPERTIES=", 20) && std::strncmp(*e, "VORRA_", 6)) env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = "/proc/self/exe", filter = "--gtest_filter=TextTest.ChildMeasurement";
  char* argv[] = {self.data(), filter.data(), nullptr};
  pid_t pid;
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawn(&pid, self.c_str(), &quiet, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&quiet);
  ASSERT_EQ(0, spawned);
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  TSurface s(10, 10);
  EXPECT_EQ(MeasureLine(s.Dc), vorra::test::ReadText(file));
  // And twice in this process: the caches hold nothing that changes a width.
  EXPECT_EQ(MeasureLine(s.Dc), MeasureLine(s.Dc));
}

TEST(TextTest, WordBreakWrapsWithinTheWidthAndReportsTheHeight) {
  TSurface s(200, 200);
  TFont f(s.Dc, "MS Sans Serif", -11);
  const int lineHeight = Metrics(s.Dc).tmHeight;
  const char* text = "A longer label that must wrap across several lines within its box";
  RECT rc{10, 20, 110, 20};
  const int h = DrawTextA(s.Dc, text, -1, &rc, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_EQ(h, rc.bottom - rc.top);
  EXPECT_GT(h, 2 * lineHeight);
  EXPECT_EQ(0, h % lineHeight);
  EXPECT_LE(rc.right - rc.left, 100);
  EXPECT_GT(rc.right - rc.left, 50);
  EXPECT_EQ(10, rc.left);
  EXPECT_FALSE(s.HasInk());  // measuring draws nothing
  // Drawn in the measured rectangle, all ink stays inside it (no clipping needed).
  EXPECT_EQ(h, DrawTextA(s.Dc, text, -1, &rc, DT_WORDBREAK | DT_NOCLIP));
  EXPECT_TRUE(Inside(s.Ink(), rc));
  EXPECT_GT(s.Ink().bottom - s.Ink().top, h - lineHeight);

  // Hard line ends count; a final one opens no empty line.
  RECT two{0, 0, 500, 0};
  EXPECT_EQ(2 * lineHeight, DrawTextA(s.Dc, "one\r\ntwo\n", -1, &two, DT_CALCRECT));
  EXPECT_EQ(3 * lineHeight, DrawTextA(s.Dc, "one\n\ntwo", -1, &two, DT_CALCRECT));
  // A word wider than the line stays whole, and widens the measured rectangle...
  RECT narrow{0, 0, 10, 0};
  DrawTextA(s.Dc, "Unbreakable", -1, &narrow, DT_WORDBREAK | DT_CALCRECT);
  EXPECT_EQ(Extent(s.Dc, "Unbreakable").cx, narrow.right);
  EXPECT_EQ(lineHeight, narrow.bottom);
  // ...unless edit-control breaking splits it between characters.
  RECT split{0, 0, 20, 0};
  DrawTextA(s.Dc, "Unbreakable", -1, &split, DT_WORDBREAK | DT_EDITCONTROL | DT_CALCRECT);
  EXPECT_LE(split.right, 20);
  EXPECT_GT(split.bottom, 2 * lineHeight);
  // Single-line measuring of the same text.
  RECT one{5, 5, 6, 6};
  EXPECT_EQ(lineHeight, DrawTextA(s.Dc, text, -1, &one, DT_SINGLELINE | DT_CALCRECT));
  EXPECT_EQ(5 + Extent(s.Dc, text).cx, one.right);
}

TEST(TextTest, EllipsesFitTheRectangle) {
  TSurface s(300, 60);
  TFont f(s.Dc, "MS Sans Serif", -11);
  const std::string text = "A caption far too long to fit the narrow title bar of the window";
  const RECT box{10, 10, 110, 30};
  for (UINT kind : {DT_END_ELLIPSIS, DT_WORD_ELLIPSIS, DT_PATH_ELLIPSIS}) {
    RECT calc = box;
    DrawTextA(s.Dc, text.c_str(), -1, &calc, DT_SINGLELINE | DT_CALCRECT | kind);
    EXPECT_LE(calc.right, box.right) << kind;
    EXPECT_GT(calc.right, box.left + 50) << kind;
    s.Clear();
    RECT rc = box;
    DrawTextA(s.Dc, text.c_str(), -1, &rc, DT_SINGLELINE | DT_NOCLIP | kind);
    EXPECT_TRUE(Inside(s.Ink(), box)) << kind;
  }
  // A path keeps its file name and loses the middle; the buffer says what was drawn.
  char path[128] = "/home/user/Flash Files/some/deep/folder/movie[1].swf";
  const std::string original = path;
  RECT rc = box;
  DrawTextExA(s.Dc, path, -1, &rc, DT_SINGLELINE | DT_PATH_ELLIPSIS | DT_MODIFYSTRING, nullptr);
  const std::string shown = path;
  EXPECT_NE(original, shown);
  EXPECT_NE(std::string::npos, shown.find("..."));
  EXPECT_EQ("/movie[1].swf", shown.substr(shown.size() - 13));
  EXPECT_EQ(original.substr(0, 2), shown.substr(0, 2));
  EXPECT_LE(Extent(s.Dc, shown).cx, box.right - box.left);
  // A text that fits is left alone, buffer included.
  char fits[16] = "Short";
  rc = box;
  DrawTextExA(s.Dc, fits, -1, &rc, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING, nullptr);
  EXPECT_STREQ("Short", fits);
  // End ellipsis writes back the kept head and the dots.
  char end[128];
  std::strcpy(end, text.c_str());
  rc = box;
  DrawTextExA(s.Dc, end, -1, &rc, DT_SINGLELINE | DT_END_ELLIPSIS | DT_MODIFYSTRING, nullptr);
  const std::string e = end;
  ASSERT_GE(e.size(), 4u);
  EXPECT_EQ("...", e.substr(e.size() - 3));
  EXPECT_EQ(text.substr(0, e.size() - 3), e.substr(0, e.size() - 3));
}

TEST(TextTest, PrefixesMarkAcceleratorsAndDoubleAmpersandsAreLiteral) {
  TSurface s(200, 40);
  TFont f(s.Dc, "MS Sans Serif", -11);
  const TEXTMETRICA tm = Metrics(s.Dc);
  const auto width = [&](const char* text, UINT flags) {
    RECT rc{0, 0, 1000, 0};
    DrawTextA(s.Dc, text, -1, &rc, flags | DT_SINGLELINE | DT_CALCRECT);
    return rc.right;
  };
  EXPECT_EQ(Extent(s.Dc, "Save").cx, width("&Save", 0));
  EXPECT_EQ(Extent(s.Dc, "A&B").cx, width("A&&B", 0));
  EXPECT_EQ(Extent(s.Dc, "&Save").cx, width("&Save", DT_NOPREFIX));
  EXPECT_EQ(Extent(s.Dc, "Save&").cx, width("Save&", 0));  // a final '&' stays
  EXPECT_EQ(Extent(s.Dc, "Save").cx, width("&Save", DT_HIDEPREFIX));
  // The accelerator is underlined below the baseline under its letter only.
  const auto underline = [&](const char* text, UINT flags) {
    s.Clear();
    RECT rc{0, 0, 200, 40};
    DrawTextA(s.Dc, text, -1, &rc, flags | DT_SINGLELINE);
    int dark = 0;
    for (int y = tm.tmAscent + 1; y < tm.tmHeight; ++y)
      for (int x = 0; x < 200; ++x) dark += s.At(x, y) == 0;
    return dark;
  };
  const int sWidth = Extent(s.Dc, "S").cx;
  EXPECT_GE(underline("&Save", 0), sWidth);
  EXPECT_EQ(0, underline("&Save", DT_HIDEPREFIX));
  EXPECT_EQ(0, underline("Save", 0));
  // Only the underline with DT_PREFIXONLY.
  s.Clear();
  RECT rc{0, 0, 200, 40};
  DrawTextA(s.Dc, "&Save", -1, &rc, DT_SINGLELINE | DT_PREFIXONLY);
  const RECT ink = s.Ink();
  EXPECT_GT(ink.top, tm.tmAscent);
  EXPECT_EQ(sWidth, ink.right - ink.left);
}

TEST(TextTest, AlignmentFlagsPlaceTheText) {
  TSurface s(200, 100);
  TFont f(s.Dc, "Arial", -14);
  const TEXTMETRICA tm = Metrics(s.Dc);
  const RECT box{20, 10, 180, 90};
  const auto draw = [&](UINT flags) {
    s.Clear();
    RECT rc = box;
    const int h = DrawTextA(s.Dc, "Label", -1, &rc, flags | DT_SINGLELINE);
    const RECT ink = s.Ink();
    EXPECT_TRUE(Inside(ink, box));
    return std::make_pair(ink, h);
  };
  const LONG w = Extent(s.Dc, "Label").cx;
  const auto [left, hTop] = draw(DT_LEFT | DT_TOP);
  const auto [center, hCenter] = draw(DT_CENTER | DT_VCENTER);
  const auto [right, hBottom] = draw(DT_RIGHT | DT_BOTTOM);
  EXPECT_LE(std::abs(left.left - box.left), 2);
  EXPECT_LE(std::abs(box.right - right.right), 2);
  const LONG mid = (center.left + center.right) / 2;
  EXPECT_LE(std::abs(mid - (box.left + box.right) / 2), 2);
  EXPECT_LT(left.bottom, (box.top + box.bottom) / 2);
  EXPECT_GT(right.top, (box.top + box.bottom) / 2);
  EXPECT_LT(center.top, (box.top + box.bottom) / 2);
  EXPECT_GT(center.bottom, (box.top + box.bottom) / 2);
  // The return value reaches from the top of the rectangle to the text's bottom.
  EXPECT_EQ(tm.tmHeight, hTop);
  EXPECT_EQ(box.bottom - box.top, hBottom);
  EXPECT_EQ((box.bottom - box.top - tm.tmHeight) / 2 + tm.tmHeight, hCenter);
  EXPECT_EQ(right.right - right.left, left.right - left.left);
  EXPECT_LE(left.right - left.left, w + 1);

  // TextOut: the reference point is a corner or the baseline.
  s.Clear();
  SetTextAlign(s.Dc, TA_RIGHT | TA_BOTTOM);
  EXPECT_TRUE(TextOutA(s.Dc, 150, 60, "Label", 5));
  RECT ink = s.Ink();
  EXPECT_LE(ink.right, 150);
  EXPECT_GE(ink.right, 148);
  EXPECT_LE(ink.bottom, 60);
  s.Clear();
  SetTextAlign(s.Dc, TA_CENTER | TA_BASELINE);
  EXPECT_EQ(TA_CENTER | TA_BASELINE, GetTextAlign(s.Dc));
  EXPECT_TRUE(TextOutA(s.Dc, 100, 50, "Label", 5));
  ink = s.Ink();
  EXPECT_EQ(50, ink.bottom);  // no descenders in "Label"
  EXPECT_LE(std::abs((ink.left + ink.right) / 2 - 100), 2);
  // The current position moves along with TA_UPDATECP.
  SetTextAlign(s.Dc, TA_UPDATECP);
  MoveToEx(s.Dc, 10, 10, nullptr);
  TextOutA(s.Dc, 0, 0, "ab", 2);
  POINT pt{};
  GetCurrentPositionEx(s.Dc, &pt);
  EXPECT_EQ(10 + Extent(s.Dc, "ab").cx, pt.x);
}

TEST(TextTest, TextStaysInsideTheClipAndFollowsTheOrigins) {
  TSurface s(200, 60);
  TFont f(s.Dc, "Arial", -20);
  IntersectClipRect(s.Dc, 30, 0, 60, 60);
  TextOutA(s.Dc, 10, 10, "WWWWWWWW", 8);
  const RECT ink = s.Ink();
  ASSERT_TRUE(s.HasInk());
  EXPECT_GE(ink.left, 30);
  EXPECT_LE(ink.right, 60);
  SelectClipRgn(s.Dc, nullptr);
  // ETO_CLIPPED clips to its rectangle; ETO_OPAQUE fills it.
  s.Clear();
  const RECT rc{20, 5, 50, 40};
  SetBkColor(s.Dc, RGB(0, 0, 255));
  ExtTextOutA(s.Dc, 10, 10, ETO_CLIPPED | ETO_OPAQUE, &rc, "WWWWWWWW", 8, nullptr);
  EXPECT_EQ(rc.left, s.Ink().left);
  EXPECT_TRUE(Inside(s.Ink(), rc));
  EXPECT_EQ(0x000000FFu, s.At(20, 5));
  // DrawText clips to its rectangle unless told not to.
  s.Clear();
  RECT small{0, 0, 30, 60};
  DrawTextA(s.Dc, "WWWWWWWW", -1, &small, DT_SINGLELINE);
  EXPECT_LE(s.Ink().right, 30);
  s.Clear();
  DrawTextA(s.Dc, "WWWWWWWW", -1, &small, DT_SINGLELINE | DT_NOCLIP);
  EXPECT_GT(s.Ink().right, 30);
  // Logical coordinates go through the window and viewport origins.
  s.Clear();
  TextOutA(s.Dc, 0, 0, "I", 1);
  const RECT at0 = s.Ink();
  s.Clear();
  SetViewportOrgEx(s.Dc, 50, 20, nullptr);
  SetWindowOrgEx(s.Dc, 10, 5, nullptr);
  TextOutA(s.Dc, 0, 0, "I", 1);
  const RECT moved = s.Ink();
  EXPECT_EQ(at0.left + 40, moved.left);
  EXPECT_EQ(at0.top + 15, moved.top);
}

TEST(TextTest, TransparentAndOpaqueBackgroundsAntialiasedInkAlphaZero) {
  TSurface s(100, 30);
  TFont f(s.Dc, "Arial", -16);
  EXPECT_EQ(TRANSPARENT, GetBkMode(s.Dc));
  SetTextColor(s.Dc, RGB(255, 0, 0));
  EXPECT_EQ(RGB(255, 0, 0), GetTextColor(s.Dc));
  s.Clear(0xFF00FF00);  // green, opaque alpha
  TextOutA(s.Dc, 0, 0, "Ox", 2);
  const SIZE ext = Extent(s.Dc, "Ox");
  int background = 0, solid = 0, blended = 0;
  for (int y = 0; y < ext.cy; ++y)
    for (int x = 0; x < ext.cx; ++x) {
      const std::uint32_t p = s.At(x, y);
      if (p == 0xFF00FF00u) {
        ++background;
        continue;
      }
      EXPECT_EQ(0u, p >> 24);  // drawn pixels carry alpha 0, as GDI writes
      if (p == 0x00FF0000u)
        ++solid;
      else
        ++blended;
      // Between text and background colours: red and green only.
      EXPECT_EQ(0u, p & 0xFF);
    }
  EXPECT_GT(background, 0);  // transparent: the background shows between strokes
  EXPECT_GT(solid, 0);
  EXPECT_GT(blended, 0);  // antialiased edges
  // Opaque: the whole text cell takes the background colour.
  EXPECT_EQ(TRANSPARENT, SetBkMode(s.Dc, OPAQUE));
  SetBkColor(s.Dc, RGB(0, 0, 255));
  EXPECT_EQ(RGB(0, 0, 255), GetBkColor(s.Dc));
  s.Clear(0xFF00FF00);
  TextOutA(s.Dc, 0, 0, "Ox", 2);
  for (int y = 0; y < ext.cy; ++y)
    for (int x = 0; x < ext.cx; ++x) EXPECT_EQ(0u, s.At(x, y) & 0xFF00FF00u) << x << ',' << y;
  EXPECT_EQ(0xFF00FF00u, s.At(ext.cx, 0));
  EXPECT_EQ(0, SetBkMode(s.Dc, 7));
}

TEST(TextTest, FontHandlesAreGdiObjects) {
  TSurface s(10, 10);
  LOGFONTA lf;
  lf.lfHeight = -13;
  lf.lfWeight = FW_BOLD;
  lf.lfItalic = 1;
  std::strcpy(lf.lfFaceName, "Tahoma");
  HFONT font = CreateFontIndirectA(&lf);
  ASSERT_NE(nullptr, font);
  LOGFONTA back;
  EXPECT_EQ(static_cast<int>(sizeof(LOGFONTA)), GetObject(font, 0, nullptr));
  ASSERT_EQ(static_cast<int>(sizeof back), GetObject(font, sizeof back, &back));
  EXPECT_EQ(-13, back.lfHeight);
  EXPECT_EQ(FW_BOLD, back.lfWeight);
  EXPECT_STREQ("Tahoma", back.lfFaceName);
  // A fresh DC holds the system font.
  HGDIOBJ old = SelectObject(s.Dc, font);
  EXPECT_EQ(GetStockObject(SYSTEM_FONT), old);
  char face[LF_FACESIZE];
  EXPECT_EQ(6, GetTextFaceA(s.Dc, sizeof face, face));
  EXPECT_STREQ("Tahoma", face);
  EXPECT_EQ(7, GetTextFaceA(s.Dc, 0, nullptr));
  EXPECT_EQ(3, GetTextFaceA(s.Dc, 4, face));
  EXPECT_STREQ("Tah", face);
  EXPECT_NE(0, Metrics(s.Dc).tmItalic);
  // Selected fonts cannot be deleted; stale handles are refused everywhere.
  EXPECT_FALSE(DeleteObject(font));
  EXPECT_EQ(font, SelectObject(s.Dc, old));
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_EQ(nullptr, SelectObject(s.Dc, font));
  EXPECT_EQ(0, GetObject(font, sizeof back, &back));
  EXPECT_FALSE(DeleteObject(font));
  EXPECT_FALSE(TextOutA(nullptr, 0, 0, "x", 1));
  EXPECT_FALSE(GetTextExtentPoint32A(reinterpret_cast<HDC>(font), "x", 1, nullptr));
  EXPECT_EQ(nullptr, CreateFontIndirectA(nullptr));
  // Stock fonts survive DeleteObject and are the same object every time.
  for (int which : {DEFAULT_GUI_FONT, SYSTEM_FONT, ANSI_VAR_FONT, ANSI_FIXED_FONT}) {
    HGDIOBJ stock = GetStockObject(which);
    ASSERT_NE(nullptr, stock) << which;
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(stock, GetStockObject(which));
    EXPECT_NE(nullptr, SelectObject(s.Dc, stock));
    EXPECT_GT(Extent(s.Dc, "x").cx, 0);
  }
  SelectObject(s.Dc, GetStockObject(DEFAULT_GUI_FONT));
  LOGFONTA gui;
  GetObject(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
  EXPECT_EQ(-11, gui.lfHeight);
  EXPECT_EQ(gui.lfHeight, -(Metrics(s.Dc).tmHeight - Metrics(s.Dc).tmInternalLeading));
  // A fixed font is fixed: all characters as wide.
  SelectObject(s.Dc, GetStockObject(ANSI_FIXED_FONT));
  EXPECT_EQ(Extent(s.Dc, "iiii").cx, Extent(s.Dc, "WWWW").cx);
  EXPECT_EQ(0, Metrics(s.Dc).tmPitchAndFamily & 1);
}

TEST(TextTest, UnknownFacesStillDraw) {
  TSurface s(200, 30);
  TFont f(s.Dc, "Qzxv Nonexistent Face 7", -12);
  EXPECT_TRUE(TextOutA(s.Dc, 0, 0, "Hello", 5));
  EXPECT_TRUE(s.HasInk());
  EXPECT_GT(Extent(s.Dc, "Hello").cx, 10);
  // It reports the face that draws it.
  char face[LF_FACESIZE] = {};
  GetTextFaceA(s.Dc, sizeof face, face);
  EXPECT_STRNE("Qzxv Nonexistent Face 7", face);
  EXPECT_STRNE("", face);
}

TEST(TextTest, WithoutAnyFaceFileTextDrawsAsBoxes) {
  TSurface s(200, 30);
  text::SetFontFilesEnabled(false);
  {
    TFont f(s.Dc, "Arial", -12);
    const SIZE a = Extent(s.Dc, "Hi"), b = Extent(s.Dc, "Hello");
    EXPECT_GT(a.cx, 0);
    EXPECT_GT(b.cx, a.cx);
    EXPECT_GT(a.cy, 0);
    EXPECT_TRUE(TextOutA(s.Dc, 0, 0, "Hello", 5));
    EXPECT_TRUE(s.HasInk());
    RECT rc{0, 0, 30, 0};
    EXPECT_GT(DrawTextA(s.Dc, "Some words to wrap", -1, &rc, DT_WORDBREAK | DT_CALCRECT), a.cy);
  }
  text::SetFontFilesEnabled(true);
}

TEST(TextTest, EmptyLongAndBrokenStrings) {
  TSurface s(300, 40);
  TFont f(s.Dc, "MS Sans Serif", -11);
  EXPECT_TRUE(TextOutA(s.Dc, 0, 0, "", 0));
  EXPECT_TRUE(TextOutA(s.Dc, 0, 0, nullptr, 0));
  EXPECT_FALSE(TextOutA(s.Dc, 0, 0, "abc", -1));
  EXPECT_FALSE(s.HasInk());
  RECT rc{0, 0, 100, 20};
  EXPECT_EQ(0, DrawTextA(s.Dc, "", -1, &rc, DT_WORDBREAK | DT_CALCRECT));
  EXPECT_EQ(0, rc.bottom);
  EXPECT_EQ(0, DrawTextA(s.Dc, "abc", -1, nullptr, 0));
  // A very long string: measured and drawn without overflow.
  const std::string longText(200000, 'W');
  const SIZE big = Extent(s.Dc, longText);
  EXPECT_EQ(200000LL * Extent(s.Dc, "W").cx, big.cx);
  RECT wide{0, 0, 300, 40};
  EXPECT_GT(DrawTextA(s.Dc, longText.c_str(), -1, &wide, DT_SINGLELINE | DT_END_ELLIPSIS), 0);
  EXPECT_TRUE(Inside(s.Ink(), wide));
  std::string words;
  for (int i = 0; i < 5000; ++i) words += "word ";
  RECT wrap{0, 0, 300, 0};
  EXPECT_GT(DrawTextA(s.Dc, words.c_str(), -1, &wrap, DT_WORDBREAK | DT_CALCRECT), 100 * Metrics(s.Dc).tmHeight);
  // Broken UTF-8: one replacement glyph per bad byte, never a crash.
  s.Clear();
  const char bad[] = "a\xFF\xC3(\xE2\x82z\xF0\x9F\x98";
  const SIZE b = Extent(s.Dc, bad);
  EXPECT_GT(b.cx, Extent(s.Dc, "a(z").cx + 3 * 2);
  EXPECT_TRUE(TextOutA(s.Dc, 0, 0, bad, static_cast<int>(sizeof bad - 1)));
  EXPECT_GT(s.Ink().right - s.Ink().left, Extent(s.Dc, "a(z").cx);
  // Valid multi-byte text measures by characters, not bytes.
  EXPECT_EQ(Extent(s.Dc, "\xC3\xA9").cx, Extent(s.Dc, "\xC3\xA9\xC3\xA9").cx / 2);
  for (int n = 0; n < 8; ++n) {  // every truncation of a sequence
    SIZE t{};
    EXPECT_TRUE(GetTextExtentPoint32A(s.Dc, "\xF0\x9F\x98\x80\xE2\x82\xAC", n, &t));
  }
}

TEST(TextTest, TabsExpandOnlyWhenAsked) {
  TSurface s(300, 30);
  TFont f(s.Dc, "MS Sans Serif", -11);
  const int ave = Metrics(s.Dc).tmAveCharWidth;
  RECT rc{0, 0, 300, 0};
  DrawTextA(s.Dc, "a\tb", -1, &rc, DT_SINGLELINE | DT_CALCRECT | DT_EXPANDTABS);
  EXPECT_EQ(8 * ave + Extent(s.Dc, "b").cx, rc.right);
  // DT_TABSTOP's length sits in bits 8 to 15, where it hides other flags
  // (3 << 8 would be DT_NOCLIP | DT_EXTERNALLEADING): draw and look.
  rc = RECT{0, 0, 300, 30};
  DrawTextA(s.Dc, "\tb", -1, &rc, DT_SINGLELINE | DT_EXPANDTABS | DT_TABSTOP | (3 << 8));
  EXPECT_GE(s.Ink().left, 3 * ave);
  EXPECT_LE(s.Ink().right, 3 * ave + Extent(s.Dc, "b").cx);
  EXPECT_LT(s.Ink().right, 8 * ave);
  s.Clear();
  rc = RECT{0, 0, 300, 30};
  DrawTextA(s.Dc, "\tb", -1, &rc, DT_SINGLELINE);  // unexpanded tabs take no room
  EXPECT_LT(s.Ink().left, ave);
  DRAWTEXTPARAMS p;
  p.iTabLength = 2;
  p.iLeftMargin = 5;
  p.iRightMargin = 7;
  char text[] = "a\tb";
  rc = RECT{0, 0, 300, 0};
  DrawTextExA(s.Dc, text, -1, &rc, DT_SINGLELINE | DT_CALCRECT | DT_EXPANDTABS, &p);
  EXPECT_EQ(5 + 2 * ave + Extent(s.Dc, "b").cx + 7, rc.right);
  EXPECT_EQ(3u, p.uiLengthDrawn);
  p.cbSize = 3;
  EXPECT_EQ(0, DrawTextExA(s.Dc, text, -1, &rc, DT_SINGLELINE, &p));
}

TEST(TextTest, UnderlineAndStrikeOutDrawLines) {
  TSurface s(100, 30);
  const auto inkRows = [&](bool underline) {
    s.Clear();
    TFont f(s.Dc, "Arial", -16, FW_NORMAL, false, underline);
    TextOutA(s.Dc, 0, 0, "ooo", 3);
    return s.Ink();
  };
  const RECT plain = inkRows(false), under = inkRows(true);
  EXPECT_GT(under.bottom, plain.bottom);
  EXPECT_LE(under.left, plain.left);
}

}  // namespace
}  // namespace win
