// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port on POSIX systems: a tty device (a real port, a USB adapter or a
// pseudo-terminal) in raw mode, held exclusively.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace pw {

// The reason an open of devicePath failed with errno error, in plain words: no such device,
// permission denied (with the group that may use it), held by another process (its pid and
// name, from the kernel's lock list or a UUCP lock file), not a serial device.
std::string DescribeOpenFailure(const std::string& devicePath, int error);

class PosixSerialPort final : public SerialPort {
public:
  PosixSerialPort(std::string devicePath, std::string displayName, Host& host);
  ~PosixSerialPort() override;
  PosixSerialPort(const PosixSerialPort&) = delete;
  PosixSerialPort& operator=(const PosixSerialPort&) = delete;

  bool Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
            float stopBits) override;
  bool Close() override;
  bool WriteByte(std::uint8_t b) override;
  bool ReadByte(std::uint8_t& b) override;
  bool Purge() override;
  bool IsOpen() const override { return isOpen_; }
  bool SetReadTimeout(std::uint32_t ms) override {
    readTimeoutMs_ = ms;
    return true;
  }

  const std::string& DevicePath() const { return devicePath_; }
  const std::string& DisplayName() const { return displayName_; }

private:
  bool Configure(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits, float stopBits);

  std::string devicePath_;
  std::string displayName_;
  Host& host_;
  int fd_ = -1;
  bool isOpen_ = false;
  std::uint32_t readTimeoutMs_ = kReadTimeoutMs;
};

} // namespace pw
