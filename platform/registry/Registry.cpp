#include "platform/registry/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/shell/UserFolders.h"
#include "platform/win/Ascii.h"
#include "platform/sqlite/Sqlite.h"

namespace win {

namespace {

namespace fs = std::filesystem;
using sqlite::ESqlite;
using sqlite::TDatabase;
using sqlite::TReadTransaction;
using sqlite::TStatement;
using sqlite::TStatementUse;
using sqlite::TTransaction;

constexpr std::int64_t ClassesRootId = 1;
constexpr std::int64_t CurrentUserId = 2;
// "VRG1" in the file header: a database of any other program is never changed.
constexpr std::int64_t ApplicationId = 0x56524731;
constexpr std::int64_t SchemaVersion = 1;

// AUTOINCREMENT: a deleted key's id is never given to a new key, so a handle
// left open on a deleted key cannot end up on another one.
const char* const SchemaSql[] = {
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER NOT NULL, name TEXT NOT NULL,"
    " lname TEXT NOT NULL, UNIQUE(parent, lname))",
    "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, lname TEXT NOT NULL, type INTEGER NOT NULL,"
    " data BLOB NOT NULL, UNIQUE(key, lname))",
};

using TSchema = std::vector<std::tuple<std::string, std::string, std::string>>;

TSchema ReadSchema(TDatabase& db) {
  TStatement st(db, "SELECT type, name, coalesce(sql, '') FROM sqlite_schema ORDER BY type, name");
  TSchema schema;
  while (st.Step()) schema.emplace_back(st.Text(0), st.Text(1), st.Text(2));
  return schema;
}

// What SQLite records for our tables, taken from a scratch database so that
// the comparison does not depend on how SQLite words its own entries.
const TSchema& ExpectedSchema() {
  static const TSchema schema = [] {
    TDatabase mem(":memory:");
    for (const char* sql : SchemaSql) mem.Exec(sql);
    return ReadSchema(mem);
  }();
  return schema;
}

// One enumeration snapshot: the store it was taken from and the state of the
// data then (changes by other connections, and by this one).
using TVersion = std::tuple<std::uint64_t, std::int64_t, std::uint64_t>;

struct THandle {
  std::string storePath;  // empty for the roots, which belong to every store
  std::int64_t key = 0;
  REGSAM access = 0;
  std::optional<TVersion> keysVersion;
  std::vector<std::string> keyNames;
  std::optional<TVersion> valuesVersion;
  std::vector<std::pair<std::string, std::string>> valueNames;  // name, lower-cased name
};

struct TValue {
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> data;
};

class TStore {
 public:
  std::string path;
  pid_t pid = 0;
  std::uint64_t generation = 0;
  DWORD error = ERROR_SUCCESS;  // not ERROR_SUCCESS: the store is not used at all
  std::uint64_t localWrites = 0;

  // Declared before the statements so that they are finalised first.
  std::unique_ptr<TDatabase> db;
  std::unique_ptr<TStatement> findChild, keyExists, insertKey, hasChild, deleteKey, listKeys, keyInfo;
  std::unique_ptr<TStatement> getValue, upsertValue, deleteValue, deleteValues, listValues, valueInfo, dataVersion;

  ~TStore() { Drop(); }

  // Closes the connection. A store found damaged is closed without folding
  // the WAL into it, so that the file stays as it is.
  void Drop() {
    findChild.reset(), keyExists.reset(), insertKey.reset(), hasChild.reset(), deleteKey.reset(), listKeys.reset(),
        keyInfo.reset();
    getValue.reset(), upsertValue.reset(), deleteValue.reset(), deleteValues.reset(), listValues.reset(),
        valueInfo.reset(), dataVersion.reset();
    if (db && error != ERROR_SUCCESS) sqlite3_db_config(db->Handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    db.reset();
  }

  void Prepare() {
    auto p = [&](const char* sql) { return std::make_unique<TStatement>(*db, sql); };
    findChild = p("SELECT id FROM keys WHERE parent = ?1 AND lname = ?2");
    keyExists = p("SELECT 1 FROM keys WHERE id = ?1");
    insertKey = p("INSERT INTO keys(parent, name, lname) VALUES(?1, ?2, ?3)");
    hasChild = p("SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
    deleteKey = p("DELETE FROM keys WHERE id = ?1");
    listKeys = p("SELECT name FROM keys WHERE parent = ?1 ORDER BY lname");
    keyInfo = p("SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0) FROM keys WHERE parent = ?1");
    getValue = p("SELECT type, data FROM vals WHERE key = ?1 AND lname = ?2");
    // An existing value keeps the spelling of its name, as a key does.
    upsertValue = p(
        "INSERT INTO vals(key, name, lname, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
        " ON CONFLICT(key, lname) DO UPDATE SET type = excluded.type, data = excluded.data");
    deleteValue = p("DELETE FROM vals WHERE key = ?1 AND lname = ?2");
    deleteValues = p("DELETE FROM vals WHERE key = ?1");
    listValues = p("SELECT name, lname FROM vals WHERE key = ?1 ORDER BY rowid");
    valueInfo = p(
        "SELECT count(*), coalesce(max(length(CAST(name AS BLOB))), 0), coalesce(max(length(data)), 0)"
        " FROM vals WHERE key = ?1");
    dataVersion = p("PRAGMA data_version");
  }

  std::optional<std::int64_t> FindChild(std::int64_t parent, const std::string& lname) {
    TStatementUse st(*findChild);
    st->Bind(1, parent).Bind(2, lname);
    if (!st->Step()) return std::nullopt;
    return st->Int(0);
  }

  bool KeyExists(std::int64_t id) {
    if (id == ClassesRootId || id == CurrentUserId) return true;
    TStatementUse st(*keyExists);
    st->Bind(1, id);
    return st->Step();
  }

  // Follows the names from `id` as far as they exist; answers how many matched.
  std::size_t Walk(std::int64_t& id, const std::vector<std::string>& names) {
    std::size_t i = 0;
    for (; i < names.size(); ++i) {
      const auto child = FindChild(id, AsciiLowerCase(names[i]));
      if (!child) break;
      id = *child;
    }
    return i;
  }

  std::int64_t InsertKey(std::int64_t parent, const std::string& name) {
    TStatementUse st(*insertKey);
    st->Bind(1, parent).Bind(2, name).Bind(3, AsciiLowerCase(name)).Run();
    return db->LastInsertRowId();
  }

  std::optional<TValue> GetValue(std::int64_t key, const std::string& lname) {
    TStatementUse st(*getValue);
    st->Bind(1, key).Bind(2, lname);
    if (!st->Step()) return std::nullopt;
    TValue v;
    v.type = static_cast<DWORD>(st->Int(0));
    v.data = st->Blob(1);
    return v;
  }

  TVersion Version() {
    TStatementUse st(*dataVersion);
    st->Step();
    return {generation, st->Int(0), localWrites};
  }
};

std::mutex g_mutex;
std::unique_ptr<TStore> g_store;
std::uint64_t g_generation = 0;
std::unordered_map<std::uintptr_t, THandle> g_handles;
std::uintptr_t g_nextHandle = 0x1000;
THandle g_classesRoot{"", ClassesRootId, KEY_ALL_ACCESS, {}, {}, {}, {}};
THandle g_currentUser{"", CurrentUserId, KEY_ALL_ACCESS, {}, {}, {}, {}};
TRegistryStoreReporter g_reporter;

void DefaultReporter(const std::string& message) { std::fprintf(stderr, "vorra: %s\n", message.c_str()); }

struct TOpenFailure {
  DWORD error;
  std::string reason;
};

// Looks at the file before SQLite does: SQLite would turn any database it is
// given into WAL mode, which rewrites the header of a file that is not ours.
std::optional<TOpenFailure> CheckFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    return TOpenFailure{ERROR_CANTOPEN, std::strerror(errno)};
  }
  struct stat st {};
  unsigned char header[100];
  ssize_t got = -1;
  std::optional<TOpenFailure> failure;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    failure = TOpenFailure{ERROR_CANTOPEN, "not a regular file"};
  } else if (st.st_size > 0) {
    got = ::pread(fd, header, sizeof header, 0);
    if (got < 0)
      failure = TOpenFailure{ERROR_CANTOPEN, std::strerror(errno)};
    else if (got < static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0)
      failure = TOpenFailure{ERROR_BADDB, "not a registry store"};
    else if (header[18] != 2 || header[19] != 2)
      failure = TOpenFailure{ERROR_BADDB, "not a registry store (not in WAL mode)"};
  }
  ::close(fd);
  return failure;
}

// The first column of the first row of a one-number query.
std::int64_t QueryInt(TDatabase& db, const char* sql) {
  TStatement st(db, sql);
  return st.Step() ? st.Int(0) : 0;
}

std::optional<TOpenFailure> OpenInto(TStore& s) {
  std::error_code ec;
  fs::create_directories(fs::path(s.path).parent_path(), ec);
  if (ec) return TOpenFailure{ERROR_CANTOPEN, ec.message()};
  if (auto failure = CheckFile(s.path)) return failure;
  try {
    s.db = std::make_unique<TDatabase>(s.path);
    sqlite3* h = s.db->Handle();
    // Until the store is known to be ours and sound, closing must not write it.
    sqlite3_db_config(h, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    // The file comes from outside the program: no schema tricks, extra checks on pages.
    sqlite3_db_config(h, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    s.db->Exec("PRAGMA trusted_schema=OFF");
    s.db->Exec("PRAGMA cell_size_check=ON");

    if (QueryInt(*s.db, "PRAGMA application_id") == 0 && QueryInt(*s.db, "PRAGMA user_version") == 0 &&
        QueryInt(*s.db, "SELECT count(*) FROM sqlite_schema") == 0) {
      TTransaction t(*s.db);
      // Another process may have set it up meanwhile.
      if (QueryInt(*s.db, "SELECT count(*) FROM sqlite_schema") == 0) {
        for (const char* sql : SchemaSql) s.db->Exec(sql);
        s.db->Exec("INSERT INTO keys(id, parent, name, lname) VALUES(1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root')");
        s.db->Exec("INSERT INTO keys(id, parent, name, lname) VALUES(2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user')");
        s.db->Exec(("PRAGMA application_id=" + std::to_string(ApplicationId)).c_str());
        s.db->Exec(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str());
        t.Commit();
      }
    }
    if (QueryInt(*s.db, "PRAGMA application_id") != ApplicationId)
      return TOpenFailure{ERROR_BADDB, "not a registry store"};
    if (QueryInt(*s.db, "PRAGMA user_version") != SchemaVersion)
      return TOpenFailure{ERROR_BADDB, "written by another version of the program"};
    if (ReadSchema(*s.db) != ExpectedSchema()) return TOpenFailure{ERROR_BADDB, "unexpected tables"};
    // Roots below a key (or a key 0 above them) would make a walk down the tree endless.
    if (QueryInt(*s.db, "SELECT count(*) FROM keys WHERE id IN (1, 2) AND parent = 0") != 2 ||
        QueryInt(*s.db, "SELECT count(*) FROM keys WHERE id <= 0") != 0)
      return TOpenFailure{ERROR_BADDB, "damaged root keys"};
    {
      TStatement check(*s.db, "PRAGMA quick_check(1)");
      if (!check.Step() || check.Text(0) != "ok") return TOpenFailure{ERROR_BADDB, "damaged: " + check.Text(0)};
    }
    sqlite3_db_config(h, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    s.Prepare();
  } catch (const ESqlite& e) {
    const int primary = e.Code() & 0xFF;
    const bool damaged = primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
    return TOpenFailure{damaged ? ERROR_BADDB : ERROR_CANTOPEN, e.what()};
  } catch (const std::bad_alloc&) {
    return TOpenFailure{ERROR_NOT_ENOUGH_MEMORY, "out of memory"};
  }
  return std::nullopt;
}

std::string Complaint(const TStore& s, const std::string& reason) {
  return "the registry store " + s.path + " cannot be used (" + reason +
         "); it is left as it is, and settings are neither read nor saved";
}

// Answers the store for the current VORRA_HOME, opening it when needed. A
// child after fork() must not touch its parent's connection, so that one is
// left alone (not closed) and the child opens its own.
TStore& CurrentStore(std::string& complaint) {
  const std::string path = GetRegistryStorePath();
  const pid_t pid = ::getpid();
  if (g_store && g_store->pid != pid) (void)g_store.release();
  if (!g_store || g_store->path != path) {
    g_store.reset();
    auto s = std::make_unique<TStore>();
    s->path = path;
    s->pid = pid;
    s->generation = ++g_generation;
    if (const auto failure = OpenInto(*s)) {
      s->error = failure->error;
      s->Drop();
      complaint = Complaint(*s, failure->reason);
    }
    g_store = std::move(s);
  }
  return *g_store;
}

// Runs one registry call on the store under the process lock. Damage found
// on the way retires the store for the rest of the run; the reporter is
// called after the lock is let go.
template <typename F>
LONG WithStore(bool write, F&& call) {
  std::string complaint;
  TRegistryStoreReporter reporter;
  LONG result;
  {
    std::lock_guard lock(g_mutex);
    TStore& s = CurrentStore(complaint);
    if (s.error != ERROR_SUCCESS) {
      result = static_cast<LONG>(s.error);
    } else {
      try {
        result = call(s);
      } catch (const ESqlite& e) {
        result = static_cast<LONG>(SqliteToWin32Error(e.Code(), write));
        if (result == static_cast<LONG>(ERROR_BADDB)) {
          s.error = ERROR_BADDB;
          s.Drop();
          complaint = Complaint(s, e.what());
        }
      } catch (const std::bad_alloc&) {
        result = static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
      }
    }
    if (!complaint.empty()) reporter = g_reporter;
  }
  if (!complaint.empty()) (reporter ? reporter : DefaultReporter)(complaint);
  return result;
}

constexpr LONG Err(DWORD e) { return static_cast<LONG>(e); }

// The handle's record, or an error: unknown or closed handles, handles of
// another store, and handles without the access the call needs.
LONG Resolve(const TStore& s, HKEY h, REGSAM need, THandle*& out) {
  out = nullptr;
  if (h == HKEY_CLASSES_ROOT) out = &g_classesRoot;
  else if (h == HKEY_CURRENT_USER) out = &g_currentUser;
  else {
    const auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == g_handles.end() || it->second.storePath != s.path) return Err(ERROR_INVALID_HANDLE);
    out = &it->second;
  }
  if ((out->access & need) != need) return Err(ERROR_ACCESS_DENIED);
  return Err(ERROR_SUCCESS);
}

HKEY NewHandle(const TStore& s, std::int64_t key, REGSAM access) {
  const std::uintptr_t value = g_nextHandle;
  g_nextHandle += 4;
  THandle h;
  h.storePath = s.path;
  h.key = key;
  h.access = access & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  g_handles.emplace(value, std::move(h));
  return reinterpret_cast<HKEY>(value);
}

// Splits a subkey path into names: one leading and one trailing "\" are
// dropped; empty or over-long names and over-deep paths are refused.
LONG SplitPath(LPCSTR subKey, std::vector<std::string>& names) {
  names.clear();
  if (!subKey) return Err(ERROR_SUCCESS);
  std::string_view p(subKey);
  if (!p.empty() && p.front() == '\\') p.remove_prefix(1);
  if (!p.empty() && p.back() == '\\') p.remove_suffix(1);
  if (p.empty()) return Err(ERROR_SUCCESS);
  while (true) {
    const std::size_t cut = p.find('\\');
    const std::string_view name = p.substr(0, cut);
    if (name.empty() || name.size() > RegMaxKeyNameLength || names.size() >= RegMaxKeyDepth)
      return Err(ERROR_INVALID_PARAMETER);
    names.emplace_back(name);
    if (cut == std::string_view::npos) break;
    p.remove_prefix(cut + 1);
  }
  return Err(ERROR_SUCCESS);
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ; }

// The common tail of the value reads: type, size, and data when it fits.
LONG Deliver(const TValue& v, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpType) *lpType = v.type;
  if (v.data.size() > 0xFFFFFFFFu) return Err(ERROR_BADDB);
  const DWORD size = static_cast<DWORD>(v.data.size());
  if (!lpcbData) return Err(ERROR_SUCCESS);
  if (lpData) {
    if (*lpcbData < size) {
      *lpcbData = size;
      return Err(ERROR_MORE_DATA);
    }
    if (size) std::memcpy(lpData, v.data.data(), size);
  }
  *lpcbData = size;
  return Err(ERROR_SUCCESS);
}

}  // namespace

std::string GetRegistryStorePath() { return GetUserFolder(TUserFolder::ufConfig) + "registry.db"; }

void CloseRegistryStore() {
  std::lock_guard lock(g_mutex);
  if (g_store && g_store->pid != ::getpid()) (void)g_store.release();
  g_store.reset();
}

TRegistryStoreReporter SetRegistryStoreReporter(TRegistryStoreReporter reporter) {
  std::lock_guard lock(g_mutex);
  return std::exchange(g_reporter, std::move(reporter));
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return Err(ERROR_INVALID_PARAMETER);
  *phkResult = nullptr;
  std::vector<std::string> names;
  if (const LONG rc = SplitPath(lpSubKey, names)) return rc;
  return WithStore(false, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, 0, h)) return rc;
    std::int64_t id = h->key;
    if (!s.KeyExists(id)) return Err(ERROR_KEY_DELETED);
    if (s.Walk(id, names) != names.size()) return Err(ERROR_FILE_NOT_FOUND);
    *phkResult = NewHandle(s, id, samDesired);
    return Err(ERROR_SUCCESS);
  });
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return Err(ERROR_INVALID_PARAMETER);
  *phkResult = nullptr;
  if (Reserved != 0 || dwOptions != REG_OPTION_NON_VOLATILE) return Err(ERROR_INVALID_PARAMETER);
  std::vector<std::string> names;
  if (const LONG rc = SplitPath(lpSubKey, names)) return rc;
  return WithStore(true, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, 0, h)) return rc;
    const REGSAM parentAccess = h->access;
    std::int64_t id = h->key;
    if (!s.KeyExists(id)) return Err(ERROR_KEY_DELETED);
    // Opening what exists needs no write: settings keys are opened this way at every start.
    std::size_t found = s.Walk(id, names);
    bool created = false;
    if (found != names.size()) {
      if (!(parentAccess & KEY_CREATE_SUB_KEY)) return Err(ERROR_ACCESS_DENIED);
      TTransaction t(*s.db);
      id = h->key;
      if (!s.KeyExists(id)) return Err(ERROR_KEY_DELETED);
      found = s.Walk(id, names);
      for (std::size_t i = found; i < names.size(); ++i) id = s.InsertKey(id, names[i]);
      t.Commit();
      created = found != names.size();
      if (created) ++s.localWrites;
    }
    *phkResult = NewHandle(s, id, samDesired);
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return Err(ERROR_SUCCESS);
  });
}

LONG RegCloseKey(HKEY hKey) {
  if (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_CURRENT_USER) return Err(ERROR_SUCCESS);
  std::lock_guard lock(g_mutex);
  return g_handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? Err(ERROR_SUCCESS) : Err(ERROR_INVALID_HANDLE);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return Err(ERROR_INVALID_PARAMETER);
  const std::string lname = AsciiLowerCase(lpValueName ? lpValueName : "");
  return WithStore(false, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, KEY_QUERY_VALUE, h)) return rc;
    const auto v = s.GetValue(h->key, lname);
    if (!v) return s.KeyExists(h->key) ? Err(ERROR_FILE_NOT_FOUND) : Err(ERROR_KEY_DELETED);
    return Deliver(*v, lpType, lpData, lpcbData);
  });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  // The size is judged before the data is looked at: a wrong size must not make us read past a buffer.
  if (Reserved != 0 || cbData > RegMaxValueSize || (!lpData && cbData)) return Err(ERROR_INVALID_PARAMETER);
  if (dwType == REG_DWORD && cbData != sizeof(DWORD)) return Err(ERROR_INVALID_PARAMETER);
  const std::string name = lpValueName ? lpValueName : "";
  if (name.size() > RegMaxValueNameLength) return Err(ERROR_INVALID_PARAMETER);
  std::vector<std::uint8_t> data(lpData, lpData + cbData);
  // Text is kept with its terminating zero, so every reader gets a terminated string.
  if (IsTextType(dwType) && (data.empty() || data.back() != 0)) data.push_back(0);
  return WithStore(true, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, KEY_SET_VALUE, h)) return rc;
    TTransaction t(*s.db);
    if (!s.KeyExists(h->key)) return Err(ERROR_KEY_DELETED);
    TStatementUse st(*s.upsertValue);
    st->Bind(1, h->key).Bind(2, name).Bind(3, AsciiLowerCase(name)).Bind(4, static_cast<std::int64_t>(dwType));
    st->BindBlob(5, data.data(), data.size()).Run();
    t.Commit();
    ++s.localWrites;
    return Err(ERROR_SUCCESS);
  });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  const std::string lname = AsciiLowerCase(lpValueName ? lpValueName : "");
  return WithStore(true, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, KEY_SET_VALUE, h)) return rc;
    TTransaction t(*s.db);
    if (!s.KeyExists(h->key)) return Err(ERROR_KEY_DELETED);
    TStatementUse st(*s.deleteValue);
    st->Bind(1, h->key).Bind(2, lname).Run();
    if (s.db->Changes() == 0) return Err(ERROR_FILE_NOT_FOUND);
    t.Commit();
    ++s.localWrites;
    return Err(ERROR_SUCCESS);
  });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return Err(ERROR_INVALID_PARAMETER);
  std::vector<std::string> names;
  if (const LONG rc = SplitPath(lpSubKey, names)) return rc;
  return WithStore(true, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, 0, h)) return rc;
    TTransaction t(*s.db);
    std::int64_t id = h->key;
    if (!s.KeyExists(id)) return Err(ERROR_KEY_DELETED);
    if (s.Walk(id, names) != names.size()) return Err(ERROR_FILE_NOT_FOUND);
    if (id == ClassesRootId || id == CurrentUserId) return Err(ERROR_ACCESS_DENIED);
    {
      TStatementUse st(*s.hasChild);
      st->Bind(1, id);
      if (st->Step()) return Err(ERROR_ACCESS_DENIED);
    }
    {
      TStatementUse st(*s.deleteValues);
      st->Bind(1, id).Run();
    }
    {
      TStatementUse st(*s.deleteKey);
      st->Bind(1, id).Run();
    }
    t.Commit();
    ++s.localWrites;
    return Err(ERROR_SUCCESS);
  });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                   LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return Err(ERROR_INVALID_PARAMETER);
  return WithStore(false, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, KEY_ENUMERATE_SUB_KEYS, h)) return rc;
    TReadTransaction r(*s.db);
    if (!s.KeyExists(h->key)) return Err(ERROR_KEY_DELETED);
    // Index-by-index enumeration reads the whole list once per change, not once per index.
    const TVersion version = s.Version();
    if (h->keysVersion != version) {
      h->keyNames.clear();
      TStatementUse st(*s.listKeys);
      st->Bind(1, h->key);
      while (st->Step()) h->keyNames.push_back(st->Text(0));
      h->keysVersion = version;
    }
    if (dwIndex >= h->keyNames.size()) return Err(ERROR_NO_MORE_ITEMS);
    const std::string& name = h->keyNames[dwIndex];
    if (*lpcchName <= name.size()) return Err(ERROR_MORE_DATA);
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && *lpcchClass > 0) lpClass[0] = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{};
    return Err(ERROR_SUCCESS);
  });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return Err(ERROR_INVALID_PARAMETER);
  return WithStore(false, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, KEY_QUERY_VALUE, h)) return rc;
    TReadTransaction r(*s.db);
    if (!s.KeyExists(h->key)) return Err(ERROR_KEY_DELETED);
    const TVersion version = s.Version();
    if (h->valuesVersion != version) {
      h->valueNames.clear();
      TStatementUse st(*s.listValues);
      st->Bind(1, h->key);
      while (st->Step()) h->valueNames.emplace_back(st->Text(0), st->Text(1));
      h->valuesVersion = version;
    }
    if (dwIndex >= h->valueNames.size()) return Err(ERROR_NO_MORE_ITEMS);
    const auto& [name, lname] = h->valueNames[dwIndex];
    if (*lpcchValueName <= name.size()) return Err(ERROR_MORE_DATA);
    const auto v = s.GetValue(h->key, lname);
    if (!v) return Err(ERROR_NO_MORE_ITEMS);  // only a damaged store lists a name it cannot find
    std::memcpy(lpValueName, name.c_str(), name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(name.size());
    return Deliver(*v, lpType, lpData, lpcbData);
  });
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      PFILETIME lpftLastWriteTime) {
  if (lpReserved || (lpClass && !lpcchClass)) return Err(ERROR_INVALID_PARAMETER);
  return WithStore(false, [&](TStore& s) {
    THandle* h;
    if (const LONG rc = Resolve(s, hKey, KEY_QUERY_VALUE, h)) return rc;
    TReadTransaction r(*s.db);
    if (!s.KeyExists(h->key)) return Err(ERROR_KEY_DELETED);
    const auto dword = [](std::int64_t v) { return static_cast<DWORD>(v < 0 ? 0 : v > 0xFFFFFFFF ? 0xFFFFFFFF : v); };
    {
      TStatementUse st(*s.keyInfo);
      st->Bind(1, h->key).Step();
      if (lpcSubKeys) *lpcSubKeys = dword(st->Int(0));
      if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = dword(st->Int(1));
    }
    {
      TStatementUse st(*s.valueInfo);
      st->Bind(1, h->key).Step();
      if (lpcValues) *lpcValues = dword(st->Int(0));
      if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = dword(st->Int(1));
      if (lpcbMaxValueLen) *lpcbMaxValueLen = dword(st->Int(2));
    }
    if (lpClass && *lpcchClass > 0) lpClass[0] = '\0';
    if (lpcchClass) *lpcchClass = 0;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{};
    return Err(ERROR_SUCCESS);
  });
}

}  // namespace win
