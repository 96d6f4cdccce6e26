#include "platform/net/Download.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/net/UrlCache.h"
#include "platform/win/MessagePump.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

namespace fs = std::filesystem;
using vorra::test::ListNames;
using vorra::test::ReadText;
using vorra::test::TBodyFault;
using vorra::test::THttpRequest;
using vorra::test::THttpResponse;
using vorra::test::THttpServer;
using vorra::test::TScopedEnv;
using vorra::test::TTempDir;
using vorra::test::WriteText;

// Bytes that text handling would spoil: zeros, CR LF, high bytes.
std::string BinaryBody(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

struct TCacheEntry {
  std::string Url, File, Headers, Extension;
  DWORD Size = 0;
  FILETIME LastModified, Expire;
};

std::vector<TCacheEntry> CacheEntries() {
  std::vector<TCacheEntry> out;
  std::vector<char> buf(256);
  DWORD size = static_cast<DWORD>(buf.size());
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  HANDLE h = FindFirstUrlCacheEntryExA(nullptr, 0, NORMAL_CACHE_ENTRY, 0, info, &size, nullptr, nullptr, nullptr);
  while (!h && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    buf.resize(size);
    info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
    h = FindFirstUrlCacheEntryExA(nullptr, 0, NORMAL_CACHE_ENTRY, 0, info, &size, nullptr, nullptr, nullptr);
  }
  if (!h) return out;
  for (;;) {
    TCacheEntry e;
    e.Url = info->lpszSourceUrlName ? info->lpszSourceUrlName : "";
    e.File = info->lpszLocalFileName ? info->lpszLocalFileName : "";
    if (info->lpHeaderInfo) e.Headers.assign(info->lpHeaderInfo, info->dwHeaderInfoSize);
    e.Extension = info->lpszFileExtension ? info->lpszFileExtension : "";
    e.Size = info->dwSizeLow;
    e.LastModified = info->LastModifiedTime;
    e.Expire = info->ExpireTime;
    out.push_back(e);
    size = static_cast<DWORD>(buf.size());
    if (FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr)) continue;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buf.resize(size);
    info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
    if (!FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr)) break;
  }
  FindCloseUrlCache(h);
  return out;
}

const TCacheEntry* FindEntry(const std::vector<TCacheEntry>& entries, const std::string& url) {
  for (const auto& e : entries)
    if (e.Url == url) return &e;
  return nullptr;
}

bool InCache(const std::string& url) {
  const auto entries = CacheEntries();
  return FindEntry(entries, url) != nullptr;
}

class TRecorder : public IBindStatusCallback {
 public:
  struct TCall {
    ULONG Progress, Max, Code;
    std::string Text;
  };
  HRESULT OnProgress(ULONG progress, ULONG max, ULONG code, LPCSTR text) override {
    calls.push_back({progress, max, code, text ? text : ""});
    return abortOn && code == *abortOn ? E_ABORT : S_OK;
  }
  std::vector<ULONG> Codes() const {
    std::vector<ULONG> c;
    for (const auto& x : calls) c.push_back(x.Code);
    return c;
  }
  bool Saw(ULONG code) const {
    for (const auto& x : calls)
      if (x.Code == code) return true;
    return false;
  }
  std::vector<TCall> calls;
  std::optional<ULONG> abortOn;
};

class TSettingsScope {
 public:
  explicit TSettingsScope(const TDownloadSettings& s) : old_(GetDownloadSettings()) { SetDownloadSettings(s); }
  ~TSettingsScope() { SetDownloadSettings(old_); }

 private:
  TDownloadSettings old_;
};

class DownloadTestBase : public ::testing::Test {
 protected:
  DownloadTestBase() : home_(dir_ / "home"), env_("VORRA_HOME", home_) { fs::create_directories(dir_.Path() / "out"); }

  std::string Out(const std::string& name) const { return dir_ / ("out/" + name); }
  std::string Content() const { return home_ + "/cache/UrlCache/Content/"; }
  // The cache's files; none when the cache folder was never made.
  std::vector<std::string> ContentNames() const {
    return fs::exists(Content()) ? ListNames(Content()) : std::vector<std::string>{};
  }
  std::vector<std::string> OutNames() const { return ListNames(dir_.Path() / "out"); }
  HRESULT Get(const std::string& url, const std::string& target, IBindStatusCallback* cb = nullptr) {
    return URLDownloadToFileA(nullptr, url.c_str(), target.c_str(), 0, cb);
  }

  TTempDir dir_;
  std::string home_;
  TScopedEnv env_;
  TScopedEnv noProxy_{"no_proxy", std::string("*")};
};

class DownloadTest : public DownloadTestBase {
 protected:
  THttpServer server_;
};

// Forking while another thread runs can leave a child holding a lock for ever
// (the sanitizers' allocator does): these tests fork before any server starts.
using DownloadForkTest = DownloadTestBase;

TEST_F(DownloadTest, HttpBodyArrivesIntactAndIsCached) {
  const std::string body = BinaryBody(300000);
  THttpResponse r = THttpResponse::Text(body, "application/x-shockwave-flash");
  r.Headers.emplace_back("Last-Modified", "Wed, 21 Oct 2015 07:28:00 GMT");
  r.Headers.emplace_back("Expires", "Thu, 01 Jan 2037 00:00:10 GMT");
  server_.Serve("/movies/Intro.swf", r);
  const std::string url = server_.Url("/movies/Intro.swf?x=1");

  ASSERT_EQ(Get(url, Out("intro.swf")), S_OK);
  EXPECT_EQ(ReadText(Out("intro.swf")), body);
  EXPECT_EQ(OutNames(), std::vector<std::string>{"intro.swf"});  // no temporary left over

  const auto entries = CacheEntries();
  const TCacheEntry* e = FindEntry(entries, url);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ReadText(e->File), body);
  EXPECT_EQ(e->Size, body.size());
  EXPECT_EQ(e->Extension, "swf");
  EXPECT_NE(e->Headers.find("Content-Type: application/x-shockwave-flash"), std::string::npos);
  // The header times in 100 ns steps since 1601.
  const auto fileTime = [](unsigned long long unix) { return (unix + 11644473600ULL) * 10000000ULL; };
  const auto asNumber = [](FILETIME t) { return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  EXPECT_EQ(asNumber(e->LastModified), fileTime(1445412480ULL));  // 2015-10-21 07:28:00
  EXPECT_EQ(asNumber(e->Expire), fileTime(2114380810ULL));        // 2037-01-01 00:00:10
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

TEST_F(DownloadTest, CacheEntryIsASecondNameOfTheDownload) {
  const std::string body = BinaryBody(200000);
  server_.Serve("/a/movie.swf", THttpResponse::Text(body));
  server_.Serve("/b/movie.swf", THttpResponse::Text("second movie"));
  const std::string first = server_.Url("/a/movie.swf"), second = server_.Url("/b/movie.swf");

  ASSERT_EQ(Get(first, Out("m.swf")), S_OK);
  auto entries = CacheEntries();
  const TCacheEntry* e = FindEntry(entries, first);
  ASSERT_NE(e, nullptr);
  const std::string cached = e->File;
  EXPECT_EQ(ReadText(cached), body);
  EXPECT_EQ(e->Size, body.size());
  EXPECT_TRUE(SameFile(cached, Out("m.swf")));
  EXPECT_EQ(ContentNames(), std::vector<std::string>{"movie[1].swf"});  // nothing reserved beside it

  // A new download never takes the name of the first.
  EXPECT_EQ(Get(second, Out("m.swf")), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadText(Out("m.swf")), body);
  EXPECT_EQ(ReadText(cached), body);

  // Deleting the download leaves the cache's name, still listed.
  ASSERT_EQ(Get(second, Out("n.swf")), S_OK);
  fs::remove(Out("n.swf"));
  entries = CacheEntries();
  e = FindEntry(entries, second);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ReadText(e->File), "second movie");

  // Deleting the entry leaves the download.
  ASSERT_EQ(Get(first, Out("kept.swf")), S_OK);
  ASSERT_TRUE(DeleteUrlCacheEntry(first.c_str()));
  EXPECT_FALSE(InCache(first));
  EXPECT_EQ(ReadText(Out("kept.swf")), body);
  EXPECT_EQ(fs::hard_link_count(Out("kept.swf")), 1u);
}

TEST_F(DownloadForkTest, TwoProcessesDownloadingAtOnceNeverShareACacheName) {
  constexpr int PerChild = 25;
  const std::string bodies[2] = {BinaryBody(3000), "the other movie"};
  // The children learn the server's address when it is up; they are forked before its thread starts.
  vorra::test::TChildren children(2, [&](int c, const std::string& base) {
    int failures = base.empty() ? 1 : 0;
    for (int i = 0; i < PerChild; ++i) {
      const std::string own = base + "p" + std::to_string(c) + "/movie.swf?i=" + std::to_string(i);
      failures += Get(own, Out("c" + std::to_string(c) + "-" + std::to_string(i))) != S_OK;
      failures += Get(base + "same/movie.swf", Out("s" + std::to_string(c) + "-" + std::to_string(i))) != S_OK;
    }
    return failures;
  });
  THttpServer server;
  server.Serve("/p0/movie.swf", THttpResponse::Text(bodies[0]));
  server.Serve("/p1/movie.swf", THttpResponse::Text(bodies[1]));
  server.Serve("/same/movie.swf", THttpResponse::Text("shared movie"));
  children.Release(server.Url("/"));
  for (const int code : children.Wait()) EXPECT_EQ(code, 0);
  const auto own = [&](int c, int i) { return server.Url("/p" + std::to_string(c) + "/movie.swf?i=" + std::to_string(i)); };
  const auto entries = CacheEntries();
  ASSERT_EQ(entries.size(), 2u * PerChild + 1);
  std::set<std::string> files;
  for (const auto& e : entries) files.insert(e.File);
  EXPECT_EQ(files.size(), entries.size());
  for (int c = 0; c < 2; ++c)
    for (int i = 0; i < PerChild; ++i) {
      const TCacheEntry* e = FindEntry(entries, own(c, i));
      ASSERT_NE(e, nullptr);
      EXPECT_TRUE(SameFile(e->File, Out("c" + std::to_string(c) + "-" + std::to_string(i)))) << e->File;
      EXPECT_EQ(ReadText(e->File), bodies[c]);
    }
  const TCacheEntry* same = FindEntry(entries, server.Url("/same/movie.swf"));
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(ReadText(same->File), "shared movie");
  // The names the shared address had before its last download are gone.
  EXPECT_EQ(ContentNames().size(), 2u * PerChild + 1);
}

TEST_F(DownloadTest, LargeGeneratedBodyArrivesIntact) {
  const std::uint64_t size = 6 * 1024 * 1024 + 123;
  server_.Serve("/big.bin", THttpResponse::Generated(size));
  ASSERT_EQ(Get(server_.Url("/big.bin"), Out("big.bin")), S_OK);
  EXPECT_EQ(ReadText(Out("big.bin")), THttpServer::GeneratedBody(size));
}

TEST_F(DownloadTest, EmptyBodyMakesAnEmptyFile) {
  server_.Serve("/empty", THttpResponse::Text(""));
  ASSERT_EQ(Get(server_.Url("/empty"), Out("empty")), S_OK);
  ASSERT_TRUE(fs::exists(Out("empty")));
  EXPECT_EQ(fs::file_size(Out("empty")), 0u);
}

TEST_F(DownloadTest, FileAddressesAndLocalPaths) {
  fs::create_directories(dir_.Path() / "src dir");
  const std::string src = dir_ / "src dir/a b#1%.swf";
  const std::string body = BinaryBody(70000);
  vorra::test::WriteText(src, body);

  ASSERT_EQ(Get(src, Out("plain.swf")), S_OK);
  EXPECT_EQ(ReadText(Out("plain.swf")), body);

  const std::string url = "file://" + (dir_ / "src%20dir/a%20b%231%25.swf");
  ASSERT_EQ(Get(url, Out("url.swf")), S_OK);
  EXPECT_EQ(ReadText(Out("url.swf")), body);

  // A relative path is taken from the current folder.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir_.Path() / "src dir");
  const HRESULT rel = Get("a b#1%.swf", Out("rel.swf"));
  fs::current_path(cwd);
  ASSERT_EQ(rel, S_OK);
  EXPECT_EQ(ReadText(Out("rel.swf")), body);

  // The URL cache never keeps a copy of a local file.
  EXPECT_TRUE(CacheEntries().empty());
  EXPECT_TRUE(ContentNames().empty());

  // Only regular files are sources: not a folder, not a device without end.
  EXPECT_EQ(Get(dir_ / "src dir", Out("missing.swf")), INET_E_DOWNLOAD_FAILURE);
  EXPECT_EQ(Get("file:///dev/zero", Out("missing.swf")), INET_E_DOWNLOAD_FAILURE);
  EXPECT_EQ(Get(dir_ / "src dir/missing.swf", Out("missing.swf")), INET_E_OBJECT_NOT_FOUND);
  EXPECT_EQ(Get("file://" + (dir_ / "nothing.swf"), Out("missing.swf")), INET_E_OBJECT_NOT_FOUND);
  EXPECT_FALSE(fs::exists(Out("missing.swf")));
}

TEST_F(DownloadTest, HttpErrorsSaveNothing) {
  server_.Serve("/gone", THttpResponse::Error(410));
  server_.Serve("/secret", THttpResponse::Error(403));
  server_.Serve("/broken", THttpResponse::Error(500));
  WriteText(Out("kept.swf"), "old");

  EXPECT_EQ(Get(server_.Url("/nothing.swf"), Out("a.swf")), INET_E_OBJECT_NOT_FOUND);
  EXPECT_EQ(Get(server_.Url("/gone"), Out("a.swf")), INET_E_OBJECT_NOT_FOUND);
  EXPECT_EQ(Get(server_.Url("/secret"), Out("a.swf")), E_ACCESSDENIED);
  EXPECT_EQ(Get(server_.Url("/broken"), Out("kept.swf")), INET_E_DOWNLOAD_FAILURE);
  EXPECT_EQ(OutNames(), std::vector<std::string>{"kept.swf"});
  EXPECT_EQ(ReadText(Out("kept.swf")), "old");
  EXPECT_FALSE(InCache(server_.Url("/nothing.swf")));
}

TEST_F(DownloadTest, BodyCutShortLeavesTargetAsItWas) {
  for (TBodyFault fault : {TBodyFault::bfClose, TBodyFault::bfReset}) {
    THttpResponse r = THttpResponse::Generated(1 << 20);
    r.Fault = fault;
    r.FaultAfter = 100000;
    server_.Serve("/cut.swf", r);
    WriteText(Out("cut.swf"), "previous movie");
    EXPECT_EQ(Get(server_.Url("/cut.swf"), Out("cut.swf")), INET_E_DOWNLOAD_FAILURE);
    EXPECT_EQ(ReadText(Out("cut.swf")), "previous movie");
    EXPECT_EQ(OutNames(), std::vector<std::string>{"cut.swf"});
  }
  EXPECT_FALSE(InCache(server_.Url("/cut.swf")));
  EXPECT_TRUE(ContentNames().empty());

  // Nor does a good answer replace it.
  server_.Serve("/cut.swf", THttpResponse::Text("new movie"));
  EXPECT_EQ(Get(server_.Url("/cut.swf"), Out("cut.swf")), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadText(Out("cut.swf")), "previous movie");
  EXPECT_EQ(OutNames(), std::vector<std::string>{"cut.swf"});
}

TEST_F(DownloadTest, PlacementNeverReplacesAFileThatAppearedMeanwhile) {
  // Another run takes the name while this one's transfer is under way.
  server_.Route("/m.swf", [&](const THttpRequest&) {
    WriteText(Out("m.swf"), "the other run's movie");
    return THttpResponse::Text("this run's movie", "application/x-shockwave-flash");
  });
  EXPECT_EQ(Get(server_.Url("/m.swf"), Out("m.swf")), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadText(Out("m.swf")), "the other run's movie");
  EXPECT_EQ(OutNames(), std::vector<std::string>{"m.swf"});

  // With a next name the call counts on, past every taken name.
  WriteText(Out("m1.swf"), "taken too");
  TDownloadOptions options;
  options.NextName = [](const std::string& name) {
    const std::size_t dot = name.rfind('.');
    const char digit = name[dot - 1];
    return std::isdigit(static_cast<unsigned char>(digit)) ? name.substr(0, dot - 1) + char(digit + 1) + ".swf"
                                                           : name.substr(0, dot) + "1.swf";
  };
  const TDownloadResult r = DownloadToFile(server_.Url("/m.swf"), Out("m.swf"), options);
  EXPECT_EQ(r.Result, S_OK);
  EXPECT_EQ(r.File, Out("m2.swf"));
  EXPECT_EQ(r.Status, 200);
  EXPECT_EQ(r.ContentType, "application/x-shockwave-flash");
  EXPECT_EQ(r.Bytes, 16u);
  EXPECT_EQ(ReadText(Out("m2.swf")), "this run's movie");
  EXPECT_EQ(ReadText(Out("m.swf")), "the other run's movie");
  EXPECT_EQ(ReadText(Out("m1.swf")), "taken too");
  EXPECT_EQ(OutNames(), (std::vector<std::string>{"m.swf", "m1.swf", "m2.swf"}));
}

TEST_F(DownloadTest, RedirectsAreFollowedUpToTen) {
  for (int i = 0; i < 11; ++i)
    server_.Serve("/r" + std::to_string(i), THttpResponse::Redirect("/r" + std::to_string(i + 1), i % 2 ? 301 : 302));
  server_.Serve("/r11", THttpResponse::Text("at the end"));

  TRecorder rec;
  ASSERT_EQ(Get(server_.Url("/r1"), Out("ten.swf"), &rec), S_OK);  // r1 -> r11: ten redirects
  EXPECT_EQ(ReadText(Out("ten.swf")), "at the end");
  EXPECT_TRUE(rec.Saw(BINDSTATUS_REDIRECTING));
  // Recorded under the address asked for, with what the last answer brought.
  const auto entries = CacheEntries();
  const TCacheEntry* e = FindEntry(entries, server_.Url("/r1"));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ReadText(e->File), "at the end");
  EXPECT_EQ(Get(server_.Url("/r0"), Out("eleven.swf")), INET_E_REDIRECT_FAILED);
  EXPECT_FALSE(fs::exists(Out("eleven.swf")));
}

TEST_F(DownloadTest, RedirectLoopAndRedirectToLocalFileFail) {
  server_.Serve("/loop", THttpResponse::Redirect("/loop"));
  const std::string secret = dir_ / "secret.txt";
  WriteText(secret, "local secret");
  server_.Serve("/evil", THttpResponse::Redirect("file://" + secret));
  server_.Serve("/nowhere", THttpResponse::Error(302));  // no Location

  EXPECT_EQ(Get(server_.Url("/loop"), Out("loop.swf")), INET_E_REDIRECT_FAILED);
  EXPECT_EQ(Get(server_.Url("/evil"), Out("evil.swf")), INET_E_REDIRECT_FAILED);
  EXPECT_EQ(Get(server_.Url("/nowhere"), Out("nowhere.swf")), INET_E_REDIRECT_FAILED);
  EXPECT_TRUE(OutNames().empty());
}

TEST_F(DownloadTest, StalledTransferTimesOut) {
  TDownloadSettings s = GetDownloadSettings();
  s.StallTimeoutMs = 300;
  TSettingsScope scope(s);
  THttpResponse r = THttpResponse::Generated(1 << 20);
  r.Fault = TBodyFault::bfStall;
  r.FaultAfter = 5000;
  server_.Serve("/stall.swf", r);
  EXPECT_EQ(Get(server_.Url("/stall.swf"), Out("stall.swf")), INET_E_CONNECTION_TIMEOUT);
  EXPECT_TRUE(OutNames().empty());
}

TEST_F(DownloadTest, RefusedConnection) {
  // A bound socket that does not listen keeps the port taken and refuses.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  const std::string port = std::to_string(ntohs(addr.sin_port));
  EXPECT_EQ(Get("http://127.0.0.1:" + port + "/a.swf", Out("a.swf")), INET_E_CANNOT_CONNECT);
  EXPECT_EQ(Get("ftp://127.0.0.1:" + port + "/a.swf", Out("a.swf")), INET_E_CANNOT_CONNECT);
  ::close(fd);
  EXPECT_TRUE(OutNames().empty());
}

TEST_F(DownloadTest, BadAddressesAndArguments) {
  EXPECT_EQ(URLDownloadToFileA(nullptr, nullptr, Out("a").c_str(), 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(URLDownloadToFileA(nullptr, server_.Url("/").c_str(), nullptr, 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(URLDownloadToFileA(nullptr, server_.Url("/").c_str(), "", 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(Get("gopher://127.0.0.1/a.swf", Out("a")), INET_E_UNKNOWN_PROTOCOL);
  EXPECT_EQ(Get(server_.Url("/a\nb.swf"), Out("a")), INET_E_INVALID_URL);
  EXPECT_EQ(Get("http://[127.0.0.1/a.swf", Out("a")), INET_E_INVALID_URL);
  EXPECT_EQ(Get("", Out("a")), INET_E_INVALID_URL);
  EXPECT_TRUE(OutNames().empty());
  EXPECT_EQ(server_.Requests(), 0u);
}

TEST_F(DownloadTest, SpacesAndEightBitLettersAreEscaped) {
  server_.Serve("/my%20movie%C3%A9.swf", THttpResponse::Text("escaped"));
  ASSERT_EQ(Get(server_.Url("/my movie\xC3\xA9.swf"), Out("m.swf")), S_OK);
  EXPECT_EQ(ReadText(Out("m.swf")), "escaped");
  // The cache knows the address as the caller wrote it.
  EXPECT_TRUE(InCache(server_.Url("/my movie\xC3\xA9.swf")));
}

TEST_F(DownloadTest, UnwritableTargetsFailBeforeAnyRequest) {
  server_.Serve("/a.swf", THttpResponse::Text("movie"));
  EXPECT_EQ(Get(server_.Url("/a.swf"), Out("no/such/folder/a.swf")), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  WriteText(Out("plainfile"), "x");
  EXPECT_EQ(Get(server_.Url("/a.swf"), Out("plainfile/a.swf")), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  fs::create_directories(Out("dir.swf"));
  EXPECT_EQ(Get(server_.Url("/a.swf"), Out("dir.swf")), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(fs::is_directory(Out("dir.swf")));
  EXPECT_EQ(server_.Requests(), 0u);
  EXPECT_EQ(OutNames(), (std::vector<std::string>{"dir.swf", "plainfile"}));
}

// Runs fn in a child process and answers its report; the child may change
// its mounts and credentials without touching this process.
std::string InChild(const std::function<std::string()>& fn) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFd[0]);
    std::string report;
    try {
      report = fn();
    } catch (const std::exception& e) {
      report = std::string("exception: ") + e.what();
    }
    [[maybe_unused]] ssize_t n = ::write(pipeFd[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(pipeFd[1]);
  std::string report;
  char buf[512];
  for (ssize_t n; (n = ::read(pipeFd[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<std::size_t>(n));
  ::close(pipeFd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return report;
}

std::string Hex(HRESULT hr) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", static_cast<unsigned>(hr));
  return b;
}

// A private mount namespace with a small tmpfs at dir; false when the
// system does not allow it.
bool MountTmpfs(const std::string& dir, const char* options, unsigned long flags) {
  return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
         ::mount("tmpfs", dir.c_str(), "tmpfs", flags, options) == 0;
}

TEST_F(DownloadTest, ReadOnlyFolder) {
  const std::string src = dir_ / "src.swf";
  WriteText(src, BinaryBody(10000));
  fs::create_directories(dir_.Path() / "ro");
  const std::string report = InChild([&] {
    if (!MountTmpfs(dir_ / "ro", "size=1m", MS_RDONLY)) return std::string("skip");
    const HRESULT hr = URLDownloadToFileA(nullptr, src.c_str(), (dir_ / "ro/a.swf").c_str(), 0, nullptr);
    return Hex(hr) + " " + std::to_string(ListNames(dir_.Path() / "ro").size());
  });
  if (report == "skip") GTEST_SKIP() << "no mount namespace here for a read-only file system";
  EXPECT_EQ(report, Hex(HRESULT_FROM_WIN32(ERROR_WRITE_PROTECT)) + " 0");
}

TEST_F(DownloadTest, FolderWithoutWritePermission) {
  // Root writes anywhere; the child drops to an ordinary user first.
  ::chmod(dir_.Path().c_str(), 0755);
  const std::string src = dir_ / "src.swf";
  WriteText(src, BinaryBody(10000));
  fs::create_directories(dir_.Path() / "locked");
  ::chmod((dir_ / "locked").c_str(), 0555);
  const std::string report = InChild([&] {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return std::string("skip");
    const HRESULT hr = URLDownloadToFileA(nullptr, src.c_str(), (dir_ / "locked/a.swf").c_str(), 0, nullptr);
    return Hex(hr);
  });
  if (report == "skip") GTEST_SKIP() << "cannot drop to an ordinary user";
  EXPECT_EQ(report, Hex(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)));
  EXPECT_TRUE(ListNames(dir_.Path() / "locked").empty());
}

TEST_F(DownloadTest, DiskFullLeavesNoPartialFile) {
  const std::string src = dir_ / "src.swf";
  WriteText(src, BinaryBody(1 << 20));
  fs::create_directories(dir_.Path() / "small");
  const std::string report = InChild([&] {
    std::string how = "tmpfs";
    std::string expected = Hex(HRESULT_FROM_WIN32(ERROR_DISK_FULL));
    if (!MountTmpfs(dir_ / "small", "size=64k", 0)) {
      // No mounts allowed: a file size limit fails the write the same way.
      how = "rlimit";
      expected = Hex(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit lim{64 * 1024, 64 * 1024};
      ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    const HRESULT hr = URLDownloadToFileA(nullptr, src.c_str(), (dir_ / "small/a.swf").c_str(), 0, nullptr);
    const std::size_t left = ListNames(dir_.Path() / "small").size();
    return how + " " + (Hex(hr) == expected ? "ok" : Hex(hr)) + " " + std::to_string(left);
  });
  EXPECT_TRUE(report == "tmpfs ok 0" || report == "rlimit ok 0") << report;
}

TEST_F(DownloadTest, NamedTemporaryWhereUnnamedFilesCannotBeLinked) {
  // Without /proc the download writes a hidden named file instead; it too
  // must vanish on failure and become the target on success.
  server_.Serve("/ok.swf", THttpResponse::Text("whole movie"));
  THttpResponse cut = THttpResponse::Generated(1 << 20);
  cut.Fault = TBodyFault::bfClose;
  cut.FaultAfter = 1000;
  server_.Serve("/cut.swf", cut);
  WriteText(Out("cut.swf"), "old");
  const std::string report = InChild([&] {
    if (!MountTmpfs("/proc", "size=64k", 0)) return std::string("skip");
    const HRESULT ok = Get(server_.Url("/ok.swf"), Out("ok.swf"));
    const HRESULT bad = Get(server_.Url("/cut.swf"), Out("cut.swf"));
    // The hidden name must not outgrow the limit that the target's name meets.
    const HRESULT longName = Get(server_.Url("/ok.swf"), Out(std::string(250, 'm')));
    std::string names;
    for (const auto& n : OutNames()) names += (n.size() > 20 ? std::to_string(n.size()) : n) + ",";
    // The cache cannot link the open file either: it keeps a copy.
    const auto entries = CacheEntries();
    const TCacheEntry* e = FindEntry(entries, server_.Url("/ok.swf"));
    const std::string cached = !e ? "no entry" : ReadText(e->File) != "whole movie" ? "other bytes"
                                                 : SameFile(e->File, Out(std::string(250, 'm'))) ? "linked"
                                                                                                 : "copied";
    return Hex(ok) + " " + Hex(bad) + " " + Hex(longName) + " " + names + " " + cached + " " +
           std::to_string(ContentNames().size());
  });
  if (report == "skip") GTEST_SKIP() << "no mount namespace here to hide /proc";
  EXPECT_EQ(report, Hex(S_OK) + " " + Hex(INET_E_DOWNLOAD_FAILURE) + " " + Hex(S_OK) + " cut.swf,250,ok.swf, copied 1");
  EXPECT_EQ(ReadText(Out("ok.swf")), "whole movie");
  EXPECT_EQ(ReadText(Out("cut.swf")), "old");
}

// Whether every extent of the file is shared with another file.
bool SharesAllBlocks(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  alignas(fiemap) char buf[sizeof(fiemap) + 64 * sizeof(fiemap_extent)] = {};
  auto* map = reinterpret_cast<fiemap*>(buf);
  map->fm_length = ~0ULL;
  map->fm_flags = FIEMAP_FLAG_SYNC;
  map->fm_extent_count = 64;
  const bool ok = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0 && map->fm_mapped_extents > 0;
  ::close(fd);
  if (!ok) return false;
  for (unsigned i = 0; i < map->fm_mapped_extents; ++i)
    if (!(map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED)) return false;
  return true;
}

TEST_F(DownloadTest, CacheCopyIsACloneWhereBlocksCanBeShared) {
  if (std::system("command -v mkfs.xfs >/dev/null 2>&1") != 0) GTEST_SKIP() << "mkfs.xfs is not installed";
  const std::uint64_t size = 3 * 1024 * 1024 + 5;
  server_.Serve("/big.swf", THttpResponse::Generated(size));
  const std::string image = dir_ / "xfs.img", mnt = dir_ / "xfs";
  fs::create_directories(mnt);
  fs::resize_file((WriteText(image, ""), image), 320ull << 20);  // sparse: XFS wants 300 MB at least
  if (std::system(("mkfs.xfs -q " + image + " >/dev/null 2>&1").c_str()) != 0) GTEST_SKIP() << "mkfs.xfs failed";
  const std::string url = server_.Url("/big.swf");
  const std::string report = InChild([&] {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        std::system(("mount -o loop " + image + " " + mnt + " >/dev/null 2>&1").c_str()) != 0)
      return std::string("skip");
    // Without /proc the open file cannot be given a second name: the cache
    // falls back to a copy, which here is a clone.
    if (::mount("tmpfs", "/proc", "tmpfs", 0, "size=64k") != 0) return std::string("skip");
    std::string result;
    {
      TScopedEnv home("VORRA_HOME", mnt + "/home");
      const HRESULT hr = Get(url, mnt + "/a.swf");
      const auto entries = CacheEntries();
      const TCacheEntry* e = FindEntry(entries, url);
      result = Hex(hr) + (e && SharesAllBlocks(e->File) ? " shared" : " not shared");
      // Two files: changing the user's copy in place leaves the cache's alone.
      if (e && ReadText(e->File) == THttpServer::GeneratedBody(size)) {
        WriteText(mnt + "/a.swf", "changed");
        result += ReadText(e->File) == THttpServer::GeneratedBody(size) ? " separate" : " joined";
      }
    }
    ::umount(mnt.c_str());
    return result;
  });
  if (report == "skip") GTEST_SKIP() << "cannot mount a loop device here";
  EXPECT_EQ(report, Hex(S_OK) + " shared separate");
}

TEST_F(DownloadTest, CacheCopiesWhatLiesOnAnotherFileSystem) {
  const std::string body = BinaryBody(1 << 20);
  server_.Serve("/far/movie.swf", THttpResponse::Text(body));
  const std::string url = server_.Url("/far/movie.swf");
  fs::create_directories(dir_.Path() / "other");
  const std::string target = dir_ / "other/movie.swf";
  const std::string report = InChild([&] {
    if (!MountTmpfs(dir_ / "other", "size=8m", 0)) return std::string("skip");
    const HRESULT hr = Get(url, target);
    const auto entries = CacheEntries();
    const TCacheEntry* e = FindEntry(entries, url);
    if (!e) return Hex(hr) + " no entry";
    std::string result = Hex(hr) + (ReadText(e->File) == body ? " same bytes" : " other bytes");
    result += " " + std::to_string(e->Size) + " " + std::to_string(ContentNames().size());
    WriteText(target, "changed");
    return result + (ReadText(e->File) == body ? " separate" : " joined");
  });
  if (report == "skip") GTEST_SKIP() << "no mount namespace here for a second file system";
  EXPECT_EQ(report, Hex(S_OK) + " same bytes " + std::to_string(body.size()) + " 1 separate");
}

TEST_F(DownloadTest, CallbackHearsTheTransferInOrder) {
  const std::string body = BinaryBody(2 << 20);
  server_.Serve("/m.swf", THttpResponse::Text(body, "application/x-shockwave-flash"));
  TRecorder rec;
  ASSERT_EQ(Get(server_.Url("/m.swf"), Out("m.swf"), &rec), S_OK);
  const auto codes = rec.Codes();
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.front(), BINDSTATUS_CONNECTING);
  EXPECT_EQ(codes.back(), BINDSTATUS_ENDDOWNLOADDATA);
  const auto pos = [&](ULONG code) { return std::find(codes.begin(), codes.end(), code) - codes.begin(); };
  EXPECT_LT(pos(BINDSTATUS_MIMETYPEAVAILABLE), pos(BINDSTATUS_BEGINDOWNLOADDATA));
  EXPECT_LT(pos(BINDSTATUS_BEGINDOWNLOADDATA), pos(BINDSTATUS_DOWNLOADINGDATA));
  EXPECT_LT(pos(BINDSTATUS_CACHEFILENAMEAVAILABLE), pos(BINDSTATUS_ENDDOWNLOADDATA));
  ULONG last = 0;
  for (const auto& c : rec.calls) {
    if (c.Code == BINDSTATUS_MIMETYPEAVAILABLE) {
      EXPECT_EQ(c.Text, "application/x-shockwave-flash");
    }
    if (c.Code != BINDSTATUS_DOWNLOADINGDATA) continue;
    EXPECT_GE(c.Progress, last);
    EXPECT_EQ(c.Max, body.size());
    last = c.Progress;
  }
  EXPECT_EQ(last, body.size());
  EXPECT_EQ(rec.calls.back().Progress, body.size());
}

TEST_F(DownloadTest, CallbackCancelsMidTransfer) {
  THttpResponse r = THttpResponse::Generated(1 << 20);
  r.Fault = TBodyFault::bfStall;  // the transfer cannot end before the cancel
  r.FaultAfter = 70000;
  server_.Serve("/m.swf", r);
  WriteText(Out("m.swf"), "older");
  TRecorder rec;
  rec.abortOn = BINDSTATUS_DOWNLOADINGDATA;
  EXPECT_EQ(Get(server_.Url("/m.swf"), Out("m.swf"), &rec), E_ABORT);
  EXPECT_EQ(ReadText(Out("m.swf")), "older");
  EXPECT_EQ(OutNames(), std::vector<std::string>{"m.swf"});
  EXPECT_FALSE(rec.Saw(BINDSTATUS_ENDDOWNLOADDATA));

  TRecorder early;
  early.abortOn = BINDSTATUS_CONNECTING;
  EXPECT_EQ(Get(server_.Url("/m.swf"), Out("n.swf"), &early), E_ABORT);
  EXPECT_FALSE(fs::exists(Out("n.swf")));
}

class TPumpScope {
 public:
  explicit TPumpScope(TMessagePump pump) : old_(SetBlockingCallPump(std::move(pump))) {}
  ~TPumpScope() { SetBlockingCallPump(std::move(old_)); }

 private:
  TMessagePump old_;
};

TEST_F(DownloadTest, PumpRunsWhileTheTransferWaits) {
  const std::uint64_t size = 300000;
  THttpResponse r = THttpResponse::Generated(size);
  r.Fault = TBodyFault::bfStall;
  r.FaultAfter = 1000;
  server_.Serve("/slow.swf", r);
  int pumped = 0;
  // The server goes on only once the pump has run a few times.
  TPumpScope pump([&] {
    if (++pumped == 3) server_.ReleaseStalls();
  });
  ASSERT_EQ(Get(server_.Url("/slow.swf"), Out("slow.swf")), S_OK);
  EXPECT_GE(pumped, 3);
  EXPECT_EQ(ReadText(Out("slow.swf")), THttpServer::GeneratedBody(size));
}

TEST_F(DownloadTest, PumpMayStartAnotherDownload) {
  THttpResponse r = THttpResponse::Generated(200000);
  r.Fault = TBodyFault::bfStall;
  r.FaultAfter = 1000;
  server_.Serve("/outer.swf", r);
  server_.Serve("/inner.swf", THttpResponse::Text("inner movie"));
  HRESULT inner = E_FAIL;
  bool started = false;
  TPumpScope pump([&] {
    if (started) return;
    started = true;  // a click that saves another movie while the first one loads
    inner = Get(server_.Url("/inner.swf"), Out("inner.swf"));
    server_.ReleaseStalls();
  });
  ASSERT_EQ(Get(server_.Url("/outer.swf"), Out("outer.swf")), S_OK);
  EXPECT_EQ(inner, S_OK);
  EXPECT_EQ(ReadText(Out("inner.swf")), "inner movie");
  EXPECT_EQ(ReadText(Out("outer.swf")), THttpServer::GeneratedBody(200000));
}

TEST_F(DownloadTest, ManySmallDownloadsShareOneConnection) {
  server_.Serve("/s.swf", THttpResponse::Text(BinaryBody(10240)));
  for (int i = 0; i < 30; ++i) ASSERT_EQ(Get(server_.Url("/s.swf"), Out("s" + std::to_string(i))), S_OK);
  EXPECT_EQ(server_.Requests(), 30u);
  EXPECT_EQ(server_.Connections(), 1u);
  EXPECT_EQ(ReadText(Out("s29")), BinaryBody(10240));
}

TEST_F(DownloadTest, HttpsVerifiesCertificates) {
  THttpServer tls(true);
  tls.Serve("/secure.swf", THttpResponse::Text("secure movie"));
  const std::string url = tls.Url("/secure.swf");
  ASSERT_EQ(url.rfind("https://", 0), 0u);

  // Self-signed: no authority in the system's bundle vouches for it.
  EXPECT_EQ(Get(url, Out("a.swf")), INET_E_SECURITY_PROBLEM);
  EXPECT_FALSE(fs::exists(Out("a.swf")));

  const std::string ca = dir_ / "ca.pem";
  WriteText(ca, tls.CertificatePem());
  TDownloadSettings s = GetDownloadSettings();
  s.CaInfo = ca;
  TSettingsScope scope(s);
  ASSERT_EQ(Get(url, Out("a.swf")), S_OK);
  EXPECT_EQ(ReadText(Out("a.swf")), "secure movie");
  // Trusted, but issued for another name than the one asked for.
  const std::string byName = "https://localhost:" + std::to_string(tls.Port()) + "/secure.swf";
  EXPECT_EQ(Get(byName, Out("b.swf")), INET_E_SECURITY_PROBLEM);
  EXPECT_FALSE(fs::exists(Out("b.swf")));
}

TEST_F(DownloadTest, CacheFailureDoesNotFailTheDownload) {
  // The per-user folders cannot be made under a plain file.
  WriteText(dir_ / "notafolder", "x");
  TScopedEnv env("VORRA_HOME", dir_ / "notafolder");
  server_.Serve("/a.swf", THttpResponse::Text("movie"));
  TRecorder rec;
  ASSERT_EQ(Get(server_.Url("/a.swf"), Out("a.swf"), &rec), S_OK);
  EXPECT_EQ(ReadText(Out("a.swf")), "movie");
  EXPECT_FALSE(rec.Saw(BINDSTATUS_CACHEFILENAMEAVAILABLE));
  EXPECT_TRUE(rec.Saw(BINDSTATUS_ENDDOWNLOADDATA));
}

TEST_F(DownloadTest, SameFileAsSourceAndTarget) {
  const std::string path = Out("self.swf");
  WriteText(path, "itself");
  EXPECT_EQ(Get(path, path), HRESULT_FROM_WIN32(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadText(path), "itself");
  EXPECT_EQ(OutNames(), std::vector<std::string>{"self.swf"});
}

}  // namespace
}  // namespace win
