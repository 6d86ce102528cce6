// SPDX-License-Identifier: GPL-3.0-or-later
// Lends a port that the test owns, so the test can still look at a port the code under test
// has wrapped, replaced or released.
#pragma once

#include "link/serial_port.h"

namespace pw::test {

class BorrowedPort final : public SerialPort {
public:
  explicit BorrowedPort(SerialPort& port) : port_(port) {}
  bool Open(std::int32_t b, std::uint8_t p, std::uint8_t d, float s) override {
    return port_.Open(b, p, d, s);
  }
  bool Close() override { return port_.Close(); }
  bool WriteByte(std::uint8_t b) override { return port_.WriteByte(b); }
  bool ReadByte(std::uint8_t& b) override { return port_.ReadByte(b); }
  bool Purge() override { return port_.Purge(); }
  bool IsOpen() const override { return port_.IsOpen(); }

private:
  SerialPort& port_;
};

} // namespace pw::test
