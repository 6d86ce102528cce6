// SPDX-License-Identifier: GPL-3.0-or-later
// What the form model asks of the windowing layer beyond the Host: file dialogs and the
// modal windows it opens. The Qt forms implement it; the command line and tests script it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pw::ui {

class CapcodePoolsModel;
class PagerHistoryModel;

struct FileDialogRequest {
  std::string title;
  std::string directory;              // the folder the dialog opens in
  std::string fileName;               // proposed name (empty after a refused overwrite)
  std::vector<std::string> filters;   // "Tavo datafile (*.Dat)", "All files (*.*)"
};

class Shell {
public:
  virtual ~Shell() = default;
  // The chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> AskOpenFileName(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> AskSaveFileName(const FileDialogRequest& request) = 0;
  // Show the help window modally with these lines (already built); returns when closed.
  virtual void ShowHelp(const std::vector<std::string>& lines) = 0;
  // Show the alert-set editor modally for set 1-6; returns when it closed.
  virtual void ShowEditor(int set) = 0;
  // Show the serial-device dialog modally (its model is open); returns when it closed.
  virtual void ShowSerialDevices() {}
  // Show the pager history dialog modally (a read-only table of its model); returns when closed.
  virtual void ShowPagerHistory(PagerHistoryModel& model) { (void)model; }
  // Show the capcode pools dialog modally; true when the user confirmed the model's choice.
  virtual bool ShowCapcodePools(CapcodePoolsModel& model) {
    (void)model;
    return false;
  }
  // Ask for one line of text, offering value; nothing when the user cancelled.
  virtual std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                             const std::string& value) {
    (void)title, (void)label, (void)value;
    return std::nullopt;
  }
  // Close the main window (Exit command).
  virtual void CloseMainWindow() = 0;
  // Move the keyboard focus to a control (the model has already recorded it).
  virtual void FocusControl(const std::string& name) = 0;
  // Open a file with the desktop's default application; false when that cannot be done
  // (there is no desktop to ask, or it refused).
  virtual bool OpenWithDefaultApplication(const std::string& path) {
    (void)path;
    return false;
  }
};

} // namespace pw::ui
