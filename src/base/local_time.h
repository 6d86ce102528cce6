// SPDX-License-Identifier: GPL-3.0-or-later
// The computer's local time as text, for file names and the headers of files people read.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace pw {

// The broken-down local time of when.
std::tm LocalTimeOf(std::time_t when);
// when in local time through strftime's format ("%Y%m%d-%H%M%S").
std::string LocalTimeText(std::time_t when, const char* format);
// Days from 1970-01-01 to a date of the proleptic Gregorian calendar (month 1-12).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);

} // namespace pw
