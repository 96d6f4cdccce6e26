// A thin RAII layer over SQLite for the stores of the stand-ins (registry,
// URL cache): one connection, prepared statements, transactions that retry
// while another process holds the write lock.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sqlite {

class ESqlite : public std::runtime_error {
 public:
  ESqlite(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

class TDatabase;

class TStatement {
 public:
  TStatement(TDatabase& db, const char* sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  // Binding is 1-based, as in SQLite.
  TStatement& Bind(int index, std::int64_t value);
  TStatement& Bind(int index, const std::string& text);
  TStatement& BindBlob(int index, const void* data, std::size_t size);
  TStatement& BindNull(int index);

  // True while a row is there; false at the end.
  bool Step();
  void Run() { while (Step()) {} }  // for statements without rows
  void Reset();

  bool IsNull(int column) const;
  std::int64_t Int(int column) const;
  std::string Text(int column) const;
  std::vector<std::uint8_t> Blob(int column) const;

 private:
  TDatabase& db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class TDatabase {
 public:
  // Opens (creating when missing) in WAL mode with a busy timeout; throws ESqlite.
  explicit TDatabase(const std::string& path, int busyTimeoutMs = 10000);
  ~TDatabase();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  void Exec(const char* sql);
  sqlite3* Handle() const { return db_; }
  std::int64_t Changes() const { return sqlite3_changes64(db_); }
  std::int64_t LastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }
  [[noreturn]] void Fail(int code, const std::string& context) const;

 private:
  sqlite3* db_ = nullptr;
};

// BEGIN IMMEDIATE ... COMMIT; rolls back unless Commit was called.
class TTransaction {
 public:
  explicit TTransaction(TDatabase& db);
  ~TTransaction();
  void Commit();

 private:
  TDatabase& db_;
  bool done_ = false;
};

// BEGIN (deferred) ... COMMIT around reads that must see one snapshot; never
// used for writes, so it cannot meet another writer's newer snapshot.
class TReadTransaction {
 public:
  explicit TReadTransaction(TDatabase& db);
  ~TReadTransaction();
  TReadTransaction(const TReadTransaction&) = delete;
  TReadTransaction& operator=(const TReadTransaction&) = delete;

 private:
  TDatabase& db_;
};

// Resets a statement when the scope ends, so that no read stays open
// (an open read holds an old snapshot and keeps the WAL from being folded in).
class TStatementUse {
 public:
  explicit TStatementUse(TStatement& st) : st_(st) {}
  ~TStatementUse() { st_.Reset(); }
  TStatementUse(const TStatementUse&) = delete;
  TStatementUse& operator=(const TStatementUse&) = delete;
  TStatement* operator->() const { return &st_; }
  TStatement& operator*() const { return st_; }

 private:
  TStatement& st_;
};

}  // namespace sqlite
