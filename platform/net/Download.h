// The URL moniker download service: URLDownloadToFileA over libcurl (http,
// https, ftp, file and plain local paths). The call blocks the calling thread
// but runs its window-message pump (platform/win/MessagePump.h) while it waits,
// and records every successful transfer in the URL cache.
#pragma once

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

// Downloads szURL into the file szFileName. szURL is an http, https, ftp or
// file address, or a local path. Redirects are followed (http and https
// only, at most TDownloadSettings::MaxRedirects). The file is written beside
// the target as an unnamed file (a hidden named one where the file system
// cannot make those) and takes the target's place only when the whole
// transfer succeeded: a failure leaves no partial file and an existing target
// as it was. While the transfer waits, the calling thread's message pump runs
// (several times a second). Answers S_OK or:
// - INET_E_INVALID_URL for an address curl cannot parse (or with control
//   characters), INET_E_UNKNOWN_PROTOCOL for another scheme;
// - INET_E_RESOURCE_NOT_FOUND when the host name does not resolve;
// - INET_E_OBJECT_NOT_FOUND when the server answers 404 or 410, the ftp file
//   or the local file does not exist;
// - E_ACCESSDENIED for HTTP 401, 403, 407 and refused ftp logins or files;
// - INET_E_CANNOT_CONNECT, INET_E_CONNECTION_TIMEOUT (no connection within
//   the connect timeout, or no byte within the stall timeout);
// - INET_E_REDIRECT_FAILED for too many redirects, a redirect to a scheme
//   other than http/https, or a 3xx answer without a usable Location;
// - INET_E_SECURITY_PROBLEM for TLS failures (certificates are verified);
// - INET_E_DATA_NOT_AVAILABLE when the server closed without answering;
// - INET_E_DOWNLOAD_FAILURE for other HTTP errors (>= 400), broken
//   transfers (a body cut short), and local sources that are not regular
//   files (folders, devices, pipes);
// - E_ABORT when the callback cancelled;
// - HRESULT_FROM_WIN32 of ERROR_PATH_NOT_FOUND (target folder missing),
//   ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT (read-only file system),
//   ERROR_DISK_FULL, ERROR_FILE_TOO_LARGE, ERROR_FILENAME_EXCED_RANGE or
//   ERROR_WRITE_FAULT when the target cannot be written (ACCESS_DENIED too
//   when the target is a folder);
// - E_INVALIDARG for a null address or file name, or an empty file name.
// pCaller and dwReserved are not used. A failure to record the transfer in
// the URL cache does not fail the download: the user's file is what counts.
HRESULT URLDownloadToFileA(void* pCaller, LPCSTR szURL, LPCSTR szFileName, DWORD dwReserved,
                           IBindStatusCallback* lpfnCB);

// Process-wide knobs of the download service; tests shorten the timeouts.
struct TDownloadSettings {
  long ConnectTimeoutMs = 30000;
  // A transfer that receives no byte for this long is given up.
  long StallTimeoutMs = 60000;
  long MaxRedirects = 10;
  // Certificate authorities for https; empty: the system's bundle.
  std::string CaInfo;
  std::string UserAgent = "Mozilla/5.0 (X11; Linux) Vorra/0.1";
};

TDownloadSettings GetDownloadSettings();
void SetDownloadSettings(const TDownloadSettings& settings);

}  // namespace win
