// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/serial_devices.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "link/serial_port.h"

namespace pw::ui {

namespace fs = std::filesystem;

namespace {

std::string SettingsKey(int n) {
  return "com." + std::to_string(n);
}

// The user may not read and write the device (not in its group, or its mode shuts them out).
bool PermissionDenied(const std::string& device) {
#ifdef _WIN32
  (void)device;
  return false;
#else
  return ::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES;
#endif
}

} // namespace

bool SameDevice(const std::string& a, const std::string& b) {
  if (a == b)
    return true;
  std::error_code ea, eb;
  const fs::path ca = fs::canonical(a, ea), cb = fs::canonical(b, eb);
  return !ea && !eb && ca == cb;
}

std::string PortVariable(int n) {
  return "PAGEWRIGHT_COM" + std::to_string(n);
}

std::optional<std::string> SerialDevices::SystemEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr || *value == '\0')
    return std::nullopt;
  return std::string(value);
}

SerialDevices::SerialDevices(fs::path settingsPath, PortListSource source, Environment environment)
    : settingsPath_(std::move(settingsPath)), source_(std::move(source)),
      environment_(std::move(environment)), settings_(UserSettings::Load(settingsPath_)) {}

std::string SerialDevices::OwnDevice(int n) const {
#ifdef _WIN32
  return WindowsDevicePath(n);
#else
  return (source_.devRoot / ("ttyS" + std::to_string(n - 1))).string();
#endif
}

PortRoute SerialDevices::Route(int n) const {
  if (environment_)
    if (std::optional<std::string> device = environment_(PortVariable(n)))
      return {*device, PortRoute::From::Environment};
  if (std::optional<std::string> device = settings_.Get(SettingsKey(n)); device && !device->empty())
    return {*device, PortRoute::From::Settings};
  return {OwnDevice(n), PortRoute::From::Own};
}

bool SerialDevices::Assign(int n, const std::string& device) {
  // Read the file afresh, so that what was saved meanwhile is kept.
  if (!settingsPath_.empty())
    settings_ = UserSettings::Load(settingsPath_);
  if (device.empty() || device == OwnDevice(n)) {
    settings_.Remove(SettingsKey(n));
  } else {
    settings_.Set(SettingsKey(n), device);
  }
  return settingsPath_.empty() || settings_.Save();
}

std::vector<SerialDeviceInfo> SerialDevices::Discover() const {
  std::vector<SerialDeviceInfo> devices = ListSerialDevices(source_);
  if (!environment_)
    return devices;
  for (int n = kFirstPort; n <= kLastPort; ++n) {
    std::optional<std::string> named = environment_(PortVariable(n));
    if (!named)
      continue;
    const bool known = std::any_of(devices.begin(), devices.end(), [&](const SerialDeviceInfo& d) {
      return SameDevice(d.path, *named) || (!d.byIdLink.empty() && SameDevice(d.byIdLink, *named));
    });
    if (!known)
      devices.push_back(Describe(*named));
  }
  return devices;
}

SerialDeviceInfo SerialDevices::Describe(const std::string& device) const {
  return DescribeSerialDevice(device, source_);
}

std::string SerialDevices::PortLabel(int n, bool opened) const {
  const PortRoute route = Route(n);
  const SerialDeviceInfo device = Describe(route.device);
  std::string label = PortDisplayName(n) + ": " + FormatSerialDevice(device);
  if (!opened && device.present && PermissionDenied(route.device))
    label += std::string(DeviceDescription(device).empty() ? " \u2014 " : ", ") +
             "not open: permission denied";
  if (route.from == PortRoute::From::Environment)
    label += " (" + PortVariable(n) + ")";
  return label;
}

} // namespace pw::ui
