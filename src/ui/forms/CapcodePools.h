// SPDX-License-Identifier: GPL-3.0-or-later
// TFormCapcodePools: File > Setup > "Capcode Pools...", a projection of
// pw::ui::CapcodePoolsModel: a pool or "(none)" for each code A-F, and "Reassign".
#pragma once

#include <QDialog>

#include <array>

#include "ui/capcode_pools.h"

class QCheckBox;
class QComboBox;
class QShowEvent;

class TFormCapcodePools : public QDialog {
  Q_OBJECT
public:
  TFormCapcodePools(pw::ui::CapcodePoolsModel& model, QWidget* parent);
  // code 0-5 (A-F)
  QComboBox* Pool(int code) const { return cbxPools_[std::size_t(code)]; }
  QCheckBox* Reassign() const { return chkReassign_; }
  // The choice goes into the model, then the dialog closes.
  void accept() override;

protected:
  void showEvent(QShowEvent* event) override;

private:
  pw::ui::CapcodePoolsModel& model_;
  std::array<QComboBox*, pw::map::kCodeCount> cbxPools_{};
  QCheckBox* chkReassign_;
};
