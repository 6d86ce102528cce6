// SPDX-License-Identifier: GPL-3.0-or-later
// Serial devices on Windows: the COM ports the system lists under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, joined by port name with what the device
// manager knows of them (friendly name, manufacturer, driver, USB ids).
#include "link/port_list.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// setupapi.h needs the types of windows.h.
#include <setupapi.h>

#include <algorithm>
#include <cctype>

namespace pw {

namespace {

// The device class of serial and parallel ports.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// "\\.\COM12" and "COM12" name the same port.
std::string_view PortName(std::string_view path) {
  if (path.substr(0, 4) == "\\\\.\\")
    path.remove_prefix(4);
  return path;
}

std::string RegistryString(HKEY key, const char* name) {
  char buffer[256] = {};
  DWORD size = sizeof buffer - 1, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  return std::string(buffer);
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  char buffer[512] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, &type,
                                         reinterpret_cast<BYTE*>(buffer), sizeof buffer - 1,
                                         nullptr) ||
      (type != REG_SZ && type != REG_MULTI_SZ))
    return {};
  return std::string(buffer);
}

// The ports the system lists, as "COM3" with no details yet.
std::vector<SerialDeviceInfo> ListedPorts(const PortListSource& source) {
  std::vector<SerialDeviceInfo> ports;
  HKEY key = nullptr;
  HKEY root = source.serialCommInCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  if (RegOpenKeyExA(root, source.serialCommKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return ports;
  for (DWORD index = 0;; ++index) {
    char name[256] = {};
    BYTE data[256] = {};
    DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
    const LONG status = RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
    if (status == ERROR_NO_MORE_ITEMS)
      break;
    if (status != ERROR_SUCCESS || type != REG_SZ || dataSize == 0)
      continue;
    SerialDeviceInfo port;
    port.path = reinterpret_cast<const char*>(data);
    if (!port.path.empty())
      ports.push_back(std::move(port));
  }
  RegCloseKey(key);
  return ports;
}

// Adds what the device manager knows to the listed ports.
void AddDeviceDetails(std::vector<SerialDeviceInfo>& ports) {
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE)
    return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
      continue;
    const std::string portName = RegistryString(key, "PortName");
    RegCloseKey(key);
    auto port = std::find_if(ports.begin(), ports.end(),
                             [&](const SerialDeviceInfo& p) { return SameName(p.path, portName); });
    if (portName.empty() || port == ports.end())
      continue;
    port->friendlyName = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
    port->manufacturer = DeviceProperty(set, device, SPDRP_MFG);
    port->driver = DeviceProperty(set, device, SPDRP_SERVICE);
    char instance[512] = {};
    if (SetupDiGetDeviceInstanceIdA(set, &device, instance, sizeof instance - 1, nullptr))
      ParseDeviceInstanceId(instance, *port);
  }
  SetupDiDestroyDeviceInfoList(set);
}

} // namespace

std::vector<SerialDeviceInfo> ListSerialDevices(const PortListSource& source) {
  std::vector<SerialDeviceInfo> ports = ListedPorts(source);
  if (!ports.empty())
    AddDeviceDetails(ports);
  std::sort(ports.begin(), ports.end(), [](const SerialDeviceInfo& a, const SerialDeviceInfo& b) {
    return NaturalLess(a.path, b.path);
  });
  return ports;
}

SerialDeviceInfo DescribeSerialDevice(const std::string& path, const PortListSource& source) {
  for (const SerialDeviceInfo& port : ListSerialDevices(source))
    if (SameName(port.path, PortName(path)))
      return port;
  SerialDeviceInfo info;
  info.path = path;
  info.present = false;
  return info;
}

} // namespace pw
