// SPDX-License-Identifier: GPL-3.0-or-later
// The computer's local time as text, for file names and the headers of files people read.
#pragma once

#include <ctime>
#include <string>

namespace pw {

// The broken-down local time of when.
std::tm LocalTimeOf(std::time_t when);
// when in local time through strftime's format ("%Y%m%d-%H%M%S").
std::string LocalTimeText(std::time_t when, const char* format);

} // namespace pw
