#include "platform/net/PageFetch.h"

#include <curl/curl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/net/CurlShared.h"
#include "platform/net/Download.h"
#include "platform/net/DownloadText.h"
#include "platform/net/UrlCache.h"
#include "platform/win/ErrorText.h"
#include "platform/win/MessagePump.h"

namespace win::net {

namespace {

using TClock = std::chrono::steady_clock;
constexpr auto kPumpInterval = std::chrono::milliseconds(10);
constexpr std::size_t kMaxHeaderText = 64 * 1024;

struct TFetch {
  const TPageRequest* request = nullptr;
  CURL* easy = nullptr;
  std::string body;
  std::string headers;
  bool tooLarge = false;
  bool redirected = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* f = static_cast<TFetch*>(user);
  const std::size_t bytes = size * count;
  if (f->body.size() + bytes > f->request->MaxBytes) {
    f->tooLarge = true;
    return 0;
  }
  if (f->body.empty()) {
    // The announced length, when it is within the cap, is room made once.
    curl_off_t length = -1;
    curl_easy_getinfo(f->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (length > 0 && static_cast<std::uint64_t>(length) <= f->request->MaxBytes)
      f->body.reserve(static_cast<std::size_t>(length));
  }
  f->body.append(data, bytes);
  return bytes;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* f = static_cast<TFetch*>(user);
  const std::size_t bytes = size * count;
  if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0) f->headers.clear();
  if (IsRedirectStatusLine(data, bytes)) f->redirected = true;
  if (f->headers.size() + bytes <= kMaxHeaderText) f->headers.append(data, bytes);
  return bytes;
}

// The value of a header in a header block (last one wins); empty when absent.
std::string HeaderValue(const std::string& headers, const char* name) {
  std::string value;
  const std::size_t len = std::strlen(name);
  std::size_t pos = 0;
  while (pos < headers.size()) {
    std::size_t end = headers.find('\n', pos);
    if (end == std::string::npos) end = headers.size();
    if (end - pos > len && strncasecmp(headers.c_str() + pos, name, len) == 0 && headers[pos + len] == ':') {
      std::size_t a = pos + len + 1, b = end;
      while (a < b && (headers[a] == ' ' || headers[a] == '\t')) ++a;
      while (b > a && (headers[b - 1] == '\r' || headers[b - 1] == ' ')) --b;
      value = headers.substr(a, b - a);
    }
    pos = end + 1;
  }
  return value;
}

HRESULT MapCurlResult(CURLcode code, long status, const TFetch& f) {
  if (code == CURLE_WRITE_ERROR) return f.tooLarge ? HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE) : E_OUTOFMEMORY;
  if (const HRESULT hr = HResultFromCurl(code, status, f.redirected); FAILED(hr)) return hr;
  if (status >= 300 && status < 400) return INET_E_REDIRECT_FAILED;
  return S_OK;
}

bool IsHttp(const std::string& url) {
  return strncasecmp(url.c_str(), "http://", 7) == 0 || strncasecmp(url.c_str(), "https://", 8) == 0;
}

// Keeps a fetched page in the URL cache under its address; a cache that
// cannot take it only loses the entry.
void CachePage(const std::string& address, const std::string& body, const std::string& headers) {
  char path[URL_CACHE_MAX_PATH] = {};
  if (!CreateUrlCacheEntryA(address.c_str(), static_cast<DWORD>(std::min<std::size_t>(body.size(), 0xFFFFFFFF)),
                            nullptr, path, 0))
    return;
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    if (!out) {
      std::remove(path);
      return;
    }
  }
  std::string header = headers;
  if (!CommitUrlCacheEntryA(address.c_str(), path, FILETIME{}, FILETIME{}, NORMAL_CACHE_ENTRY,
                            reinterpret_cast<LPBYTE>(header.data()), static_cast<DWORD>(header.size()), nullptr,
                            nullptr))
    std::remove(path);
}

HRESULT FromCache(const TPageRequest& request, TPageResponse& response) {
  DWORD size = 0;
  GetUrlCacheEntryInfoA(request.Address.c_str(), nullptr, &size);
  if (size == 0) return INET_E_DATA_NOT_AVAILABLE;
  std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  if (!GetUrlCacheEntryInfoA(request.Address.c_str(), info, &size)) return INET_E_DATA_NOT_AVAILABLE;
  const std::string headers = info->lpHeaderInfo ? std::string(info->lpHeaderInfo, info->dwHeaderInfoSize) : "";
  std::ifstream in(info->lpszLocalFileName, std::ios::binary);
  if (!in) return INET_E_DATA_NOT_AVAILABLE;
  std::string body;
  char chunk[64 * 1024];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    if (body.size() + static_cast<std::size_t>(in.gcount()) > request.MaxBytes)
      return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    body.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  response.Body = std::move(body);
  response.ContentType = HeaderValue(headers, "Content-Type");
  response.Url = request.Address;
  response.Status = 200;
  response.FromCache = true;
  if (request.OnProgress) request.OnProgress(response.Body.size(), response.Body.size());
  return S_OK;
}

}  // namespace

HRESULT FetchPage(const TPageRequest& request, TPageResponse& response) {
  response = TPageResponse{};
  const std::string& address = request.Address;
  std::string url;
  if (IsUrlAddress(address)) {
    if (!EscapeUrl(address, url)) return INET_E_INVALID_URL;
    const bool file = strncasecmp(url.c_str(), "file:", 5) == 0;
    if (!file && !IsHttp(url)) return INET_E_UNKNOWN_PROTOCOL;
    if (!file && request.CacheOnly) return FromCache(request, response);
  } else {
    if (address.empty()) return INET_E_INVALID_URL;
    url = FileUrl(address);
  }
  if (!IsHttp(url)) {
    // Folders, devices and pipes are no pages (curl would block on a pipe).
    CURLU* u = curl_url();
    char* path = nullptr;
    HRESULT hr = S_OK;
    if (!u || curl_url_set(u, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(u, CURLUPART_PATH, &path, CURLU_URLDECODE) != CURLUE_OK) {
      hr = INET_E_INVALID_URL;
    } else {
      struct stat st;
      if (::stat(path, &st) != 0) hr = INET_E_OBJECT_NOT_FOUND;
      else if (!S_ISREG(st.st_mode)) hr = INET_E_DOWNLOAD_FAILURE;
      else if (static_cast<std::uint64_t>(st.st_size) > request.MaxBytes) hr = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    curl_free(path);
    curl_url_cleanup(u);
    if (FAILED(hr)) return hr;
  }

  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  const TDownloadSettings settings = GetDownloadSettings();
  CURLM* multi = curl_multi_init();
  CURL* e = curl_easy_init();
  curl_slist* headerList = nullptr;
  struct TCleanup {
    CURLM*& multi;
    CURL*& e;
    curl_slist*& list;
    ~TCleanup() {
      if (multi && e) curl_multi_remove_handle(multi, e);
      if (e) curl_easy_cleanup(e);
      if (multi) curl_multi_cleanup(multi);
      curl_slist_free_all(list);
    }
  } cleanup{multi, e, headerList};
  if (!multi || !e) return E_OUTOFMEMORY;

  TFetch f;
  f.request = &request;
  f.easy = e;
  for (const std::string& h : request.Headers) {
    // A header line must stay one line.
    if (h.find_first_of("\r\n") != std::string::npos) return E_INVALIDARG;
    headerList = curl_slist_append(headerList, h.c_str());
  }
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &f);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &f);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,file");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, settings.MaxRedirects);
  curl_easy_setopt(e, CURLOPT_AUTOREFERER, 1L);
  curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, std::min(settings.ConnectTimeoutMs, request.TimeoutMs));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.CaInfo.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, settings.CaInfo.c_str());
  curl_easy_setopt(e, CURLOPT_USERAGENT, settings.UserAgent.c_str());
  const std::string noProxy = NoProxyList();
  curl_easy_setopt(e, CURLOPT_NOPROXY, noProxy.c_str());
  if (headerList) curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList);
  if (curl_multi_add_handle(multi, e) != CURLM_OK) return E_OUTOFMEMORY;

  const auto deadline = TClock::now() + std::chrono::milliseconds(std::max(request.TimeoutMs, 1L));
  auto lastPump = TClock::now();
  std::size_t reported = 0;
  bool done = false, timedOut = false;
  CURLcode result = CURLE_OK;
  while (!done) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      result = CURLE_OUT_OF_MEMORY;
      break;
    }
    int queued = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &queued))
      if (m->msg == CURLMSG_DONE) {
        done = true;
        result = m->data.result;
      }
    if (request.OnProgress && f.body.size() != reported) {
      reported = f.body.size();
      curl_off_t total = 0;
      curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
      request.OnProgress(reported, total > 0 ? static_cast<ULONGLONG>(total) : 0);
    }
    if (done) break;
    if (request.Cancelled && request.Cancelled()) return E_ABORT;
    if (TClock::now() >= deadline) {
      timedOut = true;
      break;
    }
    if (HasBlockingCallPump() && TClock::now() - lastPump >= kPumpInterval) {
      PumpDuringBlockingCall();
      lastPump = TClock::now();
      if (request.Cancelled && request.Cancelled()) return E_ABORT;
    }
    const long untilDeadline =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count() + 1;
    const long wait = std::clamp<long>(untilDeadline, 1, HasBlockingCallPump() ? 10 : 1000);
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait), nullptr);
  }
  if (timedOut) return INET_E_CONNECTION_TIMEOUT;
  long status = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
  if (const HRESULT hr = MapCurlResult(result, status, f); FAILED(hr)) return hr;
  char* effective = nullptr;
  curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective);
  char* type = nullptr;
  curl_easy_getinfo(e, CURLINFO_CONTENT_TYPE, &type);
  response.Body = std::move(f.body);
  response.ContentType = type ? type : "";
  response.Url = effective ? effective : url;
  response.Status = status;
  if (IsHttp(url)) CachePage(address, response.Body, f.headers);
  return S_OK;
}

std::string FetchErrorText(HRESULT hr) { return ErrorText(hr); }

}  // namespace win::net
