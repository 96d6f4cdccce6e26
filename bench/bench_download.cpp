// DownloadToFile against the curl command-line tool, both fetching from
// the same 127.0.0.1 test server in the same run:
// (a) one 200 MB body: our throughput at least 0.9 of curl's, the whole call
//     counted, its entry in the URL cache included;
// (b) 1000 bodies of 10 KB: our loop at most 2x the time of one curl process
//     fetching all of them over one connection.
// Each side runs several times (argument 1, default 5), alternating; medians
// are compared. For reading the numbers, the same calls are also timed with
// the URL cache out of reach (its entry then is not made). The files go to
// $TMPDIR (default /tmp), and so does the URL cache, whose file is then a
// second name of the download; its file system is printed. Argument 2, when
// given, is a folder for the per-user files (the URL cache) instead: on
// another file system than $TMPDIR it measures the cache's copy where no link
// can be made.
#include <linux/magic.h>
#include <spawn.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/net/Download.h"
#include "platform/net/UrlCache.h"
#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using vorra::test::THttpResponse;
using vorra::test::THttpServer;
using vorra::test::TScopedEnv;
using TClock = std::chrono::steady_clock;

constexpr std::uint64_t kBig = 200ull * 1024 * 1024;
constexpr int kSmallCount = 1000;
constexpr std::size_t kSmall = 10 * 1024;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Wall-clock seconds of one call; a failed call ends the benchmark.
double Time(const std::function<bool()>& run, const char* what) {
  const auto t0 = TClock::now();
  const bool ok = run();
  const double s = std::chrono::duration<double>(TClock::now() - t0).count();
  if (!ok) {
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
  }
  return s;
}

bool RunCurl(std::vector<std::string> args) {
  std::vector<char*> argv;
  std::string curl = "curl";
  argv.push_back(curl.data());
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Download(const std::string& url, const std::string& file, std::uint64_t size) {
  std::error_code ec;
  return win::DownloadToFile(url, file).Result == win::S_OK &&
         fs::file_size(file, ec) == size;
}

void EmptyFolder(const fs::path& folder) {
  for (const auto& e : fs::directory_iterator(folder)) fs::remove_all(e.path());
}

const char* FileSystemName(const fs::path& path) {
  struct statfs st;
  if (::statfs(path.c_str(), &st) != 0) return "unknown";
  switch (static_cast<unsigned long>(st.f_type)) {
    case EXT4_SUPER_MAGIC: return "ext4";
    case TMPFS_MAGIC: return "tmpfs";
    case XFS_SUPER_MAGIC: return "xfs";
    case BTRFS_SUPER_MAGIC: return "btrfs";
    default: return "other";
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  vorra::test::TTempDir dir;
  const std::string home = argc > 2 ? std::string(argv[2]) : dir / "home", noHome = dir / "plain-file/home";
  vorra::test::WriteText(dir / "plain-file", "");  // no cache can be made under a file
  TScopedEnv homeEnv("VORRA_HOME", home);
  TScopedEnv noProxy("no_proxy", std::string("*"));
  const fs::path out = dir.Path() / "out";
  fs::create_directories(out);
  THttpServer server;
  server.Serve("/big.bin", THttpResponse::Generated(kBig));
  server.Serve("/small.bin", THttpResponse::Generated(kSmall));
  const std::string bigUrl = server.Url("/big.bin");
  std::printf("files on %s (%s)\n", dir.Path().c_str(), FileSystemName(dir.Path()));
  if (argc > 2) {
    fs::create_directories(home);
    std::printf("URL cache under %s (%s)\n", home.c_str(), FileSystemName(home));
  }

  std::vector<std::string> smallUrls, smallFiles;
  const std::string config = dir / "urls.cfg";
  {
    std::ofstream cfg(config);
    for (int k = 0; k < kSmallCount; ++k) {
      smallUrls.push_back(server.Url("/small.bin?n=" + std::to_string(k)));
      smallFiles.push_back((out / ("o" + std::to_string(k))).string());
      cfg << "url = \"" << smallUrls.back() << "\"\noutput = \"" << (out / ("c" + std::to_string(k))).string()
          << "\"\n";
    }
  }

  std::vector<double> bigOurs, bigCurl, bigBare, smallOurs, smallCurl, smallBare;
  for (int i = 0; i < reps; ++i) {
    // Rotate who goes first; every run starts from an empty folder (as a
    // page's movies do) with no dirty pages of the run before to write back.
    for (int k = 0; k < 3; ++k) {
      const int side = (i + k) % 3;
      EmptyFolder(out);
      win::DeleteUrlCacheEntry(bigUrl.c_str());
      ::sync();
      if (side == 0) {
        bigOurs.push_back(Time([&] { return Download(bigUrl, (out / "ours.bin").string(), kBig); }, "200 MB"));
      } else if (side == 1) {
        bigCurl.push_back(Time([&] { return RunCurl({"-s", "--noproxy", "*", "-o", (out / "curl.bin").string(), bigUrl}); },
                               "curl 200 MB"));
      } else {
        TScopedEnv bare("VORRA_HOME", noHome);
        bigBare.push_back(Time([&] { return Download(bigUrl, (out / "bare.bin").string(), kBig); }, "200 MB bare"));
      }
    }
    for (int k = 0; k < 3; ++k) {
      const int side = (i + k) % 3;
      EmptyFolder(out);
      ::sync();
      if (side == 0) {
        smallOurs.push_back(Time(
            [&] {
              for (int n = 0; n < kSmallCount; ++n)
                if (!Download(smallUrls[n], smallFiles[n], kSmall)) return false;
              return true;
            },
            "1000 x 10 KB"));
      } else if (side == 1) {
        smallCurl.push_back(Time([&] { return RunCurl({"-s", "--noproxy", "*", "--config", config}); }, "curl 1000"));
      } else {
        TScopedEnv bare("VORRA_HOME", noHome);
        smallBare.push_back(Time(
            [&] {
              for (int n = 0; n < kSmallCount; ++n)
                if (!Download(smallUrls[n], smallFiles[n], kSmall)) return false;
              return true;
            },
            "1000 x 10 KB bare"));
      }
    }
  }
  EmptyFolder(out);

  const double mb = static_cast<double>(kBig) / (1024 * 1024);
  std::printf("200 MB, median of %d: DownloadToFile %.3f s (%.0f MB/s), without the cache copy %.3f s (%.0f MB/s), "
              "curl %.3f s (%.0f MB/s)\n",
              reps, Median(bigOurs), mb / Median(bigOurs), Median(bigBare), mb / Median(bigBare), Median(bigCurl),
              mb / Median(bigCurl));
  std::printf("1000 x 10 KB, median of %d: DownloadToFile %.3f s, without the cache copy %.3f s, "
              "curl (one process) %.3f s\n",
              reps, Median(smallOurs), Median(smallBare), Median(smallCurl));

  const double bigRatio = Median(bigCurl) / Median(bigOurs);  // our throughput / curl's
  const double smallRatio = Median(smallOurs) / Median(smallCurl);
  const bool bigOk = bigRatio >= 0.9, smallOk = smallRatio <= 2.0;
  std::printf("ratio throughput DownloadToFile / curl (200 MB) = %.2f (at least 0.90) %s; without the cache copy %.2f\n",
              bigRatio, bigOk ? "ok" : "UNDER", Median(bigCurl) / Median(bigBare));
  std::printf("ratio time DownloadToFile / curl (1000 x 10 KB) = %.2f (limit 2.00) %s; without the cache copy %.2f\n",
              smallRatio, smallOk ? "ok" : "OVER", Median(smallBare) / Median(smallCurl));
  return bigOk && smallOk ? 0 : 1;
}
