// The test server itself, spoken to over a raw socket, so later tests can
// lean on what it promises.
#include "tests/support/HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace vorra::test {
namespace {

class TRawClient {
 public:
  explicit TRawClient(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    const timeval limit{10, 0};  // a broken server fails the test instead of hanging it
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~TRawClient() { ::close(fd_); }
  bool Connected() const { return connected_; }
  void Send(const std::string& s) { ASSERT_EQ(::send(fd_, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size())); }
  // Reads until the text holds `until` (or, with an empty one, to the end).
  std::string Read(const std::string& until = {}) {
    char buf[4096];
    while (until.empty() || in_.find(until) == std::string::npos) {
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      in_.append(buf, static_cast<std::size_t>(n));
    }
    return in_;
  }
  std::string ReadAtLeast(std::size_t size) {
    char buf[4096];
    while (in_.size() < size) {
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      in_.append(buf, static_cast<std::size_t>(n));
    }
    return in_;
  }

 private:
  int fd_;
  bool connected_ = false;
  std::string in_;
};

TEST(HttpServerTest, HandlersSeeTheRequestAndShapeTheAnswer) {
  THttpServer server;
  THttpRequest seen;
  server.Route("/echo", [&](const THttpRequest& r) {
    seen = r;
    THttpResponse a = THttpResponse::Text("got " + r.Body, "text/x-test");
    a.Status = 201;
    a.Headers.emplace_back("X-Extra", "1");
    return a;
  });
  TRawClient c(server.Port());
  ASSERT_TRUE(c.Connected());
  c.Send("POST /echo?a=1&b=2 HTTP/1.1\r\nHost: x\r\nX-Name:  spaced value \r\nContent-Length: 5\r\n"
         "Connection: close\r\n\r\nhello");
  const std::string answer = c.Read();
  EXPECT_EQ(seen.Method, "POST");
  EXPECT_EQ(seen.Path, "/echo");
  EXPECT_EQ(seen.Query, "a=1&b=2");
  EXPECT_EQ(seen.Header("x-name"), "spaced value");
  EXPECT_EQ(seen.Body, "hello");
  EXPECT_EQ(answer.rfind("HTTP/1.1 201 ", 0), 0u) << answer;
  EXPECT_NE(answer.find("Content-Type: text/x-test\r\n"), std::string::npos);
  EXPECT_NE(answer.find("X-Extra: 1\r\n"), std::string::npos);
  EXPECT_NE(answer.find("Content-Length: 9\r\n"), std::string::npos);
  EXPECT_EQ(answer.substr(answer.size() - 9), "got hello");
  EXPECT_EQ(server.RequestLog(), std::vector<std::string>{"POST /echo?a=1&b=2"});
}

TEST(HttpServerTest, PipelinedRequestsOnOneConnection) {
  THttpServer server;
  server.Serve("/a", THttpResponse::Text("first"));
  server.Serve("/b", THttpResponse::Generated(3000));
  TRawClient c(server.Port());
  c.Send("GET /a HTTP/1.1\r\nHost: x\r\n\r\nHEAD /b HTTP/1.1\r\nHost: x\r\n\r\nGET /missing HTTP/1.1\r\n"
         "Host: x\r\nConnection: close\r\n\r\n");
  const std::string all = c.Read();
  const std::size_t first = all.find("first"), head = all.find("Content-Length: 3000"),
                    missing = all.find("HTTP/1.1 404 Not Found");
  ASSERT_NE(first, std::string::npos) << all;
  ASSERT_NE(head, std::string::npos) << all;
  ASSERT_NE(missing, std::string::npos) << all;
  EXPECT_LT(first, head);
  EXPECT_LT(head, missing);
  // HEAD sends no body: the 404 answer follows the head at once.
  EXPECT_EQ(all.find("\r\n\r\n", head) + 4, missing);
  EXPECT_EQ(server.Connections(), 1u);
  EXPECT_EQ(server.Requests(), 3u);
}

TEST(HttpServerTest, MalformedRequestIsRefusedAndClosed) {
  THttpServer server;
  TRawClient c(server.Port());
  c.Send("NONSENSE\r\n\r\n");
  const std::string answer = c.Read();
  EXPECT_EQ(answer.rfind("HTTP/1.1 400 ", 0), 0u) << answer;
  EXPECT_NE(answer.find("Connection: close"), std::string::npos);
}

TEST(HttpServerTest, StallHoldsUntilReleasedAndStopEndsIt) {
  auto server = std::make_unique<THttpServer>();
  THttpResponse r = THttpResponse::Generated(1000);
  r.Fault = TBodyFault::bfStall;
  r.FaultAfter = 10;
  server->Serve("/s", r);
  {
    TRawClient c(server->Port());
    c.Send("GET /s HTTP/1.1\r\nHost: x\r\n\r\n");
    const std::string head = c.Read("\r\n\r\n");
    const std::size_t body = head.find("\r\n\r\n") + 4;
    server->ReleaseStalls();
    EXPECT_EQ(c.ReadAtLeast(body + 1000).substr(body), THttpServer::GeneratedBody(1000));
  }
  TRawClient stalled(server->Port());
  stalled.Send("GET /s HTTP/1.1\r\nHost: x\r\n\r\n");
  stalled.Read("\r\n\r\n");
  server.reset();  // must return although an answer is stalled
  const std::string rest = stalled.Read();  // the end of the connection
  EXPECT_EQ(rest.size() - (rest.find("\r\n\r\n") + 4), 10u);
}

}  // namespace
}  // namespace vorra::test
