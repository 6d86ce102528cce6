// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/app_identity.h"

#include <QGuiApplication>

namespace pw::ui {

namespace {

QString& Title() {
  static QString title;
  return title;
}

} // namespace

QIcon ApplicationIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/pagewright.png").arg(size),
                 QSize(size, size));
  return icon;
}

void SetDesktopIdentity() {
  QGuiApplication::setApplicationName(QString::fromLatin1(kDesktopName));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
  QGuiApplication::setWindowIcon(ApplicationIcon());
}

void SetApplicationTitle(const QString& title) {
  Title() = title;
}

QString ApplicationTitle() {
  return Title().isEmpty() ? QGuiApplication::applicationName() : Title();
}

} // namespace pw::ui
