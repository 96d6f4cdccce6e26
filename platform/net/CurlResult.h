// What a finished curl transfer means as a URL moniker result, shared by
// the file downloads and the browser's page fetches.
#pragma once

#include <curl/curl.h>

#include "platform/win/Types.h"

namespace win {

// S_OK for CURLE_OK whatever the status; a write error maps to
// ERROR_WRITE_FAULT, which callers that know better answer themselves.
HRESULT HResultFromCurl(CURLcode code, long status, bool redirected);

}  // namespace win
