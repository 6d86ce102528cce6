// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/csv.h"

namespace pw {

std::string CsvField(std::string_view value) {
  if (value.find_first_of(",\"\r\n") == std::string_view::npos)
    return std::string(value);
  std::string quoted = "\"";
  for (char c : value) {
    if (c == '"')
      quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string CsvLine(std::span<const std::string> fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0)
      line += ',';
    line += CsvField(fields[i]);
  }
  line += "\r\n";
  return line;
}

} // namespace pw
