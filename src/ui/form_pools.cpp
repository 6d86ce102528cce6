// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of capcode pools: File > Setup > "Capcode Pools...", the choice kept in
// the user's settings and restored with the other options, and the foot's note while pools
// are chosen. A chosen pool that has gone from the ledger is reported by the Program.
#include <memory>
#include <string>

#include "ui/capcode_pools.h"
#include "ui/form_model.h"
#include "ui/user_settings.h"

namespace pw::ui {

void FormModel::RestorePoolChoice() {
  if (userSettingsPath_.empty())
    return; // the command line names its pools itself
  ApplyPoolSelection(LoadPoolSelection(UserSettings::Load(userSettingsPath_)));
}

void FormModel::ApplyPoolSelection(const PoolSelection& selection) {
  SetPoolChoice(selection.pools, selection.reassign);
  if (Control* label = controls.Find("lblPools")) {
    label->caption = PoolSelectionLabel(selection);
    label->hint = label->caption;
    label->visible = selection.Any();
  }
}

// The pools come from the ledger the settings name. The window's own ledger is that one,
// unless it could not be opened and the user's SQLite file stands in for it: then the named
// one is tried again, for the dialog alone.
ledger::Ledger* FormModel::PoolLedger(const UserSettings& settings,
                                      std::unique_ptr<ledger::Ledger>& own, std::string& why) {
  if (ledger::Recorder* recorder = LedgerRecorder(); recorder && !ledgerIsFallback_)
    return &recorder->Primary();
  const std::string url = ledger::ChosenLedgerUrl({}, settings.Get("ledger").value_or(""));
  ledger::Ledger::Opened opened = ledger::Ledger::Open(url);
  own = std::move(opened.ledger);
  why = opened.message;
  return own.get();
}

void FormModel::ChooseCapcodePools() {
  UserSettings settings = UserSettings::Load(userSettingsPath_);
  std::unique_ptr<ledger::Ledger> own;
  std::string why;
  ledger::Ledger* ledger = PoolLedger(settings, own, why);
  CapcodePoolsModel dialog(ledger, PoolSelection{PoolChoice(), PoolReassign()}, why);
  if (!shell_.ShowCapcodePools(dialog))
    return;
  const PoolSelection chosen = dialog.Chosen();
  StorePoolSelection(settings, chosen);
  if (!userSettingsPath_.empty() && !settings.Save()) {
    const std::u8string path = userSettingsPath_.u8string();
    host_.ShowBox("Cannot write the settings file " + std::string(path.begin(), path.end()) +
                      ": the pools are used until the program ends.",
                  "Warning", Icon::Warning);
  }
  ApplyPoolSelection(chosen);
}

} // namespace pw::ui
