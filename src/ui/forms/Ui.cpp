// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/Ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMenuBar>
#include <QShowEvent>

#include "ui/forms/app_identity.h"
#include "ui/forms/qt_host.h"

namespace pw::ui {

QFont MainWindowFont() {
  for (const char* family : {"MS Sans Serif", "Microsoft Sans Serif"}) {
    QFont font(QString::fromLatin1(family), 8);
    if (QFontInfo(font).family().compare(QLatin1String(family), Qt::CaseInsensitive) == 0)
      return font;
  }
  // Elsewhere the platform's own sans font, at a size that stays readable in the same space.
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

} // namespace pw::ui

using pw::ui::FormModel;
using pw::ui::QtHost;

TFormUI::TFormUI(FormModel& model, QtHost& host, QWidget* parent)
    : QMainWindow(parent), model_(model), events_(model),
      projection_(model.controls, events_, this, pw::ui::MainWindowPlacement) {
  setObjectName(QStringLiteral("TFormUI"));
  setFont(pw::ui::MainWindowFont());
  model_.FormCreate();
  projection_.Build();
  host.Attach(&model_.controls, this, [this] { projection_.Sync(); });
  // The caption is also the application title that plain message boxes carry.
  pw::ui::SetApplicationTitle(windowTitle());

  // Single border, system menu and minimise box only.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(pw::ui::kMainClientWidth,
               pw::ui::kMainClientHeight + menuBar()->sizeHint().height());
}

TFormUI::~TFormUI() = default;

QWidget* TFormUI::Widget(const QString& name) const {
  return projection_.WidgetOf(name.toStdString());
}

void TFormUI::CentreOnScreen() { ::pw::ui::CentreOnScreen(*this); }

void TFormUI::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_ || event->spontaneous())
    return;
  shown_ = true;
  CentreOnScreen();
  projection_.Dispatch([this] { model_.FormShow(); });
}

void TFormUI::closeEvent(QCloseEvent* event) {
  if (!closed_) {
    closed_ = true;
    model_.FormClose();
  }
  event->accept();
}
