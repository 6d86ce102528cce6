// SPDX-License-Identifier: GPL-3.0-or-later
// TFormUI: the main window, a Qt projection of pw::ui::FormModel. Creating it runs the
// model's FormCreate and builds one widget per control; showing it runs FormShow; closing it
// runs FormClose.
#pragma once

#include <QMainWindow>
#include <QString>

#include <optional>

#include "ui/controls.h"
#include "ui/form_model.h"
#include "ui/forms/projection.h"

class QCloseEvent;
class QShowEvent;

namespace pw::ui {

class QtHost;

// The main window's client area below its menu bar, tool bar included.
inline constexpr int kMainClientWidth = 791;
inline constexpr int kMainClientHeight = 581;

// Where each control of the main window sits (layout_main.cpp); nothing for menus, timers
// and pages.
std::optional<Placement> MainWindowPlacement(const Control& c);

// The window font: "MS Sans Serif" 8 pt where it exists, else the platform's sans font.
QFont MainWindowFont();

} // namespace pw::ui

class TFormUI : public QMainWindow {
  Q_OBJECT

public:
  TFormUI(pw::ui::FormModel& model, pw::ui::QtHost& host, QWidget* parent = nullptr);
  ~TFormUI() override;

  pw::ui::Projection& projection() { return projection_; }
  // The widget of a control, or nullptr.
  QWidget* Widget(const QString& name) const;
  // Centres the window on its screen: left = (screen width - width) / 2, likewise top.
  void CentreOnScreen();

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  pw::ui::FormModel& model_;
  pw::ui::ModelEvents<pw::ui::FormModel> events_;
  pw::ui::Projection projection_;
  bool shown_ = false;
  bool closed_ = false;
};
