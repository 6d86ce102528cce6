// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pager_history.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace pw::ui {

const std::vector<std::string>& PagerHistoryModel::Header() {
  static const std::vector<std::string> header = {
      "Time", "Bench", "Kind", "State", "Serial number", "Capcodes", "Outcome", "Device", "Source"};
  return header;
}

std::vector<std::string> HistoryRow(const ledger::Attempt& a) {
  const ProgrammingRecord& r = a.record;
  std::string capcodes;
  for (std::size_t k = 0; k < r.written.capcodes.size(); ++k)
    if (r.written.enabled[k])
      capcodes += (capcodes.empty() ? "" : " ") + std::string(1, char('A' + k)) + "=" +
                  r.written.capcodes[k];
  return {r.time,   a.bench,   a.kind,   a.state, r.serialNumber,
          capcodes, r.outcome, r.device, r.source};
}

void PagerHistoryModel::Search(const std::string& query) {
  rows_.clear();
  std::string text = query;
  text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  if (!ledger_) {
    status_ = "No ledger is open.";
    return;
  }
  if (text.empty()) {
    status_ = "Type a serial number or a capcode.";
    return;
  }
  std::string error;
  std::vector<ledger::Attempt> found = ledger_->History(text, &error);
  const bool digits = text.size() <= 8 && std::all_of(text.begin(), text.end(), [](char c) {
                        return std::isdigit(static_cast<unsigned char>(c));
                      });
  if (digits && error.empty()) {
    std::set<std::string> shown;
    for (const ledger::Attempt& a : found)
      shown.insert(a.id);
    for (ledger::Attempt& a : ledger_->WhoIs(std::stoll(text), &error))
      if (shown.insert(a.id).second)
        found.push_back(std::move(a));
  }
  if (!error.empty()) {
    status_ = "Cannot read the ledger " + ledger_->Shown() + ": " + error;
    return;
  }
  for (const ledger::Attempt& a : found)
    rows_.push_back(HistoryRow(a));
  status_ = rows_.size() == 1 ? "1 record" : std::to_string(rows_.size()) + " records";
}

} // namespace pw::ui
