#include "platform/net/UrlCacheStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>

#include "platform/shell/UserFolders.h"
#include "platform/win/Ascii.h"

namespace win::urlcache {

namespace {

constexpr int SchemaVersion = 1;

// Stored as written: Validate compares the schema text to tell our index
// from any other database.
constexpr const char* TableSql =
    "CREATE TABLE entries(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE, kind INTEGER NOT NULL,"
    " file TEXT NOT NULL, type INTEGER NOT NULL, use_count INTEGER NOT NULL, hit_rate INTEGER NOT NULL,"
    " size INTEGER NOT NULL, modified INTEGER NOT NULL, expire INTEGER NOT NULL, access INTEGER NOT NULL,"
    " sync INTEGER NOT NULL, header BLOB NOT NULL, ext TEXT NOT NULL, exempt INTEGER NOT NULL)";
constexpr const char* FileIndexSql = "CREATE INDEX entries_file ON entries(file)";

#define VORRA_ROW_COLUMNS \
  "id, url, file, type, use_count, hit_rate, size, modified, expire, access, sync, header, ext, exempt"

constexpr const char* BatchSql = "SELECT " VORRA_ROW_COLUMNS
                                 " FROM entries WHERE id > ?1 AND id <= ?2 AND (?3 < 0 OR kind = ?3)"
                                 " AND (type & ?4) <> 0 ORDER BY id LIMIT ?5";
constexpr const char* ByUrlSql = "SELECT " VORRA_ROW_COLUMNS " FROM entries WHERE url = ?1";
constexpr const char* ByIdSql = "SELECT " VORRA_ROW_COLUMNS " FROM entries WHERE id = ?1";

constexpr const char* InsertSql =
    "INSERT INTO entries(url, kind, file, type, use_count, hit_rate, size, modified, expire, access, sync,"
    " header, ext, exempt) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)";

// Connections die with the process that opened them: a forked child must not
// touch (or close) its parent's SQLite handles.
struct TCached {
  std::string Root;
  dev_t Dev = 0;
  ino_t Ino = 0;
  std::shared_ptr<TIndex> Index;
};

TCached& Cached() {
  static TCached* c = new TCached;
  return *c;
}

// The root whose index this process set aside and has not recorded into since.
std::string& SetAsideRoot() {
  static auto* root = new std::string;
  return *root;
}

void Prepare(sqlite::TDatabase& db, const char* sql, sqlite3_stmt** out) {
  if (const int rc = sqlite3_prepare_v3(db.Handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, out, nullptr);
      rc != SQLITE_OK)
    db.Fail(rc, "prepare");
}

std::uint64_t U64(sqlite3_stmt* st, int col) { return static_cast<std::uint64_t>(sqlite3_column_int64(st, col)); }
DWORD Dw(sqlite3_stmt* st, int col) { return static_cast<DWORD>(sqlite3_column_int64(st, col)); }
std::int64_t I64(std::uint64_t v) { return static_cast<std::int64_t>(v); }

}  // namespace

TUrlKind KindOfUrl(std::string_view url) {
  if (AsciiStartsWithIgnoreCase(url, "cookie:")) return ukCookie;
  if (AsciiStartsWithIgnoreCase(url, "visited:")) return ukHistory;
  return ukUrl;
}

std::string CacheRoot() { return GetUserFolder(TUserFolder::ufCache) + "UrlCache/"; }

int MakeCacheFolder(const std::string& root) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(root).parent_path().parent_path(), ec);
  if (::mkdir(root.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  return errno;
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

TRowView TBatch::Row(std::size_t i) const {
  const TRef& r = rows_[i];
  const std::string_view a(arena_);
  TRowView v;
  v.Id = r.Id;
  v.Url = a.substr(r.Url, r.UrlLen);
  v.File = a.substr(r.File, r.FileLen);
  v.Header = a.substr(r.Header, r.HeaderLen);
  v.Extension = a.substr(r.Ext, r.ExtLen);
  v.Type = r.Type;
  v.UseCount = r.UseCount;
  v.HitRate = r.HitRate;
  v.ExemptDelta = r.ExemptDelta;
  v.Size = r.Size;
  v.LastModified = r.LastModified;
  v.Expire = r.Expire;
  v.LastAccess = r.LastAccess;
  v.LastSync = r.LastSync;
  return v;
}

bool TIndex::IsDamage(int code) {
  const int primary = code & 0xFF;
  return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

TIndex::TIndex(std::string root) : root_(std::move(root)), pid_(::getpid()) {}

TIndex::~TIndex() {
  sqlite3_finalize(batch_);
  sqlite3_finalize(byUrl_);
  sqlite3_finalize(byId_);
}

std::shared_ptr<TIndex> TIndex::Open(const std::string& root, bool create) {
  TCached& c = Cached();
  const std::string path = IndexPath(root);
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (c.Index && c.Root == root && exists && c.Dev == st.st_dev && c.Ino == st.st_ino && c.Index->pid_ == ::getpid())
    return c.Index;
  c.Index.reset();
  if (!exists && !create) return nullptr;
  if (!exists) MakeCacheFolder(root);  // a failure shows when SQLite opens

  auto open = [&]() -> std::shared_ptr<TIndex> {
    // In a forked child the parent's handles leak instead of being closed.
    std::shared_ptr<TIndex> index(new TIndex(root), [](TIndex* p) {
      if (p->pid_ == ::getpid()) delete p;
    });
    index->db_ = std::make_unique<sqlite::TDatabase>(path, IndexBusyMs);
    index->Validate();
    return index;
  };
  std::shared_ptr<TIndex> index;
  try {
    index = open();
  } catch (const sqlite::ESqlite& e) {
    if (!IsDamage(e.Code())) throw;
    // Only the file found damaged: another process may have replaced it already.
    if (exists || ::stat(path.c_str(), &st) == 0) Discard(root, st.st_dev, st.st_ino);
    index = open();
  }
  if (::stat(path.c_str(), &st) == 0) {
    c.Root = root;
    c.Dev = st.st_dev;
    c.Ino = st.st_ino;
    c.Index = index;
  }
  return index;
}

void TIndex::DiscardOpen(const std::string& root) {
  TCached& c = Cached();
  if (!c.Index || c.Root != root) return;
  const dev_t dev = c.Dev;
  const ino_t ino = c.Ino;
  c.Index.reset();
  Discard(root, dev, ino);
}

void TIndex::Discard(const std::string& root, dev_t dev, ino_t ino) {
  const std::string path = IndexPath(root);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || st.st_dev != dev || st.st_ino != ino) return;
  // Its rows are lost; their files wait for the next sweep.
  const int mark = ::open(SweepMarkPath(root).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (mark >= 0) ::close(mark);
  // The write-ahead log belongs to the damaged file: keep them together, so a
  // new index never replays it.
  if (std::rename(path.c_str(), (path + ".damaged").c_str()) != 0) return;
  std::rename((path + "-wal").c_str(), (path + ".damaged-wal").c_str());
  ::unlink((path + "-shm").c_str());
  SetAsideRoot() = root;
}

bool TIndex::SetAside(const std::string& root) { return !root.empty() && SetAsideRoot() == root; }

void TIndex::Recorded(const std::string& root) {
  if (SetAsideRoot() == root) SetAsideRoot().clear();
}

void TIndex::SweepIfMarked() {
  const std::string mark = SweepMarkPath(root_);
  if (::access(mark.c_str(), F_OK) != 0) return;
  DIR* dir = ::opendir(ContentFolder(root_).c_str());
  if (!dir) {
    if (errno == ENOENT) ::unlink(mark.c_str());
    return;
  }
  const std::time_t now = std::time(nullptr);
  bool left = false;
  try {
    sqlite::TStatement named(*db_, "SELECT 1 FROM entries WHERE file = ?1 LIMIT 1");
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      struct stat st {};
      if (!IsPlainFileName(name) || ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(st.st_mode))
        continue;
      named.Bind(1, name);
      const bool kept = named.Step();
      named.Reset();
      if (kept) continue;
      if (now - st.st_mtime < SweepGraceSeconds) left = true;
      else ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
  } catch (...) {
    ::closedir(dir);
    throw;
  }
  ::closedir(dir);
  if (!left) ::unlink(mark.c_str());
}

void TIndex::Validate() {
  sqlite3* h = db_->Handle();
  // Keep our writes from making a damaged file worse, and whatever a foreign
  // schema holds from running functions with side effects.
  sqlite3_db_config(h, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(h, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  auto foreign = [this](const char* why) {
    return sqlite::ESqlite(SQLITE_NOTADB, IndexPath(root_) + ": " + why);
  };
  const std::vector<std::string> ours = {std::string("table|entries|") + TableSql,
                                         std::string("index|entries_file|") + FileIndexSql,
                                         "index|sqlite_autoindex_entries_1|"};
  // Checked by reading, so that a writer elsewhere does not hold up a walk;
  // written only to begin a new index.
  const auto check = [&]() {
    sqlite::TStatement version(*db_, "PRAGMA user_version");
    const std::int64_t v = version.Step() ? version.Int(0) : 0;
    version.Reset();
    // Exactly our table and indexes: no views, no triggers, no other columns.
    sqlite::TStatement objects(*db_, "SELECT type, name, sql FROM sqlite_master ORDER BY name");
    std::vector<std::string> found;
    while (objects.Step()) found.push_back(objects.Text(0) + '|' + objects.Text(1) + '|' + objects.Text(2));
    objects.Reset();
    if (v == 0 && found.empty()) return false;
    if (v != SchemaVersion) throw foreign("not a URL cache index");
    if (found != ours) throw foreign("unknown URL cache index layout");
    return true;
  };
  bool valid;
  {
    sqlite::TReadTransaction r(*db_);
    valid = check();
  }
  if (!valid) {
    sqlite::TTransaction t(*db_);
    if (!check()) {  // another process may have begun it meanwhile
      db_->Exec(TableSql);
      db_->Exec(FileIndexSql);
      db_->Exec(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
    }
    t.Commit();
  }
  Prepare(*db_, BatchSql, &batch_);
  Prepare(*db_, ByUrlSql, &byUrl_);
  Prepare(*db_, ByIdSql, &byId_);
}

std::int64_t TIndex::MaxId() {
  sqlite::TStatement st(*db_, "SELECT max(id) FROM entries");
  return st.Step() && !st.IsNull(0) ? st.Int(0) : 0;
}

void TIndex::Read(sqlite3_stmt* st, TBatch& out) {
  std::string& a = out.arena_;
  auto text = [&](int col, const void* p, std::uint32_t& off, std::uint32_t& len) {
    const int n = sqlite3_column_bytes(st, col);
    off = static_cast<std::uint32_t>(a.size());
    len = static_cast<std::uint32_t>(n);
    if (n > 0) a.append(static_cast<const char*>(p), static_cast<std::size_t>(n));
  };
  TBatch::TRef r{};
  r.Id = sqlite3_column_int64(st, 0);
  r.Type = Dw(st, 3);
  r.UseCount = Dw(st, 4);
  r.HitRate = Dw(st, 5);
  r.Size = U64(st, 6);
  r.LastModified = U64(st, 7);
  r.Expire = U64(st, 8);
  r.LastAccess = U64(st, 9);
  r.LastSync = U64(st, 10);
  r.ExemptDelta = Dw(st, 13);
  // The arena is 32-bit addressed: a row that does not fit is skipped.
  const std::size_t before = a.size();
  text(1, sqlite3_column_text(st, 1), r.Url, r.UrlLen);
  text(2, sqlite3_column_text(st, 2), r.File, r.FileLen);
  text(11, sqlite3_column_blob(st, 11), r.Header, r.HeaderLen);
  text(12, sqlite3_column_text(st, 12), r.Ext, r.ExtLen);
  if (a.size() - before > MaxRecordSize || a.size() > std::numeric_limits<std::uint32_t>::max()) {
    a.resize(before);
    return;
  }
  out.rows_.push_back(r);
}

int TIndex::ReadBatch(std::int64_t afterId, std::int64_t maxId, int kind, DWORD mask, int limit, TBatch& out,
                      std::int64_t& lastId) {
  out.Clear();
  int stepped = 0;
  sqlite3_stmt* st = batch_;
  sqlite3_bind_int64(st, 1, afterId);
  sqlite3_bind_int64(st, 2, maxId);
  sqlite3_bind_int(st, 3, kind);
  sqlite3_bind_int64(st, 4, mask);
  sqlite3_bind_int(st, 5, limit);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ++stepped;
    lastId = sqlite3_column_int64(st, 0);
    Read(st, out);
  }
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) db_->Fail(rc, "read");
  return stepped;
}

bool TIndex::ReadUrl(const std::string& url, TBatch& out) {
  out.Clear();
  sqlite3_stmt* st = byUrl_;
  sqlite3_bind_text64(st, 1, url.data(), url.size(), SQLITE_STATIC, SQLITE_UTF8);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) Read(st, out);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (rc != SQLITE_DONE) db_->Fail(rc, "read");
  return out.Count() > 0;
}

bool TIndex::ReadId(std::int64_t id, TBatch& out) {
  out.Clear();
  sqlite3_stmt* st = byId_;
  sqlite3_bind_int64(st, 1, id);
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) Read(st, out);
  sqlite3_reset(st);
  if (rc != SQLITE_DONE) db_->Fail(rc, "read");
  return out.Count() > 0;
}

bool TIndex::FindUrl(const std::string& url, std::int64_t& id, std::string& file, DWORD& useCount,
                     DWORD& hitRate) {
  sqlite::TStatement st(*db_, "SELECT id, file, use_count, hit_rate FROM entries WHERE url = ?1");
  st.Bind(1, url);
  if (!st.Step()) return false;
  id = st.Int(0);
  file = st.Text(1);
  useCount = static_cast<DWORD>(st.Int(2));
  hitRate = static_cast<DWORD>(st.Int(3));
  return true;
}

bool TIndex::FileUsedElsewhere(const std::string& file, std::int64_t id) {
  sqlite::TStatement st(*db_, "SELECT 1 FROM entries WHERE file = ?1 AND id <> ?2 LIMIT 1");
  st.Bind(1, file).Bind(2, id);
  return st.Step();
}

void TIndex::DeleteRow(std::int64_t id) {
  sqlite::TStatement st(*db_, "DELETE FROM entries WHERE id = ?1");
  st.Bind(1, id).Run();
}

bool TIndex::RowNames(std::int64_t id, const std::string& file) {
  sqlite::TStatement st(*db_, "SELECT 1 FROM entries WHERE id = ?1 AND file = ?2");
  st.Bind(1, id).Bind(2, file);
  return st.Step();
}

// Columns 2 to 14 stand in the same places in the INSERT and the UPDATE.
static void BindEntryColumns(sqlite::TStatement& st, const TEntry& e) {
  st.Bind(2, static_cast<std::int64_t>(KindOfUrl(e.Url)))
      .Bind(3, e.File)
      .Bind(4, static_cast<std::int64_t>(e.Type))
      .Bind(5, static_cast<std::int64_t>(e.UseCount))
      .Bind(6, static_cast<std::int64_t>(e.HitRate))
      .Bind(7, I64(e.Size))
      .Bind(8, I64(e.LastModified))
      .Bind(9, I64(e.Expire))
      .Bind(10, I64(e.LastAccess))
      .Bind(11, I64(e.LastSync))
      .BindBlob(12, e.Header.data(), e.Header.size())
      .Bind(13, e.Extension)
      .Bind(14, static_cast<std::int64_t>(e.ExemptDelta));
}

void TIndex::Insert(sqlite::TStatement& st, const TEntry& e) {
  st.Bind(1, e.Url);
  BindEntryColumns(st, e);
  st.Run();
  st.Reset();
}

TReleasedFile TIndex::Commit(TEntry e) {
  sqlite::TTransaction t(*db_);
  TReleasedFile released;
  std::int64_t id = 0;
  std::string oldFile;
  DWORD use = 0, hit = 0;
  if (FindUrl(e.Url, id, oldFile, use, hit)) {
    // The entry keeps its place (its id) so a walk under way still meets it.
    e.UseCount = use + 1;
    e.HitRate = hit + 1;
    sqlite::TStatement up(*db_,
                          "UPDATE entries SET kind = ?2, file = ?3, type = ?4, use_count = ?5, hit_rate = ?6,"
                          " size = ?7, modified = ?8, expire = ?9, access = ?10, sync = ?11, header = ?12,"
                          " ext = ?13, exempt = ?14 WHERE id = ?1");
    up.Bind(1, id);
    BindEntryColumns(up, e);
    up.Run();
    if (!oldFile.empty() && oldFile != e.File && IsPlainFileName(oldFile) && !FileUsedElsewhere(oldFile, 0))
      released.Name = oldFile;
  } else {
    sqlite::TStatement ins(*db_, InsertSql);
    Insert(ins, e);
  }
  t.Commit();
  return released;
}

void TIndex::BulkInsert(const std::vector<TEntry>& entries) {
  sqlite::TTransaction t(*db_);
  sqlite::TStatement ins(*db_, InsertSql);
  for (const TEntry& e : entries) Insert(ins, e);
  t.Commit();
}

void BulkInsertForTests(const std::vector<TEntry>& entries) {
  TIndex::Open(CacheRoot(), true)->BulkInsert(entries);
}

}  // namespace win::urlcache
