#include "platform/net/Download.h"

#include <curl/curl.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>

#include "platform/net/DownloadText.h"
#include "platform/net/Transfer.h"
#include "platform/net/UrlCacheInternal.h"
#include "platform/win/Time.h"

namespace win {

namespace {

// Names tried for one download before it gives up: a folder does not hold
// this many copies of one name, and a NextName that goes round in circles
// still ends.
constexpr int kMaxNames = 10000;

// The shared errno mapping held to the codes DownloadToFile promises for its
// target: a path through a file is a missing folder as much as ENOENT is, and
// a failure without a word of its own is a failure to write.
HRESULT TargetError(int err) {
  if (err == ENOMEM) return E_OUTOFMEMORY;
  const DWORD error = ErrnoToWin32Error(err == ENOTDIR ? ENOENT : err, true);
  return HRESULT_FROM_WIN32(error == ERROR_INVALID_PARAMETER ? ERROR_WRITE_FAULT : error);
}

// Seconds since 1970 as a file time; unknown (0 or less) stays 0.
FILETIME FileTimeFromUnix(long long t) {
  return t <= 0 ? FILETIME{} : U64ToFileTime(FILETIME_UNIX_EPOCH + static_cast<std::uint64_t>(t) * 10000000ULL);
}

// Unknown (negative) counts as 0.
ULONG ClampUlong(long long v) {
  constexpr long long kMax = std::numeric_limits<ULONG>::max();
  return v <= 0 ? 0 : v >= kMax ? static_cast<ULONG>(kMax) : static_cast<ULONG>(v);
}
ULONG ClampUlong(ULONGLONG v) { return static_cast<ULONG>(std::min<ULONGLONG>(v, std::numeric_limits<ULONG>::max())); }

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
// where the file system cannot make one, a hidden named one) that is given
// its name only by Place. Until then a failure or a crash leaves nothing
// behind, and Place never takes a name that exists.
class TTargetFile {
 public:
  explicit TTargetFile(std::string target) : target_(std::move(target)) {}
  ~TTargetFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!tempName_.empty() && !committed_) ::unlink(tempName_.c_str());
  }

  // foldersFail: a folder at the target is refused now (ERROR_ACCESS_DENIED),
  // before any byte is fetched, as there is no other name to go to.
  HRESULT Open(bool foldersFail) {
    const std::size_t slash = target_.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : target_.substr(0, slash);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty() || base == "." || base == "..") return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    // Cut so that the hidden name stays within the file system's name limit.
    tempPrefix_ = folder_ + "/." + base.substr(0, 200) + ".";
    struct stat st;
    if (foldersFail && ::stat(target_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    if (ProcFdWorks()) {
      fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
      if (fd_ >= 0) return S_OK;
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return TargetError(errno);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      tempName_ = tempPrefix_ + RandomSuffix() + ".part";
      fd_ = ::open(tempName_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
      if (fd_ >= 0) return S_OK;
      if (errno != EEXIST) break;
    }
    const int err = errno;
    tempName_.clear();
    return TargetError(err);
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

  // Links the finished file in under the target's name, or under the next
  // names while they are taken; answers the name in placed.
  HRESULT Place(const std::function<std::string(const std::string&)>& nextName, std::string& placed) {
    std::string name = target_;
    for (int attempt = 0; attempt < kMaxNames; ++attempt) {
      const int err = LinkAs(name);
      if (err == 0) {
        committed_ = true;
        if (!tempName_.empty()) ::unlink(tempName_.c_str());
        placed = name;
        return S_OK;
      }
      if (err != EEXIST) return TargetError(err);
      if (!nextName) break;
      std::string next = nextName(name);
      if (next.empty() || next == name) break;
      name = std::move(next);
    }
    return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
  }

 private:
  // Answers 0 or an errno value; EEXIST when the name is taken.
  int LinkAs(const std::string& name) {
    if (tempName_.empty()) {
      const std::string procPath = "/proc/self/fd/" + std::to_string(fd_);
      return ::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    }
    if (::link(tempName_.c_str(), name.c_str()) == 0) return 0;
    if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) return errno;
    // A file system without hard links: a rename that refuses to replace.
    if (::renameat2(AT_FDCWD, tempName_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) != 0) return errno;
    tempName_.clear();
    return 0;
  }

  std::string target_, folder_, tempPrefix_, tempName_;
  int fd_ = -1;
  bool committed_ = false;
};

// Emits the statuses that became due since the last call; answers E_ABORT
// when the callback cancels.
class TReporter {
 public:
  TReporter(IBindStatusCallback* cb, std::string url) : cb_(cb), url_(std::move(url)) {}

  HRESULT Progress(const net::TTransfer& t) {
    if (!cb_) return S_OK;
    const long redirects = t.RedirectCount();
    if (redirects > redirects_) {
      redirects_ = redirects;
      if (Say(0, 0, BINDSTATUS_REDIRECTING, t.EffectiveUrl().c_str()) == E_ABORT) return E_ABORT;
    }
    if (!t.BodyStarted() && !t.CurlFinished()) return S_OK;
    const ULONG max = ClampUlong(t.ContentLength());
    if (!begun_) {
      begun_ = true;
      const std::string type = t.ContentType();
      if (!type.empty() && Say(0, max, BINDSTATUS_MIMETYPEAVAILABLE, type.c_str()) == E_ABORT) return E_ABORT;
      if (Say(0, max, BINDSTATUS_BEGINDOWNLOADDATA, url_.c_str()) == E_ABORT) return E_ABORT;
    }
    if (t.Received() != reported_) {
      reported_ = t.Received();
      const ULONG received = ClampUlong(reported_);
      if (Say(received, std::max(max, received), BINDSTATUS_DOWNLOADINGDATA, url_.c_str()) == E_ABORT)
        return E_ABORT;
    }
    return S_OK;
  }

  HRESULT Say(ULONG progress, ULONG max, ULONG code, LPCSTR text) {
    return cb_ ? cb_->OnProgress(progress, max, code, text) : S_OK;
  }

 private:
  IBindStatusCallback* cb_;
  std::string url_;
  long redirects_ = 0;
  bool begun_ = false;
  ULONGLONG reported_ = 0;
};

// Records a finished download in the URL cache. The cache's file is a
// second name of the downloaded file where both lie on one file system: the
// bytes are neither written twice nor given a second inode, which is most of
// what a download costs. The price: the two names share their contents, so an
// edit in place of the downloaded file would show in the cache too (deleting
// either leaves the other whole). Nothing here edits in place: downloads
// only ever make new files. Elsewhere the cache gets a clone or a copy. A
// cache that cannot take the file only loses its entry: the download stands.
void CacheDownload(const net::TTransfer& t, const std::string& url, int fd, TReporter& reporter) {
  // The cache holds what came from servers, never a copy of a local file.
  if (t.FromLocalFile()) return;
  urlcache::TAdoptFields fields;
  fields.LastModified = FileTimeFromUnix(t.FileTime());
  // Only http answers have a header worth keeping; ftp's dialogue is not one.
  if (t.OverHttp()) fields.Header = t.Headers();
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

HRESULT Download(const std::string& address, const std::string& target, const TDownloadOptions& options,
                 TDownloadResult& result) {
  if (target.empty()) return E_INVALIDARG;
  std::string url;
  if (net::IsUrlAddress(address)) {
    if (!net::EscapeUrl(address, url)) return INET_E_INVALID_URL;
  } else {
    if (address.empty()) return INET_E_INVALID_URL;
    url = net::FileUrl(address);
  }

  if (const HRESULT hr = CheckLocalSource(url); FAILED(hr)) return hr;
  TTargetFile file(target);
  if (const HRESULT hr = file.Open(!options.NextName); FAILED(hr)) return hr;

  TReporter reporter(options.Callback, address);
  if (reporter.Say(0, 0, BINDSTATUS_CONNECTING, address.c_str()) == E_ABORT) return E_ABORT;

  net::TTransferOptions o;
  o.Url = url;
  o.TimeoutMs = options.TimeoutMs;
  o.StallTimeoutMs = GetDownloadSettings().StallTimeoutMs;
  o.Cancelled = options.Cancelled;
  o.OnBody = [&file](const char* data, std::size_t size) {
    const int err = file.Write(data, size);
    return err ? TargetError(err) : S_OK;
  };
  const net::TTransfer* running = nullptr;
  o.OnRound = [&] { return reporter.Progress(*running) != E_ABORT; };
  net::TTransfer t(std::move(o));
  running = &t;
  const HRESULT hr = t.Run();
  result.Status = t.Status();
  result.ContentType = t.ContentType();
  result.Bytes = t.Received();
  if (FAILED(hr)) return hr;

  if (const HRESULT placed = file.Place(options.NextName, result.File); FAILED(placed)) return placed;
  CacheDownload(t, address, file.Fd(), reporter);
  const ULONG bytes = ClampUlong(t.Received());
  reporter.Say(bytes, bytes, BINDSTATUS_ENDDOWNLOADDATA, address.c_str());
  return S_OK;
}

}  // namespace

TDownloadResult DownloadToFile(const std::string& url, const std::string& target, const TDownloadOptions& options) {
  TDownloadResult result;
  result.Result = Download(url, target, options, result);
  if (FAILED(result.Result)) result.File.clear();
  return result;
}

HRESULT URLDownloadToFileA(void* pCaller, LPCSTR szURL, LPCSTR szFileName, DWORD dwReserved,
                           IBindStatusCallback* lpfnCB) {
  if (!szURL || !szFileName || !*szFileName) return E_INVALIDARG;
  TDownloadOptions options;
  options.Callback = lpfnCB;
  return DownloadToFile(szURL, szFileName, options).Result;
}

}  // namespace win
