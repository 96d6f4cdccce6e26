// The character set of a page and its decoding to UTF-8, apart from the
// document so that it can be fuzzed: a page's bytes and its Content-Type are
// outside input.
#pragma once

#include <cstddef>
#include <string>

namespace win::html {

// The charset parameter of a Content-Type value ("text/html; charset=utf-8");
// empty when there is none.
std::string CharsetFromContentType(const std::string& contentType);

// The charset that a <meta charset> or <meta http-equiv="Content-Type"
// content="...charset=..."> names within the first 1024 bytes; empty when none.
std::string PrescanMetaCharset(const char* data, std::size_t size);

// The encoding name iconv knows for a charset label ("latin1" is
// "WINDOWS-1252", "utf8" is "UTF-8"), or empty when the label names nothing
// usable. Labels are matched ignoring case and surrounding spaces.
std::string EncodingForLabel(const std::string& label);

// The page's encoding: a byte-order mark first (it cannot be wrong about the
// bytes that follow it), then the Content-Type's charset, then a meta charset
// in the first 1024 bytes (a UTF-16 name there means UTF-8: a meta readable as
// ASCII cannot be UTF-16), else WINDOWS-1252. bomLength receives the length
// of the byte-order mark to skip (0 when none was used). useMeta false skips
// the meta declaration (DLCTL_NO_METACHARSET).
std::string DetectEncoding(const std::string& bytes, const std::string& contentType, std::size_t* bomLength,
                           bool useMeta = true);

// The bytes decoded from the encoding to UTF-8. Bytes that do not decode
// become U+FFFD each; an encoding iconv cannot open is read as WINDOWS-1252.
std::string DecodeToUtf8(const char* data, std::size_t size, const std::string& encoding);

// Detects and decodes in one step.
std::string PageTextToUtf8(const std::string& bytes, const std::string& contentType,
                           std::string* encoding = nullptr, bool useMeta = true);

}  // namespace win::html
