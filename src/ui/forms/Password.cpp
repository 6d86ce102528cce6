// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/Password.h"
#include "ui/forms/projection.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShowEvent>

namespace {

constexpr const char* kEdit = "edtDownloadPassword";

QString ToQt(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

TFormPassword::TFormPassword(pw::ui::PasswordDialogModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("TFormPassword"));
  setWindowTitle(ToQt(model_.controls["TFormPassword"].caption));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(187, 55);

  edtDownloadPassword_ = new QLineEdit(this);
  edtDownloadPassword_->setObjectName(QString::fromLatin1(kEdit));
  edtDownloadPassword_->setGeometry(12, 16, 163, 22);
  edtDownloadPassword_->installEventFilter(this);
  connect(edtDownloadPassword_, &QLineEdit::textEdited, this, [this](const QString& text) {
    model_.controls.SetText(kEdit, text.toLatin1().toStdString());
  });

  auto* esc = new QAction(this);
  esc->setObjectName(QStringLiteral("Esc2"));
  esc->setShortcut(QKeySequence(Qt::Key_Escape));
  esc->setShortcutContext(Qt::WindowShortcut);
  connect(esc, &QAction::triggered, this, &QDialog::reject);
  addAction(esc);
  // Esc and the close box both leave without confirming.
  connect(this, &QDialog::rejected, this, [this] {
    if (model_.IsOpen())
      model_.Esc2Click();
  });
  Sync();
}

void TFormPassword::Sync() {
  const pw::ui::Control& c = model_.controls[kEdit];
  QSignalBlocker block(edtDownloadPassword_);
  if (edtDownloadPassword_->text() != ToQt(c.text))
    edtDownloadPassword_->setText(ToQt(c.text));
  edtDownloadPassword_->setMaxLength(c.maxLength > 0 ? c.maxLength : 32767);
  edtDownloadPassword_->setEchoMode(c.passwordChar ? QLineEdit::Password : QLineEdit::Normal);
  edtDownloadPassword_->setStyleSheet(
      c.passwordChar ? QStringLiteral("QLineEdit { lineedit-password-character: %1; }")
                           .arg(static_cast<int>(static_cast<unsigned char>(c.passwordChar)))
                     : QString());
}

void TFormPassword::Execute() {
  exec();
}

void TFormPassword::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  // Centred on the main window, frames included (known once the window exists).
  pw::ui::CentreOnOwner(*this);
  model_.FormActivate();
  Sync();
  edtDownloadPassword_->setFocus(Qt::OtherFocusReason);
}

bool TFormPassword::eventFilter(QObject* watched, QEvent* event) {
  if (watched != edtDownloadPassword_ || event->type() != QEvent::KeyPress)
    return QDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
    return false;
  char ch = 0;
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
    ch = '\r';
  } else if (key->key() == Qt::Key_Backspace) {
    ch = '\b';
  } else {
    const QString text = key->text();
    if (text.size() != 1 || text[0].unicode() < 0x20)
      return false; // Esc, Tab, arrows
    if (text[0].unicode() > 0x7E)
      return true;
    ch = static_cast<char>(text[0].unicode());
  }
  model_.controls.SetText(kEdit, edtDownloadPassword_->text().toLatin1().toStdString());
  const bool accepted = model_.KeyPress(ch);
  if (ch == '\r') {
    Sync();
    if (!model_.IsOpen())
      accept();
    return true;
  }
  return !accepted; // an accepted key goes on to the edit
}

// Esc is the hidden menu item's; Enter belongs to the edit, never to a default button.
void TFormPassword::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
