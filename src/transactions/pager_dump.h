// The pager's whole EEPROM as it is: dump it (none of the Read's refusals, so a pager the
// Read turns away can still be saved), keep it in a file, and restore it exactly, verified,
// into the same pager. The backup taken before a Program is such a dump.
#pragma once

#include <ctime>
#include <filesystem>
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

// A dump in a file: raw bytes when the name ends in ".bin" (any case), otherwise the
// S-record text of the data files.
bool IsRawImageName(const std::filesystem::path& path);
struct DumpFile {
  bool ok = false;
  Image image{};
  std::string error; // names the file and the reason
};
DumpFile LoadDump(const std::filesystem::path& path);
// Written safely (temporary file, then rename); error names the file and the reason.
bool SaveDump(const std::filesystem::path& path, const Image& eeprom, std::string* error);

struct RestoreOptions {
  // Write even when the dump's serial number is not the pager's.
  bool force = false;
};
// Writes the dump back exactly as it is, all 2048 bytes, reads every block back, and resets
// the pager. Refuses, writing nothing, a dump of another pager (its serial number differs)
// unless forced.
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
