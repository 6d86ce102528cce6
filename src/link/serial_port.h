// SPDX-License-Identifier: GPL-3.0-or-later
// The one open serial port to the pager. Everything above it moves one byte per call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/message.h"

namespace pw {

class Host;

class SerialPort {
public:
  virtual ~SerialPort() = default;
  // Opens the port's device and configures it; every caller passes 1200, 0, 8, 1.0.
  virtual bool Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                    float stopBits) = 0;
  virtual bool Close() = 0;
  virtual bool WriteByte(std::uint8_t b) = 0;
  // False when no byte arrived within the port's read time-out (5200 ms).
  virtual bool ReadByte(std::uint8_t& b) = 0;
  // Discards both the transmit and the receive buffer.
  virtual bool Purge() = 0;
  virtual bool IsOpen() const = 0;
  // How long a ReadByte waits for a byte; the protocol's 5200 ms unless changed. Only a
  // quiet poll for a pager (is anyone on the line?) shortens it, and puts it back after.
  // False when the port cannot change it.
  virtual bool SetReadTimeout(std::uint32_t ms) {
    (void)ms;
    return false;
  }
};

// Stop bits as the line settings encode them: exactly 1.5 and 2.0 select their own setting,
// anything else one stop bit.
enum class StopBits { One = 0, OneAndHalf = 1, Two = 2 };
StopBits StopBitsFromFloat(float stopBits);

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 256;
// A single-byte read gives up after this long without data.
inline constexpr std::uint32_t kReadTimeoutMs = 5200;
// A single-byte write gives up after this long when the line takes no more bytes.
inline constexpr std::uint32_t kWriteTimeoutMs = 5200;

// Port n (1-256) as the user knows it ("COM7") and the device the open call is given.
std::string PortDisplayName(int n);
// Windows device path: "COM1".."COM9", "\\.\COM10".."\\.\COM256"; empty outside 1-256.
std::string WindowsDevicePath(int n);
// POSIX device: $PAGEWRIGHT_COM<n> when set, else /dev/ttyS<n-1>; empty outside 1-256.
std::string PosixDevicePath(int n);

// What a failed open shows: the port's name in quotes, under the programmer's caption, with
// the reason the system gave (PortFailureText) as the message's detail when it is known.
inline constexpr std::string_view kPortBusyCaption = "Tavo Programmer";
Message PortBusyMessage(const std::string& displayName, std::string detail = {});

// Why a device did not open, as the user can act on it.
enum class PortFailure {
  NoDevice,     // nothing at that path: the adapter is not plugged in
  NoPermission, // extra: which group may use it, and what to do
  Busy,         // extra: who holds it ("process 1234 (minicom)"), or empty
  NotSerial,    // the path is no serial device; extra: the system's words, or empty
  Other,        // extra: the system's own words
};
// One or two sentences naming the device path, e.g. "No such device: /dev/ttyUSB0. Is the
// adapter plugged in?"
std::string PortFailureText(PortFailure failure, const std::string& devicePath,
                            const std::string& extra = {});

// The real port of this platform for port n; a failed open shows the busy message via host.
std::unique_ptr<SerialPort> MakeSystemSerialPort(int n, Host& host);
// Port n, shown to the user as "COM<n>", opened on an explicit device (a path such as
// /dev/ttyUSB0 on POSIX, a device name such as \\.\COM12 on Windows) instead of the one
// the port number maps to.
std::unique_ptr<SerialPort> MakeSystemSerialPortOnDevice(int n, const std::string& devicePath,
                                                         Host& host);

} // namespace pw
