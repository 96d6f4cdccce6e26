// Reading a compressed movie's header costs the same whatever the movie's size:
// the reader looks at the first 264 bytes only.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench/BenchRatio.h"
#include "main/FlashUtils.h"
#include "tools/swfwriter/SwfWriter.h"

namespace {

namespace fs = std::filesystem;
using namespace vorra;

std::string MakeMovie(std::size_t bytes, const std::string& name) {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("vorra-bench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  swf::TSwfWriter w(10, {0, 11000, 0, 8000}, 1);
  w.SetBackgroundColor(0x33, 0x66, 0x99);
  w.Padding(bytes > 64 ? bytes - 64 : 0);  // random bytes: the compressed file stays this large
  const std::string path = (dir / name).string();
  swf::WriteFile(path, w.Bytes(swf::TSwfForm::sfZlib));
  return path;
}

void ReadHeader(benchmark::State& state, const std::string& path) {
  state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
  for (auto _ : state) {
    TSwfHeader h;
    ReadSwfHeader(path, h);
    if (!h.HasBackground) state.SkipWithError("header not read");
    benchmark::DoNotOptimize(h);
  }
}

const std::string Small = MakeMovie(1024, "small.swf");
const std::string Large = MakeMovie(1024 * 1024, "large.swf");

void BM_CwsHeader_1KB(benchmark::State& state) { ReadHeader(state, Small); }
void BM_CwsHeader_1MB(benchmark::State& state) { ReadHeader(state, Large); }
BENCHMARK(BM_CwsHeader_1KB);
BENCHMARK(BM_CwsHeader_1MB);

}  // namespace

int main(int argc, char** argv) {
  const int rc = vorra::bench::RunWithRatios(argc, argv, {{"BM_CwsHeader_1MB", "BM_CwsHeader_1KB", 1.5}});
  std::error_code ec;
  fs::remove_all(fs::path(Small).parent_path(), ec);
  return rc;
}
