#include "platform/html/PageAddress.h"

#include <vector>

#include "platform/win/Ascii.h"

namespace win::html {

namespace {

// "." and ".." segments of a path removed; never climbs above its root.
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  const bool rooted = !path.empty() && path[0] == '/';
  if (rooted) pos = 1;
  bool trailing = false;
  while (pos <= path.size()) {
    std::size_t end = path.find('/', pos);
    if (end == std::string::npos) end = path.size();
    const std::string segment = path.substr(pos, end - pos);
    trailing = segment == "." || segment == "..";
    if (segment == "..") {
      if (!out.empty()) out.pop_back();
    } else if (segment != ".") {
      out.push_back(segment);
    }
    pos = end + 1;
  }
  if (trailing) out.emplace_back();
  std::string result = rooted ? "/" : "";
  for (std::size_t i = 0; i < out.size(); ++i) result += (i ? "/" : "") + out[i];
  return result;
}

}  // namespace

std::size_t AddressSchemeLength(const std::string& text) {
  if (text.empty() || !IsAsciiAlpha(text[0])) return 0;
  std::size_t i = 1;
  while (i < text.size() && (IsAsciiAlnum(text[i]) || text[i] == '+' || text[i] == '-' || text[i] == '.')) ++i;
  return i >= 2 && i < text.size() && text[i] == ':' ? i + 1 : 0;
}

std::string ResolvePageAddress(const std::string& base, const std::string& src) {
  // Blanks around and line breaks or tabs inside an attribute value are not part of it.
  std::string value;
  for (char c : AsciiTrim(src))
    if (c != '\t' && c != '\n' && c != '\r') value.push_back(c);
  if (AddressSchemeLength(value) > 0) return value;

  // base = scheme ":" ["//" authority] path [?query] [#fragment]
  const std::size_t scheme = AddressSchemeLength(base);
  std::size_t pathStart = scheme;
  if (base.compare(scheme, 2, "//") == 0 && scheme > 0) {
    pathStart = base.find_first_of("/?#", scheme + 2);
    if (pathStart == std::string::npos) pathStart = base.size();
  }
  const std::string origin = base.substr(0, pathStart);
  std::size_t pathEnd = base.find_first_of("?#", pathStart);
  if (pathEnd == std::string::npos) pathEnd = base.size();
  const std::string path = base.substr(pathStart, pathEnd - pathStart);

  if (value.rfind("//", 0) == 0) return scheme > 0 ? base.substr(0, scheme) + value : value;
  if (value.empty()) return base.substr(0, base.find('#'));
  if (value[0] == '#') return base.substr(0, base.find('#')) + value;
  if (value[0] == '?') return origin + path + value;

  std::size_t tail = value.find_first_of("?#");
  if (tail == std::string::npos) tail = value.size();
  std::string merged;
  if (value[0] == '/') {
    merged = value.substr(0, tail);
  } else {
    const std::size_t slash = path.rfind('/');
    merged = (slash == std::string::npos ? (origin.size() > scheme ? "/" : "") : path.substr(0, slash + 1)) +
             value.substr(0, tail);
  }
  return origin + RemoveDotSegments(merged) + value.substr(tail);
}

}  // namespace win::html
