// SPDX-License-Identifier: GPL-3.0-or-later
// The pools' tables and their changes. Every change is one short transaction. On PostgreSQL a
// reservation locks only the rows it takes and skips rows another bench holds, so benches never
// wait on each other; on SQLite the transaction takes the write lock from its start.
#include <algorithm>
#include <cctype>
#include <map>

#include "codeplug/flex_address.h"
#include "ledger/ledger.h"
#include "ledger/ledger_support.h"

namespace pw::ledger {

namespace {

constexpr std::array<CapcodeRange, 3> kLegalRanges = {
    CapcodeRange{kShortFirst, kShortLast}, CapcodeRange{kUpperShortFirst, kUpperShortLast},
    CapcodeRange{kLongFirst, kLongLast}};

std::optional<std::int64_t> CapcodeNumber(std::string_view text) {
  if (text.empty() || text.size() > 9)
    return std::nullopt;
  std::int64_t v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)))
      return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::string Text(std::int64_t v) {
  return std::to_string(v);
}

// The columns a capcode's row is read with, as PoolCapcode holds them.
constexpr const char* kCapcodeColumns =
    "capcode, pool, state, serial_number, bench, attempt_id, changed_ms, lease_until_ms";

PoolCapcode CapcodeOf(const Row& row) {
  PoolCapcode c;
  c.capcode = Number(row[0]);
  c.pool = row[1];
  c.state = row[2];
  c.serialNumber = row[3];
  c.bench = row[4];
  c.attemptId = row[5];
  c.changedMs = Number(row[6]);
  c.leaseUntilMs = Number(row[7]);
  return c;
}

// Whether the process holding a reservation is gone: the row's host, pid and boot from at on.
bool HolderGone(const Row& row, std::size_t at) {
  Attempt holder;
  holder.host = row[at];
  holder.pid = Number(row[at + 1]);
  holder.boot = row[at + 2];
  return ProcessGone(holder);
}

// A row back to free: handed out again before capcodes never handed out.
constexpr const char* kBackToFree =
    "state = 'free', returned = 1, serial_number = '', bench = '', reservation = '', "
    "lease_until_ms = 0, attempt_id = '', host = '', pid = 0, boot = ''";

} // namespace

// ---- Texts -------------------------------------------------------------------------------------

std::optional<CapcodeRange> ParseCapcodeRange(std::string_view text) {
  const std::size_t dash = text.find('-');
  const auto first = CapcodeNumber(text.substr(0, dash));
  const auto last = dash == std::string_view::npos ? first : CapcodeNumber(text.substr(dash + 1));
  if (!first || !last || *first > *last)
    return std::nullopt;
  return CapcodeRange{*first, *last};
}

std::vector<CapcodeRange> LegalParts(const CapcodeRange& range) {
  std::vector<CapcodeRange> parts;
  for (const CapcodeRange& legal : kLegalRanges) {
    const std::int64_t first = std::max(range.first, legal.first);
    const std::int64_t last = std::min(range.last, legal.last);
    if (first <= last)
      parts.push_back({first, last});
  }
  return parts;
}

std::string RangeText(const CapcodeRange& r) {
  return r.first == r.last ? Text(r.first) : Text(r.first) + "-" + Text(r.last);
}

int CodeNumber(char letter) {
  const char up = char(std::toupper(static_cast<unsigned char>(letter)));
  return up >= 'A' && up < 'A' + map::kCodeCount ? up - 'A' + 1 : 0;
}

char CodeLetter(int code) {
  return code >= 1 && code <= map::kCodeCount ? char('A' + code - 1) : '?';
}

bool ValidPoolName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxPoolNameLength &&
         std::all_of(name.begin(), name.end(), [](char c) {
           return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.';
         });
}

bool ParsePoolChoice(std::string_view text, std::array<std::string, map::kCodeCount>& pools,
                     std::string& why) {
  pools = {};
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view part = text.substr(at, comma - at);
    const int code = part.size() > 2 && part[1] == '=' ? CodeNumber(part[0]) : 0;
    const std::string_view name = code ? part.substr(2) : std::string_view();
    if (!code || !ValidPoolName(name)) {
      why = "\"" + std::string(part) + "\" is not CODE=POOL (a letter A-F and a pool's name)";
      return false;
    }
    if (!pools[std::size_t(code - 1)].empty()) {
      why = std::string("code ") + CodeLetter(code) + " is given a pool twice";
      return false;
    }
    pools[std::size_t(code - 1)] = std::string(name);
    at = comma + 1;
  }
  return true;
}

std::string PoolChoiceText(const std::array<std::string, map::kCodeCount>& pools) {
  std::string s;
  for (std::size_t k = 0; k < pools.size(); ++k)
    if (!pools[k].empty())
      s += (s.empty() ? "" : " ") + std::string(1, CodeLetter(int(k + 1))) + "=" + pools[k];
  return s;
}

// ---- The ledger's pools ------------------------------------------------------------------------

bool Ledger::PoolFail(std::string* error, const std::string& why) {
  Rollback(*db_);
  if (error)
    *error = why;
  return false;
}

bool Ledger::BeginPoolWrite(std::string* error) {
  if (!db_->Connected() && !db_->Reconnect()) {
    if (error)
      *error = "the ledger " + shown_ + " cannot be reached";
    return false;
  }
  std::string reason;
  return db_->BeginWrite(&reason) || PoolFail(error, reason);
}

bool Ledger::ExpireLeases(std::int64_t nowMs, std::string* error) {
  const DbResult r = db_->Exec("UPDATE pool_capcodes SET state = 'suspect', changed_ms = $1 "
                               "WHERE state = 'reserved' AND lease_until_ms < $1",
                               {Text(nowMs)});
  if (!r.ok && error)
    *error = r.error;
  return r.ok;
}

bool Ledger::AddPool(const std::string& name, char code, const std::vector<CapcodeRange>& ranges,
                     std::int64_t* added, std::string* error) {
  if (added)
    *added = 0;
  auto refuse = [&](const std::string& why) {
    if (error)
      *error = why;
    return false;
  };
  if (!ValidPoolName(name))
    return refuse("\"" + name + "\" is not a pool name (letters, digits, - _ and ., up to " +
                  Text(std::int64_t(kMaxPoolNameLength)) + ")");
  const int number = CodeNumber(code);
  if (!number)
    return refuse(std::string("code ") + code + " is not one of A-F");
  const char letter = CodeLetter(number);
  std::vector<CapcodeRange> parts;
  std::int64_t count = 0;
  for (const CapcodeRange& r : ranges)
    for (const CapcodeRange& p : LegalParts(r)) {
      parts.push_back(p);
      count += p.last - p.first + 1;
    }
  if (parts.empty())
    return refuse("the ranges hold no legal FLEX address");
  if (count > kMaxPoolCapcodes)
    return refuse("the ranges hold " + Text(count) + " capcodes; a pool takes at most " +
                  Text(kMaxPoolCapcodes) + " at once");
  std::vector<CapcodeRange> sorted = parts;
  std::sort(sorted.begin(), sorted.end(),
            [](const CapcodeRange& a, const CapcodeRange& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < sorted.size(); ++i)
    if (sorted[i].first <= sorted[i - 1].last)
      return refuse("the ranges " + RangeText(sorted[i - 1]) + " and " + RangeText(sorted[i]) +
                    " overlap");

  const bool pg = db_->Kind() == Engine::Postgresql;
  if (!BeginPoolWrite(error))
    return false;
  // Pools are made rarely: one at a time, so two that overlap are told apart by their ranges.
  DbResult r = pg ? db_->Exec("SELECT pg_advisory_xact_lock(7370020)") : DbResult{true, {}, {}};
  if (r.ok)
    r = db_->Exec("SELECT code, retired FROM pools WHERE name = $1", {name});
  if (!r.ok)
    return PoolFail(error, r.error);
  const std::int64_t now = NowMs();
  if (r.rows.empty()) {
    r = db_->Exec("INSERT INTO pools (name, code, retired, created_ms) VALUES ($1, $2, 0, $3)",
                  {name, std::string(1, letter), Text(now)});
    if (!r.ok)
      return PoolFail(error, r.error);
  } else if (r.rows[0][0] != std::string(1, letter)) {
    return PoolFail(error, "pool " + name + " is for code " + r.rows[0][0] + ", not code " +
                               letter);
  } else if (r.rows[0][1] != "0") {
    return PoolFail(error, "pool " + name + " is retired");
  }
  for (const CapcodeRange& p : parts) {
    r = db_->Exec("SELECT pool, first_capcode, last_capcode FROM pool_ranges "
                  "WHERE first_capcode <= $2 AND last_capcode >= $1 ORDER BY first_capcode",
                  {Text(p.first), Text(p.last)});
    if (!r.ok)
      return PoolFail(error, r.error);
    if (!r.rows.empty())
      return PoolFail(error, "the range " + RangeText(p) + " overlaps " +
                                 RangeText({Number(r.rows[0][1]), Number(r.rows[0][2])}) +
                                 " of pool " + r.rows[0][0]);
    r = db_->Exec("INSERT INTO pool_ranges (pool, first_capcode, last_capcode, added_ms) "
                  "VALUES ($1, $2, $3, $4)",
                  {name, Text(p.first), Text(p.last), Text(now)});
    const std::string values = "$1, 'free', 0, '', '', '', 0, '', $4, '', 0, ''";
    const std::string columns = "capcode, pool, state, returned, serial_number, bench, "
                                "reservation, lease_until_ms, attempt_id, changed_ms, host, pid, "
                                "boot";
    if (r.ok)
      r = db_->Exec(pg ? "INSERT INTO pool_capcodes (" + columns + ") SELECT g, " + values +
                             " FROM generate_series(CAST($2 AS BIGINT), CAST($3 AS BIGINT)) AS g"
                       : "WITH RECURSIVE s(v) AS (SELECT CAST($2 AS BIGINT) UNION ALL SELECT "
                         "v + 1 FROM s WHERE v < CAST($3 AS BIGINT)) INSERT INTO pool_capcodes (" +
                             columns + ") SELECT v, " + values + " FROM s",
                    {name, Text(p.first), Text(p.last), Text(now)});
    if (!r.ok)
      return PoolFail(error, r.error);
  }
  r = db_->Exec("COMMIT");
  if (!r.ok)
    return PoolFail(error, r.error);
  if (added)
    *added = count;
  return true;
}

std::vector<PoolInfo> Ledger::Pools(int nextShown, std::string* error) {
  std::vector<PoolInfo> out;
  auto fail = [&](const std::string& why) {
    if (error)
      *error = why;
    return std::vector<PoolInfo>{};
  };
  // Looking is when a lease that ran out is seen: it becomes suspect.
  if (!ExpireLeases(NowMs(), error))
    return {};
  DbResult r = db_->Exec("SELECT name, code, retired FROM pools ORDER BY name");
  if (!r.ok)
    return fail(r.error);
  for (const Row& row : r.rows) {
    PoolInfo p;
    p.name = row[0];
    p.code = row[1].empty() ? '?' : row[1][0];
    p.retired = row[2] != "0";
    out.push_back(std::move(p));
  }
  for (PoolInfo& p : out) {
    r = db_->Exec("SELECT first_capcode, last_capcode FROM pool_ranges WHERE pool = $1 "
                  "ORDER BY first_capcode",
                  {p.name});
    if (!r.ok)
      return fail(r.error);
    for (const Row& row : r.rows)
      p.ranges.push_back({Number(row[0]), Number(row[1])});
    r = db_->Exec("SELECT state, COUNT(*) FROM pool_capcodes WHERE pool = $1 GROUP BY state",
                  {p.name});
    if (!r.ok)
      return fail(r.error);
    for (const Row& row : r.rows) {
      const std::int64_t n = Number(row[1]);
      if (row[0] == kCapcodeFree)
        p.counts.free = n;
      else if (row[0] == kCapcodeReserved)
        p.counts.reserved = n;
      else if (row[0] == kCapcodeUsed)
        p.counts.used = n;
      else if (row[0] == kCapcodeSuspect)
        p.counts.suspect = n;
      else if (row[0] == kCapcodeUnusable)
        p.counts.unusable = n;
    }
    for (const char* returned : {"1", "0"}) {
      const int left = nextShown - int(p.next.size());
      if (left <= 0)
        break;
      r = db_->Exec("SELECT capcode FROM pool_capcodes WHERE pool = $1 AND state = 'free' AND "
                    "returned = $2 ORDER BY capcode LIMIT " +
                        Text(std::int64_t(left)),
                    {p.name, returned});
      if (!r.ok)
        return fail(r.error);
      for (const Row& row : r.rows)
        p.next.push_back(Number(row[0]));
    }
  }
  return out;
}

std::optional<PoolInfo> Ledger::Pool(const std::string& name, int nextShown,
                                     std::string* error) {
  std::string why;
  for (PoolInfo& p : Pools(nextShown, &why))
    if (p.name == name)
      return std::move(p);
  if (error)
    *error = why.empty() ? "there is no pool " + name : why;
  return std::nullopt;
}

std::vector<PoolCapcode> Ledger::PoolCapcodes(const std::string& pool,
                                              const std::vector<std::string_view>& states,
                                              std::string* error) {
  std::vector<std::string> params = {pool};
  std::string which = "state <> 'free'";
  if (!states.empty()) {
    which = "state IN (";
    for (std::size_t i = 0; i < states.size(); ++i) {
      params.emplace_back(states[i]);
      which += (i ? ", $" : "$") + Text(std::int64_t(params.size()));
    }
    which += ")";
  }
  const DbResult r = db_->Exec(std::string("SELECT ") + kCapcodeColumns +
                                   " FROM pool_capcodes WHERE ($1 = '' OR pool = $1) AND " +
                                   which + " ORDER BY capcode",
                               params);
  if (!r.ok) {
    if (error)
      *error = r.error;
    return {};
  }
  std::vector<PoolCapcode> out;
  for (const Row& row : r.rows)
    out.push_back(CapcodeOf(row));
  return out;
}

bool Ledger::RetirePool(const std::string& name, std::string* error) {
  if (!BeginPoolWrite(error))
    return false;
  DbResult r = db_->Exec("SELECT retired FROM pools WHERE name = $1", {name});
  if (!r.ok)
    return PoolFail(error, r.error);
  if (r.rows.empty())
    return PoolFail(error, "there is no pool " + name);
  if (r.rows[0][0] != "0")
    return PoolFail(error, "pool " + name + " is retired already");
  r = db_->Exec("UPDATE pools SET retired = 1 WHERE name = $1", {name});
  if (r.ok)
    r = db_->Exec("COMMIT");
  return r.ok || PoolFail(error, r.error);
}

bool Ledger::ReleaseCapcode(std::int64_t capcode, std::string* error) {
  if (!BeginPoolWrite(error))
    return false;
  std::string reason;
  const std::int64_t now = NowMs();
  if (!ExpireLeases(now, &reason))
    return PoolFail(error, reason);
  DbResult r =
      db_->Exec(std::string("SELECT ") + kCapcodeColumns +
                    ", host, pid, boot FROM pool_capcodes WHERE capcode = $1" +
                    (db_->Kind() == Engine::Postgresql ? " FOR UPDATE" : ""),
                {Text(capcode)});
  if (!r.ok)
    return PoolFail(error, r.error);
  const std::string shown = CapcodeText(capcode);
  if (r.rows.empty())
    return PoolFail(error, "capcode " + shown + " is in no pool");
  const PoolCapcode c = CapcodeOf(r.rows[0]);
  if (c.state == kCapcodeFree)
    return PoolFail(error, "capcode " + shown + " of pool " + c.pool + " is free already");
  if (c.state == kCapcodeUsed)
    return PoolFail(error, "capcode " + shown + " is used by pager " + c.serialNumber +
                               "; program that pager with new capcodes to free it");
  if (c.state == kCapcodeReserved) {
    if (!HolderGone(r.rows[0], 8))
      return PoolFail(error, "capcode " + shown + " is being programmed into pager " +
                                 c.serialNumber + " by bench " + c.bench);
  }
  r = db_->Exec(std::string("UPDATE pool_capcodes SET ") + kBackToFree +
                    ", changed_ms = $2 WHERE capcode = $1",
                {Text(capcode), Text(now)});
  if (r.ok)
    r = db_->Exec("COMMIT");
  return r.ok || PoolFail(error, r.error);
}

Reservation Ledger::Reserve(const PoolRequest& request) {
  Reservation out;
  out.id = NewAttemptId();
  auto fail = [&](const std::string& why) {
    Rollback(*db_);
    out.ok = false;
    out.capcodes = {};
    out.own = {};
    out.error = why;
    return out;
  };
  if (!BeginPoolWrite(&out.error))
    return out;
  const bool pg = db_->Kind() == Engine::Postgresql;
  const std::int64_t now = NowMs();
  const std::string host = HostName();
  const std::string pid = Text(ProcessId());
  const std::string boot = BootId();
  for (std::size_t k = 0; k < request.pools.size(); ++k) {
    const std::string& pool = request.pools[k];
    if (pool.empty())
      continue;
    const int code = int(k + 1);
    const char letter = CodeLetter(code);
    DbResult r = db_->Exec("SELECT code, retired FROM pools WHERE name = $1", {pool});
    if (!r.ok)
      return fail(r.error);
    if (r.rows.empty())
      return fail("there is no pool " + pool);
    if (r.rows[0][0] != std::string(1, letter))
      return fail("pool " + pool + " is for code " + r.rows[0][0] + ", not code " + letter);
    if (r.rows[0][1] != "0")
      return fail("pool " + pool + " is retired");
    r = db_->Exec("UPDATE pool_capcodes SET state = 'suspect', changed_ms = $2 WHERE pool = $1 "
                  "AND state = 'reserved' AND lease_until_ms < $2",
                  {pool, Text(now)});
    if (!r.ok)
      return fail(r.error);
    // The pager's own capcode of this pool, when it has one: what it holds comes first, then
    // what it may hold, then a reservation for it of a bench that went away mid-Program.
    if (!request.reassign && !request.serialNumber.empty()) {
      r = db_->Exec("SELECT capcode, state, host, pid, boot FROM pool_capcodes WHERE pool = $1 "
                    "AND serial_number = $2 AND state IN ('used', 'suspect', 'reserved') "
                    "ORDER BY state DESC, changed_ms DESC, capcode",
                    {pool, request.serialNumber});
      if (!r.ok)
        return fail(r.error);
      const auto own = std::find_if(r.rows.begin(), r.rows.end(), [](const Row& row) {
        return row[1] != kCapcodeReserved || HolderGone(row, 2);
      });
      if (own != r.rows.end()) {
        const std::int64_t capcode = Number((*own)[0]);
        // Taken over from a bench that is gone: the pager may hold it.
        r = db_->Exec("UPDATE pool_capcodes SET reservation = $2, state = CASE WHEN state = "
                      "'reserved' THEN 'suspect' ELSE state END, lease_until_ms = 0 "
                      "WHERE capcode = $1",
                      {Text(capcode), "own:" + out.id});
        if (!r.ok)
          return fail(r.error);
        out.capcodes[k] = capcode;
        out.own[k] = true;
        continue;
      }
    }
    for (;;) {
      std::int64_t capcode = 0;
      // Capcodes given back go out again first, then the pool's lowest never handed out.
      for (const char* returned : {"1", "0"}) {
        r = db_->Exec(std::string("SELECT capcode FROM pool_capcodes WHERE pool = $1 AND state "
                                  "= 'free' AND returned = $2 ORDER BY capcode LIMIT 1") +
                          (pg ? " FOR UPDATE SKIP LOCKED" : ""),
                      {pool, returned});
        if (!r.ok)
          return fail(r.error);
        if (!r.rows.empty()) {
          capcode = Number(r.rows[0][0]);
          break;
        }
      }
      if (capcode == 0) {
        out.emptyPool = pool;
        return fail("pool " + pool + " has no free capcode left");
      }
      const bool usable = ClassOf(capcode) != CapcodeClass::Illegal &&
                          (!request.usable || request.usable(code, capcode));
      if (!usable) {
        r = db_->Exec("UPDATE pool_capcodes SET state = 'unusable', returned = 0, "
                      "changed_ms = $2 WHERE capcode = $1",
                      {Text(capcode), Text(now)});
        if (!r.ok)
          return fail(r.error);
        continue;
      }
      r = db_->Exec("UPDATE pool_capcodes SET state = 'reserved', returned = 0, "
                    "serial_number = $2, bench = $3, reservation = $4, lease_until_ms = $5, "
                    "attempt_id = '', changed_ms = $6, host = $7, pid = $8, boot = $9 "
                    "WHERE capcode = $1",
                    {Text(capcode), request.serialNumber, request.bench, out.id,
                     Text(now + request.leaseMs), Text(now), host, pid, boot});
      if (!r.ok)
        return fail(r.error);
      out.capcodes[k] = capcode;
      break;
    }
  }
  const DbResult done = db_->Exec("COMMIT");
  if (!done.ok)
    return fail(done.error);
  out.ok = true;
  return out;
}

bool Ledger::CommitReservation(const std::string& id, const std::string& serialNumber,
                               const std::string& attemptId, bool reassign,
                               std::size_t expected, std::string* error) {
  if (!BeginPoolWrite(error))
    return false;
  const std::vector<std::string> ids = {id, "own:" + id};
  DbResult r = db_->Exec(
      std::string("SELECT capcode FROM pool_capcodes WHERE reservation IN ($1, $2)") +
          (db_->Kind() == Engine::Postgresql ? " FOR UPDATE" : ""),
      ids);
  if (!r.ok)
    return PoolFail(error, r.error);
  if (r.rows.size() != expected)
    return PoolFail(error, "of the " + Text(std::int64_t(expected)) +
                               " capcodes reserved for pager " + serialNumber + ", " +
                               Text(std::int64_t(expected - std::min(expected, r.rows.size()))) +
                               " were released while it was programmed");
  const std::string now = Text(NowMs());
  // The capcodes the pager had from these pools before are its no longer.
  if (reassign)
    r = db_->Exec(std::string("UPDATE pool_capcodes SET ") + kBackToFree +
                      ", changed_ms = $4 WHERE serial_number = $3 AND state IN ('used', "
                      "'suspect') AND reservation NOT IN ($1, $2) AND pool IN (SELECT pool FROM "
                      "pool_capcodes WHERE reservation IN ($1, $2))",
                  {ids[0], ids[1], serialNumber, now});
  if (r.ok)
    r = db_->Exec("UPDATE pool_capcodes SET state = 'used', serial_number = $3, "
                  "attempt_id = $4, lease_until_ms = 0, changed_ms = $5, reservation = '' "
                  "WHERE reservation IN ($1, $2)",
                  {ids[0], ids[1], serialNumber, attemptId, now});
  if (r.ok)
    r = db_->Exec("COMMIT");
  return r.ok || PoolFail(error, r.error);
}

bool Ledger::ReturnReservation(const std::string& id, bool written,
                               const std::string& serialNumber, std::string* error) {
  if (!BeginPoolWrite(error))
    return false;
  const std::string now = Text(NowMs());
  DbResult r =
      written
          ? db_->Exec("UPDATE pool_capcodes SET state = 'suspect', serial_number = $2, "
                      "lease_until_ms = 0, changed_ms = $3 WHERE reservation = $1 AND state IN "
                      "('reserved', 'suspect')",
                      {id, serialNumber, now})
          : db_->Exec(std::string("UPDATE pool_capcodes SET ") + kBackToFree +
                          ", changed_ms = $2 WHERE reservation = $1 AND state IN ('reserved', "
                          "'suspect')",
                      {id, now});
  // The pager's own capcodes stay its own, whatever became of this Program.
  if (r.ok)
    r = db_->Exec("UPDATE pool_capcodes SET reservation = '' WHERE reservation = $1",
                  {"own:" + id});
  if (r.ok)
    r = db_->Exec("COMMIT");
  return r.ok || PoolFail(error, r.error);
}

} // namespace pw::ledger
