// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/link_protocol.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "base/clock.h"
#include "base/host.h"
#include "link/serial_port.h"

namespace pw {

namespace {

// Pauses of each operation: after every request byte, and before the first reply byte.
struct Pacing {
  std::uint32_t afterByte;
  std::uint32_t beforeReply;
};
constexpr Pacing kCommandPacing{50, 0};
constexpr Pacing kSUjDPacing{50, 1000};
constexpr Pacing kVersionPacing{25, 0};
constexpr Pacing kStampPacing{10, 0};
constexpr Pacing kReadPacing{10, 10};
constexpr Pacing kWritePacing{10, 500};
// How long a write may take after its ACK before the completion byte must have come.
constexpr std::uint64_t kWriteCompletionMs = 10000;

constexpr std::uint8_t kReadLetter = 'r';
constexpr std::uint8_t kWriteLetter = 'w';
constexpr std::size_t kFrameHeader = 5; // letter, address high/low, count - 1 high/low
constexpr std::size_t kChecksumBytes = 2;

constexpr std::string_view kModelLiteral = kModelIdentification;
constexpr std::size_t kModelCompared = 6; // "RV615-"
constexpr std::size_t kIdentificationLength = 18;

constexpr std::size_t kVersionBufferSize = 50;
// The count byte and its data must leave room for the checksum in the version buffer.
constexpr int kVersionCountMax = static_cast<int>(kVersionBufferSize) - 1;
constexpr std::size_t kVersionDigitsAt = 11; // 0-based: characters 12-17 of the text
constexpr std::size_t kVersionDigits = 6;
constexpr const char* kFirmwareVersionLabel = "lblFireware_Version";

struct CommandEntry {
  std::string_view bytes;
  std::optional<std::uint8_t> accepted; // the single reply byte that means success
  std::string_view successText;         // empty: nothing is shown
  bool alwaysShown;                     // shown whether or not the caller asked
  Pacing pacing;
};
constexpr CommandEntry kCommands[] = {
    {"SUj0", '0', "SUj0 Successfully", true, kCommandPacing},
    {"SUjV", std::nullopt, "", false, kCommandPacing},
    {"SUniRF>", '>', "SUniRF> Successfully", true, kCommandPacing},
    {"SUniRFX", 'X', "SUniRFX Successfully", false, kCommandPacing},
    {"SUniRFI", 'I', "SUniRFI Successfully", false, kCommandPacing},
    {"SUjP", kAck, "SUjP Successfully", false, kCommandPacing},
    {"SUjD\r", std::nullopt, "", false, kSUjDPacing},
    {"SUniRST", kAck, "", false, kCommandPacing},
};
constexpr int kCommandCount = static_cast<int>(std::size(kCommands));

// The bytes that can answer a command on their own.
bool IsSingleByteReply(std::uint8_t b) {
  return b == '0' || b == '>' || b == 'X' || b == 'I' || b == kAck;
}

// Gauge positions per ProgressMode; see ReadBlock and WriteBlock.
struct ProgressRule {
  bool moves;
  int readBase;
  int writeBase;
  bool writeAddsSegment;
};
constexpr ProgressRule kProgressRules[] = {
    {false, 0, 0, false},    // kProgressNone
    {true, 511, 511, true},  // kProgressPatch
    {true, 0, 0, true},      // kProgressFrom0
    {true, 256, 256, false}, // kProgressPage1
    {true, 0, 0, false},     // kProgressPage0
};

const ProgressRule& RuleFor(int mode) {
  if (mode < 0 || mode >= static_cast<int>(std::size(kProgressRules)))
    return kProgressRules[0];
  return kProgressRules[mode];
}

void MoveGauge(Host& host, double percent) {
  int value = static_cast<int>(std::clamp(percent, 0.0, 100.0));
  if (value != host.Progress())
    host.SetProgress(value);
}

bool SendPaced(SerialPort& port, Clock& clock, const std::uint8_t* bytes, std::size_t count,
               std::uint32_t pause) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!port.WriteByte(bytes[i]))
      return false;
    clock.Sleep(pause);
  }
  return true;
}

std::uint16_t Sum16(const std::uint8_t* data, std::size_t count) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < count; ++i)
    sum += data[i];
  return static_cast<std::uint16_t>(sum);
}

std::uint8_t High(unsigned v) {
  return static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
std::uint8_t Low(unsigned v) {
  return static_cast<std::uint8_t>(v & 0xFF);
}

void PutFrameHeader(std::uint8_t* frame, std::uint8_t letter, std::uint16_t address, int count) {
  const unsigned last = static_cast<unsigned>(count - 1);
  frame[0] = letter;
  frame[1] = High(address);
  frame[2] = Low(address);
  frame[3] = High(last);
  frame[4] = Low(last);
}

bool IsDigit(std::uint8_t c) {
  return c >= '0' && c <= '9';
}

// The decimal value of a run of digits; nothing when one of them is not a digit.
std::optional<int> DigitsValue(std::string_view text) {
  if (text.empty())
    return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(static_cast<std::uint8_t>(c)))
      return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

} // namespace

Link::Link(Clock& clock, Host& host) : clock_(clock), host_(host) {}

LinkResult Link::SendCommand(SerialPort& port, int index, bool show) {
  if (index < 0 || index >= kCommandCount)
    return kLinkFailure;
  const CommandEntry& command = kCommands[index];
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(command.bytes.data());

  auto send = [&] {
    if (!SendPaced(port, clock_, bytes, command.bytes.size(), command.pacing.afterByte))
      return false;
    if (command.pacing.beforeReply > 0)
      clock_.Sleep(command.pacing.beforeReply);
    return true;
  };
  auto judgeSingleByte = [&](std::uint8_t b) {
    if (!command.accepted || b != *command.accepted)
      return kLinkFailure;
    if (!command.successText.empty() && (command.alwaysShown || show))
      host_.ShowMessage(std::string(command.successText));
    return kLinkSuccess;
  };

  port.Purge();
  if (!send())
    return kLinkFailure;
  std::uint8_t b = 0;
  if (!port.ReadByte(b))
    return kLinkFailure;
  if (IsSingleByteReply(b))
    return judgeSingleByte(b);

  if (b == static_cast<std::uint8_t>(kModelLiteral[0])) {
    std::string text(1, static_cast<char>(b));
    for (std::size_t pos = 1; pos < kIdentificationLength; ++pos) {
      if (!port.ReadByte(b))
        return kLinkFailure;
      if (b == kNak)
        return kLinkNak;
      if (pos < kModelCompared && b != static_cast<std::uint8_t>(kModelLiteral[pos]))
        return kLinkFailure;
      text.push_back(static_cast<char>(b));
    }
    host_.ShowMessage(text);
    return kLinkSuccess;
  }

  // Anything else: the pager may have missed the start of the command; say it once more.
  if (!send())
    return kLinkFailure;
  if (!port.ReadByte(b))
    return kLinkFailure;
  if (IsSingleByteReply(b))
    return judgeSingleByte(b);
  return kLinkFailure;
}

LinkResult Link::QueryFirmwareVersion(SerialPort& port, int mode) {
  if (mode == 1) {
    FirmwareVersionValid = false;
    FirmwareVersionNumber = 0;
  }
  port.Purge();
  std::array<std::uint8_t, kVersionBufferSize> buffer{};
  const auto* request = reinterpret_cast<const std::uint8_t*>(kCommands[kCmdSUjV].bytes.data());
  if (!SendPaced(port, clock_, request, kCommands[kCmdSUjV].bytes.size(), kVersionPacing.afterByte))
    return kLinkFailure;

  std::uint8_t b = 0;
  if (!port.ReadByte(b))
    return kLinkFailure;
  const int count = static_cast<std::int8_t>(b);
  if (count <= 0 || count > kVersionCountMax)
    return kLinkFailure;

  std::string text;
  unsigned sum = 0;
  for (int i = 0; i < count; ++i) {
    if (!port.ReadByte(b))
      return kLinkFailure;
    if (b == kNak)
      return kLinkNak;
    buffer[static_cast<std::size_t>(i)] = b;
    text.push_back(static_cast<char>(b));
    sum += b;
  }
  if (!port.ReadByte(b))
    return kLinkFailure;
  if (b != Low(sum))
    return kLinkFailure;
  FirmwareVersionText = text;

  if (mode != 1) {
    host_.ShowMessage(text);
    return kLinkSuccess;
  }
  host_.SetText(kFirmwareVersionLabel, "");
  host_.SetText(kFirmwareVersionLabel, text);
  for (std::size_t i = kVersionDigitsAt; i < kVersionDigitsAt + kVersionDigits; ++i)
    if (buffer[i] == 0)
      return kLinkFailure;
  // Six characters that are no number leave the version invalid; the caller stops there.
  if (auto value = DigitsValue(std::string_view(text).substr(kVersionDigitsAt, kVersionDigits))) {
    FirmwareVersionNumber = *value;
    FirmwareVersionValid = true;
  }
  return kLinkSuccess;
}

LinkResult Link::ReadVersionStamp(SerialPort& port) {
  port.Purge();
  std::uint8_t frame[kFrameHeader];
  PutFrameHeader(frame, kReadLetter, kStampAddress, kStampBytes);
  if (!SendPaced(port, clock_, frame, kFrameHeader, kStampPacing.afterByte))
    return kLinkFailure;

  std::uint8_t b = 0;
  if (!port.ReadByte(b))
    return kLinkNoReply;
  if (b == kNak)
    return kLinkNak;
  if (b != kAck)
    return kLinkUnexpected;

  std::array<std::uint8_t, kStampBytes + kChecksumBytes> reply{};
  for (std::uint8_t& r : reply)
    if (!port.ReadByte(r))
      return kLinkNoReply;
  const std::uint16_t sum = Sum16(reply.data(), kStampBytes);
  if (reply[kStampBytes] != High(sum) || reply[kStampBytes + 1] != Low(sum))
    return kLinkChecksum;

  const int digits =
      static_cast<int>(std::count_if(reply.begin(), reply.begin() + kStampBytes, IsDigit));
  PagerStamp = digits == kStampBytes
                   ? std::string(reply.begin(), reply.begin() + kStampBytes)
                   : std::string("000000");
  PagerStampNumber = DigitsValue(PagerStamp).value_or(0);
  SoftwareStampNumber = DigitsValue(kSoftwareStamp).value_or(0);
  return kLinkSuccess;
}

LinkResult Link::ReadBlock(SerialPort& port, std::uint16_t address, int count, int mode) {
  if (count < 1 || static_cast<std::size_t>(count) + kChecksumBytes > kLinkBufferSize)
    return kLinkFailure;
  port.Purge();
  std::uint8_t frame[kFrameHeader];
  PutFrameHeader(frame, kReadLetter, address, count);
  if (!SendPaced(port, clock_, frame, kFrameHeader, kReadPacing.afterByte))
    return kLinkFailure;
  clock_.Sleep(kReadPacing.beforeReply);
  ReceiveBuffer.fill(0);

  std::uint8_t b = 0;
  if (!port.ReadByte(b))
    return kLinkNoReply;
  host_.PumpMessages();
  if (b == kNak)
    return kLinkNak;
  if (b != kAck)
    return kLinkFailure;

  const ProgressRule& rule = RuleFor(mode);
  const std::size_t total = static_cast<std::size_t>(count) + kChecksumBytes;
  for (std::size_t i = 0; i < total; ++i) {
    if (!port.ReadByte(ReceiveBuffer[i]))
      return kLinkNoReply;
    if (rule.moves && ProgressTotal > 0)
      MoveGauge(host_,
                (static_cast<double>(i) + rule.readBase + ProgressBase) / ProgressTotal * 100.0 +
                    0.5);
  }
  const std::size_t n = static_cast<std::size_t>(count);
  const std::uint16_t sum = Sum16(ReceiveBuffer.data(), n);
  if (ReceiveBuffer[n] != High(sum) || ReceiveBuffer[n + 1] != Low(sum))
    return kLinkChecksum;
  return kLinkSuccess;
}

LinkResult Link::WriteBlock(SerialPort& port, std::uint16_t address, int count, int mode) {
  constexpr std::size_t kFrameOverhead = kFrameHeader + kChecksumBytes;
  if (count < 1 || static_cast<std::size_t>(count) + kFrameOverhead > kLinkBufferSize)
    return kLinkFailure;
  port.Purge();
  const std::size_t n = static_cast<std::size_t>(count);
  std::array<std::uint8_t, kLinkBufferSize> frame{};
  PutFrameHeader(frame.data(), kWriteLetter, address, count);
  std::copy_n(TransmitBuffer.begin(), n, frame.begin() + kFrameHeader);
  const std::uint16_t sum = Sum16(TransmitBuffer.data(), n);
  frame[kFrameHeader + n] = High(sum);
  frame[kFrameHeader + n + 1] = Low(sum);

  const ProgressRule& rule = RuleFor(mode);
  const double base = rule.writeBase + (rule.writeAddsSegment ? SegmentOffset : 0) + ProgressBase;
  const std::size_t length = n + kFrameOverhead;
  for (std::size_t q = 0; q < length; ++q) {
    if (!port.WriteByte(frame[q]))
      return kLinkFailure;
    if (rule.moves && q >= kFrameHeader && ProgressTotal + 7 > 0)
      MoveGauge(host_, (base + static_cast<double>(q)) / (ProgressTotal + 7) * 100.0);
    clock_.Sleep(kWritePacing.afterByte);
  }
  clock_.Sleep(kWritePacing.beforeReply);
  if (mode == kProgressPatch || mode == kProgressPage1)
    host_.PumpMessages();

  std::uint8_t b = 0;
  if (!port.ReadByte(b))
    return kLinkNoReply;
  if (b == kNak)
    return kLinkNak;
  if (b != kAck)
    return kLinkFailure;

  // The pager acknowledges the frame at once and reports completion once the EEPROM is written.
  const std::uint64_t acked = clock_.Ticks();
  for (;;) {
    if (clock_.Ticks() - acked >= kWriteCompletionMs)
      return kLinkChecksum;
    if (port.ReadByte(b) && (b == kAck || b == kWriteDone))
      return kLinkSuccess;
  }
}

} // namespace pw
