// Addresses that a page names (frames, scripts, base href), resolved as the
// browser resolves them against the page or its base.
#pragma once

#include <cstddef>
#include <string>

namespace win::html {

// Length of the "scheme:" in front of an address, 0 when there is none. One
// letter is no scheme (a drive letter).
std::size_t AddressSchemeLength(const std::string& text);

// ref against base: absolute, protocol-relative, rooted, query-only,
// fragment-only and relative forms, dot segments removed (never above the
// root). Blanks around ref and tabs or line breaks inside it are dropped. A
// base without a scheme (a local path) resolves relative paths within its folder.
std::string ResolvePageAddress(const std::string& base, const std::string& ref);

}  // namespace win::html
