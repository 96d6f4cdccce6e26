// The URL cache: every download leaves its file here, and the cache is
// walked and pruned with the WinInet calls. Index in SQLite, files in the
// cache folder (named after the address's file name with a counter:
// movie[1].swf, movie[2].swf...). All of it lives under the per-user cache
// folder, so VORRA_HOME moves it.
#pragma once

#include "platform/win/Types.h"

namespace win {

// Entry types (the filter flags of the enumeration are the same bits).
inline constexpr DWORD NORMAL_CACHE_ENTRY = 0x00000001;
inline constexpr DWORD STABLE_CACHE_ENTRY = 0x00000002;
inline constexpr DWORD STICKY_CACHE_ENTRY = 0x00000004;
inline constexpr DWORD EDITED_CACHE_ENTRY = 0x00000008;
inline constexpr DWORD TRACK_OFFLINE_CACHE_ENTRY = 0x00000010;
inline constexpr DWORD TRACK_ONLINE_CACHE_ENTRY = 0x00000020;
inline constexpr DWORD SPARSE_CACHE_ENTRY = 0x00010000;
inline constexpr DWORD OCX_CACHE_ENTRY = 0x00020000;
inline constexpr DWORD COOKIE_CACHE_ENTRY = 0x00100000;
inline constexpr DWORD URLHISTORY_CACHE_ENTRY = 0x00200000;

// Room that callers of CreateUrlCacheEntryA give for the file name. WinInet
// uses MAX_PATH; paths here may be longer, so the stand-in asks for more.
inline constexpr DWORD URL_CACHE_MAX_PATH = 4096;

struct INTERNET_CACHE_ENTRY_INFOA {
  DWORD dwStructSize;
  LPSTR lpszSourceUrlName;
  LPSTR lpszLocalFileName;
  DWORD CacheEntryType;
  DWORD dwUseCount;
  DWORD dwHitRate;
  DWORD dwSizeLow;
  DWORD dwSizeHigh;
  FILETIME LastModifiedTime;
  FILETIME ExpireTime;
  FILETIME LastAccessTime;
  FILETIME LastSyncTime;
  LPSTR lpHeaderInfo;
  DWORD dwHeaderInfoSize;
  LPSTR lpszFileExtension;
  union {
    DWORD dwReserved;
    DWORD dwExemptDelta;
  };
};

// Reserves a new, unique file in the cache folder for an address, named after
// the address's file name with a counter; lpszFileName receives its full path
// (room for URL_CACHE_MAX_PATH bytes). The file exists (empty) on return. The
// file name is the part of the path after its last "/" (query and fragment
// cut off, no percent-decoding; "index" when there is none), its extension
// replaced by lpszFileExtension when one is given. The file is created
// exclusively, so two processes never get the same name.
BOOL CreateUrlCacheEntryA(LPCSTR lpszUrlName, DWORD dwExpectedFileSize, LPCSTR lpszFileExtension,
                          LPSTR lpszFileName, DWORD dwReserved);

// Records the file (made by CreateUrlCacheEntryA and filled by the caller) as
// the cache entry of the address, replacing an earlier entry of the same
// address (whose file is deleted unless another entry uses it). lpHeaderInfo
// holds cchHeaderInfo bytes of response header text. Size comes from the file;
// last access and last sync are now; use and hit counts start at 1 and go up
// by one with each replacement. ERROR_FILE_NOT_FOUND when the file does not
// exist, ERROR_INVALID_PARAMETER when it lies outside the cache folder. A null
// lpszLocalFileName makes an entry without a file (history entries).
BOOL CommitUrlCacheEntryA(LPCSTR lpszUrlName, LPCSTR lpszLocalFileName, FILETIME ExpireTime,
                          FILETIME LastModifiedTime, DWORD CacheEntryType, LPBYTE lpHeaderInfo,
                          DWORD cchHeaderInfo, LPCSTR lpszFileExtension, LPCSTR lpszOriginalUrl);

// The WinInet walk: a call with no buffer (or one too small) fails with
// ERROR_INSUFFICIENT_BUFFER and sets *lpcbEntryInfo to the size needed, and
// the walk stays on that entry; FindFirst then returns no handle and is called
// again. On success the record is at the start of the buffer and its texts
// lie behind it in the same buffer; an entry without a file has "" as its
// file name. ERROR_NO_MORE_ITEMS at the end (FindFirst: nullptr).
// Patterns: nullptr (every entry), "Cookie:" (addresses beginning so),
// "Visited:" (likewise), "" (the others: downloaded files); case is ignored;
// any other pattern is ERROR_INVALID_PARAMETER. dwFilter: an entry is listed
// when its type has a bit of dwFilter (so 0 lists nothing). GroupId 0 means
// every entry; any other is ERROR_FILE_NOT_FOUND (there are no groups).
// Entries whose file has gone are not listed (and leave the index when the
// walk closes). The walk covers the entries committed before FindFirst;
// entries deleted meanwhile are skipped, entries replaced meanwhile appear once.
// A cache that cannot be walked is not empty: ERROR_SHARING_VIOLATION when
// another process holds the index locked (after a wait of about two
// seconds), ERROR_FILE_CORRUPT when the index was found damaged and set aside
// (index.db.damaged; the process goes on saying so until it records an entry
// again), ERROR_PATH_NOT_FOUND when the per-user cache folder cannot be used.
// After an index was set aside, the first walk that reaches its end removes
// the files that no entry names and that have not changed for ten minutes.
HANDLE FindFirstUrlCacheEntryExA(LPCSTR lpszUrlSearchPattern, DWORD dwFlags, DWORD dwFilter, GROUPID GroupId,
                                 INTERNET_CACHE_ENTRY_INFOA* lpFirstCacheEntryInfo, LPDWORD lpcbEntryInfo,
                                 LPVOID lpGroupAttributes, LPDWORD lpcbGroupAttributes, LPVOID lpReserved);
BOOL FindNextUrlCacheEntryExA(HANDLE hEnumHandle, INTERNET_CACHE_ENTRY_INFOA* lpNextCacheEntryInfo,
                              LPDWORD lpcbEntryInfo, LPVOID lpGroupAttributes, LPDWORD lpcbGroupAttributes,
                              LPVOID lpReserved);
BOOL FindCloseUrlCache(HANDLE hEnumHandle);

// Removes the entry of an address and its file. ERROR_FILE_NOT_FOUND when
// the address has no entry. The file goes first: when it cannot be removed the
// entry stays and the call fails.
BOOL DeleteUrlCacheEntry(LPCSTR lpszUrlName);
BOOL DeleteUrlCacheEntryA(LPCSTR lpszUrlName);

// The entry of one address, with the same buffer contract as the walk.
// ERROR_FILE_NOT_FOUND when there is none or its file has gone.
BOOL GetUrlCacheEntryInfoA(LPCSTR lpszUrlName, INTERNET_CACHE_ENTRY_INFOA* lpCacheEntryInfo,
                           LPDWORD lpcbCacheEntryInfo);

// Cache groups. This cache has none: the group walk finds nothing
// (ERROR_NO_MORE_ITEMS), a group id names nothing (ERROR_FILE_NOT_FOUND), and
// the entry walk with group 0 (entries outside any group) sees every entry.
inline constexpr DWORD GROUPNAME_MAX_LENGTH = 120;
inline constexpr DWORD GROUP_OWNER_STORAGE_SIZE = 4;

struct INTERNET_CACHE_GROUP_INFOA {
  DWORD dwGroupSize;
  DWORD dwGroupFlags;
  DWORD dwGroupType;
  DWORD dwDiskUsage;
  DWORD dwDiskQuota;
  DWORD dwOwnerStorage[GROUP_OWNER_STORAGE_SIZE];
  char szGroupName[GROUPNAME_MAX_LENGTH];
};

HANDLE FindFirstUrlCacheGroup(DWORD dwFlags, DWORD dwFilter, LPVOID lpSearchCondition, DWORD dwSearchCondition,
                              GROUPID* lpGroupId, LPVOID lpReserved);
BOOL FindNextUrlCacheGroup(HANDLE hFind, GROUPID* lpGroupId, LPVOID lpReserved);
BOOL GetUrlCacheGroupAttributeA(GROUPID gid, DWORD dwFlags, DWORD dwAttributes,
                                INTERNET_CACHE_GROUP_INFOA* lpGroupInfo, LPDWORD lpcbGroupInfo, LPVOID lpReserved);
BOOL SetUrlCacheGroupAttributeA(GROUPID gid, DWORD dwFlags, DWORD dwAttributes,
                                INTERNET_CACHE_GROUP_INFOA* lpGroupInfo, LPVOID lpReserved);

}  // namespace win
