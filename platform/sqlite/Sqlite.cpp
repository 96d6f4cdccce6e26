#include "platform/sqlite/Sqlite.h"

#include <chrono>

#include "platform/win/ScopeGuard.h"

namespace sqlite {

TDatabase::TDatabase(const std::string& path, int busyTimeoutMs) {
  const int rc = sqlite3_open_v2(path.c_str(), &db_,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    const std::string msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw ESqlite(rc, path + ": " + msg);
  }
  sqlite3_busy_timeout(db_, busyTimeoutMs);
  sqlite3_extended_result_codes(db_, 1);
  auto closeOnFailure = win::ScopeExit([this] {
    sqlite3_close_v2(db_);
    db_ = nullptr;
  });
  // While another process creates the file, the switch to WAL fails at
  // once instead of waiting for it: wait here, within the same timeout.
  // The pragma may itself wait in the busy handler: count the time, not the naps.
  const auto start = std::chrono::steady_clock::now();
  for (;; sqlite3_sleep(5)) {
    const int mode = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    const auto waited = std::chrono::steady_clock::now() - start;
    if ((mode & 0xFF) != SQLITE_BUSY || waited >= std::chrono::milliseconds(busyTimeoutMs)) {
      if (mode != SQLITE_OK) Fail(mode, path);
      break;
    }
  }
  Exec("PRAGMA synchronous=NORMAL");
  closeOnFailure.Dismiss();
}

TDatabase::~TDatabase() { sqlite3_close_v2(db_); }

void TDatabase::Fail(int code, const std::string& context) const {
  throw ESqlite(code, context + ": " + (db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(code)));
}

void TDatabase::Exec(const char* sql) {
  char* err = nullptr;
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    const std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    throw ESqlite(rc, msg);
  }
}

TStatement::TStatement(TDatabase& db, const char* sql) : db_(db) {
  const int rc = sqlite3_prepare_v2(db.Handle(), sql, -1, &stmt_, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc, "prepare");
}

TStatement::~TStatement() { sqlite3_finalize(stmt_); }

TStatement& TStatement::Bind(int index, std::int64_t value) {
  if (const int rc = sqlite3_bind_int64(stmt_, index, value); rc != SQLITE_OK) db_.Fail(rc, "bind");
  return *this;
}

TStatement& TStatement::Bind(int index, const std::string& text) {
  if (const int rc = sqlite3_bind_text64(stmt_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      rc != SQLITE_OK)
    db_.Fail(rc, "bind");
  return *this;
}

TStatement& TStatement::BindBlob(int index, const void* data, std::size_t size) {
  // A zero-length blob is still a blob, not NULL.
  if (const int rc = sqlite3_bind_blob64(stmt_, index, size ? data : "", size, SQLITE_TRANSIENT); rc != SQLITE_OK)
    db_.Fail(rc, "bind");
  return *this;
}

TStatement& TStatement::BindNull(int index) {
  if (const int rc = sqlite3_bind_null(stmt_, index); rc != SQLITE_OK) db_.Fail(rc, "bind");
  return *this;
}

bool TStatement::Step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  db_.Fail(rc, "step");
}

void TStatement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool TStatement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
std::int64_t TStatement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

std::string TStatement::Text(int column) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

std::vector<std::uint8_t> TStatement::Blob(int column) const {
  const auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
  return p ? std::vector<std::uint8_t>(p, p + sqlite3_column_bytes(stmt_, column)) : std::vector<std::uint8_t>();
}

TTransaction::TTransaction(TDatabase& db) : db_(db) { db_.Exec("BEGIN IMMEDIATE"); }

TTransaction::~TTransaction() {
  if (!done_) sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTransaction::Commit() {
  db_.Exec("COMMIT");
  done_ = true;
}

TReadTransaction::TReadTransaction(TDatabase& db) : db_(db) { db_.Exec("BEGIN"); }

// A read-only transaction has nothing to keep; ending it cannot lose data.
TReadTransaction::~TReadTransaction() {
  if (sqlite3_exec(db_.Handle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
    sqlite3_exec(db_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

}  // namespace sqlite
