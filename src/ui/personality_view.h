// SPDX-License-Identifier: GPL-3.0-or-later
// The personality view: fills both pages of the main window from the working image and runs
// the field rules when the user edits a control (Enter, KeyPress, Exit, Click, MouseDown).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
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
  // Returns whether the character reaches the edit; '\r' is the Enter key, which runs the
  // field's rule and never reaches the edit.
  bool KeyPress(const std::string& name, char ch);
  // Check boxes: the control's checked state has already been flipped by the click.
  // Radio groups and combo boxes: itemIndex already holds the new item.
  void Click(const std::string& name);
  void MouseDown(const std::string& name, bool leftButton);

  // Validates the field of the current help topic as its Exit handler would; false when a
  // capcode, the serial number or a cadence was refused, so the command must not run.
  bool ValidatePendingField();
  // After a successful Program with automatic stepping ticked. False when two stepped codes
  // came out equal and nothing was stepped.
  bool AutoStepCodes();
  // The capcodes of codes A-F that AutoStepCodes would leave, computed on a copy and shown
  // nowhere; nullopt when it would step nothing.
  std::optional<std::array<std::string, map::kCodeCount>> PreviewAutoStep() const;

  // The rejection flag of a field (capcodes, serial number, frequency, battery, timer, LED
  // and beep edits); false for any other control.
  bool FieldInvalid(const std::string& name) const;
  // The step of code k (1-6) for automatic stepping, as its I-D edit last set it.
  int Step(int k) const;
  // The frequency text the field falls back to when an entry is refused.
  const std::string& LastGoodFrequencyText() const;
  // Called whenever chkLEDFlashforever changed (its click or a refill of the FLEX Address
  // page): the alert-set editor's edtSetRepeat follows the box.
  std::function<void()> LedFlashForeverChanged;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

} // namespace pw::ui
