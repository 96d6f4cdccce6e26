// The one curl transfer engine under the file downloads and the page fetches:
// curl's global set-up, the calling thread's curl state (one multi handle
// whose connection cache outlives each transfer, and easy handles kept for
// reuse), the options every transfer shares, the content decoding, and the
// wait loop with its deadlines, cancel and the message pump
// (platform/win/MessagePump.h).
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/Types.h"

namespace win {

// S_OK for CURLE_OK whatever the status; a write error maps to
// ERROR_WRITE_FAULT, which callers that know better answer themselves.
HRESULT HResultFromCurl(CURLcode code, long status, bool redirected);

// The hosts that never go through a proxy: loopback, then the user's
// no_proxy / NO_PROXY list ("*" alone switches proxies off).
std::string NoProxyList();

namespace net {

// The value of a header in a header block (the last one of that name wins,
// blanks around it cut); empty when absent.
std::string HeaderValue(const std::string& headers, const char* name);

struct TTransferOptions {
  // An escaped address with its scheme.
  std::string Url;
  // The schemes the address may use; redirects go to http and https only.
  std::string Protocols = "http,https,ftp,file";
  // Extra request headers, each one "Name: value" line.
  std::vector<std::string> Headers;
  // The whole transfer, connection included; 0: no limit.
  long TimeoutMs = 0;
  // No byte (of a header or the body) for this long ends the transfer; 0: no limit.
  long StallTimeoutMs = 0;
  // Asked every round of the wait loop, and at least every 100 ms while it
  // waits; true ends the transfer with E_ABORT.
  std::function<bool()> Cancelled;
  // The decoded body as it arrives, from inside curl. A failure ends the
  // transfer, and Run answers it.
  std::function<HRESULT(const char* data, std::size_t size)> OnBody;
  // Runs every round of the wait loop, outside curl (so it may start another
  // transfer); false ends the transfer with E_ABORT.
  std::function<bool()> OnRound;
};

// One transfer on the calling thread's curl state.
class TTransfer {
 public:
  explicit TTransfer(TTransferOptions options);
  ~TTransfer();
  TTransfer(const TTransfer&) = delete;
  TTransfer& operator=(const TTransfer&) = delete;

  // Runs the transfer to its end. S_OK, or: what OnBody failed with; E_ABORT
  // when cancelled; INET_E_CONNECTION_TIMEOUT past a deadline; the mapping of
  // HResultFromCurl; INET_E_REDIRECT_FAILED for an http answer outside 2xx
  // that was not followed; INET_E_DOWNLOAD_FAILURE for a content encoding
  // that cannot be decoded or did not reach its end; E_OUTOFMEMORY when no
  // curl handle can be had. Once only.
  HRESULT Run();

  // What the transfer saw so far (valid from the first OnRound on).
  CURL* Easy() const;
  // The header block of the latest response (the ftp dialogue for ftp).
  const std::string& Headers() const;
  bool BodyStarted() const;
  // Whether curl saw the transfer through (status and decoding aside).
  bool CurlFinished() const;
  // Decoded body bytes handed to OnBody.
  ULONGLONG Received() const;
  // The announced length of the body as sent (encoded); -1 when unknown.
  long long ContentLength() const;
  long Status() const;
  std::string ContentType() const;
  // The address after redirects.
  std::string EffectiveUrl() const;
  long RedirectCount() const;
  // Whether the final answer came over http or https, or from a local file.
  bool OverHttp() const;
  bool FromLocalFile() const;
  // The server's time of the file (seconds since 1970); -1 when unknown.
  long long FileTime() const;

  struct TState;

 private:
  std::unique_ptr<TState> s_;
};

}  // namespace net
}  // namespace win
