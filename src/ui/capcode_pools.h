// SPDX-License-Identifier: GPL-3.0-or-later
// File > Setup > "Capcode Pools...": which pool of the ledger gives each code A-F its capcode
// at a Program, or "(none)" for a code that keeps the capcode it holds (and the window's
// stepping). The choice lives in the user's settings as pool.A ... pool.F and pool.reassign;
// the dialog offers the pools of each code letter that are not retired, with their free count.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "codeplug/memory_map.h"
#include "ledger/ledger.h"
#include "ui/user_settings.h"

namespace pw::ui {

// The pools chosen for the codes A-F ("" none) and whether a pager that has capcodes from
// them takes new ones.
struct PoolSelection {
  std::array<std::string, map::kCodeCount> pools{};
  bool reassign = false;

  bool Any() const;
  bool operator==(const PoolSelection&) const = default;
};

// The selection kept in the settings; missing keys choose nothing.
PoolSelection LoadPoolSelection(const UserSettings& settings);
// Writes every key (a code without a pool loses its key).
void StorePoolSelection(UserSettings& settings, const PoolSelection& selection);
// What the window's foot shows while pools are chosen: "Pools: A=Main B=Night", with
// ", reassign" when set; empty when none is.
std::string PoolSelectionLabel(const PoolSelection& selection);

class CapcodePoolsModel {
public:
  static constexpr const char* kNone = "(none)";

  // Reads the pools of ledger, offering current where it still names a pool that is not
  // retired. ledger: none when no ledger can be opened (why tells the reason, if known).
  CapcodePoolsModel(ledger::Ledger* ledger, const PoolSelection& current,
                    const std::string& why = {});

  // The items of code 0-5 (A-F): "(none)", then "NAME (N free)" for each pool of its letter.
  const std::vector<std::string>& Items(int code) const { return items_[Slot(code)]; }
  int Index(int code) const { return index_[Slot(code)]; }
  // Out-of-range indexes choose "(none)".
  void Choose(int code, int index);
  bool Reassign() const { return reassign_; }
  void SetReassign(bool on) { reassign_ = on; }
  // Where the pools come from, or why there are none to offer.
  const std::string& Status() const { return status_; }
  // Whether any pool is offered at all.
  bool Offers() const { return offers_; }
  PoolSelection Chosen() const;

private:
  static std::size_t Slot(int code);

  std::array<std::vector<std::string>, map::kCodeCount> items_;
  std::array<std::vector<std::string>, map::kCodeCount> names_; // "" first, for "(none)"
  std::array<int, map::kCodeCount> index_{};
  bool reassign_ = false;
  bool offers_ = false;
  std::string status_;
};

} // namespace pw::ui
