// UTF-8, strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
// A byte that does not start a valid sequence stands for U+FFFD on its own,
// so decoding always moves forward and never reads past the end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace win {

inline constexpr char32_t ReplacementChar = 0xFFFD;
inline constexpr std::string_view ReplacementUtf8 = "\xEF\xBF\xBD";

// Length of the valid sequence at text[i] (1 for ASCII), or 0 when none starts there.
constexpr std::size_t Utf8SequenceLength(std::string_view text, std::size_t i, char32_t* codePoint = nullptr) {
  if (i >= text.size()) return 0;
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    if (codePoint) *codePoint = c;
    return 1;
  }
  std::size_t len;
  char32_t cp, min;
  if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F, min = 0x80;
  else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F, min = 0x800;
  else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07, min = 0x10000;
  else return 0;
  if (len > text.size() - i) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (codePoint) *codePoint = cp;
  return len;
}

// The code point at text[i] and how many bytes it took (at least 1 while i < size).
struct TUtf8Char {
  char32_t CodePoint;
  std::size_t Length;
  bool Valid;
};
constexpr TUtf8Char DecodeUtf8At(std::string_view text, std::size_t i) {
  char32_t cp = 0;
  const std::size_t len = Utf8SequenceLength(text, i, &cp);
  if (len == 0) return {ReplacementChar, 1, false};
  return {cp, len, true};
}

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = ReplacementChar;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Every invalid byte replaced by U+FFFD; valid text comes back unchanged.
// Valid runs are copied whole: pages are mostly ASCII and can be large.
inline std::string CleanUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t run = 0;  // first valid byte not yet copied
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    if (const std::size_t len = Utf8SequenceLength(text, i)) {
      i += len;
      continue;
    }
    out.append(text.substr(run, i - run));
    out += ReplacementUtf8;
    run = ++i;
  }
  out.append(text.substr(run));
  return out;
}

// At most max bytes, cut at a character boundary.
inline std::string CutUtf8(std::string text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t n = max;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  text.resize(n);
  return text;
}

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(const char16_t* text, std::size_t length);
inline std::string Utf16ToUtf8(const std::u16string& text) { return Utf16ToUtf8(text.data(), text.size()); }

}  // namespace win
