// A small real HTTP/1.1 server for tests: 127.0.0.1 on an ephemeral port, its
// own thread, routes that the test registers. Besides plain answers it can
// misbehave on purpose: cut a body short, reset the connection, or stall in
// the middle of a body until released or stopped. Large bodies are generated
// while they are sent, never held in memory. Connections are kept alive. With
// TLS it serves https with a self-signed certificate for 127.0.0.1 that it
// makes at start.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorra::test {

using THeaders = std::vector<std::pair<std::string, std::string>>;

struct THttpRequest {
  std::string Method, Target, Path, Query, Version;
  THeaders Headers;
  std::string Body;
  // The value of a header, by name with case ignored; empty when missing.
  std::string Header(const std::string& name) const;
};

// What happens once FaultAfter bytes of the body have gone out.
enum class TBodyFault {
  bfNone,
  bfClose,  // the connection is closed (an orderly end, the body cut short)
  bfReset,  // the connection is reset (RST)
  bfStall,  // nothing more is sent until ReleaseStalls or the server stops
};

struct THttpResponse {
  int Status = 200;
  // Sent as given; Content-Length is added unless present.
  THeaders Headers;
  std::string Body;
  // A generated body of this many bytes (GeneratedByte) instead of Body.
  std::optional<std::uint64_t> GeneratedLength;
  TBodyFault Fault = TBodyFault::bfNone;
  std::uint64_t FaultAfter = 0;
  // Closes the connection after this answer.
  bool CloseAfter = false;

  static THttpResponse Text(std::string body, std::string contentType = "text/plain");
  static THttpResponse Redirect(std::string location, int status = 302);
  static THttpResponse Error(int status);
  static THttpResponse Generated(std::uint64_t length, std::string contentType = "application/octet-stream");
};

using THttpHandler = std::function<THttpResponse(const THttpRequest&)>;

class THttpServer {
 public:
  // Listens on 127.0.0.1 at a port the system picks; throws when it cannot.
  explicit THttpServer(bool tls = false);
  // Stops the thread; stalled answers end with their connections.
  ~THttpServer();
  THttpServer(const THttpServer&) = delete;
  THttpServer& operator=(const THttpServer&) = delete;

  std::uint16_t Port() const;
  // "http://127.0.0.1:PORT" (or https) followed by the path.
  std::string Url(const std::string& path) const;
  // The server's certificate (PEM) when it speaks TLS; empty otherwise.
  std::string CertificatePem() const;

  // Routes match the request's path exactly (the query is not part of it);
  // unknown paths get 404. Handlers run on the server's thread.
  void Route(const std::string& path, THttpHandler handler);
  void Serve(const std::string& path, THttpResponse response);

  // Lets every stalled answer go on to its end.
  void ReleaseStalls();

  // Requests answered and connections accepted so far.
  std::size_t Requests() const;
  std::size_t Connections() const;
  // "METHOD target" of each request, in order.
  std::vector<std::string> RequestLog() const;

  // The bytes of generated bodies: a fixed pseudo-random sequence.
  static unsigned char GeneratedByte(std::uint64_t offset);
  static std::string GeneratedBody(std::uint64_t length);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace vorra::test
