// SPDX-License-Identifier: GPL-3.0-or-later
// A SerialPort wired straight to a simulated pager on a virtual clock, for tests: what the
// link writes is fed to the firmware, and reads take the firmware's answer. A read with
// nothing pending advances the clock by the port's read time-out and fails, so time-outs cost
// no real time and every pause can be asserted exactly. Wired to a cradle instead, the port
// talks to whichever unit is on the line at the time; with none, what is sent is lost.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "base/clock.h"
#include "link/serial_port.h"
#include "sim/pager_cradle.h"
#include "sim/pager_firmware.h"

namespace pw::sim {

inline constexpr std::uint32_t kPortReadTimeoutMs = 5200;

class InProcessPagerPort final : public SerialPort {
public:
  InProcessPagerPort(PagerFirmware& firmware, VirtualClock& clock);
  InProcessPagerPort(PagerCradle& cradle, VirtualClock& clock);

  bool Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
            float stopBits) override;
  bool Close() override;
  bool WriteByte(std::uint8_t b) override;
  bool ReadByte(std::uint8_t& b) override;
  bool Purge() override;
  bool IsOpen() const override { return open_; }
  bool SetReadTimeout(std::uint32_t ms) override {
    ReadTimeoutMs = ms;
    return true;
  }

  struct TimedByte {
    std::uint8_t value;
    std::uint64_t at; // clock time of the write or read
    bool operator==(const TimedByte&) const = default;
  };

  // Every byte written, with the clock time of the write.
  std::vector<TimedByte> Written;
  // Every byte read successfully, with the clock time it was returned.
  std::vector<TimedByte> Read;
  // Clock time at the start of every ReadByte call, successful or not.
  std::vector<std::uint64_t> ReadCalls;
  int Purges = 0;
  int Opens = 0;
  int Closes = 0;

  // Values of Written only.
  std::vector<std::uint8_t> WrittenBytes() const;
  // Time from each written byte to the next write, or to the first read for the last one.
  std::vector<std::uint64_t> PausesAfterWrites() const;
  // Reply bytes not yet read.
  std::size_t Pending() const { return pending_.size(); }
  void ClearLog();

  // Failure switches.
  bool FailOpen = false;   // Open returns false (the port is held elsewhere)
  int FailWriteAfter = -1; // writes succeed this many more times, then fail (-1: never)
  std::uint32_t ReadTimeoutMs = kPortReadTimeoutMs;

  // Line settings of the last successful Open.
  std::int32_t BaudRate = 0;
  std::uint8_t Parity = 0xFF;
  std::uint8_t DataBits = 0;
  float StopBitsArg = 0.0f;

private:
  struct PendingByte {
    std::uint8_t value;
    std::uint64_t readyAt;
  };
  // The pager on the line now; a unit that left takes its unread answer with it.
  PagerFirmware* OnLine();

  PagerFirmware* firmware_ = nullptr;
  PagerCradle* cradle_ = nullptr;
  VirtualClock& clock_;
  bool open_ = false;
  std::deque<PendingByte> pending_;
  std::vector<std::size_t> readCallWrites_; // bytes written before each read call
};

} // namespace pw::sim
