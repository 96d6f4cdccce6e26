#include "platform/net/UrlCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "platform/net/UrlCacheInternal.h"
#include "platform/net/UrlCacheStore.h"
#include "platform/win/Time.h"
#include "tests/support/TestSupport.h"

namespace win {
namespace {

namespace fs = std::filesystem;
using vorra::test::ListNames;
using vorra::test::ReadText;
using vorra::test::TScopedEnv;
using vorra::test::TTempDir;
using vorra::test::WriteText;

constexpr DWORD ProgramFilter = 0x300035;  // the main window's filter options
constexpr DWORD AllTypes = 0xFFFFFFFF;

struct TSeen {
  std::string Url, File, Header, Extension;
  DWORD Type = 0, UseCount = 0, HitRate = 0;
  std::uint64_t Size = 0, LastModified = 0, Expire = 0, LastAccess = 0, LastSync = 0;
};

// Checks one delivered record the way a caller relies on it, and copies it.
TSeen Take(const std::vector<char>& buf, DWORD size) {
  const auto* e = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  EXPECT_EQ(e->dwStructSize, sizeof(INTERNET_CACHE_ENTRY_INFOA));
  const char* lo = buf.data() + sizeof(INTERNET_CACHE_ENTRY_INFOA);
  const char* hi = buf.data() + size;
  for (const char* p : {e->lpszSourceUrlName, e->lpszLocalFileName, e->lpHeaderInfo, e->lpszFileExtension}) {
    EXPECT_TRUE(p >= lo && p < hi) << "text outside the record's buffer";
    if (p >= lo && p < hi) {
      EXPECT_NE(std::memchr(p, '\0', static_cast<std::size_t>(hi - p)), nullptr);
    }
  }
  TSeen s;
  s.Url = e->lpszSourceUrlName;
  s.File = e->lpszLocalFileName;
  s.Header.assign(e->lpHeaderInfo, e->dwHeaderInfoSize);
  s.Extension = e->lpszFileExtension;
  s.Type = e->CacheEntryType;
  s.UseCount = e->dwUseCount;
  s.HitRate = e->dwHitRate;
  s.Size = (std::uint64_t{e->dwSizeHigh} << 32) | e->dwSizeLow;
  s.LastModified = FileTimeToU64(e->LastModifiedTime);
  s.Expire = FileTimeToU64(e->ExpireTime);
  s.LastAccess = FileTimeToU64(e->LastAccessTime);
  s.LastSync = FileTimeToU64(e->LastSyncTime);
  return s;
}

// The walk exactly as the program's cache search makes it: ask the size with
// no buffer, then fetch into a buffer of that size; FindFirst twice.
std::vector<TSeen> Walk(LPCSTR pattern, DWORD filter, DWORD* endError = nullptr) {
  std::vector<TSeen> seen;
  DWORD size = 0;
  HANDLE h = FindFirstUrlCacheEntryExA(pattern, 0, filter, 0, nullptr, &size, nullptr, nullptr, nullptr);
  EXPECT_EQ(h, nullptr);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    if (endError) *endError = GetLastError();
    return seen;
  }
  std::vector<char> buf(size);
  h = FindFirstUrlCacheEntryExA(pattern, 0, filter, 0, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data()),
                                &size, nullptr, nullptr, nullptr);
  EXPECT_NE(h, nullptr);
  if (!h) return seen;
  seen.push_back(Take(buf, size));
  while (true) {
    size = 0;
    if (FindNextUrlCacheEntryExA(h, nullptr, &size, nullptr, nullptr, nullptr)) {
      ADD_FAILURE() << "a size query succeeded";
      break;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    buf.assign(size, '\x55');
    if (!FindNextUrlCacheEntryExA(h, reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data()), &size, nullptr,
                                  nullptr, nullptr)) {
      ADD_FAILURE() << "fetch into a buffer of the asked size failed: " << GetLastError();
      break;
    }
    seen.push_back(Take(buf, size));
  }
  if (endError) *endError = GetLastError();
  EXPECT_TRUE(FindCloseUrlCache(h));
  return seen;
}

std::vector<std::string> Urls(const std::vector<TSeen>& seen) {
  std::vector<std::string> urls;
  for (const TSeen& s : seen) urls.push_back(s.Url);
  std::sort(urls.begin(), urls.end());
  return urls;
}

class UrlCache : public ::testing::Test {
 protected:
  std::string Content() const { return dir_.Folder() + "cache/UrlCache/Content/"; }
  std::string Root() const { return dir_.Folder() + "cache/UrlCache/"; }

  std::string Create(const std::string& url, LPCSTR ext = nullptr) {
    char path[URL_CACHE_MAX_PATH];
    EXPECT_TRUE(CreateUrlCacheEntryA(url.c_str(), 0, ext, path, 0)) << GetLastError();
    return path;
  }
  BOOL Commit(const std::string& url, LPCSTR file, DWORD type = NORMAL_CACHE_ENTRY,
              const std::string& header = "HTTP/1.1 200 OK\r\n\r\n", LPCSTR ext = nullptr,
              std::uint64_t modified = 0, std::uint64_t expire = 0) {
    std::string h = header;
    return CommitUrlCacheEntryA(url.c_str(), file, U64ToFileTime(expire), U64ToFileTime(modified), type,
                                reinterpret_cast<LPBYTE>(h.data()), static_cast<DWORD>(h.size()), ext, nullptr);
  }
  // A download: a reserved file, filled, committed.
  std::string Add(const std::string& url, const std::string& body = "data", DWORD type = NORMAL_CACHE_ENTRY) {
    const std::string path = Create(url);
    WriteText(path, body);
    EXPECT_TRUE(Commit(url, path.c_str(), type)) << GetLastError();
    return path;
  }

  TTempDir dir_;
  TScopedEnv home_{"VORRA_HOME", dir_.Path().string()};
};

TEST_F(UrlCache, BufferContractOfTheWalk) {
  const std::string path = Create("http://a.example/m/movie.swf?x=1");
  WriteText(path, "FWS-123456");
  ASSERT_TRUE(Commit("http://a.example/m/movie.swf?x=1", path.c_str(), NORMAL_CACHE_ENTRY,
                     "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n\r\n", nullptr, 1111, 2222));
  Add("http://a.example/second.swf");
  Add("http://a.example/third.swf");

  // No buffer: the size, and no handle.
  DWORD need = 0;
  EXPECT_EQ(FindFirstUrlCacheEntryExA("", 0, ProgramFilter, 0, nullptr, &need, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(need, sizeof(INTERNET_CACHE_ENTRY_INFOA));

  // One byte short: the same answer, the buffer untouched.
  std::vector<char> buf(need + 64, '\x7E');
  DWORD size = need - 1;
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  EXPECT_EQ(FindFirstUrlCacheEntryExA("", 0, ProgramFilter, 0, info, &size, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, need);
  EXPECT_EQ(std::count(buf.begin(), buf.end(), '\x7E'), static_cast<long>(buf.size()));

  // Exactly the size: the record, its texts right behind it, nothing beyond.
  size = need;
  HANDLE h = FindFirstUrlCacheEntryExA("", 0, ProgramFilter, 0, info, &size, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(size, need);
  EXPECT_TRUE(std::all_of(buf.begin() + need, buf.end(), [](char c) { return c == '\x7E'; }));
  const TSeen first = Take(buf, need);
  EXPECT_EQ(first.Url, "http://a.example/m/movie.swf?x=1");
  EXPECT_EQ(first.File, path);
  EXPECT_EQ(first.Type, NORMAL_CACHE_ENTRY);
  EXPECT_EQ(first.Header, "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n\r\n");
  EXPECT_EQ(first.Extension, "swf");
  EXPECT_EQ(first.Size, 10u);
  EXPECT_EQ(first.UseCount, 1u);
  EXPECT_EQ(first.LastModified, 1111u);
  EXPECT_EQ(first.Expire, 2222u);
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  EXPECT_LE(first.LastAccess, FileTimeToU64(now));
  EXPECT_GT(first.LastAccess, FileTimeToU64(now) - 600 * 10000000ULL);
  EXPECT_EQ(first.LastSync, first.LastAccess);

  // Size queries do not advance the walk.
  size = 0;
  EXPECT_FALSE(FindNextUrlCacheEntryExA(h, nullptr, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  const DWORD second = size;
  size = 1;
  EXPECT_FALSE(FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(size, second);
  buf.assign(second, 0);
  info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  ASSERT_TRUE(FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(Take(buf, size).Url, "http://a.example/second.swf");

  // A big buffer takes the next one at once.
  buf.assign(4096, 0);
  info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  size = 4096;
  ASSERT_TRUE(FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(Take(buf, size).Url, "http://a.example/third.swf");
  for (int i = 0; i < 2; ++i) {
    size = 4096;
    EXPECT_FALSE(FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  }
  EXPECT_TRUE(FindCloseUrlCache(h));
  EXPECT_FALSE(FindCloseUrlCache(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(FindFirstUrlCacheEntryExA("", 0, ProgramFilter, 0, nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(UrlCache, EmptyCacheEndsAtOnce) {
  DWORD end = 0;
  EXPECT_TRUE(Walk("", ProgramFilter, &end).empty());
  EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
  EXPECT_FALSE(fs::exists(Root())) << "looking must not create the cache";

  Add("http://a/x.swf");
  ASSERT_TRUE(DeleteUrlCacheEntry("http://a/x.swf"));
  EXPECT_TRUE(Walk(nullptr, AllTypes, &end).empty());
  EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
}

TEST_F(UrlCache, PatternsAndFilters) {
  Add("http://a/normal.swf");
  Add("http://a/sticky.swf", "s", STICKY_CACHE_ENTRY | NORMAL_CACHE_ENTRY);
  Add("http://a/edited.swf", "e", EDITED_CACHE_ENTRY);
  Add("Cookie:user@a/", "c", COOKIE_CACHE_ENTRY);
  ASSERT_TRUE(Commit("Visited: user@http://a/page.html", nullptr, URLHISTORY_CACHE_ENTRY, ""));

  EXPECT_EQ(Urls(Walk(nullptr, AllTypes)),
            (std::vector<std::string>{"Cookie:user@a/", "Visited: user@http://a/page.html", "http://a/edited.swf",
                                      "http://a/normal.swf", "http://a/sticky.swf"}));
  // The program's walk: addresses only, and no edited entries under its filter.
  EXPECT_EQ(Urls(Walk("", ProgramFilter)),
            (std::vector<std::string>{"http://a/normal.swf", "http://a/sticky.swf"}));
  EXPECT_EQ(Urls(Walk("", EDITED_CACHE_ENTRY)), std::vector<std::string>{"http://a/edited.swf"});
  EXPECT_EQ(Urls(Walk("Cookie:", AllTypes)), std::vector<std::string>{"Cookie:user@a/"});
  EXPECT_EQ(Urls(Walk("cookie:", ProgramFilter)), std::vector<std::string>{"Cookie:user@a/"});
  EXPECT_EQ(Urls(Walk("Visited:", AllTypes)), std::vector<std::string>{"Visited: user@http://a/page.html"});
  EXPECT_EQ(Urls(Walk(nullptr, COOKIE_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY)),
            (std::vector<std::string>{"Cookie:user@a/", "Visited: user@http://a/page.html"}));
  EXPECT_TRUE(Walk("Visited:", COOKIE_CACHE_ENTRY).empty());
  EXPECT_TRUE(Walk(nullptr, 0).empty());

  // An entry without a file is listed with an empty file name.
  const std::vector<TSeen> history = Walk("Visited:", AllTypes);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].File, "");

  DWORD size = 0;
  EXPECT_EQ(FindFirstUrlCacheEntryExA("http:", 0, AllTypes, 0, nullptr, &size, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(FindFirstUrlCacheEntryExA(nullptr, 0, AllTypes, 7, nullptr, &size, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(UrlCache, DeleteRemovesRowAndFile) {
  EXPECT_FALSE(DeleteUrlCacheEntry("http://a/x.swf"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  const std::string x = Add("http://a/x.swf");
  const std::string y = Add("http://a/y.swf");
  ASSERT_TRUE(DeleteUrlCacheEntry("http://a/x.swf"));
  EXPECT_FALSE(fs::exists(x));
  EXPECT_TRUE(fs::exists(y));
  EXPECT_EQ(Urls(Walk(nullptr, AllTypes)), std::vector<std::string>{"http://a/y.swf"});
  EXPECT_FALSE(DeleteUrlCacheEntry("http://a/x.swf"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteUrlCacheEntryA("http://a/X.swf"));  // addresses match exactly
  ASSERT_TRUE(DeleteUrlCacheEntryA("http://a/y.swf"));
  EXPECT_FALSE(fs::exists(y));
}

TEST_F(UrlCache, DeleteKeepsTheEntryWhenTheFileCannotGo) {
  // A folder in the file's place cannot be unlinked, not even by root.
  const std::string x = Add("http://a/x.swf");
  fs::remove(x);
  fs::create_directories(x + "/inside");
  EXPECT_FALSE(DeleteUrlCacheEntry("http://a/x.swf"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  fs::remove_all(x);
  WriteText(x, "back");
  EXPECT_EQ(Urls(Walk("", ProgramFilter)), std::vector<std::string>{"http://a/x.swf"});
}

TEST_F(UrlCache, RowWithoutItsFileIsNotListedAndIsTidiedAway) {
  Add("http://a/1.swf");
  const std::string gone = Add("http://a/2.swf");
  Add("http://a/3.swf");
  fs::remove(gone);
  EXPECT_EQ(Urls(Walk("", ProgramFilter)), (std::vector<std::string>{"http://a/1.swf", "http://a/3.swf"}));
  DWORD size = 0;
  EXPECT_FALSE(GetUrlCacheEntryInfoA("http://a/2.swf", nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  // The walk dropped the row: nothing is left to delete.
  EXPECT_FALSE(DeleteUrlCacheEntry("http://a/2.swf"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // Also when the first entry of the walk is the one that vanished.
  fs::remove_all(Content());
  DWORD end = 0;
  EXPECT_TRUE(Walk("", ProgramFilter, &end).empty());
  EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
}

TEST_F(UrlCache, FileWithoutRowIsNotListed) {
  Create("http://a/reserved.swf");  // reserved but never committed
  WriteText(Content() + "stray.swf", "x");
  DWORD end = 0;
  EXPECT_TRUE(Walk(nullptr, AllTypes, &end).empty());
  EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
}

TEST_F(UrlCache, FileNamesFollowTheAddress) {
  auto name = [](const std::string& path) { return fs::path(path).filename().string(); };
  const std::string odd = Create("http://h/dir/my movie[2] \xC3\xA9t\xC3\xA9.swf?q=a/b#c/d");
  EXPECT_EQ(name(odd), "my movie[2] \xC3\xA9t\xC3\xA9[1].swf");
  EXPECT_EQ(fs::path(odd).parent_path().string() + "/", Content());
  EXPECT_EQ(name(Create("http://h")), "index[1]");
  EXPECT_EQ(name(Create("http://h/?page=2")), "index[2]");
  EXPECT_EQ(name(Create("http://h/get.php?id=3", "swf")), "get[1].swf");
  EXPECT_EQ(name(Create("http://h/get.php?id=4", ".swf")), "get[2].swf");
  EXPECT_EQ(name(Create("http://h/a\tb.swf")), "a_b[1].swf");
  EXPECT_EQ(name(Create("http://h/..")), "index[3]");
  EXPECT_EQ(name(Create("http://h/.hidden")), ".hidden[1]");

  // Long names stay within one file name and keep whole UTF-8 letters.
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "\xC3\xA9";
  const std::string cut = name(Create("http://h/" + longName + ".swf"));
  EXPECT_LE(cut.size(), 255u);
  ASSERT_GT(cut.size(), 7u);
  EXPECT_EQ(cut.substr(cut.size() - 7), "[1].swf");
  EXPECT_EQ(longName.compare(0, cut.size() - 7, cut, 0, cut.size() - 7), 0);
  EXPECT_EQ((cut.size() - 7) % 2, 0u) << "a letter cut in half";

  // Such names go through commit and walk unchanged.
  WriteText(odd, "movie");
  ASSERT_TRUE(Commit("http://h/odd", odd.c_str()));
  const std::vector<TSeen> seen = Walk("", ProgramFilter);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].File, odd);
  EXPECT_EQ(ReadText(seen[0].File), "movie");
}

TEST_F(UrlCache, CountersNumberTheCopiesOfOneName) {
  fs::create_directories(Content());
  WriteText(Content() + "movie[2].swf", "someone else's");
  EXPECT_EQ(Create("http://a/movie.swf"), Content() + "movie[1].swf");
  EXPECT_EQ(Create("http://b/x/movie.swf"), Content() + "movie[3].swf");
  EXPECT_EQ(Create("http://a/movie.swf?v=2"), Content() + "movie[4].swf");
  EXPECT_EQ(ReadText(Content() + "movie[2].swf"), "someone else's");
  EXPECT_EQ(fs::file_size(Content() + "movie[1].swf"), 0u);
  EXPECT_EQ(Create("http://a/movie.SWF"), Content() + "movie[1].SWF");
}

TEST_F(UrlCache, SecondCommitReplacesTheEntry) {
  const std::string first = Add("http://a/m.swf", "old");
  const std::string second = Create("http://a/m.swf");
  WriteText(second, "newer");
  ASSERT_TRUE(Commit("http://a/m.swf", second.c_str()));
  EXPECT_FALSE(fs::exists(first));
  const std::vector<TSeen> seen = Walk("", ProgramFilter);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].File, second);
  EXPECT_EQ(seen[0].Size, 5u);
  EXPECT_EQ(seen[0].UseCount, 2u);

  // Committing the same file again keeps it.
  ASSERT_TRUE(Commit("http://a/m.swf", second.c_str()));
  EXPECT_TRUE(fs::exists(second));

  // A file two addresses share goes only with the last of them.
  ASSERT_TRUE(Commit("http://a/alias.swf", second.c_str()));
  Add("http://a/m.swf", "third");
  EXPECT_TRUE(fs::exists(second));
  ASSERT_TRUE(DeleteUrlCacheEntry("http://a/alias.swf"));
  EXPECT_FALSE(fs::exists(second));
}

TEST_F(UrlCache, CommitChecksItsFile) {
  EXPECT_FALSE(Commit("http://a/x.swf", (Content() + "missing.swf").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  const std::string outside = dir_ / "outside.swf";
  WriteText(outside, "x");
  EXPECT_FALSE(Commit("http://a/x.swf", outside.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  const std::string dotdot = Create("http://a/y.swf");
  EXPECT_FALSE(Commit("http://a/x.swf", (Content() + "../../../outside.swf").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Commit("", dotdot.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(Walk(nullptr, AllTypes).empty());
}

// A finished download as the cache receives it: open, read position at its end.
int FinishedFile(const std::string& path, const std::string& body) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
  return fd;
}

bool SameInode(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

TEST_F(UrlCache, AdoptedFileGetsASecondNameAndAnEntry) {
  fs::create_directories(Content());
  WriteText(Content() + "movie[1].swf", "someone else's");
  const std::string src = dir_ / "download.bin";
  const int fd = FinishedFile(src, "the movie");
  urlcache::TAdoptFields f;
  f.Header = "HTTP/1.1 200 OK\r\nX-A: b\r\n\r\n";
  f.Extension = ".swf";
  f.LastModified = U64ToFileTime(123);
  f.Expire = U64ToFileTime(456);
  std::string path;
  urlcache::TAdoptHow how = urlcache::ahCopy;
  ASSERT_TRUE(urlcache::AdoptUrlCacheFile("http://a/movie.swf?v=1", fd, f, path, &how)) << GetLastError();
  ::close(fd);
  EXPECT_EQ(how, urlcache::ahLink);
  EXPECT_EQ(path, Content() + "movie[2].swf");
  EXPECT_TRUE(SameInode(path, src));
  EXPECT_EQ(ReadText(Content() + "movie[1].swf"), "someone else's");
  std::vector<TSeen> seen = Walk("", ProgramFilter);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Url, "http://a/movie.swf?v=1");
  EXPECT_EQ(seen[0].File, path);
  EXPECT_EQ(seen[0].Size, 9u);
  EXPECT_EQ(seen[0].Header, f.Header);
  EXPECT_EQ(seen[0].Extension, "swf");
  EXPECT_EQ(seen[0].LastModified, 123u);
  EXPECT_EQ(seen[0].Expire, 456u);
  EXPECT_EQ(seen[0].UseCount, 1u);

  // The next file of the address replaces the entry; only the old name goes.
  const std::string src2 = dir_ / "download2.bin";
  const int fd2 = FinishedFile(src2, "newer");
  std::string path2;
  ASSERT_TRUE(urlcache::AdoptUrlCacheFile("http://a/movie.swf?v=1", fd2, f, path2)) << GetLastError();
  ::close(fd2);
  EXPECT_EQ(path2, Content() + "movie[3].swf");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(ReadText(src), "the movie");
  seen = Walk("", ProgramFilter);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].File, path2);
  EXPECT_EQ(seen[0].UseCount, 2u);
}

TEST_F(UrlCache, CopyStandsInForALink) {
  std::string body(3 << 20, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 31 + i / 4099);
  const std::string src = dir_ / "download.bin";
  const int fd = FinishedFile(src, body);  // the copy must not start at the read position
  std::string path;
  urlcache::TAdoptHow how = urlcache::ahLink;
  ASSERT_TRUE(urlcache::CopyIntoUrlCache("http://a/big.swf", fd, {}, path, &how)) << GetLastError();
  ::close(fd);
  EXPECT_NE(how, urlcache::ahLink);
  EXPECT_FALSE(SameInode(path, src));
  EXPECT_EQ(ReadText(path), body);
  const std::vector<TSeen> seen = Walk("", ProgramFilter);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].File, path);
  EXPECT_EQ(seen[0].Size, body.size());
  EXPECT_EQ(ListNames(Content()), std::vector<std::string>{"big[1].swf"});
}

TEST_F(UrlCache, AdoptionThatFailsLeavesNothingBehind) {
  int pipeFd[2];
  ASSERT_EQ(::pipe(pipeFd), 0);
  std::string path;
  EXPECT_FALSE(urlcache::AdoptUrlCacheFile("http://a/x.swf", pipeFd[0], {}, path));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ::close(pipeFd[0]);
  ::close(pipeFd[1]);
  EXPECT_FALSE(fs::exists(Root()));

  // An index that cannot be opened: the name just made goes again.
  fs::create_directories(Root() + "index.db");
  const std::string src = dir_ / "download.bin";
  const int fd = FinishedFile(src, "movie");
  EXPECT_FALSE(urlcache::AdoptUrlCacheFile("http://a/x.swf", fd, {}, path));
  EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(ListNames(Content()).empty());
  EXPECT_FALSE(urlcache::CopyIntoUrlCache("http://a/x.swf", fd, {}, path));
  EXPECT_TRUE(ListNames(Content()).empty());
  ::close(fd);
  EXPECT_EQ(fs::hard_link_count(src), 1u);
  EXPECT_EQ(ReadText(src), "movie");
}

TEST_F(UrlCache, EntryInfoOfOneAddress) {
  const std::string path = Add("http://a/x.swf", "12345");
  DWORD size = 0;
  EXPECT_FALSE(GetUrlCacheEntryInfoA("http://a/x.swf", nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<char> buf(size);
  ASSERT_TRUE(GetUrlCacheEntryInfoA("http://a/x.swf", reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data()),
                                    &size));
  const TSeen s = Take(buf, size);
  EXPECT_EQ(s.File, path);
  EXPECT_EQ(s.Size, 5u);
  EXPECT_FALSE(GetUrlCacheEntryInfoA("http://a/other.swf", nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(UrlCache, WalkSurvivesDeletesAndCommitsAlongTheWay) {
  for (int i = 0; i < 6; ++i) Add("http://a/" + std::to_string(i) + ".swf");
  std::vector<char> buf(8192);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  DWORD size = 8192;
  HANDLE h = FindFirstUrlCacheEntryExA("", 0, ProgramFilter, 0, info, &size, nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  std::vector<std::string> seen{info->lpszSourceUrlName};
  // Another part of the program deletes two, replaces one, adds one.
  ASSERT_TRUE(DeleteUrlCacheEntry("http://a/2.swf"));
  ASSERT_TRUE(DeleteUrlCacheEntry("http://a/4.swf"));
  Add("http://a/3.swf", "replaced");
  Add("http://a/new.swf");
  while (size = 8192, FindNextUrlCacheEntryExA(h, info, &size, nullptr, nullptr, nullptr))
    seen.push_back(info->lpszSourceUrlName);
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(FindCloseUrlCache(h));
  EXPECT_EQ(seen, (std::vector<std::string>{"http://a/0.swf", "http://a/1.swf", "http://a/3.swf", "http://a/5.swf"}));
}

TEST_F(UrlCache, TwoProcessesNeverShareAFile) {
  constexpr int PerChild = 60;
  // The children inherit an open index; each must open its own.
  Add("http://parent.example/movie.swf", "http://parent.example/movie.swf");
  vorra::test::TChildren children(2, [&](int c, const std::string&) {
    int failures = 0;
    for (int i = 0; i < PerChild; ++i) {
      const std::string url = "http://same.example/movie.swf?c=" + std::to_string(c) + "&i=" + std::to_string(i);
      char path[URL_CACHE_MAX_PATH];
      if (!CreateUrlCacheEntryA(url.c_str(), 0, nullptr, path, 0)) {
        ++failures;
        continue;
      }
      const int fd = ::open(path, O_WRONLY | O_TRUNC);
      failures += fd < 0 || ::write(fd, url.data(), url.size()) != static_cast<ssize_t>(url.size());
      if (fd >= 0) ::close(fd);
      failures += !CommitUrlCacheEntryA(url.c_str(), path, FILETIME{}, FILETIME{}, NORMAL_CACHE_ENTRY, nullptr, 0,
                                        nullptr, nullptr);
    }
    return failures;
  });
  children.Release();  // both start at once
  for (const int code : children.Wait()) EXPECT_EQ(code, 0);
  Add("http://parent.example/after.swf", "http://parent.example/after.swf");
  const std::vector<TSeen> seen = Walk("", ProgramFilter);
  ASSERT_EQ(seen.size(), 2u * PerChild + 2);
  std::set<std::string> files;
  for (const TSeen& s : seen) {
    files.insert(s.File);
    EXPECT_EQ(ReadText(s.File), s.Url) << "a file written by both processes";
  }
  EXPECT_EQ(files.size(), 2u * PerChild + 2);
  EXPECT_EQ(ListNames(Content()).size(), 2u * PerChild + 2);
}

TEST_F(UrlCache, TwoProcessesCreatingTheIndexAtOnceBothRecord) {
  // The race is short: several fresh caches, each begun by two processes.
  for (int round = 0; round < 20; ++round) {
    TScopedEnv home("VORRA_HOME", dir_ / ("round" + std::to_string(round)));
    vorra::test::TChildren children(2, [](int c, const std::string&) {
      const std::string url = "http://c" + std::to_string(c) + ".example/movie.swf";
      char path[URL_CACHE_MAX_PATH];
      int failures = !CreateUrlCacheEntryA(url.c_str(), 0, nullptr, path, 0);
      failures += !CommitUrlCacheEntryA(url.c_str(), path, FILETIME{}, FILETIME{}, NORMAL_CACHE_ENTRY, nullptr, 0,
                                        nullptr, nullptr);
      return failures;
    });
    children.Release();
    for (const int code : children.Wait()) EXPECT_EQ(code, 0) << "round " << round;
    EXPECT_EQ(Urls(Walk("", ProgramFilter)),
              (std::vector<std::string>{"http://c0.example/movie.swf", "http://c1.example/movie.swf"}));
  }
}

TEST_F(UrlCache, HundredThousandEntriesWalkCompletely) {
  constexpr int Count = 100000;
  // A memory file system, where there is one, makes 100 000 files cheap.
  const bool shm = ::access("/dev/shm", W_OK) == 0;
  TScopedEnv tmp("TMPDIR", shm ? std::optional<std::string>("/dev/shm") : std::nullopt);
  TTempDir fast;
  TScopedEnv home("VORRA_HOME", fast.Path().string());
  const std::string content = fast.Folder() + "cache/UrlCache/Content/";
  fs::create_directories(content);
  std::vector<urlcache::TEntry> rows(Count);
  for (int i = 0; i < Count; ++i) {
    urlcache::TEntry& e = rows[i];
    e.Url = "http://host" + std::to_string(i % 97) + ".example/p/" + std::to_string(i) + ".swf";
    e.File = std::to_string(i) + "[1].swf";
    e.LastAccess = static_cast<std::uint64_t>(i);
    e.Header = "HTTP/1.1 200 OK\r\n\r\n";
    e.Extension = "swf";
    const int fd = ::open((content + e.File).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  rows[5].Url = "Cookie:x@host/";
  rows[6].Type = EDITED_CACHE_ENTRY;
  urlcache::BulkInsertForTests(rows);
  const std::set<int> removed = {0, 7, 511, 512, 513, 50000, Count - 1};
  for (const int i : removed) fs::remove(content + rows[i].File);

  const std::vector<TSeen> seen = Walk("", ProgramFilter);
  ASSERT_EQ(seen.size(), Count - removed.size() - 2);
  std::uint64_t last = 0;
  std::set<std::string> files;
  for (std::size_t k = 0; k < seen.size(); ++k) {
    if (k) {
      EXPECT_GT(seen[k].LastAccess, last) << "out of order or repeated at " << k;
    }
    last = seen[k].LastAccess;
    files.insert(seen[k].File);
  }
  EXPECT_EQ(files.size(), seen.size());
  for (const int i : removed) EXPECT_EQ(files.count(content + rows[i].File), 0u);
}

TEST_F(UrlCache, DamagedIndexIsSetAsideAndTheCacheGoesOn) {
  fs::create_directories(Root());
  WriteText(Root() + "index.db", std::string(5000, '\x13'));
  DWORD end = 0;
  EXPECT_TRUE(Walk(nullptr, AllTypes, &end).empty());
  EXPECT_EQ(end, ERROR_FILE_CORRUPT);  // not "empty": the caller can say what happened
  EXPECT_TRUE(fs::exists(Root() + "index.db.damaged"));
  Add("http://a/after.swf");
  EXPECT_EQ(Urls(Walk("", ProgramFilter)), std::vector<std::string>{"http://a/after.swf"});
}

TEST_F(UrlCache, FilesOfASetAsideIndexAreSweptOnceTheyRest) {
  const std::string old = Add("http://a/old.swf");
  const std::string young = Add("http://a/young.swf");
  urlcache::TIndex::DiscardOpen(Root());
  const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
  fs::last_write_time(old, past);
  DWORD end = 0;
  EXPECT_TRUE(Walk("", ProgramFilter, &end).empty());
  EXPECT_EQ(end, ERROR_FILE_CORRUPT);
  const std::string kept = Add("http://a/kept.swf", "data");
  fs::last_write_time(kept, past);  // named by a row: never swept
  Walk("", ProgramFilter);
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(young));  // a transfer may still be filling it
  EXPECT_TRUE(fs::exists(kept));
  EXPECT_TRUE(fs::exists(Root() + "content.sweep"));  // until young can go too
}

TEST_F(UrlCache, UnusableFolderIsNotAnEmptyCache) {
  WriteText(dir_ / "file", "x");
  TScopedEnv home("VORRA_HOME", dir_ / "file");
  DWORD end = 0;
  EXPECT_TRUE(Walk("", ProgramFilter, &end).empty());
  EXPECT_EQ(end, ERROR_PATH_NOT_FOUND);
  TScopedEnv missing("VORRA_HOME", dir_ / "none");
  EXPECT_TRUE(Walk("", ProgramFilter, &end).empty());
  EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
}

TEST_F(UrlCache, ForeignDatabaseIsNotTakenForTheIndex) {
  fs::create_directories(Root());
  {
    sqlite::TDatabase other(Root() + "index.db");
    other.Exec("CREATE TABLE entries(id INTEGER PRIMARY KEY, url TEXT); PRAGMA user_version=1;"
               "INSERT INTO entries(url) VALUES('http://a/theirs.swf');");
  }
  EXPECT_TRUE(Walk(nullptr, AllTypes).empty());
  Add("http://a/ours.swf");
  EXPECT_EQ(Urls(Walk("", ProgramFilter)), std::vector<std::string>{"http://a/ours.swf"});
  EXPECT_TRUE(fs::exists(Root() + "index.db.damaged"));
}

TEST_F(UrlCache, IndexWithAddedTriggersIsNotOurs) {
  Add("http://a/x.swf");
  TTempDir other;
  TScopedEnv home("VORRA_HOME", other.Path().string());
  fs::create_directories(other.Folder() + "cache/UrlCache");
  // Our layout, plus a trigger that would turn every delete into a no-op.
  fs::copy_file(Root() + "index.db", other.Folder() + "cache/UrlCache/index.db");
  if (fs::exists(Root() + "index.db-wal"))
    fs::copy_file(Root() + "index.db-wal", other.Folder() + "cache/UrlCache/index.db-wal");
  {
    sqlite::TDatabase db(other.Folder() + "cache/UrlCache/index.db");
    db.Exec("CREATE TRIGGER keep BEFORE DELETE ON entries BEGIN SELECT RAISE(IGNORE); END;");
  }
  DWORD end = 0;
  EXPECT_TRUE(Walk(nullptr, AllTypes, &end).empty());
  EXPECT_EQ(end, ERROR_FILE_CORRUPT);
}

}  // namespace
}  // namespace win
