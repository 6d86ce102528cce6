// SPDX-License-Identifier: GPL-3.0-or-later
// Port discovery on Windows (run under Wine or on Windows): the COM ports of a list in the
// registry come back in natural order, each once, with what is known of them; the system's
// own list yields COM names only.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "link/port_list.h"

namespace pw::test {
namespace {

TEST(PortListWindows, ThePortsOfTheRegistryListInNaturalOrder) {
  const std::string key =
      "Software\\Pagewright-test-" + std::to_string(GetCurrentProcessId()) + "\\SERIALCOMM";
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  auto put = [&](const char* name, const char* port) {
    RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                   static_cast<DWORD>(std::strlen(port) + 1));
  };
  put("\\Device\\Serial9", "COM210");
  put("\\Device\\VCP0", "COM203");
  put("\\Device\\Serial2", "COM21");
  const DWORD notAName = 7;
  RegSetValueExA(handle, "\\Device\\Odd", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&notAName),
                 sizeof notAName);
  RegCloseKey(handle);

  PortListSource source;
  source.serialCommKey = key;
  source.serialCommInCurrentUser = true;
  const std::vector<SerialDeviceInfo> ports = ListSerialDevices(source);
  const SerialDeviceInfo described = DescribeSerialDevice("\\\\.\\COM203", source);
  const SerialDeviceInfo missing = DescribeSerialDevice("COM99", source);
  RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, key.substr(0, key.rfind('\\')).c_str());

  ASSERT_EQ(ports.size(), 3u);
  EXPECT_EQ(ports[0].path, "COM21");
  EXPECT_EQ(ports[1].path, "COM203");
  EXPECT_EQ(ports[2].path, "COM210");
  EXPECT_EQ(described.path, "COM203");
  EXPECT_FALSE(missing.present);
}

TEST(PortListWindows, TheSystemsOwnListNamesComPorts) {
  for (const SerialDeviceInfo& port : ListSerialDevices()) {
    EXPECT_EQ(port.path.rfind("COM", 0), 0u) << port.path;
    EXPECT_EQ(FormatSerialDevice(port).rfind(port.path, 0), 0u);
  }
}

} // namespace
} // namespace pw::test
#endif
