#include "main/CacheCommand.h"

#include <filesystem>
#include <ostream>

#include "framework/Json.h"
#include "main/BrowserCache.h"
#include "main/CacheSearch.h"

namespace vorra {

namespace {

constexpr const char* Usage = "usage: vorra cache list [--json]\n       vorra cache clear\n";

// The size of the cached copy as it is now; the cache record keeps only 32 bits.
std::int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace

int CacheCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const std::string verb = args.empty() ? std::string() : args[0];
  const bool json = args.size() == 2 && args[1] == "--json";
  if (!((verb == "list" && (args.size() == 1 || json)) || (verb == "clear" && args.size() == 1))) {
    err << Usage;
    return 2;
  }

  TBrowserCache cache(nullptr);
  cache.SetSearchPattern(spUrl);
  if (!cache.LibraryFound()) {
    err << "vorra: the download cache is not available\n";
    return 1;
  }
  TCacheSearch search(cache);
  search.SearchInCache();

  if (verb == "clear") {
    const std::size_t listed = search.CacheList.size();
    const std::size_t deleted = search.ClearCache();
    out << "Deleted " << deleted << (deleted == 1 ? " movie" : " movies") << " from the cache.\n";
    if (deleted != listed) {
      err << "vorra: " << listed - deleted << " of " << listed << " movies could not be deleted\n";
      return 1;
    }
    return 0;
  }

  for (const auto& item : search.CacheList) {
    const std::int64_t size = FileSize(item->CacheFile);
    if (json) {
      TJsonObject o;
      o.Add("url", item->Url).Add("file", item->CacheFile).Add("name", item->Name);
      o.Add("lastAccess", DateTimeToIso8601(item->LastAccess)).Add("size", size);
      out << o.Text() << '\n';
    } else {
      out << DateTimeToIso8601(item->LastAccess) << "  " << size << "  " << item->Url << "\n    " << item->CacheFile
          << '\n';
    }
  }
  if (!json && search.CacheList.empty()) out << "No movies in the cache.\n";
  return 0;
}

}  // namespace vorra
