// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/pool_source.h"

#include "batch/batch_runner.h"
#include "batch/programming_log.h"
#include "codeplug/flex_address.h"

namespace pw {

PoolSource::PoolSource(ledger::Ledger& ledger, std::string bench,
                       std::array<std::string, map::kCodeCount> pools, bool reassign)
    : ledger_(ledger), bench_(std::move(bench)), pools_(std::move(pools)), reassign_(reassign) {}

bool PoolSource::Check(std::string& why) {
  for (std::size_t k = 0; k < pools_.size(); ++k) {
    if (pools_[k].empty())
      continue;
    const char letter = ledger::CodeLetter(int(k + 1));
    std::string error;
    const std::optional<ledger::PoolInfo> pool = ledger_.Pool(pools_[k], 0, &error);
    if (!pool)
      why = error;
    else if (pool->code != letter)
      why = "pool " + pools_[k] + " is for code " + pool->code + ", not code " + letter;
    else if (pool->retired)
      why = "pool " + pools_[k] + " is retired";
    else
      continue;
    return false;
  }
  return true;
}

UnitSource::Answer PoolSource::Take(const std::string& serial, UnitAssignment& unit,
                                    std::string& why) {
  if (exhausted_) {
    why = exhaustedWhy_;
    return Answer::Exhausted;
  }
  ledger::PoolRequest request;
  request.bench = bench_;
  request.serialNumber = serial;
  request.pools = pools_;
  request.reassign = reassign_;
  // A capcode equal to another enabled code would be refused as a duplicate.
  request.usable = [this](int code, std::int64_t capcode) {
    for (std::size_t k = 0; k < others_.size(); ++k)
      if (int(k + 1) != code && pools_[k].empty() && others_[k] == capcode)
        return false;
    return true;
  };
  const ledger::Reservation r = ledger_.Reserve(request);
  if (!r.ok) {
    // Without the database no capcode is handed out; it may come back for the next pager.
    if (r.emptyPool.empty() && !ledger_.Reachable()) {
      why = r.error + ": no capcodes are handed out without it";
      return Answer::NotForThisPager;
    }
    exhausted_ = true;
    exhaustedWhy_ = why = r.error;
    return Answer::Exhausted;
  }
  unit.reservation = r.id;
  for (std::size_t k = 0; k < pools_.size(); ++k) {
    if (pools_[k].empty())
      continue;
    const std::string code = std::string("code.") + ledger::CodeLetter(int(k + 1)) + ".";
    unit.fields.emplace_back(code + "enabled", "1");
    unit.fields.emplace_back(code + "capcode", CapcodeText(r.capcodes[k]));
  }
  return Answer::Unit;
}

bool PoolSource::Finish(const UnitAssignment& unit, const BatchPagerResult& result,
                        std::string& why) {
  if (unit.reservation.empty())
    return true;
  std::string error;
  if (result.ok) {
    std::size_t expected = 0;
    for (const std::string& pool : pools_)
      expected += pool.empty() ? 0 : 1;
    if (ledger_.CommitReservation(unit.reservation, result.serialNumber, result.attemptId,
                                  reassign_, expected, &error))
      return true;
    // The pager holds them, but the pools do not say so: no further unit until that is seen to.
    why = "pager " + SerialNumberForLog(result.serialNumber) +
          " was programmed, but its capcodes could not be marked used: " + error;
    return false;
  }
  // A reservation that cannot be given back runs out and is held as suspect.
  if (!ledger_.ReturnReservation(unit.reservation, result.written, result.serialNumber, &error))
    why = error;
  return true;
}

std::string PoolSource::Next() const {
  if (exhausted_)
    return "none (" + exhaustedWhy_ + ")";
  std::string next;
  for (std::size_t k = 0; k < pools_.size(); ++k) {
    if (pools_[k].empty())
      continue;
    const std::optional<ledger::PoolInfo> pool = ledger_.Pool(pools_[k], 1);
    next += (next.empty() ? "" : " ") + std::string(1, ledger::CodeLetter(int(k + 1))) + "=" +
            (pool && !pool->next.empty() ? CapcodeText(pool->next.front())
                                         : pools_[k] + " has none free");
  }
  return next;
}

} // namespace pw
