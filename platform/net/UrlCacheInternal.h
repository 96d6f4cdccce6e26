// The URL cache's own call for the download service: taking a finished file
// into the cache without writing its bytes a second time. Not a WinInet
// call; private to platform/net and its tests.
#pragma once

#include <string>

#include "platform/net/UrlCache.h"

namespace win::urlcache {

// How a file came into the cache.
enum TAdoptHow { ahLink, ahClone, ahCopy };

// What CommitUrlCacheEntryA takes besides the address and the file.
struct TAdoptFields {
  FILETIME Expire{}, LastModified{};
  DWORD Type = NORMAL_CACHE_ENTRY;
  std::string Header;
  LPCSTR Extension = nullptr;  // as CreateUrlCacheEntryA and CommitUrlCacheEntryA take it
};

// Records the regular file open as fd (readable) as the entry of url, under
// the name CreateUrlCacheEntryA would give it, as CommitUrlCacheEntryA would
// (size from the file). The cache's name is a second hard link to the file
// where one can be made (same file system, /proc mounted, links allowed), so
// no byte is written; otherwise the file is cloned (where blocks can be
// shared) or copied. Names are taken atomically (link and O_EXCL fail on an
// existing name), so processes never share one. On failure nothing is left in
// the cache (no file, no entry change): FALSE with the last error set.
// path receives the cache file's full path, how the way it was made.
BOOL AdoptUrlCacheFile(LPCSTR url, int fd, const TAdoptFields& fields, std::string& path,
                       TAdoptHow* how = nullptr);

// The copy that stands in for a link: the same, except that no link is tried.
BOOL CopyIntoUrlCache(LPCSTR url, int fd, const TAdoptFields& fields, std::string& path, TAdoptHow* how = nullptr);

}  // namespace win::urlcache
