// The movie player's speed, two figures in one run:
// - playback of a 24 fps movie of 200 moving shapes in a 263 x 180 preview:
//   CPU time per frame (a tick and a full redraw) against the frame interval;
//   the share of one core it takes. The shapes are the tests' rectangles,
//   since the definitions' own drawing is not linked here.
// - `vorra render` of a ~100 KB movie as a whole process against `vorra
//   swfinfo` of the same file (medians of alternating runs); target 3x.
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/platform/FlashTestMovies.h"
#include "tests/support/TestSupport.h"

extern char** environ;

namespace {

using namespace vorra::test;

constexpr int kShapes = 200, kFrames = 24, kWidth = 263, kHeight = 180;

double CpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

TBytes MovingShapes() {
  TBytes tags;
  for (int i = 0; i < kShapes; ++i)
    Append(tags, Rect(static_cast<unsigned>(i + 1), 0, 0, 400 + i * 3, 300 + i * 2,
                      {static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(i * 91), static_cast<std::uint8_t>(i * 13), 200}));
  for (int f = 0; f < kFrames; ++f) {
    for (int i = 0; i < kShapes; ++i) {
      const int x = (i * 97 + f * 40) % 5000, y = (i * 53 + f * 25) % 3400;
      TPlace p;
      p.Depth = static_cast<unsigned>(i + 1);
      p.Matrix = MatrixBytes(1, 1, x, y);
      if (f == 0) p.Character = static_cast<unsigned>(i + 1);
      else p.Move = true;
      Append(tags, Place(p));
    }
    Append(tags, ShowFrame());
  }
  return Movie(550, 400, tags, vorra::swf::TSwfForm::sfZlib, flash::TRgba{255, 255, 255, 255}, kFrames);
}

bool Run(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 1, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 1, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  int status = 0;
  {
    flash::TMoviePlayer player(Parse(MovingShapes()));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    const int frames = 24 * 20;
    const double start = CpuSeconds();
    for (int i = 0; i < frames; ++i) {
      player.Context().Work = 0;
      player.Tick();
      player.Render(cr, kWidth, kHeight, flash::TStageOptions{});
    }
    const double perFrame = (CpuSeconds() - start) / frames;
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    const double interval = 1.0 / 24;
    std::printf("playback, %d shapes at %dx%d: %.2f ms CPU per frame of %.2f ms; %.1f%% of one core %s\n", kShapes,
                kWidth, kHeight, perFrame * 1e3, interval * 1e3, 100 * perFrame / interval,
                perFrame < interval / 2 ? "ok" : "OVER");
    if (perFrame >= interval / 2) status = 1;
  }
  {
    TTempDir dir;
    vorra::swf::TSwfWriter writer(10, {0, 550 * 20, 0, 400 * 20}, 1, 24);
    writer.SetBackgroundColor(0x33, 0x66, 0x99);
    writer.Padding(100 * 1024);
    writer.ShowFrame();
    const std::string file = dir / "movie.swf", png = dir / "frame.png";
    vorra::swf::WriteFile(file, writer.Bytes(vorra::swf::TSwfForm::sfZlib));
    std::vector<double> render, info;
    bool ok = true;
    for (int i = 0; i < 9 && ok; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      ok = Run({VORRA_PROGRAM, "render", file, "--out", png});
      auto t1 = std::chrono::steady_clock::now();
      ok = ok && Run({VORRA_PROGRAM, "swfinfo", file});
      auto t2 = std::chrono::steady_clock::now();
      render.push_back(std::chrono::duration<double>(t1 - t0).count());
      info.push_back(std::chrono::duration<double>(t2 - t1).count());
    }
    if (!ok) {
      std::printf("vorra render or swfinfo failed\n");
      return 1;
    }
    const double ratio = Median(render) / Median(info);
    std::printf("vorra render of a 100 KB movie (550x400): %.1f ms; vorra swfinfo: %.1f ms; ratio %.2f (limit 3.00) %s\n",
                Median(render) * 1e3, Median(info) * 1e3, ratio, ratio <= 3 ? "ok" : "OVER");
    if (ratio > 3) status = 1;
  }
  return status;
}
