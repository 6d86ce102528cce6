// SPDX-License-Identifier: GPL-3.0-or-later
// Capcode pools: named sets of capcode ranges, one code letter each, kept in the ledger so that
// every bench that shares it hands out each capcode once. A capcode is reserved for a pager
// before it is written, used once that pager verifies, and given back or held as suspect when
// the Program fails. The SQL lives in pool.cpp; Ledger carries the operations.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codeplug/memory_map.h"

namespace pw::ledger {

// The states of a pool's capcode.
inline constexpr std::string_view kCapcodeFree = "free";
inline constexpr std::string_view kCapcodeReserved = "reserved"; // a bench is programming it
inline constexpr std::string_view kCapcodeUsed = "used";         // in the pager of its serial
inline constexpr std::string_view kCapcodeSuspect = "suspect";   // the pager may hold it
inline constexpr std::string_view kCapcodeUnusable = "unusable"; // the codeplug's rules refuse it

// How long a reservation holds before it counts as a bench that went away (then: suspect).
inline constexpr std::int64_t kPoolLeaseMs = 15 * 60 * 1000;
// The most capcodes one `pool add` takes.
inline constexpr std::int64_t kMaxPoolCapcodes = 1'000'000;
// How many free capcodes `pool show` lists.
inline constexpr int kPoolNextShown = 5;
inline constexpr std::size_t kMaxPoolNameLength = 64;

struct CapcodeRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  bool operator==(const CapcodeRange&) const = default;
};

// "1000000-1000999" or a single "1000000"; nothing when it is not a range of capcodes
// (0-999999999, first <= last).
std::optional<CapcodeRange> ParseCapcodeRange(std::string_view text);
// The legal FLEX addresses of a range: the range without 0 and the two gaps, in order.
std::vector<CapcodeRange> LegalParts(const CapcodeRange& range);
// "1000000-1000999", or "1000000" for one capcode.
std::string RangeText(const CapcodeRange& range);

// Letters, digits, '-', '_' and '.', up to kMaxPoolNameLength.
bool ValidPoolName(std::string_view name);
// Code letters A-F as 1-6, and back; 0 / '?' for anything else.
int CodeNumber(char letter);
char CodeLetter(int code);

struct PoolCounts {
  std::int64_t free = 0, reserved = 0, used = 0, suspect = 0, unusable = 0;
  std::int64_t Total() const { return free + reserved + used + suspect + unusable; }
};

struct PoolInfo {
  std::string name;
  char code = 'A';
  bool retired = false;
  std::vector<CapcodeRange> ranges; // as added (illegal addresses left out), in order
  PoolCounts counts;                // leases that ran out count as suspect
  std::vector<std::int64_t> next;   // the free capcodes handed out next, in that order
};

// One capcode of a pool that has been handed out at least once.
struct PoolCapcode {
  std::int64_t capcode = 0;
  std::string pool;
  std::string state;
  std::string serialNumber; // raw, as the pager holds it
  std::string bench;
  std::string attemptId;        // used: the ledger's record of the Program
  std::int64_t changedMs = 0;   // when the state last changed
  std::int64_t leaseUntilMs = 0; // reserved: when the reservation runs out
};

// What one pager asks of the pools.
struct PoolRequest {
  std::string bench;
  std::string serialNumber; // the pager's, raw as read from it
  // The pool of each code A-F; empty: that code takes nothing from a pool.
  std::array<std::string, map::kCodeCount> pools{};
  // New capcodes even for a pager that has capcodes from these pools already.
  bool reassign = false;
  std::int64_t leaseMs = kPoolLeaseMs;
  // Whether the codeplug's rules would store the capcode for code (1-6) as it is; one they
  // would not is marked unusable and the next is taken. Unset: every legal capcode is.
  std::function<bool(int code, std::int64_t capcode)> usable{};
};

struct Reservation {
  bool ok = false;
  std::string id;
  std::array<std::int64_t, map::kCodeCount> capcodes{}; // 0 where no pool was asked
  std::array<bool, map::kCodeCount> own{}; // the pager's own capcodes again, not new ones
  std::string error;     // when !ok
  std::string emptyPool; // when !ok because this pool has no free capcode left
};

// "A=NAME,B=NAME2" (letters a-f too): the pool of each code. False with the reason when a part
// is not LETTER=NAME or a letter comes twice.
bool ParsePoolChoice(std::string_view text, std::array<std::string, map::kCodeCount>& pools,
                     std::string& why);
// "A=NAME B=NAME2", the codes that have a pool.
std::string PoolChoiceText(const std::array<std::string, map::kCodeCount>& pools);

} // namespace pw::ledger
