// Start-up and idle cost of the program, headless.
// (a) From process start to the main window's first complete frame:
//     `vorra --screenshot FILE` (start, build the window, paint it, write the
//     PNG, exit) against ref_sdl_window, a bare SDL program that opens and
//     paints one window and writes it the same way, on SDL's offscreen
//     driver. Medians of alternating runs (argument 1, default 11); the
//     program must stay under 300 ms.
// (b) Idle: the program started headless with nothing to do; the CPU time it
//     uses over two seconds once started (the message loop must block), and
//     its resident memory then (limit 60 MB).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

// Seconds from spawn to a successful exit; negative on failure.
double TimeRun(const std::vector<std::string>& args) {
  const auto t0 = TClock::now();
  const pid_t pid = Spawn(args);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  const double s = std::chrono::duration<double>(TClock::now() - t0).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

// User plus system clock ticks of a running process.
long CpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const auto close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string f;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {
    if (i == 14) utime = std::atol(f.c_str());
    if (i == 15) stime = std::atol(f.c_str());
  }
  return utime + stime;
}

long RssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
  const fs::path here = fs::canonical("/proc/self/exe").parent_path();
  const std::string vorra = (here.parent_path() / "vorra").string();
  const std::string ref = (here / "ref_sdl_window").string();
  const fs::path scratch = fs::temp_directory_path() / ("vorra-bench-startup-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  // The program's settings and folders go to the scratch folder, and neither
  // side may find a display.
  setenv("VORRA_HOME", scratch.c_str(), 1);
  setenv("VORRA_HEADLESS", "1", 1);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");

  const std::string shot = (scratch / "shot.png").string();
  std::vector<double> ours, theirs;
  // One unmeasured round first: the page cache, the font cache.
  for (int i = -1; i < runs; ++i) {
    const double a = TimeRun({vorra, "--screenshot", shot});
    const double b = TimeRun({ref, shot});
    if (a < 0 || b < 0) {
      std::fprintf(stderr, "bench_startup: %s failed\n", a < 0 ? "vorra --screenshot" : "ref_sdl_window");
      fs::remove_all(scratch);
      return 1;
    }
    if (i >= 0) {
      ours.push_back(a);
      theirs.push_back(b);
    }
  }
  const double a = Median(ours), b = Median(theirs);
  std::printf("first frame: vorra %.1f ms, bare SDL window %.1f ms, ratio %.2f (%d runs each)\n", a * 1e3, b * 1e3,
              a / b, runs);
  bool ok = a < 0.300;
  std::printf("first frame under 300 ms: %s\n", ok ? "ok" : "OVER");

  const pid_t pid = Spawn({vorra});
  if (pid < 0) {
    fs::remove_all(scratch);
    return 1;
  }
  // A benchmark may wait; the settling time lets start-up finish.
  usleep(1500 * 1000);
  const long t1 = CpuTicks(pid);
  usleep(2000 * 1000);
  const long t2 = CpuTicks(pid);
  const long rss = RssKb(pid);
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  const long hz = sysconf(_SC_CLK_TCK);
  std::printf("idle: %ld clock ticks (1/%ld s) of CPU in 2 s; resident memory %.1f MB\n", t2 - t1, hz,
              rss / 1024.0);
  const bool idle = t1 >= 0 && t2 - t1 <= 1;  // one tick of slack for a stray timer round
  const bool small = rss > 0 && rss < 60 * 1024;
  std::printf("idle CPU: %s; resident memory under 60 MB: %s\n", idle ? "ok" : "OVER", small ? "ok" : "OVER");
  fs::remove_all(scratch);
  return ok && idle && small ? 0 : 1;
}
