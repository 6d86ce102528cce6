// SPDX-License-Identifier: GPL-3.0-or-later
// The two database engines the ledger runs on, behind one small interface: statements with
// numbered parameters ($1, $2, ...) and every value as text, so one text of SQL serves both.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace pw::ledger {

using Row = std::vector<std::string>; // NULL reads as ""

struct DbResult {
  bool ok = false;
  std::string error; // the engine's own words when !ok
  std::vector<Row> rows;
};

enum class Engine { Sqlite, Postgresql };

class Database {
public:
  virtual ~Database() = default;
  virtual Engine Kind() const = 0;
  // Runs one statement with its parameters.
  virtual DbResult Exec(const std::string& sql, const std::vector<std::string>& params = {}) = 0;
  // A transaction that holds the write lock from its start (SQLite: BEGIN IMMEDIATE).
  virtual bool BeginWrite(std::string* error) = 0;
  // Whether the connection still works (PostgreSQL: the server may have gone).
  virtual bool Connected() const = 0;
  // Tries once to connect again after a lost connection.
  virtual bool Reconnect() = 0;
};

struct DbOpen {
  std::unique_ptr<Database> db;
  std::string error;
};

// The SQLite file at path (created with its folder), in WAL mode with a busy time-out.
// Refused on a network file system, where its locks do not hold.
DbOpen OpenSqlite(const std::filesystem::path& path);
// Whether this build has SQLite (the Windows command line is built without it).
bool HaveSqlite();
// A PostgreSQL server through a libpq connection URI.
DbOpen OpenPostgresql(const std::string& uri);

// Whether path's folder lies on NFS, SMB or CIFS; the name of that file system, else "".
std::string NetworkFileSystemOf(const std::filesystem::path& folder);

} // namespace pw::ledger
