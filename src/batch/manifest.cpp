// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/manifest.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "base/local_time.h"
#include "batch/batch_runner.h"
#include "batch/csv.h"
#include "batch/line_append.h"
#include "batch/programming_log.h"
#include "codeplug/flex_address.h"
#include "files/file_io.h"

namespace pw {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// The byte offset of the first byte that breaks UTF-8, or npos.
std::size_t FirstBadUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    unsigned min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, min = 0x800;
    } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
      n = 3, min = 0x10000;
    } else {
      return i;
    }
    if (i + n >= s.size())
      return i;
    unsigned code = c & (0x3F >> n);
    for (std::size_t k = 1; k <= n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80)
        return i;
      code = code << 6 | (d & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return i;
    i += n + 1;
  }
  return std::string_view::npos;
}

// The header's separator: the one of comma and semicolon it holds more of outside quotes.
char SeparatorOf(std::string_view text) {
  int commas = 0, semicolons = 0;
  bool quoted = false;
  for (char c : text) {
    if (c == '"')
      quoted = !quoted;
    else if (!quoted && (c == '\n' || c == '\r'))
      break;
    else if (!quoted && c == ',')
      ++commas;
    else if (!quoted && c == ';')
      ++semicolons;
  }
  return semicolons > commas ? ';' : ',';
}

struct Record {
  int row;
  std::vector<std::string> cells;
};

// RFC 4180 records (CR LF or LF between them); wholly empty lines are skipped.
bool SplitRecords(std::string_view text, char separator, std::vector<Record>& records,
                  std::vector<ManifestProblem>& problems) {
  std::vector<std::string> cells(1);
  bool quoted = false, wasQuoted = false, any = false;
  int line = 1, row = 1; // the file's line now, and the one the record started on
  auto endRecord = [&] {
    if (any)
      records.push_back({row, std::move(cells)});
    cells.assign(1, {});
    any = wasQuoted = false;
    row = ++line;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '\n')
        ++line;
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          cells.back() += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        cells.back() += c;
      }
      continue;
    }
    if (c == '"') {
      if (!cells.back().empty() || wasQuoted) {
        problems.push_back({row, int(cells.size()), "a quote inside a cell that is not quoted"});
        return false;
      }
      quoted = wasQuoted = any = true;
    } else if (c == separator) {
      cells.emplace_back();
      wasQuoted = false;
      any = true;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;
    } else if (c == '\n') {
      endRecord();
    } else {
      if (wasQuoted) {
        problems.push_back({row, int(cells.size()), "text after the closing quote"});
        return false;
      }
      cells.back() += c;
      any = true;
    }
    if (cells.back().size() > kManifestMaxCell) {
      problems.push_back(
          {row, int(cells.size()),
           "the cell holds more than " + std::to_string(kManifestMaxCell) + " bytes"});
      return false;
    }
  }
  if (quoted) {
    problems.push_back({row, int(cells.size()), "a quoted cell is never closed"});
    return false;
  }
  if (any)
    endRecord();
  return true;
}

bool IsCapcodeColumn(std::string_view name) {
  return name.size() == 14 && name.starts_with("code.") && name.ends_with(".capcode");
}

std::string Trimmed(std::string s) {
  const std::size_t a = s.find_first_not_of(" \t");
  const std::size_t b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

} // namespace

std::string DescribeProblem(const Manifest& m, const ManifestProblem& p) {
  std::string where;
  if (p.row > 0) {
    where = "row " + std::to_string(p.row);
    if (p.column > 0) {
      where += ", column " + std::to_string(p.column);
      if (std::size_t(p.column) <= m.columns.size() && !m.columns[p.column - 1].empty())
        where += " (" + m.columns[p.column - 1] + ")";
    }
    where += ": ";
  }
  return where + p.text;
}

bool ParseManifest(std::string_view text, const std::function<bool(std::string_view)>& knownColumn,
                   Manifest& m, std::vector<ManifestProblem>& problems) {
  const std::size_t before = problems.size();
  if (text.starts_with(kBom))
    text.remove_prefix(kBom.size());
  if (const std::size_t bad = FirstBadUtf8(text); bad != std::string_view::npos) {
    const int row = 1 + int(std::count(text.begin(), text.begin() + std::ptrdiff_t(bad), '\n'));
    problems.push_back({row, 0,
                        "the file is not UTF-8 (byte " + std::to_string(bad + 1) +
                            "); save it from the spreadsheet as CSV UTF-8"});
    return false;
  }
  std::vector<Record> records;
  if (!SplitRecords(text, SeparatorOf(text), records, problems))
    return false;
  if (records.empty()) {
    problems.push_back({0, 0, "the manifest is empty: it needs a header and a row per pager"});
    return false;
  }
  m.columns.clear();
  for (std::string& name : records.front().cells)
    m.columns.push_back(Trimmed(std::move(name)));
  std::map<std::string, int> seenColumn;
  for (std::size_t c = 0; c < m.columns.size(); ++c) {
    const std::string& name = m.columns[c];
    const int column = int(c) + 1;
    if (name == kManifestSerialColumn)
      m.serialColumn = int(c);
    else if (name.empty())
      problems.push_back({1, column, "the column has no name"});
    else if (!knownColumn(name))
      problems.push_back(
          {1, column, "\"" + name + "\" is not a field a row can set (show lists them)"});
    if (!name.empty() && !seenColumn.emplace(name, column).second)
      problems.push_back({1, column, "\"" + name + "\" is given twice"});
  }
  if (records.size() == 1)
    problems.push_back({0, 0, "the manifest has a header but no rows"});

  std::map<std::int64_t, std::pair<int, int>> capcodeAt; // value -> row, column
  std::map<std::string, int> serialAt;
  for (std::size_t r = 1; r < records.size(); ++r) {
    Record& rec = records[r];
    if (rec.cells.size() != m.columns.size()) {
      problems.push_back({rec.row, 0,
                          "the row has " + std::to_string(rec.cells.size()) +
                              " cells, the header " + std::to_string(m.columns.size())});
      continue;
    }
    for (std::size_t c = 0; c < rec.cells.size(); ++c) {
      const std::string& cell = rec.cells[c];
      const int column = int(c) + 1;
      if (int(c) == m.serialColumn && !cell.empty()) {
        if (const auto [at, fresh] = serialAt.emplace(cell, rec.row); !fresh)
          problems.push_back({rec.row, column,
                              "serial number " + cell + " is bound to row " +
                                  std::to_string(at->second) + " already"});
      }
      if (!IsCapcodeColumn(m.columns[c]) || cell.empty())
        continue;
      if (cell.find_first_not_of("0123456789") != std::string::npos)
        continue; // the capcode's own rule refuses it with its reason
      const std::int64_t value = ParseCapcodeText(cell);
      const std::string shown = CapcodeText(value);
      if (cell.size() < shown.size()) {
        problems.push_back({rec.row, column,
                            "capcode " + cell +
                                " has fewer digits than a capcode is written "
                                "with (" +
                                shown +
                                "?): a spreadsheet may have dropped its leading "
                                "zeros; keep the column as text"});
        continue;
      }
      if (const auto [at, fresh] = capcodeAt.emplace(value, std::pair{rec.row, column}); !fresh)
        problems.push_back({rec.row, column,
                            "capcode " + cell + " is also in row " +
                                std::to_string(at->second.first) + ", column " +
                                std::to_string(at->second.second)});
    }
    m.rows.push_back({rec.row, std::move(rec.cells)});
  }
  return problems.size() == before;
}

std::set<int> FinishedManifestRows(const std::filesystem::path& doneFile) {
  std::set<int> rows;
  const std::u8string name = doneFile.u8string();
  const FileReadResult read =
      ReadTextFile(std::string(name.begin(), name.end()), kMaxManifestBytes);
  std::istringstream in(read.ok ? read.text : std::string());
  std::string line;
  while (std::getline(in, line)) {
    // "row,serial number,time": the first field is the row's number; the header is not one.
    const std::size_t comma = line.find(',');
    const std::string first = line.substr(0, comma);
    if (!first.empty() && first.find_first_not_of("0123456789") == std::string::npos)
      rows.insert(std::stoi(first));
  }
  return rows;
}

ManifestSource::ManifestSource(Manifest manifest, std::filesystem::path doneFile,
                               std::set<int> finished)
    : manifest_(std::move(manifest)), doneFile_(std::move(doneFile)) {
  for (const Manifest::Row& row : manifest_.rows)
    state_.push_back(finished.contains(row.row) ? State::Finished : State::Pending);
}

UnitAssignment ManifestSource::Assignment(std::size_t index) const {
  const Manifest::Row& row = manifest_.rows[index];
  UnitAssignment unit;
  unit.row = row.row;
  unit.fromDataFile = true;
  for (std::size_t c = 0; c < row.cells.size(); ++c) {
    if (int(c) == manifest_.serialColumn)
      unit.serialNumber = row.cells[c];
    else if (!row.cells[c].empty())
      unit.fields.emplace_back(manifest_.columns[c], row.cells[c]);
  }
  return unit;
}

UnitSource::Answer ManifestSource::Take(const std::string& serial, UnitAssignment& unit,
                                        std::string& why) {
  const std::string shown = SerialNumberForLog(serial);
  std::size_t unbound = state_.size();
  int waiting = 0;
  for (std::size_t i = 0; i < state_.size(); ++i) {
    if (state_[i] != State::Pending)
      continue;
    const std::string bound = manifest_.serialColumn < 0
                                  ? std::string()
                                  : manifest_.rows[i].cells[std::size_t(manifest_.serialColumn)];
    if (!bound.empty() && (bound == serial || bound == shown)) {
      unbound = i; // the pager's own row goes first
      break;
    }
    if (bound.empty() && unbound == state_.size())
      unbound = i;
    if (!bound.empty())
      ++waiting;
  }
  if (unbound < state_.size()) {
    state_[unbound] = State::Out;
    unit = Assignment(unbound);
    return Answer::Unit;
  }
  if (waiting > 0) {
    why = "no row of the manifest is left for it (" + std::to_string(waiting) +
          (waiting == 1 ? " row waits" : " rows wait") + " for its own pager)";
    return Answer::NotForThisPager;
  }
  why = "every row of the manifest is programmed";
  return Answer::Exhausted;
}

bool ManifestSource::Finish(const UnitAssignment& unit, const BatchPagerResult& result,
                            std::string& why) {
  const std::string& serial = result.serialNumber;
  const bool ok = result.ok;
  for (std::size_t i = 0; i < manifest_.rows.size(); ++i) {
    if (manifest_.rows[i].row != unit.row)
      continue;
    state_[i] = ok ? State::Finished : State::Pending;
    if (!ok)
      return true;
    const std::string fields[] = {std::to_string(unit.row), SerialNumberForLog(serial),
                                  LogTimestamp(std::time(nullptr))};
    const std::string header[] = {"Row", "Serial number", "Time"};
    const AppendOutcome written = AppendWholeLine(doneFile_, CsvLine(header), CsvLine(fields));
    if (!written.ok)
      why = "the finished row " + std::to_string(unit.row) + " could not be recorded in " +
            doneFile_.string() + ": " + written.reason;
    return written.ok;
  }
  return true;
}

bool ManifestSource::Exhausted() const {
  for (State s : state_)
    if (s == State::Pending)
      return false;
  return true;
}

std::string ManifestSource::Next() const {
  for (std::size_t i = 0; i < state_.size(); ++i)
    if (state_[i] == State::Pending)
      return "row " + std::to_string(manifest_.rows[i].row) + " of the manifest";
  return "none: every row of the manifest is programmed";
}

} // namespace pw
