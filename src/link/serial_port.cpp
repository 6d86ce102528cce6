// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/serial_port.h"

#include <cstdlib>

namespace pw {

namespace {
constexpr std::string_view kBusySuffix = "\" is used by another application now!";
} // namespace

StopBits StopBitsFromFloat(float stopBits) {
  if (stopBits == 1.5f)
    return StopBits::OneAndHalf;
  if (stopBits == 2.0f)
    return StopBits::Two;
  return StopBits::One;
}

std::string PortDisplayName(int n) {
  return "COM" + std::to_string(n);
}

std::string WindowsDevicePath(int n) {
  if (n < kFirstPort || n > kLastPort)
    return std::string();
  // Ports above 9 are reachable only through the device namespace.
  if (n <= 9)
    return PortDisplayName(n);
  return "\\\\.\\" + PortDisplayName(n);
}

std::string PosixDevicePath(int n) {
  if (n < kFirstPort || n > kLastPort)
    return std::string();
  const std::string variable = "PAGEWRIGHT_COM" + std::to_string(n);
  if (const char* device = std::getenv(variable.c_str()); device != nullptr && *device != '\0')
    return device;
  return "/dev/ttyS" + std::to_string(n - 1);
}

Message PortBusyMessage(const std::string& displayName, std::string detail) {
  return Message{"\"" + displayName + std::string(kBusySuffix), std::string(kPortBusyCaption),
                 Icon::Error, std::move(detail)};
}

std::string PortFailureText(PortFailure failure, const std::string& devicePath,
                            const std::string& extra) {
  const std::string more = extra.empty() ? std::string() : " " + extra;
  switch (failure) {
  case PortFailure::NoDevice:
    return "No such device: " + devicePath + ". Is the adapter plugged in?";
  case PortFailure::NoPermission:
    return "Permission denied: " + devicePath + "." + more;
  case PortFailure::Busy:
    return "In use: " + devicePath + " is held by " +
           (extra.empty() ? std::string("another program") : extra) + ".";
  case PortFailure::NotSerial:
    return "Not a serial device: " + devicePath + "." + (extra.empty() ? "" : more + ".");
  case PortFailure::Other:
    break;
  }
  return "Cannot open " + devicePath + ":" + more + ".";
}

} // namespace pw
