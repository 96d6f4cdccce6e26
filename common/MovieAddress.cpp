#include "common/MovieAddress.h"

namespace vorra {

namespace {

constexpr const char* UrlDelims = "/\\:";

using win::IsAsciiAlpha;
using win::IsAsciiDigit;

// A web address with a host but no path ("http://site", "http://site?q") gains
// the "/" that closes its host, so its base is the site root and not "http://".
std::string CompleteHostOnly(const std::string& address) {
  const std::size_t scheme = SchemePrefixLength(address);
  if (scheme == 0) return address;
  const std::size_t end = address.find_first_of("/?#", scheme);
  if (end == scheme || (end == std::string::npos && address.size() == scheme)) return address;
  if (end == std::string::npos) return address + '/';
  if (address[end] == '/') return address;
  return address.substr(0, end) + '/' + address.substr(end);
}

// Length of the part of a base folder that "../" may not climb out of:
// "scheme://host/", "X:\" or a leading delimiter. 0 when none is known.
std::size_t RootLength(const std::string& base) {
  const std::size_t scheme = SchemePrefixLength(base);
  if (scheme > 0) {
    const std::size_t slash = base.find('/', scheme);
    return slash == std::string::npos ? base.size() : slash + 1;
  }
  if (base.size() >= 3 && IsAsciiAlpha(base[0]) && base[1] == ':' && (base[2] == '\\' || base[2] == '/'))
    return 3;
  if (!base.empty() && (base[0] == '/' || base[0] == '\\')) return 1;
  return 0;
}

// The lower-case scheme of an address ("http" for "HTTP://x", "about" for
// "about:blank"), or empty; a single letter before ":" is a drive.
std::string SchemeOf(const std::string& address) {
  if (address.empty() || !IsAsciiAlpha(address[0])) return {};
  std::size_t i = 1;
  while (i < address.size() && (IsAsciiAlpha(address[i]) || IsAsciiDigit(address[i]) || address[i] == '+' ||
                                address[i] == '-' || address[i] == '.'))
    ++i;
  if (i < 2 || i >= address.size() || address[i] != ':') return {};
  return win::AsciiLowerCase(address.substr(0, i));
}

// The part of a web address before its query or fragment; paths have neither.
std::string WithoutQuery(const std::string& address) {
  if (SchemePrefixLength(address) == 0) return address;
  return address.substr(0, address.find_first_of("?#"));
}

}  // namespace

std::string AttributeAddress(const std::string& value) {
  std::string out;
  for (char c : win::AsciiTrim(value))
    if (c != '\t' && c != '\n' && c != '\r') out.push_back(c);
  return out;
}

bool IsLocalAddress(const std::string& address) {
  const std::string scheme = SchemeOf(address);
  return scheme.empty() || scheme == "file";
}

bool MayFetchFromPage(const std::string& address, const std::string& pageUrl) {
  const std::string scheme = SchemeOf(address);
  if (scheme == "http" || scheme == "https" || scheme == "ftp") return true;
  return !pageUrl.empty() && IsLocalAddress(pageUrl);
}

std::size_t SchemePrefixLength(const std::string& text) {
  if (text.empty() || !IsAsciiAlpha(text[0])) return 0;
  std::size_t i = 1;
  while (i < text.size() && (IsAsciiAlpha(text[i]) || IsAsciiDigit(text[i]) || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.'))
    ++i;
  if (text.compare(i, 3, "://") != 0) return 0;
  return i + 3;
}

std::string AddTrailingBackslash(const std::string& folder) {
  if (folder.empty() || folder.back() == PathDelim) return folder;
  return folder + PathDelim;
}

std::string UrlFileName(const std::string& address) {
  const std::string kept = address.substr(0, address.find('?'));
  const std::size_t sep = kept.find_last_of(UrlDelims);
  return sep == std::string::npos ? kept : kept.substr(sep + 1);
}

std::string UrlBase(const std::string& address) {
  const std::string a = WithoutQuery(CompleteHostOnly(address));
  const std::size_t sep = a.find_last_of(UrlDelims);
  if (sep == std::string::npos) return {};
  if (a[sep] == '\\' || a[sep] == ':') {
    const std::size_t slash = a.rfind('/');
    if ((slash != std::string::npos && sep == slash + 1) || (slash == std::string::npos && sep == 0))
      return a;
  }
  return a.substr(0, sep + 1);
}

std::string ResolveMovieUrl(const std::string& value, const std::string& base) {
  if (value.size() < 2) return value;

  // Any "scheme://" value is absolute, not only http (https pages, archives).
  if (SchemePrefixLength(value) > 0) return value;

  if (value.compare(0, 2, "//") == 0) {
    if (const std::size_t scheme = SchemePrefixLength(base); scheme > 0) return base.substr(0, scheme - 2) + value;
  }

  if (value[0] == '/') {
    // The site root ends at the first "/" behind the base's own "://"; a base
    // without one is searched from its eighth character, as for "http://".
    const std::size_t scheme = SchemePrefixLength(base);
    const std::size_t from = scheme > 0 ? scheme : 7;
    if (base.size() < 8) return value;
    const std::size_t slash = base.find('/', from);
    if (slash == std::string::npos) return value;
    return base.substr(0, slash) + value;
  }

  if (value.compare(0, 3, "../") == 0) {
    const std::size_t root = RootLength(base);
    std::string folder = base;
    std::string rest = value;
    while (rest.compare(0, 3, "../") == 0) {
      if (folder.size() > root) {
        folder.pop_back();
        folder = UrlBase(folder);
        if (folder.size() < root) folder = base.substr(0, root);
      }
      rest.erase(0, 3);
    }
    return folder + rest;
  }

  return base + value;
}

std::string MovieParamValue(const std::string& markup) {
  const std::size_t at = AnsiUpperCase(markup).find("NAME=\"MOVIE\"");
  if (at == std::string::npos) return {};
  std::string text = markup.substr(at);
  const std::size_t value = AnsiUpperCase(text).find("VALUE=");
  if (value != std::string::npos) text.erase(0, value);
  const std::size_t open = text.find('"');
  if (open == std::string::npos) return {};
  const std::size_t close = text.find('"', open + 1);
  if (close == std::string::npos) return {};
  return text.substr(open + 1, close - open - 1);
}

}  // namespace vorra
