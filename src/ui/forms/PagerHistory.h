// SPDX-License-Identifier: GPL-3.0-or-later
// TFormPagerHistory: File > "Pager History...", a projection of pw::ui::PagerHistoryModel: a
// serial number or capcode in, the ledger's records out in a read-only table.
#pragma once

#include <QDialog>

#include "ui/pager_history.h"

class QLabel;
class QLineEdit;
class QShowEvent;
class QTableWidget;

class TFormPagerHistory : public QDialog {
  Q_OBJECT
public:
  TFormPagerHistory(pw::ui::PagerHistoryModel& model, QWidget* parent);
  // Looks up what the edit holds and shows the model's records.
  void Search();
  QLineEdit* Query() const { return edtQuery_; }
  QTableWidget* Table() const { return tblRecords_; }

protected:
  void showEvent(QShowEvent* event) override;

private:
  pw::ui::PagerHistoryModel& model_;
  QLineEdit* edtQuery_;
  QTableWidget* tblRecords_;
  QLabel* lblStatus_;
};
