// SPDX-License-Identifier: GPL-3.0-or-later
// The serial devices of this computer, described by what a technician recognises them by:
// the device, its stable by-id link, the driver, and a USB adapter's ids and strings.
// Linux reads sysfs; Windows the system's list of COM ports with their friendly names.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pw {

struct SerialDeviceInfo {
  std::string path;         // /dev/ttyUSB0, a pseudo-terminal's link as named, COM3
  std::string byIdLink;     // /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0
  std::string driver;       // ftdi_sio, cp210x, serial, pty; on Windows the driver service
  std::string vendorId;     // USB ids, four lower-case hex digits: "0403"
  std::string productId;    // "6001"
  std::string manufacturer; // "FTDI"
  std::string product;      // "FT232R USB UART"
  std::string serialNumber; // "A50285BI"
  std::string friendlyName; // Windows: "USB Serial Port (COM3)"
  bool present = true;      // the device node exists
};

// Where discovery looks. Linux: the roots of sysfs and of the device folder (a fake tree in
// tests). Windows: the registry key that lists the COM ports, under HKEY_LOCAL_MACHINE, or
// under HKEY_CURRENT_USER when serialCommInCurrentUser is set (tests).
struct PortListSource {
  std::filesystem::path sysRoot = "/sys";
  std::filesystem::path devRoot = "/dev";
  std::string serialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
  bool serialCommInCurrentUser = false;
};

// Every serial device of the machine, in natural order (ttyS2 before ttyS10). Built-in port
// slots without a UART behind them are left out.
std::vector<SerialDeviceInfo> ListSerialDevices(const PortListSource& source = {});
// One device named by the user or the environment: a device, a by-id link, or a link to a
// pseudo-terminal (as pagewright-sim makes). A by-id or by-path link is shown as its device.
SerialDeviceInfo DescribeSerialDevice(const std::string& path, const PortListSource& source = {});

// What the device is, in a few words: "FT232R USB UART", "pseudo-terminal"; empty when
// nothing is known about it.
std::string DeviceDescription(const SerialDeviceInfo& device);
// The device for people: "/dev/ttyUSB0 — FT232R USB UART" (UTF-8).
std::string FormatSerialDevice(const SerialDeviceInfo& device);
// Everything known beyond the description, one "name: value" per line.
std::string DeviceDetails(const SerialDeviceInfo& device);

// Ordering of device names with their numbers compared as numbers.
bool NaturalLess(std::string_view a, std::string_view b);

// The vendor id, product id and serial number in a Windows device instance id:
// "USB\VID_0403&PID_6001\A50285BI", "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000". A serial
// the system made up (it holds '&') is not reported. False when no ids are found.
bool ParseDeviceInstanceId(std::string_view id, SerialDeviceInfo& device);

} // namespace pw
