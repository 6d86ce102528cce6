// SPDX-License-Identifier: GPL-3.0-or-later
// The shop's ledger: every Program, restore and batch unit on record, in a SQLite file on one
// bench or a PostgreSQL database that several benches share. Each attempt is written when it
// starts and again when it ends, as two entries of its bench's chain: each entry holds the
// SHA-256 of the bench's entry before it, so an edited or deleted entry is found by Verify.
// Entries are only ever added. The schema and its migrations live in ledger.cpp alone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/attempt.h"
#include "ledger/database.h"
#include "ledger/pool.h"

namespace pw::ledger {

// The environment variable that names the ledger when no option does.
inline constexpr const char* kLedgerEnvironment = "PAGEWRIGHT_LEDGER";
inline constexpr std::string_view kLedgerFileName = "ledger.sqlite3";

// UserDataDirectory()/ledger.sqlite3; empty when no user folder is known.
std::filesystem::path DefaultLedgerPath();
// This computer's name: the bench's name unless the user gives one.
std::string HostName();
// The ledger a program uses: the option's URL, else PAGEWRIGHT_LEDGER, else the settings'
// ledger= (empty: the default SQLite file).
std::string ChosenLedgerUrl(const std::string& option, const std::string& setting);
// The bench's name: the option, else the settings' bench=, else the host name.
std::string ChosenBench(const std::string& option, const std::string& setting);

// Where a ledger URL points. Accepted: empty (the default SQLite file), "sqlite:PATH",
// "sqlite:///PATH", "postgresql://..." and "postgres://..." (libpq's connection URIs).
struct Location {
  bool ok = false;
  Engine engine = Engine::Sqlite;
  std::filesystem::path file; // SQLite
  std::string uri;            // PostgreSQL, as given
  std::string shown;          // for messages: the URL without its password
  std::string error;          // when !ok
};
Location ParseLocation(const std::string& url);
// The URL with any password replaced by "***".
std::string WithoutPassword(const std::string& url);

// "2026-12-08", "2026-12-08T14:03", "2026-12-08T14:03:22+01:00", "...Z": UTC milliseconds;
// without an offset the local time is meant.
std::optional<std::int64_t> ParseTimeMs(std::string_view text);

// One entry of a bench's chain as verify reports it.
struct VerifyReport {
  bool ok = true;
  std::int64_t entries = 0;
  std::int64_t benches = 0;
  std::string firstBad; // "bench B, entry N (attempt ID): what is wrong"
};

struct SyncReport {
  bool ok = true;
  std::int64_t pushed = 0;  // entries now on the server
  std::int64_t present = 0; // entries the server had already
  std::string error;
};

class Ledger {
public:
  struct Opened;
  // Opens (and creates or upgrades) the ledger the URL names. A failure's message names the
  // URL without its password: "Cannot open the ledger URL: reason".
  static Opened Open(const std::string& url);
  Ledger(std::unique_ptr<Database> db, std::string shown);

  Engine engine() const { return db_->Kind(); }
  // The URL without its password.
  const std::string& Shown() const { return shown_; }

  // Fill in what Begin and Complete would: the id (unless set), the start time, the state and
  // the process; the end time. Repeating them changes nothing.
  static void PrepareStart(Attempt& attempt);
  static void PrepareEnd(Attempt& attempt);
  // Writes the attempt as started: fills in its id (unless set), its start time, state and
  // process. The record's fields known so far go with it.
  bool Begin(Attempt& attempt, std::string* error = nullptr);
  // Writes its end: attempt.state is kSuccess, kFailed or kInterrupted.
  bool Complete(Attempt& attempt, std::string* error = nullptr);
  // Keeps an attempt's entry here on behalf of another ledger (target: its Shown()) that
  // could not take it, until SyncTo pushes it there.
  bool Keep(const Attempt& attempt, bool completion, const std::string& target,
            std::string* error = nullptr);
  // Brings a finished attempt in whole (start and end), unless its id is here already;
  // *added tells which.
  bool Import(Attempt attempt, bool* added, std::string* error = nullptr);

  // Every attempt on the pager of this serial number (all of them when empty), newest first.
  // A started attempt whose process has ended reads as interrupted.
  std::vector<Attempt> History(const std::string& serialNumber, std::string* error = nullptr);
  // The attempts that are each pager's last successful write and hold the capcode on an
  // enabled code.
  std::vector<Attempt> WhoIs(std::int64_t capcode, std::string* error = nullptr);
  // Every attempt started at or after sinceMs, oldest first.
  std::vector<Attempt> Since(std::int64_t sinceMs, std::string* error = nullptr);
  VerifyReport Verify();
  // Pushes the entries kept here for server (in their order) to it.
  SyncReport SyncTo(Ledger& server);
  // How many entries wait here for the ledger shown as target.
  std::int64_t Unsynced(const std::string& target);

  // The connection was lost and could not be made again.
  bool Reachable();

  // ---- Capcode pools (pool.cpp) ----
  // A new pool of the code letter over the legal addresses of ranges, or more ranges for a
  // pool of that letter. Refused when a range overlaps one of any pool, or the ranges hold no
  // legal address or more than kMaxPoolCapcodes; *added counts the capcodes that came in.
  bool AddPool(const std::string& name, char code, const std::vector<CapcodeRange>& ranges,
               std::int64_t* added, std::string* error);
  // Every pool, by name, with its counts and next free capcodes.
  std::vector<PoolInfo> Pools(int nextShown, std::string* error = nullptr);
  std::optional<PoolInfo> Pool(const std::string& name, int nextShown,
                               std::string* error = nullptr);
  // The pool's capcodes in the given states (all handed-out ones when states is empty), by
  // capcode; pool "" means every pool.
  std::vector<PoolCapcode> PoolCapcodes(const std::string& pool,
                                        const std::vector<std::string_view>& states,
                                        std::string* error = nullptr);
  // A retired pool hands out nothing more; what it handed out stays on record.
  bool RetirePool(const std::string& name, std::string* error);
  // A suspect or unusable capcode, or a reservation whose lease ran out or whose process is
  // gone, goes back to the free capcodes (handed out again first). A used one is refused.
  bool ReleaseCapcode(std::int64_t capcode, std::string* error);
  // In one transaction: the next free capcode of each pool the request names, reserved for the
  // pager (or its own capcodes again, unless it asks to be reassigned).
  Reservation Reserve(const PoolRequest& request);
  // The reserved capcodes are in the pager of serial, verified: used, with the attempt. With
  // reassign, the capcodes the pager had from the same pools go back to the free ones.
  // expected: how many capcodes the reservation holds; fewer left (released meanwhile by
  // hand) is refused.
  bool CommitReservation(const std::string& reservationId, const std::string& serialNumber,
                         const std::string& attemptId, bool reassign, std::size_t expected,
                         std::string* error);
  // The Program failed. Nothing written: the new capcodes are free again. Written (the pager
  // may hold them): they are suspect, with serial.
  bool ReturnReservation(const std::string& reservationId, bool written,
                         const std::string& serialNumber, std::string* error);

private:
  enum class Write { Added, Present, Failed };
  Write Append(const Attempt& a, bool completion, const std::string& keepFor, std::string* error);
  std::vector<Attempt> Attempts(const std::string& where, const std::vector<std::string>& params,
                                bool newestFirst, std::string* error);
  std::string Migrate();
  // Reservations whose lease ran out become suspect.
  bool ExpireLeases(std::int64_t nowMs, std::string* error);
  bool PoolFail(std::string* error, const std::string& why);
  // A pool change begins: the server reached (again) and a write transaction open.
  bool BeginPoolWrite(std::string* error);

  std::unique_ptr<Database> db_;
  std::string shown_;
};

struct Ledger::Opened {
  std::unique_ptr<Ledger> ledger;
  std::string message;
};

// Whether a started attempt's process is known to be gone: it ran on this computer and
// either the computer was restarted since or no process of its id runs.
bool ProcessGone(const Attempt& attempt);

} // namespace pw::ledger
