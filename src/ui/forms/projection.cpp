// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/forms/projection.h"

#include <QGuiApplication>

#include <QMargins>
#include <QScreen>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#ifdef PW_HAVE_XCB
#include <QGuiApplication>
#include <xcb/xcb.h>
#endif

namespace pw::ui {

namespace {

// The font a fitted label is given by its form, kept on the label.
constexpr const char* kFitTextProperty = "pwFitTextFont";

// Whether margins can be a window manager's frame: none negative, none absurd.
bool Plausible(const QMargins& m) {
  for (int side : {m.left(), m.top(), m.right(), m.bottom()})
    if (side < 0 || side > 200)
      return false;
  return true;
}

// The frame the window manager has put around a shown window, as it announces it. On X11 the
// window's _NET_FRAME_EXTENTS, read afresh: Qt's own idea of the frame can be stale or
// nonsense (a 1x1 frame) while the manager is still framing the window.
std::optional<QMargins> AnnouncedFrame(const QWidget& window) {
  if (!window.isVisible() || !window.testAttribute(Qt::WA_WState_Created))
    return std::nullopt;
#ifdef PW_HAVE_XCB
  auto* x11 = QGuiApplication::platformName() == QLatin1String("xcb")
                  ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                  : nullptr;
  if (xcb_connection_t* c = x11 ? x11->connection() : nullptr) {
    static xcb_atom_t extents = [c] {
      xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
          c, xcb_intern_atom(c, 0, std::strlen("_NET_FRAME_EXTENTS"), "_NET_FRAME_EXTENTS"),
          nullptr);
      const xcb_atom_t atom = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
      std::free(r);
      return atom;
    }();
    if (extents == XCB_ATOM_NONE)
      return std::nullopt;
    const auto id = static_cast<xcb_window_t>(window.winId());
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr);
    std::optional<QMargins> frame;
    if (r && r->format == 32 && xcb_get_property_value_length(r) == 16) {
      const auto* v = static_cast<const std::uint32_t*>(xcb_get_property_value(r));
      // left, right, top, bottom, in the screen's pixels
      const qreal dpr = window.devicePixelRatioF();
      const QMargins m(qRound(v[0] / dpr), qRound(v[2] / dpr), qRound(v[1] / dpr),
                       qRound(v[3] / dpr));
      if (Plausible(m))
        frame = m;
    }
    std::free(r);
    return frame;
  }
#endif
  const QRect frame = window.frameGeometry(), client = window.geometry();
  const QMargins m(client.left() - frame.left(), client.top() - frame.top(),
                   frame.right() - client.right(), frame.bottom() - client.bottom());
  if (m.isNull() || !Plausible(m))
    return std::nullopt;
  return m;
}

// The window manager's frame around a window, as last seen around a framed one: a window
// about to be shown for the first time has no frame yet.
QMargins g_frameMargins;

QMargins FrameOf(const QWidget& window) {
  if (std::optional<QMargins> m = AnnouncedFrame(window)) {
    g_frameMargins = *m;
    return *m;
  }
  return g_frameMargins;
}

// Keeps a window centred in an area fixed when it is shown: placed at once from the frame the
// window manager is known to draw, and moved again once the real frame is known, should it
// differ. The top-left corner stays inside bounds (the screen's available area).
class Centring final : public QObject {
public:
  explicit Centring(QWidget& window) : QObject(&window), window_(window) {
    setObjectName(QStringLiteral("pwCentring"));
    window.installEventFilter(this);
  }

  static Centring& Of(QWidget& window) {
    if (auto* c =
            window.findChild<Centring*>(QStringLiteral("pwCentring"), Qt::FindDirectChildrenOnly))
      return *c;
    return *new Centring(window);
  }

  void Place(const QRect& area, const QRect& bounds) {
    area_ = area;
    bounds_ = bounds;
    checks_ = 8;
    PlaceWith(g_frameMargins);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != &window_)
      return false;
    switch (event->type()) {
    case QEvent::Hide:
      checks_ = 0;
      break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Paint:
    case QEvent::WindowActivate:
      // Once the window manager has framed the window, its frame is known for good.
      if (checks_ > 0 && window_.isVisible()) {
        if (std::optional<QMargins> m = AnnouncedFrame(window_)) {
          g_frameMargins = *m;
          --checks_;
          if (!PlaceWith(*m))
            checks_ = 0;
        }
      }
      break;
    default:
      break;
    }
    return false;
  }

private:
  // Puts the client where the frame of these margins is centred; false when it is there.
  bool PlaceWith(const QMargins& margins) {
    const QSize outer = window_.size().grownBy(margins);
    const QPoint client = Target(outer) + QPoint(margins.left(), margins.top());
    if (window_.geometry().topLeft() == client && window_.isVisible())
      return false;
    window_.setGeometry(QRect(client, window_.size()));
    return true;
  }
  // Integer halves of the room left, the top-left corner kept inside the bounds.
  QPoint Target(const QSize& outer) const {
    QPoint p(area_.left() + (area_.width() - outer.width()) / 2,
             area_.top() + (area_.height() - outer.height()) / 2);
    if (!bounds_.isEmpty()) {
      p.setX(std::max(p.x(), bounds_.left()));
      p.setY(std::max(p.y(), bounds_.top()));
    }
    return p;
  }

  QWidget& window_;
  QRect area_, bounds_;
  int checks_ = 0; // events still watched for the real frame
};

const QScreen* ScreenOf(const QWidget& window) {
  return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
}

} // namespace

void CentreOnScreen(QWidget& window) {
  if (const QScreen* screen = ScreenOf(window))
    Centring::Of(window).Place(screen->geometry(), screen->availableGeometry());
}

void CentreOnOwner(QWidget& window) {
  QWidget* owner = window.parentWidget();
  if (!owner)
    return;
  const QScreen* screen = ScreenOf(*owner->window());
  // The owner's outer rectangle from its client area and its frame: Qt's own frame
  // geometry of a window can be nonsense while it is being framed.
  QWidget& main = *owner->window();
  Centring::Of(window).Place(main.geometry().marginsAdded(FrameOf(main)),
                             screen ? screen->availableGeometry() : QRect());
}

QString FitDeviceText(const QString& text, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(text) <= width)
    return text;
  // "COM1: " then the device path, up to " — description" or " (PAGEWRIGHT_COM1)".
  const qsizetype start = text.indexOf(QLatin1String(": "));
  if (start < 0)
    return metrics.elidedText(text, Qt::ElideMiddle, width);
  qsizetype end = text.indexOf(QStringLiteral(" \u2014 "), start + 2);
  if (end < 0)
    end = text.indexOf(QLatin1String(" ("), start + 2);
  if (end < 0)
    end = text.size();
  const QString head = text.left(start + 2);
  const QString path = text.mid(start + 2, end - start - 2);
  const QString tail = text.mid(end);
  const int room = width - metrics.horizontalAdvance(head) - metrics.horizontalAdvance(tail);
  // Room for a few characters of each end of the path at least; else the tail gives way too.
  if (room < metrics.horizontalAdvance(QStringLiteral("/dev/\u2026ty")))
    return metrics.elidedText(head + QStringLiteral("\u2026") + tail, Qt::ElideRight, width);
  return head + metrics.elidedText(path, Qt::ElideMiddle, room) + tail;
}

void FitLabelText(QLabel& label, const QString& text) {
  QFont font = label.property(kFitTextProperty).value<QFont>();
  const int width = label.width();
  bool fits = false;
  for (qreal points = font.pointSizeF(); points >= 6.0 && !fits; points -= 0.5) {
    QFont smaller = font;
    smaller.setPointSizeF(points);
    if (QFontMetrics(smaller).horizontalAdvance(text) <= width) {
      font = smaller;
      fits = true;
    }
  }
  if (!fits) {
    // Two lines of the smallest font the height allows.
    for (qreal points = font.pointSizeF(); points >= 5.0; points -= 0.5) {
      font.setPointSizeF(points);
      const QRect need =
          QFontMetrics(font).boundingRect(QRect(0, 0, width, 1000), Qt::TextWordWrap, text);
      if (need.height() <= label.height())
        break;
    }
  }
  label.setWordWrap(!fits);
  label.setFont(font);
  label.setText(text);
}

QString ToQt(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

std::string FromQt(const QString& s) {
  return s.toLatin1().toStdString();
}

namespace {

// A progress gauge as technicians know it: blue bar on button face, the percentage centred,
// white over the bar and black beside it.
class Gauge : public QProgressBar {
public:
  explicit Gauge(QWidget* parent) : QProgressBar(parent) { setRange(0, 100); }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().color(QPalette::Button));
    const int span = std::max(1, maximum() - minimum());
    const int filled = (r.width() - 2) * (value() - minimum()) / span;
    const QRect bar(r.left() + 1, r.top() + 1, std::max(0, filled), r.height() - 2);
    p.fillRect(bar, QColor(0, 0, 255));
    const QString label = QString::number(value()) + QLatin1Char('%');
    p.setPen(Qt::black);
    p.drawText(r, Qt::AlignCenter, label);
    p.setClipRect(bar);
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, label);
    p.setClipping(false);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
  }
};

// A focus move the user made inside the window; window activation, popups and the menu bar
// do not leave the field being edited.
bool IsUserFocusMove(Qt::FocusReason reason) {
  switch (reason) {
  case Qt::MouseFocusReason:
  case Qt::TabFocusReason:
  case Qt::BacktabFocusReason:
  case Qt::ShortcutFocusReason:
  case Qt::OtherFocusReason:
    return true;
  default:
    return false;
  }
}

// Captions are codeplug-style bytes, except where the control says they are UTF-8.
QString CaptionOf(const Control& c) {
  return c.utf8 ? QString::fromStdString(c.caption) : ToQt(c.caption);
}

QString MenuText(const Control& c) {
  QString text = CaptionOf(c);
  if (!c.shortcut.empty())
    text += QLatin1Char('\t') +
            QKeySequence(QString::fromStdString(c.shortcut)).toString(QKeySequence::NativeText);
  return text;
}

QString KeysOf(const std::string& shortcut) {
  return QKeySequence(QString::fromStdString(shortcut)).toString(QKeySequence::PortableText);
}

template <class W, class V, class Get, class Set>
void Update(W* w, const V& value, Get get, Set set) {
  if ((w->*get)() != value)
    (w->*set)(value);
}

} // namespace

Projection::Projection(Controls& controls, FormEvents& events, QWidget* window,
                       PlacementFn placement, QObject* parent)
    : QObject(parent), controls_(controls), events_(events), window_(window),
      placement_(std::move(placement)) {}

Projection::~Projection() = default;

QWidget* Projection::WidgetOf(const std::string& name) const {
  auto it = widgets_.find(name);
  return it == widgets_.end() ? nullptr : it->second;
}

QAction* Projection::ActionOf(const std::string& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

QTimer* Projection::TimerOf(const std::string& name) const {
  auto it = timers_.find(name);
  return it == timers_.end() ? nullptr : it->second;
}

QMenu* Projection::MenuOf(const std::string& name) const {
  auto it = menus_.find(name);
  return it == menus_.end() ? nullptr : it->second;
}

QAction* Projection::ShortcutAction(const QString& keys) const {
  auto it = shortcuts_.find(KeysOf(keys.toStdString()));
  return it == shortcuts_.end() ? nullptr : it->second.action;
}

std::string Projection::ControlOf(const QObject* object) const {
  auto it = owners_.find(object);
  return it == owners_.end() ? std::string() : *it;
}

// ---- Building ------------------------------------------------------------------------------

void Projection::Build() {
  if (auto* main = qobject_cast<QMainWindow*>(window_)) {
    client_ = main->centralWidget();
    if (!client_) {
      client_ = new QWidget(main);
      client_->setObjectName(QStringLiteral("client"));
      main->setCentralWidget(client_);
    }
  } else {
    client_ = window_;
  }
  for (const std::string& name : controls_.Order())
    Create(controls_[name]);
  CreateShortcuts();
  Sync();
}

QWidget* Projection::ContainerFor(const Control& c) const {
  const Control* parent = c.parent.empty() ? nullptr : controls_.Find(c.parent);
  if (!parent || parent->kind == Kind::Form)
    return client_;
  QWidget* w = WidgetOf(parent->name);
  return w ? w : client_;
}

void Projection::Place(QWidget* w, const Control& c) {
  if (!placement_)
    return;
  if (std::optional<Placement> p = placement_(c)) {
    w->setGeometry(p->rect);
    if (auto* label = qobject_cast<QLabel*>(w); label && p->alignment)
      label->setAlignment(p->alignment);
    if (auto* label = qobject_cast<QLabel*>(w); label && p->fitText)
      label->setProperty(kFitTextProperty, label->font());
  }
}

void Projection::Watch(QWidget* w, const std::string& name) {
  owners_.insert(w, name);
  w->installEventFilter(this);
}

void Projection::Create(const Control& c) {
  const std::string name = c.name;
  QWidget* container = ContainerFor(c);
  QWidget* w = nullptr;
  switch (c.kind) {
  case Kind::Form:
    widgets_[name] = window_;
    owners_.insert(window_, name);
    return;
  case Kind::PageControl: {
    auto* tabs = new QTabWidget(container);
    // Clicking a tab takes the focus, so the field being edited is left first.
    tabs->tabBar()->setFocusPolicy(Qt::StrongFocus);
    Watch(tabs->tabBar(), name);
    connect(tabs, &QTabWidget::currentChanged, this,
            [this, name](int index) { Dispatch([&] { events_.PageChanged(name, index); }); });
    w = tabs;
    break;
  }
  case Kind::Page: {
    auto* page = new QWidget;
    if (auto* tabs = qobject_cast<QTabWidget*>(container)) {
      tabs->addTab(page, ToQt(c.caption));
    } else {
      page->setParent(container);
    }
    page->setObjectName(ToQt(name));
    widgets_[name] = page;
    owners_.insert(page, name);
    return;
  }
  case Kind::Group:
    w = new QGroupBox(ToQt(c.caption), container);
    break;
  case Kind::Edit: {
    auto* edit = new QLineEdit(container);
    Watch(edit, name);
    connect(edit, &QLineEdit::textEdited, this, [this, name, edit] { OnTextEdited(name, edit); });
    w = edit;
    break;
  }
  case Kind::CheckBox: {
    auto* box = new QCheckBox(ToQt(c.caption), container);
    Watch(box, name);
    connect(box, &QCheckBox::clicked, this,
            [this, name] { Dispatch([&] { events_.Click(name); }); });
    w = box;
    break;
  }
  case Kind::RadioGroup: {
    auto* box = new QGroupBox(ToQt(c.caption), container);
    owners_.insert(box, name);
    auto* group = new QButtonGroup(box);
    radios_[name].group = group;
    connect(group, &QButtonGroup::idClicked, this, [this, name](int id) {
      Dispatch([&] {
        controls_[name].itemIndex = id;
        events_.Click(name);
      });
    });
    w = box;
    w->setObjectName(ToQt(name));
    widgets_[name] = w;
    Place(w, c);
    BuildRadioItems(c);
    return;
  }
  case Kind::ComboBox: {
    auto* combo = new QComboBox(container);
    Watch(combo, name);
    connect(combo, &QComboBox::activated, this, [this, name](int index) {
      Dispatch([&] {
        controls_[name].itemIndex = index;
        events_.Click(name);
      });
    });
    w = combo;
    break;
  }
  case Kind::Label: {
    auto* label = new QLabel(container);
    label->setTextFormat(Qt::PlainText);
    owners_.insert(label, name);
    w = label;
    break;
  }
  case Kind::Button: {
    auto* button = new QPushButton(ToQt(c.caption), container);
    button->setAutoDefault(false);
    Watch(button, name);
    connect(button, &QPushButton::clicked, this,
            [this, name] { Dispatch([&] { events_.Click(name); }); });
    w = button;
    break;
  }
  case Kind::ToolBar: {
    auto* bar = new QToolBar(container);
    bar->setObjectName(ToQt(name));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    bar->setFocusPolicy(Qt::NoFocus);
    bar->setIconSize(QSize(16, 16));
    // The buttons have their own fixed width; the bar adds no spacing of its own.
    bar->setContentsMargins(0, 0, 0, 0);
    bar->layout()->setSpacing(0);
    bar->layout()->setContentsMargins(0, 0, 0, 0);
    std::optional<Placement> p = placement_ ? placement_(c) : std::nullopt;
    if (auto* main = qobject_cast<QMainWindow*>(window_)) {
      main->addToolBar(Qt::TopToolBarArea, bar);
      if (p)
        bar->setFixedHeight(p->rect.height());
    } else if (p) {
      bar->setGeometry(p->rect);
    }
    toolBars_[name] = bar;
    widgets_[name] = bar;
    owners_.insert(bar, name);
    return;
  }
  case Kind::ToolButton: {
    auto it = toolBars_.find(c.parent);
    auto* button = new QToolButton;
    button->setObjectName(ToQt(name));
    button->setFocusPolicy(Qt::NoFocus); // the edited field is validated by the command
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    std::optional<Placement> p = placement_ ? placement_(c) : std::nullopt;
    if (p) {
      button->setFixedSize(p->rect.size());
      button->setIcon(p->icon);
    }
    connect(button, &QToolButton::clicked, this,
            [this, name] { Dispatch([&] { events_.Click(name); }); });
    owners_.insert(button, name);
    widgets_[name] = button;
    if (it != toolBars_.end()) {
      actions_[name] = it->second->addWidget(button);
    } else {
      button->setParent(container);
      if (p)
        button->move(p->rect.topLeft());
    }
    return;
  }
  case Kind::Separator: {
    QAction* sep = nullptr;
    if (auto bar = toolBars_.find(c.parent); bar != toolBars_.end()) {
      sep = bar->second->addSeparator();
    } else if (QMenu* menu = MenuOf(c.parent)) {
      sep = menu->addSeparator();
    }
    if (sep) {
      sep->setObjectName(ToQt(name));
      actions_[name] = sep;
    }
    return;
  }
  case Kind::Menu:
    CreateMenu(c);
    return;
  case Kind::MenuItem: {
    auto* action = new QAction(MenuText(c), window_);
    action->setObjectName(ToQt(name));
    if (QMenu* menu = MenuOf(c.parent)) {
      menu->addAction(action);
    } else if (auto* bar = qobject_cast<QMenuBar*>(WidgetOf(c.parent))) {
      bar->addAction(action);
    }
    connect(action, &QAction::triggered, this,
            [this, name] { Dispatch([&] { events_.Click(name); }); });
    actions_[name] = action;
    owners_.insert(action, name);
    return;
  }
  case Kind::Gauge:
    w = new Gauge(container);
    break;
  case Kind::Timer: {
    auto* timer = new QTimer(window_);
    timer->setObjectName(ToQt(name));
    connect(timer, &QTimer::timeout, this,
            [this, name] { Dispatch([&] { events_.TimerTick(name); }); });
    timers_[name] = timer;
    owners_.insert(timer, name);
    return;
  }
  case Kind::RichEdit: {
    auto* text = new QTextEdit(container);
    text->setReadOnly(true);
    text->setAcceptRichText(false);
    Watch(text, name);
    w = text;
    break;
  }
  }
  if (!w)
    return;
  w->setObjectName(ToQt(name));
  widgets_[name] = w;
  owners_.insert(w, name);
  Place(w, c);
}

void Projection::CreateMenu(const Control& c) {
  const Control* parent = c.parent.empty() ? nullptr : controls_.Find(c.parent);
  if (!parent || parent->kind == Kind::Form) {
    // The form's main menu: the menu bar itself.
    QMenuBar* bar = nullptr;
    if (auto* main = qobject_cast<QMainWindow*>(window_)) {
      bar = main->menuBar();
    } else {
      bar = new QMenuBar(window_);
    }
    bar->setObjectName(ToQt(c.name));
    widgets_[c.name] = bar;
    owners_.insert(bar, c.name);
    return;
  }
  QMenu* menu = nullptr;
  if (QMenu* up = MenuOf(c.parent)) {
    menu = up->addMenu(ToQt(c.caption));
  } else if (auto* bar = qobject_cast<QMenuBar*>(WidgetOf(c.parent))) {
    menu = bar->addMenu(ToQt(c.caption));
  } else {
    menu = new QMenu(ToQt(c.caption), window_);
  }
  menu->setObjectName(ToQt(c.name));
  menu->menuAction()->setObjectName(ToQt(c.name));
  menus_[c.name] = menu;
  actions_[c.name] = menu->menuAction();
  widgets_[c.name] = menu;
  owners_.insert(menu, c.name);
}

// Every menu shortcut lives on one window-wide action, so it works while its item (or the
// whole menu) is hidden, as the technicians' hidden keys require.
void Projection::CreateShortcuts() {
  for (const std::string& name : controls_.Order()) {
    const Control& c = controls_[name];
    if (c.kind != Kind::MenuItem || c.shortcut.empty())
      continue;
    Shortcut& s = shortcuts_[KeysOf(c.shortcut)];
    s.owners.push_back(name);
  }
  for (auto& [keys, s] : shortcuts_) {
    auto* action = new QAction(window_);
    action->setObjectName(QStringLiteral("shortcut ") + keys);
    action->setShortcut(QKeySequence(keys, QKeySequence::PortableText));
    action->setShortcutContext(Qt::WindowShortcut);
    window_->addAction(action);
    const std::vector<std::string> owners = s.owners;
    connect(action, &QAction::triggered, this, [this, owners] {
      for (const std::string& owner : owners) {
        if (Reachable(controls_[owner])) {
          Dispatch([&] { events_.Click(owner); });
          return;
        }
      }
    });
    s.action = action;
  }
}

void Projection::BuildRadioItems(const Control& c) {
  Radio& radio = radios_[c.name];
  auto* box = qobject_cast<QGroupBox*>(WidgetOf(c.name));
  for (QAbstractButton* b : radio.group->buttons()) {
    radio.group->removeButton(b);
    owners_.remove(b);
    delete b;
  }
  delete box->layout();
  int columns = 1;
  if (placement_)
    if (std::optional<Placement> p = placement_(c))
      columns = std::max(1, p->columns);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(8, 2, 6, 4);
  grid->setVerticalSpacing(0);
  const int count = static_cast<int>(c.items.size());
  const int perColumn = std::max(1, (count + columns - 1) / columns);
  for (int i = 0; i < count; ++i) {
    auto* button = new QRadioButton(ToQt(c.items[i]), box);
    button->setObjectName(ToQt(c.name + "_item" + std::to_string(i)));
    radio.group->addButton(button, i);
    grid->addWidget(button, i % perColumn, i / perColumn);
    Watch(button, c.name);
  }
  radio.items = c.items;
}

// ---- Syncing -------------------------------------------------------------------------------

bool Projection::Reachable(const Control& c) const {
  for (const Control* p = &c; p; p = p->parent.empty() ? nullptr : controls_.Find(p->parent))
    if (!p->enabled)
      return false;
  return true;
}

void Projection::Sync() {
  QScopedValueRollback<bool> quiet(quiet_, true);
  QPointer<QWidget> focused = QApplication::focusWidget();
  if (focused && !window_->isAncestorOf(focused))
    focused = nullptr;
  for (const std::string& name : controls_.Order())
    SyncControl(controls_[name]);
  SyncShortcuts();
  // A control disabled while it has the focus (the F3 button during a read) gets it back
  // once it is enabled again, as if the focus had waited on it.
  if (focused && !focused->isEnabled() && QApplication::focusWidget() != focused)
    parked_ = focused;
  if (parked_ && parked_->isEnabled() && parked_->isVisibleTo(window_)) {
    parked_->setFocus(Qt::OtherFocusReason);
    current_ = ControlOf(parked_);
    parked_ = nullptr;
  }
}

void Projection::SyncShortcuts() {
  for (auto& [keys, s] : shortcuts_) {
    bool any = false;
    for (const std::string& owner : s.owners)
      any = any || Reachable(controls_[owner]);
    s.action->setEnabled(any);
  }
}

void Projection::SyncControl(const Control& c) {
  const QString caption = CaptionOf(c);
  // Actions first: menus, items, separators and tool buttons show through them.
  if (QAction* action = ActionOf(c.name)) {
    QSignalBlocker block(action);
    if (c.kind == Kind::MenuItem) {
      Update(action, MenuText(c), &QAction::text, &QAction::setText);
      action->setCheckable(c.checked || c.toggle);
      Update(action, c.checked, &QAction::isChecked, &QAction::setChecked);
    } else if (c.kind == Kind::Menu) {
      Update(action, caption, &QAction::text, &QAction::setText);
    }
    if (c.kind != Kind::ToolButton)
      Update(action, c.enabled, &QAction::isEnabled, &QAction::setEnabled);
    Update(action, c.visible, &QAction::isVisible, &QAction::setVisible);
  }
  if (QTimer* timer = TimerOf(c.name)) {
    if (c.running && (!timer->isActive() || timer->interval() != c.interval)) {
      timer->start(c.interval);
    } else if (!c.running && timer->isActive()) {
      timer->stop();
    }
    return;
  }

  QWidget* w = WidgetOf(c.name);
  if (!w)
    return;
  QSignalBlocker block(w);
  switch (c.kind) {
  case Kind::Form:
    Update(w, caption, &QWidget::windowTitle, &QWidget::setWindowTitle);
    return; // the window is disabled only inside a transaction, while no input reaches it
  case Kind::Menu:
  case Kind::MenuItem:
  case Kind::Separator:
    return;
  case Kind::Page:
    if (auto* tabs = qobject_cast<QTabWidget*>(WidgetOf(c.parent))) {
      const int index = tabs->indexOf(w);
      if (index >= 0) {
        QSignalBlocker blockTabs(tabs);
        if (tabs->tabText(index) != caption)
          tabs->setTabText(index, caption);
        if (tabs->isTabEnabled(index) != c.enabled)
          tabs->setTabEnabled(index, c.enabled);
        if (tabs->isTabVisible(index) != c.visible)
          tabs->setTabVisible(index, c.visible);
      }
    }
    return;
  case Kind::PageControl:
    if (auto* tabs = qobject_cast<QTabWidget*>(w); tabs && c.itemIndex >= 0 &&
                                                   c.itemIndex < tabs->count() &&
                                                   c.itemIndex != tabs->currentIndex())
      tabs->setCurrentIndex(c.itemIndex);
    break;
  case Kind::Group:
    if (auto* box = qobject_cast<QGroupBox*>(w))
      Update(box, caption, &QGroupBox::title, &QGroupBox::setTitle);
    break;
  case Kind::Edit:
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      Update(edit, ToQt(c.text), &QLineEdit::text, &QLineEdit::setText);
      Update(edit, c.maxLength > 0 ? c.maxLength : 32767, &QLineEdit::maxLength,
             &QLineEdit::setMaxLength);
      Update(edit, c.passwordChar ? QLineEdit::Password : QLineEdit::Normal, &QLineEdit::echoMode,
             &QLineEdit::setEchoMode);
      // The mask is the control's own character ("*"), not the platform's dot.
      const QString mask = c.passwordChar ? QStringLiteral("lineedit-password-character: %1")
                                                .arg(static_cast<unsigned char>(c.passwordChar))
                                          : QString();
      Update(edit, mask, &QLineEdit::styleSheet, &QLineEdit::setStyleSheet);
      Update(edit, c.readOnly, &QLineEdit::isReadOnly, &QLineEdit::setReadOnly);
    }
    break;
  case Kind::CheckBox:
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
      Update(box, caption, &QCheckBox::text, &QCheckBox::setText);
      Update(box, c.checked, &QCheckBox::isChecked, &QCheckBox::setChecked);
    }
    break;
  case Kind::RadioGroup:
    if (auto* box = qobject_cast<QGroupBox*>(w)) {
      Update(box, caption, &QGroupBox::title, &QGroupBox::setTitle);
      Radio& radio = radios_[c.name];
      if (radio.items != c.items)
        BuildRadioItems(c);
      QAbstractButton* want = radio.group->button(c.itemIndex);
      if (want && !want->isChecked()) {
        want->setChecked(true);
      } else if (!want && radio.group->checkedButton()) {
        radio.group->setExclusive(false);
        radio.group->checkedButton()->setChecked(false);
        radio.group->setExclusive(true);
      }
    }
    break;
  case Kind::ComboBox:
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
      QStringList items;
      for (const std::string& item : c.items)
        items << ToQt(item);
      QStringList shown;
      for (int i = 0; i < combo->count(); ++i)
        shown << combo->itemText(i);
      if (shown != items) {
        combo->clear();
        combo->addItems(items);
      }
      Update(combo, c.itemIndex, &QComboBox::currentIndex, &QComboBox::setCurrentIndex);
    }
    break;
  case Kind::Label:
    if (auto* label = qobject_cast<QLabel*>(w)) {
      // Text from the system (a device's name) may outgrow its place: it ends in "…" there,
      // and the tooltip holds it whole.
      const QString shown =
          c.utf8 ? FitDeviceText(caption, label->fontMetrics(), label->width()) : caption;
      if (label->property(kFitTextProperty).isValid()) {
        if (label->text() != shown)
          FitLabelText(*label, shown);
      } else {
        Update(label, shown, &QLabel::text, &QLabel::setText);
      }
      const QString tip = c.utf8 ? QString::fromStdString(c.hint) : ToQt(c.hint);
      Update(label, tip, &QLabel::toolTip, &QLabel::setToolTip);
    }
    break;
  case Kind::Button:
    if (auto* button = qobject_cast<QPushButton*>(w))
      Update(button, caption, &QPushButton::text, &QPushButton::setText);
    break;
  case Kind::ToolButton:
    if (auto* button = qobject_cast<QToolButton*>(w)) {
      // Blanks that pad a caption to the button's width are not shown: the width is fixed.
      Update(button, caption.trimmed(), &QToolButton::text, &QToolButton::setText);
      Update(button, ToQt(c.hint), &QToolButton::toolTip, &QToolButton::setToolTip);
    }
    break;
  case Kind::Gauge:
    if (auto* bar = qobject_cast<QProgressBar*>(w))
      Update(bar, std::clamp(c.itemIndex, 0, 100), &QProgressBar::value, &QProgressBar::setValue);
    break;
  case Kind::RichEdit:
    if (auto* text = qobject_cast<QTextEdit*>(w); text && FromQt(text->toPlainText()) != c.text)
      text->setPlainText(ToQt(c.text));
    break;
  case Kind::ToolBar:
  case Kind::Timer:
    break;
  }
  if (w->testAttribute(Qt::WA_Disabled) == c.enabled)
    w->setEnabled(c.enabled);
  // Tool buttons show and hide through their tool-bar action.
  if (c.kind != Kind::ToolButton && w->isHidden() == c.visible)
    w->setVisible(c.visible);
}

// ---- Events --------------------------------------------------------------------------------

void Projection::Dispatch(const std::function<void()>& event) {
  ++depth_;
  event();
  --depth_;
  Sync();
  if (depth_ == 0)
    HonourFocusRequest();
}

void Projection::HonourFocusRequest() {
  const std::string name = events_.TakeFocusRequest();
  if (!name.empty())
    Focus(name);
}

void Projection::Focus(const std::string& name) {
  QWidget* w = WidgetOf(name);
  if (!w)
    return;
  if (auto* tabs = qobject_cast<QTabWidget*>(w))
    w = tabs->tabBar();
  if (auto radio = radios_.find(name); radio != radios_.end()) {
    QAbstractButton* b = radio->second.group->checkedButton();
    if (!b && !radio->second.group->buttons().isEmpty())
      b = radio->second.group->buttons().first();
    w = b;
  }
  if (!w || w->focusPolicy() == Qt::NoFocus)
    return;
  QScopedValueRollback<bool> quiet(quiet_, true);
  w->setFocus(Qt::OtherFocusReason);
  current_ = name;
  parked_ = nullptr;
}

bool Projection::eventFilter(QObject* watched, QEvent* event) {
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w)
    return false;
  switch (event->type()) {
  case QEvent::FocusIn:
    return OnFocusIn(w, static_cast<QFocusEvent*>(event));
  case QEvent::FocusOut:
    return OnFocusOut(w, static_cast<QFocusEvent*>(event));
  case QEvent::KeyPress:
    return OnKeyPress(w, static_cast<QKeyEvent*>(event));
  case QEvent::ShortcutOverride:
    return OnShortcutOverride(static_cast<QKeyEvent*>(event));
  case QEvent::MouseButtonPress:
  case QEvent::MouseButtonDblClick:
    return OnMousePress(w, static_cast<QMouseEvent*>(event));
  default:
    return false;
  }
}

bool Projection::OnFocusIn(QWidget* w, QFocusEvent* e) {
  const std::string name = ControlOf(w);
  if (quiet_) {
    current_ = name;
    return false;
  }
  if (!IsUserFocusMove(e->reason())) {
    if (e->reason() != Qt::ActiveWindowFocusReason)
      return false;
    if (depth_ > 0)
      deactivated_ = true;
    // A box opened while leaving a field hands the activation back only after the focus
    // move: the control it lands on is entered then.
    if (!current_.empty() || depth_ > 0)
      return false;
  }
  if (name.empty() || name == current_)
    return false; // within one radio group
  current_ = name;
  Dispatch([&] { events_.Enter(name); });
  return false;
}

bool Projection::OnFocusOut(QWidget* w, QFocusEvent* e) {
  if (quiet_)
    return false;
  if (!IsUserFocusMove(e->reason())) {
    // A modal box opened from inside an event takes the activation: no second Exit.
    if (depth_ > 0 && e->reason() == Qt::ActiveWindowFocusReason)
      deactivated_ = true;
    return false;
  }
  const std::string name = ControlOf(w);
  QWidget* target = QApplication::focusWidget();
  if (name.empty() || (target && ControlOf(target) == name))
    return false;
  current_.clear();
  deactivated_ = false;
  swallowPress_ = false;
  Dispatch([&] { events_.Exit(name); });
  // A click that moved the focus out of a refused field, or that a message box interrupted,
  // must not also press what it landed on.
  if (e->reason() == Qt::MouseFocusReason &&
      (deactivated_ || QApplication::focusWidget() != target)) {
    swallowPress_ = true;
    QTimer::singleShot(0, this, [this] { swallowPress_ = false; });
  }
  return false;
}

bool Projection::OnMousePress(QWidget* w, QMouseEvent* e) {
  if (swallowPress_) {
    swallowPress_ = false;
    return true;
  }
  if (qobject_cast<QLineEdit*>(w) && e->type() == QEvent::MouseButtonPress) {
    const std::string name = ControlOf(w);
    Dispatch([&] { events_.MouseDown(name, e->button() == Qt::LeftButton); });
  }
  return false;
}

bool Projection::OnKeyPress(QWidget* w, QKeyEvent* e) {
  const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
  if (auto* button = qobject_cast<QPushButton*>(w)) {
    // Enter presses the focused push button, as Space does.
    if (enter && !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      button->click();
      return true;
    }
    return false;
  }
  auto* edit = qobject_cast<QLineEdit*>(w);
  if (!edit || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
    return false;
  char ch = 0;
  if (enter) {
    ch = '\r';
  } else if (e->key() == Qt::Key_Backspace) {
    ch = '\b';
  } else {
    const QString text = e->text();
    if (text.size() != 1)
      return false;
    const char16_t u = text[0].unicode();
    if (u < 0x20 || u == 0x7F)
      return false; // Tab, Esc and the like are not typing
    if (u > 0xFF)
      return true; // the codeplug holds Latin-1 characters only
    ch = static_cast<char>(u);
  }
  const std::string name = ControlOf(edit);
  bool accepted = false;
  Dispatch([&] { accepted = events_.KeyPress(name, ch); });
  if (!accepted || ch == '\r')
    return true;
  if (ch == '\b')
    return false; // the edit deletes; textEdited copies the result
  if (!edit->isReadOnly()) {
    QString typed(QChar(static_cast<unsigned char>(ch)));
    if (controls_[name].upperCase)
      typed = typed.toUpper();
    edit->insert(typed);
    OnTextEdited(name, edit);
  }
  return true;
}

bool Projection::OnShortcutOverride(QKeyEvent* e) {
  // A line edit claims keys such as Ctrl+A for itself; the window's menu shortcuts come
  // first, as they do in the rest of this tool. Plain typing stays with the edit.
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  const bool typing = !e->text().isEmpty() && e->text()[0].isPrint() &&
                      !(mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (typing)
    return false;
  const QString keys =
      QKeySequence(QKeyCombination(mods, Qt::Key(e->key()))).toString(QKeySequence::PortableText);
  auto it = shortcuts_.find(keys);
  if (it == shortcuts_.end() || !it->second.action->isEnabled())
    return false;
  e->ignore();
  return true;
}

void Projection::OnTextEdited(const std::string& name, QWidget* w) {
  auto* edit = qobject_cast<QLineEdit*>(w);
  if (!edit)
    return;
  Control& c = controls_[name];
  if (c.upperCase && edit->text() != edit->text().toUpper()) {
    QSignalBlocker block(edit);
    const int cursor = edit->cursorPosition();
    edit->setText(edit->text().toUpper());
    edit->setCursorPosition(cursor);
  }
  c.text = FromQt(edit->text());
}

} // namespace pw::ui
