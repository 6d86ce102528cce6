// SPDX-License-Identifier: GPL-3.0-or-later
// Bringing a CSV programming log into the ledger: each line becomes a finished attempt of the
// bench, under an id drawn from the line itself, so a log imported twice (or grown since) adds
// only the lines the ledger does not hold yet.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/ledger.h"

namespace pw {

struct LogImport {
  bool ok = false;
  int records = 0;   // lines read (the header aside)
  int added = 0;     // of which new to the ledger
  std::string error; // "FILE line N: why" when !ok
};

LogImport ImportProgrammingLog(const std::filesystem::path& file, ledger::Ledger& ledger,
                               const std::string& bench);

// The fields of CSV text as the log writes it (quoted fields, doubled quotes, CR LF), one
// vector per line; false when a quote is left open.
bool ParseCsv(std::string_view text, std::vector<std::vector<std::string>>& lines);

} // namespace pw
