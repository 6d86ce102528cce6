// SPDX-License-Identifier: GPL-3.0-or-later
// Appending whole CSV lines to a file that several programs may write at once, so that no
// crash, pulled plug or second writer leaves the file unreadable.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pw {

struct AppendOutcome {
  bool ok = false;
  std::string reason; // the system's text when !ok
};

// Appends line (one CSV record ended CR LF, without line breaks inside) to the file at path,
// creating it when missing. Under an exclusive lock the line goes out in one write and is
// flushed to the disk before the lock is released. header (ended CR LF) goes first when the
// file holds nothing yet, or only the start of the header; a last line left without its end
// by an earlier crash is closed first.
AppendOutcome AppendWholeLine(const std::filesystem::path& path, std::string_view header,
                              std::string_view line);

// What closes a torn last line (the text after the file's last LF) so the next line starts a
// record of its own: nothing for an empty text, a quote when it stops inside a quoted field,
// then the line end (only the LF when the CR made it to the disk).
std::string CloseTornLine(std::string_view lastLine);

} // namespace pw
