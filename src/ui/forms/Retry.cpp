// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/Retry.h"
#include "ui/forms/projection.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

namespace {

QString ToQt(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

TForm1::TForm1(pw::ui::RetryDialogModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(ToQt(model_.controls["TForm1"].caption));
  // No system menu: no close box, the only ways out are Cancel and the timer.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  setFixedSize(251, 123);

  auto* title = new QLabel(ToQt(model_.controls["lblRetry"].caption), this);
  title->setObjectName(QStringLiteral("lblRetry"));
  title->setAlignment(Qt::AlignCenter);
  title->setGeometry(8, 14, 235, 20);

  lblSecond_ = new QLabel(this);
  lblSecond_->setObjectName(QStringLiteral("lblSecond"));
  lblSecond_->setAlignment(Qt::AlignCenter);
  lblSecond_->setGeometry(8, 42, 235, 20);

  btnCancel_ = new QPushButton(ToQt(model_.controls["btnCancel"].caption), this);
  btnCancel_->setObjectName(QStringLiteral("btnCancel"));
  btnCancel_->setAutoDefault(false);
  btnCancel_->setGeometry(88, 80, 75, 26);
  connect(btnCancel_, &QPushButton::clicked, this, [this] {
    model_.btnCancelClick();
    Sync();
  });
  Sync();
}

void TForm1::Sync() {
  lblSecond_->setText(ToQt(model_.controls["lblSecond"].caption));
  if (!model_.IsOpen() && isVisible())
    done(QDialog::Accepted);
}

void TForm1::Execute() {
  model_.Open();
  Sync();
  exec();
}

void TForm1::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous())
    return;
  // Centred on the screen, frame included (known once the window exists).
  pw::ui::CentreOnScreen(*this);
}

void TForm1::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

// Without a system menu the window cannot be closed from its frame while it waits.
void TForm1::closeEvent(QCloseEvent* event) {
  if (model_.IsOpen()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
