// ASCII-only character classes and case mapping. 8-bit text is UTF-8 here,
// so "ANSI" casing touches the letters A-Z and a-z and leaves every other byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace win {

constexpr bool IsAsciiUpper(char c) { return c >= 'A' && c <= 'Z'; }
constexpr bool IsAsciiLower(char c) { return c >= 'a' && c <= 'z'; }
constexpr bool IsAsciiAlpha(char c) { return IsAsciiUpper(c) || IsAsciiLower(c); }
constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiAlnum(char c) { return IsAsciiAlpha(c) || IsAsciiDigit(c); }
// The blanks that HTML and HTTP strip: space, tab, line feed, form feed, carriage return.
constexpr bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

constexpr char AsciiToLower(char c) { return IsAsciiUpper(c) ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiToUpper(char c) { return IsAsciiLower(c) ? static_cast<char>(c - 'a' + 'A') : c; }

inline std::string AsciiLowerCase(std::string text) {
  for (char& c : text) c = AsciiToLower(c);
  return text;
}

inline std::string AsciiUpperCase(std::string text) {
  for (char& c : text) c = AsciiToUpper(c);
  return text;
}

constexpr bool AsciiEqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  return true;
}

constexpr bool AsciiStartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && AsciiEqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// <0, 0, >0 as strcmp, comparing ASCII letters without case.
constexpr int AsciiCompareIgnoreCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(AsciiToLower(a[i]));
    const auto y = static_cast<unsigned char>(AsciiToLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// Surrounding ASCII blanks removed.
constexpr std::string_view AsciiTrim(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace win
