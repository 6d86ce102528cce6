// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_folder.h"

#include <cstdlib>
#include <optional>
#include <system_error>

#include "ui/user_settings.h"

namespace pw::ui {

namespace fs = std::filesystem;

namespace {

constexpr const char* kFolderKey = "dialog.folder";

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

std::string HomeFolder() {
  for (const char* variable : {"HOME", "USERPROFILE"})
    if (const char* home = std::getenv(variable); home != nullptr && IsFolder(home))
      return home;
  return {};
}

} // namespace

DialogFolder::DialogFolder(std::string programDir, bool programWritable, fs::path settingsPath)
    : programDir_(std::move(programDir)), settingsPath_(std::move(settingsPath)),
      programWritable_(programWritable) {}

std::string DialogFolder::Initial() const {
  if (programWritable_)
    return programDir_;
  if (IsFolder(last_))
    return last_;
  if (!settingsPath_.empty()) {
    std::optional<std::string> saved = UserSettings::Load(settingsPath_).Get(kFolderKey);
    if (saved && IsFolder(*saved))
      return *saved;
  }
  const std::string home = HomeFolder();
  return home.empty() ? programDir_ : home;
}

void DialogFolder::Remember(const std::string& chosenFile) {
  if (programWritable_)
    return;
  const std::string folder = fs::absolute(fs::path(chosenFile)).parent_path().string();
  if (!IsFolder(folder) || folder == last_)
    return;
  last_ = folder;
  if (settingsPath_.empty())
    return;
  UserSettings settings = UserSettings::Load(settingsPath_);
  settings.Set(kFolderKey, folder);
  settings.Save();
}

} // namespace pw::ui
