// SPDX-License-Identifier: GPL-3.0-or-later
// The byte-paced request/reply protocol of the pager's programming firmware. The PC is the
// master: it sends a request one byte at a time with a fixed pause after each byte, then
// reads the reply one byte at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/version.h"

namespace pw {

class Clock;
class Host;
class SerialPort;

// The small integer every link operation returns.
enum LinkResult : int {
  kLinkFailure = 0,     // write failed, reply missing or not the expected one
  kLinkSuccess = 1,
  kLinkNak = 2,         // NAK where an ACK or data was expected
  kLinkNoReply = 3,     // no reply byte within the port's read time-out
  kLinkChecksum = 4,    // checksum mismatch, or completion byte not seen within 10000 ms
  kLinkUnexpected = 5,  // first reply byte neither ACK nor NAK (stamp read)
};

inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kWriteDone = 0x0C; // second completion byte after a write
inline constexpr std::size_t kLinkBufferSize = 2200;

// The stamp read: six bytes at 0x01F7, where the software that last programmed the pager
// left its version digits.
inline constexpr std::uint16_t kStampAddress = 0x01F7;
inline constexpr int kStampBytes = 6;
// The pager model's identification; a version reply carries it, a blank and six digits.
inline constexpr std::string_view kModelIdentification = "RV615-FVRZ";

// Command indices of SendCommand.
enum LinkCommand : int {
  kCmdSUj0 = 0,
  kCmdSUjV = 1,
  kCmdSUniRFPrompt = 2, // "SUniRF>"
  kCmdSUniRFX = 3,
  kCmdSUniRFI = 4,
  kCmdSUjP = 5,
  kCmdSUjD = 6,
  kCmdSUniRST = 7,
};

// Gauge positions of block transfers (see ReadBlock/WriteBlock).
enum ProgressMode : int {
  kProgressNone = 0,
  kProgressPatch = 1,   // x = i + 511 (read), segment offset + q + 511 (write)
  kProgressFrom0 = 2,   // x = i, segment offset + q
  kProgressPage1 = 3,   // x = i + 256, q + 256
  kProgressPage0 = 4,   // x = i, q
};

class Link {
public:
  Link(Clock& clock, Host& host);

  LinkResult SendCommand(SerialPort& port, int index, bool show);
  // mode 0: show the text in a message box; mode 1: put it into lblFireware_Version and
  // derive FirmwareVersionNumber.
  LinkResult QueryFirmwareVersion(SerialPort& port, int mode);
  LinkResult ReadVersionStamp(SerialPort& port);
  // Data land in ReceiveBuffer[0 .. count-1]; count + 2 must fit the buffer.
  LinkResult ReadBlock(SerialPort& port, std::uint16_t address, int count, int mode);
  // Data are taken from TransmitBuffer[0 .. count-1]; count + 7 must fit the frame buffer.
  LinkResult WriteBlock(SerialPort& port, std::uint16_t address, int count, int mode);

  std::array<std::uint8_t, kLinkBufferSize> ReceiveBuffer{};
  std::array<std::uint8_t, kLinkBufferSize> TransmitBuffer{};

  std::string FirmwareVersionText;   // the whole identification text of the last query
  int FirmwareVersionNumber = 0;     // six version digits as an integer, e.g. 10209
  bool FirmwareVersionValid = false; // false when the six characters were not digits
  std::string PagerStamp = "000000"; // software stamp found in the pager
  int PagerStampNumber = 0;
  int SoftwareStampNumber = kSoftwareStampNumber;
  double ProgressTotal = 1.0;        // bytes the current transaction moves
  double ProgressBase = 0.0;         // of those, moved before the current phase
  int SegmentOffset = 0;             // 255 x patch segments already written

private:
  Clock& clock_;
  Host& host_;
};

} // namespace pw
