// The URL cache on a hostile index, then a full walk, lookups, deletes and a
// commit. The first byte picks what the rest is:
//   0: the whole index file;
//   1: (offset high, offset low, byte) patches on a real index of 24 entries;
//   2: rows for a well-formed index, fields split at zero bytes (url, file,
//      type, header, extension), with files for some of them.
// Never crash, never loop, never delete anything outside the content folder.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/net/UrlCache.h"
#include "platform/net/UrlCacheStore.h"

namespace {

namespace fs = std::filesystem;
using namespace win;

const fs::path& Base() {
  static const fs::path base = [] {
    std::string tmpl = (fs::temp_directory_path() / "vorra-fuzz-urlcache-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) std::abort();
    return fs::path(tmpl);
  }();
  return base;
}

void Home(const fs::path& dir) {
  fs::create_directories(dir);
  ::setenv("VORRA_HOME", dir.c_str(), 1);
}

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const fs::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary);
  f << bytes;
}

// A real index with a few entries, its log folded into the file.
const std::string& Template() {
  static const std::string bytes = [] {
    const fs::path dir = Base() / "template";
    Home(dir);
    for (int i = 0; i < 24; ++i) {
      const std::string url = "http://site" + std::to_string(i % 5) + ".example/movie" + std::to_string(i) + ".swf";
      char path[URL_CACHE_MAX_PATH];
      if (!CreateUrlCacheEntryA(url.c_str(), 0, nullptr, path, 0)) std::abort();
      std::string header = "HTTP/1.1 200 OK\r\nX-Entry: " + std::to_string(i) + "\r\n\r\n";
      CommitUrlCacheEntryA(url.c_str(), path, FILETIME{}, FILETIME{}, i % 3 ? NORMAL_CACHE_ENTRY : COOKIE_CACHE_ENTRY,
                           reinterpret_cast<LPBYTE>(header.data()), static_cast<DWORD>(header.size()), nullptr,
                           nullptr);
    }
    // Looking at another cache closes this one's connection, which folds the log in.
    Home(Base() / "elsewhere");
    DWORD size = 0;
    FindFirstUrlCacheEntryExA(nullptr, 0, 0xFFFFFFFF, 0, nullptr, &size, nullptr, nullptr, nullptr);
    return ReadAll(dir / "cache/UrlCache/index.db");
  }();
  return bytes;
}

std::vector<std::string> Walk() {
  std::vector<std::string> urls;
  DWORD size = 0;
  HANDLE h = FindFirstUrlCacheEntryExA(nullptr, 0, 0xFFFFFFFF, 0, nullptr, &size, nullptr, nullptr, nullptr);
  if (h || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return urls;
  std::vector<char> buf(size);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  h = FindFirstUrlCacheEntryExA(nullptr, 0, 0xFFFFFFFF, 0, info, &size, nullptr, nullptr, nullptr);
  for (bool ok = h != nullptr; ok;) {
    // Inputs are far too small to hold this many entries: the walk repeats.
    if (info->dwStructSize != sizeof *info || urls.size() > 100000) __builtin_trap();
    urls.emplace_back(info->lpszSourceUrlName);
    size = 0;
    ok = !FindNextUrlCacheEntryExA(h, nullptr, &size, nullptr, nullptr, nullptr) &&
         GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    if (ok) {
      buf.assign(size, 0);
      info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
      ok = FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr);
    }
  }
  if (h) FindCloseUrlCache(h);
  return urls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string& tmpl = Template();
  static unsigned run = 0;
  const fs::path dir = Base() / ("run" + std::to_string(run++));
  Home(dir);
  const fs::path root = dir / "cache/UrlCache";
  const fs::path content = root / "Content";
  fs::create_directories(content);
  // Something no entry may ever take away.
  WriteAll(root / "sentinel", "keep");
  WriteAll(dir / "sentinel", "keep");

  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0:
      WriteAll(root / "index.db", input);
      break;
    case 1: {
      std::string bytes = tmpl;
      for (std::size_t i = 0; i + 2 < input.size() && !bytes.empty(); i += 3) {
        const std::size_t off = (static_cast<unsigned char>(input[i]) << 8 | static_cast<unsigned char>(input[i + 1]));
        bytes[off % bytes.size()] = input[i + 2];
      }
      WriteAll(root / "index.db", bytes);
      break;
    }
    default: {
      std::vector<std::string> fields;
      std::size_t start = 0;
      for (std::size_t i = 0; i <= input.size(); ++i)
        if (i == input.size() || input[i] == '\0') {
          fields.push_back(input.substr(start, i - start));
          start = i + 1;
        }
      std::vector<urlcache::TEntry> rows;
      for (std::size_t i = 0; i < fields.size(); i += 5) {
        urlcache::TEntry e;
        e.Url = fields[i];
        e.File = i + 1 < fields.size() ? fields[i + 1] : "";
        e.Type = i + 2 < fields.size() ? static_cast<DWORD>(std::strtoul(fields[i + 2].c_str(), nullptr, 16)) : 1;
        e.Header = i + 3 < fields.size() ? fields[i + 3] : "";
        e.Extension = i + 4 < fields.size() ? fields[i + 4] : "";
        // Give every other entry its file, where the name can be one.
        if ((i / 5) % 2 == 0 && urlcache::IsPlainFileName(e.File)) WriteAll(content / e.File, "x");
        rows.push_back(std::move(e));
      }
      try {
        urlcache::BulkInsertForTests(rows);
      } catch (const sqlite::ESqlite&) {
        // The same url twice: the index refuses, which is fine.
      }
      break;
    }
  }

  const std::vector<std::string> urls = Walk();
  if (!urls.empty()) {
    DWORD need = 0;
    GetUrlCacheEntryInfoA(urls.front().c_str(), nullptr, &need);
  }
  for (const std::string& url : urls) DeleteUrlCacheEntry(url.c_str());
  char path[URL_CACHE_MAX_PATH];
  if (CreateUrlCacheEntryA("http://after.example/a.swf", 0, nullptr, path, 0))
    CommitUrlCacheEntryA("http://after.example/a.swf", path, FILETIME{}, FILETIME{}, NORMAL_CACHE_ENTRY, nullptr, 0,
                         nullptr, nullptr);
  Walk();

  if (ReadAll(root / "sentinel") != "keep" || ReadAll(dir / "sentinel") != "keep") __builtin_trap();
  // libFuzzer may end the process without running exit handlers: leave nothing.
  std::error_code ec;
  fs::remove_all(Base(), ec);
  return 0;
}
