#include "main/CacheSearch.h"

#include <algorithm>

#include "common/MovieAddress.h"
#include "platform/net/UrlCache.h"

namespace vorra {

std::string FileExtension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t delim = path.rfind(PathDelim);
  if (dot == std::string::npos || (delim != std::string::npos && dot < delim)) return {};
  return path.substr(dot);
}

TCacheSearch::TCacheSearch(TBrowserCache& cache) : BrowserCache1(cache) {
  CacheList.reserve(CacheListReserve);
  BrowserCache1.OnEntry = [this](TObject* sender, bool& cancel) { BrowserCache1Entry(sender, cancel); };
}

TCacheSearch::~TCacheSearch() { BrowserCache1.OnEntry = nullptr; }

void TCacheSearch::BrowserCache1Entry(TObject*, bool&) {
  const TEntryInfo& entry = BrowserCache1.EntryInfo();
  // The cache file's name decides, not the address.
  if (AnsiLowerCase(FileExtension(entry.LocalFileName)) != ".swf") return;
  auto item = std::make_unique<TCacheItem>();
  item->Url = entry.SourceUrlName;
  item->CacheFile = entry.LocalFileName;
  item->Name = UrlFileName(item->Url);
  item->LastAccess = entry.LastAccess;
  CacheList.push_back(std::move(item));
}

void TCacheSearch::SearchInCache() {
  ClearCacheList();
  BrowserCache1.SearchCache(0);
  std::stable_sort(CacheList.begin(), CacheList.end(),
                   [](const auto& a, const auto& b) { return a->LastAccess > b->LastAccess; });
}

void TCacheSearch::ClearCacheList() {
  CacheList.clear();
  CacheList.shrink_to_fit();
  CacheList.reserve(CacheListReserve);
}

std::size_t TCacheSearch::ClearCache(win::DWORD* firstError) {
  std::size_t deleted = 0;
  if (firstError) *firstError = 0;
  for (const auto& item : CacheList) {
    const win::DWORD rc = BrowserCache1.DeleteEntry(item->Url);
    if (rc == 0) {
      ++deleted;
      continue;
    }
    if (!firstError) continue;
    if (*firstError == 0) *firstError = rc;
    // Each further call would wait for the lock or fail the same way.
    if (rc == win::ERROR_SHARING_VIOLATION || rc == win::ERROR_FILE_CORRUPT || rc == win::ERROR_PATH_NOT_FOUND) break;
  }
  ClearCacheList();
  return deleted;
}

}  // namespace vorra
