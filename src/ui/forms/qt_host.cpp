// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/qt_host.h"


#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QUrl>
#include <QWidget>

#include <algorithm>

#include "ui/forms/CapcodePools.h"
#include "ui/forms/PagerHistory.h"
#include "ui/forms/app_identity.h"
#include "ui/forms/projection.h"

namespace pw::ui {

namespace {

QMessageBox::Icon BoxIcon(Icon icon) {
  switch (icon) {
  case Icon::Error:
    return QMessageBox::Critical;
  case Icon::Warning:
    return QMessageBox::Warning;
  case Icon::Information:
    return QMessageBox::Information;
  case Icon::Question:
    return QMessageBox::Question;
  case Icon::None:
    break;
  }
  return QMessageBox::NoIcon;
}

} // namespace

std::unique_ptr<QMessageBox> QtHost::BuildBox(BoxKind kind, const Message& message, bool defaultNo,
                                              QWidget* parent) {
  auto box = std::make_unique<QMessageBox>(parent);
  box->setTextFormat(Qt::PlainText);
  // What the system said goes below the message's own text, in the same box.
  box->setText(ToQt(message.detail.empty() ? message.text
                                           : message.text + "\n\n" + message.detail));
  box->setWindowTitle(message.caption.empty() ? ApplicationTitle() : ToQt(message.caption));
  box->setIcon(BoxIcon(message.icon));
  switch (kind) {
  case BoxKind::Ok:
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    break;
  case BoxKind::RetryCancel:
    box->setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Retry);
    break;
  case BoxKind::YesNo:
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(defaultNo ? QMessageBox::No : QMessageBox::Yes);
    break;
  }
  return box;
}

void QtHost::Attach(Controls* controls, QWidget* window, std::function<void()> sync,
                    std::string gauge) {
  controls_ = controls;
  window_ = window;
  sync_ = std::move(sync);
  gauge_ = std::move(gauge);
}

QMessageBox::StandardButton QtHost::Ask(BoxKind kind, const Message& message, bool defaultNo) {
  if (sync_)
    sync_(); // the window behind the box shows what led to it
  std::unique_ptr<QMessageBox> box = BuildBox(kind, message, defaultNo, window_);
  if (hook_)
    return hook_(*box);
  box->exec();
  QAbstractButton* clicked = box->clickedButton();
  if (!clicked)
    return QMessageBox::NoButton; // closed with Esc or the close box
  return box->standardButton(clicked);
}

void QtHost::Show(const Message& message) {
  Ask(BoxKind::Ok, message, false);
}

bool QtHost::AskRetryCancel(const Message& message) {
  return Ask(BoxKind::RetryCancel, message, false) == QMessageBox::Retry;
}

bool QtHost::AskYesNo(const Message& message, bool defaultNo) {
  return Ask(BoxKind::YesNo, message, defaultNo) == QMessageBox::Yes;
}

void QtHost::SetProgress(int percent) {
  progress_ = std::clamp(percent, 0, 100);
  if (!controls_)
    return;
  if (Control* gauge = controls_->Find(gauge_))
    gauge->itemIndex = progress_;
  RepaintGauge();
}

// The link sets the gauge after every byte while the window waits for the transaction: the
// gauge alone is repainted at once, without a message pump, so it moves smoothly and the
// user's keys and clicks still wait until the command is done.
void QtHost::RepaintGauge() {
  if (!gaugeWidget_ && window_)
    gaugeWidget_ = window_->findChild<QProgressBar*>(ToQt(gauge_));
  if (!gaugeWidget_ || gaugeWidget_->value() == progress_)
    return;
  gaugeWidget_->setValue(progress_);
  gaugeWidget_->repaint();
}

void QtHost::PumpMessages() {
  if (sync_)
    sync_();
  // Repaints and timers only: the user's keys and clicks wait until the command is done.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtHost::SetText(const std::string& control, const std::string& text) {
  if (!controls_)
    return;
  Control* c = controls_->Find(control);
  if (!c)
    return;
  if (c->kind == Kind::Edit || c->kind == Kind::RichEdit) {
    c->text = text;
  } else {
    c->caption = text;
  }
}

std::string QtHost::Text(const std::string& control) const {
  const Control* c = controls_ ? controls_->Find(control) : nullptr;
  if (!c)
    return {};
  return c->kind == Kind::Edit || c->kind == Kind::RichEdit ? c->text : c->caption;
}

// ---- Shell ---------------------------------------------------------------------------------

void QtShell::Attach(QWidget* window, std::function<void(const std::string&)> focus) {
  window_ = window;
  focus_ = std::move(focus);
}

QString QtShell::DialogFilter(const FileDialogRequest& request) {
  QStringList filters;
  for (const std::string& f : request.filters)
    filters << ToQt(f);
  return filters.join(QStringLiteral(";;"));
}

std::string FileNameToCore(const QString& name) {
#ifdef Q_OS_WIN
  return name.toStdString();
#else
  return QFile::encodeName(name).toStdString();
#endif
}

QString FileNameFromCore(const std::string& name) {
#ifdef Q_OS_WIN
  return QString::fromStdString(name);
#else
  return QFile::decodeName(name.c_str());
#endif
}

std::optional<std::string> QtShell::Ask(const FileDialogRequest& request, bool save) {
  if (fileHook_)
    return fileHook_(request, save);
  QFileDialog dialog(window_, ToQt(request.title), FileNameFromCore(request.directory));
  dialog.setNameFilter(DialogFilter(request));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The save flow asks about an existing file itself (and keeps a .bak copy).
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.fileName.empty())
    dialog.selectFile(FileNameFromCore(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return std::nullopt;
  return FileNameToCore(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

std::optional<std::string> QtShell::AskOpenFileName(const FileDialogRequest& request) {
  return Ask(request, false);
}

std::optional<std::string> QtShell::AskSaveFileName(const FileDialogRequest& request) {
  return Ask(request, true);
}

void QtShell::ShowHelp(const std::vector<std::string>& lines) {
  if (showHelp_)
    showHelp_(lines);
}

void QtShell::ShowEditor(int set) {
  if (showEditor_)
    showEditor_(set);
}

void QtShell::ShowSerialDevices() {
  if (showSerialDevices_)
    showSerialDevices_();
}

void QtShell::ShowPagerHistory(PagerHistoryModel& model) {
  TFormPagerHistory dialog(model, window_);
  dialog.exec();
}

bool QtShell::ShowCapcodePools(CapcodePoolsModel& model) {
  TFormCapcodePools dialog(model, window_);
  return dialog.exec() == QDialog::Accepted;
}

std::optional<std::string> QtShell::AskText(const std::string& title, const std::string& label,
                                            const std::string& value) {
  if (textHook_)
    return textHook_(value);
  bool ok = false;
  const QString text =
      QInputDialog::getText(window_, QString::fromStdString(title), QString::fromStdString(label),
                            QLineEdit::Normal, QString::fromUtf8(value.c_str()), &ok);
  if (!ok)
    return std::nullopt;
  return text.toStdString();
}

void QtShell::CloseMainWindow() {
  if (window_)
    window_->close();
}

void QtShell::FocusControl(const std::string& name) {
  if (focus_)
    focus_(name);
}

bool QtShell::OpenWithDefaultApplication(const std::string& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromUtf8(path.c_str())));
}

} // namespace pw::ui
