// 10 000 registry value writes and 10 000 reads through the Reg* calls, each
// write its own transaction. The reference does the same with bare SQLite
// statements (one transaction each, same journal settings) on a table of the
// same shape, so the ratio is the cost of the registry layer itself.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchRatio.h"
#include "platform/registry/Registry.h"
#include "platform/sqlite/Sqlite.h"

namespace {

namespace fs = std::filesystem;
using namespace win;

constexpr int Count = 10000;
const std::string Data = "C:\\Program Files\\Vorra\\Flash Files\\";

const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> n;
    for (int i = 0; i < Count; ++i) n.push_back("Value" + std::to_string(i));
    return n;
  }();
  return names;
}

// Seconds per iteration, measured around the work alone.
double g_regWrite = 0, g_regRead = 0;

template <typename F>
void Timed(benchmark::State& state, double* mean, F work) {
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  if (mean) *mean = total / static_cast<double>(state.iterations());
}

HKEY BenchKey() {
  HKEY k = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Vorra\\Bench", 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &k, nullptr) != 0)
    std::abort();
  return k;
}

void RegWrites(benchmark::State& state, HKEY k) {
  for (const std::string& name : Names())
    if (RegSetValueExA(k, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(Data.c_str()),
                       static_cast<DWORD>(Data.size() + 1)) != 0)
      state.SkipWithError("write failed");
}

void RegReads(benchmark::State& state, HKEY k) {
  char buf[128];
  for (const std::string& name : Names()) {
    DWORD size = sizeof buf;
    if (RegQueryValueExA(k, name.c_str(), nullptr, nullptr, reinterpret_cast<LPBYTE>(buf), &size) != 0)
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(buf);
  }
}

void BM_RegistryWrite10k(benchmark::State& state) {
  const HKEY k = BenchKey();
  Timed(state, &g_regWrite, [&] { RegWrites(state, k); });
  RegCloseKey(k);
}

void BM_RegistryRead10k(benchmark::State& state) {
  const HKEY k = BenchKey();
  RegWrites(state, k);
  Timed(state, &g_regRead, [&] { RegReads(state, k); });
  RegCloseKey(k);
}

sqlite::TDatabase& Bare() {
  static const std::unique_ptr<sqlite::TDatabase> db = [] {
    auto d = std::make_unique<sqlite::TDatabase>(std::string(std::getenv("VORRA_HOME")) + "/bare.db");
    d->Exec("CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL, type INTEGER NOT NULL,"
            " data BLOB NOT NULL, UNIQUE(key, name))");
    return d;
  }();
  return *db;
}

// The statement the registry itself runs for a write.
constexpr const char* BareUpsert =
    "INSERT INTO vals(key, name, type, data) VALUES(7, ?1, 1, ?2)"
    " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data";

void BareWrites(sqlite::TStatement& st) {
  for (const std::string& name : Names()) {
    st.Bind(1, name).BindBlob(2, Data.c_str(), Data.size() + 1).Run();
    st.Reset();
  }
}

void BM_SqliteWrite10k(benchmark::State& state) {
  sqlite::TStatement st(Bare(), BareUpsert);
  Timed(state, nullptr, [&] { BareWrites(st); });
}

void BM_SqliteRead10k(benchmark::State& state) {
  sqlite::TStatement ins(Bare(), BareUpsert);
  BareWrites(ins);
  sqlite::TStatement st(Bare(), "SELECT type, data FROM vals WHERE key = 7 AND name = ?1");
  Timed(state, nullptr, [&] {
    for (const std::string& name : Names()) {
      st.Bind(1, name);
      if (!st.Step()) state.SkipWithError("read failed");
      benchmark::DoNotOptimize(st.Blob(1));
      st.Reset();
    }
  });
}

BENCHMARK(BM_RegistryWrite10k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_RegistryRead10k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SqliteWrite10k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SqliteRead10k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  const fs::path home = fs::temp_directory_path() / ("vorra-bench-registry-" + std::to_string(::getpid()));
  fs::create_directories(home);
  ::setenv("VORRA_HOME", home.c_str(), 1);
  int rc = vorra::bench::RunWithRatios(argc, argv,
                                       {{"BM_RegistryWrite10k/iterations:5", "BM_SqliteWrite10k/iterations:5", 3.0},
                                        {"BM_RegistryRead10k/iterations:5", "BM_SqliteRead10k/iterations:5", 3.0}});
  // Benchmarks left out by a filter have measured nothing.
  if (g_regWrite > 0 && g_regRead > 0) {
    const double total = g_regWrite + g_regRead;
    const bool pass = total < 1.0;
    std::printf("registry %d writes + %d reads: %.0f ms + %.0f ms = %.0f ms (limit 1000 ms) %s\n", Count, Count,
                g_regWrite * 1000, g_regRead * 1000, total * 1000, pass ? "ok" : "OVER");
    if (!pass) rc = 1;
  }
  CloseRegistryStore();
  std::error_code ec;
  fs::remove_all(home, ec);
  return rc;
}
