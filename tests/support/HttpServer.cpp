#include "tests/support/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace vorra::test {

namespace {

// Generated bodies repeat a random block whose length is prime, so that no
// power-of-two chunking lines up with it; sends read straight out of it.
constexpr std::size_t kPeriod = 65521;
constexpr std::size_t kChunk = 1 << 20;
constexpr std::size_t kMaxRequestHead = 64 * 1024;

const unsigned char* Pattern() {
  static const std::vector<unsigned char> block = [] {
    std::vector<unsigned char> b(kPeriod + kChunk);
    std::uint32_t x = 0x9E3779B9u;
    for (std::size_t i = 0; i < kPeriod; ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      b[i] = static_cast<unsigned char>(x >> 24);
    }
    for (std::size_t i = kPeriod; i < b.size(); ++i) b[i] = b[i % kPeriod];
    return b;
  }();
  return block.data();
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 410: return "Gone";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

bool HasHeader(const THeaders& headers, const char* name) {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& h) { return strcasecmp(h.first.c_str(), name) == 0; });
}

std::string Trim(const std::string& s) {
  const std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Parses one request head (without the blank line); false when malformed.
bool ParseHead(const std::string& head, THttpRequest& r) {
  std::size_t eol = head.find("\r\n");
  const std::string line = head.substr(0, eol);
  const std::size_t s1 = line.find(' '), s2 = line.rfind(' ');
  if (s1 == std::string::npos || s2 == s1) return false;
  r.Method = line.substr(0, s1);
  r.Target = line.substr(s1 + 1, s2 - s1 - 1);
  r.Version = line.substr(s2 + 1);
  if (r.Version.rfind("HTTP/1.", 0) != 0 || r.Target.empty()) return false;
  const std::size_t q = r.Target.find('?');
  r.Path = r.Target.substr(0, q);
  r.Query = q == std::string::npos ? "" : r.Target.substr(q + 1);
  while (eol != std::string::npos) {
    const std::size_t start = eol + 2;
    eol = head.find("\r\n", start);
    const std::string h = head.substr(start, eol == std::string::npos ? std::string::npos : eol - start);
    if (h.empty()) continue;
    const std::size_t colon = h.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    r.Headers.emplace_back(h.substr(0, colon), Trim(h.substr(colon + 1)));
  }
  return true;
}

// A key and a self-signed certificate for 127.0.0.1, valid for a day.
struct TTlsIdentity {
  SSL_CTX* Ctx = nullptr;
  std::string CertPem;

  TTlsIdentity() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    bool ok = key && cert;
    if (ok) {
      X509_set_version(cert, 2);
      ASN1_INTEGER_set(X509_get_serialNumber(cert), static_cast<long>(::getpid()));
      X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
      X509_gmtime_adj(X509_getm_notAfter(cert), 86400);
      X509_set_pubkey(cert, key);
      X509_NAME* name = X509_get_subject_name(cert);
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                                 -1, 0);
      X509_set_issuer_name(cert, name);
      X509V3_CTX v3;
      X509V3_set_ctx_nodb(&v3);
      X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
      for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1"},
                                       std::pair{NID_basic_constraints, "critical,CA:TRUE"},
                                       std::pair{NID_subject_key_identifier, "hash"}}) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
        ok = ok && ext && X509_add_ext(cert, ext, -1);
        X509_EXTENSION_free(ext);
      }
      ok = ok && X509_sign(cert, key, EVP_sha256()) > 0;
    }
    if (ok) {
      Ctx = SSL_CTX_new(TLS_server_method());
      ok = Ctx && SSL_CTX_use_certificate(Ctx, cert) == 1 && SSL_CTX_use_PrivateKey(Ctx, key) == 1;
      if (Ctx) SSL_CTX_set_mode(Ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    }
    if (ok) {
      BIO* bio = BIO_new(BIO_s_mem());
      PEM_write_bio_X509(bio, cert);
      char* data = nullptr;
      const long n = BIO_get_mem_data(bio, &data);
      CertPem.assign(data, static_cast<std::size_t>(n));
      BIO_free(bio);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!ok) {
      SSL_CTX_free(Ctx);
      throw std::runtime_error("cannot make a TLS certificate");
    }
  }
  ~TTlsIdentity() { SSL_CTX_free(Ctx); }
};

struct TConnection {
  int Fd = -1;
  SSL* Ssl = nullptr;
  bool Handshaken = false;
  // TLS may need to write while reading (or read while writing).
  bool WantWrite = false;
  std::string In;
  // The answer going out: head, then body (fixed or generated).
  std::string Head;
  std::size_t HeadSent = 0;
  std::string Body;
  std::uint64_t BodyLength = 0, BodySent = 0;
  bool Generated = false;
  TBodyFault Fault = TBodyFault::bfNone;
  std::uint64_t FaultAfter = 0;
  bool Writing = false, Stalled = false, CloseAfter = false;
};

}  // namespace

std::string THttpRequest::Header(const std::string& name) const {
  for (const auto& [n, v] : Headers)
    if (strcasecmp(n.c_str(), name.c_str()) == 0) return v;
  return {};
}

THttpResponse THttpResponse::Text(std::string body, std::string contentType) {
  THttpResponse r;
  r.Headers.emplace_back("Content-Type", std::move(contentType));
  r.Body = std::move(body);
  return r;
}

THttpResponse THttpResponse::Redirect(std::string location, int status) {
  THttpResponse r;
  r.Status = status;
  r.Headers.emplace_back("Location", std::move(location));
  return r;
}

THttpResponse THttpResponse::Error(int status) {
  THttpResponse r = Text(std::string(Reason(status)) + "\n");
  r.Status = status;
  return r;
}

THttpResponse THttpResponse::Generated(std::uint64_t length, std::string contentType) {
  THttpResponse r;
  r.Headers.emplace_back("Content-Type", std::move(contentType));
  r.GeneratedLength = length;
  return r;
}

unsigned char THttpServer::GeneratedByte(std::uint64_t offset) { return Pattern()[offset % kPeriod]; }

std::string THttpServer::GeneratedBody(std::uint64_t length) {
  std::string s(length, '\0');
  const unsigned char* p = Pattern();
  for (std::uint64_t i = 0; i < length; ++i) s[i] = static_cast<char>(p[i % kPeriod]);
  return s;
}

struct THttpServer::TImpl {
  int Listen = -1;
  int Wake[2] = {-1, -1};
  std::uint16_t Port = 0;
  std::thread Thread;
  std::atomic<bool> Stopping{false};
  std::atomic<unsigned> ReleaseGeneration{0};

  mutable std::mutex Lock;
  std::map<std::string, THttpHandler> Routes;
  std::vector<std::string> Log;
  std::size_t RequestCount = 0, ConnectionCount = 0;

  std::list<TConnection> Conns;
  std::unique_ptr<TTlsIdentity> Tls;

  void Poke() {
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(Wake[1], &c, 1);
  }

  void Run() {
    unsigned released = 0;
    std::vector<pollfd> fds;
    std::vector<TConnection*> owners;
    while (!Stopping) {
      fds.clear();
      owners.clear();
      fds.push_back({Wake[0], POLLIN, 0});
      fds.push_back({Listen, POLLIN, 0});
      for (TConnection& c : Conns) {
        short ev = POLLIN;
        if ((c.Writing && !c.Stalled) || c.WantWrite) ev |= POLLOUT;
        fds.push_back({c.Fd, ev, 0});
        owners.push_back(&c);
      }
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[0].revents & POLLIN) {
        char buf[64];
        while (::read(Wake[0], buf, sizeof buf) > 0) {}
      }
      if (Stopping) break;
      if (const unsigned gen = ReleaseGeneration.load(); gen != released) {
        released = gen;
        for (TConnection& c : Conns)
          if (c.Stalled) {
            c.Stalled = false;
            c.Fault = TBodyFault::bfNone;
          }
      }
      if (fds[1].revents & POLLIN) Accept();
      for (std::size_t i = 0; i < owners.size(); ++i) {
        TConnection& c = *owners[i];
        const short re = fds[i + 2].revents;
        if ((re & (POLLIN | POLLHUP | POLLERR)) || (c.WantWrite && (re & POLLOUT))) OnReadable(c);
        if (c.Fd >= 0 && c.Writing && !c.Stalled) Flush(c);
      }
      Conns.remove_if([](const TConnection& c) { return c.Fd < 0; });
    }
    for (TConnection& c : Conns) Close(c);
    Conns.clear();
  }

  void Accept() {
    for (;;) {
      const int fd = ::accept4(Listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      TConnection& c = Conns.emplace_back();
      c.Fd = fd;
      if (Tls) {
        c.Ssl = SSL_new(Tls->Ctx);
        SSL_set_fd(c.Ssl, fd);
      }
      std::lock_guard lock(Lock);
      ++ConnectionCount;
    }
  }

  void Close(TConnection& c, bool reset = false) {
    if (c.Fd < 0) return;
    if (c.Ssl) {
      SSL_free(c.Ssl);
      c.Ssl = nullptr;
    }
    if (reset) {
      const linger l{1, 0};
      ::setsockopt(c.Fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(c.Fd);
    c.Fd = -1;
  }

  void OnReadable(TConnection& c) {
    char buf[16384];
    for (;;) {
      const ssize_t n = Recv(c, buf, sizeof buf);
      if (n > 0) {
        c.In.append(buf, static_cast<std::size_t>(n));
        if (c.In.size() > kMaxRequestHead + (1 << 24)) return Close(c);
        continue;
      }
      if (n == 0) return Close(c);  // the client went away
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      return Close(c);
    }
    if (!c.Writing) NextRequest(c);
  }

  // Starts the answer to the next complete request waiting in the buffer.
  void NextRequest(TConnection& c) {
    const std::size_t end = c.In.find("\r\n\r\n");
    if (end == std::string::npos) {
      if (c.In.size() > kMaxRequestHead) Answer(c, {}, THttpResponse::Error(431), true);
      return;
    }
    THttpRequest r;
    if (!ParseHead(c.In.substr(0, end), r)) {
      c.In.clear();
      return Answer(c, r, THttpResponse::Error(400), true);
    }
    if (!r.Header("Transfer-Encoding").empty()) {
      c.In.clear();
      return Answer(c, r, THttpResponse::Error(501), true);
    }
    std::size_t length = 0;
    if (const std::string cl = r.Header("Content-Length"); !cl.empty()) {
      char* stop = nullptr;
      const unsigned long long v = std::strtoull(cl.c_str(), &stop, 10);
      if (*stop || v > (1u << 24)) {
        c.In.clear();
        return Answer(c, r, THttpResponse::Error(400), true);
      }
      length = static_cast<std::size_t>(v);
    }
    if (c.In.size() < end + 4 + length) return;  // the body is still coming
    r.Body = c.In.substr(end + 4, length);
    c.In.erase(0, end + 4 + length);

    const std::string conn = r.Header("Connection");
    const bool close = r.Version == "HTTP/1.0" ? strcasecmp(conn.c_str(), "keep-alive") != 0
                                               : strcasecmp(conn.c_str(), "close") == 0;
    THttpHandler handler;
    {
      std::lock_guard lock(Lock);
      Log.push_back(r.Method + " " + r.Target);
      ++RequestCount;
      if (auto it = Routes.find(r.Path); it != Routes.end()) handler = it->second;
    }
    THttpResponse response;
    try {
      response = handler ? handler(r) : THttpResponse::Error(404);
    } catch (...) {
      response = THttpResponse::Error(500);
    }
    Answer(c, r, std::move(response), close);
  }

  void Answer(TConnection& c, const THttpRequest& r, THttpResponse resp, bool close) {
    c.CloseAfter = close || resp.CloseAfter;
    c.Generated = resp.GeneratedLength.has_value();
    c.BodyLength = c.Generated ? *resp.GeneratedLength : resp.Body.size();
    c.Body = std::move(resp.Body);
    c.BodySent = 0;
    c.Fault = resp.Fault;
    c.FaultAfter = resp.FaultAfter;
    std::string head = "HTTP/1.1 " + std::to_string(resp.Status) + " " + Reason(resp.Status) + "\r\n";
    for (const auto& [n, v] : resp.Headers) head += n + ": " + v + "\r\n";
    if (!HasHeader(resp.Headers, "Content-Length")) head += "Content-Length: " + std::to_string(c.BodyLength) + "\r\n";
    if (c.CloseAfter) head += "Connection: close\r\n";
    head += "\r\n";
    c.Head = std::move(head);
    c.HeadSent = 0;
    if (r.Method == "HEAD") c.BodyLength = 0;
    c.Writing = true;
    Flush(c);
  }

  // Sends what the socket takes now.
  void Flush(TConnection& c) {
    while (c.Fd >= 0 && c.Writing && !c.Stalled) {
      if (c.HeadSent < c.Head.size()) {
        const ssize_t n = Send(c, c.Head.data() + c.HeadSent, c.Head.size() - c.HeadSent);
        if (!Sent(c, n)) return;
        c.HeadSent += static_cast<std::size_t>(n);
        continue;
      }
      std::uint64_t limit = c.BodyLength;
      if (c.Fault != TBodyFault::bfNone) limit = std::min(limit, c.FaultAfter);
      if (c.BodySent >= limit && c.BodySent < c.BodyLength) {
        switch (c.Fault) {
          case TBodyFault::bfClose: return Close(c);
          case TBodyFault::bfReset: return Close(c, true);
          case TBodyFault::bfStall: c.Stalled = true; return;
          case TBodyFault::bfNone: break;
        }
      }
      if (c.BodySent >= c.BodyLength) {
        c.Writing = false;
        if (c.CloseAfter) return Close(c);
        NextRequest(c);  // a pipelined request may be waiting
        return;
      }
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(limit - c.BodySent, kChunk));
      const char* data = c.Generated
                             ? reinterpret_cast<const char*>(Pattern()) + (c.BodySent % kPeriod)
                             : c.Body.data() + c.BodySent;
      const ssize_t n = Send(c, data, want);
      if (!Sent(c, n)) return;
      c.BodySent += static_cast<std::uint64_t>(n);
    }
  }

  // recv and send, through TLS when the server speaks it; errno EAGAIN when
  // the socket (or TLS) must wait.
  ssize_t Recv(TConnection& c, char* buf, std::size_t size) {
    if (!c.Ssl) return ::recv(c.Fd, buf, size, 0);
    if (!Handshake(c)) return -1;
    const int n = SSL_read(c.Ssl, buf, static_cast<int>(size));
    return n > 0 ? n : TlsFailure(c, n);
  }

  ssize_t Send(TConnection& c, const char* data, std::size_t size) {
    if (!c.Ssl) return ::send(c.Fd, data, size, MSG_NOSIGNAL);
    if (!Handshake(c)) return -1;
    const int n = SSL_write(c.Ssl, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)));
    return n > 0 ? n : TlsFailure(c, n);
  }

  bool Handshake(TConnection& c) {
    if (c.Handshaken) return true;
    const int r = SSL_accept(c.Ssl);
    if (r == 1) {
      c.Handshaken = true;
      c.WantWrite = false;
      return true;
    }
    TlsFailure(c, r);
    return false;
  }

  ssize_t TlsFailure(TConnection& c, int r) {
    const int err = SSL_get_error(c.Ssl, r);
    ERR_clear_error();
    c.WantWrite = err == SSL_ERROR_WANT_WRITE;
    if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) errno = EAGAIN;
    else if (err == SSL_ERROR_ZERO_RETURN) return 0;
    else errno = ECONNRESET;
    return -1;
  }

  // False when the socket is full (wait for POLLOUT) or broken (closed here).
  bool Sent(TConnection& c, ssize_t n) {
    if (n >= 0) return true;
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Close(c);
    return false;
  }
};

THttpServer::THttpServer(bool tls) : impl_(std::make_unique<TImpl>()) {
  TImpl& m = *impl_;
  if (tls) m.Tls = std::make_unique<TTlsIdentity>();
  if (::pipe2(m.Wake, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  m.Listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (m.Listen < 0 || ::bind(m.Listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(m.Listen, 128) != 0 || ::getsockname(m.Listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    const std::string why = std::strerror(errno);
    if (m.Listen >= 0) ::close(m.Listen);
    ::close(m.Wake[0]);
    ::close(m.Wake[1]);
    throw std::runtime_error("cannot listen on 127.0.0.1: " + why);
  }
  m.Port = ntohs(addr.sin_port);
  m.Thread = std::thread([&m] {
    // TLS writes to a closed connection must fail with EPIPE, not kill the tests.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    m.Run();
  });
}

THttpServer::~THttpServer() {
  impl_->Stopping = true;
  impl_->Poke();
  impl_->Thread.join();
  ::close(impl_->Listen);
  ::close(impl_->Wake[0]);
  ::close(impl_->Wake[1]);
}

std::uint16_t THttpServer::Port() const { return impl_->Port; }

std::string THttpServer::Url(const std::string& path) const {
  return (impl_->Tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(impl_->Port) + path;
}

std::string THttpServer::CertificatePem() const { return impl_->Tls ? impl_->Tls->CertPem : std::string(); }

void THttpServer::Route(const std::string& path, THttpHandler handler) {
  std::lock_guard lock(impl_->Lock);
  impl_->Routes[path] = std::move(handler);
}

void THttpServer::Serve(const std::string& path, THttpResponse response) {
  Route(path, [response](const THttpRequest&) { return response; });
}

void THttpServer::ReleaseStalls() {
  impl_->ReleaseGeneration.fetch_add(1);
  impl_->Poke();
}

std::size_t THttpServer::Requests() const {
  std::lock_guard lock(impl_->Lock);
  return impl_->RequestCount;
}

std::size_t THttpServer::Connections() const {
  std::lock_guard lock(impl_->Lock);
  return impl_->ConnectionCount;
}

std::vector<std::string> THttpServer::RequestLog() const {
  std::lock_guard lock(impl_->Lock);
  return impl_->Log;
}

}  // namespace vorra::test
