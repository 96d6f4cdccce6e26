#include "platform/net/UrlCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/net/UrlCacheInternal.h"
#include "platform/net/UrlCacheStore.h"
#include "platform/win/Time.h"
#include "platform/win/Utf8.h"

namespace win {

namespace urlcache {
// Defined beside the export table: naming it here makes every program that
// uses the cache also register the "wininet.dll" module.
extern const bool WinInetModuleRegistered;
}  // namespace urlcache

namespace {

using namespace urlcache;

[[maybe_unused, gnu::used]] const bool* const g_moduleAnchor = &WinInetModuleRegistered;

// The cache is process-wide state; the calls are short, one lock covers them.
std::mutex g_lock;

// The shared mapping, but a cache folder that a file blocks is one that
// cannot be used: ERROR_PATH_NOT_FOUND, the code callers take for that.
DWORD ErrnoToError(int e) { return e == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrnoToWin32Error(e); }

// The shared mapping in WinInet's codes where callers must tell a busy,
// damaged or unusable index from an empty cache.
DWORD SqliteToError(int code) {
  switch (const DWORD error = SqliteToWin32Error(code)) {
    case ERROR_BUSY: return ERROR_SHARING_VIOLATION;
    case ERROR_BADDB: return ERROR_FILE_CORRUPT;
    case ERROR_CANTOPEN: return ERROR_PATH_NOT_FOUND;
    default: return error;
  }
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Runs one call of the API under the lock, turning failures into last errors.
// A damaged index is moved aside so the next call starts afresh.
template <typename R, typename F>
R Guarded(R failed, F&& body) {
  std::lock_guard lock(g_lock);
  try {
    return body();
  } catch (const sqlite::ESqlite& e) {
    if (TIndex::IsDamage(e.Code())) TIndex::DiscardOpen(CacheRoot());
    SetLastError(SqliteToError(e.Code()));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (const std::exception&) {
    SetLastError(ERROR_INVALID_DATA);
  }
  return failed;
}

std::uint64_t Now() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return FileTimeToU64(ft);
}

// --- File names --------------------------------------------------------------

// Control characters are legal in names here but trouble in every listing.
std::string Tame(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '/') c = '_';
  return out;
}

// The address's file name: after the last "/" of the path, before "?" or "#".
// An address that is only a host has none.
std::string_view UrlFilePart(std::string_view url) {
  url = url.substr(0, url.find_first_of("?#"));
  std::size_t pathStart = 0;
  if (const std::size_t scheme = url.find("://"); scheme != std::string_view::npos) {
    pathStart = url.find('/', scheme + 3);
    if (pathStart == std::string_view::npos) return {};
  }
  const std::size_t slash = url.rfind('/');
  return slash == std::string_view::npos || slash < pathStart ? url.substr(pathStart) : url.substr(slash + 1);
}

struct TNameParts {
  std::string Stem, Ext;  // Ext without its dot
};

TNameParts CacheNameParts(std::string_view url, LPCSTR extension) {
  TNameParts p;
  std::string name = Tame(UrlFilePart(url));
  if (name == "." || name == "..") name.clear();
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) {
    p.Stem = name.substr(0, dot);
    p.Ext = name.substr(dot + 1);
  } else {
    p.Stem = name;
  }
  if (extension && *extension) {
    std::string_view ext(extension);
    while (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
    if (!ext.empty()) p.Ext = Tame(ext);
  }
  if (p.Stem.empty()) p.Stem = "index";
  p.Ext = CutUtf8(p.Ext, 32);
  // Room for "[4294967295]" and the extension within one 255-byte name.
  const std::size_t room = 255 - 12 - (p.Ext.empty() ? 0 : p.Ext.size() + 1);
  p.Stem = CutUtf8(p.Stem, room);
  return p;
}

std::string CounterName(const TNameParts& p, unsigned n) {
  std::string s = p.Stem + '[' + std::to_string(n) + ']';
  if (!p.Ext.empty()) s += '.' + p.Ext;
  return s;
}

// Where the next probe for a name starts, so a thousand "index.html" files do
// not cost a thousand probes each. Only a hint: O_EXCL decides.
std::unordered_map<std::string, unsigned>& CounterHints() {
  static auto* hints = new std::unordered_map<std::string, unsigned>;
  return *hints;
}

// --- Entry records -------------------------------------------------------------

DWORD RecordSize(const TRowView& r, const std::string& content) {
  const std::size_t path = r.File.empty() ? 0 : content.size() + r.File.size();
  return static_cast<DWORD>(sizeof(INTERNET_CACHE_ENTRY_INFOA) + r.Url.size() + 1 + path + 1 + r.Header.size() + 1 +
                            r.Extension.size() + 1);
}

// The record at the start of buf, its texts behind it.
void Pack(const TRowView& r, const std::string& content, INTERNET_CACHE_ENTRY_INFOA* info) {
  char* p = reinterpret_cast<char*>(info) + sizeof(INTERNET_CACHE_ENTRY_INFOA);
  auto put = [&p](std::string_view a, std::string_view b = {}) {
    char* start = p;
    if (!a.empty()) std::memcpy(p, a.data(), a.size());
    p += a.size();
    if (!b.empty()) std::memcpy(p, b.data(), b.size());
    p += b.size();
    *p++ = '\0';
    return start;
  };
  INTERNET_CACHE_ENTRY_INFOA e{};
  e.dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOA);
  e.lpszSourceUrlName = put(r.Url);
  // An entry without a file has an empty name rather than none, so callers
  // that copy the text need no special case.
  e.lpszLocalFileName = r.File.empty() ? put({}) : put(content, r.File);
  e.CacheEntryType = r.Type;
  e.dwUseCount = r.UseCount;
  e.dwHitRate = r.HitRate;
  e.dwSizeLow = static_cast<DWORD>(r.Size & 0xFFFFFFFFu);
  e.dwSizeHigh = static_cast<DWORD>(r.Size >> 32);
  e.LastModifiedTime = U64ToFileTime(r.LastModified);
  e.ExpireTime = U64ToFileTime(r.Expire);
  e.LastAccessTime = U64ToFileTime(r.LastAccess);
  e.LastSyncTime = U64ToFileTime(r.LastSync);
  e.lpHeaderInfo = put(r.Header);
  e.dwHeaderInfoSize = static_cast<DWORD>(r.Header.size());
  e.lpszFileExtension = put(r.Extension);
  e.dwExemptDelta = r.ExemptDelta;
  std::memcpy(info, &e, sizeof e);
}

// The buffer contract shared by the walk and the single lookup.
BOOL Deliver(const TRowView& r, const std::string& content, INTERNET_CACHE_ENTRY_INFOA* info, LPDWORD cb) {
  const DWORD need = RecordSize(r, content);
  if (!info || *cb < need) {
    *cb = need;
    return Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  Pack(r, content, info);
  *cb = need;
  return TRUE;
}

// --- The walk -------------------------------------------------------------------

// Names in a folder, read once: one directory listing is far cheaper than one
// stat per entry on a large cache. Open addressing over one arena keeps the
// lookups to about one cache miss each.
class TNameSet {
 public:
  explicit TNameSet(int dirFd) {
    const int fd = ::dup(dirFd);
    if (fd < 0) return;
    DIR* d = ::fdopendir(fd);
    if (!d) {
      ::close(fd);
      return;
    }
    ::rewinddir(d);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;
    while (const dirent* e = ::readdir(d)) {
      const std::size_t n = std::strlen(e->d_name);
      if (arena_.size() + n > 0xFFFFFFFFu) break;
      spans.emplace_back(static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(n));
      arena_.append(e->d_name, n);
    }
    ::closedir(d);
    std::size_t size = 16;
    while (size < spans.size() * 2) size *= 2;
    slots_.assign(size, TSlot{});
    mask_ = size - 1;
    for (const auto& [off, n] : spans) {
      const std::uint64_t h = Hash(std::string_view(arena_).substr(off, n));
      std::size_t i = h & mask_;
      while (slots_[i].Len) i = (i + 1) & mask_;
      slots_[i] = TSlot{h, off, n};
    }
  }
  bool Has(std::string_view name) const {
    if (slots_.empty() || name.empty()) return false;
    const std::uint64_t h = Hash(name);
    for (std::size_t i = h & mask_; slots_[i].Len; i = (i + 1) & mask_) {
      const TSlot& s = slots_[i];
      if (s.Hash == h && s.Len == name.size() && std::memcmp(arena_.data() + s.Off, name.data(), s.Len) == 0)
        return true;
    }
    return false;
  }

 private:
  struct TSlot {
    std::uint64_t Hash = 0;
    std::uint32_t Off = 0, Len = 0;  // Len 0: empty (no name is empty)
  };
  // Eight bytes a step, multiplied and folded (names are short, so this is
  // mostly one or two steps).
  static std::uint64_t Hash(std::string_view s) {
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ s.size();
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
      std::uint64_t w;
      std::memcpy(&w, s.data() + i, 8);
      h = (h ^ w) * 0xBF58476D1CE4E5B9ULL;
      h ^= h >> 31;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, s.data() + i, s.size() - i);
    h = (h ^ tail) * 0x94D049BB133111EBULL;
    return h ^ (h >> 29);
  }
  std::string arena_;
  std::vector<TSlot> slots_;
  std::size_t mask_ = 0;
};

class TWalk {
 public:
  TWalk(std::shared_ptr<TIndex> index, int kind, DWORD mask)
      : index_(std::move(index)), content_(ContentFolder(index_->Root())), kind_(kind), mask_(mask) {
    dirFd_ = ::open(content_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // Entries committed after this point are not part of the walk.
    maxId_ = index_->MaxId();
  }
  ~TWalk() {
    if (dirFd_ >= 0) ::close(dirFd_);
  }
  TWalk(const TWalk&) = delete;
  TWalk& operator=(const TWalk&) = delete;

  const std::string& Content() const { return content_; }

  // The entry to hand out next; false at the end. Stays the same until
  // Advance, so a size query and the fetch after it see one entry.
  bool Current(TRowView& row) {
    while (!hasCurrent_) {
      if (pos_ < batch_.Count()) {
        current_ = batch_.Row(pos_);
        if (Listable(current_)) hasCurrent_ = true;
        else ++pos_;
        continue;
      }
      if (done_) return false;
      const std::int64_t before = lastId_;
      const int rows = index_->ReadBatch(lastId_, maxId_, kind_, mask_, BatchRows, batch_, lastId_);
      pos_ = 0;
      if (names_) LookUpBatch();
      // Ids only grow, so the walk ends even on a damaged index.
      if (rows < BatchRows || lastId_ <= before) done_ = true;
    }
    row = current_;
    return true;
  }
  void Advance() {
    hasCurrent_ = false;
    ++pos_;
  }

  // At the end of the walk: the files an index set aside left behind.
  void Sweep() {
    if (swept_) return;
    swept_ = true;
    try {
      index_->SweepIfMarked();
    } catch (const sqlite::ESqlite&) {
    }  // tidying only: the next walk tries again
  }

  // Rows whose files were found missing leave the index.
  void DropVanished() {
    if (vanished_.empty() || dirFd_ < 0) return;
    const int fd = dirFd_;
    index_->DropVanished(vanished_, [fd](const std::string& name) {
      return ::faccessat(fd, name.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0;
    });
    vanished_.clear();
  }

 private:
  static constexpr int BatchRows = 512;
  // Entries checked one by one before the folder is listed once.
  static constexpr int StatsBeforeListing = 32;

  // A row whose file is missing may have been committed anew since the batch
  // was read: then the walk hands out the row as it is now.
  bool Listable(TRowView& row) {
    if (row.File.empty()) return true;
    if (!IsPlainFileName(row.File)) return false;  // only a foreign index has these
    if (FileThere(row.File)) return true;
    if (!index_->ReadId(row.Id, fresh_)) return false;
    const TRowView now = fresh_.Row(0);
    if (now.File != row.File) {
      row = now;
      return row.File.empty() || (IsPlainFileName(row.File) && (row.Type & mask_) != 0 && StatFile(row.File));
    }
    if (vanished_.size() < 100000) vanished_.emplace_back(row.Id, std::string(row.File));
    return false;
  }

  // The lookups of a whole batch in one loop: they do not wait on each other,
  // so their cache misses overlap.
  void LookUpBatch() {
    present_.assign(batch_.Count(), 0);
    for (std::size_t i = pos_; i < batch_.Count(); ++i) present_[i] = names_->Has(batch_.Row(i).File);
  }

  bool StatFile(std::string_view name) const {
    return dirFd_ >= 0 && ::faccessat(dirFd_, std::string(name).c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0;
  }

  bool FileThere(std::string_view name) {
    if (dirFd_ < 0) return false;
    if (!names_ && ++checks_ > StatsBeforeListing) {
      names_ = std::make_unique<TNameSet>(dirFd_);
      LookUpBatch();
    }
    return names_ ? present_[pos_] != 0 : StatFile(name);
  }

  std::shared_ptr<TIndex> index_;
  std::string content_;
  int kind_;
  DWORD mask_;
  int dirFd_ = -1;
  std::int64_t maxId_ = 0, lastId_ = 0;
  bool done_ = false;
  TBatch batch_, fresh_;
  std::size_t pos_ = 0;
  TRowView current_;
  bool hasCurrent_ = false;
  bool swept_ = false;
  int checks_ = 0;
  std::unique_ptr<TNameSet> names_;
  std::vector<char> present_;  // per row of the batch, from names_
  std::vector<std::pair<std::int64_t, std::string>> vanished_;
};

std::map<std::uintptr_t, std::unique_ptr<TWalk>>& Walks() {
  static auto* walks = new std::map<std::uintptr_t, std::unique_ptr<TWalk>>;
  return *walks;
}
std::uintptr_t g_nextWalk = 1;

// The walk's part of the cache, from the search pattern: -1 for all.
bool KindOfPattern(LPCSTR pattern, int& kind) {
  if (!pattern) {
    kind = -1;
    return true;
  }
  const std::string_view p(pattern);
  if (p.empty()) kind = ukUrl;
  else if (p.size() == 7 && KindOfUrl(p) == ukCookie) kind = ukCookie;
  else if (p.size() == 8 && KindOfUrl(p) == ukHistory) kind = ukHistory;
  else return false;
  return true;
}

// Hands out the walk's current entry, or says why not.
BOOL DeliverNext(TWalk& walk, INTERNET_CACHE_ENTRY_INFOA* info, LPDWORD cb) {
  TRowView row;
  if (!walk.Current(row)) {
    walk.Sweep();
    return Fail(ERROR_NO_MORE_ITEMS);
  }
  if (!Deliver(row, walk.Content(), info, cb)) return FALSE;
  walk.Advance();
  return TRUE;
}

// --- Names and entries --------------------------------------------------------------

// Tries the counter names of an address in turn, from the hint on, until
// place makes one (atomically: it answers EEXIST when the name is taken, 0
// when made, another errno to give up). path receives the name's full path.
// Answers 0 or the error code.
template <typename F>
DWORD TakeFreeName(LPCSTR url, LPCSTR extension, std::string& path, F&& place) {
  const std::string root = CacheRoot();
  const std::string content = ContentFolder(root);
  if (const int err = MakeCacheFolder(root)) return ErrnoToError(err);
  if (::mkdir(content.c_str(), 0700) != 0 && errno != EEXIST) return ErrnoToError(errno);
  const TNameParts parts = CacheNameParts(url, extension);
  if (content.size() + CounterName(parts, 4294967295u).size() + 1 > URL_CACHE_MAX_PATH)
    return ERROR_INSUFFICIENT_BUFFER;

  std::string key = content;
  key.append(1, '\0').append(parts.Stem).append(1, '\0').append(parts.Ext);
  auto& hints = CounterHints();
  if (hints.size() > 4096) hints.clear();
  unsigned n = hints.count(key) ? hints[key] : 1;
  for (;; ++n) {
    if (n == 0) return ERROR_FILE_EXISTS;  // every counter taken
    path = content + CounterName(parts, n);
    const int err = place(path);
    if (err == 0) {
      hints[key] = n + 1;
      return 0;
    }
    if (err != EEXIST) return ErrnoToError(err);
  }
}

// A new, empty file under the next free name, open for writing; -1 with the
// last error set.
int ReserveName(LPCSTR url, LPCSTR extension, std::string& path) {
  int fd = -1;
  const DWORD err = TakeFreeName(url, extension, path, [&fd](const std::string& p) {
    fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    return fd >= 0 ? 0 : errno;
  });
  if (err) SetLastError(err);
  return err ? -1 : fd;
}

// Adds or replaces the entry of url; file is a path in the content folder
// (or null or empty: an entry without a file).
BOOL RecordEntry(LPCSTR url, LPCSTR file, std::uint64_t size, FILETIME expire, FILETIME modified, DWORD type,
                 std::string_view header, LPCSTR extension) {
  TEntry e;
  e.Url = url;
  const std::string root = CacheRoot();
  const std::string content = ContentFolder(root);
  if (file && *file) {
    const std::string path(file);
    // Only files this cache made: the index never points elsewhere.
    if (path.compare(0, content.size(), content) != 0 || !IsPlainFileName(path.substr(content.size())))
      return Fail(ERROR_INVALID_PARAMETER);
    e.File = path.substr(content.size());
    e.Size = size;
  }
  if (e.Url.size() > MaxCommitField || header.size() > MaxCommitField) return Fail(ERROR_INVALID_PARAMETER);
  e.Type = type;
  e.Header = header;
  if (extension) {
    std::string_view ext(extension);
    while (!ext.empty() && ext.front() == '.') ext.remove_prefix(1);
    e.Extension = CutUtf8(std::string(ext), 255);
  } else if (const std::size_t dot = e.File.rfind('.'); dot != std::string::npos && dot > 0) {
    e.Extension = e.File.substr(dot + 1);
  }
  e.LastModified = FileTimeToU64(modified);
  e.Expire = FileTimeToU64(expire);
  e.LastAccess = e.LastSync = Now();
  const TReleasedFile old = TIndex::Open(root, true)->Commit(std::move(e));
  TIndex::Recorded(root);
  if (!old.Name.empty()) ::unlink((content + old.Name).c_str());  // an orphan at worst, never listed
  return TRUE;
}

// Removes a name just made unless it is kept; also when a call throws.
class TNewName {
 public:
  explicit TNewName(const std::string& path) : path_(path) {}
  ~TNewName() {
    if (!kept_) ::unlink(path_.c_str());
  }
  void Keep() { kept_ = true; }

 private:
  const std::string& path_;
  bool kept_ = false;
};

// Makes the empty file dst a copy of src: a clone where the file system
// shares blocks, else copied inside the kernel, else through a buffer.
// Answers 0 or an errno.
int FillFrom(int dst, int src, TAdoptHow& how) {
  if (::ioctl(dst, FICLONE, src) == 0) {
    how = ahClone;
    return 0;
  }
  how = ahCopy;
  loff_t in = 0, out = 0;
  for (;;) {
    const ssize_t n = ::copy_file_range(src, &in, dst, &out, std::size_t{1} << 30, 0);
    if (n > 0) continue;
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    // Across some file systems the kernel will not copy: then by hand.
    if (in == 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) break;
    return errno;
  }
  std::vector<char> buf(1 << 20);
  for (off_t off = 0;;) {
    const ssize_t n = ::pread(src, buf.data(), buf.size(), off);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return 0;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::pwrite(dst, buf.data() + done, static_cast<std::size_t>(n - done), off + done);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return errno;
      done += w;
    }
    off += n;
  }
}

bool IsRegularFile(int fd, struct stat& st) { return fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode); }

}  // namespace

namespace urlcache {

// --- The download's call ------------------------------------------------------------

BOOL AdoptUrlCacheFile(LPCSTR url, int fd, const TAdoptFields& fields, std::string& path, TAdoptHow* how) {
  struct stat st {};
  if (!url || !*url || !IsRegularFile(fd, st)) return Fail(ERROR_INVALID_PARAMETER);
  // The open file itself is linked, not whatever its name points at by now.
  const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
  bool linked = false;
  const BOOL done = Guarded(FALSE, [&]() -> BOOL {
    const DWORD err = TakeFreeName(url, fields.Extension, path, [&](const std::string& p) {
      return ::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, p.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
    });
    if (err) return Fail(err);
    linked = true;
    TNewName name(path);
    if (!RecordEntry(url, path.c_str(), static_cast<std::uint64_t>(st.st_size), fields.Expire,
                     fields.LastModified, fields.Type, fields.Header, fields.Extension))
      return FALSE;
    name.Keep();
    return TRUE;
  });
  if (done && how) *how = ahLink;
  // Another file system, no /proc, a file system without links, too many
  // links: a copy of the file then. An index that failed fails a copy too.
  if (done || linked) return done;
  return CopyIntoUrlCache(url, fd, fields, path, how);
}

BOOL CopyIntoUrlCache(LPCSTR url, int fd, const TAdoptFields& fields, std::string& path, TAdoptHow* how) {
  struct stat st {};
  if (!url || !*url || !IsRegularFile(fd, st)) return Fail(ERROR_INVALID_PARAMETER);
  int out = -1;
  if (!Guarded(FALSE, [&]() -> BOOL { return (out = ReserveName(url, fields.Extension, path)) >= 0; }))
    return FALSE;
  // Filled outside the lock: a large copy must not hold up other callers.
  TNewName name(path);
  TAdoptHow made = ahCopy;
  int err = FillFrom(out, fd, made);
  if (!err && ::fstat(out, &st) != 0) err = errno;
  if (::close(out) != 0 && !err) err = errno;
  if (err) return Fail(ErrnoToError(err));
  if (!Guarded(FALSE, [&]() -> BOOL {
        return RecordEntry(url, path.c_str(), static_cast<std::uint64_t>(st.st_size), fields.Expire,
                           fields.LastModified, fields.Type, fields.Header, fields.Extension);
      })) {
    const DWORD error = GetLastError();
    ::unlink(path.c_str());
    name.Keep();
    SetLastError(error);
    return FALSE;
  }
  name.Keep();
  if (how) *how = made;
  return TRUE;
}

}  // namespace urlcache

// --- The calls --------------------------------------------------------------------


BOOL CreateUrlCacheEntryA(LPCSTR lpszUrlName, DWORD, LPCSTR lpszFileExtension, LPSTR lpszFileName, DWORD) {
  if (!lpszUrlName || !lpszFileName) return Fail(ERROR_INVALID_PARAMETER);
  return Guarded(FALSE, [&]() -> BOOL {
    std::string path;
    const int fd = ReserveName(lpszUrlName, lpszFileExtension, path);
    if (fd < 0) return FALSE;
    ::close(fd);
    std::memcpy(lpszFileName, path.c_str(), path.size() + 1);
    return TRUE;
  });
}

BOOL CommitUrlCacheEntryA(LPCSTR lpszUrlName, LPCSTR lpszLocalFileName, FILETIME ExpireTime,
                          FILETIME LastModifiedTime, DWORD CacheEntryType, LPBYTE lpHeaderInfo, DWORD cchHeaderInfo,
                          LPCSTR lpszFileExtension, LPCSTR) {
  if (!lpszUrlName || !*lpszUrlName) return Fail(ERROR_INVALID_PARAMETER);
  if (cchHeaderInfo && !lpHeaderInfo) return Fail(ERROR_INVALID_PARAMETER);
  return Guarded(FALSE, [&]() -> BOOL {
    std::uint64_t size = 0;
    if (lpszLocalFileName && *lpszLocalFileName) {
      struct stat st {};
      if (::stat(lpszLocalFileName, &st) != 0 || !S_ISREG(st.st_mode)) return Fail(ERROR_FILE_NOT_FOUND);
      size = static_cast<std::uint64_t>(st.st_size);
    }
    return RecordEntry(lpszUrlName, lpszLocalFileName, size, ExpireTime, LastModifiedTime, CacheEntryType,
                       std::string_view(reinterpret_cast<const char*>(lpHeaderInfo), cchHeaderInfo),
                       lpszFileExtension);
  });
}

HANDLE FindFirstUrlCacheEntryExA(LPCSTR lpszUrlSearchPattern, DWORD, DWORD dwFilter, GROUPID GroupId,
                                 INTERNET_CACHE_ENTRY_INFOA* lpFirstCacheEntryInfo, LPDWORD lpcbEntryInfo,
                                 LPVOID, LPDWORD, LPVOID) {
  int kind = 0;
  if (!lpcbEntryInfo || !KindOfPattern(lpszUrlSearchPattern, kind)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // There are no groups: only group 0, the entries outside any, has entries.
  if (GroupId != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return Guarded<HANDLE>(nullptr, [&]() -> HANDLE {
    const std::string root = CacheRoot();
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0 ? errno != ENOENT : !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return nullptr;
    }
    const std::shared_ptr<TIndex> index = TIndex::Open(root, false);
    if (TIndex::SetAside(root)) {
      SetLastError(ERROR_FILE_CORRUPT);
      return nullptr;
    }
    if (!index) {
      SetLastError(ERROR_NO_MORE_ITEMS);
      return nullptr;
    }
    auto walk = std::make_unique<TWalk>(index, kind, dwFilter);
    // WinInet gives no handle when the buffer is short: the caller starts
    // over with a bigger one.
    if (!DeliverNext(*walk, lpFirstCacheEntryInfo, lpcbEntryInfo)) {
      const DWORD error = GetLastError();
      walk->DropVanished();
      SetLastError(error);
      return nullptr;
    }
    const std::uintptr_t id = g_nextWalk++;
    Walks()[id] = std::move(walk);
    return reinterpret_cast<HANDLE>(id);
  });
}

BOOL FindNextUrlCacheEntryExA(HANDLE hEnumHandle, INTERNET_CACHE_ENTRY_INFOA* lpNextCacheEntryInfo,
                              LPDWORD lpcbEntryInfo, LPVOID, LPDWORD, LPVOID) {
  if (!lpcbEntryInfo) return Fail(ERROR_INVALID_PARAMETER);
  return Guarded(FALSE, [&]() -> BOOL {
    const auto it = Walks().find(reinterpret_cast<std::uintptr_t>(hEnumHandle));
    if (it == Walks().end()) return Fail(ERROR_INVALID_HANDLE);
    return DeliverNext(*it->second, lpNextCacheEntryInfo, lpcbEntryInfo);
  });
}

BOOL FindCloseUrlCache(HANDLE hEnumHandle) {
  return Guarded(FALSE, [&]() -> BOOL {
    const auto it = Walks().find(reinterpret_cast<std::uintptr_t>(hEnumHandle));
    if (it == Walks().end()) return Fail(ERROR_INVALID_HANDLE);
    std::unique_ptr<TWalk> walk = std::move(it->second);
    Walks().erase(it);
    try {
      walk->DropVanished();  // tidying only: the close succeeds anyway
    } catch (const sqlite::ESqlite&) {
    }
    return TRUE;
  });
}

BOOL DeleteUrlCacheEntry(LPCSTR lpszUrlName) {
  if (!lpszUrlName) return Fail(ERROR_INVALID_PARAMETER);
  return Guarded(FALSE, [&]() -> BOOL {
    const std::string root = CacheRoot();
    const std::shared_ptr<TIndex> index = TIndex::Open(root, false);
    if (!index) return Fail(ERROR_FILE_NOT_FOUND);
    const std::string content = ContentFolder(root);
    const std::optional<int> result = index->Delete(lpszUrlName, [&content](const std::string& name) {
      return ::unlink((content + name).c_str()) == 0 || errno == ENOENT ? 0 : errno;
    });
    if (!result) return Fail(ERROR_FILE_NOT_FOUND);
    if (*result) return Fail(ErrnoToError(*result));
    return TRUE;
  });
}

BOOL DeleteUrlCacheEntryA(LPCSTR lpszUrlName) { return DeleteUrlCacheEntry(lpszUrlName); }

BOOL GetUrlCacheEntryInfoA(LPCSTR lpszUrlName, INTERNET_CACHE_ENTRY_INFOA* lpCacheEntryInfo,
                           LPDWORD lpcbCacheEntryInfo) {
  if (!lpszUrlName || !lpcbCacheEntryInfo) return Fail(ERROR_INVALID_PARAMETER);
  return Guarded(FALSE, [&]() -> BOOL {
    const std::string root = CacheRoot();
    const std::shared_ptr<TIndex> index = TIndex::Open(root, false);
    TBatch batch;
    if (!index || !index->ReadUrl(lpszUrlName, batch)) return Fail(ERROR_FILE_NOT_FOUND);
    const TRowView row = batch.Row(0);
    const std::string content = ContentFolder(root);
    if (!row.File.empty() &&
        (!IsPlainFileName(row.File) || ::access((content + std::string(row.File)).c_str(), F_OK) != 0))
      return Fail(ERROR_FILE_NOT_FOUND);
    return Deliver(row, content, lpCacheEntryInfo, lpcbCacheEntryInfo);
  });
}

}  // namespace win
