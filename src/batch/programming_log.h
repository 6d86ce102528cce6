// SPDX-License-Identifier: GPL-3.0-or-later
// The programming log: one CSV line per Program attempt, from the window or the command line,
// so the shop can tell which pager (by its serial number) received which capcodes. The file
// is shared by every copy of the program the user runs; a log that cannot be written is
// reported once and never stops a Program.
#pragma once

#include <array>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "codeplug/codeplug.h"
#include "ledger/attempt.h"

namespace pw {

inline constexpr std::string_view kProgrammingLogFileName = "programming-log.csv";
inline constexpr std::string_view kLogSuccess = "success";
inline constexpr std::string_view kLogSourceWindow = "window";

// The frequency the image's synthesizer words give and its codes, decoded as the window
// decodes them.
CodeplugColumns CodeplugColumnsOf(const Image& image);
// The capcodes of codes A-F alone.
std::array<std::string, map::kCodeCount> CapcodesOf(const Image& image);
// Fills imageSha256 (of the whole 2048-byte image) and written from the image the Program
// wrote.
void DescribeWrittenImage(ProgrammingRecord& record, const Image& image);

// The ten serial-number bytes a pager sent, as text for the log and the screen: printable
// ASCII as it is, any other byte as \xHH, so a blank or damaged number stays visible and
// the log stays text.
std::string SerialNumberForLog(std::string_view raw);
// The six firmware digits of a version reply ("RV615-FVRZ 010209" gives "010209") as they
// came; empty when the reply was too short to hold them.
std::string FirmwareDigitsForLog(std::string_view versionText);

// Local time with its offset from UTC, "2026-12-08T14:03:22+01:00".
std::string LogTimestamp(std::time_t t);

// The column titles, and a record's fields in the same order. Line breaks inside a value
// become spaces, so every record is one line of the file; a value starting = + - @ or a tab
// gets a leading apostrophe, so a spreadsheet shows it rather than running it.
const std::vector<std::string>& LogHeader();
std::vector<std::string> LogFields(const ProgrammingRecord& record);

// UserDataDirectory()/programming-log.csv; empty when no user folder is known.
std::filesystem::path DefaultProgrammingLogPath();

struct LogWrite {
  bool ok = false;
  std::string message; // when !ok: "Cannot write the programming log PATH: reason"
  bool report = false; // a failure this log has not reported yet: show message now
};

// The log a window or a command-line run writes to. It remembers whether a failure was
// reported, so the user hears of a log that cannot be written once per session.
class ProgrammingLog {
public:
  // The log at path; an empty path means the default one, whose folder is created as needed.
  explicit ProgrammingLog(std::filesystem::path path = {});
  const std::filesystem::path& Path() const { return path_; }
  // Appends the record as one line (the header first when the file is new). Never throws.
  LogWrite Append(ProgrammingRecord record);
  // Whether a line could be appended now, writing nothing (a file made to find out is removed
  // again): for a batch, which refuses to program pagers it could not record.
  LogWrite CheckWritable() const;

private:
  std::filesystem::path path_;
  bool isDefault_ = false;
  bool reported_ = false;
};

} // namespace pw
