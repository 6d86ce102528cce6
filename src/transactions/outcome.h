// SPDX-License-Identifier: GPL-3.0-or-later
// What a transaction did: success, or the step it ended at and why, with what the pager told
// it on the way. The window shows only the transaction's own messages; the command line, the
// programming log and the tests read the outcome to tell one failure from another.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codeplug/codeplug.h"
#include "link/link_protocol.h"

namespace pw {

enum class TransactionStep {
  None,
  SerialNumberInMemory, // Program: the codeplug's own serial number, before the port
  FirmwareVersion,      // the "SUjV" query
  LedFlashQuestion,     // Program: the user declined
  SoftwareStamp,        // the stamp read, or a stamp of a later release
  PagerId,
  Marker,
  Band,
  PatchSignature,
  PatchHeader,
  PatchVersion,
  Page0,
  Page1,
  SerialNumber,       // Read: the pager's serial number; Program and restore: its read
  Patch,              // Read: the patch block
  PagerConfiguration, // Program: the pager's receiver bytes and band byte
  PatchSelection,     // Program: no patch for the firmware, or a damaged prepared patch
  Backup,             // Program: the copy of the pager taken before writing
  WritePage0,
  WritePage1,
  WriteHeader,
  WritePatch,
  WritePagerId,
  Verify, // reading back what was written
  Reset,
  Eeprom, // dump and restore: the whole EEPROM
};

enum class Ending {
  Success,
  LinkFailure, // the link returned `link` for the block at `address`
  Refused,     // a check refused the pager or the codeplug; the user was told why
  Cancelled,   // the user answered Cancel or No
  Mismatch,    // the pager holds `found` at `address` where `expected` was written
  FileError,   // a file could not be written; `detail` says why
  Interrupted, // the user stopped it (a signal) before the block at `address` of `step`
};

// A block of EEPROM written in one frame.
struct WrittenBlock {
  std::uint16_t address = 0;
  int count = 0;
  bool operator==(const WrittenBlock&) const = default;
};

struct TransactionOutcome {
  Ending ending = Ending::Success;
  TransactionStep step = TransactionStep::None;
  LinkResult link = kLinkSuccess; // with LinkFailure
  std::uint16_t address = 0;      // block address (LinkFailure) or differing byte (Mismatch)
  std::uint8_t expected = 0;      // Mismatch: the byte written ...
  std::uint8_t found = 0;         // ... and the byte read back
  std::string detail{};           // FileError: the system's reason; Refused: the check's

  // What the pager told on the way; empty or 0 where it was not asked.
  std::string firmwareText{}; // the whole identification reply, e.g. "RV615-FVRZ 010209"
  int firmwareVersion = 0;   // its six digits as a number, e.g. 10209
  std::string pagerStamp{};   // the software stamp found in the pager
  std::string serialNumber{}; // the pager's ten serial-number characters as read

  // Read and dump: the image received. Program and restore: the image sent, of which the
  // blocks below went to the pager, in this order.
  std::optional<Image> image{};
  std::vector<WrittenBlock> written{};
  std::filesystem::path backup{}; // Program: where the pager was backed up first
  std::string eepromSha256{};     // Program: the pager's EEPROM as read for the backup

  bool Ok() const { return ending == Ending::Success; }
  explicit operator bool() const { return Ok(); }
};

// Short names for logs and the command line: "page 1 write", "no reply".
std::string_view StepName(TransactionStep step);
std::string_view LinkResultName(LinkResult result);
// One line for a technician: "ok", or e.g. "page 1 write at 0x0100: NAK (2)",
// "verify: 0x06C4 holds 0xFF, 0x3A was written".
std::string DescribeOutcome(const TransactionOutcome& outcome);

} // namespace pw
