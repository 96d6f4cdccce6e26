// Just enough JSON to print one object per line from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

namespace vorra {

// A JSON string literal, quotes included. Bytes that are not valid UTF-8
// become U+FFFD, so the output is always valid JSON.
std::string JsonQuote(const std::string& text);

// Builds {"key":value,...} in insertion order.
class TJsonObject {
 public:
  TJsonObject& Add(const std::string& key, const std::string& value);
  TJsonObject& Add(const std::string& key, const char* value);
  template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, bool>)
  TJsonObject& Add(const std::string& key, T value) {
    return Raw(key, std::to_string(value));
  }
  TJsonObject& Add(const std::string& key, bool value);
  TJsonObject& AddNull(const std::string& key);
  template <typename T>
  TJsonObject& Add(const std::string& key, const std::optional<T>& value) {
    return value ? Add(key, *value) : AddNull(key);
  }
  std::string Text() const { return text_ + '}'; }

 private:
  TJsonObject& Raw(const std::string& key, const std::string& json);
  std::string text_ = "{";
};

}  // namespace vorra
