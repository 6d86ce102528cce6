// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/in_process_port.h"

#include <algorithm>

namespace pw::sim {

InProcessPagerPort::InProcessPagerPort(PagerFirmware& firmware, VirtualClock& clock)
    : firmware_(&firmware), clock_(clock) {}

InProcessPagerPort::InProcessPagerPort(PagerCradle& cradle, VirtualClock& clock)
    : cradle_(&cradle), clock_(clock) {}

PagerFirmware* InProcessPagerPort::OnLine() {
  if (!cradle_) return firmware_;
  PagerFirmware* unit = cradle_->OnLine(clock_.Ticks());
  if (unit != firmware_) {
    pending_.clear();
    firmware_ = unit;
  }
  return unit;
}

bool InProcessPagerPort::Open(std::int32_t baudRate, std::uint8_t parity, std::uint8_t dataBits,
                              float stopBits) {
  if (FailOpen)
    return false;
  open_ = true;
  ++Opens;
  BaudRate = baudRate;
  Parity = parity;
  DataBits = dataBits;
  StopBitsArg = stopBits;
  return true;
}

bool InProcessPagerPort::Close() {
  if (!open_)
    return false;
  open_ = false;
  ++Closes;
  return true;
}

bool InProcessPagerPort::WriteByte(std::uint8_t b) {
  if (!open_)
    return false;
  if (FailWriteAfter == 0)
    return false;
  if (FailWriteAfter > 0)
    --FailWriteAfter;
  const std::uint64_t now = clock_.Ticks();
  Written.push_back({b, now});
  PagerFirmware* pager = OnLine();
  if (!pager) return true; // nobody on the line hears it
  std::uint64_t at = now;
  const Reply reply = cradle_ ? cradle_->Receive(b, now) : pager->Receive(b, now);
  if (OnLine() != pager)
    return true; // pulled by this request: the answer never leaves
  for (const ReplyByte& r : reply) {
    at += r.gapMs;
    pending_.push_back({r.value, at});
  }
  return true;
}

bool InProcessPagerPort::ReadByte(std::uint8_t& b) {
  if (!open_)
    return false;
  const std::uint64_t now = clock_.Ticks();
  ReadCalls.push_back(now);
  readCallWrites_.push_back(Written.size());
  OnLine();
  if (pending_.empty() || pending_.front().readyAt > now + ReadTimeoutMs) {
    clock_.Advance(ReadTimeoutMs);
    return false;
  }
  const PendingByte next = pending_.front();
  pending_.pop_front();
  if (next.readyAt > now)
    clock_.Advance(next.readyAt - now);
  b = next.value;
  Read.push_back({b, clock_.Ticks()});
  return true;
}

bool InProcessPagerPort::Purge() {
  if (!open_)
    return false;
  ++Purges;
  // Only what has already arrived is in the driver's buffer; later bytes are still on the way.
  const std::uint64_t now = clock_.Ticks();
  while (!pending_.empty() && pending_.front().readyAt <= now)
    pending_.pop_front();
  return true;
}

std::vector<std::uint8_t> InProcessPagerPort::WrittenBytes() const {
  std::vector<std::uint8_t> out;
  out.reserve(Written.size());
  for (const TimedByte& t : Written)
    out.push_back(t.value);
  return out;
}

std::vector<std::uint64_t> InProcessPagerPort::PausesAfterWrites() const {
  std::vector<std::uint64_t> out;
  for (std::size_t i = 0; i < Written.size(); ++i) {
    // The next event after write i is a read made before write i + 1, or write i + 1.
    auto read = std::find(readCallWrites_.begin(), readCallWrites_.end(), i + 1);
    if (read != readCallWrites_.end())
      out.push_back(ReadCalls[static_cast<std::size_t>(read - readCallWrites_.begin())] -
                    Written[i].at);
    else if (i + 1 < Written.size())
      out.push_back(Written[i + 1].at - Written[i].at);
  }
  return out;
}

void InProcessPagerPort::ClearLog() {
  Written.clear();
  Read.clear();
  ReadCalls.clear();
  readCallWrites_.clear();
  Purges = 0;
}

} // namespace pw::sim
