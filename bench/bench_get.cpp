// `vorra get` capturing 200 movies of 100 KB from a page on the tests'
// 127.0.0.1 server, the whole process counted (start, page load, walk, 200
// transfers into their files). Target: under 5 s. For reference the curl tool
// fetches the same 200 movies in one process over one connection in the same
// run; the ratio is printed. Three runs of each, alternating; medians compared.
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/HttpServer.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using vorra::test::THttpResponse;
using vorra::test::THttpServer;

constexpr int kMovies = 200;
constexpr int kMovieBytes = 100 * 1024;

// Runs a program with its output thrown away; true when it exits with 0.
bool Run(std::vector<std::string> args, const std::vector<std::string>& extraEnv = {}) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envText(extraEnv);
  std::vector<char*> envp;
  for (auto& e : envText) envp.push_back(e.data());
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Seconds(const std::function<bool()>& f, bool& ok) {
  const auto start = std::chrono::steady_clock::now();
  ok = f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  vorra::test::TTempDir temp;
  THttpServer server;
  std::string page = "<html><body>\n";
  std::vector<std::string> urls;
  for (int i = 0; i < kMovies; ++i) {
    const std::string path = "/movies/m" + std::to_string(i) + ".swf";
    server.Serve(path, THttpResponse::Generated(kMovieBytes, "application/x-shockwave-flash"));
    urls.push_back(server.Url(path));
    page += (i % 2 ? "<embed src=\"" + path.substr(1) + "\" type=\"application/x-shockwave-flash\">\n"
                   : "<object classid=\"clsid:D27CDB6E-AE6D-11CF-96B8-444553540000\"><param name=\"movie\" value=\"" +
                         path + "\"></object>\n");
  }
  page += "</body></html>\n";
  server.Serve("/page.html", THttpResponse::Text(page, "text/html"));

  std::vector<double> ours, curls;
  for (int run = 0; run < 3; ++run) {
    const std::string out = temp.Folder() + "get" + std::to_string(run);
    bool ok = false;
    ours.push_back(Seconds(
        [&] {
          return Run({VORRA_PROGRAM, "get", server.Url("/page.html"), "--out", out},
                     {"VORRA_HOME=" + temp.Folder() + "home"});
        },
        ok));
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(out)) files += e.file_size() == kMovieBytes;
    if (!ok || files != kMovies) {
      std::printf("vorra get failed (%zu of %d movies)\n", files, kMovies);
      return 1;
    }
    const std::string curlOut = temp.Folder() + "curl" + std::to_string(run) + "/";
    fs::create_directories(curlOut);
    std::vector<std::string> args = {"curl", "-s", "-f"};
    for (int i = 0; i < kMovies; ++i) {
      args.push_back("-o");
      args.push_back(curlOut + "m" + std::to_string(i) + ".swf");
      args.push_back(urls[i]);
    }
    curls.push_back(Seconds([&] { return Run(args); }, ok));
    if (!ok) curls.pop_back();
  }
  const double mine = Median(ours);
  std::printf("vorra get, %d movies of %d KB: %.2f s (limit 5.00 s) %s\n", kMovies, kMovieBytes / 1024, mine,
              mine < 5 ? "ok" : "OVER");
  if (!curls.empty())
    std::printf("curl, the same movies in one process: %.2f s; ratio %.2f\n", Median(curls), mine / Median(curls));
  return mine < 5 ? 0 : 1;
}
