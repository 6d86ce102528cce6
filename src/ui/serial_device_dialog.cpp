// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/serial_device_dialog.h"

#include "link/serial_port.h"

namespace pw::ui {

namespace {

constexpr const char* kList = "lstDevices";

} // namespace

SerialDeviceDialogModel::SerialDeviceDialogModel(SerialDevices& devices) : devices_(devices) {
  auto add = [this](Kind kind, const char* name, const char* caption) {
    Control c;
    c.kind = kind;
    c.name = name;
    c.parent = name == std::string("TFormSerialDevice") ? "" : "TFormSerialDevice";
    c.caption = caption;
    controls.Add(std::move(c));
  };
  add(Kind::Form, "TFormSerialDevice", "Serial Device");
  add(Kind::Label, "lblPort", "");
  add(Kind::ComboBox, kList, ""); // shown as a list
  add(Kind::Label, "lblDetails", "");
  add(Kind::Label, "lblNote", "");
  add(Kind::Button, "btnRefresh", "&Refresh");
  add(Kind::Button, "btnOK", "OK");
  add(Kind::Button, "btnCancel", "Cancel");
}

void SerialDeviceDialogModel::Open(int port) {
  port_ = port;
  open_ = true;
  chosen_.reset();
  controls.SetCaption("lblPort", "Device for " + PortDisplayName(port) + ":");
  const PortRoute route = devices_.Route(port);
  Fill(route.from == PortRoute::From::Own ? std::string() : route.device);
}

void SerialDeviceDialogModel::Fill(const std::string& keep) {
  const std::string own = devices_.OwnDevice(port_);
  rows_ = {devices_.Describe(own)};
  values_ = {std::string()};
  std::vector<std::string>& items = controls[kList].items;
  items = {FormatSerialDevice(rows_[0]) + " (own device of " + PortDisplayName(port_) + ")"};
  for (const SerialDeviceInfo& d : devices_.Discover()) {
    if (SameDevice(d.path, own))
      continue;
    rows_.push_back(d);
    // The by-id link names the same adapter after it is plugged in elsewhere.
    values_.push_back(d.byIdLink.empty() ? d.path : d.byIdLink);
    items.push_back(FormatSerialDevice(d));
  }

  int selected = 0;
  for (std::size_t i = 1; i < rows_.size() && !keep.empty(); ++i)
    if (SameDevice(values_[i], keep) || SameDevice(rows_[i].path, keep))
      selected = static_cast<int>(i);
  // The device the port opens now is always a row of its own, even when the scan does not
  // find it (a pseudo-terminal, a by-path name, an adapter unplugged): OK without another
  // choice keeps it.
  if (selected == 0 && !keep.empty() && !SameDevice(keep, own)) {
    SerialDeviceInfo kept = devices_.Describe(keep);
    const bool present = kept.present;
    kept.present = true; // said once, as "absent"
    items.push_back(FormatSerialDevice(kept) + (present ? "" : " (absent)"));
    kept.present = present;
    rows_.push_back(kept);
    values_.push_back(keep);
    selected = static_cast<int>(rows_.size()) - 1;
  }
  controls[kList].itemIndex = selected;

  std::string note;
  const PortRoute route = devices_.Route(port_);
  if (route.from == PortRoute::From::Environment) {
    note = PortVariable(port_) + " names " + route.device + ": " + PortDisplayName(port_) +
           " opens that device while the variable is set.";
  } else if (rows_.size() == 1) {
    note = "No other serial device found. Connect the adapter and press Refresh.";
  }
  controls.SetCaption("lblNote", note);
  ShowSelection();
}

void SerialDeviceDialogModel::ShowSelection() {
  const int index = controls[kList].itemIndex;
  const bool valid = index >= 0 && index < static_cast<int>(rows_.size());
  controls.SetCaption("lblDetails", valid ? DeviceDetails(rows_[index]) : std::string());
  controls.SetEnabled("btnOK", valid);
}

void SerialDeviceDialogModel::Click(const std::string& name) {
  if (!open_)
    return;
  const int index = controls[kList].itemIndex;
  const bool valid = index >= 0 && index < static_cast<int>(values_.size());
  if (name == kList) {
    ShowSelection();
  } else if (name == "btnRefresh") {
    Fill(valid ? values_[index] : std::string());
  } else if (name == "btnOK" && valid) {
    chosen_ = values_[index];
    open_ = false;
  } else if (name == "btnCancel") {
    chosen_.reset();
    open_ = false;
  }
}

} // namespace pw::ui
