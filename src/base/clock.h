// SPDX-License-Identifier: GPL-3.0-or-later
// Time as the link sees it: blocking pauses and a millisecond tick count.
#pragma once

#include <cstdint>

namespace pw {

class Clock {
public:
  virtual ~Clock() = default;
  virtual void Sleep(std::uint32_t ms) = 0;
  virtual std::uint64_t Ticks() = 0; // milliseconds since an arbitrary start
};

// Real time, for the programs.
class SystemClock final : public Clock {
public:
  void Sleep(std::uint32_t ms) override;
  std::uint64_t Ticks() override;
};

// Virtual time, for tests and the in-process simulated pager: Sleep advances it at once.
class VirtualClock final : public Clock {
public:
  void Sleep(std::uint32_t ms) override { now_ += ms; }
  std::uint64_t Ticks() override { return now_; }
  void Advance(std::uint64_t ms) { now_ += ms; }

private:
  std::uint64_t now_ = 0;
};

} // namespace pw
