// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/ledger_import.h"

#include <fstream>
#include <map>
#include <sstream>

#include "base/sha256.h"
#include "batch/programming_log.h"
#include "files/file_io.h"

namespace pw {

bool ParseCsv(std::string_view text, std::vector<std::vector<std::string>>& lines) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ',') {
      fields.push_back(std::move(field));
      field.clear();
      any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
        ++i;
      if (any || !field.empty()) {
        fields.push_back(std::move(field));
        lines.push_back(std::move(fields));
      }
      fields.clear();
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (quoted)
    return false;
  if (any || !field.empty()) {
    fields.push_back(std::move(field));
    lines.push_back(std::move(fields));
  }
  return true;
}

namespace {

// The log keeps a value a spreadsheet would run as a formula behind an apostrophe.
std::string Uncell(const std::string& value) {
  if (value.size() >= 2 && value[0] == '\'' &&
      std::string_view("=+-@\t").find(value[1]) != std::string_view::npos)
    return value.substr(1);
  return value;
}

} // namespace

LogImport ImportProgrammingLog(const std::filesystem::path& file, ledger::Ledger& ledger,
                               const std::string& bench) {
  LogImport out;
  const std::u8string name8 = file.u8string();
  const std::string name(name8.begin(), name8.end());
  const FileReadResult read = ReadTextFile(name, kMaxProgrammingLogBytes);
  if (!read.ok) {
    out.error = read.error;
    return out;
  }
  std::vector<std::vector<std::string>> lines;
  if (!ParseCsv(read.text, lines)) {
    out.error = name + ": a quoted field is not closed";
    return out;
  }
  if (lines.empty() || lines[0] != LogHeader()) {
    out.error = name + " is not a programming log (its first line is not the log's header)";
    return out;
  }
  std::map<std::string, int> seen; // identical lines are told apart by their order
  for (std::size_t n = 1; n < lines.size(); ++n) {
    const std::vector<std::string>& f = lines[n];
    const std::string where = name + " line " + std::to_string(n + 1) + ": ";
    if (f.size() != LogHeader().size()) {
      out.error = where + "it has " + std::to_string(f.size()) + " fields, the log has " +
                  std::to_string(LogHeader().size());
      return out;
    }
    ledger::Attempt a;
    ProgrammingRecord& r = a.record;
    std::size_t i = 0;
    for (std::string* field : {&r.time, &r.programVersion, &r.port, &r.device, &r.serialNumber,
                               &r.firmwareVersion, &r.source, &r.imageSha256, &r.written.frequency})
      *field = Uncell(f[i++]);
    for (std::size_t k = 0; k < r.written.capcodes.size(); ++k) {
      r.written.capcodes[k] = Uncell(f[i++]);
      r.written.enabled[k] = f[i++] == "yes";
    }
    r.outcome = Uncell(f[i++]);
    for (std::string& c : r.capcodesAfterStepping)
      c = Uncell(f[i++]);
    const std::optional<std::int64_t> when = ledger::ParseTimeMs(r.time);
    if (!when) {
      out.error = where + "its time \"" + r.time + "\" cannot be read";
      return out;
    }
    std::string joined;
    for (const std::string& field : f)
      joined += field + '\x1f';
    joined += std::to_string(seen[joined]++);
    a.id = "log-" +
           Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(joined.data()), joined.size()))
               .substr(0, 32);
    a.bench = bench;
    a.kind = std::string(ledger::kKindProgram);
    a.state = std::string(r.outcome == kLogSuccess ? ledger::kSuccess : ledger::kFailed);
    a.startedMs = a.completedMs = *when;
    bool added = false;
    std::string error;
    if (!ledger.Import(a, &added, &error)) {
      out.error = where + error;
      return out;
    }
    ++out.records;
    out.added += added;
  }
  out.ok = true;
  return out;
}

} // namespace pw
