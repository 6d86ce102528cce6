// SPDX-License-Identifier: GPL-3.0-or-later
// Capcodes from the ledger's pools for each unit: reserved for the pager on the line before
// anything is written, used once it verifies, given back (nothing written) or held as suspect
// (the pager may hold them) when its Program fails. A pager that already has capcodes from the
// pools gets its own again unless the batch reassigns. Without the database no capcode is
// handed out: the unit is refused before writing.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "batch/production_line.h"
#include "ledger/ledger.h"

namespace pw {

class PoolSource final : public UnitSource {
public:
  // pools: the pool of each code A-F ("" none). The ledger outlives the source.
  PoolSource(ledger::Ledger& ledger, std::string bench,
             std::array<std::string, map::kCodeCount> pools, bool reassign);

  // The enabled codes of the codeplug that take nothing from a pool: a pool capcode equal to
  // one of them would be refused as a duplicate, so it is marked unusable and skipped.
  void SetOtherCapcodes(const std::array<std::int64_t, map::kCodeCount>& values) {
    others_ = values;
  }

  // Before the workers start: every named pool exists, is of its code's letter and is not
  // retired; false with the reason.
  bool Check(std::string& why);

  Answer Take(const std::string& serial, UnitAssignment& unit, std::string& why) override;
  bool Finish(const UnitAssignment& unit, const BatchPagerResult& result,
              std::string& why) override;
  bool Exhausted() const override { return exhausted_; }
  std::string Next() const override; // asks the ledger

  const std::array<std::string, map::kCodeCount>& PoolNames() const { return pools_; }

private:
  ledger::Ledger& ledger_;
  std::string bench_;
  std::array<std::string, map::kCodeCount> pools_;
  bool reassign_;
  std::array<std::int64_t, map::kCodeCount> others_{};
  bool exhausted_ = false; // a pool ran dry or cannot be used: no further unit
  std::string exhaustedWhy_;
};

} // namespace pw
