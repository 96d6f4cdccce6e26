#include "main/CacheCommand.h"

#include <filesystem>
#include <ostream>

#include "framework/Json.h"
#include "main/BrowserCache.h"
#include "main/CacheSearch.h"
#include "main/CliSupport.h"

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
  if (!((verb == "list" && (args.size() == 1 || json)) || (verb == "clear" && args.size() == 1)))
    return cli::UsageError(err, Usage);

  TBrowserCache cache(nullptr);
  cache.SetSearchPattern(spUrl);
  if (!cache.LibraryFound()) return cli::Fail(err, "the download cache is not available");
  TCacheSearch search(cache);
  search.SearchInCache();

  if (verb == "clear") {
    const std::size_t listed = search.CacheList.size();
    const std::size_t deleted = search.ClearCache();
    out << "Deleted " << deleted << (deleted == 1 ? " movie" : " movies") << " from the cache.\n" << std::flush;
    if (deleted != listed)
      return cli::Fail(err, std::to_string(listed - deleted) + " of " + std::to_string(listed) +
                                " movies could not be deleted");
    return cli::ExitOk;
  }

  for (const auto& item : search.CacheList) {
    const std::int64_t size = FileSize(item->CacheFile);
    if (json) {
      TJsonObject o;
      o.Add("url", item->Url).Add("file", item->CacheFile).Add("name", item->Name);
      o.Add("lastAccess", DateTimeToIso8601(item->LastAccess)).Add("size", size);
      cli::PrintJson(out, o);
    } else {
      out << DateTimeToIso8601(item->LastAccess) << "  " << size << "  " << item->Url << "\n    " << item->CacheFile
          << '\n';
    }
  }
  if (!json && search.CacheList.empty()) out << "No movies in the cache.\n";
  return cli::ExitOk;
}

}  // namespace vorra
