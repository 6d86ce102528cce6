// SPDX-License-Identifier: GPL-3.0-or-later
#include "ledger/ledger.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <random>

#include "base/local_time.h"
#include "base/sha256.h"
#include "base/user_dirs.h"
#include "ledger/ledger_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace pw::ledger {

namespace fs = std::filesystem;

namespace {

// ---- The schema ------------------------------------------------------------------------------
// Each migration brings the database from the version before it to its own; they run in order,
// each in one transaction, and are never changed once released: a new one is added instead.
struct Migration {
  int version;
  const char* sql;
};
constexpr std::array kMigrations = {
    Migration{1, R"(
CREATE TABLE benches (
  name TEXT PRIMARY KEY,
  last_seq BIGINT NOT NULL,
  last_hash TEXT NOT NULL
);
CREATE TABLE entries (
  bench TEXT NOT NULL,
  seq BIGINT NOT NULL,
  entry_id TEXT NOT NULL UNIQUE,
  attempt_id TEXT NOT NULL,
  entry TEXT NOT NULL,
  kind TEXT NOT NULL,
  state TEXT NOT NULL,
  started_ms BIGINT NOT NULL,
  completed_ms BIGINT NOT NULL,
  time TEXT NOT NULL,
  program_version TEXT NOT NULL,
  port TEXT NOT NULL,
  device TEXT NOT NULL,
  serial_number TEXT NOT NULL,
  firmware_version TEXT NOT NULL,
  source TEXT NOT NULL,
  image_sha256 TEXT NOT NULL,
  eeprom_sha256 TEXT NOT NULL,
  frequency TEXT NOT NULL,
  code_a TEXT NOT NULL, code_b TEXT NOT NULL, code_c TEXT NOT NULL,
  code_d TEXT NOT NULL, code_e TEXT NOT NULL, code_f TEXT NOT NULL,
  enabled TEXT NOT NULL,
  outcome TEXT NOT NULL,
  after_a TEXT NOT NULL, after_b TEXT NOT NULL, after_c TEXT NOT NULL,
  after_d TEXT NOT NULL, after_e TEXT NOT NULL, after_f TEXT NOT NULL,
  host TEXT NOT NULL,
  pid BIGINT NOT NULL,
  boot TEXT NOT NULL,
  prev_hash TEXT NOT NULL,
  hash TEXT NOT NULL,
  PRIMARY KEY (bench, seq)
);
CREATE INDEX entries_attempt ON entries (attempt_id);
CREATE INDEX entries_serial ON entries (serial_number);
CREATE INDEX entries_started ON entries (started_ms);
CREATE TABLE unsynced (
  entry_id TEXT PRIMARY KEY,
  target TEXT NOT NULL
);
)"},
    // Capcode pools: every capcode of a pool is a row of its own from the pool's making, so
    // benches reserve rows (and skip each other's) rather than count on a shared counter.
    Migration{2, R"(
CREATE TABLE pools (
  name TEXT PRIMARY KEY,
  code TEXT NOT NULL,
  retired BIGINT NOT NULL,
  created_ms BIGINT NOT NULL
);
CREATE TABLE pool_ranges (
  pool TEXT NOT NULL,
  first_capcode BIGINT NOT NULL,
  last_capcode BIGINT NOT NULL,
  added_ms BIGINT NOT NULL
);
CREATE INDEX pool_ranges_pool ON pool_ranges (pool);
CREATE TABLE pool_capcodes (
  capcode BIGINT PRIMARY KEY,
  pool TEXT NOT NULL,
  state TEXT NOT NULL,
  returned BIGINT NOT NULL,
  serial_number TEXT NOT NULL,
  bench TEXT NOT NULL,
  reservation TEXT NOT NULL,
  lease_until_ms BIGINT NOT NULL,
  attempt_id TEXT NOT NULL,
  changed_ms BIGINT NOT NULL,
  host TEXT NOT NULL,
  pid BIGINT NOT NULL,
  boot TEXT NOT NULL
);
CREATE INDEX pool_capcodes_next ON pool_capcodes (pool, state, returned, capcode);
CREATE INDEX pool_capcodes_serial ON pool_capcodes (serial_number);
CREATE INDEX pool_capcodes_reservation ON pool_capcodes (reservation);
)"},
};
constexpr int kSchemaVersion = kMigrations.back().version;

// The columns of an entry, in the order the hash takes them (the hash itself last).
constexpr std::array<const char*, 39> kColumns = {"bench",
                                                  "seq",
                                                  "entry_id",
                                                  "attempt_id",
                                                  "entry",
                                                  "kind",
                                                  "state",
                                                  "started_ms",
                                                  "completed_ms",
                                                  "time",
                                                  "program_version",
                                                  "port",
                                                  "device",
                                                  "serial_number",
                                                  "firmware_version",
                                                  "source",
                                                  "image_sha256",
                                                  "eeprom_sha256",
                                                  "frequency",
                                                  "code_a",
                                                  "code_b",
                                                  "code_c",
                                                  "code_d",
                                                  "code_e",
                                                  "code_f",
                                                  "enabled",
                                                  "outcome",
                                                  "after_a",
                                                  "after_b",
                                                  "after_c",
                                                  "after_d",
                                                  "after_e",
                                                  "after_f",
                                                  "host",
                                                  "pid",
                                                  "boot",
                                                  "prev_hash",
                                                  "hash",
                                                  nullptr};
constexpr std::size_t kColumnCount = 38;
constexpr std::size_t kSeq = 1, kEntryId = 2, kAttemptId = 3, kEntry = 4, kState = 6,
                      kPrevHash = 36, kHash = 37;
constexpr const char* kEntryStarted = "started";
constexpr const char* kEntryCompleted = "completed";

std::string ColumnList() {
  std::string s;
  for (std::size_t i = 0; i < kColumnCount; ++i)
    s += (i ? ", " : "") + std::string(kColumns[i]);
  return s;
}

Row ToRow(const Attempt& a, bool completion) {
  const ProgrammingRecord& r = a.record;
  Row row = {a.bench,
             "0",
             a.id + (completion ? ":end" : ":start"),
             a.id,
             completion ? kEntryCompleted : kEntryStarted,
             a.kind,
             completion ? a.state : std::string(kStarted),
             std::to_string(a.startedMs),
             std::to_string(completion ? a.completedMs : 0),
             r.time,
             r.programVersion,
             r.port,
             r.device,
             r.serialNumber,
             r.firmwareVersion,
             r.source,
             r.imageSha256,
             a.eepromSha256,
             r.written.frequency};
  for (const std::string& c : r.written.capcodes)
    row.push_back(c);
  std::string enabled;
  for (bool on : r.written.enabled)
    enabled += on ? '1' : '0';
  row.push_back(enabled);
  row.push_back(r.outcome);
  for (const std::string& c : r.capcodesAfterStepping)
    row.push_back(c);
  row.push_back(a.host);
  row.push_back(std::to_string(a.pid));
  row.push_back(a.boot);
  row.push_back(""); // prev_hash
  row.push_back(""); // hash
  return row;
}

Attempt FromRow(const Row& row) {
  Attempt a;
  std::size_t i = 0;
  a.bench = row[i++];
  i += 2; // seq, entry id
  a.id = row[i++];
  ++i; // entry
  a.kind = row[i++];
  a.state = row[i++];
  a.startedMs = Number(row[i++]);
  a.completedMs = Number(row[i++]);
  ProgrammingRecord& r = a.record;
  for (std::string* field :
       {&r.time, &r.programVersion, &r.port, &r.device, &r.serialNumber, &r.firmwareVersion,
        &r.source, &r.imageSha256, &a.eepromSha256, &r.written.frequency})
    *field = row[i++];
  for (std::string& c : r.written.capcodes)
    c = row[i++];
  const std::string& enabled = row[i++];
  for (std::size_t k = 0; k < r.written.enabled.size(); ++k)
    r.written.enabled[k] = k < enabled.size() && enabled[k] == '1';
  r.outcome = row[i++];
  for (std::string& c : r.capcodesAfterStepping)
    c = row[i++];
  a.host = row[i++];
  a.pid = Number(row[i++]);
  a.boot = row[i++];
  return a;
}

// The entry's hash: SHA-256 over every column but the hash, each ended by a unit separator.
std::string HashOf(const Row& row) {
  std::string text;
  for (std::size_t i = 0; i < kHash; ++i) {
    text += row[i];
    text += '\x1f';
  }
  return Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool IsHex64(const std::string& s) {
  return s.size() == 64 && std::all_of(s.begin(), s.end(), [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f');
         });
}


} // namespace

// ---- Small helpers the pools share ---------------------------------------------------------

std::int64_t Number(const std::string& text) {
  try {
    return text.empty() ? 0 : std::stoll(text);
  } catch (...) {
    return 0;
  }
}

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string NewAttemptId() {
  std::random_device random;
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    const std::uint32_t v = random();
    for (std::size_t j = 0; j < 4; ++j)
      bytes[i + j] = std::uint8_t(v >> (8 * j));
  }
  return HexText(bytes);
}

std::string BootId() {
#ifdef __linux__
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  return id;
#else
  return {};
#endif
}

std::int64_t ProcessId() {
#ifdef _WIN32
  return std::int64_t(GetCurrentProcessId());
#else
  return std::int64_t(getpid());
#endif
}

void Rollback(Database& db) {
  db.Exec("ROLLBACK");
}

// ---- Where the ledger is -----------------------------------------------------------------------

fs::path DefaultLedgerPath() {
  const fs::path folder = UserDataDirectory();
  return folder.empty() ? folder : folder / kLedgerFileName;
}

std::string HostName() {
#ifdef _WIN32
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  if (GetComputerNameA(name, &size))
    return std::string(name, size);
  return "bench";
#else
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) == 0 && name[0])
    return name;
  return "bench";
#endif
}

std::string ChosenLedgerUrl(const std::string& option, const std::string& setting) {
  if (!option.empty())
    return option;
  if (const char* env = std::getenv(kLedgerEnvironment); env && *env)
    return env;
  return setting;
}

std::string ChosenBench(const std::string& option, const std::string& setting) {
  if (!option.empty())
    return option;
  return setting.empty() ? HostName() : setting;
}

std::string WithoutPassword(const std::string& url) {
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos)
    return url;
  const std::size_t start = scheme + 3;
  const std::size_t end = std::min(url.find_first_of("/?", start), url.size());
  const std::size_t at = url.rfind('@', end);
  std::string out = url;
  if (at != std::string::npos && at >= start) {
    const std::size_t colon = url.find(':', start);
    if (colon != std::string::npos && colon < at)
      out = url.substr(0, colon + 1) + "***" + url.substr(at);
  }
  // A password may also come as a parameter.
  for (std::size_t p = out.find("password="); p != std::string::npos;
       p = out.find("password=", p + 1)) {
    const std::size_t valueEnd = std::min(out.find('&', p), out.size());
    out = out.substr(0, p + 9) + "***" + out.substr(valueEnd);
  }
  return out;
}

Location ParseLocation(const std::string& url) {
  Location loc;
  loc.shown = WithoutPassword(url);
  if (url.empty()) {
    loc.file = DefaultLedgerPath();
    if (loc.file.empty()) {
      loc.error = "no user data folder is known (HOME is not set)";
      return loc;
    }
    const std::u8string text = loc.file.u8string();
    loc.shown = "sqlite:" + std::string(text.begin(), text.end());
    loc.ok = true;
    return loc;
  }
  if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) {
    loc.engine = Engine::Postgresql;
    loc.uri = url;
    const std::size_t rest = url.find("://") + 3;
    for (std::size_t i = rest; i < url.size(); ++i)
      if (static_cast<unsigned char>(url[i]) < 0x21) {
        loc.error = "a URL holds no spaces or control characters";
        return loc;
      }
    loc.ok = true;
    return loc;
  }
  if (url.rfind("sqlite:", 0) == 0) {
    std::string path = url.substr(7);
    if (path.rfind("//", 0) == 0)
      path = path.substr(2); // sqlite:///abs/path
    if (path.empty()) {
      loc.error = "the URL names no file";
      return loc;
    }
    loc.file = fs::u8path(path);
    loc.ok = true;
    return loc;
  }
  loc.error = "not a ledger URL (sqlite:FILE or postgresql://USER@HOST/DATABASE)";
  return loc;
}

std::optional<std::int64_t> ParseTimeMs(std::string_view text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  auto digits = [&](std::size_t at, std::size_t n, int& out) {
    if (at + n > text.size())
      return false;
    out = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(text[i])))
        return false;
      out = out * 10 + (text[i] - '0');
    }
    return true;
  };
  if (!digits(0, 4, y) || text.size() < 10 || text[4] != '-' || !digits(5, 2, mo) ||
      text[7] != '-' || !digits(8, 2, d) || mo < 1 || mo > 12 || d < 1 || d > 31)
    return std::nullopt;
  std::size_t at = 10;
  if (at < text.size()) {
    if ((text[at] != 'T' && text[at] != ' ') || !digits(at + 1, 2, h) || text.size() < at + 6 ||
        text[at + 3] != ':' || !digits(at + 4, 2, mi) || h > 23 || mi > 59)
      return std::nullopt;
    at += 6;
    if (at < text.size() && text[at] == ':') {
      if (!digits(at + 1, 2, s) || s > 60)
        return std::nullopt;
      at += 3;
    }
  }
  const std::int64_t asUtc = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  if (at == text.size()) { // local time
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == std::time_t(-1))
      return std::nullopt;
    return std::int64_t(t) * 1000;
  }
  if (text.substr(at) == "Z")
    return asUtc * 1000;
  int oh = 0, om = 0;
  if (text.size() != at + 6 || (text[at] != '+' && text[at] != '-') || !digits(at + 1, 2, oh) ||
      text[at + 3] != ':' || !digits(at + 4, 2, om))
    return std::nullopt;
  const std::int64_t offset = (oh * 60 + om) * 60 * (text[at] == '-' ? -1 : 1);
  return (asUtc - offset) * 1000;
}

bool ProcessGone(const Attempt& a) {
  if (a.host != HostName())
    return false; // another computer's process: it cannot be asked
  const std::string boot = BootId();
  if (!boot.empty() && !a.boot.empty() && boot != a.boot)
    return true;
#ifdef _WIN32
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, DWORD(a.pid));
  if (!process)
    return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return gone;
#else
  return a.pid > 0 && kill(pid_t(a.pid), 0) != 0 && errno == ESRCH;
#endif
}

// ---- Opening and the schema --------------------------------------------------------------------

Ledger::Ledger(std::unique_ptr<Database> db, std::string shown)
    : db_(std::move(db)), shown_(std::move(shown)) {}

Ledger::Opened Ledger::Open(const std::string& url) {
  Opened out;
  const Location loc = ParseLocation(url);
  const std::string prefix = "Cannot open the ledger " + loc.shown + ": ";
  if (!loc.ok) {
    out.message = prefix + loc.error;
    return out;
  }
  DbOpen db = loc.engine == Engine::Sqlite ? OpenSqlite(loc.file) : OpenPostgresql(loc.uri);
  if (!db.db) {
    out.message = prefix + db.error;
    return out;
  }
  auto ledger = std::make_unique<Ledger>(std::move(db.db), loc.shown);
  if (const std::string error = ledger->Migrate(); !error.empty()) {
    out.message = prefix + error;
    return out;
  }
  out.ledger = std::move(ledger);
  return out;
}

// Creates the schema or brings it up to this program's version. Programs that open one new
// database at once take turns: SQLite by its write lock, PostgreSQL by an advisory lock.
std::string Ledger::Migrate() {
  const bool pg = db_->Kind() == Engine::Postgresql;
  for (;;) {
    std::string error;
    if (!db_->BeginWrite(&error))
      return error;
    DbResult r = pg ? db_->Exec("SELECT pg_advisory_xact_lock(7370019)") : DbResult{true, {}, {}};
    if (r.ok)
      r = db_->Exec("CREATE TABLE IF NOT EXISTS ledger_schema (version BIGINT NOT NULL)");
    if (r.ok)
      r = db_->Exec("SELECT COALESCE(MAX(version), 0) FROM ledger_schema");
    if (!r.ok || r.rows.empty()) {
      Rollback(*db_);
      return r.error.empty() ? "cannot read the schema version" : r.error;
    }
    const std::int64_t version = Number(r.rows[0][0]);
    if (version > kSchemaVersion) {
      Rollback(*db_);
      return "its schema version " + std::to_string(version) +
             " is newer than this program knows (" + std::to_string(kSchemaVersion) +
             "); use a newer Pagewright";
    }
    const auto next = std::find_if(kMigrations.begin(), kMigrations.end(),
                                   [&](const Migration& m) { return m.version > version; });
    if (next == kMigrations.end())
      return db_->Exec("COMMIT").ok ? std::string() : "cannot read the schema version";
    r = db_->Exec(next->sql);
    if (r.ok)
      r = db_->Exec("INSERT INTO ledger_schema (version) VALUES ($1)",
                    {std::to_string(next->version)});
    if (r.ok)
      r = db_->Exec("COMMIT");
    if (!r.ok) {
      Rollback(*db_);
      return "schema version " + std::to_string(next->version) + " could not be made: " + r.error;
    }
  }
}

bool Ledger::Reachable() {
  return db_->Connected() || db_->Reconnect();
}

// ---- Writing
// -------------------------------------------------------------------------------------

// Appends one entry at the end of its bench's chain, in one short transaction.
Ledger::Write Ledger::Append(const Attempt& a, bool completion, const std::string& keepFor,
                             std::string* error) {
  if (!db_->Connected()) {
    if (error)
      *error = "the connection to the database is lost";
    return Write::Failed;
  }
  Row row = ToRow(a, completion);
  std::string reason;
  auto fail = [&](const std::string& why) {
    Rollback(*db_);
    if (error)
      *error = why;
    return Write::Failed;
  };
  if (!db_->BeginWrite(&reason))
    return fail(reason);
  DbResult r = db_->Exec("SELECT 1 FROM entries WHERE entry_id = $1", {row[kEntryId]});
  if (!r.ok)
    return fail(r.error);
  if (!r.rows.empty()) {
    Rollback(*db_);
    return Write::Present;
  }
  r = db_->Exec("INSERT INTO benches (name, last_seq, last_hash) VALUES ($1, 0, '') "
                "ON CONFLICT (name) DO NOTHING",
                {a.bench});
  if (r.ok)
    r = db_->Exec(std::string("SELECT last_seq, last_hash FROM benches WHERE name = $1") +
                      (db_->Kind() == Engine::Postgresql ? " FOR UPDATE" : ""),
                  {a.bench});
  if (!r.ok || r.rows.empty())
    return fail(r.error);
  row[kSeq] = std::to_string(Number(r.rows[0][0]) + 1);
  row[kPrevHash] = r.rows[0][1];
  row[kHash] = HashOf(row);
  std::string placeholders;
  for (std::size_t i = 1; i <= kColumnCount; ++i)
    placeholders += (i > 1 ? ", $" : "$") + std::to_string(i);
  r = db_->Exec("INSERT INTO entries (" + ColumnList() + ") VALUES (" + placeholders + ")", row);
  if (r.ok)
    r = db_->Exec("UPDATE benches SET last_seq = $2, last_hash = $3 WHERE name = $1",
                  {a.bench, row[kSeq], row[kHash]});
  if (r.ok && !keepFor.empty())
    r = db_->Exec("INSERT INTO unsynced (entry_id, target) VALUES ($1, $2)",
                  {row[kEntryId], keepFor});
  if (r.ok)
    r = db_->Exec("COMMIT");
  if (!r.ok)
    return fail(r.error);
  return Write::Added;
}

void Ledger::PrepareStart(Attempt& a) {
  if (a.id.empty())
    a.id = NewAttemptId();
  if (a.startedMs == 0)
    a.startedMs = NowMs();
  a.state = std::string(kStarted);
  a.completedMs = 0;
  if (a.host.empty()) {
    a.host = HostName();
    a.pid = ProcessId();
    a.boot = BootId();
  }
}

void Ledger::PrepareEnd(Attempt& a) {
  if (a.completedMs == 0)
    a.completedMs = NowMs();
}

bool Ledger::Begin(Attempt& a, std::string* error) {
  PrepareStart(a);
  return Append(a, false, {}, error) != Write::Failed;
}

bool Ledger::Complete(Attempt& a, std::string* error) {
  PrepareEnd(a);
  return Append(a, true, {}, error) != Write::Failed;
}

bool Ledger::Keep(const Attempt& a, bool completion, const std::string& target,
                  std::string* error) {
  return Append(a, completion, target, error) != Write::Failed;
}

bool Ledger::Import(Attempt a, bool* added, std::string* error) {
  const Write start = Append(a, false, {}, error);
  if (start == Write::Failed)
    return false;
  const Write end = Append(a, true, {}, error);
  if (end == Write::Failed)
    return false;
  if (added)
    *added = start == Write::Added || end == Write::Added;
  return true;
}

// ---- Reading
// -------------------------------------------------------------------------------------

// The attempts whose entries the condition selects: the end where there is one, else the start
// (interrupted when its process is gone).
std::vector<Attempt> Ledger::Attempts(const std::string& where,
                                      const std::vector<std::string>& params, bool newestFirst,
                                      std::string* error) {
  DbResult r = db_->Exec("SELECT " + ColumnList() + " FROM entries WHERE attempt_id IN (SELECT " +
                             "attempt_id FROM entries WHERE " + where + ")",
                         params);
  if (!r.ok) {
    if (error)
      *error = r.error;
    return {};
  }
  std::map<std::string, std::pair<Row, bool>> byAttempt; // the row, and whether it is the end
  for (Row& row : r.rows) {
    const bool end = row[kEntry] == kEntryCompleted;
    auto [it, fresh] = byAttempt.try_emplace(row[kAttemptId], row, end);
    if (!fresh && end && !it->second.second)
      it->second = {std::move(row), true};
  }
  std::vector<Attempt> out;
  for (auto& [id, entry] : byAttempt) {
    Attempt a = FromRow(entry.first);
    if (!entry.second && ProcessGone(a))
      a.state = std::string(kInterrupted);
    out.push_back(std::move(a));
  }
  std::sort(out.begin(), out.end(), [&](const Attempt& x, const Attempt& y) {
    if (x.startedMs != y.startedMs)
      return newestFirst ? x.startedMs > y.startedMs : x.startedMs < y.startedMs;
    return x.id < y.id;
  });
  return out;
}

std::vector<Attempt> Ledger::History(const std::string& serialNumber, std::string* error) {
  if (serialNumber.empty())
    return Attempts("1 = 1", {}, true, error);
  return Attempts("serial_number = $1", {serialNumber}, true, error);
}

std::vector<Attempt> Ledger::WhoIs(std::int64_t capcode, std::string* error) {
  // Every successful write that held the capcode on some code, and then each of those pagers'
  // last successful write: the pager holds the capcode only when that one wrote it.
  const std::string value = std::to_string(capcode);
  std::string holds;
  for (const char* code : {"code_a", "code_b", "code_c", "code_d", "code_e", "code_f"})
    holds += std::string(holds.empty() ? "" : " OR ") + "ltrim(" + code + ", '0') = $1";
  const std::vector<Attempt> candidates = Attempts(
      "entry = 'completed' AND state = 'success' AND serial_number <> '' AND (" + holds + ")",
      {value}, true, error);
  std::vector<Attempt> out;
  std::map<std::string, bool> seen;
  for (const Attempt& c : candidates) {
    if (seen[c.record.serialNumber])
      continue;
    seen[c.record.serialNumber] = true;
    std::vector<Attempt> all =
        Attempts("serial_number = $1 AND entry = 'completed' AND state = 'success'",
                 {c.record.serialNumber}, true, error);
    if (all.empty())
      continue;
    const ProgrammingRecord& last = all.front().record;
    for (std::size_t k = 0; k < last.written.capcodes.size(); ++k) {
      std::string shown = last.written.capcodes[k];
      shown.erase(0, std::min(shown.find_first_not_of('0'), shown.size()));
      if (last.written.enabled[k] && shown == value) {
        out.push_back(all.front());
        break;
      }
    }
  }
  return out;
}

std::vector<Attempt> Ledger::Since(std::int64_t sinceMs, std::string* error) {
  return Attempts("started_ms >= $1", {std::to_string(sinceMs)}, false, error);
}

VerifyReport Ledger::Verify() {
  VerifyReport report;
  auto bad = [&](const std::string& bench, const std::string& seq, const std::string& attempt,
                 const std::string& what) {
    report.ok = false;
    report.firstBad = "bench " + bench + ", entry " + seq +
                      (attempt.empty() ? "" : " (attempt " + attempt + ")") + ": " + what;
    return report;
  };
  DbResult benches = db_->Exec("SELECT name, last_seq, last_hash FROM benches ORDER BY name");
  if (!benches.ok)
    return bad("?", "?", "", benches.error);
  std::map<std::string, std::pair<std::int64_t, std::string>> ends;
  for (const Row& b : benches.rows)
    ends[b[0]] = {Number(b[1]), b[2]};
  report.benches = std::int64_t(ends.size());
  DbResult r = db_->Exec("SELECT " + ColumnList() + " FROM entries ORDER BY bench, seq");
  if (!r.ok)
    return bad("?", "?", "", r.error);
  std::string bench;
  std::int64_t expectSeq = 0;
  std::string prevHash;
  std::map<std::string, int> entriesOfAttempt;
  auto closeBench = [&]() -> bool {
    if (bench.empty())
      return true;
    const auto it = ends.find(bench);
    if (it == ends.end() || it->second.first != expectSeq - 1 || it->second.second != prevHash) {
      bad(bench, std::to_string(expectSeq), "",
          "the chain's end is missing (entries after " + std::to_string(expectSeq - 1) +
              " were deleted or the bench's end was changed)");
      return false;
    }
    ends.erase(it);
    return true;
  };
  for (const Row& row : r.rows) {
    ++report.entries;
    if (row[0] != bench) {
      if (!closeBench())
        return report;
      bench = row[0];
      expectSeq = 1;
      prevHash.clear();
    }
    const std::string& seq = row[kSeq];
    const std::string& attempt = row[kAttemptId];
    if (Number(seq) != expectSeq)
      return bad(bench, seq, attempt,
                 "entry " + std::to_string(expectSeq) + " is missing (deleted)");
    if (row[kPrevHash] != prevHash)
      return bad(bench, seq, attempt, "it does not follow the entry before it");
    if (!IsHex64(row[kHash]) || HashOf(row) != row[kHash])
      return bad(bench, seq, attempt, "its contents were changed after it was written");
    const bool start = row[kEntry] == kEntryStarted, end = row[kEntry] == kEntryCompleted;
    const std::string& state = row[kState];
    if ((!start && !end) || (start && state != kStarted) ||
        (end && state != kSuccess && state != kFailed && state != kInterrupted))
      return bad(bench, seq, attempt, "its state \"" + state + "\" is not one a record has");
    if (row[kEntryId] != attempt + (start ? ":start" : ":end"))
      return bad(bench, seq, attempt, "its entry id does not belong to its attempt");
    if (++entriesOfAttempt[row[kEntryId]] > 1)
      return bad(bench, seq, attempt, "the attempt is on record twice");
    prevHash = row[kHash];
    ++expectSeq;
  }
  if (!closeBench())
    return report;
  for (const auto& [name, end] : ends)
    if (end.first != 0)
      return bad(name, std::to_string(end.first), "", "the bench's entries were deleted");
  return report;
}

SyncReport Ledger::SyncTo(Ledger& server) {
  SyncReport report;
  DbResult r = db_->Exec("SELECT " + ColumnList() +
                             " FROM entries WHERE entry_id IN (SELECT entry_id FROM unsynced "
                             "WHERE target = $1) ORDER BY started_ms, bench, seq",
                         {server.Shown()});
  if (!r.ok) {
    report.ok = false;
    report.error = r.error;
    return report;
  }
  for (const Row& row : r.rows) {
    Attempt a = FromRow(row);
    std::string error;
    const Write w = server.Append(a, row[kEntry] == kEntryCompleted, {}, &error);
    if (w == Write::Failed) {
      report.ok = false;
      report.error = error;
      return report;
    }
    (w == Write::Added ? report.pushed : report.present)++;
    DbResult done = db_->Exec("DELETE FROM unsynced WHERE entry_id = $1", {row[kEntryId]});
    if (!done.ok) {
      report.ok = false;
      report.error = done.error;
      return report;
    }
  }
  return report;
}

std::int64_t Ledger::Unsynced(const std::string& target) {
  DbResult r = db_->Exec("SELECT COUNT(*) FROM unsynced WHERE target = $1", {target});
  return r.ok && !r.rows.empty() ? Number(r.rows[0][0]) : 0;
}

} // namespace pw::ledger
