#include "main/BrowserCache.h"

#include <memory>

#include "platform/net/UrlCache.h"
#include "platform/win/Modules.h"
#include "platform/win/Time.h"

namespace vorra {

namespace {

constexpr win::DWORD FlagOf(TFilterOption option) {
  switch (option) {
    case NORMAL_ENTRY: return win::NORMAL_CACHE_ENTRY;
    case STABLE_ENTRY: return win::STABLE_CACHE_ENTRY;
    case STICKY_ENTRY: return win::STICKY_CACHE_ENTRY;
    case COOKIE_ENTRY: return win::COOKIE_CACHE_ENTRY;
    case URLHISTORY_ENTRY: return win::URLHISTORY_CACHE_ENTRY;
    case TRACK_OFFLINE_ENTRY: return win::TRACK_OFFLINE_CACHE_ENTRY;
    case TRACK_ONLINE_ENTRY: return win::TRACK_ONLINE_CACHE_ENTRY;
    case SPARSE_ENTRY: return win::SPARSE_CACHE_ENTRY;
    case OCX_ENTRY: return win::OCX_CACHE_ENTRY;
  }
  return 0;
}

const char* PatternOf(TSearchPattern pattern) {
  switch (pattern) {
    case spCookies: return "Cookie:";
    case spHistory: return "Visited:";
    case spUrl: return "";  // an empty text, not a null pointer
    case spAll: break;
  }
  return nullptr;
}

TDateTime DateTimeOf(const win::FILETIME& ft) {
  win::FILETIME local;
  win::SYSTEMTIME st;
  if (!win::FileTimeToLocalFileTime(&ft, &local) || !win::FileTimeToSystemTime(&local, &st)) return 0;
  try {
    return SystemTimeToDateTime(st);
  } catch (const EConvertError&) {
    return 0;
  }
}

std::string TextOf(const char* p) { return p ? std::string(p) : std::string(); }

// One entry's record, exactly as large as the cache says it is.
struct TEntryBuffer {
  explicit TEntryBuffer(win::DWORD size) : bytes(new unsigned char[size ? size : 1]), size(size) {}
  win::INTERNET_CACHE_ENTRY_INFOA* Info() const {
    return size ? reinterpret_cast<win::INTERNET_CACHE_ENTRY_INFOA*>(bytes.get()) : nullptr;
  }
  std::unique_ptr<unsigned char[]> bytes;
  win::DWORD size;
};

}  // namespace

TBrowserCache::TBrowserCache(TComponent* AOwner) : TComponent(AOwner) {
  SetFilterOptions({NORMAL_ENTRY, STICKY_ENTRY, COOKIE_ENTRY, URLHISTORY_ENTRY, TRACK_OFFLINE_ENTRY,
                    TRACK_ONLINE_ENTRY});
  CheckLibrary();
}

TBrowserCache::~TBrowserCache() { CloseEnum(); }

void TBrowserCache::SetFilterOptions(TFilterOptions value) {
  FFilterOptions = value;
  FFilterFlags = 0;
  for (int o = NORMAL_ENTRY; o <= OCX_ENTRY; ++o)
    if (value.Contains(static_cast<TFilterOption>(o))) FFilterFlags += FlagOf(static_cast<TFilterOption>(o));
}

// A found library is remembered; a missing one is looked for again next time.
bool TBrowserCache::CheckLibrary() {
  if (FLibraryFound) return true;
  const win::HMODULE lib = win::LoadLibraryA("wininet.dll");
  if (!lib) return false;
  for (const char* name : {"FindFirstUrlCacheGroup", "FindNextUrlCacheGroup", "GetUrlCacheGroupAttributeA",
                           "SetUrlCacheGroupAttributeA", "FindFirstUrlCacheEntryExA"})
    if (!win::GetProcAddress(lib, name)) return false;
  FLibraryFound = true;
  return true;
}

void TBrowserCache::CloseEnum() {
  if (FEnumHandle) win::FindCloseUrlCache(FEnumHandle);
  FEnumHandle = nullptr;
}

void TBrowserCache::ClearEntry() { FEntryInfo = TEntryInfo{}; }

void TBrowserCache::CopyEntry(const void* entry) {
  const auto& e = *static_cast<const win::INTERNET_CACHE_ENTRY_INFOA*>(entry);
  FEntryInfo.SourceUrlName = TextOf(e.lpszSourceUrlName);
  FEntryInfo.LocalFileName = TextOf(e.lpszLocalFileName);
  FEntryInfo.EntryType = e.CacheEntryType;
  FEntryInfo.UseCount = e.dwUseCount;
  FEntryInfo.HitRate = e.dwHitRate;
  FEntryInfo.Size = e.dwSizeLow;
  FEntryInfo.LastModified = DateTimeOf(e.LastModifiedTime);
  FEntryInfo.ExpireTime = DateTimeOf(e.ExpireTime);
  FEntryInfo.LastAccess = DateTimeOf(e.LastAccessTime);
  FEntryInfo.LastSync = DateTimeOf(e.LastSyncTime);
  FEntryInfo.HeaderInfo = e.lpHeaderInfo ? std::string(e.lpHeaderInfo, e.dwHeaderInfoSize) : std::string();
  // The stored header may carry its terminating zero.
  while (!FEntryInfo.HeaderInfo.empty() && FEntryInfo.HeaderInfo.back() == '\0') FEntryInfo.HeaderInfo.pop_back();
  FEntryInfo.FileExtension = TextOf(e.lpszFileExtension);
  FEntryInfo.ExemptDelta = e.dwExemptDelta;
}

win::DWORD TBrowserCache::FindFirstEntry(std::int64_t GroupID) {
  if (!CheckLibrary()) return win::ERROR_FILE_NOT_FOUND;
  CloseEnum();  // a second walk must not leak the first one's handle
  const char* pattern = PatternOf(FSearchPattern);
  win::DWORD size = 0;
  win::HANDLE probe =
      win::FindFirstUrlCacheEntryExA(pattern, 0, FFilterFlags, GroupID, nullptr, &size, nullptr, nullptr, nullptr);
  if (probe) win::FindCloseUrlCache(probe);
  TEntryBuffer buffer(size);
  FEnumHandle = win::FindFirstUrlCacheEntryExA(pattern, 0, FFilterFlags, GroupID, buffer.Info(), &size, nullptr,
                                               nullptr, nullptr);
  if (!FEnumHandle) return win::GetLastError();
  CopyEntry(buffer.Info());
  return 0;
}

win::DWORD TBrowserCache::FindNextEntry() {
  if (!CheckLibrary()) return win::ERROR_FILE_NOT_FOUND;
  win::DWORD size = 0;
  win::FindNextUrlCacheEntryExA(FEnumHandle, nullptr, &size, nullptr, nullptr, nullptr);
  TEntryBuffer buffer(size);
  if (!win::FindNextUrlCacheEntryExA(FEnumHandle, buffer.Info(), &size, nullptr, nullptr, nullptr))
    return win::GetLastError();
  CopyEntry(buffer.Info());
  return 0;
}

void TBrowserCache::SearchCache(std::int64_t GroupID) {
  FLastSearchResult = win::ERROR_FILE_NOT_FOUND;
  if (!CheckLibrary()) return;
  struct TCloser {
    TBrowserCache* self;
    ~TCloser() { self->CloseEnum(); }
  } closer{this};
  FCancel = false;
  win::DWORD rc = FindFirstEntry(GroupID);
  if (rc == 0 && OnEntry) OnEntry(this, FCancel);
  while (rc == 0 && !FCancel) {
    rc = FindNextEntry();
    if (rc == 0 && OnEntry) OnEntry(this, FCancel);
  }
  FLastSearchResult = rc;
}

win::DWORD TBrowserCache::DeleteEntry(const std::string& url) {
  if (!CheckLibrary()) return 0;
  if (!win::DeleteUrlCacheEntry(url.c_str())) return win::GetLastError();
  ClearEntry();
  return 0;
}

}  // namespace vorra
