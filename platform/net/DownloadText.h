// The text handling of downloads, apart so it can be fuzzed: addresses that
// pages hand over, and response headers that servers send.
#pragma once

#include <cstddef>
#include <string>

namespace win::net {

// True when the text is an address with a scheme (http:, https:, ftp:, file:,
// or any "scheme://"); anything else names a local file.
bool IsUrlAddress(const std::string& text);

// The address with spaces and 8-bit bytes %-escaped, as browsers send them;
// false when it holds other control characters.
bool EscapeUrl(const std::string& address, std::string& url);

// A file:// address for a local path (made absolute), every byte but the
// unreserved ones and "/" %-escaped.
std::string FileUrl(const std::string& path);

// The extension of the address's file name, without the dot, query and
// fragment; empty when there is none or it is not a short plain word.
std::string UrlExtension(const std::string& url);

// Whether a header line is an HTTP status line with a 3xx code.
bool IsRedirectStatusLine(const char* line, std::size_t size);

// The time (seconds since 1970) in the last header of that name ("Expires")
// in a response's header block; 0 when missing or unreadable.
long long HeaderTime(const std::string& headers, const char* name);

}  // namespace win::net
