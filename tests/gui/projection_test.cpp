// SPDX-License-Identifier: GPL-3.0-or-later
// The projection on a small form of its own: widgets named after their controls, the store
// read back into them, and focus, key, click, shortcut and timer events forwarded by name.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <set>

#include "gui/gui_support.h"
#include "ui/forms/projection.h"

namespace pw::ui {
namespace {

using test::FocusedName;
using test::Press;
using test::Type;
using Log = std::vector<std::string>;

// A model that logs every event. Edits take digits only, except edtB, which takes anything;
// leaving a field named in refuse puts the focus back into it.
struct FakeForm {
  Controls controls;
  Log log;
  std::string FocusRequest;
  std::set<std::string> refuse;
  std::function<void(const std::string&)> onExit;
  std::function<void(const std::string&)> onClick;

  void Enter(const std::string& n) { log.push_back("Enter " + n); }
  void Exit(const std::string& n) {
    log.push_back("Exit " + n);
    if (onExit)
      onExit(n);
    if (refuse.count(n))
      FocusRequest = n;
  }
  bool KeyPress(const std::string& n, char ch) {
    log.push_back("Key " + n + " " + (ch == '\r' ? std::string("CR") : std::string(1, ch)));
    return ch == '\r' || ch == '\b' || n == "edtB" || std::isdigit(static_cast<unsigned char>(ch));
  }
  void Click(const std::string& n) {
    Control& c = controls[n];
    if (c.kind == Kind::CheckBox)
      c.checked = !c.checked;
    log.push_back("Click " + n);
    if (onClick)
      onClick(n);
  }
  void MouseDown(const std::string& n, bool left) {
    log.push_back("Mouse " + n + (left ? " L" : " R"));
  }
  void TimerTick(const std::string& n) { log.push_back("Tick " + n); }
};

Control Make(Kind kind, std::string name, std::string parent, std::string caption = {}) {
  Control c;
  c.kind = kind;
  c.name = std::move(name);
  c.parent = std::move(parent);
  c.caption = std::move(caption);
  return c;
}

void BuildStore(Controls& s) {
  s.Add(Make(Kind::Form, "F", "", "Small form"));
  s.Add(Make(Kind::Menu, "Bar", "F"));
  s.Add(Make(Kind::Menu, "MenuA", "Bar", "&Actions"));
  Control go = Make(Kind::MenuItem, "Go", "MenuA", "&Go");
  go.shortcut = "F3";
  s.Add(go);
  Control all = Make(Kind::MenuItem, "Everything", "MenuA", "&Everything");
  all.shortcut = "Ctrl+A";
  s.Add(all);
  s.Add(Make(Kind::Separator, "Sep", "MenuA"));
  Control tick = Make(Kind::MenuItem, "Tick", "MenuA", "Ticked");
  tick.checked = true;
  s.Add(tick);
  Control hidden = Make(Kind::Menu, "Hidden", "Bar", "Hidden");
  hidden.visible = false;
  s.Add(hidden);
  Control secret = Make(Kind::MenuItem, "Secret", "Hidden", "Secret");
  secret.shortcut = "Ctrl+S";
  s.Add(secret);
  Control off = Make(Kind::MenuItem, "Off", "Hidden", "Off");
  off.shortcut = "F7";
  off.enabled = false;
  s.Add(off);
  Control slash = Make(Kind::MenuItem, "Slash", "Hidden", "Slash");
  slash.shortcut = "/";
  s.Add(slash);
  s.Add(Make(Kind::Group, "gpb", "F", "Fields"));
  Control a = Make(Kind::Edit, "edtA", "gpb");
  a.maxLength = 4;
  s.Add(a);
  Control b = Make(Kind::Edit, "edtB", "gpb");
  b.upperCase = true;
  s.Add(b);
  s.Add(Make(Kind::CheckBox, "chk", "gpb", "Check"));
  Control r = Make(Kind::RadioGroup, "rgp", "F", "Choice");
  r.items = {"One", "Two"};
  r.itemIndex = 0;
  s.Add(r);
  s.Add(Make(Kind::Button, "btn", "F", "Press"));
  s.Add(Make(Kind::Label, "lbl", "F", "Label text"));
  Control t = Make(Kind::Timer, "tmr", "F");
  t.interval = 5;
  s.Add(t);
}

std::optional<Placement> SmallPlacement(const Control& c) {
  static const std::map<std::string, QRect> rects = {
      {"gpb", {10, 10, 300, 120}}, {"edtA", {10, 20, 100, 22}}, {"edtB", {120, 20, 100, 22}},
      {"chk", {10, 60, 100, 20}},  {"rgp", {10, 140, 200, 70}}, {"btn", {10, 220, 80, 26}},
      {"lbl", {100, 220, 150, 20}}};
  auto it = rects.find(c.name);
  if (it == rects.end())
    return std::nullopt;
  Placement p;
  p.rect = it->second;
  return p;
}

class ProjectionTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::App();
    BuildStore(form.controls);
    window = std::make_unique<QMainWindow>();
    window->resize(400, 300);
    events = std::make_unique<ModelEvents<FakeForm>>(form);
    projection = std::make_unique<Projection>(form.controls, *events, window.get(), SmallPlacement);
    projection->Build();
    ASSERT_TRUE(test::ShowActive(*window));
    form.log.clear(); // the first control was entered as the window came up
  }
  void TearDown() override {
    projection.reset();
    window.reset();
  }

  template <class T> T* Find(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  // Starts from a known focus without telling the model.
  void FocusQuietly(const char* name) {
    projection->Focus(name);
    form.log.clear();
  }

  FakeForm form;
  std::unique_ptr<QMainWindow> window;
  std::unique_ptr<ModelEvents<FakeForm>> events;
  std::unique_ptr<Projection> projection;
};

TEST_F(ProjectionTest, EveryControlBecomesAWidgetNamedAfterIt) {
  auto* gpb = Find<QGroupBox>("gpb");
  ASSERT_NE(gpb, nullptr);
  EXPECT_EQ(gpb->title(), "Fields");
  auto* edtA = Find<QLineEdit>("edtA");
  ASSERT_NE(edtA, nullptr);
  EXPECT_EQ(edtA->parentWidget(), gpb);
  EXPECT_EQ(edtA->geometry(), QRect(10, 20, 100, 22));
  EXPECT_EQ(edtA->maxLength(), 4);
  EXPECT_NE(Find<QCheckBox>("chk"), nullptr);
  EXPECT_EQ(Find<QRadioButton>("rgp_item0")->text(), "One");
  EXPECT_EQ(Find<QRadioButton>("rgp_item1")->text(), "Two");
  EXPECT_TRUE(Find<QRadioButton>("rgp_item0")->isChecked());
  EXPECT_EQ(Find<QPushButton>("btn")->text(), "Press");
  EXPECT_EQ(Find<QLabel>("lbl")->text(), "Label text");
  EXPECT_EQ(window->windowTitle(), "Small form");
  EXPECT_NE(projection->TimerOf("tmr"), nullptr);

  QMenu* menu = projection->MenuOf("MenuA");
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->title(), "&Actions");
  EXPECT_EQ(projection->ActionOf("Go")->text(), "&Go\tF3");
  EXPECT_TRUE(projection->ActionOf("Tick")->isChecked());
  EXPECT_TRUE(projection->ActionOf("Sep")->isSeparator());
  EXPECT_FALSE(projection->ActionOf("Hidden")->isVisible());
  EXPECT_TRUE(form.log.empty()) << "building tells the model nothing";
}

TEST_F(ProjectionTest, SyncCopiesTheStoreIntoTheWidgetsSilently) {
  Controls& s = form.controls;
  s.SetText("edtA", "12");
  s.SetChecked("chk", true);
  s.SetEnabled("btn", false);
  s.SetVisible("lbl", false);
  s["rgp"].itemIndex = 1;
  s.SetCaption("gpb", "Renamed");
  s.SetChecked("Tick", false);
  s.SetEnabled("MenuA", false);
  s["edtB"].passwordChar = '*';
  s["edtB"].readOnly = true;
  projection->Sync();

  EXPECT_EQ(Find<QLineEdit>("edtA")->text(), "12");
  EXPECT_TRUE(Find<QCheckBox>("chk")->isChecked());
  EXPECT_FALSE(Find<QPushButton>("btn")->isEnabled());
  EXPECT_TRUE(Find<QLabel>("lbl")->isHidden());
  EXPECT_TRUE(Find<QRadioButton>("rgp_item1")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("rgp_item0")->isChecked());
  EXPECT_EQ(Find<QGroupBox>("gpb")->title(), "Renamed");
  EXPECT_FALSE(projection->ActionOf("Tick")->isChecked());
  EXPECT_FALSE(projection->ActionOf("MenuA")->isEnabled());
  EXPECT_EQ(Find<QLineEdit>("edtB")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Find<QLineEdit>("edtB")->styleSheet(), "lineedit-password-character: 42");
  EXPECT_TRUE(Find<QLineEdit>("edtB")->isReadOnly());
  EXPECT_TRUE(form.log.empty());

  s["rgp"].itemIndex = -1;
  projection->Sync();
  EXPECT_FALSE(Find<QRadioButton>("rgp_item0")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>("rgp_item1")->isChecked());
}

TEST_F(ProjectionTest, TypedKeysPassTheModelsFilterAndReachTheStore) {
  FocusQuietly("edtA");
  Type("1a2");
  EXPECT_EQ(Find<QLineEdit>("edtA")->text(), "12");
  EXPECT_EQ(form.controls.Text("edtA"), "12");
  EXPECT_EQ(form.log, (Log{"Key edtA 1", "Key edtA a", "Key edtA 2"}));

  Type("345");
  EXPECT_EQ(form.controls.Text("edtA"), "1234") << "the maximum length holds";

  Press(Qt::Key_Backspace);
  EXPECT_EQ(form.controls.Text("edtA"), "123");
  EXPECT_EQ(form.log.back(), "Key edtA \b");
}

TEST_F(ProjectionTest, EnterKeyIsACarriageReturnForTheModelOnly) {
  FocusQuietly("edtA");
  Type("7");
  Press(Qt::Key_Return);
  Press(Qt::Key_Enter);
  EXPECT_EQ(form.controls.Text("edtA"), "7");
  EXPECT_EQ(form.log, (Log{"Key edtA 7", "Key edtA CR", "Key edtA CR"}));
  EXPECT_EQ(FocusedName(), "edtA");
}

TEST_F(ProjectionTest, UpperCaseEditShowsCapitals) {
  FocusQuietly("edtB");
  Type("ab1c");
  EXPECT_EQ(Find<QLineEdit>("edtB")->text(), "AB1C");
  EXPECT_EQ(form.controls.Text("edtB"), "AB1C");
}

TEST_F(ProjectionTest, TypingAMenuKeyIntoAnEditIsTypingNotTheMenu) {
  FocusQuietly("edtB");
  Type("a/b");
  EXPECT_EQ(form.controls.Text("edtB"), "A/B");
  EXPECT_EQ(form.log, (Log{"Key edtB a", "Key edtB /", "Key edtB b"}));
  FocusQuietly("chk");
  Type("/");
  EXPECT_EQ(form.log, (Log{"Click Slash"})) << "elsewhere the key runs its item";
}

TEST_F(ProjectionTest, PastedTextReachesTheStoreToo) {
  FocusQuietly("edtB");
  QLineEdit* edit = Find<QLineEdit>("edtB");
  edit->setText("xy");
  edit->selectAll();
  emit edit->textEdited(edit->text());
  EXPECT_EQ(form.controls.Text("edtB"), "XY");
}

TEST_F(ProjectionTest, TabMovesTheFocusWithExitThenEnter) {
  FocusQuietly("edtA");
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedName(), "edtB");
  EXPECT_EQ(form.log, (Log{"Exit edtA", "Enter edtB"}));
  Press(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(FocusedName(), "edtA");
  EXPECT_EQ(form.log, (Log{"Exit edtA", "Enter edtB", "Exit edtB", "Enter edtA"}));
}

TEST_F(ProjectionTest, RefusedFieldGetsTheFocusBackWithoutAnotherEnterOrExit) {
  form.refuse = {"edtA"};
  FocusQuietly("edtA");
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedName(), "edtA");
  EXPECT_EQ(form.log, (Log{"Exit edtA"}));
  // The next try leaves normally once the field is accepted.
  form.refuse.clear();
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedName(), "edtB");
  EXPECT_EQ(form.log, (Log{"Exit edtA", "Exit edtA", "Enter edtB"}));
}

TEST_F(ProjectionTest, ClickOnABoxWhileTheFieldIsRefusedDoesNotTickIt) {
  form.refuse = {"edtA"};
  FocusQuietly("edtA");
  QCheckBox* box = Find<QCheckBox>("chk");
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  EXPECT_EQ(FocusedName(), "edtA");
  EXPECT_FALSE(box->isChecked());
  EXPECT_FALSE(form.controls.Checked("chk"));
  EXPECT_EQ(form.log, (Log{"Exit edtA"}));

  form.refuse.clear();
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
  EXPECT_TRUE(form.controls.Checked("chk"));
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(form.log, (Log{"Exit edtA", "Exit edtA", "Enter chk", "Click chk"}));
}

TEST_F(ProjectionTest, ModalBoxOpenedWhileLeavingAFieldCausesNoSecondExit) {
  bool opened = false;
  form.onExit = [&](const std::string&) {
    QDialog box(window.get());
    box.setModal(true);
    QTimer::singleShot(50, &box, &QDialog::accept);
    opened = true;
    box.exec();
  };
  FocusQuietly("edtA");
  Press(Qt::Key_Tab);
  ASSERT_TRUE(opened);
  // The window manager hands the activation back once the box is gone.
  ASSERT_TRUE(test::ShowActive(*window));
  EXPECT_EQ(form.log, (Log{"Exit edtA", "Enter edtB"}));
}

TEST_F(ProjectionTest, RadioGroupIsOneControlForFocusAndClicks) {
  FocusQuietly("chk");
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedName(), "rgp_item0");
  Press(Qt::Key_Down);
  EXPECT_EQ(FocusedName(), "rgp_item1");
  EXPECT_EQ(form.controls["rgp"].itemIndex, 1);
  EXPECT_EQ(form.log, (Log{"Exit chk", "Enter rgp", "Click rgp"}));
}

TEST_F(ProjectionTest, MenuShortcutsRunTheirItemsHiddenOrNot) {
  FocusQuietly("chk");
  Press(Qt::Key_F3);
  Press(Qt::Key_S, Qt::ControlModifier);
  Press(Qt::Key_F7); // its item is disabled
  EXPECT_EQ(form.log, (Log{"Click Go", "Click Secret"}));
  EXPECT_FALSE(projection->ShortcutAction("F7")->isEnabled());

  form.controls.SetEnabled("Hidden", false);
  projection->Sync();
  Press(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(form.log, (Log{"Click Go", "Click Secret"})) << "a disabled menu stops its keys";
}

TEST_F(ProjectionTest, MenuShortcutWinsOverTheEditsOwnKeys) {
  FocusQuietly("edtA");
  Press(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(form.log, (Log{"Click Everything"}));
}

TEST_F(ProjectionTest, ClicksReachTheModelAndItsFocusRequestIsHonoured) {
  form.onClick = [&](const std::string& n) {
    if (n == "btn")
      form.FocusRequest = "edtB";
  };
  FocusQuietly("edtA");
  QTest::mouseClick(Find<QPushButton>("btn"), Qt::LeftButton);
  EXPECT_EQ(FocusedName(), "edtB");
  EXPECT_EQ(form.log, (Log{"Exit edtA", "Enter btn", "Click btn"}));
  EXPECT_TRUE(form.FocusRequest.empty());

  projection->ActionOf("Go")->trigger();
  EXPECT_EQ(form.log.back(), "Click Go");

  FocusQuietly("btn");
  Press(Qt::Key_Return);
  EXPECT_EQ(form.log, (Log{"Click btn"})) << "Enter presses the focused button";
}

TEST_F(ProjectionTest, ButtonDisabledWhileFocusedGetsTheFocusBackWhenEnabled) {
  FocusQuietly("btn");
  form.controls.SetEnabled("btn", false);
  projection->Sync();
  EXPECT_NE(FocusedName(), "btn");
  form.controls.SetEnabled("btn", true);
  projection->Sync();
  EXPECT_EQ(FocusedName(), "btn");
  Press(Qt::Key_Tab);
  EXPECT_EQ(form.log, (Log{"Exit btn", "Enter edtA"})) << "the model saw no focus move before";
}

TEST_F(ProjectionTest, PressOnAnEditIsAMouseDown) {
  FocusQuietly("edtA");
  QTest::mouseClick(Find<QLineEdit>("edtB"), Qt::RightButton);
  QTest::mouseClick(Find<QLineEdit>("edtA"), Qt::LeftButton);
  EXPECT_EQ(form.log, (Log{"Exit edtA", "Enter edtB", "Mouse edtB R", "Exit edtB", "Enter edtA",
                           "Mouse edtA L"}));
}

TEST_F(ProjectionTest, RunningTimersTickIntoTheModel) {
  QTimer* timer = projection->TimerOf("tmr");
  EXPECT_FALSE(timer->isActive());
  form.controls["tmr"].running = true;
  projection->Sync();
  ASSERT_TRUE(timer->isActive());
  EXPECT_EQ(timer->interval(), 5);
  form.onClick = nullptr;
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form.log.empty(); }));
  EXPECT_EQ(form.log.front(), "Tick tmr");
  form.controls["tmr"].running = false;
  projection->Sync();
  EXPECT_FALSE(timer->isActive());
}

// A device named in the foot keeps its port and what follows the device; a long path gives
// its middle first.
TEST(FitDeviceText, ThePortAndTheDevicesOwnNameStayWholeTheMiddleOfAPathGoes) {
  test::App();
  const QFontMetrics fm(QApplication::font());
  const QString dash = QStringLiteral(" \u2014 ");
  const QString longPath =
      QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2.4.1:1.0-port0");
  struct Case {
    const char* what;
    QString text, head, tail;
    bool elided;
  } cases[] = {
      {"fits", "COM1: /dev/ttyUSB0" + dash + "FT232R USB UART", "COM1: /dev/ttyUSB0", "UART",
       false},
      {"description", "COM12: " + longPath + dash + "FT232R USB UART, not open: permission denied",
       "COM12: /dev/", "port0" + dash + "FT232R USB UART, not open: permission denied", true},
      {"variable", "COM3: " + longPath + " (PAGEWRIGHT_COM3)", "COM3: /dev/",
       "port0 (PAGEWRIGHT_COM3)", true},
      {"no description", "COM4: " + longPath + longPath, "COM4: /dev/", "port0", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int width = 480;
    const QString shown = FitDeviceText(c.text, fm, width);
    EXPECT_LE(fm.horizontalAdvance(shown), width) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(c.head)) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(c.tail)) << shown.toStdString();
    EXPECT_EQ(shown.contains(QChar(0x2026)), c.elided) << shown.toStdString();
  }
  // With no room for the path at all, the end gives way rather than the port.
  const QString tight = FitDeviceText("COM1: " + longPath + dash + "FT232R USB UART", fm, 120);
  EXPECT_TRUE(tight.startsWith("COM1: ")) << tight.toStdString();
  EXPECT_LE(fm.horizontalAdvance(tight), 120);
}

} // namespace
} // namespace pw::ui
