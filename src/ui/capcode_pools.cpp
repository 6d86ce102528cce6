// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/capcode_pools.h"

#include <algorithm>

namespace pw::ui {

namespace {

constexpr const char* kReassignKey = "pool.reassign";

std::string PoolKey(std::size_t slot) {
  return std::string("pool.") + ledger::CodeLetter(int(slot) + 1);
}

} // namespace

bool PoolSelection::Any() const {
  return std::any_of(pools.begin(), pools.end(), [](const std::string& p) { return !p.empty(); });
}

PoolSelection LoadPoolSelection(const UserSettings& settings) {
  PoolSelection s;
  for (std::size_t k = 0; k < s.pools.size(); ++k)
    s.pools[k] = settings.Get(PoolKey(k)).value_or("");
  s.reassign = s.Any() && settings.Flag(kReassignKey, false);
  return s;
}

void StorePoolSelection(UserSettings& settings, const PoolSelection& selection) {
  for (std::size_t k = 0; k < selection.pools.size(); ++k) {
    if (selection.pools[k].empty())
      settings.Remove(PoolKey(k));
    else
      settings.Set(PoolKey(k), selection.pools[k]);
  }
  settings.SetFlag(kReassignKey, selection.reassign);
}

std::string PoolSelectionLabel(const PoolSelection& selection) {
  if (!selection.Any())
    return {};
  return "Pools: " + ledger::PoolChoiceText(selection.pools) +
         (selection.reassign ? ", reassign" : "");
}

CapcodePoolsModel::CapcodePoolsModel(ledger::Ledger* ledger, const PoolSelection& current,
                                     const std::string& why)
    : reassign_(current.reassign) {
  for (std::size_t k = 0; k < items_.size(); ++k) {
    items_[k] = {kNone};
    names_[k] = {""};
  }
  if (!ledger) {
    status_ = "No ledger can be opened, so no pool can be chosen.";
    if (!why.empty())
      status_ += "\n" + why;
    return;
  }
  std::string error;
  const std::vector<ledger::PoolInfo> pools = ledger->Pools(0, &error);
  if (!error.empty()) {
    status_ = "Cannot read the pools of the ledger " + ledger->Shown() + ": " + error;
    return;
  }
  for (const ledger::PoolInfo& pool : pools) {
    const int code = ledger::CodeNumber(pool.code);
    if (pool.retired || code == 0)
      continue;
    const std::size_t k = std::size_t(code - 1);
    names_[k].push_back(pool.name);
    items_[k].push_back(pool.name + " (" + std::to_string(pool.counts.free) + " free)");
    if (pool.name == current.pools[k])
      index_[k] = int(names_[k].size() - 1);
    offers_ = true;
  }
  status_ = "Ledger: " + ledger->Shown();
  if (!offers_)
    status_ += "\nThe ledger has no pools to offer; pagewright-cli pool add makes them.";
}

std::size_t CapcodePoolsModel::Slot(int code) {
  return std::size_t(std::clamp(code, 0, map::kCodeCount - 1));
}

void CapcodePoolsModel::Choose(int code, int index) {
  const std::size_t k = Slot(code);
  index_[k] = index >= 0 && index < int(names_[k].size()) ? index : 0;
}

PoolSelection CapcodePoolsModel::Chosen() const {
  PoolSelection s;
  for (std::size_t k = 0; k < s.pools.size(); ++k)
    s.pools[k] = names_[k][std::size_t(index_[k])];
  s.reassign = reassign_ && s.Any();
  return s;
}

} // namespace pw::ui
