// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt projection of a headless form: one widget per control of the store, named after it,
// events forwarded to the form's model by control name, and the whole store re-read into the
// widgets after every event.
#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/controls.h"

class QAction;
class QButtonGroup;
class QFocusEvent;
class QFontMetrics;
class QLabel;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QTimer;
class QToolBar;
class QWidget;

namespace pw::ui {

// The events a form's model takes, by control name.
class FormEvents {
public:
  virtual ~FormEvents() = default;
  virtual void Enter(const std::string& name) = 0;
  virtual void Exit(const std::string& name) = 0;
  virtual bool KeyPress(const std::string& name, char ch) = 0;
  virtual void Click(const std::string& name) = 0;
  virtual void MouseDown(const std::string& name, bool leftButton) = 0;
  virtual void TimerTick(const std::string& name) = 0;
  // The user picked another tab of a page control.
  virtual void PageChanged(const std::string& pageControl, int index) = 0;
  // The control the model wants focused next (empty for none); taking it clears the request.
  virtual std::string TakeFocusRequest() = 0;
};

// FormEvents over any model with the entry points of FormModel; the ones a model lacks do
// nothing.
template <class Model> class ModelEvents final : public FormEvents {
public:
  explicit ModelEvents(Model& model) : model_(model) {}
  void Enter(const std::string& name) override {
    if constexpr (requires { model_.Enter(name); })
      model_.Enter(name);
  }
  void Exit(const std::string& name) override {
    if constexpr (requires { model_.Exit(name); })
      model_.Exit(name);
  }
  bool KeyPress(const std::string& name, char ch) override {
    if constexpr (requires { model_.KeyPress(name, ch); })
      return model_.KeyPress(name, ch);
    return true;
  }
  void Click(const std::string& name) override {
    if constexpr (requires { model_.Click(name); })
      model_.Click(name);
  }
  void MouseDown(const std::string& name, bool leftButton) override {
    if constexpr (requires { model_.MouseDown(name, leftButton); })
      model_.MouseDown(name, leftButton);
  }
  void TimerTick(const std::string& name) override {
    if constexpr (requires { model_.TimerTick(name); })
      model_.TimerTick(name);
  }
  void PageChanged(const std::string& pageControl, int index) override {
    if constexpr (requires { model_.PageChanged(index); }) {
      model_.PageChanged(index);
    } else if constexpr (requires { model_.controls[pageControl].itemIndex; }) {
      model_.controls[pageControl].itemIndex = index;
      Click(pageControl);
    }
  }
  std::string TakeFocusRequest() override {
    if constexpr (requires { model_.state.FocusRequest; }) {
      return Take(model_.state.FocusRequest);
    } else if constexpr (requires { model_.FocusRequest; }) {
      return Take(model_.FocusRequest);
    }
    return {};
  }

private:
  static std::string Take(std::string& request) {
    std::string name = std::move(request);
    request.clear();
    return name;
  }
  Model& model_;
};

// Where a control sits inside its parent, and the few looks that are not in the store.
struct Placement {
  QRect rect;                   // relative to the parent widget's client area
  int columns = 1;              // radio groups: items laid out in this many columns
  Qt::Alignment alignment = {}; // labels
  QIcon icon;                   // tool buttons
  // Labels: a text wider than the label is shown whole in a smaller font, or on two lines
  // when even the smallest is too wide; never cut.
  bool fitText = false;
};
using PlacementFn = std::function<std::optional<Placement>(const Control&)>;

class Projection : public QObject {
  Q_OBJECT

public:
  // window: the form's top-level widget (a QMainWindow receives the menus and the tool bar).
  Projection(Controls& controls, FormEvents& events, QWidget* window, PlacementFn placement,
             QObject* parent = nullptr);
  ~Projection() override;

  // Creates the widgets of every control of the store, in creation order, and syncs them.
  void Build();
  // Re-reads the whole store into the widgets with their signals blocked.
  void Sync();
  // Moves the focus to a control without telling the model (it asked for it).
  void Focus(const std::string& name);
  // Runs one event through the model, re-reads the store and honours the model's focus
  // request once the outermost event is done.
  void Dispatch(const std::function<void()>& event);

  QWidget* WidgetOf(const std::string& name) const;
  QAction* ActionOf(const std::string& name) const; // menu items, menus, separators, tool buttons
  QTimer* TimerOf(const std::string& name) const;
  QMenu* MenuOf(const std::string& name) const;
  // The window-wide action that carries a shortcut ("F3", "Ctrl+S"), hidden owners included.
  QAction* ShortcutAction(const QString& keys) const;
  // The control a widget belongs to (a radio button belongs to its group).
  std::string ControlOf(const QObject* object) const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  struct Radio {
    QButtonGroup* group = nullptr;
    std::vector<std::string> items;
  };

  QWidget* ContainerFor(const Control& c) const;
  void Create(const Control& c);
  void CreateMenu(const Control& c);
  void CreateShortcuts();
  void Place(QWidget* w, const Control& c);
  void Watch(QWidget* w, const std::string& name);
  void BuildRadioItems(const Control& c);
  void SyncControl(const Control& c);
  void SyncShortcuts();
  bool Reachable(const Control& c) const; // enabled with every parent, shown or not

  bool OnFocusIn(QWidget* w, QFocusEvent* e);
  bool OnFocusOut(QWidget* w, QFocusEvent* e);
  bool OnKeyPress(QWidget* w, QKeyEvent* e);
  bool OnShortcutOverride(QKeyEvent* e);
  bool OnMousePress(QWidget* w, QMouseEvent* e);
  void OnTextEdited(const std::string& name, QWidget* w);
  void HonourFocusRequest();

  Controls& controls_;
  FormEvents& events_;
  QWidget* window_;
  PlacementFn placement_;
  QWidget* client_ = nullptr; // where top-level controls go

  std::map<std::string, QWidget*> widgets_;
  std::map<std::string, QAction*> actions_;
  std::map<std::string, QMenu*> menus_;
  std::map<std::string, QTimer*> timers_;
  std::map<std::string, QToolBar*> toolBars_;
  std::map<std::string, Radio> radios_;
  QHash<const QObject*, std::string> owners_; // widget -> control name
  struct Shortcut {
    QAction* action = nullptr;
    std::vector<std::string> owners; // menu items with this shortcut, in creation order
  };
  std::map<QString, Shortcut> shortcuts_;

  int depth_ = 0;            // events being dispatched
  bool quiet_ = false;       // focus moves made by this projection are not the user's
  std::string current_;      // control that last received a forwarded Enter
  bool deactivated_ = false; // the window lost activation (a modal box) during an event
  bool swallowPress_ = false;
  QPointer<QWidget> parked_; // had the focus when it was disabled
};

// Centres a window being shown, frame included: left = (area width - window width) / 2 + area
// left, likewise top, from the area as it is when the window is shown: the window's screen, or
// the outer rectangle of its owner window. The frame a window manager adds is taken from the
// windows it framed before, and the window is moved again once its own frame is known should
// that differ. The top-left corner stays on the screen's available area.
void CentreOnScreen(QWidget& window);
void CentreOnOwner(QWidget& window);

// A device named in a label ("COM1: /dev/serial/by-path/… — FT232R USB UART, not connected")
// made to fit width: the port and what follows the device stay whole, the middle of a long
// device path gives way first.
QString FitDeviceText(const QString& text, const QFontMetrics& metrics, int width);
// Shows a label's whole text in its rectangle: the label's own font where it fits on one
// line, else the largest smaller one (down to 6 pt) that does, else two lines.
void FitLabelText(QLabel& label, const QString& text);

// Text of the store (bytes as in the codeplug) and of the widgets.
QString ToQt(const std::string& s);
std::string FromQt(const QString& s);

} // namespace pw::ui
