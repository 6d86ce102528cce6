// SPDX-License-Identifier: GPL-3.0-or-later
// What the shop keeps of each Program, restore and batch unit: the fields of the CSV
// programming log, and the ledger's own (the bench, the attempt's state, the EEPROM found in
// the pager, the process that wrote it, the chain).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "codeplug/memory_map.h"

namespace pw {

// The frequency and codes A-F of an image as the log shows them.
struct CodeplugColumns {
  std::string frequency;                               // MHz as edtFrequency shows it
  std::array<std::string, map::kCodeCount> capcodes{}; // as the code edits show them
  std::array<bool, map::kCodeCount> enabled{};
};

// One Program attempt, as one line of the programming log holds it.
struct ProgrammingRecord {
  std::string time;            // LogTimestamp; filled in by Append when left empty
  std::string programVersion;  // the release of this program, "1.2.9"
  std::string port;            // port number, "1"; empty when a device was named instead
  std::string device;          // "/dev/ttyS0", "COM1"
  std::string serialNumber;    // as the pager reported it during the Program
  std::string firmwareVersion; // likewise
  std::string source;          // the data file's path, or kLogSourceWindow
  std::string imageSha256;     // of the image written, 64 hex digits
  CodeplugColumns written;
  std::string outcome; // kLogSuccess, or the step that failed
  std::array<std::string, map::kCodeCount> capcodesAfterStepping{}; // empty: nothing stepped
};

namespace ledger {

// What kind of transaction an attempt was.
inline constexpr std::string_view kKindProgram = "program"; // the window's or program's
inline constexpr std::string_view kKindBatch = "batch";     // one pager of a batch
inline constexpr std::string_view kKindRestore = "restore";

// An attempt's state: started until it ends; then success, failed (the outcome names the
// step), or interrupted (the process ended without completing it).
inline constexpr std::string_view kStarted = "started";
inline constexpr std::string_view kSuccess = "success";
inline constexpr std::string_view kFailed = "failed";
inline constexpr std::string_view kInterrupted = "interrupted";

struct Attempt {
  std::string id;    // unique across every bench; given by Begin
  std::string bench; // the bench's name (the host name unless chosen)
  std::string kind;  // kKindProgram, kKindBatch, kKindRestore
  std::string state; // kStarted ... kInterrupted
  ProgrammingRecord record;
  std::string eepromSha256;     // the pager's EEPROM as read before writing; empty: not read
  std::int64_t startedMs = 0;   // UTC milliseconds since 1970
  std::int64_t completedMs = 0; // 0 while started
  // The process that wrote the record, so a started record of a dead one can be told.
  std::string host;
  std::int64_t pid = 0;
  std::string boot; // the machine's boot id; another one means the process is gone
};

} // namespace ledger
} // namespace pw
