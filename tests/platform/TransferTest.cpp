// The transfer engine as its two users see it: file downloads and page fetches.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/net/Download.h"
#include "platform/net/PageFetch.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

namespace fs = std::filesystem;
using vorra::test::ListNames;
using vorra::test::ReadText;
using vorra::test::TBodyFault;
using vorra::test::THttpResponse;
using vorra::test::THttpServer;
using vorra::test::TScopedEnv;
using vorra::test::TTempDir;
using TClock = std::chrono::steady_clock;

// windowBits as deflateInit2 takes them: 15 + 16 gzip, 15 zlib.
std::string Compress(const std::string& text, int windowBits) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, text.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

THttpResponse Encoded(std::string body, const char* encoding) {
  THttpResponse r = THttpResponse::Text(std::move(body), "text/html");
  r.Headers.emplace_back("Content-Encoding", encoding);
  return r;
}

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() : home_(dir_ / "home"), env_("VORRA_HOME", home_) { fs::create_directories(dir_.Path() / "out"); }

  std::string Out(const std::string& name) const { return dir_ / ("out/" + name); }
  std::vector<std::string> OutNames() const { return ListNames(dir_.Path() / "out"); }
  // A body that begins and then waits for ever.
  void ServeStalled(const std::string& path) {
    THttpResponse r = THttpResponse::Generated(1 << 20);
    r.Fault = TBodyFault::bfStall;
    r.FaultAfter = 100;
    server_.Serve(path, r);
  }

  TTempDir dir_;
  std::string home_;
  TScopedEnv env_;
  TScopedEnv noProxy_{"no_proxy", std::string("*")};
  THttpServer server_;
};

TEST_F(TransferTest, ContentEncodingIsUndoneAndAStreamCutShortFails) {
  std::string page;
  for (int i = 0; i < 4000; ++i) page += "<p>line " + std::to_string(i) + "</p>\n";
  const std::string gzip = Compress(page, 15 + 16);
  server_.Serve("/gzip.html", Encoded(gzip, "gzip"));
  server_.Serve("/deflate.html", Encoded(Compress(page, 15), "deflate"));
  // The whole answer arrives, but the compressed stream in it stops half-way.
  server_.Serve("/cut.html", Encoded(gzip.substr(0, gzip.size() / 2), "gzip"));

  for (const char* path : {"/gzip.html", "/deflate.html"}) {
    const std::string name = std::string(path + 1);
    ASSERT_EQ(URLDownloadToFileA(nullptr, server_.Url(path).c_str(), Out(name).c_str(), 0, nullptr), S_OK) << path;
    EXPECT_EQ(ReadText(Out(name)), page) << path;
  }
  EXPECT_EQ(URLDownloadToFileA(nullptr, server_.Url("/cut.html").c_str(), Out("cut.html").c_str(), 0, nullptr),
            INET_E_DOWNLOAD_FAILURE);
  EXPECT_EQ(OutNames(), (std::vector<std::string>{"deflate.html", "gzip.html"}));

  net::TPageRequest request;
  net::TPageResponse response;
  request.Address = server_.Url("/cut.html");
  EXPECT_EQ(net::FetchPage(request, response), INET_E_DOWNLOAD_FAILURE);
  request.Address = server_.Url("/gzip.html");
  ASSERT_EQ(net::FetchPage(request, response), S_OK);
  EXPECT_EQ(response.Body, page);
}

TEST_F(TransferTest, TimeLimitAndCancelEndADownloadThatReceivesNothing) {
  ServeStalled("/drip.swf");
  TDownloadOptions limited;
  limited.TimeoutMs = 300;
  auto start = TClock::now();
  TDownloadResult r = DownloadToFile(server_.Url("/drip.swf"), Out("a.swf"), limited);
  EXPECT_EQ(r.Result, INET_E_CONNECTION_TIMEOUT);
  // Far below the stall rule's minute.
  EXPECT_LT(TClock::now() - start, std::chrono::seconds(10));

  // Asked again and again while no byte comes; the gaps between the questions stay short.
  TDownloadOptions cancelled;
  TClock::duration longestGap{};
  TClock::time_point first{}, last{};
  cancelled.Cancelled = [&] {
    const auto now = TClock::now();
    if (first == TClock::time_point{}) first = now;
    else longestGap = std::max(longestGap, now - last);
    last = now;
    return now - first > std::chrono::milliseconds(400);
  };
  r = DownloadToFile(server_.Url("/drip.swf"), Out("b.swf"), cancelled);
  EXPECT_EQ(r.Result, E_ABORT);
  EXPECT_LT(longestGap, std::chrono::milliseconds(500));
  EXPECT_TRUE(r.File.empty());
  EXPECT_TRUE(OutNames().empty());
}

TEST_F(TransferTest, PageFetchesAndDownloadsShareConnections) {
  server_.Serve("/page.html", THttpResponse::Text("<p>page</p>", "text/html"));
  server_.Serve("/m.swf", THttpResponse::Text("movie"));
  net::TPageRequest request;
  request.Address = server_.Url("/page.html");
  net::TPageResponse response;
  ASSERT_EQ(net::FetchPage(request, response), S_OK);
  ASSERT_EQ(net::FetchPage(request, response), S_OK);
  ASSERT_EQ(DownloadToFile(server_.Url("/m.swf"), Out("m.swf")).Result, S_OK);
  EXPECT_EQ(server_.Requests(), 3u);
  EXPECT_EQ(server_.Connections(), 1u);
}

}  // namespace
}  // namespace win
