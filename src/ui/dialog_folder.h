// SPDX-License-Identifier: GPL-3.0-or-later
// The folder the Load and Save dialogs open in. A copy of the program in a folder the user
// may write (unpacked or built by the user, see WorksBesideProgram) opens them there, beside
// "CorvaneF.ini"; an installed program opens them in the folder last used, else the user's
// home, and remembers that folder in its own settings file.
#pragma once

#include <filesystem>
#include <string>

namespace pw::ui {

class DialogFolder {
public:
  // programWritable: whether files can be made in programDir. settingsPath empty: the last
  // folder is remembered for this session only.
  DialogFolder(std::string programDir, bool programWritable, std::filesystem::path settingsPath);

  std::string Initial() const;
  // The user chose this file in a dialog.
  void Remember(const std::string& chosenFile);

private:
  std::string programDir_;
  std::filesystem::path settingsPath_;
  bool programWritable_;
  std::string last_;
};

} // namespace pw::ui
