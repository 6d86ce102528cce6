// SPDX-License-Identifier: GPL-3.0-or-later
// The window's Program as a batch of pagers uses it: each pager goes through the headless
// window, so it gets the same checks, verify, programming log and capcode stepping as a
// Program from the window, and the stepped codeplug can be saved back after each success.
// Each line of a production line has a window of its own: the windows share nothing.
#pragma once

#include <string>

#include "batch/batch_runner.h"
#include "ui/form_model.h"

namespace pw::ui {

// The unit's values typed into the window; what a field refused or changed, or nothing.
std::string ApplyUnit(FormModel& model, const UnitAssignment& unit);

class FormBatchStation final : public BatchStation {
public:
  // updateFile: the data file the stepped codeplug is saved back into after each success;
  // empty: none.
  FormBatchStation(FormModel& model, std::string updateFile = {})
      : model_(model), updateFile_(std::move(updateFile)) {
    model_.SetLedgerKind(ledger::kKindBatch);
  }

  // A unit that starts again from the data file (a manifest row) reloads this file first.
  void SetDataFile(std::string path) { dataFile_ = std::move(path); }

  BatchPagerResult ProgramPager(const std::string& polledSerial,
                                const UnitAssignment& unit) override;

private:
  FormModel& model_;
  std::string updateFile_;
  std::string dataFile_;
};

} // namespace pw::ui
