// SPDX-License-Identifier: GPL-3.0-or-later
// The pager's whole EEPROM as it is: dump it (none of the Read's refusals, so a pager the
// Read turns away can still be saved), keep it in a file, and restore it exactly, verified,
// into the same pager. The backup taken before a Program is such a dump.
#pragma once

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "transactions/transactions.h"

namespace pw {

struct PagerDump {
  TransactionOutcome outcome; // outcome.image holds the 2048 bytes when Ok()
  std::vector<std::string> warnings; // what a Read would refuse or a technician should know
};

// Reads all 2048 bytes of the pager's EEPROM. A missing version reply asks Retry/Cancel as
// the Read does; a block that does not arrive shows "Reading Fail".
PagerDump DumpPager(TransactionContext& ctx);

// The problems an EEPROM image shows: page checksums, marker, band byte, "PATCH", patch
// header and checksum, a later stamp or patch, serial number, pager ID. firmware is the
// pager's version number, 0 when unknown.
std::vector<std::string> InspectEeprom(const Image& eeprom, int firmware);
// The first of those problems with the check that found it; nullopt for a sound image.
struct EepromProblem {
  TransactionStep check = TransactionStep::None;
  std::string text;
};
std::optional<EepromProblem> FirstEepromProblem(const Image& eeprom, int firmware);

// A dump in a file: raw bytes when the name ends in ".bin" (any case), otherwise the
// S-record text of the data files.
bool IsRawImageName(const std::filesystem::path& path);
// Every dump written carries the SHA-256 of its file in a side file NAME.sha256, one line
// as sha256sum writes it ("<64 hex digits>  <file name>"), so `sha256sum -c` checks it too.
std::filesystem::path DigestFilePath(const std::filesystem::path& dump);
enum class DumpDigest {
  Missing, // no side file: a dump of an older release, or one copied without it
  Matches,
  Differs, // the file is not the one written, or the side file is no digest
};
struct DumpFile {
  bool ok = false;
  Image image{};
  std::string error; // names the file and the reason
  DumpDigest digest = DumpDigest::Missing;
};
DumpFile LoadDump(const std::filesystem::path& path);
// Written safely (temporary file, then rename), then its digest beside it; error names the
// file and the reason.
bool SaveDump(const std::filesystem::path& path, const Image& eeprom, std::string* error);

struct RestoreOptions {
  // Write even when the dump's serial number is not the pager's. The pager keeps its own
  // serial number then, as a Program keeps it ...
  bool force = false;
  // ... unless the dump's is to be copied too.
  bool copySerialNumber = false;
  // Write an image that fails the checks of a Read; for recovery work only.
  bool writeDamagedImage = false;
};
// Writes the dump back, all 2048 bytes, reads every block back, and resets the pager. Before
// anything is written the image must pass the checks a Read makes of a pager (the first
// failure is the outcome's step, its text the detail), and it must be this pager's dump (its
// serial number) unless forced. outcome.image is the image written.
TransactionOutcome RestorePager(TransactionContext& ctx, const Image& dump,
                                const RestoreOptions& options = {});

// A backup of a pager: the dump saved into folder as "<serial number>-<YYYYMMDD-HHMMSS>.Dat"
// (local time, a counter added when the name is taken). The folder is created if needed.
struct BackupFile {
  bool ok = false;
  std::filesystem::path path;
  std::string error;
};
BackupFile SaveBackup(const std::filesystem::path& folder, const Image& eeprom,
                      std::time_t when = std::time(nullptr));

} // namespace pw
