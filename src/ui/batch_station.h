// The window's Program as a batch of pagers uses it: each pager goes through the headless
// window, so it gets the same checks, verify, programming log and capcode stepping as a
// Program from the window, and the stepped codeplug can be saved back after each success.
#pragma once

#include <string>

#include "batch/batch_runner.h"
#include "ui/form_model.h"

namespace pw::ui {

class FormBatchStation final : public BatchStation {
public:
  // updateFile: the data file the stepped codeplug is saved back into after each success;
  // empty: none.
  FormBatchStation(FormModel& model, std::string updateFile = {})
      : model_(model), updateFile_(std::move(updateFile)) {
    model_.SetLedgerKind(ledger::kKindBatch);
  }

  BatchPagerResult ProgramPager() override;

private:
  FormModel& model_;
  std::string updateFile_;
};

} // namespace pw::ui
