// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/programming_log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

#include "base/local_time.h"
#include "base/sha256.h"
#include "base/user_dirs.h"
#include "batch/csv.h"
#include "batch/line_append.h"
#include "codeplug/flex_address.h"
#include "files/frequency.h"

namespace pw {
namespace {

constexpr std::string_view kCodeLetters = "ABCDEF";

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// A value as one cell of one line: line breaks become spaces, and a value a spreadsheet would
// run as a formula (a serial number "=1+2" from a pager, say) is kept as text by a leading
// apostrophe.
std::string Cell(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n')
      c = ' ';
  if (!value.empty() && std::string_view("=+-@\t").find(value.front()) != std::string_view::npos)
    value.insert(0, 1, '\'');
  return value;
}

} // namespace

CodeplugColumns CodeplugColumnsOf(const Image& image) {
  Codeplug cp;
  cp.WorkingImage = image;
  cp.CodeplugBandFamily = map::BandFamily(image[map::kBandByte]);
  cp.CodeplugSubBand = map::SubBand(image[map::kBandByte]);
  cp.DeriveRfQuantities();
  CodeplugColumns columns;
  columns.frequency = FrequencyFromImage(cp);
  for (int k = 1; k <= map::kCodeCount; ++k) {
    columns.capcodes[k - 1] = CapcodeText(DecodeCapcode(cp, k));
    columns.enabled[k - 1] = EnableBits(cp, k) != map::kEnableDisabled;
  }
  return columns;
}

std::array<std::string, map::kCodeCount> CapcodesOf(const Image& image) {
  return CodeplugColumnsOf(image).capcodes;
}

void DescribeWrittenImage(ProgrammingRecord& record, const Image& image) {
  record.imageSha256 = Sha256Hex(image);
  record.written = CodeplugColumnsOf(image);
}

std::string SerialNumberForLog(std::string_view raw) {
  std::string out;
  for (const char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out;
}

std::string FirmwareDigitsForLog(std::string_view versionText) {
  constexpr std::size_t kDigitsAt = 11, kDigits = 6;
  if (versionText.size() < kDigitsAt + kDigits)
    return {};
  return SerialNumberForLog(versionText.substr(kDigitsAt, kDigits));
}

std::string LogTimestamp(std::time_t t) {
  const std::tm local = LocalTimeOf(t);
  // The offset is what the local clock reads minus UTC; whole minutes.
  const std::int64_t asUtc =
      DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * 86400 +
      local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  const std::int64_t offsetMinutes = (asUtc - std::int64_t(t)) / 60;
  const std::int64_t magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                offsetMinutes < 0 ? '-' : '+', int(magnitude / 60), int(magnitude % 60));
  return text;
}

const std::vector<std::string>& LogHeader() {
  static const std::vector<std::string> header = [] {
    std::vector<std::string> h = {"Time",   "Program version", "Port",
                                  "Device", "Serial number",   "Firmware version",
                                  "Source", "Image SHA-256",   "Frequency (MHz)"};
    for (char code : kCodeLetters) {
      h.push_back(std::string("Code ") + code);
      h.push_back(std::string("Code ") + code + " enabled");
    }
    h.push_back("Outcome");
    for (char code : kCodeLetters)
      h.push_back(std::string("Code ") + code + " after stepping");
    return h;
  }();
  return header;
}

std::vector<std::string> LogFields(const ProgrammingRecord& r) {
  std::vector<std::string> f = {r.time,   r.programVersion, r.port,
                                r.device, r.serialNumber,   r.firmwareVersion,
                                r.source, r.imageSha256,    r.written.frequency};
  for (int i = 0; i < map::kCodeCount; ++i) {
    f.push_back(r.written.capcodes[i]);
    f.push_back(r.written.enabled[i] ? "yes" : "no");
  }
  f.push_back(r.outcome);
  for (const std::string& capcode : r.capcodesAfterStepping)
    f.push_back(capcode);
  for (std::string& field : f)
    field = Cell(std::move(field));
  return f;
}

std::filesystem::path DefaultProgrammingLogPath() {
  const std::filesystem::path folder = UserDataDirectory();
  return folder.empty() ? folder : folder / kProgrammingLogFileName;
}

ProgrammingLog::ProgrammingLog(std::filesystem::path path)
    : path_(std::move(path)), isDefault_(path_.empty()) {
  if (isDefault_)
    path_ = DefaultProgrammingLogPath();
}

LogWrite ProgrammingLog::CheckWritable() const {
  LogWrite out;
  std::string reason;
  try {
    std::error_code ec;
    if (path_.empty()) {
      reason = "no folder for the user's data is known";
    } else if (std::filesystem::is_directory(path_, ec)) {
      reason = "it is a folder";
    } else if (!isDefault_ || EnsureDirectory(path_.parent_path(), &reason)) {
      const bool existed = std::filesystem::exists(path_, ec);
      errno = 0;
      std::ofstream f(path_, std::ios::binary | std::ios::app);
      if (!f) {
        reason = errno != 0 ? std::strerror(errno) : "it cannot be opened";
      } else {
        f.close();
        out.ok = true;
        if (!existed)
          std::filesystem::remove(path_, ec);
      }
    }
  } catch (const std::exception& e) {
    reason = e.what();
  }
  if (!out.ok)
    out.message = "Cannot write the programming log " + PathText(path_) + ": " + reason;
  return out;
}

LogWrite ProgrammingLog::Append(ProgrammingRecord record) {
  LogWrite out;
  std::string reason;
  try {
    if (record.time.empty())
      record.time = LogTimestamp(std::time(nullptr));
    if (!isDefault_ || EnsureDirectory(path_.parent_path(), &reason)) {
      const AppendOutcome appended =
          AppendWholeLine(path_, CsvLine(LogHeader()), CsvLine(LogFields(record)));
      out.ok = appended.ok;
      reason = appended.reason;
    }
  } catch (const std::exception& e) {
    reason = e.what();
  }
  if (out.ok)
    return out;
  out.message = "Cannot write the programming log";
  if (!path_.empty())
    out.message += " " + PathText(path_);
  out.message += ": " + reason;
  out.report = !reported_;
  reported_ = true;
  return out;
}

} // namespace pw
