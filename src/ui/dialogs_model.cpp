// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs_model.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pw::ui {

namespace {

constexpr const char* kPasswordForm = "TFormPassword";
constexpr const char* kPasswordEdit = "edtDownloadPassword";
constexpr const char* kRetryForm = "TForm1";

Control Make(Kind kind, std::string name, std::string parent, std::string caption = {}) {
  Control c;
  c.kind = kind;
  c.name = std::move(name);
  c.parent = std::move(parent);
  c.caption = std::move(caption);
  return c;
}

bool PasswordCharacter(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
         ch == ' ';
}

} // namespace

PasswordDialogModel::PasswordDialogModel() {
  controls.Add(Make(Kind::Form, kPasswordForm, "", "Password"));
  Control edit = Make(Kind::Edit, kPasswordEdit, kPasswordForm);
  edit.maxLength = kPasswordMaxLength;
  edit.passwordChar = '*';
  controls.Add(std::move(edit));
  Control menu = Make(Kind::Menu, "MainMenu1", kPasswordForm);
  menu.visible = false;
  controls.Add(std::move(menu));
  Control esc = Make(Kind::MenuItem, "Esc2", "MainMenu1", "Esc");
  esc.shortcut = "Esc";
  controls.Add(std::move(esc));
}

void PasswordDialogModel::FormActivate() {
  Control& edit = controls[kPasswordEdit];
  edit.text.clear();
  edit.passwordChar = '*';
  result.pending = true;
  open_ = true;
}

bool PasswordDialogModel::KeyPress(char ch) {
  if (ch == '\r') {
    Confirm();
    return false;
  }
  return ch == '\b' || PasswordCharacter(ch);
}

bool PasswordDialogModel::Type(char ch) {
  if (!KeyPress(ch))
    return false;
  Control& edit = controls[kPasswordEdit];
  if (ch == '\b') {
    if (edit.text.empty())
      return false;
    edit.text.pop_back();
    return true;
  }
  if (edit.maxLength > 0 && static_cast<int>(edit.text.size()) >= edit.maxLength)
    return false;
  edit.text += ch;
  return true;
}

void PasswordDialogModel::Confirm() {
  Control& edit = controls[kPasswordEdit];
  const std::size_t first = edit.text.find_first_not_of(' ');
  const std::string trimmed =
      first == std::string::npos
          ? std::string()
          : edit.text.substr(first, edit.text.find_last_not_of(' ') - first + 1);
  edit.text = trimmed;
  // A text set around the key filter may be longer than the box allows: keep what fits.
  const std::size_t length = std::min<std::size_t>(trimmed.size(), kPasswordMaxLength);
  result.text.fill('\0');
  std::memcpy(result.text.data(), trimmed.data(), length);
  result.length = static_cast<int>(length);
  result.pending = false;
  open_ = false;
}

void PasswordDialogModel::Esc2Click() {
  open_ = false;
}

RetryDialogModel::RetryDialogModel(Controls& mainControls) : main_(mainControls) {
  controls.Add(Make(Kind::Form, kRetryForm, "", "Retry"));
  controls.Add(Make(Kind::Label, "lblRetry", kRetryForm, "Retry Programming Pager"));
  controls.Add(Make(Kind::Label, "lblSecond", kRetryForm));
  controls.Add(Make(Kind::Button, "btnCancel", kRetryForm, "Cancel"));
}

void RetryDialogModel::Open() {
  open_ = true;
}

void RetryDialogModel::SetCountdown(std::string text) {
  controls.SetCaption("lblSecond", std::move(text));
}

void RetryDialogModel::StopTimerAndClose() {
  if (Control* timer = main_.Find("Retry_Timer"))
    timer->running = false;
  open_ = false;
}

void RetryDialogModel::Retry_TimerTimer() {
  RetryTimedOut = true;
  StopTimerAndClose();
}

void RetryDialogModel::btnCancelClick() {
  RetryTimedOut = false;
  StopTimerAndClose();
}

} // namespace pw::ui
