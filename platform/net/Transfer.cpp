#include "platform/net/Transfer.h"

#include <strings.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "platform/net/Download.h"
#include "platform/net/DownloadText.h"
#include "platform/win/Ascii.h"
#include "platform/win/MessagePump.h"

namespace win {

namespace {

using TClock = std::chrono::steady_clock;

// libcurl's largest receive buffer: fewer, larger writes.
constexpr long kReceiveBuffer = 512 * 1024;
// How long one wait lasts while a pump is installed, and how often the pump runs.
constexpr long kPumpWaitMs = 10;
constexpr auto kPumpInterval = std::chrono::milliseconds(10);
// The longest wait while someone may cancel: well inside the promised 100 ms.
constexpr long kCancelWaitMs = 50;
constexpr long kIdleWaitMs = 1000;
// Enough for any real response header; a hostile server cannot grow it further.
constexpr std::size_t kMaxHeaderText = 64 * 1024;
constexpr std::size_t kInflateChunk = 64 * 1024;

std::mutex g_settingsLock;
TDownloadSettings g_settings;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The body's content encoding, undone here rather than by curl: curl takes a
// compressed stream that ends early for a whole one.
class TDecoder {
 public:
  enum TKind { dkNone, dkGzip, dkDeflate };

  ~TDecoder() {
    if (started_) inflateEnd(&z_);
  }

  void Choose(TKind kind) { kind_ = kind; }
  bool Active() const { return kind_ != dkNone; }
  // Whether the compressed stream reached its end.
  bool Finished() const { return ended_; }

  template <class TOut>
  HRESULT Feed(const char* data, std::size_t size, TOut&& out) {
    if (ended_) return S_OK;  // what trails the stream is no part of the body
    if (!started_) {
      int windowBits = 15 + 16;
      std::string first;
      if (kind_ == dkDeflate) {
        // Servers send "deflate" as zlib data or as a raw stream; the zlib header tells.
        pending_.append(data, size);
        if (pending_.size() < 2) return S_OK;
        const unsigned b0 = static_cast<unsigned char>(pending_[0]), b1 = static_cast<unsigned char>(pending_[1]);
        windowBits = (b0 & 0x0F) == 8 && (b0 * 256 + b1) % 31 == 0 ? 15 : -15;
        first = std::move(pending_);
        data = first.data();
        size = first.size();
      }
      if (inflateInit2(&z_, windowBits) != Z_OK) return E_OUTOFMEMORY;
      started_ = true;
      buffer_.reset(new (std::nothrow) unsigned char[kInflateChunk]);
      if (!buffer_) return E_OUTOFMEMORY;
      return Inflate(data, size, out);
    }
    return Inflate(data, size, out);
  }

 private:
  template <class TOut>
  HRESULT Inflate(const char* data, std::size_t size, TOut& out) {
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z_.avail_in = static_cast<uInt>(size);  // curl's writes stay far below 4 GB
    for (;;) {
      z_.next_out = buffer_.get();
      z_.avail_out = static_cast<uInt>(kInflateChunk);
      const int rc = inflate(&z_, Z_NO_FLUSH);
      const std::size_t produced = kInflateChunk - z_.avail_out;
      if (produced > 0) {
        if (const HRESULT hr = out(reinterpret_cast<const char*>(buffer_.get()), produced); FAILED(hr)) return hr;
      }
      if (rc == Z_STREAM_END) {
        ended_ = true;
        return S_OK;
      }
      if (rc == Z_BUF_ERROR && z_.avail_in == 0) return S_OK;  // wants more input
      if (rc != Z_OK) return rc == Z_MEM_ERROR ? E_OUTOFMEMORY : INET_E_DOWNLOAD_FAILURE;
      if (z_.avail_in == 0 && z_.avail_out != 0) return S_OK;
    }
  }

  TKind kind_ = dkNone;
  z_stream z_{};
  bool started_ = false, ended_ = false;
  std::string pending_;
  std::unique_ptr<unsigned char[]> buffer_;
};

bool SchemeIs(CURL* e, const char* a, const char* b = nullptr) {
  char* scheme = nullptr;
  curl_easy_getinfo(e, CURLINFO_SCHEME, &scheme);
  return scheme && (strcasecmp(scheme, a) == 0 || (b && strcasecmp(scheme, b) == 0));
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

namespace net {

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
      while (b > a && (headers[b - 1] == '\r' || headers[b - 1] == ' ' || headers[b - 1] == '\t')) --b;
      value = headers.substr(a, b - a);
    }
    pos = end + 1;
  }
  return value;
}

struct TTransfer::TState {
  TTransferOptions o;
  class TCurlThread* thread = nullptr;
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  std::string headers;      // of the latest response
  bool redirected = false;  // some response was a 3xx with a Location
  bool bodyStarted = false;
  bool ran = false;
  ULONGLONG received = 0;
  HRESULT bodyFailure = S_OK;
  TDecoder decoder;
  bool done = false;
  CURLcode result = CURLE_OK;
  // When the last byte (of a header or the body) came in.
  TClock::time_point lastActivity = TClock::now();

  HRESULT Deliver(const char* data, std::size_t size) {
    if (o.OnBody) {
      if (const HRESULT hr = o.OnBody(data, size); FAILED(hr)) return hr;
    }
    received += size;
    return S_OK;
  }

  // The body's encoding is known once its first byte arrives: the headers are in.
  bool ChooseDecoder() {
    if (!SchemeIs(easy, "http", "https")) return true;
    const std::string encoding = AsciiLowerCase(HeaderValue(headers, "Content-Encoding"));
    if (encoding.empty() || encoding == "identity") return true;
    if (encoding == "gzip" || encoding == "x-gzip") decoder.Choose(TDecoder::dkGzip);
    else if (encoding == "deflate") decoder.Choose(TDecoder::dkDeflate);
    else return false;
    return true;
  }
};

namespace {

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto* s = static_cast<TTransfer::TState*>(user);
  const std::size_t bytes = size * count;
  s->lastActivity = TClock::now();
  HRESULT hr = S_OK;
  if (!s->bodyStarted) {
    s->bodyStarted = true;
    if (!s->ChooseDecoder()) hr = INET_E_DOWNLOAD_FAILURE;
  }
  if (SUCCEEDED(hr)) {
    hr = s->decoder.Active()
             ? s->decoder.Feed(data, bytes, [s](const char* d, std::size_t n) { return s->Deliver(d, n); })
             : s->Deliver(data, bytes);
  }
  if (FAILED(hr)) {
    s->bodyFailure = hr;
    return 0;  // curl stops with a write error
  }
  return bytes;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* s = static_cast<TTransfer::TState*>(user);
  const std::size_t bytes = size * count;
  s->lastActivity = TClock::now();
  // A new response begins: keep only its headers, and remember redirects.
  if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0) s->headers.clear();
  if (IsRedirectStatusLine(data, bytes)) s->redirected = true;
  if (s->headers.size() + bytes <= kMaxHeaderText) s->headers.append(data, bytes);
  return bytes;
}

}  // namespace

// The calling thread's curl state: one multi handle, whose connection and DNS
// caches outlive each transfer, so consecutive transfers from one server reuse
// the connection; and idle easy handles for reuse (more than one when a pump
// starts a transfer inside a transfer).
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

  // Delivers the ends of the transfers, outer ones included, to their own records.
  void Collect() {
    int queued = 0;
    while (CURLMsg* m = curl_multi_info_read(multi_, &queued)) {
      if (m->msg != CURLMSG_DONE) continue;
      TTransfer::TState* s = nullptr;
      curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&s));
      if (s) {
        s->done = true;
        s->result = m->data.result;
      }
    }
  }

 private:
  CURLM* multi_ = nullptr;
  std::vector<CURL*> idle_;
};

namespace {

TCurlThread& CurlThread() {
  thread_local TCurlThread state;
  return state;
}

void SetOptions(CURL* e, TTransfer::TState& s, const TDownloadSettings& settings) {
  curl_easy_setopt(e, CURLOPT_URL, s.o.Url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, &s);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &s);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &s);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
  // CURLOPT_NOSIGNAL stays off: then curl keeps the SIGPIPE that a TLS write
  // to a closed connection raises away from the program.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, s.o.Protocols.c_str());
  // A web server must not point us at local files.
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, settings.MaxRedirects);
  curl_easy_setopt(e, CURLOPT_AUTOREFERER, 1L);
  // Error pages are not saved as the file.
  curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(e, CURLOPT_FILETIME, 1L);
  // Offered, and decoded by TDecoder, which notices a stream cut short.
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(e, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  long connect = settings.ConnectTimeoutMs;
  if (s.o.TimeoutMs > 0) connect = std::min(connect, s.o.TimeoutMs);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connect);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.CaInfo.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, settings.CaInfo.c_str());
  curl_easy_setopt(e, CURLOPT_USERAGENT, settings.UserAgent.c_str());
  const std::string noProxy = NoProxyList();
  curl_easy_setopt(e, CURLOPT_NOPROXY, noProxy.c_str());  // curl copies option strings
  if (s.headerList) curl_easy_setopt(e, CURLOPT_HTTPHEADER, s.headerList);
}

}  // namespace

TTransfer::TTransfer(TTransferOptions options) : s_(std::make_unique<TState>()) { s_->o = std::move(options); }

TTransfer::~TTransfer() {
  if (s_->easy) s_->thread->Give(s_->easy);
  curl_slist_free_all(s_->headerList);
}

HRESULT TTransfer::Run() {
  TState& s = *s_;
  if (s.ran) return E_FAIL;
  s.ran = true;
  for (const std::string& h : s.o.Headers) {
    // A header line must stay one line.
    if (h.find_first_of("\r\n") != std::string::npos) return E_INVALIDARG;
    curl_slist* grown = curl_slist_append(s.headerList, h.c_str());
    if (!grown) return E_OUTOFMEMORY;
    s.headerList = grown;
  }
  TCurlThread& thread = CurlThread();
  CURLM* multi = thread.Multi();
  if (!multi) return E_OUTOFMEMORY;
  s.easy = thread.Take();
  if (!s.easy) return E_OUTOFMEMORY;
  s.thread = &thread;
  CURL* e = s.easy;
  SetOptions(e, s, GetDownloadSettings());
  if (curl_multi_add_handle(multi, e) != CURLM_OK) return E_OUTOFMEMORY;

  bool cancelled = false, timedOut = false;
  const auto start = TClock::now();
  auto lastPump = start;
  s.lastActivity = start;
  const bool hasStall = s.o.StallTimeoutMs > 0, hasLimit = s.o.TimeoutMs > 0;
  const auto stall = std::chrono::milliseconds(std::max(s.o.StallTimeoutMs, 1L));
  const auto limit = start + std::chrono::milliseconds(std::max(s.o.TimeoutMs, 1L));
  const auto isCancelled = [&] { return s.o.Cancelled && s.o.Cancelled(); };
  for (;;) {
    int running = 0;
    const CURLMcode mc = curl_multi_perform(multi, &running);
    thread.Collect();
    if (s.o.OnRound && !s.o.OnRound()) {
      cancelled = true;
      break;
    }
    if (s.done) break;
    if (mc != CURLM_OK) {
      s.result = CURLE_OUT_OF_MEMORY;
      break;
    }
    if (isCancelled()) {
      cancelled = true;
      break;
    }
    // curl's own low-speed check averages over seconds; a stall is measured
    // here from the last byte, exactly.
    auto now = TClock::now();
    if ((hasStall && now >= s.lastActivity + stall) || (hasLimit && now >= limit)) {
      timedOut = true;
      break;
    }
    if (HasBlockingCallPump() && now - lastPump >= kPumpInterval) {
      PumpDuringBlockingCall();
      lastPump = TClock::now();
      // The pump may have run a nested transfer that finished this one.
      if (s.done) continue;
      if (isCancelled()) {
        cancelled = true;
        break;
      }
      now = lastPump;
    }
    long wait = HasBlockingCallPump() ? kPumpWaitMs : s.o.Cancelled ? kCancelWaitMs : kIdleWaitMs;
    const auto until = [&](TClock::time_point t) {
      return std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count() + 1;
    };
    if (hasStall) wait = std::min<long>(wait, until(s.lastActivity + stall));
    if (hasLimit) wait = std::min<long>(wait, until(limit));
    curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max(wait, 1L)), nullptr);
  }
  curl_multi_remove_handle(multi, e);
  if (cancelled) return E_ABORT;
  if (timedOut) return INET_E_CONNECTION_TIMEOUT;

  if (s.result == CURLE_WRITE_ERROR && FAILED(s.bodyFailure)) return s.bodyFailure;
  const long status = Status();
  if (const HRESULT hr = HResultFromCurl(s.result, status, s.redirected); FAILED(hr)) return hr;
  // A 3xx that was not followed (no Location, or one curl could not use).
  if (OverHttp() && (status < 200 || status >= 300)) return INET_E_REDIRECT_FAILED;
  if (s.decoder.Active() && !s.decoder.Finished()) return INET_E_DOWNLOAD_FAILURE;
  return S_OK;
}

CURL* TTransfer::Easy() const { return s_->easy; }
const std::string& TTransfer::Headers() const { return s_->headers; }
bool TTransfer::BodyStarted() const { return s_->bodyStarted; }
bool TTransfer::CurlFinished() const { return s_->done && s_->result == CURLE_OK; }
ULONGLONG TTransfer::Received() const { return s_->received; }

long long TTransfer::ContentLength() const {
  curl_off_t length = -1;
  if (s_->easy) curl_easy_getinfo(s_->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  return length;
}

long TTransfer::Status() const {
  long status = 0;
  if (s_->easy) curl_easy_getinfo(s_->easy, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

std::string TTransfer::ContentType() const {
  char* type = nullptr;
  if (s_->easy) curl_easy_getinfo(s_->easy, CURLINFO_CONTENT_TYPE, &type);
  return type ? type : "";
}

std::string TTransfer::EffectiveUrl() const {
  char* where = nullptr;
  if (s_->easy) curl_easy_getinfo(s_->easy, CURLINFO_EFFECTIVE_URL, &where);
  return where ? where : "";
}

long TTransfer::RedirectCount() const {
  long count = 0;
  if (s_->easy) curl_easy_getinfo(s_->easy, CURLINFO_REDIRECT_COUNT, &count);
  return count;
}

bool TTransfer::OverHttp() const { return s_->easy && SchemeIs(s_->easy, "http", "https"); }
bool TTransfer::FromLocalFile() const { return s_->easy && SchemeIs(s_->easy, "file"); }

long long TTransfer::FileTime() const {
  curl_off_t t = -1;
  if (s_->easy) curl_easy_getinfo(s_->easy, CURLINFO_FILETIME_T, &t);
  return t;
}

}  // namespace net
}  // namespace win
