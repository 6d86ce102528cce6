// SPDX-License-Identifier: GPL-3.0-or-later
// The "Serial Device…" dialog, headless: the serial devices of the machine with a
// description each, for the current COM number. The first row returns the number to its own
// device; OK confirms the chosen row, Cancel (or the close box) leaves everything as it was.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/serial_devices.h"

namespace pw::ui {

class SerialDeviceDialogModel {
public:
  explicit SerialDeviceDialogModel(SerialDevices& devices);

  // Lists the devices for port n and selects the one it opens now.
  void Open(int port);
  // btnRefresh, btnOK, btnCancel; lstDevices after the view set its itemIndex.
  void Click(const std::string& name);
  bool IsOpen() const { return open_; }
  // What OK confirmed: the device to assign, "" for the port's own device; nothing after Cancel.
  const std::optional<std::string>& Chosen() const { return chosen_; }

  // TFormSerialDevice, lblPort, lstDevices (items, itemIndex), lblDetails, lblNote, btnRefresh,
  // btnOK, btnCancel. Texts are UTF-8: device names come from the system.
  Controls controls;

private:
  void Fill(const std::string& keep);
  void ShowSelection();

  SerialDevices& devices_;
  std::vector<std::string> values_; // what each row assigns
  std::vector<SerialDeviceInfo> rows_;
  int port_ = 1;
  bool open_ = false;
  std::optional<std::string> chosen_;
};

} // namespace pw::ui
