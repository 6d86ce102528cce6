// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated pager: the programming firmware of an RV615 with its 2048-byte EEPROM. It is
// fed the bytes the PC sends, one at a time, and answers each complete request with reply
// bytes. Faults can be switched on for every request or for the next few requests only.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "codeplug/codeplug.h"

namespace pw::sim {

// How the pager misbehaves when it answers a request. The default answers correctly.
struct PagerFaults {
  bool nak = false;           // answer with a single NAK instead of the reply
  bool silent = false;        // answer nothing at all
  bool swapChecksum = false;  // block/stamp reads: checksum bytes low byte first
  bool wrongChecksum = false; // block/stamp reads: checksum off by one; version: sum off by one
  std::optional<std::uint8_t> strayByte = std::nullopt; // one extra byte sent before the answer
  int cutAfter = -1;         // send only the first N bytes of the answer (stray byte included)
  bool noCompletion = false; // writes: ACK, but never the completion byte 0x0C
  std::uint32_t completionDelayMs = 0; // writes: time the EEPROM takes before 0x0C
  std::optional<std::uint8_t> versionCount =
      std::nullopt; // "SUjV": this count byte instead of the real one
  std::optional<std::vector<std::uint8_t>> replaceReply =
      std::nullopt;         // answer exactly these bytes
  bool ignoreWrite = false; // writes: answer as usual but leave the EEPROM unchanged
};

// One byte of an answer: the value and the time between the previous reply byte (or the end
// of the request, for the first) and this one becoming ready on the line.
struct ReplyByte {
  std::uint8_t value;
  std::uint32_t gapMs = 0;
  bool operator==(const ReplyByte&) const = default;
};
using Reply = std::vector<ReplyByte>;

enum class FrameKind { Command, VersionQuery, Read, Write, Reset };

// A complete request the pager received, as it arrived.
struct ReceivedFrame {
  FrameKind kind;
  std::vector<std::uint8_t> bytes; // the whole frame as received
  std::string command;             // the ASCII text for commands, "SUjV" and "SUniRST"
  std::uint16_t address = 0;       // reads and writes
  int count = 0;                   // reads and writes: bytes of data
  std::vector<std::uint8_t> data;  // writes: the data bytes
  bool checksumOk = true;          // writes: whether the frame checksum matched
  std::uint64_t at = 0;            // time the last byte arrived
};

inline constexpr std::string_view kDefaultFirmwareDigits = "010209";
// A partial request is dropped when its next byte is this late.
inline constexpr std::uint64_t kFrameTimeoutMs = 2000;

class PagerFirmware {
public:
  // A pager programmed with the built-in default codeplug, firmware "010209".
  PagerFirmware();
  explicit PagerFirmware(const Image& eeprom,
                         std::string firmwareDigits = std::string(kDefaultFirmwareDigits));

  // Takes one byte received at time nowMs (milliseconds, any origin) and returns what the
  // pager answers; empty while a request is incomplete.
  Reply Receive(std::uint8_t b, std::uint64_t nowMs);

  // Forgets a partial request (as the pager's own inter-byte time-out would).
  void ResetParser();

  Image Eeprom{};
  std::string FirmwareDigits;         // the six digits after "RV615-FVRZ "; need not be digits
  PagerFaults Faults;                 // applies to every request ...
  std::deque<PagerFaults> NextFaults; // ... unless one is queued here for the next request
  int ResetSilentTimes = 0;           // "SUniRST" requests still to be ignored
  std::vector<ReceivedFrame> Frames;  // every complete request, in order
  std::size_t IgnoredBytes = 0;       // bytes that began no known request

  // Convenience views of Frames.
  std::vector<ReceivedFrame> FramesOf(FrameKind kind) const;

private:
  Reply Answer(const ReceivedFrame& frame, const PagerFaults& faults);
  PagerFaults TakeFaults();
  void Restart(std::uint8_t b, std::uint64_t nowMs);

  std::vector<std::uint8_t> pending_; // the request being received
  std::uint64_t lastByteAt_ = 0;
};

// The EEPROM of a pager programmed with the built-in default codeplug: its forced bytes set,
// its software stamp and sound page checksums.
Image DefaultPagerEeprom();

// 16-bit byte sum of the wire checksums.
std::uint16_t WireSum16(const std::uint8_t* data, std::size_t count);

} // namespace pw::sim
