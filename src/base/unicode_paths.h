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

// fopen of a path, wide on Windows.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

} // namespace pw
