#include "platform/ui/Png.h"

#include <cstdint>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace win {
namespace {

using vorra::test::TScopedEnv;
using vorra::test::TTempDir;

HBITMAP Dib(int w, int h, std::uint32_t** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(bits), nullptr, 0);
}

TEST(PngTest, RoundTripWithAndWithoutAlphaAndAreas) {
  TTempDir dir;
  TScopedEnv home("VORRA_HOME", dir.Path().string());
  std::uint32_t* bits = nullptr;
  HBITMAP b = Dib(5, 3, &bits);
  for (int i = 0; i < 15; ++i) bits[i] = 0x10203040u * static_cast<std::uint32_t>(i + 1) ^ 0x00ABCDEFu;
  const std::string withAlpha = (dir.Path() / "a.png").string(), opaque = (dir.Path() / "b.png").string();
  ASSERT_TRUE(SavePng(withAlpha, b, nullptr, true));
  HBITMAP back = LoadPng(withAlpha);
  ASSERT_NE(nullptr, back);
  BITMAP bm{};
  GetObject(back, sizeof bm, &bm);
  ASSERT_EQ(5, bm.bmWidth);
  ASSERT_EQ(3, bm.bmHeight);
  const auto* got = static_cast<const std::uint32_t*>(bm.bmBits);
  for (int i = 0; i < 15; ++i) ASSERT_EQ(bits[i], got[i]) << i;
  DeleteObject(back);
  // An area of a DC's surface, written without alpha, reads back opaque.
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, b);
  RECT area{3, 1, 9, 9};
  ASSERT_TRUE(SavePng(opaque, dc, &area));
  back = LoadPng(opaque);
  ASSERT_NE(nullptr, back);
  GetObject(back, sizeof bm, &bm);
  ASSERT_EQ(2, bm.bmWidth);
  ASSERT_EQ(2, bm.bmHeight);
  got = static_cast<const std::uint32_t*>(bm.bmBits);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) ASSERT_EQ(bits[(y + 1) * 5 + x + 3] | 0xFF000000u, got[y * 2 + x]);
  DeleteObject(back);
  RECT outside{10, 10, 20, 20};
  EXPECT_FALSE(SavePng(opaque, dc, &outside));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(b);
  // Not a PNG, a truncated PNG, a missing file.
  const std::string junk = (dir.Path() / "junk.png").string();
  std::ofstream(junk) << "not a picture";
  EXPECT_EQ(nullptr, LoadPng(junk));
  std::ifstream in(withAlpha, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::ofstream(junk, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
  EXPECT_EQ(nullptr, LoadPng(junk));
  EXPECT_EQ(nullptr, LoadPng((dir.Path() / "none.png").string()));
  EXPECT_FALSE(SavePng((dir.Path() / "no" / "dir.png").string(), static_cast<HBITMAP>(nullptr)));
}

}  // namespace
}  // namespace win
