// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own settings, kept apart from "CorvaneF.ini" in the user's configuration
// folder (~/.config/pagewright/pagewright.conf): one "key=value" line each, for the options
// of the window and the serial device chosen for a COM number. Unknown keys are kept, so an
// older copy of the program does not drop what a newer one wrote.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace pw::ui {

inline constexpr const char* kUserSettingsFileName = "pagewright.conf";

class UserSettings {
public:
  // The settings of this user: UserConfigDirectory()/pagewright.conf.
  static std::filesystem::path DefaultPath();

  // Reads path; a missing or unreadable file gives empty settings. What made a file there
  // unreadable (a pipe, a device, far too large) is kept in problem() for the caller to report.
  static UserSettings Load(const std::filesystem::path& path);
  // Writes every key back safely (temporary file, then rename); false when it could not.
  bool Save() const;

  std::optional<std::string> Get(const std::string& key) const;
  bool Flag(const std::string& key, bool fallback) const;
  void Set(const std::string& key, const std::string& value);
  void SetFlag(const std::string& key, bool value) { Set(key, value ? "1" : "0"); }
  void Remove(const std::string& key);

  const std::filesystem::path& path() const { return path_; }
  const std::string& problem() const { return problem_; }

private:
  std::filesystem::path path_;
  std::string problem_;
  std::map<std::string, std::string> values_;
};

} // namespace pw::ui
