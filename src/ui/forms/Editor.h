// SPDX-License-Identifier: GPL-3.0-or-later
// TFormEditor: the modal alert-set editor window, a projection of pw::ui::EditorModel: every
// widget carries its control name, focus, key and click events go to the model by name, and
// the widgets are re-read from the model after each event.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>
#include <optional>

#include "ui/editor_model.h"
#include "ui/forms/projection.h"

class QCloseEvent;
class QKeyEvent;
class QShowEvent;

namespace pw::ui {

inline constexpr int kEditorClientWidth = 560;
inline constexpr int kEditorClientHeight = 494;

// Where each control of the editor sits; nothing for the hidden menu.
std::optional<Placement> EditorPlacement(const Control& c);

} // namespace pw::ui

class TFormEditor : public QDialog {
  Q_OBJECT
public:
  TFormEditor(pw::ui::EditorModel& model, QWidget* parent);
  ~TFormEditor() override;

  // Opens the model on set 1-6 and shows the editor modally; returns when it closed. This is
  // what the main window's Set buttons run (Shell::ShowEditor).
  void ShowSet(int set);
  // Shows the editor modally on the set the model is already open on, centred on the
  // screen as it comes up; returns when it closed. Does nothing when the model is not open.
  void Execute();

  pw::ui::Projection& projection() { return *projection_; }
  // The widget of a control, or nullptr.
  QWidget* Widget(const QString& name) const;

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  class Events;
  void AfterEvent();

  pw::ui::EditorModel& model_;
  std::unique_ptr<Events> events_;
  std::unique_ptr<pw::ui::Projection> projection_;
};
