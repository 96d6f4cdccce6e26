// Fetching a page into memory for the browser control: on the transfer engine
// that file downloads use (platform/net/Transfer.h: http, https, file and
// plain local paths; connections reused; the calling thread's message pump
// runs while it waits), but with request headers, a size cap,
// a time limit for the whole transfer, the response's Content-Type, and an
// offline mode that answers from the URL cache only. Pages fetched over http
// and https are recorded in the URL cache, as the browser does, which is
// where the offline mode finds them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/win/Types.h"

namespace win::net {

struct TPageRequest {
  // http or https address, file:// address, or a local path.
  std::string Address;
  // Extra request headers, each "Name: value".
  std::vector<std::string> Headers;
  // A longer body fails with HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE).
  std::size_t MaxBytes = 64u << 20;
  // The whole transfer, connection included; INET_E_CONNECTION_TIMEOUT after it.
  long TimeoutMs = 60000;
  // Answer only from the URL cache (local files are read as usual).
  bool CacheOnly = false;
  // Asked while the transfer waits; true ends it with E_ABORT.
  std::function<bool()> Cancelled;
  // Bytes received so far and the announced length (0: unknown).
  std::function<void(ULONGLONG received, ULONGLONG total)> OnProgress;
};

struct TPageResponse {
  std::string Body;
  // The Content-Type header as sent ("text/html; charset=utf-8"); empty when none.
  std::string ContentType;
  // The address after redirects.
  std::string Url;
  long Status = 0;
  bool FromCache = false;
};

// S_OK, or the URL moniker errors of URLDownloadToFileA (INET_E_OBJECT_NOT_FOUND
// for 404, INET_E_CANNOT_CONNECT, INET_E_REDIRECT_FAILED for too many
// redirects...), INET_E_DATA_NOT_AVAILABLE when offline and not cached,
// HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE) past MaxBytes, E_ABORT when cancelled.
HRESULT FetchPage(const TPageRequest& request, TPageResponse& response);


}  // namespace win::net
