// The URL cache's index: one SQLite file that every process of the user
// shares (WAL, one transaction per write), beside the folder of cached files.
// Private to platform/net, and to the tests and benchmarks that build large
// caches quickly.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/UrlCache.h"
#include "platform/sqlite/Sqlite.h"

namespace win::urlcache {

// Which part of the cache an address belongs to.
enum TUrlKind : int { ukUrl = 0, ukCookie = 1, ukHistory = 2 };
TUrlKind KindOfUrl(std::string_view url);

// GetUserFolder(ufCache) + "UrlCache/".
std::string CacheRoot();
inline std::string ContentFolder(const std::string& root) { return root + "Content/"; }
inline std::string IndexPath(const std::string& root) { return root + "index.db"; }
// Present while the content folder may hold files of an index set aside.
inline std::string SweepMarkPath(const std::string& root) { return root + "content.sweep"; }
// How long a file that no row names is left alone: a transfer may be filling
// it, or about to record it.
inline constexpr long SweepGraceSeconds = 600;
// How long a call waits for another process's lock on the index before it
// gives up with "busy".
inline constexpr int IndexBusyMs = 2000;
// Creates the cache folder (private to the user) and its parents; answers an
// errno, 0 when the folder is there.
int MakeCacheFolder(const std::string& root);

// A name the index may point at: one entry of the content folder, never a
// path. Rows naming anything else are never listed and their "file" is never
// deleted.
bool IsPlainFileName(std::string_view name);

// Longest url or header a commit takes; rows whose record would exceed
// MaxRecordSize (only a damaged or foreign index has them) are skipped.
inline constexpr std::size_t MaxCommitField = 16u << 20;
inline constexpr std::size_t MaxRecordSize = 64u << 20;

// One entry as it is written.
struct TEntry {
  std::string Url;
  std::string File;  // name inside the content folder, "" for none
  DWORD Type = NORMAL_CACHE_ENTRY;
  DWORD UseCount = 1, HitRate = 1, ExemptDelta = 0;
  std::uint64_t Size = 0;
  std::uint64_t LastModified = 0, Expire = 0, LastAccess = 0, LastSync = 0;  // FILETIME ticks
  std::string Header, Extension;
};

// One entry as it is read: views into a batch.
struct TRowView {
  std::int64_t Id = 0;
  std::string_view Url, File, Header, Extension;
  DWORD Type = 0, UseCount = 0, HitRate = 0, ExemptDelta = 0;
  std::uint64_t Size = 0, LastModified = 0, Expire = 0, LastAccess = 0, LastSync = 0;
};

// Rows read in one go; all texts live in one arena.
class TBatch {
 public:
  std::size_t Count() const { return rows_.size(); }
  TRowView Row(std::size_t i) const;
  void Clear() {
    arena_.clear();
    rows_.clear();
  }

 private:
  friend class TIndex;
  struct TRef {
    std::int64_t Id;
    DWORD Type, UseCount, HitRate, ExemptDelta;
    std::uint64_t Size, LastModified, Expire, LastAccess, LastSync;
    std::uint32_t Url, UrlLen, File, FileLen, Header, HeaderLen, Ext, ExtLen;
  };
  std::string arena_;
  std::vector<TRef> rows_;
};

// What a commit or delete leaves to be removed from the content folder.
struct TReleasedFile {
  std::string Name;  // empty: nothing to remove
};

class TIndex {
 public:
  // The index of a cache folder, shared within the process. With create
  // false, nullptr when there is none yet. An index that is not ours (not a
  // database, damaged, foreign tables) is moved aside to index.db.damaged and
  // a new one begun. Throws sqlite::ESqlite.
  static std::shared_ptr<TIndex> Open(const std::string& root, bool create);
  // Moves the index this process has open for root aside, when it is still
  // the file under that name; the next Open starts a fresh one.
  static void DiscardOpen(const std::string& root);
  // Whether this process set an index of root aside since the last entry
  // was recorded there (until then the cache it sees is empty anyway);
  // Recorded() ends that.
  static bool SetAside(const std::string& root);
  static void Recorded(const std::string& root);
  // Whether an error means the file cannot serve as our index.
  static bool IsDamage(int sqliteCode);

  ~TIndex();

  const std::string& Root() const { return root_; }
  std::int64_t MaxId();

  // Up to limit rows with afterId < id <= maxId, of a kind (-1: any) and with
  // a type bit in mask, in id order. Answers how many rows the index gave
  // (oversized ones are left out of the batch) and the last one's id.
  int ReadBatch(std::int64_t afterId, std::int64_t maxId, int kind, DWORD mask, int limit, TBatch& out,
                std::int64_t& lastId);
  // The row of an address; false when none.
  bool ReadUrl(const std::string& url, TBatch& out);
  // The row as it is now; false when it has gone.
  bool ReadId(std::int64_t id, TBatch& out);

  // Adds or replaces the entry of e.Url. Use and hit counts go on from the
  // entry it replaces. Returns the replaced entry's file when no row uses it
  // any more.
  TReleasedFile Commit(TEntry e);
  // Removes the entry of url. removeFile is called (inside the transaction)
  // with the entry's file when no other row uses it and answers an errno;
  // when that is not 0 the entry stays. Returns nullopt when the address has
  // no entry, else what removeFile answered (0 when not called).
  template <typename F>
  std::optional<int> Delete(const std::string& url, F&& removeFile);
  // Drops rows whose files are gone: each (id, file) pair is dropped only if
  // the row still names that file and isFileThere says it is not there.
  template <typename F>
  void DropVanished(const std::vector<std::pair<std::int64_t, std::string>>& rows, F&& isFileThere);

  // When an index was set aside, removes the files of the content folder that
  // no row names and that have not changed for SweepGraceSeconds; the mark
  // goes once none is left.
  void SweepIfMarked();

  // Many rows in one transaction, for tests and benchmarks; files are the
  // caller's business.
  void BulkInsert(const std::vector<TEntry>& entries);

 private:
  TIndex(std::string root);
  static void Discard(const std::string& root, dev_t dev, ino_t ino);
  void Validate();
  bool FindUrl(const std::string& url, std::int64_t& id, std::string& file, DWORD& useCount, DWORD& hitRate);
  bool FileUsedElsewhere(const std::string& file, std::int64_t id);
  void DeleteRow(std::int64_t id);
  bool RowNames(std::int64_t id, const std::string& file);
  void Insert(sqlite::TStatement& st, const TEntry& e);
  void Read(sqlite3_stmt* st, TBatch& out);

  std::string root_;
  pid_t pid_;
  std::unique_ptr<sqlite::TDatabase> db_;
  sqlite3_stmt* batch_ = nullptr;
  sqlite3_stmt* byUrl_ = nullptr;
  sqlite3_stmt* byId_ = nullptr;
};

template <typename F>
std::optional<int> TIndex::Delete(const std::string& url, F&& removeFile) {
  sqlite::TTransaction t(*db_);
  std::int64_t id = 0;
  std::string file;
  DWORD use = 0, hit = 0;
  if (!FindUrl(url, id, file, use, hit)) return std::nullopt;
  if (!file.empty() && IsPlainFileName(file) && !FileUsedElsewhere(file, id))
    if (const int err = removeFile(file)) return err;
  DeleteRow(id);
  t.Commit();
  return 0;
}

template <typename F>
void TIndex::DropVanished(const std::vector<std::pair<std::int64_t, std::string>>& rows, F&& isFileThere) {
  if (rows.empty()) return;
  sqlite::TTransaction t(*db_);
  for (const auto& [id, file] : rows)
    if (RowNames(id, file) && !isFileThere(file)) DeleteRow(id);
  t.Commit();
}

// Tests and benchmarks: adds rows to the cache under the current VORRA_HOME.
void BulkInsertForTests(const std::vector<TEntry>& entries);

}  // namespace win::urlcache
