// "wininet.dll" for LoadLibraryA / GetProcAddress, and its cache-group calls.
// This cache keeps no groups; the calls say so rather than pretend.
#include "platform/net/UrlCache.h"
#include "platform/win/Modules.h"

namespace win {

HANDLE FindFirstUrlCacheGroup(DWORD, DWORD, LPVOID, DWORD, GROUPID*, LPVOID) {
  SetLastError(ERROR_NO_MORE_ITEMS);
  return nullptr;
}

BOOL FindNextUrlCacheGroup(HANDLE, GROUPID*, LPVOID) {
  // FindFirstUrlCacheGroup never hands out a handle.
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

BOOL GetUrlCacheGroupAttributeA(GROUPID, DWORD, DWORD, INTERNET_CACHE_GROUP_INFOA*, LPDWORD, LPVOID) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

BOOL SetUrlCacheGroupAttributeA(GROUPID, DWORD, DWORD, INTERNET_CACHE_GROUP_INFOA*, LPVOID) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

namespace urlcache {

extern const bool WinInetModuleRegistered;
const bool WinInetModuleRegistered = RegisterBuiltinModule(
    "wininet.dll", {
                       {"CreateUrlCacheEntryA", ExportOf(&CreateUrlCacheEntryA)},
                       {"CommitUrlCacheEntryA", ExportOf(&CommitUrlCacheEntryA)},
                       {"FindFirstUrlCacheEntryExA", ExportOf(&FindFirstUrlCacheEntryExA)},
                       {"FindNextUrlCacheEntryExA", ExportOf(&FindNextUrlCacheEntryExA)},
                       {"FindCloseUrlCache", ExportOf(&FindCloseUrlCache)},
                       {"DeleteUrlCacheEntry", ExportOf(&DeleteUrlCacheEntry)},
                       {"DeleteUrlCacheEntryA", ExportOf(&DeleteUrlCacheEntryA)},
                       {"GetUrlCacheEntryInfoA", ExportOf(&GetUrlCacheEntryInfoA)},
                       {"FindFirstUrlCacheGroup", ExportOf(&FindFirstUrlCacheGroup)},
                       {"FindNextUrlCacheGroup", ExportOf(&FindNextUrlCacheGroup)},
                       {"GetUrlCacheGroupAttributeA", ExportOf(&GetUrlCacheGroupAttributeA)},
                       {"SetUrlCacheGroupAttributeA", ExportOf(&SetUrlCacheGroupAttributeA)},
                   });

}  // namespace urlcache
}  // namespace win
