#include "framework/Json.h"

#include <cstdio>

#include "platform/win/Utf8.h"

namespace vorra {

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t n = win::Utf8SequenceLength(text, i);
      if (n == 0) {
        out += win::ReplacementUtf8;
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
