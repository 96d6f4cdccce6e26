#include "framework/SysUtils.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win/Ascii.h"

namespace vorra {

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    out.assign(buf.data(), static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string SysErrorMessage(int error) {
  char buf[256];
  // The GNU strerror_r answers a pointer that need not be buf.
  const char* text = strerror_r(error, buf, sizeof buf);
  return text ? text : "";
}

int CompareStr(const std::string& a, const std::string& b) {
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

namespace {
bool Blank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

int CompareText(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(win::AsciiToUpper(a[i]));
    const auto y = static_cast<unsigned char>(win::AsciiToUpper(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string TrimLeft(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && Blank(s[i])) ++i;
  return s.substr(i);
}

std::string TrimRight(const std::string& s) {
  std::size_t n = s.size();
  while (n > 0 && Blank(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string Trim(const std::string& s) { return TrimLeft(TrimRight(s)); }

std::string AnsiQuotedStr(const std::string& s, char quote) {
  std::string out(1, quote);
  for (char c : s) {
    out += c;
    if (c == quote) out += c;
  }
  out += quote;
  return out;
}

std::string AnsiExtractQuotedStr(const std::string& s, std::size_t& pos, char quote) {
  if (pos >= s.size() || s[pos] != quote) return {};
  std::string out;
  std::size_t i = pos + 1;
  while (i < s.size()) {
    if (s[i] == quote) {
      if (i + 1 < s.size() && s[i + 1] == quote) {
        out += quote;
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    out += s[i++];
  }
  pos = i;
  return out;
}

std::string ExtractFilePath(const std::string& name) {
  const auto p = name.rfind('/');
  return p == std::string::npos ? std::string() : name.substr(0, p + 1);
}

std::string ExtractFileName(const std::string& name) {
  const auto p = name.rfind('/');
  return p == std::string::npos ? name : name.substr(p + 1);
}

std::string ExtractFileExt(const std::string& name) {
  const auto p = name.find_last_of("./");
  if (p == std::string::npos || name[p] != '.') return {};
  return name.substr(p);
}

std::string ChangeFileExt(const std::string& name, const std::string& ext) {
  const auto p = name.find_last_of("./");
  if (p == std::string::npos || name[p] != '.') return name + ext;
  return name.substr(0, p) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + '/';
}

std::string ExcludeTrailingPathDelimiter(const std::string& path) {
  if (path.size() > 1 && path.back() == '/') return path.substr(0, path.size() - 1);
  return path;
}

bool FileExists(const std::string& name) {
  struct stat st;
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& name) {
  struct stat st;
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace vorra
