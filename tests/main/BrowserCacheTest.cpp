#include <filesystem>

#include <gtest/gtest.h>

#include "main/BrowserCache.h"
#include "main/CacheSearch.h"
#include "platform/net/UrlCache.h"
#include "platform/net/UrlCacheStore.h"
#include "platform/win/Time.h"
#include "tests/support/TestSupport.h"

namespace vorra {
namespace {

namespace fs = std::filesystem;

class BrowserCacheTest : public ::testing::Test {
 protected:
  // Puts a file into the cache as a download of url would; returns the cache file.
  std::string Add(const std::string& url, const std::string& body, const std::string& fileFrom = "") {
    char path[win::URL_CACHE_MAX_PATH] = {};
    const std::string nameUrl = fileFrom.empty() ? url : fileFrom;
    EXPECT_TRUE(win::CreateUrlCacheEntryA(nameUrl.c_str(), static_cast<win::DWORD>(body.size()), nullptr, path, 0));
    test::WriteText(path, body);
    std::string headers = "HTTP/1.1 200 OK\r\nContent-Type: application/x-shockwave-flash\r\n\r\n";
    const win::FILETIME never{};
    EXPECT_TRUE(win::CommitUrlCacheEntryA(url.c_str(), path, never, never, win::NORMAL_CACHE_ENTRY,
                                          reinterpret_cast<win::BYTE*>(headers.data()),
                                          static_cast<win::DWORD>(headers.size()), nullptr, nullptr));
    return path;
  }
  // Cache entries whose last use lies `minutes` after a fixed moment: the
  // public calls stamp "now", which two quick commits may share.
  void AddUsedAt(const std::string& url, const std::string& file, int minutes) {
    const std::string content = home_.Folder() + "cache/UrlCache/Content/";
    fs::create_directories(content);
    test::WriteText(content + file, "movie");
    win::urlcache::TEntry e;
    e.Url = url;
    e.File = file;
    e.Size = 5;
    e.LastAccess = win::FILETIME_UNIX_EPOCH + (1700000000ull + 60ull * static_cast<unsigned>(minutes)) * 10000000ull;
    win::urlcache::BulkInsertForTests({e});
  }
  std::vector<std::string> Urls(const TCacheSearch& search) const {
    std::vector<std::string> urls;
    for (const auto& item : search.CacheList) urls.push_back(item->Url);
    return urls;
  }

  test::TTempDir home_;
  test::TScopedEnv env_{"VORRA_HOME", home_.Path().string()};
  TComponent owner_{nullptr};
  TBrowserCache* cache_ = new TBrowserCache(&owner_);
};

TEST_F(BrowserCacheTest, DefaultsAndFilterFlags) {
  EXPECT_TRUE(cache_->LibraryFound());
  EXPECT_EQ(cache_->FilterFlags(), 0x300035u);
  cache_->SetFilterOptions({});
  EXPECT_EQ(cache_->FilterFlags(), 0u);
  cache_->SetFilterOptions({NORMAL_ENTRY, STABLE_ENTRY, STICKY_ENTRY, COOKIE_ENTRY, URLHISTORY_ENTRY,
                            TRACK_OFFLINE_ENTRY, TRACK_ONLINE_ENTRY, SPARSE_ENTRY, OCX_ENTRY});
  EXPECT_EQ(cache_->FilterFlags(), 0x330037u);
  EXPECT_EQ(owner_.ComponentCount(), 1);
}

TEST_F(BrowserCacheTest, WalksEveryEntryAndCopiesItsFields) {
  const std::string file = Add("http://site/a/intro.swf", "movie bytes");
  Add("http://site/page.html", "<html>");
  cache_->SetSearchPattern(spUrl);
  std::vector<TEntryInfo> seen;
  cache_->OnEntry = [&](TObject* sender, bool&) {
    EXPECT_EQ(sender, cache_);
    seen.push_back(cache_->EntryInfo());
  };
  cache_->SearchCache(0);
  ASSERT_EQ(seen.size(), 2u);
  const auto it = std::find_if(seen.begin(), seen.end(), [](const TEntryInfo& e) {
    return e.SourceUrlName == "http://site/a/intro.swf";
  });
  ASSERT_NE(it, seen.end());
  EXPECT_EQ(it->LocalFileName, file);
  EXPECT_EQ(it->Size, 11u);
  EXPECT_NE(it->EntryType & win::NORMAL_CACHE_ENTRY, 0u);
  EXPECT_NE(it->HeaderInfo.find("application/x-shockwave-flash"), std::string::npos);
  EXPECT_GT(it->LastAccess, 40000.0);  // a date of this century
}

TEST_F(BrowserCacheTest, CancelEndsTheWalk) {
  for (int i = 0; i < 5; ++i) Add("http://site/m" + std::to_string(i) + ".swf", "x");
  int calls = 0;
  cache_->OnEntry = [&](TObject*, bool& cancel) { cancel = ++calls == 2; };
  cache_->SearchCache(0);
  EXPECT_EQ(calls, 2);
}

TEST_F(BrowserCacheTest, EmptyCacheAndUnknownAddresses) {
  EXPECT_EQ(cache_->FindFirstEntry(0), win::ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(cache_->DeleteEntry("http://nowhere/x.swf"), win::ERROR_FILE_NOT_FOUND);
  bool raised = false;
  cache_->OnEntry = [&](TObject*, bool&) { raised = true; };
  cache_->SearchCache(0);
  EXPECT_FALSE(raised);
}

TEST_F(BrowserCacheTest, DeleteEntryRemovesItAndEmptiesTheRecord) {
  const std::string file = Add("http://site/x.swf", "x");
  ASSERT_EQ(cache_->FindFirstEntry(0), 0u);
  EXPECT_EQ(cache_->EntryInfo().SourceUrlName, "http://site/x.swf");
  EXPECT_EQ(cache_->DeleteEntry("http://site/x.swf"), 0u);
  EXPECT_EQ(cache_->EntryInfo().SourceUrlName, "");
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(cache_->FindFirstEntry(0), win::ERROR_NO_MORE_ITEMS);
}

TEST_F(BrowserCacheTest, SearchListsMoviesByTheirCacheFileNewestFirst) {
  AddUsedAt("http://site/old.swf", "old[1].swf", 1);
  AddUsedAt("http://site/Upper.SWF", "Upper[1].SWF", 2);
  AddUsedAt("http://site/page.html", "page[1].html", 3);
  AddUsedAt("http://site/looks-like.swf", "actually[1].htm", 4);  // the cache file decides: not listed
  AddUsedAt("http://site/new.swf", "new[1].swf", 5);
  AddUsedAt("http://site/middle.swf", "middle[1].swf", 3);
  cache_->SetSearchPattern(spUrl);
  TCacheSearch search(*cache_);
  search.SearchInCache();
  EXPECT_EQ(Urls(search), (std::vector<std::string>{"http://site/new.swf", "http://site/middle.swf",
                                                    "http://site/Upper.SWF", "http://site/old.swf"}));
  const TCacheItem& first = *search.CacheList.front();
  EXPECT_EQ(first.Name, "new.swf");
  EXPECT_EQ(fs::path(first.CacheFile).filename(), "new[1].swf");
  EXPECT_NEAR(search.CacheList[0]->LastAccess - search.CacheList[1]->LastAccess, 2.0 / (24 * 60), 1e-6);

  // A second search gives the same list, not a longer one.
  search.SearchInCache();
  EXPECT_EQ(search.CacheList.size(), 4u);
}

TEST_F(BrowserCacheTest, DownloadedCopiesAreListed) {
  const std::string file = Add("http://site/dir/movie.swf", "m");
  cache_->SetSearchPattern(spUrl);
  TCacheSearch search(*cache_);
  search.SearchInCache();
  ASSERT_EQ(search.CacheList.size(), 1u);
  EXPECT_EQ(search.CacheList[0]->CacheFile, file);
  EXPECT_EQ(fs::path(file).filename(), "movie[1].swf");
}

TEST_F(BrowserCacheTest, ClearCacheDeletesOnlyTheListedMovies) {
  const std::string movie = Add("http://site/a.swf", "a");
  const std::string page = Add("http://site/page.html", "p");
  cache_->SetSearchPattern(spUrl);
  TCacheSearch search(*cache_);
  search.SearchInCache();
  ASSERT_EQ(search.CacheList.size(), 1u);
  search.ClearCache();
  EXPECT_TRUE(search.CacheList.empty());
  EXPECT_FALSE(fs::exists(movie));
  EXPECT_TRUE(fs::exists(page));
  search.SearchInCache();
  EXPECT_TRUE(search.CacheList.empty());
}

TEST(FileExtension, LooksBehindTheLastDelimiterOnly) {
  EXPECT_EQ(FileExtension("/c/movie[1].swf"), ".swf");
  EXPECT_EQ(FileExtension("/c/a.b/movie"), "");
  EXPECT_EQ(FileExtension("/c/archive.tar.gz"), ".gz");
  EXPECT_EQ(FileExtension("movie."), ".");
}

}  // namespace
}  // namespace vorra
