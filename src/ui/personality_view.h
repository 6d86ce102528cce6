// The personality view: fills both pages of the main window from the working image and runs
// the field rules when the user edits a control (Enter, KeyPress, Exit, Click, MouseDown).
#pragma once

#include <string>

#include "base/host.h"
#include "codeplug/codeplug.h"
#include "ui/controls.h"
#include "ui/view_state.h"

namespace pw::ui {

class PersonalityView {
public:
  PersonalityView(Controls& controls, Codeplug& codeplug, Host& host, ViewState& state);
  ~PersonalityView();

  void RefreshActivePage();
  void RefreshAddressPage();
  void RefreshStandardPage();

  // True for every control of the two pages whose events this view handles.
  bool HandlesControl(const std::string& name) const;
  void Enter(const std::string& name);
  void Exit(const std::string& name);
  // Returns whether the character reaches the edit; '\r' is the Enter key.
  bool KeyPress(const std::string& name, char ch);
  // Check boxes: the control's checked state has already been flipped by the click.
  // Radio groups and combo boxes: itemIndex already holds the new item.
  void Click(const std::string& name);
  void MouseDown(const std::string& name, bool leftButton);

  // Validates the field of the current help topic as its Exit handler would; false when a
  // capcode, the serial number or a cadence was refused, so the command must not run.
  bool ValidatePendingField();
  // After a successful Program with automatic stepping ticked.
  void AutoStepCodes();

private:
  struct Impl;
  Impl* impl_;
  Controls& controls_;
  Codeplug& codeplug_;
  Host& host_;
  ViewState& state_;
};

} // namespace pw::ui
