// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/pager_firmware.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "link/link_protocol.h"

namespace pw::sim {

namespace {

constexpr std::uint8_t kReadLetter = 'r';
constexpr std::uint8_t kWriteLetter = 'w';
constexpr std::uint8_t kCommandStart = 'S';
constexpr std::size_t kFrameHeader = 5;
constexpr std::size_t kChecksumBytes = 2;

// The ASCII commands the firmware knows and its answer to each (nothing for "SUjD\r").
struct KnownCommand {
  std::string_view text;
  FrameKind kind;
  std::optional<std::uint8_t> answer;
};
constexpr std::array<KnownCommand, 8> kKnownCommands = {{
    {"SUj0", FrameKind::Command, '0'},
    {"SUjV", FrameKind::VersionQuery, std::nullopt},
    {"SUniRF>", FrameKind::Command, '>'},
    {"SUniRFX", FrameKind::Command, 'X'},
    {"SUniRFI", FrameKind::Command, 'I'},
    {"SUjP", FrameKind::Command, kAck},
    {"SUjD\r", FrameKind::Command, std::nullopt},
    {"SUniRST", FrameKind::Reset, kAck},
}};

std::string_view AsText(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool CouldStartFrame(std::uint8_t b) {
  return b == kReadLetter || b == kWriteLetter || b == kCommandStart;
}

std::uint16_t Word(std::uint8_t high, std::uint8_t low) {
  return static_cast<std::uint16_t>(high << 8 | low);
}

void AppendChecksum(Reply& reply, std::uint16_t sum, const PagerFaults& faults) {
  if (faults.wrongChecksum)
    sum = static_cast<std::uint16_t>(sum + 1);
  std::uint8_t high = static_cast<std::uint8_t>(sum >> 8);
  std::uint8_t low = static_cast<std::uint8_t>(sum & 0xFF);
  if (faults.swapChecksum)
    std::swap(high, low);
  reply.push_back({high});
  reply.push_back({low});
}

} // namespace

std::uint16_t WireSum16(const std::uint8_t* data, std::size_t count) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < count; ++i)
    sum += data[i];
  return static_cast<std::uint16_t>(sum);
}

PagerFirmware::PagerFirmware(const Image& eeprom, std::string firmwareDigits)
    : Eeprom(eeprom), FirmwareDigits(std::move(firmwareDigits)) {}

std::vector<ReceivedFrame> PagerFirmware::FramesOf(FrameKind kind) const {
  std::vector<ReceivedFrame> out;
  std::copy_if(Frames.begin(), Frames.end(), std::back_inserter(out),
               [kind](const ReceivedFrame& f) { return f.kind == kind; });
  return out;
}

void PagerFirmware::ResetParser() {
  pending_.clear();
}

void PagerFirmware::Restart(std::uint8_t b, std::uint64_t nowMs) {
  IgnoredBytes += pending_.size() - 1;
  pending_.clear();
  if (CouldStartFrame(b)) {
    pending_.push_back(b);
    lastByteAt_ = nowMs;
  } else {
    ++IgnoredBytes;
  }
}

PagerFaults PagerFirmware::TakeFaults() {
  if (NextFaults.empty())
    return Faults;
  PagerFaults f = NextFaults.front();
  NextFaults.pop_front();
  return f;
}

Reply PagerFirmware::Receive(std::uint8_t b, std::uint64_t nowMs) {
  if (!pending_.empty() && nowMs - lastByteAt_ > kFrameTimeoutMs) {
    IgnoredBytes += pending_.size();
    pending_.clear();
  }
  if (pending_.empty() && !CouldStartFrame(b)) {
    ++IgnoredBytes;
    return {};
  }
  pending_.push_back(b);
  lastByteAt_ = nowMs;

  ReceivedFrame frame{};
  frame.at = nowMs;
  const std::uint8_t first = pending_[0];
  if (first == kReadLetter) {
    if (pending_.size() < kFrameHeader)
      return {};
    frame.kind = FrameKind::Read;
    frame.address = Word(pending_[1], pending_[2]);
    frame.count = Word(pending_[3], pending_[4]) + 1;
  } else if (first == kWriteLetter) {
    if (pending_.size() < kFrameHeader)
      return {};
    const std::size_t count = Word(pending_[3], pending_[4]) + 1u;
    if (pending_.size() < kFrameHeader + count + kChecksumBytes)
      return {};
    frame.kind = FrameKind::Write;
    frame.address = Word(pending_[1], pending_[2]);
    frame.count = static_cast<int>(count);
    frame.data.assign(pending_.begin() + kFrameHeader, pending_.begin() + kFrameHeader + count);
    const std::uint16_t sent =
        Word(pending_[kFrameHeader + count], pending_[kFrameHeader + count + 1]);
    frame.checksumOk = sent == WireSum16(frame.data.data(), count);
  } else {
    const std::string_view text = AsText(pending_);
    const KnownCommand* match = nullptr;
    bool prefix = false;
    for (const KnownCommand& c : kKnownCommands) {
      if (c.text == text)
        match = &c;
      else if (c.text.starts_with(text))
        prefix = true;
    }
    if (match == nullptr) {
      if (!prefix)
        Restart(b, nowMs);
      return {};
    }
    frame.kind = match->kind;
    frame.command = std::string(text);
  }
  frame.bytes = std::move(pending_);
  pending_.clear();
  Frames.push_back(frame);
  return Answer(frame, TakeFaults());
}

Reply PagerFirmware::Answer(const ReceivedFrame& frame, const PagerFaults& faults) {
  if (frame.kind == FrameKind::Reset && ResetSilentTimes > 0) {
    --ResetSilentTimes;
    return {};
  }
  if (faults.silent)
    return {};

  Reply reply;
  if (faults.replaceReply) {
    for (std::uint8_t v : *faults.replaceReply)
      reply.push_back({v});
  } else if (faults.nak) {
    reply.push_back({kNak});
  } else {
    switch (frame.kind) {
    case FrameKind::Command:
    case FrameKind::Reset:
      for (const KnownCommand& c : kKnownCommands)
        if (c.text == frame.command && c.answer)
          reply.push_back({*c.answer});
      break;
    case FrameKind::VersionQuery: {
      const std::string text = std::string(kModelIdentification) + " " + FirmwareDigits;
      reply.push_back({faults.versionCount.value_or(static_cast<std::uint8_t>(text.size()))});
      unsigned sum = 0;
      for (char c : text) {
        reply.push_back({static_cast<std::uint8_t>(c)});
        sum += static_cast<std::uint8_t>(c);
      }
      if (faults.wrongChecksum)
        ++sum;
      reply.push_back({static_cast<std::uint8_t>(sum & 0xFF)});
      break;
    }
    case FrameKind::Read: {
      // The EEPROM ends at 0x7FF; a read past it is refused.
      if (frame.address + static_cast<std::size_t>(frame.count) > Eeprom.size()) {
        reply.push_back({kNak});
        break;
      }
      reply.push_back({kAck});
      const std::uint8_t* data = Eeprom.data() + frame.address;
      for (int i = 0; i < frame.count; ++i)
        reply.push_back({data[i]});
      AppendChecksum(reply, WireSum16(data, static_cast<std::size_t>(frame.count)), faults);
      break;
    }
    case FrameKind::Write: {
      if (!frame.checksumOk ||
          frame.address + static_cast<std::size_t>(frame.count) > Eeprom.size()) {
        reply.push_back({kNak});
        break;
      }
      if (!faults.ignoreWrite)
        std::copy(frame.data.begin(), frame.data.end(), Eeprom.begin() + frame.address);
      reply.push_back({kAck});
      if (!faults.noCompletion)
        reply.push_back({kWriteDone, faults.completionDelayMs});
      break;
    }
    }
  }
  if (faults.strayByte)
    reply.insert(reply.begin(), ReplyByte{*faults.strayByte});
  if (faults.cutAfter >= 0 && static_cast<std::size_t>(faults.cutAfter) < reply.size())
    reply.resize(static_cast<std::size_t>(faults.cutAfter));
  return reply;
}

} // namespace pw::sim
