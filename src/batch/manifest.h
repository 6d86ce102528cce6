// SPDX-License-Identifier: GPL-3.0-or-later
// The manifest of a batch: a spreadsheet's CSV export with one row per pager, each row's cells
// applied over the batch's data file under the named fields' names ("code.A.capcode",
// "frequency", ...); an optional serial_number column binds a row to one pager. The file is
// checked whole before any pager is touched; each problem names its row and column. Finished
// rows are recorded in a file beside the manifest (units.csv.done), so a batch started again
// goes on at the first unfinished row.
#pragma once

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "batch/production_line.h"

namespace pw {

inline constexpr std::string_view kManifestSerialColumn = "serial_number";
// No cell of a manifest holds more than this many bytes.
inline constexpr std::size_t kManifestMaxCell = 1024;

struct ManifestProblem {
  int row = 0;    // the record's number in the file, the header being 1; 0: the whole file
  int column = 0; // 1-based; 0: the whole row
  std::string text;
};

struct Manifest {
  std::vector<std::string> columns;
  struct Row {
    int row = 0; // as in ManifestProblem
    std::vector<std::string> cells;
  };
  std::vector<Row> rows;
  int serialColumn = -1; // index of serial_number, or -1
};

// "row 3, column 2 (code.A.capcode): text", or "row 3: text", or the text alone.
std::string DescribeProblem(const Manifest& manifest, const ManifestProblem& problem);

// Reads a manifest's text: RFC 4180 fields, comma or semicolon (the header's choice), UTF-8 with
// or without a byte order mark. knownColumn says which header names are fields a row may set.
// Checks the file's shape and the cells no single field's rule sees: empty file, not UTF-8,
// unknown or repeated column, ragged row, oversized cell, a serial number bound twice, a capcode
// with fewer digits than it is shown with (a spreadsheet dropped its zeros), the same capcode
// in two rows. Problems go into problems; true when there are none.
bool ParseManifest(std::string_view text, const std::function<bool(std::string_view)>& knownColumn,
                   Manifest& manifest, std::vector<ManifestProblem>& problems);

// The rows recorded as finished in doneFile (missing file: none).
std::set<int> FinishedManifestRows(const std::filesystem::path& doneFile);

// Rows in order, skipping finished ones; a row bound to a serial number waits for that pager
// while the unbound rows go on. A finished row is appended to doneFile at once.
class ManifestSource final : public UnitSource {
public:
  ManifestSource(Manifest manifest, std::filesystem::path doneFile, std::set<int> finished);

  Answer Take(const std::string& serial, UnitAssignment& unit, std::string& why) override;
  bool Finish(const UnitAssignment& unit, const BatchPagerResult& result,
              std::string& why) override;
  bool Exhausted() const override;
  std::string Next() const override;

private:
  enum class State { Pending, Out, Finished };
  UnitAssignment Assignment(std::size_t index) const;

  Manifest manifest_;
  std::filesystem::path doneFile_;
  std::vector<State> state_;
};

} // namespace pw
