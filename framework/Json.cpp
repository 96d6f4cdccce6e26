#include "framework/Json.h"

#include <cstdio>

namespace vorra {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
std::size_t Utf8SequenceLength(const std::string& s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n;
  unsigned min;
  unsigned cp;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) { n = 2; min = 0x80; cp = c & 0x1F; }
  else if ((c & 0xF0) == 0xE0) { n = 3; min = 0x800; cp = c & 0x0F; }
  else if ((c & 0xF8) == 0xF0) { n = 4; min = 0x10000; cp = c & 0x07; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t n = Utf8SequenceLength(text, i);
      if (n == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text, i, n);
        i += n;
      }
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + '"';
}

TJsonObject& TJsonObject::Raw(const std::string& key, const std::string& json) {
  if (text_.size() > 1) text_ += ',';
  text_ += JsonQuote(key) + ':' + json;
  return *this;
}

TJsonObject& TJsonObject::Add(const std::string& key, const std::string& value) {
  return Raw(key, JsonQuote(value));
}
TJsonObject& TJsonObject::Add(const std::string& key, const char* value) {
  return value ? Raw(key, JsonQuote(value)) : AddNull(key);
}
TJsonObject& TJsonObject::Add(const std::string& key, bool value) {
  return Raw(key, value ? "true" : "false");
}
TJsonObject& TJsonObject::AddNull(const std::string& key) { return Raw(key, "null"); }

}  // namespace vorra
