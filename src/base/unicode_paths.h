// SPDX-License-Identifier: GPL-3.0-or-later
// Text inside the program is UTF-8: file names, the command line, messages. Windows hands a
// program UTF-16 (and its narrow argv in the ANSI code page), so these helpers convert at the
// edges there; elsewhere the bytes pass as they are. None of them throws.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pw {

// The program's arguments, argv[0] included, as UTF-8: on Windows from the wide command line,
// elsewhere argv unchanged.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// A UTF-8 file name as a path the system opens; an invalid sequence becomes U+FFFD on Windows.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// A path as UTF-8 text, for messages and for handing back to PathFromUtf8.
std::string Utf8FromPath(const std::filesystem::path& path);

// fopen of a path, wide on Windows (through SystemPath).
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// The form of a path to hand to the system's file calls. On Windows a path that is, or
// becomes once made absolute, too long for the old 260-character limit gets the "\\?\"
// form (full, with backslashes; "\\?\UNC\" for a network share), which every file call
// takes whatever the system's long-path setting. Shorter paths, paths already in a device
// form, and every path elsewhere pass unchanged.
std::filesystem::path SystemPath(const std::filesystem::path& path);

// Whether the last component of a path names a device on Windows rather than a file:
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (with the superscript digits 1-3
// too), in any case, with any extension ("COM1.Dat", "nul.json"). The name is judged as text
// on every platform.
bool IsWindowsDeviceName(std::string_view utf8Path);

} // namespace pw
