// SPDX-License-Identifier: GPL-3.0-or-later
// This software's release stamp: written into every codeplug it saves or programs, and
// compared with the stamp a pager or a file carries.
#pragma once

#include <string_view>

namespace pw {

inline constexpr std::string_view kSoftwareStamp = "010209";
inline constexpr int kSoftwareStampNumber = 10209;

// The release of the program itself, "1.2.9": the same for the window, the command line and
// the programming log.
const char* ProgramVersion();

} // namespace pw
