// SPDX-License-Identifier: GPL-3.0-or-later
// A Shell for tests: file dialogs answered from a script, modal windows recorded.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/shell.h"

namespace pw::test {

class ScriptedShell : public ui::Shell {
public:
  std::optional<std::string> AskOpenFileName(const ui::FileDialogRequest& r) override {
    openRequests.push_back(r);
    return Next(openAnswers);
  }
  std::optional<std::string> AskSaveFileName(const ui::FileDialogRequest& r) override {
    saveRequests.push_back(r);
    return Next(saveAnswers);
  }
  void ShowHelp(const std::vector<std::string>& lines) override { helpShown.push_back(lines); }
  void ShowEditor(int set) override { editorsShown.push_back(set); }
  void ShowSerialDevices() override {
    ++serialDevicesShown;
    if (onSerialDevices) onSerialDevices();
  }
  bool ShowCapcodePools(ui::CapcodePoolsModel& model) override {
    return onCapcodePools && onCapcodePools(model);
  }
  void CloseMainWindow() override { ++closes; }
  void FocusControl(const std::string& name) override { focused.push_back(name); }
  bool OpenWithDefaultApplication(const std::string& path) override {
    opened.push_back(path);
    return openSucceeds;
  }

  std::deque<std::optional<std::string>> openAnswers; // empty script: Cancel
  std::deque<std::optional<std::string>> saveAnswers;
  std::vector<ui::FileDialogRequest> openRequests, saveRequests;
  std::vector<std::vector<std::string>> helpShown;
  std::vector<int> editorsShown;
  std::vector<std::string> focused;
  std::vector<std::string> opened; // files handed to the desktop
  bool openSucceeds = true;
  int closes = 0;
  std::function<void()> onSerialDevices; // what the user does in the serial-device dialog
  int serialDevicesShown = 0;
  // What the user does in the capcode pools dialog; true: OK. Unset: Cancel.
  std::function<bool(ui::CapcodePoolsModel&)> onCapcodePools;

private:
  static std::optional<std::string> Next(std::deque<std::optional<std::string>>& q) {
    if (q.empty()) return std::nullopt;
    auto v = q.front();
    q.pop_front();
    return v;
  }
};

} // namespace pw::test
