// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port on Windows: a COM device opened for exclusive use through the Win32 calls.
#pragma once

#include <string>

#include "link/serial_port.h"

namespace pw {

class Win32SerialPort final : public SerialPort {
public:
  Win32SerialPort(std::string devicePath, std::string displayName, Host& host);
  ~Win32SerialPort() override;
  Win32SerialPort(const Win32SerialPort&) = delete;
  Win32SerialPort& operator=(const Win32SerialPort&) = delete;

  bool Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
            float stopBits) override;
  bool Close() override;
  bool WriteByte(std::uint8_t b) override;
  bool ReadByte(std::uint8_t& b) override;
  bool Purge() override;
  bool IsOpen() const override { return isOpen_; }
  bool SetReadTimeout(std::uint32_t ms) override;

  const std::string& DevicePath() const { return devicePath_; }
  const std::string& DisplayName() const { return displayName_; }

private:
  bool Configure(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                 float stopBits);

  std::string devicePath_;
  std::string displayName_;
  Host& host_;
  void* handle_; // HANDLE; INVALID_HANDLE_VALUE while closed
  bool isOpen_ = false;
  std::uint32_t readTimeoutMs_ = kReadTimeoutMs;
};

} // namespace pw
