// SPDX-License-Identifier: GPL-3.0-or-later
// File > "Pager History...": a serial number or a capcode in, the ledger's records out, for a
// read-only table. A serial number lists every attempt on that pager, newest first; a capcode
// lists the pagers whose last successful write holds it.
#pragma once

#include <string>
#include <vector>

#include "ledger/ledger.h"

namespace pw::ui {

class PagerHistoryModel {
public:
  // ledger: none when the window has no ledger (its message says so).
  explicit PagerHistoryModel(ledger::Ledger* ledger) : ledger_(ledger) {}

  // Looks the text up; Rows and Status tell what was found.
  void Search(const std::string& query);

  static const std::vector<std::string>& Header();
  const std::vector<std::vector<std::string>>& Rows() const { return rows_; }
  // "3 records", or why there are none.
  const std::string& Status() const { return status_; }
  // Where the records come from, for the dialog's title line.
  std::string LedgerShown() const { return ledger_ ? ledger_->Shown() : std::string(); }

private:
  ledger::Ledger* ledger_;
  std::vector<std::vector<std::string>> rows_;
  std::string status_;
};

// The record as a row of the table (the columns of Header).
std::vector<std::string> HistoryRow(const ledger::Attempt& a);

} // namespace pw::ui
