// SPDX-License-Identifier: GPL-3.0-or-later
// ports: the serial devices of this computer, as a technician finds the adapter in them.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "link/port_list.h"
#include "link/serial_port.h"
#include "ui/serial_devices.h"
#include "ui/user_settings.h"

namespace pw::cli {

int RunPorts(const PortsOptions& o) {
  PortListSource source;
  if (!o.root.empty()) {
    source.sysRoot = std::filesystem::path(o.root) / "sys";
    source.devRoot = std::filesystem::path(o.root) / "dev";
  }
  const ui::SerialDevices devices(ui::UserSettings::DefaultPath(), source);
  ReportSettingsProblem(devices.SettingsProblem());
  const std::vector<SerialDeviceInfo> found = devices.Discover();
  if (found.empty()) {
    std::printf("No serial devices found.\n");
    return kExitOk;
  }
  for (const SerialDeviceInfo& device : found) {
    std::printf("%s\n", FormatSerialDevice(device).c_str());
    std::string details = DeviceDetails(device);
    for (std::size_t start = 0; start < details.size();) {
      std::size_t end = details.find('\n', start);
      if (end == std::string::npos) end = details.size();
      std::printf("  %s\n", details.substr(start, end - start).c_str());
      start = end + 1;
    }
    std::string used;
    for (int n = kFirstPort; n <= kLastPort; ++n) {
      const ui::PortRoute route = devices.Route(n);
      if (route.from != ui::PortRoute::From::Own && ui::SameDevice(route.device, device.path))
        used += (used.empty() ? "" : ", ") + PortDisplayName(n);
    }
    if (!used.empty()) std::printf("  opened as: %s\n", used.c_str());
  }
  return kExitOk;
}

} // namespace pw::cli
