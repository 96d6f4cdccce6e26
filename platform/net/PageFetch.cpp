#include "platform/net/PageFetch.h"

#include <curl/curl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>
#include <vector>

#include "platform/net/Download.h"
#include "platform/net/DownloadText.h"
#include "platform/net/Transfer.h"
#include "platform/net/UrlCache.h"

namespace win::net {

namespace {

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

  std::string body;
  TTransferOptions o;
  o.Url = url;
  o.Protocols = "http,https,file";
  o.Headers = request.Headers;
  o.TimeoutMs = std::max(request.TimeoutMs, 1L);
  o.Cancelled = request.Cancelled;
  const TTransfer* running = nullptr;
  o.OnBody = [&](const char* data, std::size_t size) {
    if (body.size() + size > request.MaxBytes) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    try {
      if (body.empty()) {
        // The announced length, when it is within the cap, is room made once.
        const long long length = running->ContentLength();
        if (length > 0 && static_cast<std::uint64_t>(length) <= request.MaxBytes)
          body.reserve(static_cast<std::size_t>(length));
      }
      body.append(data, size);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    return S_OK;
  };
  std::size_t reported = 0;
  o.OnRound = [&] {
    if (request.OnProgress && body.size() != reported) {
      reported = body.size();
      const long long total = running->ContentLength();
      request.OnProgress(reported, total > 0 ? static_cast<ULONGLONG>(total) : 0);
    }
    return true;
  };
  TTransfer t(std::move(o));
  running = &t;
  if (const HRESULT hr = t.Run(); FAILED(hr)) return hr;
  response.Body = std::move(body);
  response.ContentType = t.ContentType();
  const std::string effective = t.EffectiveUrl();
  response.Url = effective.empty() ? url : effective;
  response.Status = t.Status();
  // Pages from servers only: the cache never keeps a copy of a local file.
  if (t.OverHttp() && IsHttp(url)) CachePage(address, response.Body, t.Headers());
  return S_OK;
}

}  // namespace win::net
