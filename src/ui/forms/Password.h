// SPDX-License-Identifier: GPL-3.0-or-later
// TFormPassword: the download-password dialog, a projection of pw::ui::PasswordDialogModel.
#pragma once

#include <QDialog>

#include "ui/dialogs_model.h"

class QLineEdit;

class TFormPassword : public QDialog {
  Q_OBJECT
public:
  TFormPassword(pw::ui::PasswordDialogModel& model, QWidget* parent);

  // Activates the model, shows the dialog modally centred on its parent, returns when closed.
  void Execute();
  QLineEdit* Edit() const { return edtDownloadPassword_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  void Sync();

  pw::ui::PasswordDialogModel& model_;
  QLineEdit* edtDownloadPassword_;
};
