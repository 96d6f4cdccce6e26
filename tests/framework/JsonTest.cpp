#include "framework/Json.h"

#include <gtest/gtest.h>

namespace vorra {
namespace {

TEST(JsonQuote, EscapesWhatJsonRequires) {
  EXPECT_EQ(JsonQuote("plain"), "\"plain\"");
  EXPECT_EQ(JsonQuote("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonQuote("tab\tnl\ncr\r"), "\"tab\\tnl\\ncr\\r\"");
  EXPECT_EQ(JsonQuote(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonQuote(std::string("nul\0x", 5)), "\"nul\\u0000x\"");
}

TEST(JsonQuote, KeepsValidUtf8AndReplacesInvalidBytes) {
  EXPECT_EQ(JsonQuote("Fläche €"), "\"Fläche €\"");
  EXPECT_EQ(JsonQuote("\xF0\x9F\x8E\xAC"), "\"\xF0\x9F\x8E\xAC\"");
  EXPECT_EQ(JsonQuote("a\xE4" "b"), "\"a\xEF\xBF\xBD" "b\"");          // Latin-1 ä
  EXPECT_EQ(JsonQuote("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");    // overlong "/"
  EXPECT_EQ(JsonQuote("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");  // surrogate
  EXPECT_EQ(JsonQuote("\xE2\x82"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");    // cut short
}

TEST(TJsonObject, KeepsKeyOrderAndTypes) {
  TJsonObject o;
  o.Add("file", "a.swf").Add("n", 5).Add("big", std::uint32_t{4000000000u}).Add("ok", true).AddNull("x");
  o.Add("maybe", std::optional<int>{}).Add("some", std::optional<std::string>{"y"});
  EXPECT_EQ(o.Text(), R"({"file":"a.swf","n":5,"big":4000000000,"ok":true,"x":null,"maybe":null,"some":"y"})");
  EXPECT_EQ(TJsonObject().Text(), "{}");
}

}  // namespace
}  // namespace vorra
