// The URL moniker download service: DownloadToFile, and URLDownloadToFileA on
// it, over the transfer engine (platform/net/Transfer.h): http, https, ftp,
// file and plain local paths. The call blocks the calling thread but runs its
// window-message pump (platform/win/MessagePump.h) while it waits, records
// every successful transfer from a server in the URL cache, and never
// replaces a file that is already there.
#pragma once

#include <functional>
#include <string>

#include "platform/win/Types.h"

namespace win {

// The status codes that OnProgress reports, with their Windows values.
inline constexpr ULONG BINDSTATUS_CONNECTING = 2;
inline constexpr ULONG BINDSTATUS_REDIRECTING = 3;
inline constexpr ULONG BINDSTATUS_BEGINDOWNLOADDATA = 4;
inline constexpr ULONG BINDSTATUS_DOWNLOADINGDATA = 5;
inline constexpr ULONG BINDSTATUS_ENDDOWNLOADDATA = 6;
inline constexpr ULONG BINDSTATUS_MIMETYPEAVAILABLE = 13;
inline constexpr ULONG BINDSTATUS_CACHEFILENAMEAVAILABLE = 14;

// The progress callback of a download. COM does not exist yet, so this is a
// plain abstract class with the one method the download calls, not an
// IUnknown-derived interface; the status text is 8-bit (UTF-8), not 16-bit.
// Returning E_ABORT cancels the transfer (except from ENDDOWNLOADDATA, when
// the file is already in place); other results are ignored.
class IBindStatusCallback {
 public:
  virtual ~IBindStatusCallback() = default;
  virtual HRESULT OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCSTR szStatusText) = 0;
};

struct TDownloadOptions {
  IBindStatusCallback* Callback = nullptr;
  // The whole transfer, connection included; 0: no limit beyond the stall rule.
  long TimeoutMs = 0;
  // Asked at least every 100 ms while the transfer waits, data or not; true ends it with E_ABORT.
  std::function<bool()> Cancelled;
  // The target name is taken when the file is placed: answers the next name to try (the
  // program passes NumberedFileName). Empty: refuse with HRESULT_FROM_WIN32(ERROR_FILE_EXISTS).
  std::function<std::string(const std::string&)> NextName;
};

struct TDownloadResult {
  HRESULT Result = S_OK;
  std::string File;         // where the file was placed (empty on failure)
  long Status = 0;          // the last HTTP/FTP response code, 0 when none
  std::string ContentType;  // as the server sent it
  ULONGLONG Bytes = 0;
};

// Downloads url into a new file named target. url is an http, https, ftp or
// file address, or a local path. Redirects are followed (http and https
// only, at most TDownloadSettings::MaxRedirects). The file is written beside
// the target as an unnamed file (a hidden named one where the file system
// cannot make those) and is linked into place only when the whole transfer
// succeeded; the link fails on a name that exists (even one that appeared
// while the transfer ran), and then NextName is asked for the next name (a
// bounded number of times) or the call refuses. Nothing that exists is ever
// replaced, and a failure leaves no partial file. While the transfer waits,
// the calling thread's message pump runs (several times a second). Result is
// S_OK or:
// - INET_E_INVALID_URL for an address curl cannot parse (or with control
//   characters), INET_E_UNKNOWN_PROTOCOL for another scheme;
// - INET_E_RESOURCE_NOT_FOUND when the host name does not resolve;
// - INET_E_OBJECT_NOT_FOUND when the server answers 404 or 410, the ftp file
//   or the local file does not exist;
// - E_ACCESSDENIED for HTTP 401, 403, 407 and refused ftp logins or files;
// - INET_E_CANNOT_CONNECT, INET_E_CONNECTION_TIMEOUT (no connection within
//   the connect timeout, no byte within the stall timeout, or the whole
//   transfer past TimeoutMs);
// - INET_E_REDIRECT_FAILED for too many redirects, a redirect to a scheme
//   other than http/https, or a 3xx answer without a usable Location;
// - INET_E_SECURITY_PROBLEM for TLS failures (certificates are verified);
// - INET_E_DATA_NOT_AVAILABLE when the server closed without answering;
// - INET_E_DOWNLOAD_FAILURE for other HTTP errors (>= 400), broken
//   transfers (a body cut short, a compressed body whose stream did not
//   end, an encoding other than gzip or deflate), and local sources that are
//   not regular files (folders, devices, pipes);
// - E_ABORT when the callback or Cancelled cancelled;
// - HRESULT_FROM_WIN32 of ERROR_FILE_EXISTS when every name tried was taken;
// - HRESULT_FROM_WIN32 of ERROR_PATH_NOT_FOUND (target folder missing),
//   ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT (read-only file system),
//   ERROR_DISK_FULL, ERROR_FILE_TOO_LARGE, ERROR_FILENAME_EXCED_RANGE or
//   ERROR_WRITE_FAULT when the target cannot be written (ACCESS_DENIED too
//   when the target is a folder and there is no NextName);
// - E_INVALIDARG for an empty target.
// Local sources are never recorded in the URL cache. A failure to record the
// transfer does not fail the download: the user's file is what counts.
TDownloadResult DownloadToFile(const std::string& url, const std::string& target,
                               const TDownloadOptions& options = {});

// DownloadToFile(szURL, szFileName) with lpfnCB as the callback, no time
// limit and no next name: an existing szFileName is never replaced
// (HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)). E_INVALIDARG for a null address
// or file name, or an empty file name. pCaller and dwReserved are not used.
HRESULT URLDownloadToFileA(void* pCaller, LPCSTR szURL, LPCSTR szFileName, DWORD dwReserved,
                           IBindStatusCallback* lpfnCB);

// Process-wide knobs of the downloads and page fetches; tests shorten the timeouts.
struct TDownloadSettings {
  long ConnectTimeoutMs = 30000;
  // A download that receives no byte for this long is given up (a page
  // fetch has its own limit for the whole transfer).
  long StallTimeoutMs = 60000;
  long MaxRedirects = 10;
  // Certificate authorities for https; empty: the system's bundle.
  std::string CaInfo;
  std::string UserAgent = "Mozilla/5.0 (X11; Linux) Vorra/0.1";
};

TDownloadSettings GetDownloadSettings();
void SetDownloadSettings(const TDownloadSettings& settings);

}  // namespace win
