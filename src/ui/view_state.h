// SPDX-License-Identifier: GPL-3.0-or-later
// State the main window's handlers share: help topics, page-ready flags, the focus the model
// wants next. It lives as long as the window.
#pragma once

#include <string>

namespace pw::ui {

struct ViewState {
  int AddressTopic = -1;  // FLEX Address page control that last took the focus
  int StandardTopic = -1; // Standard page control that last took the focus
  int CommandTopic = -1;  // 1 Read, 2 Program, 3 Save, 4 Load, 5 Exit
  bool AddressPageReady = true;
  bool StandardPageReady = true;
  int ActivePage = 0; // 0 FLEX Address Option, 1 Standard Option
  int HelpDwellTicks = 0;
  // The control that should receive the keyboard focus after the current event; the window
  // moves the focus there and clears it.
  std::string FocusRequest;
  void RequestFocus(std::string name) { FocusRequest = std::move(name); }
};

} // namespace pw::ui
