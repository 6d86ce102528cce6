// SPDX-License-Identifier: GPL-3.0-or-later
// TFormSerialDevice: the "Serial Device…" dialog, a projection of
// pw::ui::SerialDeviceDialogModel: the devices found, the details of the chosen one, Refresh,
// OK and Cancel.
#pragma once

#include <QDialog>

#include "ui/serial_device_dialog.h"

class QLabel;
class QListWidget;
class QPushButton;
class QShowEvent;

class TFormSerialDevice : public QDialog {
  Q_OBJECT
public:
  TFormSerialDevice(pw::ui::SerialDeviceDialogModel& model, QWidget* parent);

  // Shows the dialog (its model already open) modally, centred on its owner; returns when
  // the model closed.
  void Execute();
  // Re-reads the model; closes the window once the model has closed.
  void Sync();
  QListWidget* List() const { return lstDevices_; }

protected:
  void showEvent(QShowEvent* event) override;

private:
  void Forward(const std::string& control);

  pw::ui::SerialDeviceDialogModel& model_;
  QLabel* lblPort_;
  QListWidget* lstDevices_;
  QLabel* lblDetails_;
  QLabel* lblNote_;
  QPushButton* btnOK_;
};
