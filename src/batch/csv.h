// SPDX-License-Identifier: GPL-3.0-or-later
// Comma-separated values as spreadsheets and the usual CSV readers take them: a field is
// quoted when it holds a comma, a double quote, CR or LF, and a quote inside is doubled;
// every line ends CR LF.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace pw {

std::string CsvField(std::string_view value);
// The fields joined by commas, ended CR LF.
std::string CsvLine(std::span<const std::string> fields);

} // namespace pw
