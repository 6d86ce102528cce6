// This software's release stamp: written into every codeplug it saves or programs, and
// compared with the stamp a pager or a file carries.
#pragma once

#include <string_view>

namespace pw {

inline constexpr std::string_view kSoftwareStamp = "010209";
inline constexpr int kSoftwareStampNumber = 10209;

} // namespace pw
