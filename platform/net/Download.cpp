#include "platform/net/Download.h"

#include <curl/curl.h>
#include <errno.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/net/CurlShared.h"
#include "platform/net/DownloadText.h"
#include "platform/net/UrlCacheInternal.h"
#include "platform/win/MessagePump.h"
#include "platform/win/Time.h"

namespace win {

namespace {

using TClock = std::chrono::steady_clock;

// libcurl's largest receive buffer: fewer, larger writes.
constexpr long kReceiveBuffer = 512 * 1024;
// How long one wait lasts while a pump is installed, and how often the pump runs.
constexpr int kPumpWaitMs = 10;
constexpr auto kPumpInterval = std::chrono::milliseconds(10);
// Enough for any real response header; a hostile server cannot grow it further.
constexpr std::size_t kMaxHeaderText = 64 * 1024;

std::mutex g_settingsLock;
TDownloadSettings g_settings;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HRESULT HResultFromErrno(int err) {
  switch (err) {
    case ENOSPC:
    case EDQUOT: return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case EFBIG: return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    case EACCES:
    case EPERM:
    case EISDIR: return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case EROFS: return HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT);
    case ENOENT:
    case ENOTDIR: return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case ENAMETOOLONG: return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    case ENOMEM: return E_OUTOFMEMORY;
    default: return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }
}

// Seconds since 1970 as a file time; unknown (0 or less) stays 0.
FILETIME FileTimeFromUnix(long long t) {
  return t <= 0 ? FILETIME{} : U64ToFileTime(FILETIME_UNIX_EPOCH + static_cast<std::uint64_t>(t) * 10000000ULL);
}

ULONG ClampUlong(curl_off_t v) {
  constexpr curl_off_t kMax = std::numeric_limits<ULONG>::max();
  return v <= 0 ? 0 : v >= kMax ? static_cast<ULONG>(kMax) : static_cast<ULONG>(v);
}

std::string RandomSuffix() {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937 rng{std::random_device{}() ^ static_cast<unsigned>(::getpid())};
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08x%04x", static_cast<unsigned>(rng()), counter.fetch_add(1) & 0xFFFF);
  return buf;
}

// Unnamed files are given their name through /proc; without it they cannot be.
bool ProcFdWorks() { return ::access("/proc/self/fd", X_OK) == 0; }

// The file being downloaded: an unnamed file in the target's folder (or,
// where the file system cannot make one, a hidden named one) that becomes the
// target only on Commit. Until then a failure or a crash leaves nothing behind.
class TTargetFile {
 public:
  explicit TTargetFile(std::string target) : target_(std::move(target)) {}
  ~TTargetFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!tempName_.empty() && !committed_) ::unlink(tempName_.c_str());
  }

  HRESULT Open() {
    const std::size_t slash = target_.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    // Cut so that the hidden name stays within the file system's name limit.
    tempPrefix_ = folder_ + "/." + base.substr(0, 200) + ".";
    struct stat st;
    if (::stat(target_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    if (ProcFdWorks()) {
      fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
      if (fd_ >= 0) return S_OK;
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return HResultFromErrno(errno);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      tempName_ = tempPrefix_ + RandomSuffix() + ".part";
      fd_ = ::open(tempName_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
      if (fd_ >= 0) return S_OK;
      if (errno != EEXIST) break;
    }
    const int err = errno;
    tempName_.clear();
    return HResultFromErrno(err);
  }

  // Open for reading too: the cache may copy from it.
  int Fd() const { return fd_; }

  // Writes all of the bytes; answers 0 or an errno value.
  int Write(const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return 0;
  }

  // Puts the finished file in place of the target.
  HRESULT Commit() {
    if (tempName_.empty()) {
      const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
      // No target yet: the file appears under its name in one step.
      if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        committed_ = true;
        return S_OK;
      }
      if (errno != EEXIST) return HResultFromErrno(errno);
      for (int attempt = 0; attempt < 100 && tempName_.empty(); ++attempt) {
        const std::string name = tempPrefix_ + RandomSuffix() + ".part";
        if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) tempName_ = name;
        else if (errno != EEXIST) return HResultFromErrno(errno);
      }
      if (tempName_.empty()) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    }
    if (::rename(tempName_.c_str(), target_.c_str()) != 0) return HResultFromErrno(errno);
    committed_ = true;
    return S_OK;
  }

 private:
  std::string target_, folder_, tempPrefix_, tempName_;
  int fd_ = -1;
  bool committed_ = false;
};

// One transfer's state, shared with curl's callbacks. The callbacks only
// record: the caller's callback and pump run from the driving loop, outside
// curl, so they may start another download.
struct TTransfer {
  TTargetFile* file = nullptr;
  CURL* easy = nullptr;
  curl_off_t received = 0;
  int writeErrno = 0;
  bool bodyStarted = false;
  std::string headers;   // of the latest response
  bool redirected = false;  // some response was a 3xx with a Location
  bool done = false;
  CURLcode result = CURLE_OK;
  // When the last byte (of a header or the body) came in.
  TClock::time_point lastActivity = TClock::now();
};

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const std::size_t bytes = size * count;
  t->lastActivity = TClock::now();
  t->bodyStarted = true;
  if (const int err = t->file->Write(data, bytes)) {
    t->writeErrno = err;
    return 0;  // curl stops with a write error
  }
  t->received += static_cast<curl_off_t>(bytes);
  return bytes;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<TTransfer*>(user);
  const std::size_t bytes = size * count;
  t->lastActivity = TClock::now();
  // A new response begins: keep only its headers, and remember redirects.
  if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0) t->headers.clear();
  if (net::IsRedirectStatusLine(data, bytes)) t->redirected = true;
  if (t->headers.size() + bytes <= kMaxHeaderText) t->headers.append(data, bytes);
  return bytes;
}

// The calling thread's curl state: one multi handle, whose connection and DNS
// caches outlive each call, so consecutive downloads from one server reuse
// the connection; and idle easy handles for reuse (more than one when a pump
// starts a download inside a download).
class TCurlThread {
 public:
  TCurlThread() {
    GlobalInit();
    multi_ = curl_multi_init();
  }
  ~TCurlThread() {
    for (CURL* e : idle_) curl_easy_cleanup(e);
    if (multi_) curl_multi_cleanup(multi_);
  }
  CURLM* Multi() const { return multi_; }
  CURL* Take() {
    if (idle_.empty()) return curl_easy_init();
    CURL* e = idle_.back();
    idle_.pop_back();
    curl_easy_reset(e);
    return e;
  }
  void Give(CURL* e) { idle_.push_back(e); }

  // Runs the multi handle until the transfer is done (or the caller gives up).
  // Messages of other (outer) transfers are delivered to their own records.
  void Collect() {
    int queued = 0;
    while (CURLMsg* m = curl_multi_info_read(multi_, &queued)) {
      if (m->msg != CURLMSG_DONE) continue;
      TTransfer* t = nullptr;
      curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
      if (t) {
        t->done = true;
        t->result = m->data.result;
      }
    }
  }

 private:
  CURLM* multi_ = nullptr;
  std::vector<CURL*> idle_;
};

TCurlThread& CurlThread() {
  thread_local TCurlThread state;
  return state;
}

void SetOptions(CURL* e, const std::string& url, TTransfer& t, const TDownloadSettings& s) {
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  // CURLOPT_NOSIGNAL stays off: then curl keeps the SIGPIPE that a TLS write
  // to a closed connection raises away from the program.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp,file");
  // A web server must not point us at local files.
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, s.MaxRedirects);
  curl_easy_setopt(e, CURLOPT_AUTOREFERER, 1L);
  // Error pages are not saved as the file.
  curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(e, CURLOPT_FILETIME, 1L);
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, s.ConnectTimeoutMs);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!s.CaInfo.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, s.CaInfo.c_str());
  curl_easy_setopt(e, CURLOPT_USERAGENT, s.UserAgent.c_str());
  const std::string noProxy = NoProxyList();
  curl_easy_setopt(e, CURLOPT_NOPROXY, noProxy.c_str());  // curl copies option strings
}

}  // namespace

std::string NoProxyList() {
  std::string list = "127.0.0.1,localhost,::1";
  const char* env = std::getenv("no_proxy");
  if (!env || !*env) env = std::getenv("NO_PROXY");
  if (env && std::strcmp(env, "*") == 0) return env;
  if (env && *env) list = std::string(env) + "," + list;
  return list;
}

HRESULT HResultFromCurl(CURLcode code, long status, bool redirected) {
  switch (code) {
    case CURLE_OK: break;
    case CURLE_WRITE_ERROR: return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    case CURLE_HTTP_RETURNED_ERROR:
      if (status == 404 || status == 410) return INET_E_OBJECT_NOT_FOUND;
      if (status == 401 || status == 403 || status == 407) return E_ACCESSDENIED;
      return INET_E_DOWNLOAD_FAILURE;
    case CURLE_UNSUPPORTED_PROTOCOL: return redirected ? INET_E_REDIRECT_FAILED : INET_E_UNKNOWN_PROTOCOL;
    case CURLE_URL_MALFORMAT: return redirected ? INET_E_REDIRECT_FAILED : INET_E_INVALID_URL;
    case CURLE_TOO_MANY_REDIRECTS: return INET_E_REDIRECT_FAILED;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return INET_E_RESOURCE_NOT_FOUND;
    case CURLE_COULDNT_CONNECT: return INET_E_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return INET_E_CONNECTION_TIMEOUT;
    case CURLE_FILE_COULDNT_READ_FILE:
    case CURLE_REMOTE_FILE_NOT_FOUND: return INET_E_OBJECT_NOT_FOUND;
    case CURLE_LOGIN_DENIED:
    case CURLE_REMOTE_ACCESS_DENIED: return E_ACCESSDENIED;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED: return INET_E_SECURITY_PROBLEM;
    case CURLE_GOT_NOTHING: return INET_E_DATA_NOT_AVAILABLE;
    case CURLE_OUT_OF_MEMORY: return E_OUTOFMEMORY;
    default: return INET_E_DOWNLOAD_FAILURE;
  }
  return S_OK;
}

namespace {

HRESULT MapResult(CURL* e, const TTransfer& t) {
  long status = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
  if (t.result == CURLE_WRITE_ERROR && t.writeErrno) return HResultFromErrno(t.writeErrno);
  if (const HRESULT hr = HResultFromCurl(t.result, status, t.redirected); FAILED(hr)) return hr;
  char* scheme = nullptr;
  curl_easy_getinfo(e, CURLINFO_SCHEME, &scheme);
  const bool http = scheme && (strcasecmp(scheme, "http") == 0 || strcasecmp(scheme, "https") == 0);
  // A 3xx that was not followed (no Location, or one curl could not use).
  if (http && (status < 200 || status >= 300)) return INET_E_REDIRECT_FAILED;
  return S_OK;
}

// Emits the statuses that became due since the last call; answers E_ABORT
// when the callback cancels.
class TReporter {
 public:
  TReporter(IBindStatusCallback* cb, CURL* e, std::string url) : cb_(cb), e_(e), url_(std::move(url)) {}

  HRESULT Progress(const TTransfer& t) {
    if (!cb_) return S_OK;
    long redirects = 0;
    curl_easy_getinfo(e_, CURLINFO_REDIRECT_COUNT, &redirects);
    if (redirects > redirects_) {
      redirects_ = redirects;
      char* where = nullptr;
      curl_easy_getinfo(e_, CURLINFO_EFFECTIVE_URL, &where);
      if (Say(0, 0, BINDSTATUS_REDIRECTING, where ? where : "") == E_ABORT) return E_ABORT;
    }
    if (!t.bodyStarted && !(t.done && t.result == CURLE_OK)) return S_OK;
    curl_off_t total = -1;
    curl_easy_getinfo(e_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
    const ULONG max = ClampUlong(total);
    if (!begun_) {
      begun_ = true;
      char* type = nullptr;
      curl_easy_getinfo(e_, CURLINFO_CONTENT_TYPE, &type);
      if (type && *type && Say(0, max, BINDSTATUS_MIMETYPEAVAILABLE, type) == E_ABORT) return E_ABORT;
      if (Say(0, max, BINDSTATUS_BEGINDOWNLOADDATA, url_.c_str()) == E_ABORT) return E_ABORT;
    }
    if (t.received != reported_) {
      reported_ = t.received;
      if (Say(ClampUlong(t.received), std::max(max, ClampUlong(t.received)), BINDSTATUS_DOWNLOADINGDATA,
              url_.c_str()) == E_ABORT)
        return E_ABORT;
    }
    return S_OK;
  }

  HRESULT Say(ULONG progress, ULONG max, ULONG code, LPCSTR text) {
    return cb_ ? cb_->OnProgress(progress, max, code, text) : S_OK;
  }

 private:
  IBindStatusCallback* cb_;
  CURL* e_;
  std::string url_;
  long redirects_ = 0;
  bool begun_ = false;
  curl_off_t reported_ = 0;
};

// Records a finished download in the URL cache. The cache's file is a
// second name of the downloaded file where both lie on one file system: the
// bytes are neither written twice nor given a second inode, which is most of
// what a download costs. The price: the two names share their contents, so an
// edit in place of the downloaded file would show in the cache too (deleting
// or replacing either leaves the other whole). Nothing here edits in place:
// downloads and the program's saves replace files by renaming. Elsewhere the
// cache gets a clone or a copy. A cache that cannot take the file only loses
// its entry: the download stands.
void CacheDownload(CURL* e, const std::string& url, const std::string& responseHeaders, int fd,
                   TReporter& reporter) {
  urlcache::TAdoptFields fields;
  curl_off_t modified = -1;
  curl_easy_getinfo(e, CURLINFO_FILETIME_T, &modified);
  fields.LastModified = FileTimeFromUnix(modified);
  // Only http answers have a header worth keeping; ftp's dialogue is not one.
  char* scheme = nullptr;
  curl_easy_getinfo(e, CURLINFO_SCHEME, &scheme);
  if (scheme && (strcasecmp(scheme, "http") == 0 || strcasecmp(scheme, "https") == 0)) fields.Header = responseHeaders;
  fields.Expire = FileTimeFromUnix(net::HeaderTime(fields.Header, "Expires"));
  // No extension is no argument, so the cache keeps the file name as it is.
  const std::string ext = net::UrlExtension(url);
  fields.Extension = ext.empty() ? nullptr : ext.c_str();
  std::string path;
  if (urlcache::AdoptUrlCacheFile(url.c_str(), fd, fields, path))
    reporter.Say(0, 0, BINDSTATUS_CACHEFILENAMEAVAILABLE, path.c_str());
}

// curl copies a folder as an empty file and reads devices and pipes without
// end (or blocks on them, with the GUI thread); only regular files are
// sources. A missing file is left to curl.
HRESULT CheckLocalSource(const std::string& url) {
  if (strncasecmp(url.c_str(), "file:", 5) != 0) return S_OK;
  CURLU* u = curl_url();
  char* path = nullptr;
  HRESULT hr = S_OK;
  if (!u || curl_url_set(u, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(u, CURLUPART_PATH, &path, CURLU_URLDECODE) != CURLUE_OK) {
    hr = INET_E_INVALID_URL;
  } else {
    struct stat st;
    if (std::strlen(path) == 0 || (::stat(path, &st) == 0 && !S_ISREG(st.st_mode))) hr = INET_E_DOWNLOAD_FAILURE;
  }
  curl_free(path);
  curl_url_cleanup(u);
  return hr;
}

}  // namespace

TDownloadSettings GetDownloadSettings() {
  std::lock_guard lock(g_settingsLock);
  return g_settings;
}

void SetDownloadSettings(const TDownloadSettings& settings) {
  std::lock_guard lock(g_settingsLock);
  g_settings = settings;
}

HRESULT URLDownloadToFileA(void* pCaller, LPCSTR szURL, LPCSTR szFileName, DWORD dwReserved,
                           IBindStatusCallback* lpfnCB) {
  if (!szURL || !szFileName || !*szFileName) return E_INVALIDARG;
  const std::string address = szURL;
  std::string url;
  if (net::IsUrlAddress(address)) {
    if (!net::EscapeUrl(address, url)) return INET_E_INVALID_URL;
  } else {
    if (address.empty()) return INET_E_INVALID_URL;
    url = net::FileUrl(address);
  }

  if (const HRESULT hr = CheckLocalSource(url); FAILED(hr)) return hr;
  TTargetFile file(szFileName);
  if (const HRESULT hr = file.Open(); FAILED(hr)) return hr;

  const TDownloadSettings settings = GetDownloadSettings();
  TCurlThread& thread = CurlThread();
  CURLM* multi = thread.Multi();
  CURL* e = thread.Take();
  if (!multi || !e) {
    if (e) curl_easy_cleanup(e);
    return E_OUTOFMEMORY;
  }
  struct TGive {
    TCurlThread& thread;
    CURL* e;
    ~TGive() { thread.Give(e); }
  } give{thread, e};

  TTransfer t;
  t.file = &file;
  t.easy = e;
  SetOptions(e, url, t, settings);
  TReporter reporter(lpfnCB, e, address);
  if (reporter.Say(0, 0, BINDSTATUS_CONNECTING, address.c_str()) == E_ABORT) return E_ABORT;

  if (curl_multi_add_handle(multi, e) != CURLM_OK) return E_OUTOFMEMORY;
  bool cancelled = false;
  auto lastPump = TClock::now();
  const auto stall = std::chrono::milliseconds(std::max(settings.StallTimeoutMs, 1L));
  t.lastActivity = TClock::now();
  for (;;) {
    int running = 0;
    const CURLMcode mc = curl_multi_perform(multi, &running);
    thread.Collect();
    if (reporter.Progress(t) == E_ABORT) {
      cancelled = true;
      break;
    }
    if (t.done) break;
    if (mc != CURLM_OK) {
      t.result = CURLE_OUT_OF_MEMORY;
      break;
    }
    // curl's own low-speed check averages over seconds; a stall is measured
    // here from the last byte, exactly.
    const auto deadline = t.lastActivity + stall;
    if (TClock::now() >= deadline) {
      t.result = CURLE_OPERATION_TIMEDOUT;
      break;
    }
    if (HasBlockingCallPump() && TClock::now() - lastPump >= kPumpInterval) {
      PumpDuringBlockingCall();
      lastPump = TClock::now();
      // The pump may have run a nested download that finished this one.
      if (t.done) continue;
    }
    const auto untilDeadline =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count() + 1;
    const long wait = std::clamp<long>(untilDeadline, 1, HasBlockingCallPump() ? kPumpWaitMs : 1000);
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait), nullptr);
  }
  curl_multi_remove_handle(multi, e);
  if (cancelled) return E_ABORT;

  const HRESULT hr = MapResult(e, t);
  if (FAILED(hr)) return hr;
  if (const HRESULT committed = file.Commit(); FAILED(committed)) return committed;
  CacheDownload(e, address, t.headers, file.Fd(), reporter);
  reporter.Say(ClampUlong(t.received), ClampUlong(t.received), BINDSTATUS_ENDDOWNLOADDATA, address.c_str());
  return S_OK;
}

}  // namespace win
