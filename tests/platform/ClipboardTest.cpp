#include "platform/ui/Clipboard.h"

#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace win {
namespace {

HGLOBAL TextBlock(const std::string& text) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  char* p = static_cast<char*>(GlobalLock(h));
  std::memcpy(p, text.c_str(), text.size() + 1);
  GlobalUnlock(h);
  return h;
}

std::string ReadClipboardText() {
  HANDLE h = GetClipboardData(CF_TEXT);
  if (!h) return "<none>";
  const char* p = static_cast<const char*>(GlobalLock(h));
  std::string s = p ? std::string(p, strnlen(p, GlobalSize(h))) : "<unlocked>";
  GlobalUnlock(h);
  return s;
}

TEST(ClipboardTest, TextRoundTrip) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  HGLOBAL h = TextBlock("http://example.com/movie.swf \xC3\xA9");
  EXPECT_EQ(h, SetClipboardData(CF_TEXT, h));
  // The block is the clipboard's now: the caller cannot free it.
  EXPECT_EQ(h, GlobalFree(h));
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
  // Reading needs the clipboard open.
  EXPECT_EQ(nullptr, GetClipboardData(CF_TEXT));
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_EQ("http://example.com/movie.swf \xC3\xA9", ReadClipboardText());
  EXPECT_EQ(nullptr, GetClipboardData(CF_UNICODETEXT));
  // Replacing the text frees the old block.
  HGLOBAL second = TextBlock("second");
  EXPECT_EQ(second, SetClipboardData(CF_TEXT, second));
  EXPECT_EQ(0u, GlobalSize(h));
  EXPECT_EQ(nullptr, GlobalLock(h));
  EXPECT_EQ("second", ReadClipboardText());
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ("<none>", ReadClipboardText());
  EXPECT_EQ(0u, GlobalSize(second));
  CloseClipboard();
}

TEST(ClipboardTest, OneOpenerAtATimeAndStaleBlocksRefused) {
  HWND a = reinterpret_cast<HWND>(0x10), b = reinterpret_cast<HWND>(0x20);
  ASSERT_TRUE(OpenClipboard(a));
  EXPECT_FALSE(OpenClipboard(b));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(a, GetClipboardOwner());
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(EmptyClipboard());  // not open
  HGLOBAL h = TextBlock("x");
  EXPECT_EQ(nullptr, SetClipboardData(CF_TEXT, h));  // not open
  EXPECT_EQ(nullptr, GlobalFree(h));
  EXPECT_EQ(h, GlobalFree(h));
  ASSERT_TRUE(OpenClipboard(b));
  EXPECT_EQ(nullptr, SetClipboardData(CF_TEXT, h));  // freed block
  int local = 0;
  EXPECT_EQ(nullptr, SetClipboardData(CF_TEXT, &local));  // not a block at all
  CloseClipboard();
  // Zeroed blocks, lock counts, unterminated text read only to the block's end.
  HGLOBAL z = GlobalAlloc(GHND, 4);
  char* p = static_cast<char*>(GlobalLock(z));
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(0, p[0] | p[1] | p[2] | p[3]);
  std::memcpy(p, "abcd", 4);
  EXPECT_EQ(p, GlobalLock(z));
  EXPECT_TRUE(GlobalUnlock(z));
  EXPECT_FALSE(GlobalUnlock(z));
  ASSERT_TRUE(OpenClipboard(nullptr));
  SetClipboardData(CF_TEXT, z);
  EXPECT_EQ("abcd", ReadClipboardText());
  EmptyClipboard();
  CloseClipboard();
}

TEST(ClipboardTest, BackendCarriesTheText) {
  std::optional<std::string> desktop;
  int puts = 0;
  SetClipboardBackend({[&] { return desktop; },
                       [&](const std::optional<std::string>& t) {
                         desktop = t;
                         ++puts;
                       }});
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  EXPECT_FALSE(desktop.has_value());
  SetClipboardData(CF_TEXT, TextBlock("to the desktop"));
  EXPECT_EQ("to the desktop", desktop.value_or(""));
  EXPECT_EQ(2, puts);
  // Another program copies: we read what the desktop holds.
  desktop = "from elsewhere";
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ("from elsewhere", ReadClipboardText());
  desktop.reset();
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ("<none>", ReadClipboardText());
  CloseClipboard();
  SetClipboardBackend({});
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  SetClipboardData(CF_TEXT, TextBlock("local"));
  EXPECT_EQ(2, puts);  // disconnected
  EXPECT_EQ("local", ReadClipboardText());
  EmptyClipboard();
  CloseClipboard();
}

}  // namespace
}  // namespace win
