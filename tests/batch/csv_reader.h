// SPDX-License-Identifier: GPL-3.0-or-later
// A strict reader of comma-separated values for the log tests: it refuses what a careful
// spreadsheet import would stumble on (a quote inside a bare field, text after a closing
// quote, an unclosed quote, a line not ended CR LF).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pw::test {

using CsvRows = std::vector<std::vector<std::string>>;

inline std::optional<CsvRows> ReadCsv(std::string_view text) {
  CsvRows rows;
  std::vector<std::string> row;
  std::size_t i = 0;
  while (i < text.size()) {
    std::string field;
    if (text[i] == '"') {
      for (++i;; ++i) {
        if (i >= text.size())
          return std::nullopt;
        if (text[i] != '"')
          field += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '"')
          field += text[++i];
        else
          break;
      }
      ++i;
    } else {
      for (; i < text.size() && std::string_view(",\r\n").find(text[i]) == std::string_view::npos;
           ++i) {
        if (text[i] == '"')
          return std::nullopt;
        field += text[i];
      }
    }
    row.push_back(std::move(field));
    if (i < text.size() && text[i] == ',') {
      ++i;
      if (i == text.size())
        return std::nullopt;
    } else if (text.substr(i, 2) == "\r\n") {
      rows.push_back(std::move(row));
      row.clear();
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  return rows;
}

} // namespace pw::test
