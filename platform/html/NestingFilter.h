// Deep markup is bounded before it reaches the parser: start tags nested more
// than kMaxNesting deep are dropped (with their end tags), because the HTML5
// tree builder scans the stack of open elements for most start tags and
// needs quadratic time on deeply nested pages (100 000 nested DIVs: 16 s).
#pragma once

#include <string>

namespace win::html {

inline constexpr int kMaxNesting = 512;

// The text with start tags past kMaxNesting open elements (and their end
// tags) removed; false (out untouched) when nothing had to go.
bool LimitNesting(const std::string& text, std::string& out);

}  // namespace win::html
