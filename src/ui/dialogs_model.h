// SPDX-License-Identifier: GPL-3.0-or-later
// The download-password dialog TFormPassword and the retry dialog TForm1, headless. No
// command of the program opens them yet; they are ready for the one that will.
#pragma once

#include <array>
#include <string>

#include "ui/controls.h"

namespace pw::ui {

inline constexpr int kPasswordMaxLength = 10;

// The password the user confirmed last; it outlives the openings of the dialog.
struct PasswordResult {
  std::array<char, kPasswordMaxLength + 1> text{}; // zero-terminated
  int length = 0;
  bool pending = false; // set on activation, cleared only by a confirmed password

  std::string Text() const { return std::string(text.data()); }
};

class PasswordDialogModel {
public:
  PasswordDialogModel();

  void FormActivate(); // empty box, pending flag, '*' mask; opens the dialog
  // Key filter of edtDownloadPassword: whether the character reaches the edit. '\r' (the
  // Enter key) confirms the password and never reaches it.
  bool KeyPress(char ch);
  // A key typed into the box as the edit would take it: the filter, then Backspace or the
  // character (refused beyond the maximum length). Returns whether the text changed.
  bool Type(char ch);
  void Esc2Click(); // closes; pending flag and previous password stay
  bool IsOpen() const { return open_; }

  Controls controls; // TFormPassword, edtDownloadPassword, Esc2
  PasswordResult result;

private:
  void Confirm();
  bool open_ = false;
};

class RetryDialogModel {
public:
  // mainControls must hold Retry_Timer (the main window's timer).
  explicit RetryDialogModel(Controls& mainControls);

  void Open();
  void Retry_TimerTimer(); // the main window's Retry_Timer fired
  void btnCancelClick();
  void SetCountdown(std::string text); // lblSecond
  bool IsOpen() const { return open_; }

  Controls controls; // TForm1, lblRetry, lblSecond, btnCancel
  bool RetryTimedOut = false;

private:
  void StopTimerAndClose();
  Controls& main_;
  bool open_ = false;
};

} // namespace pw::ui
