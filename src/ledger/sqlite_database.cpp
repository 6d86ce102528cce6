// SPDX-License-Identifier: GPL-3.0-or-later
#include <cctype>
#include <string>

#include "base/user_dirs.h"
#include "ledger/database.h"

#ifdef PW_HAVE_SQLITE
#include <sqlite3.h>
#endif
#if defined(__linux__)
#include <sys/vfs.h>
#endif

namespace pw::ledger {

namespace fs = std::filesystem;

std::string NetworkFileSystemOf(const fs::path& folder) {
#if defined(__linux__)
  struct statfs info {};
  if (statfs(folder.c_str(), &info) != 0)
    return {};
  switch (static_cast<unsigned long>(info.f_type)) {
  case 0x6969UL:
    return "NFS";
  case 0x517BUL:
    return "SMB";
  case 0xFE534D42UL:
    return "SMB2";
  case 0xFF534D42UL:
    return "CIFS";
  default:
    return {};
  }
#else
  (void)folder;
  return {};
#endif
}

#ifdef PW_HAVE_SQLITE
namespace {

// How long a writer waits for another program's transaction on the same file.
constexpr int kBusyTimeoutMs = 10000;

// "$3" becomes "?3": SQLite's numbered parameter.
std::string NumberedParameters(const std::string& sql) {
  std::string out = sql;
  for (std::size_t i = 0; i + 1 < out.size(); ++i)
    if (out[i] == '$' && std::isdigit(static_cast<unsigned char>(out[i + 1])))
      out[i] = '?';
  return out;
}

class SqliteDatabase final : public Database {
public:
  explicit SqliteDatabase(sqlite3* db) : db_(db) {}
  ~SqliteDatabase() override { sqlite3_close_v2(db_); }
  Engine Kind() const override { return Engine::Sqlite; }
  bool Connected() const override { return true; }
  bool Reconnect() override { return true; }

  DbResult Exec(const std::string& sql, const std::vector<std::string>& params) override {
    DbResult r;
    const std::string text = NumberedParameters(sql);
    const char* tail = text.c_str();
    // Statements without parameters may come several in one text (the migrations).
    while (tail && *tail) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db_, tail, -1, &stmt, &tail) != SQLITE_OK) {
        r.error = sqlite3_errmsg(db_);
        return r;
      }
      if (!stmt)
        break; // only white space was left
      for (std::size_t i = 0; i < params.size(); ++i)
        sqlite3_bind_text(stmt, int(i + 1), params[i].data(), int(params[i].size()),
                          SQLITE_TRANSIENT);
      int rc;
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        Row row;
        for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
          const auto* v = sqlite3_column_text(stmt, c);
          row.emplace_back(v ? reinterpret_cast<const char*>(v) : "",
                           std::size_t(sqlite3_column_bytes(stmt, c)));
        }
        r.rows.push_back(std::move(row));
      }
      if (rc != SQLITE_DONE) {
        r.error = sqlite3_errmsg(db_);
        sqlite3_finalize(stmt);
        return r;
      }
      sqlite3_finalize(stmt);
    }
    r.ok = true;
    return r;
  }

  bool BeginWrite(std::string* error) override {
    DbResult r = Exec("BEGIN IMMEDIATE", {});
    if (!r.ok && error)
      *error = r.error;
    return r.ok;
  }

private:
  sqlite3* db_;
};

} // namespace

DbOpen OpenSqlite(const fs::path& path) {
  DbOpen out;
  std::string reason;
  if (!EnsureDirectory(path.parent_path(), &reason)) {
    out.error = reason;
    return out;
  }
  if (const std::string fsName = NetworkFileSystemOf(path.parent_path()); !fsName.empty()) {
    out.error = "the folder is on a network file system (" + fsName +
                "), where SQLite's locking is not safe; use a PostgreSQL ledger for benches "
                "that share one";
    return out;
  }
  sqlite3* db = nullptr;
  const std::u8string name = path.u8string();
  const int rc =
      sqlite3_open_v2(reinterpret_cast<const char*>(name.c_str()), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    out.error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    return out;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  auto sqlite = std::make_unique<SqliteDatabase>(db);
  for (const char* pragma :
       {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
    DbResult r = sqlite->Exec(pragma, {});
    if (!r.ok) {
      out.error = r.error;
      return out;
    }
  }
  out.db = std::move(sqlite);
  return out;
}

bool HaveSqlite() { return true; }
#else
DbOpen OpenSqlite(const fs::path&) {
  return DbOpen{nullptr, "this build has no SQLite ledger"};
}

bool HaveSqlite() { return false; }
#endif

} // namespace pw::ledger
