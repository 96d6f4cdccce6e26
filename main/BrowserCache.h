// TBrowserCache: walks the browser's download cache through the WinInet cache
// calls, one OnEntry event per entry, and deletes entries.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/Component.h"
#include "framework/DateTime.h"
#include "framework/Set.h"
#include "platform/win/Types.h"

namespace vorra {

enum TFilterOption {
  NORMAL_ENTRY,
  STABLE_ENTRY,
  STICKY_ENTRY,
  COOKIE_ENTRY,
  URLHISTORY_ENTRY,
  TRACK_OFFLINE_ENTRY,
  TRACK_ONLINE_ENTRY,
  SPARSE_ENTRY,
  OCX_ENTRY
};
using TFilterOptions = TSet<TFilterOption>;

enum TSearchPattern { spAll, spCookies, spHistory, spUrl };

struct TEntryInfo {
  std::string SourceUrlName;
  std::string LocalFileName;
  std::uint32_t EntryType = 0;
  std::uint32_t UseCount = 0;
  std::uint32_t HitRate = 0;
  std::uint32_t Size = 0;  // the low half of the size
  TDateTime LastModified = 0;
  TDateTime ExpireTime = 0;
  TDateTime LastAccess = 0;
  TDateTime LastSync = 0;
  std::string HeaderInfo;
  std::string FileExtension;
  std::uint32_t ExemptDelta = 0;
};

// Declared for cache groups; nothing fills it (the cache has no groups).
struct TGroupInfo {
  std::int64_t GroupID = 0;
  std::uint32_t DiskUsage = 0;
  std::uint32_t DiskQuota = 0;
};

using TOnEntryEvent = std::function<void(TObject* Sender, bool& Cancel)>;
using TOnGroupEvent = std::function<void(TObject* Sender, std::int64_t GroupID, bool& Cancel)>;

class TBrowserCache : public TComponent {
 public:
  explicit TBrowserCache(TComponent* AOwner);
  ~TBrowserCache() override;

  TFilterOptions FilterOptions() const { return FFilterOptions; }
  void SetFilterOptions(TFilterOptions value);
  TSearchPattern SearchPattern() const { return FSearchPattern; }
  void SetSearchPattern(TSearchPattern value) { FSearchPattern = value; }
  bool LibraryFound() const { return FLibraryFound; }
  win::DWORD FilterFlags() const { return FFilterFlags; }
  const TEntryInfo& EntryInfo() const { return FEntryInfo; }

  TOnEntryEvent OnEntry;
  TOnGroupEvent OnGroup;  // never raised: no operation walks groups

  void SearchCache(std::int64_t GroupID);
  // The code that ended the last SearchCache: ERROR_NO_MORE_ITEMS when the
  // walk reached the end, 0 when OnEntry cancelled it, else what failed.
  win::DWORD LastSearchResult() const { return FLastSearchResult; }
  // 0 on success, else the system's error code (2 when the cache calls are missing).
  win::DWORD FindFirstEntry(std::int64_t GroupID);
  win::DWORD FindNextEntry();
  // 0 on success or when the cache calls are missing.
  win::DWORD DeleteEntry(const std::string& url);
  void ClearEntry();

 private:
  bool CheckLibrary();
  void CopyEntry(const void* entry);
  void CloseEnum();

  TFilterOptions FFilterOptions;
  TSearchPattern FSearchPattern = spAll;
  win::DWORD FFilterFlags = 0;
  bool FLibraryFound = false;
  TEntryInfo FEntryInfo;
  win::HANDLE FEnumHandle = nullptr;
  bool FCancel = false;
  win::DWORD FLastSearchResult = 0;
};

}  // namespace vorra
