// SPDX-License-Identifier: GPL-3.0-or-later
// The folders the program keeps its own files in: its settings, and the user's data (backups,
// serial traces, the programming log). Linux follows the XDG base directories; Windows uses
// the local application-data folder. The returned paths are not created; EnsureDirectory does.
#pragma once

#include <filesystem>
#include <string>

namespace pw {

// ~/.config/pagewright ($XDG_CONFIG_HOME/pagewright), or %LOCALAPPDATA%\Pagewright on Windows.
// Empty when neither the variables nor a home folder are known.
std::filesystem::path UserConfigDirectory();
// ~/.local/share/pagewright ($XDG_DATA_HOME/pagewright), or %LOCALAPPDATA%\Pagewright on
// Windows. Empty when neither the variables nor a home folder are known.
std::filesystem::path UserDataDirectory();

// Creates dir and its parents; false (with the system's reason in error) when it cannot.
bool EnsureDirectory(const std::filesystem::path& dir, std::string* error = nullptr);

// The folder of the running executable as UTF-8, ending in a separator: /proc/self/exe on
// Linux, the running module on Windows; argv0 (UTF-8) is the last resort.
std::string ExecutableDirectory(const char* argv0);

} // namespace pw
