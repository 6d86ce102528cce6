// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/user_settings.h"

#include <sstream>
#include <system_error>

#include "base/unicode_paths.h"
#include "base/user_dirs.h"
#include "files/file_io.h"

namespace pw::ui {

namespace fs = std::filesystem;

fs::path UserSettings::DefaultPath() {
  fs::path dir = UserConfigDirectory();
  return dir.empty() ? fs::path() : dir / kUserSettingsFileName;
}

UserSettings UserSettings::Load(const fs::path& path) {
  UserSettings s;
  s.path_ = path;
  if (path.empty()) return s;
  const FileReadResult read = ReadTextFile(Utf8FromPath(path), kMaxSettingsFileBytes);
  if (!read.ok) {
    if (!read.missing)
      s.problem_ = read.error;
    return s;
  }
  std::istringstream in(read.text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    s.values_[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return s;
}

bool UserSettings::Save() const {
  if (path_.empty() || !EnsureDirectory(path_.parent_path())) return false;
  std::string text = "# Pagewright settings\n";
  for (const auto& [key, value] : values_) text += key + "=" + value + "\n";
  return WriteFileSafely(Utf8FromPath(path_), text, false).ok;
}

std::optional<std::string> UserSettings::Get(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool UserSettings::Flag(const std::string& key, bool fallback) const {
  std::optional<std::string> v = Get(key);
  if (!v || (*v != "0" && *v != "1")) return fallback;
  return *v == "1";
}

void UserSettings::Set(const std::string& key, const std::string& value) {
  // A key or value with a line break would split the line on the next load.
  if (key.empty() || key.find_first_of("=\r\n") != std::string::npos ||
      value.find_first_of("\r\n") != std::string::npos)
    return;
  values_[key] = value;
}

void UserSettings::Remove(const std::string& key) { values_.erase(key); }

} // namespace pw::ui
