// SPDX-License-Identifier: GPL-3.0-or-later
// The Host and the Shell of the Qt program: message boxes, questions, the gauge and the
// message pump; file dialogs and the modal windows the main window opens.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/host.h"
#include "ui/controls.h"
#include "ui/shell.h"

class QProgressBar;
class QWidget;

namespace pw::ui {

enum class BoxKind { Ok, RetryCancel, YesNo };

// File names as the core takes them: UTF-8 on Windows, the file system's own bytes elsewhere.
std::string FileNameToCore(const QString& name);
QString FileNameFromCore(const std::string& name);

class QtHost final : public Host {
public:
  // Builds the box a message shows: a plain box carries the application title and no icon,
  // a captioned box its caption and icon.
  static std::unique_ptr<QMessageBox> BuildBox(BoxKind kind, const Message& message, bool defaultNo,
                                               QWidget* parent);

  // controls: the main window's store (gauge, labels); sync: re-reads it into the window, so
  // a box or a pump shows the current state; gauge: the control that shows the progress.
  void Attach(Controls* controls, QWidget* window, std::function<void()> sync,
              std::string gauge = "CGauge1");

  // Answers boxes without showing them (tests): gets the box as it would appear, returns the
  // button the user pressed.
  using BoxHook = std::function<QMessageBox::StandardButton(QMessageBox& box)>;
  void SetBoxHook(BoxHook hook) { hook_ = std::move(hook); }

  void Show(const Message& message) override;
  bool AskRetryCancel(const Message& message) override;
  bool AskYesNo(const Message& message, bool defaultNo) override;
  void SetProgress(int percent) override;
  int Progress() const override { return progress_; }
  void PumpMessages() override;
  void SetText(const std::string& control, const std::string& text) override;
  std::string Text(const std::string& control) const override;

private:
  QMessageBox::StandardButton Ask(BoxKind kind, const Message& message, bool defaultNo);
  void RepaintGauge();

  Controls* controls_ = nullptr;
  QWidget* window_ = nullptr;
  std::function<void()> sync_;
  std::string gauge_;
  BoxHook hook_;
  int progress_ = 0;
  QPointer<QProgressBar> gaugeWidget_;
};

class QtShell final : public Shell {
public:
  void Attach(QWidget* window, std::function<void(const std::string&)> focus);
  void SetHelpWindow(std::function<void(const std::vector<std::string>&)> show) {
    showHelp_ = std::move(show);
  }
  void SetEditorWindow(std::function<void(int set)> show) { showEditor_ = std::move(show); }
  void SetSerialDeviceWindow(std::function<void()> show) { showSerialDevices_ = std::move(show); }

  // Answers file dialogs without showing them (tests).
  using FileHook =
      std::function<std::optional<std::string>(const FileDialogRequest& request, bool save)>;
  void SetFileHook(FileHook hook) { fileHook_ = std::move(hook); }

  // The filter string of a request, as the Qt dialog takes it.
  static QString DialogFilter(const FileDialogRequest& request);

  std::optional<std::string> AskOpenFileName(const FileDialogRequest& request) override;
  std::optional<std::string> AskSaveFileName(const FileDialogRequest& request) override;
  void ShowHelp(const std::vector<std::string>& lines) override;
  void ShowEditor(int set) override;
  void ShowSerialDevices() override;
  void ShowPagerHistory(PagerHistoryModel& model) override;
  bool ShowCapcodePools(CapcodePoolsModel& model) override;
  std::optional<std::string> AskText(const std::string& title, const std::string& label,
                                     const std::string& value) override;
  // Answers AskText without a dialog (tests).
  void SetTextHook(std::function<std::optional<std::string>(const std::string&)> hook) {
    textHook_ = std::move(hook);
  }
  void CloseMainWindow() override;
  void FocusControl(const std::string& name) override;
  bool OpenWithDefaultApplication(const std::string& path) override;

private:
  std::optional<std::string> Ask(const FileDialogRequest& request, bool save);

  QWidget* window_ = nullptr;
  std::function<void(const std::string&)> focus_;
  std::function<void(const std::vector<std::string>&)> showHelp_;
  std::function<void(int)> showEditor_;
  std::function<void()> showSerialDevices_;
  FileHook fileHook_;
  std::function<std::optional<std::string>(const std::string&)> textHook_;
};

} // namespace pw::ui
