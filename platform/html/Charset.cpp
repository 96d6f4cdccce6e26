#include "platform/html/Charset.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <cstring>

#include "platform/win/Ascii.h"
#include "platform/win/Utf8.h"

namespace win::html {

namespace {

std::string LowerTrim(const std::string& s) {
  return AsciiLowerCase(std::string(AsciiTrim(s)));
}

// Finds "charset" followed by optional spaces and "=" and reads the value
// (quoted or up to ; or space), as the algorithm for content attributes does.
std::string CharsetParameter(const std::string& text) {
  const std::string lower = AsciiLowerCase(text);
  std::size_t pos = 0;
  while ((pos = lower.find("charset", pos)) != std::string::npos) {
    std::size_t i = pos + 7;
    while (i < text.size() && IsAsciiSpace(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') {
      pos += 7;
      continue;
    }
    ++i;
    while (i < text.size() && IsAsciiSpace(text[i])) ++i;
    if (i >= text.size()) return {};
    if (text[i] == '"' || text[i] == '\'') {
      const char q = text[i];
      const std::size_t end = text.find(q, i + 1);
      if (end == std::string::npos) return {};
      return text.substr(i + 1, end - i - 1);
    }
    std::size_t end = i;
    while (end < text.size() && !IsAsciiSpace(text[end]) && text[end] != ';') ++end;
    return text.substr(i, end - i);
  }
  return {};
}

// One attribute of a tag in the prescan: name and value, lower-cased name.
bool NextAttribute(const char* p, std::size_t n, std::size_t& i, std::string& name, std::string& value) {
  name.clear();
  value.clear();
  while (i < n && (IsAsciiSpace(p[i]) || p[i] == '/')) ++i;
  if (i >= n || p[i] == '>') return false;
  while (i < n && !IsAsciiSpace(p[i]) && p[i] != '=' && p[i] != '>' && p[i] != '/') name.push_back(AsciiToLower(p[i++]));
  while (i < n && IsAsciiSpace(p[i])) ++i;
  if (i >= n || p[i] != '=') return true;
  ++i;
  while (i < n && IsAsciiSpace(p[i])) ++i;
  if (i >= n) return true;
  if (p[i] == '"' || p[i] == '\'') {
    const char q = p[i++];
    while (i < n && p[i] != q) value.push_back(p[i++]);
    if (i < n) ++i;
  } else {
    while (i < n && !IsAsciiSpace(p[i]) && p[i] != '>') value.push_back(p[i++]);
  }
  return true;
}

bool StartsNoCase(const char* p, std::size_t n, const char* word) {
  const std::size_t len = std::strlen(word);
  if (n < len) return false;
  for (std::size_t i = 0; i < len; ++i)
    if (AsciiToLower(p[i]) != word[i]) return false;
  return true;
}


}  // namespace

std::string CharsetFromContentType(const std::string& contentType) {
  const std::size_t semi = contentType.find(';');
  if (semi == std::string::npos) return {};
  return LowerTrim(CharsetParameter(contentType.substr(semi + 1)));
}

std::string PrescanMetaCharset(const char* data, std::size_t size) {
  const std::size_t n = std::min<std::size_t>(size, 1024);
  std::size_t i = 0;
  while (i < n) {
    if (data[i] != '<') {
      ++i;
      continue;
    }
    if (StartsNoCase(data + i, n - i, "<!--")) {
      const char* end = static_cast<const char*>(memmem(data + i + 4, n - i - 4, "-->", 3));
      if (!end) return {};
      i = static_cast<std::size_t>(end - data) + 3;
      continue;
    }
    if (StartsNoCase(data + i, n - i, "<meta") && i + 5 < n && (IsAsciiSpace(data[i + 5]) || data[i + 5] == '/')) {
      i += 5;
      std::string name, value, charset, content;
      bool httpEquivContentType = false;
      while (NextAttribute(data, n, i, name, value)) {
        if (name == "charset" && charset.empty()) charset = value;
        else if (name == "http-equiv") httpEquivContentType = LowerTrim(value) == "content-type";
        else if (name == "content" && content.empty()) content = value;
      }
      if (!charset.empty()) return LowerTrim(charset);
      if (httpEquivContentType && !content.empty()) {
        const std::string c = LowerTrim(CharsetParameter(content));
        if (!c.empty()) return c;
      }
      continue;
    }
    ++i;
  }
  return {};
}

std::string EncodingForLabel(const std::string& label) {
  const std::string l = LowerTrim(label);
  if (l.empty() || l.size() > 40) return {};
  for (char c : l)
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':'))
      return {};
  if (l == "utf-8" || l == "utf8" || l == "unicode-1-1-utf-8") return "UTF-8";
  if (l == "iso-8859-1" || l == "iso8859-1" || l == "latin1" || l == "l1" || l == "us-ascii" || l == "ascii" ||
      l == "windows-1252" || l == "cp1252" || l == "x-cp1252" || l == "iso_8859-1" || l == "cp819" ||
      l == "x-user-defined")
    return "WINDOWS-1252";
  if (l == "utf-16" || l == "utf-16le" || l == "unicode") return "UTF-16LE";
  if (l == "utf-16be") return "UTF-16BE";
  if (l == "gb2312" || l == "gbk" || l == "x-gbk") return "GBK";
  if (l == "shift_jis" || l == "sjis" || l == "x-sjis" || l == "ms_kanji") return "SHIFT_JIS";
  std::string upper = l;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  iconv_t cd = iconv_open("UTF-8", upper.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  iconv_close(cd);
  return upper;
}

std::string DetectEncoding(const std::string& bytes, const std::string& contentType, std::size_t* bomLength,
                           bool useMeta) {
  if (bomLength) *bomLength = 0;
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  auto bom = [&](std::size_t len, const char* encoding) {
    if (bomLength) *bomLength = len;
    return std::string(encoding);
  };
  if (bytes.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return bom(3, "UTF-8");
  if (bytes.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) return bom(2, "UTF-16LE");
  if (bytes.size() >= 2 && b[0] == 0xFE && b[1] == 0xFF) return bom(2, "UTF-16BE");
  if (std::string e = EncodingForLabel(CharsetFromContentType(contentType)); !e.empty()) return e;
  if (!useMeta) return "WINDOWS-1252";
  if (std::string e = EncodingForLabel(PrescanMetaCharset(bytes.data(), bytes.size())); !e.empty())
    return e.compare(0, 6, "UTF-16") == 0 ? "UTF-8" : e;
  return "WINDOWS-1252";
}

std::string DecodeToUtf8(const char* data, std::size_t size, const std::string& encoding) {
  if (encoding == "UTF-8") return CleanUtf8(std::string_view(data, size));
  // Plain ASCII reads the same in the common single-byte sets: no conversion.
  if ((encoding == "WINDOWS-1252" || encoding.compare(0, 9, "ISO-8859-") == 0) &&
      std::all_of(data, data + size, [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(data, size);
  iconv_t cd = iconv_open("UTF-8", encoding.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "WINDOWS-1252");
  if (cd == reinterpret_cast<iconv_t>(-1)) return CleanUtf8(std::string_view(data, size));
  std::string out;
  out.reserve(size + size / 2);
  char buffer[64 * 1024];
  char* in = const_cast<char*>(data);
  std::size_t inLeft = size;
  while (inLeft > 0) {
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (cut short at the end): one byte becomes U+FFFD.
    out.append(ReplacementUtf8);
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* o = buffer;
  std::size_t oLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(buffer, static_cast<std::size_t>(o - buffer));
  iconv_close(cd);
  // Some converters pass through what is not valid UTF-8 for us (surrogates).
  return CleanUtf8(std::string_view(out.data(), out.size()));
}

std::string PageTextToUtf8(const std::string& bytes, const std::string& contentType, std::string* encoding,
                           bool useMeta) {
  std::size_t bom = 0;
  const std::string e = DetectEncoding(bytes, contentType, &bom, useMeta);
  if (encoding) *encoding = e;
  return DecodeToUtf8(bytes.data() + bom, bytes.size() - bom, e);
}

}  // namespace win::html
