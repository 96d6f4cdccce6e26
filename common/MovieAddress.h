// Movie-address helpers shared by the program and the extension. All of them
// are pure text functions: every input gives some output, possibly empty.
#pragma once

#include <string>
#include <utility>

#include "platform/win/Ascii.h"

namespace vorra {

// The folder delimiter of file paths on this host.
inline constexpr char PathDelim = '/';

// An empty folder stays empty; otherwise the host delimiter is appended unless present.
std::string AddTrailingBackslash(const std::string& folder);

// The file name an address ends in; a query is cut off first.
std::string UrlFileName(const std::string& address);

// The base folder of an address, ending with its separator. A web address
// with nothing behind its host (http://site) is taken as http://site/; its
// query and fragment are not part of its folder.
std::string UrlBase(const std::string& address);

// The absolute address of a movie value found on a page whose base is `base`.
// A protocol-relative value ("//host/x.swf") takes the base's scheme.
std::string ResolveMovieUrl(const std::string& value, const std::string& base);

// The double-quoted value of the MOVIE parameter inside an OBJECT element's markup.
std::string MovieParamValue(const std::string& markup);

// Length of "scheme://" when the text starts with one, else 0.
std::size_t SchemePrefixLength(const std::string& text);

// An address as a browser takes it from an attribute: surrounding blanks
// stripped, tabs and line breaks inside removed.
std::string AttributeAddress(const std::string& value);

// A file:// address or a bare path (no "scheme:" in front; "C:" is a drive).
bool IsLocalAddress(const std::string& address);

// Whether a movie address taken from the page at pageUrl may be fetched:
// http, https and ftp always, anything else only when the page itself is a
// local file. An unknown (empty) page is no local page.
bool MayFetchFromPage(const std::string& address, const std::string& pageUrl);

// "ANSI" casing is ASCII casing here (8-bit text is UTF-8).
inline std::string AnsiUpperCase(std::string text) { return win::AsciiUpperCase(std::move(text)); }
inline std::string AnsiLowerCase(std::string text) { return win::AsciiLowerCase(std::move(text)); }

}  // namespace vorra
