// SPDX-License-Identifier: GPL-3.0-or-later
// The F1 help texts: one topic per field, option or command of the main window, the alert-set
// editor's own text, and the F1 key / "F1 Help" button logic that picks the topic.
#pragma once

#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/shell.h"
#include "ui/view_state.h"

namespace pw::ui {

using HelpLines = std::vector<std::string>;

// The lines of one topic; empty for a topic without text (or an unknown number).
const HelpLines& StandardTopicLines(int topic);
const HelpLines& AddressTopicLines(int topic);
const HelpLines& CommandTopicLines(int topic);

// Whether F1 has something to say for the recorded topics.
bool HelpAvailable(const ViewState& state);
// The help text for the recorded topics and the active page: the Standard topic, else the
// address topic, else the command topic, whichever applies first.
HelpLines BuildHelpText(const ViewState& state);
// The alert-set editor's help, the same whatever field has the focus.
const HelpLines& EditorHelpLines();

// The main window's F1 key, "F1 Help" button and dwell timer. controls must hold lblHelp1
// (the help line) and tmrTime (the dwell timer).
class HelpController {
public:
  HelpController(ViewState& state, Controls& controls, Shell& shell);

  void Help2Click();     // F1 (the hidden "&Help" menu item)
  void btnF1HelpEnter(); // empties the help line, starts the dwell timer
  void btnF1HelpClick();
  void btnF1HelpExit(); // stops the dwell timer
  void tmrTimeTimer();  // one 200 ms tick while the button holds the focus

private:
  void StopDwell();
  void ClearTopics();
  void ShowIfAny();

  ViewState& state_;
  Controls& controls_;
  Shell& shell_;
};

} // namespace pw::ui
