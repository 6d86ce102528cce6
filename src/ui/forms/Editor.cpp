// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/Editor.h"
#include "ui/forms/projection.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QShowEvent>

#include <functional>
#include <map>
#include <string>

namespace pw::ui {

namespace {

// "MS Sans Serif" 8 pt where it exists, else the platform's sans font at 8 pt.
QFont EditorFont() {
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  if (QFontInfo(font).family().compare(QStringLiteral("MS Sans Serif"), Qt::CaseInsensitive) == 0)
    return font;
  font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(8);
  return font;
}

// Slot rows: two columns of eight, ?0-?7 on the left and ?8-?F on the right.
constexpr int kSlotTop = 16;
constexpr int kSlotRowHeight = 36;
constexpr int kSlotColumnLeft[2] = {8, 276};

Placement At(const QRect& rect) {
  Placement p;
  p.rect = rect;
  return p;
}

std::optional<Placement> SlotPlacement(const Control& c) {
  for (int j = 0; j < map::kExtendedIdSlots; ++j) {
    const SlotNames& s = Slot(j);
    const int x = kSlotColumnLeft[j / 8];
    const int y = kSlotTop + (j % 8) * kSlotRowHeight;
    if (c.name == s.label)
      return At(QRect(x, y + 14, 20, 16));
    if (c.name == s.enableGroup)
      return At(QRect(x + 22, y, 80, 34));
    if (c.name == s.check)
      return At(QRect(10, 14, 60, 18));
    if (c.name == s.functionGroup)
      return At(QRect(x + 106, y, 154, 34));
    if (c.name == s.combo)
      return At(QRect(6, 12, 142, 20));
  }
  return std::nullopt;
}

} // namespace

std::optional<Placement> EditorPlacement(const Control& c) {
  static const std::map<std::string, QRect> fixed = {
      {"gpbLEDFlash", QRect(8, 6, 544, 66)},         {"gpbSetTime", QRect(6, 18, 62, 42)},
      {"edtSetTime", QRect(8, 16, 46, 20)},          {"gpbSetLED1Cadence", QRect(71, 18, 130, 42)},
      {"edtSetLED1Cadence", QRect(3, 16, 124, 20)},  {"gpbSetLED2Cadence", QRect(204, 18, 130, 42)},
      {"edtSetLED2Cadence", QRect(3, 16, 124, 20)},  {"gpbSetRepeat", QRect(337, 18, 68, 42)},
      {"edtSetRepeat", QRect(8, 16, 52, 20)},        {"gpbSetFlashtime", QRect(408, 18, 130, 42)},
      {"lblSetAlerttime", QRect(5, 18, 122, 16)},    {"gpbSetVoiceSegment", QRect(8, 76, 544, 46)},
      {"cboSetVoiceSegment", QRect(8, 17, 160, 21)}, {"gpbExtendID", QRect(8, 126, 544, 312)},
      {"lblSetHelp", QRect(8, 440, 544, 20)},        {"btnHelp", QRect(362, 462, 92, 26)},
      {"btnExit", QRect(460, 462, 92, 26)},
  };
  if (auto it = fixed.find(c.name); it != fixed.end()) {
    Placement p = At(it->second);
    // The cadence help lines are long: shown whole, smaller where they must be.
    p.fitText = c.name == "lblSetHelp";
    return p;
  }
  return SlotPlacement(c);
}

} // namespace pw::ui

// The editor's entry points as the projection forwards them; after each one the window
// checks whether the model has closed.
class TFormEditor::Events final : public pw::ui::FormEvents {
public:
  Events(pw::ui::EditorModel& model, std::function<void()> after)
      : model_(model), after_(std::move(after)) {}

  void Enter(const std::string& name) override {
    model_.Enter(name);
    after_();
  }
  void Exit(const std::string& name) override {
    model_.Exit(name);
    after_();
  }
  bool KeyPress(const std::string& name, char ch) override {
    const bool accepted = model_.KeyPress(name, ch);
    after_();
    return accepted;
  }
  void Click(const std::string& name) override {
    model_.Click(name);
    after_();
  }
  void MouseDown(const std::string&, bool) override {}
  void TimerTick(const std::string&) override {}
  void PageChanged(const std::string&, int) override {}
  std::string TakeFocusRequest() override {
    std::string name = std::move(model_.FocusRequest);
    model_.FocusRequest.clear();
    return name;
  }

private:
  pw::ui::EditorModel& model_;
  std::function<void()> after_;
};

TFormEditor::TFormEditor(pw::ui::EditorModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("TFormEditor"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setModal(true);
  setFixedSize(pw::ui::kEditorClientWidth, pw::ui::kEditorClientHeight);
  setFont(pw::ui::EditorFont());

  events_ = std::make_unique<Events>(model_, [this] { AfterEvent(); });
  projection_ = std::make_unique<pw::ui::Projection>(model_.controls, *events_, this,
                                                     &pw::ui::EditorPlacement, this);
  projection_->Build();
  // The menu only carries the F1 and F10 keys; the projection keeps them window-wide.
  if (QWidget* bar = projection_->WidgetOf("MainMenu1"))
    bar->hide();

  const auto digits = QRegularExpression(QStringLiteral("[0-9]*"));
  const auto binary = QRegularExpression(QStringLiteral("[01]*"));
  for (const char* name : {"edtSetTime", "edtSetRepeat", "edtSetLED1Cadence", "edtSetLED2Cadence"})
    if (auto* edit = qobject_cast<QLineEdit*>(projection_->WidgetOf(name))) {
      const bool cadence = std::string(name).find("Cadence") != std::string::npos;
      edit->setValidator(new QRegularExpressionValidator(cadence ? binary : digits, edit));
    }
}

TFormEditor::~TFormEditor() = default;

QWidget* TFormEditor::Widget(const QString& name) const {
  return projection_->WidgetOf(name.toStdString());
}

void TFormEditor::ShowSet(int set) {
  model_.Open(set);
  Execute();
}

void TFormEditor::Execute() {
  if (!model_.IsOpen())
    return;
  projection_->Sync();
  exec();
}

void TFormEditor::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous() || !model_.IsOpen())
    return;
  // Centred on the screen, frame included (known once the window exists).
  pw::ui::CentreOnScreen(*this);
  // The first field takes the focus as the window opens: that is its Enter.
  const std::string first = events_->TakeFocusRequest();
  if (first.empty())
    return;
  projection_->Focus(first);
  projection_->Dispatch([&] { events_->Enter(first); });
}

void TFormEditor::AfterEvent() {
  if (!model_.IsOpen() && isVisible())
    done(QDialog::Accepted);
}

void TFormEditor::closeEvent(QCloseEvent* event) {
  if (model_.IsOpen()) {
    model_.Close();
    projection_->Sync();
  }
  QDialog::closeEvent(event);
}

// The editor has no Esc key; F10 and the close box leave it.
void TFormEditor::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
