// What the file downloads and the browser's page fetches do alike with curl.
#pragma once

#include <curl/curl.h>

#include <string>

#include "platform/win/Types.h"

namespace win {

// S_OK for CURLE_OK whatever the status; a write error maps to
// ERROR_WRITE_FAULT, which callers that know better answer themselves.
HRESULT HResultFromCurl(CURLcode code, long status, bool redirected);

// The hosts that never go through a proxy: loopback, then the user's
// no_proxy / NO_PROXY list ("*" alone switches proxies off).
std::string NoProxyList();

}  // namespace win
