// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the link, a transaction or a rule asks of the user interface. The GUI answers
// with message boxes and the form model, the command line with stderr and flags, tests with
// a scripted double.
#pragma once

#include <string>

#include "base/message.h"

namespace pw {

class Host {
public:
  virtual ~Host() = default;

  // A message box with an OK button: plain (empty caption, application title) or captioned.
  virtual void Show(const Message& message) = 0;
  void ShowMessage(const std::string& text) { Show(Plain(text)); }
  void ShowBox(const std::string& text, const std::string& caption, Icon icon) {
    Show(Message{text, caption, icon});
  }

  // Retry/Cancel question: true for Retry.
  virtual bool AskRetryCancel(const Message& message) = 0;
  // Yes/No question: true for Yes. defaultNo makes No the default button.
  virtual bool AskYesNo(const Message& message, bool defaultNo) = 0;

  // The progress gauge CGauge1, percent 0-100.
  virtual void SetProgress(int percent) = 0;
  virtual int Progress() const = 0;
  // Let the window repaint (one pass of the message loop).
  virtual void PumpMessages() = 0;

  // Named labels and controls of the main window that transactions write (version labels).
  virtual void SetText(const std::string& control, const std::string& text) = 0;
  virtual std::string Text(const std::string& control) const = 0;
};

} // namespace pw
