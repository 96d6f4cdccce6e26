// The "From Cache" tab's work that needs no window: the movies found in the
// download cache, newest use first, and deleting them from the cache. The
// tab and the command line both drive it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/DateTime.h"
#include "main/BrowserCache.h"

namespace vorra {

struct TCacheItem {
  std::string Url;        // also the text the list shows
  std::string CacheFile;  // previews and saves read this file
  std::string Name;
  TDateTime LastAccess = 0;
};

inline constexpr std::size_t CacheListReserve = 1000;

class TCacheSearch {
 public:
  // Binds the cache's OnEntry to this search.
  explicit TCacheSearch(TBrowserCache& cache);
  ~TCacheSearch();

  // In display order: entry k of the tab's list is record k.
  std::vector<std::unique_ptr<TCacheItem>> CacheList;

  void BrowserCache1Entry(TObject* Sender, bool& Cancel);
  // "Search In Cache": empties the list, walks the cache, sorts newest first.
  void SearchInCache();
  // Why the last search ended: ERROR_NO_MORE_ITEMS when it saw the whole
  // cache, else the failure (the cache busy, set aside, unusable...).
  win::DWORD SearchResult() const { return BrowserCache1.LastSearchResult(); }
  void ClearCacheList();
  // "Clear Cache": deletes every listed movie from the cache, then empties the
  // list. Returns how many deletions succeeded (the tab ignores it). With
  // firstError, that receives the first failure (0: none), and the deleting
  // stops at a failure that every further deletion would meet too.
  std::size_t ClearCache(win::DWORD* firstError = nullptr);

 private:
  TBrowserCache& BrowserCache1;
};

// The extension of a file name as the cache tab tests it: from the last "."
// behind the last path delimiter; empty when there is none.
std::string FileExtension(const std::string& path);

}  // namespace vorra
