// SPDX-License-Identifier: GPL-3.0-or-later
// Which serial device a COM number opens, and what the window says about it. The user's
// choices are kept in the program's own settings file as "com.<n>=<device>" (never in
// "CorvaneF.ini"); PAGEWRIGHT_COM<n> still wins over them; a number with neither opens the
// port's own device (/dev/ttyS<n-1>, or the Windows COM port).
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/port_list.h"
#include "ui/user_settings.h"

namespace pw::ui {

struct PortRoute {
  enum class From { Own, Settings, Environment };
  std::string device;
  From from = From::Own;
};

// The environment variable that names port n's device.
std::string PortVariable(int n);
// Two names of one device (a link and its node) are the same device.
bool SameDevice(const std::string& a, const std::string& b);

class SerialDevices {
public:
  // Looks up an environment variable; nothing when it is unset or empty.
  using Environment = std::function<std::optional<std::string>(const std::string& name)>;
  static std::optional<std::string> SystemEnvironment(const std::string& name);

  // settingsPath empty: choices last for this session only.
  explicit SerialDevices(std::filesystem::path settingsPath, PortListSource source = {},
                         Environment environment = SystemEnvironment);

  PortRoute Route(int n) const;
  // The device port n opens when nothing else is chosen.
  std::string OwnDevice(int n) const;
  // Gives port n the device ("" returns it to its own device). The choice holds for this
  // session either way; false when the settings file could not be written.
  bool Assign(int n, const std::string& device);

  // The devices discovery finds, then any the environment names that it did not find.
  std::vector<SerialDeviceInfo> Discover() const;
  SerialDeviceInfo Describe(const std::string& device) const;
  // "COM1: /dev/ttyUSB0 — FT232R USB UART", marked when the environment chose the device.
  // opened false: the port did not open, and a device refused for lack of permission says
  // so ("…, not open: permission denied"); a missing one is "not connected" either way.
  std::string PortLabel(int n, bool opened = true) const;

  const std::filesystem::path& SettingsPath() const { return settingsPath_; }
  // Why the settings file could not be read (its choices are then left out); empty when it was.
  const std::string& SettingsProblem() const { return settings_.problem(); }

private:
  std::filesystem::path settingsPath_;
  PortListSource source_;
  Environment environment_;
  UserSettings settings_;
};

} // namespace pw::ui
