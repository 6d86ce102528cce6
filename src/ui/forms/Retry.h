// SPDX-License-Identifier: GPL-3.0-or-later
// TForm1: the retry dialog ("Retry Programming Pager" with a countdown and Cancel), a
// projection of pw::ui::RetryDialogModel.
#pragma once

#include <QDialog>

#include "ui/dialogs_model.h"

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QPushButton;
class QShowEvent;

class TForm1 : public QDialog {
  Q_OBJECT
public:
  TForm1(pw::ui::RetryDialogModel& model, QWidget* parent);

  // Opens the model and shows the dialog modally centred on the screen; returns when the
  // model closed it (Cancel, or the main window's Retry_Timer followed by Sync()).
  void Execute();
  // Re-reads the countdown text and closes the window once the model has closed.
  void Sync();

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  pw::ui::RetryDialogModel& model_;
  QLabel* lblSecond_;
  QPushButton* btnCancel_;
};
