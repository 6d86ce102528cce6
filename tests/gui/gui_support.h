// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt side of the window tests: one QApplication for the whole run (offscreen unless a
// display platform is named), and a recorder that answers message boxes without showing them.
#pragma once

#include <QApplication>
#include <QProgressBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

#include "ui/forms/projection.h"
#include "ui/forms/qt_host.h"

namespace pw::test {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "pagewright_gui_tests";
  static char* argv[] = {name, nullptr};
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// A message box as it would have appeared.
struct Box {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton;
};

// Records every box of a QtHost and answers it with its default button.
struct BoxRecorder {
  std::vector<Box> boxes;

  void Attach(ui::QtHost& host) {
    host.SetBoxHook([this](QMessageBox& box) {
      QMessageBox::StandardButton def =
          box.defaultButton() ? box.standardButton(box.defaultButton()) : QMessageBox::Ok;
      boxes.push_back({box.windowTitle(), box.text(), box.icon(), box.standardButtons(), def});
      return def;
    });
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Box& b : boxes)
      out.push_back(b.text.toStdString());
    return out;
  }
};

// Shows a window and makes it the active one, so window shortcuts and focus work.
inline bool ShowActive(QWidget& w) {
  w.show();
  QApplication::setActiveWindow(&w);
  w.activateWindow();
  return QTest::qWaitForWindowActive(&w);
}

// Types into whatever has the focus, as the keyboard would.
inline void Type(const QString& text) {
  for (QChar ch : text)
    QTest::keyClicks(QApplication::focusWidget(), QString(ch));
}
inline void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QTest::keyClick(QApplication::focusWidget(), key, mods);
}

// Records the value a progress bar showed at every paint.
struct PaintedValues : QObject {
  std::vector<int> values;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      values.push_back(static_cast<QProgressBar*>(watched)->value());
    return false;
  }
};

inline std::string FocusedName() {
  QWidget* w = QApplication::focusWidget();
  return w ? w->objectName().toStdString() : std::string();
}

} // namespace pw::test
