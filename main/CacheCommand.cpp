#include "main/CacheCommand.h"

#include <filesystem>
#include <ostream>

#include "framework/Json.h"
#include "main/BrowserCache.h"
#include "main/CacheSearch.h"
#include "main/CliSupport.h"
#include "platform/net/UrlCache.h"
#include "platform/shell/UserFolders.h"

namespace vorra {

namespace {

constexpr const char* Usage = "usage: vorra cache list [--json]\n       vorra cache clear\n";

// The size of the cached copy as it is now; the cache record keeps only 32 bits.
std::int64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

// Says why the cache could not be read or changed; answers the exit status.
int CacheTrouble(std::ostream& err, win::DWORD error) {
  const std::string folder = win::GetUserFolder(win::TUserFolder::ufCache);
  switch (error) {
    case win::ERROR_SHARING_VIOLATION:
      return cli::Fail(err, "the download cache in " + folder +
                                " is busy: another program holds its index locked; try again when it is done");
    case win::ERROR_FILE_CORRUPT:
      return cli::Fail(err, "the index of the download cache in " + folder +
                                " was damaged; it has been set aside (index.db.damaged) and the cache starts empty. "
                                "The files of its movies are removed by a later 'vorra cache clear'");
    case win::ERROR_PATH_NOT_FOUND: {
      std::string why = cli::FolderProblem(folder, false);
      if (why.empty() || why == "no such folder") why = "it cannot be used";
      return cli::Fail(err, "the download cache is off: the folder " + folder + " is not usable: " + why);
    }
    case win::ERROR_ACCESS_DENIED:
      return cli::Fail(err, "cannot change the download cache in " + folder + ": permission denied");
    case win::ERROR_NOT_ENOUGH_MEMORY: return cli::Fail(err, "cannot read the download cache: not enough memory");
    default:
      return cli::Fail(err, "cannot read the download cache in " + folder + " (system error " +
                                std::to_string(error) + ")");
  }
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
  if (const win::DWORD walked = search.SearchResult(); walked != win::ERROR_NO_MORE_ITEMS)
    return CacheTrouble(err, walked);

  if (verb == "clear") {
    const std::size_t listed = search.CacheList.size();
    win::DWORD failure = 0;
    const std::size_t deleted = search.ClearCache(&failure);
    out << "Deleted " << deleted << (deleted == 1 ? " movie" : " movies") << " from the cache.\n" << std::flush;
    if (deleted == listed) return cli::ExitOk;
    if (failure == win::ERROR_SHARING_VIOLATION || failure == win::ERROR_FILE_CORRUPT ||
        failure == win::ERROR_PATH_NOT_FOUND)
      CacheTrouble(err, failure);
    return cli::Fail(err, std::to_string(listed - deleted) + " of " + std::to_string(listed) +
                              " movies could not be deleted");
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
