#include "platform/net/DownloadText.h"

#include <curl/curl.h>

#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/win/Ascii.h"

namespace win::net {

namespace {

const char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char c) {
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

}  // namespace

bool IsUrlAddress(const std::string& s) {
  if (AsciiStartsWithIgnoreCase(s, "http:") || AsciiStartsWithIgnoreCase(s, "https:") ||
      AsciiStartsWithIgnoreCase(s, "ftp:") || AsciiStartsWithIgnoreCase(s, "file:"))
    return true;
  if (s.empty() || !IsAsciiAlpha(s[0])) return false;
  std::size_t i = 1;
  while (i < s.size() && (IsAsciiAlnum(s[i]) || s[i] == '+' || s[i] == '-' || s[i] == '.')) ++i;
  return s.compare(i, 3, "://") == 0;
}

bool EscapeUrl(const std::string& in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (unsigned char c : in) {
    if (c < 0x20 || c == 0x7F) return false;
    if (c == ' ' || c >= 0x80) AppendEscaped(out, c);
    else out += static_cast<char>(c);
  }
  return true;
}

std::string FileUrl(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path abs = std::filesystem::absolute(path, ec);
  const std::string p = ec ? path : abs.string();
  std::string url = "file://";
  for (unsigned char c : p) {
    if (IsAsciiAlnum(static_cast<char>(c)) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~')
      url += static_cast<char>(c);
    else AppendEscaped(url, c);
  }
  return url;
}

std::string UrlExtension(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  const std::size_t slash = path.find_last_of("/\\:");
  if (slash != std::string::npos) path.erase(0, slash + 1);
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return {};
  std::string ext = path.substr(dot + 1);
  if (ext.empty() || ext.size() > 16) return {};
  for (char c : ext)
    if (!IsAsciiAlnum(c)) return {};
  return ext;
}

bool IsRedirectStatusLine(const char* line, std::size_t size) {
  if (size < 5 || std::memcmp(line, "HTTP/", 5) != 0) return false;
  const char* sp = static_cast<const char*>(std::memchr(line, ' ', size));
  return sp && sp + 1 < line + size && sp[1] == '3';
}

long long HeaderTime(const std::string& headers, const char* name) {
  const std::size_t nameLength = std::strlen(name);
  long long result = 0;
  for (std::size_t pos = 0; pos < headers.size();) {
    std::size_t eol = headers.find('\n', pos);
    if (eol == std::string::npos) eol = headers.size();
    if (eol - pos > nameLength && AsciiStartsWithIgnoreCase(std::string_view(headers).substr(pos), name) &&
        headers[pos + nameLength] == ':') {
      std::string value = headers.substr(pos + nameLength + 1, eol - pos - nameLength - 1);
      if (!value.empty() && value.back() == '\r') value.pop_back();
      // curl_getdate stops at a zero byte; such a value is no date.
      const time_t when = value.find('\0') == std::string::npos ? curl_getdate(value.c_str(), nullptr) : -1;
      result = when > 0 ? when : 0;
    }
    pos = eol + 1;
  }
  return result;
}

}  // namespace win::net
