// SPDX-License-Identifier: GPL-3.0-or-later
// Input quoted back in a message: a file's value, a name typed on the command line. Whatever it
// holds, the message stays short, keeps its reason after the value, and never sends a control
// character or an ill-formed byte to the terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pw {

inline constexpr std::size_t kEchoLimit = 60;

// The text as it may be shown: well-formed UTF-8 letters as they are; control characters as
// \n, \t, \r or \xHH (\u0080-\u009F for the C1 set); each byte of an ill-formed sequence as
// \xHH; a backslash as \\. Longer than limit characters (an escape counting by its length),
// it is cut to limit - 1 of them and an ellipsis. Reads no further than it shows.
std::string EchoText(std::string_view text, std::size_t limit = kEchoLimit);

} // namespace pw
