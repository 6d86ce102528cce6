// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file "CorvaneF.ini": two lines, the port number and how many port menu items
// are shown.
#pragma once

#include <string>

namespace pw::ui {

inline constexpr const char* kSettingsFileName = "CorvaneF.ini";
inline constexpr int kDefaultPort = 1;
inline constexpr int kDefaultVisiblePortCount = 16;

struct PortSettings {
  int port = kDefaultPort;
  int visiblePortCount = kDefaultVisiblePortCount;
};

// Whether this user may create files in dir (UTF-8), asked without writing anything there:
// the command line's read-only commands must leave the program's folder as it was.
bool DirectoryWritable(const std::string& dir);

// Whether dir (UTF-8) lies in a folder the package manager owns: /usr (with /usr/local), /opt,
// /bin or /sbin. An installed program never writes there, not even when run as root.
bool UnderSystemPrefix(const std::string& dir);
// Whether the program keeps its files beside itself: its folder can be written and is not
// under a system prefix (a copy built or unpacked by the user).
bool WorksBesideProgram(const std::string& programDir);

// The folder the settings file lives in: the program's folder, or the per-user configuration
// folder for an installed copy (see WorksBesideProgram).
std::string SettingsDirectory(const std::string& programDir);

// Reads the two lines; values outside 1-256 (port) or 0-256 (count) fall back to the defaults,
// and so does a file that cannot be read (a pipe, a device, far too large: problem says why).
PortSettings ReadSettings(const std::string& path, std::string* problem = nullptr);
// Writes the two lines, each ended by a line feed.
bool WriteSettings(const std::string& path, const PortSettings& settings);

} // namespace pw::ui
