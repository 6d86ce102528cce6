// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pager_cradle.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "link/link_protocol.h"

namespace pw::sim {

PagerCradle::PagerCradle(std::vector<PagerFirmware> units, CradleSchedule schedule)
    : Units(std::move(units)), schedule_(schedule), writes_(Units.size(), 0) {}

PagerFirmware* PagerCradle::OnLine(std::uint64_t nowMs) {
  for (;;) {
    if (current_ >= 0) {
      std::uint64_t leave = schedule_.stayMs == 0 ? UINT64_MAX : since_ + schedule_.stayMs;
      if (leaveAt_ >= 0)
        leave = std::min(leave, static_cast<std::uint64_t>(leaveAt_));
      if (nowMs < leave)
        break;
      Remove(leave);
    } else {
      if (next_ >= static_cast<int>(Units.size()))
        break;
      const std::uint64_t due = Events.empty() ? schedule_.firstAtMs : since_ + schedule_.gapMs;
      if (nowMs < due)
        break;
      PutOn(next_++, due);
    }
  }
  return current_ >= 0 ? &Units[static_cast<std::size_t>(current_)] : nullptr;
}

void PagerCradle::TakeOff(std::uint64_t nowMs) {
  OnLine(nowMs);
  if (current_ >= 0)
    Remove(nowMs);
}

Reply PagerCradle::Receive(std::uint8_t b, std::uint64_t nowMs) {
  PagerFirmware* unit = OnLine(nowMs);
  if (unit == nullptr)
    return {};
  const std::size_t frames = unit->Frames.size();
  Reply reply = unit->Receive(b, nowMs);
  if (unit->Frames.size() == frames)
    return reply; // no request complete yet
  const auto index = static_cast<std::size_t>(current_);
  const FrameKind kind = unit->Frames.back().kind;
  if (kind == FrameKind::Write) {
    const int pullAt = index < PullAfterWrites.size() ? PullAfterWrites[index] : 0;
    if (++writes_[index] == pullAt) {
      Remove(nowMs);
      return {};
    }
  } else if (kind == FrameKind::Reset && !reply.empty() && reply.front().value == kAck &&
             schedule_.leaveAfterResetMs >= 0 && leaveAt_ < 0) {
    leaveAt_ = static_cast<std::int64_t>(nowMs) + schedule_.leaveAfterResetMs;
  }
  return reply;
}

void PagerCradle::PutOn(int unit, std::uint64_t at) {
  current_ = unit;
  since_ = at;
  // A unit put on the line has heard nothing of what was sent before.
  Units[static_cast<std::size_t>(unit)].ResetParser();
  Events.push_back({at, unit, true});
}

void PagerCradle::Remove(std::uint64_t at) {
  Events.push_back({at, current_, false});
  current_ = -1;
  leaveAt_ = -1;
  since_ = at;
}

Image WithSerialNumber(Image eeprom, std::string_view serial) {
  const std::size_t n = std::min<std::size_t>(serial.size(), map::kSerialNumberLength);
  std::copy_n(serial.begin(), n, eeprom.begin() + map::kSerialNumber);
  const std::uint16_t check =
      InvertedSum16(&eeprom[map::kPage1Start], map::kPage1ChecksumHi - map::kPage1Start);
  eeprom[map::kPage1ChecksumHi] = static_cast<std::uint8_t>(check >> 8);
  eeprom[map::kPage1ChecksumLo] = static_cast<std::uint8_t>(check);
  return eeprom;
}

std::string NthSerialNumber(std::string_view first, int n) {
  std::string serial(first.substr(0, map::kSerialNumberLength));
  serial.resize(map::kSerialNumberLength, '0');
  int number = 0;
  for (std::size_t i = serial.size() - 3; i < serial.size(); ++i)
    number = number * 10 + (serial[i] >= '0' && serial[i] <= '9' ? serial[i] - '0' : 0);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03d", (number + n) % 1000);
  serial.replace(serial.size() - 3, 3, digits);
  return serial;
}

std::vector<PagerFirmware> NumberedUnits(const Image& eeprom, const std::string& firmwareDigits,
                                         int count) {
  const std::string first(eeprom.begin() + map::kSerialNumber,
                          eeprom.begin() + map::kSerialNumber + map::kSerialNumberLength);
  std::vector<PagerFirmware> units;
  for (int k = 0; k < count; ++k)
    units.emplace_back(k == 0 ? eeprom : WithSerialNumber(eeprom, NthSerialNumber(first, k)),
                       firmwareDigits);
  return units;
}

} // namespace pw::sim
