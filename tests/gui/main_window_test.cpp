// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on the real form model: every control under its name, the window's shape,
// typing into real edits, the hidden keys, and reading a simulated pager with F3.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <unistd.h>

#include "base/clock.h"
#include "gui/gui_support.h"
#include "link/fake_sysfs.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "support/sim_process.h"
#include "ledger/ledger.h"
#include "transactions/compatibility.h"
#include "ui/form_model.h"
#include "ui/forms/CapcodePools.h"
#include "ui/forms/SerialDevice.h"
#include "ui/forms/Ui.h"
#include "ui/forms/app_identity.h"
#include "ui/forms/qt_host.h"
#include "ui/main_controls.h"
#include "ui/settings.h"
#include "ui/user_settings.h"

namespace pw::ui {
namespace {

namespace fs = std::filesystem;
using test::FocusedName;
using test::Press;
using test::Type;

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    test::App();
    dir = fs::temp_directory_path() /
          ("pagewright-gui-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    boxes.Attach(host);
    shell.SetFileHook([this](const FileDialogRequest& r, bool save) -> std::optional<std::string> {
      dialogs.push_back((save ? "save " : "open ") + r.title);
      return std::nullopt;
    });
  }
  void TearDown() override {
    ui.reset();
    model.reset();
    fs::remove_all(dir);
  }

  // Creates the window on the in-process pager (or on the real port n) and shows it.
  void Start(bool systemPort = false) {
    PortFactory ports;
    if (systemPort) {
      ports = [](int n, Host& h) { return MakeSystemSerialPort(n, h); };
    } else {
      ports = [this](int, Host&) -> std::unique_ptr<SerialPort> {
        auto port = std::make_unique<sim::InProcessPagerPort>(pager, clock);
        lastPort = port.get();
        return port;
      };
    }
    model = std::make_unique<FormModel>(host, shell, clock, ports, dir.string());
    ui = std::make_unique<TFormUI>(*model, host);
    shell.Attach(ui.get(), [this](const std::string& n) { ui->projection().Focus(n); });
    ASSERT_TRUE(test::ShowActive(*ui));
  }

  template <class T = QWidget> T* W(const std::string& name) const {
    return qobject_cast<T*>(ui->Widget(QString::fromStdString(name)));
  }
  const Control& C(const std::string& name) const { return model->controls[name]; }
  // The port items of File > Setup, after the device choice, the pools and their separator.
  QList<QAction*> PortItems() const { return ui->projection().MenuOf("Setup1")->actions().mid(3); }
  // Exactly the first n port items of File > Setup are shown.
  void Setup1Shows(int n) const {
    const QList<QAction*> ports = PortItems();
    for (int i = 0; i < ports.size(); ++i)
      EXPECT_EQ(ports[i]->isVisible(), i < n) << ports[i]->objectName().toStdString();
  }
  void FocusQuietly(const std::string& name) {
    ui->projection().Focus(name);
    boxes.boxes.clear();
  }
  // Clicks into an edit and replaces its text by typing, as a user would.
  void Retype(const std::string& name, const QString& text) {
    QTest::mouseClick(W(name), Qt::LeftButton);
    boxes.boxes.clear();
    W<QLineEdit>(name)->selectAll();
    Press(Qt::Key_Backspace);
    Type(text);
  }

  fs::path dir;
  QtHost host;
  QtShell shell;
  test::BoxRecorder boxes;
  std::vector<std::string> dialogs;
  VirtualClock clock;
  sim::PagerFirmware pager;
  sim::InProcessPagerPort* lastPort = nullptr;
  std::unique_ptr<FormModel> model;
  std::unique_ptr<TFormUI> ui;
};

TEST_F(MainWindowTest, EveryControlOfTheStoreHasItsWidgetAndHiddenOnesStayHidden) {
  Start();
  int checked = 0;
  for (const std::string& name : model->controls.Order()) {
    const Control& c = C(name);
    const QString objectName = QString::fromStdString(name);
    switch (c.kind) {
    case Kind::Menu:
    case Kind::MenuItem:
    case Kind::Separator: {
      if (name == "MainMenu1") {
        EXPECT_EQ(ui->menuBar()->objectName(), objectName);
        break;
      }
      QAction* a = ui->projection().ActionOf(name);
      ASSERT_NE(a, nullptr) << name;
      EXPECT_EQ(a->objectName(), objectName);
      EXPECT_EQ(a->isVisible(), c.visible) << name;
      break;
    }
    case Kind::Timer:
      ASSERT_NE(ui->findChild<QTimer*>(objectName), nullptr) << name;
      break;
    case Kind::Form:
      EXPECT_EQ(ui->objectName(), objectName);
      break;
    case Kind::ToolButton:
      ASSERT_NE(ui->findChild<QToolButton*>(objectName), nullptr) << name;
      EXPECT_EQ(ui->projection().ActionOf(name)->isVisible(), c.visible);
      break;
    default: {
      QWidget* w = ui->findChild<QWidget*>(objectName);
      ASSERT_NE(w, nullptr) << name;
      if (c.kind != Kind::Page) {
        EXPECT_EQ(!w->isHidden(), c.visible) << name;
      }
      break;
    }
    }
    ++checked;
  }
  EXPECT_GT(checked, 500);
  for (const char* hidden : {"rgpPLLICOption", "gpbCodeA1", "gpbPagerPassword", "lblVersion",
                             "edtR", "chkSpur", "gpbDisCharging", "rgpOutofRangeTimer"})
    EXPECT_FALSE(W(hidden)->isVisibleTo(ui.get())) << hidden;
  for (int i = 0; i < 4; ++i)
    EXPECT_NE(ui->findChild<QRadioButton*>(QString("rgpPLLICOption_item%1").arg(i)), nullptr);
  EXPECT_FALSE(ui->projection().ActionOf("Superkey")->isVisible());
  EXPECT_FALSE(ui->projection().ActionOf("UseCOM17")->isVisible());
  EXPECT_TRUE(ui->projection().ActionOf("UseCOM16")->isVisible());
}

TEST_F(MainWindowTest, WindowIsFixedCentredAndCarriesTheCaption) {
  Start();
  EXPECT_EQ(ui->windowTitle().toStdString(), kMainCaption);
  EXPECT_EQ(ApplicationTitle().toStdString(), kMainCaption);
  EXPECT_EQ(ui->width(), kMainClientWidth);
  EXPECT_EQ(ui->height() - ui->menuBar()->height(), kMainClientHeight);
  EXPECT_EQ(ui->minimumSize(), ui->maximumSize());
  EXPECT_FALSE(ui->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(ui->windowFlags() & Qt::WindowMinimizeButtonHint);

  const QRect screen = ui->screen()->geometry();
  const QRect frame = ui->frameGeometry();
  EXPECT_EQ(frame.left() - screen.left(), (screen.width() - frame.width()) / 2);
  EXPECT_EQ(frame.top() - screen.top(), (screen.height() - frame.height()) / 2);

  auto* bar = ui->findChild<QToolBar*>("ToolBar1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->height(), 41);
  for (const char* name :
       {"ToolButton1", "ToolButton2", "ToolButton3", "ToolButton4", "ToolButton5"}) {
    auto* b = W<QToolButton>(name);
    EXPECT_EQ(b->size(), QSize(151, 36)) << name;
    EXPECT_EQ(b->focusPolicy(), Qt::NoFocus) << name;
    EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    EXPECT_EQ(b->toolTip().toStdString(), C(name).hint);
    EXPECT_TRUE(b->isVisible()) << name << " fits on the bar";
    EXPECT_TRUE(bar->rect().contains(b->geometry())) << name;
  }
  EXPECT_EQ(W<QToolButton>("ToolButton1")->text(), "Load Codeplug");
  EXPECT_EQ(W<QTabWidget>("PCAll")->currentIndex(), 0);
  EXPECT_EQ(W<QTabWidget>("PCAll")->tabText(1), "Standard Option");
  EXPECT_EQ(FocusedName(), "edtFrequency") << "showing the window refreshes page 0";
  EXPECT_FALSE(W("btnF7SaveAs")->isEnabled());
  EXPECT_FALSE(ui->projection().ActionOf("Write1")->isEnabled());
}

// The names of a menu's (or the bar's) entries in order, hidden ones in brackets.
std::vector<std::string> Entries(const QList<QAction*>& actions) {
  std::vector<std::string> out;
  for (const QAction* a : actions) {
    const std::string name = a->objectName().toStdString();
    out.push_back(a->isVisible() ? name : "[" + name + "]");
  }
  return out;
}

TEST_F(MainWindowTest, MenuBarToolBarAndFunctionKeysComeInTheirOrder) {
  Start();
  using Names = std::vector<std::string>;
  EXPECT_EQ(Entries(ui->menuBar()->actions()),
            (Names{"File1", "Options1", "ReadProgram1", "[ShortCuts1]", "[Help1]", "[Superkey]",
                   "[LoadDefault]", "[CodePlugVersion1]", "[PgUpPgDn1]", "[password1]"}));
  auto entries = [&](const char* menu) {
    return Entries(ui->projection().MenuOf(menu)->actions());
  };
  EXPECT_EQ(entries("File1"),
            (Names{"Open1", "N1", "Save1", "N2", "Setup1", "N3", "OpenProgrammingLog1",
                   "PagerHistory1", "BenchName1", "N9", "About1", "N4", "Exit1", "[N5]",
                   "[SaveSUniRWorSUniRR1]", "[LoadPatchFileHex]"}));
  EXPECT_EQ(entries("Options1"),
            (Names{"FLEXAddressOption", "StandardOption", "[FLEXTerminal1]", "N10",
                   "VerifyAfterProgramming1", "BackUpBeforeProgramming1", "SerialTrace1", "N12",
                   "OpenBackupsFolder1", "OpenTracesFolder1"}));
  // The switches show their box ticked or not; the port items only when ticked.
  for (const char* option : {"VerifyAfterProgramming1", "BackUpBeforeProgramming1", "SerialTrace1"})
    EXPECT_TRUE(ui->projection().ActionOf(option)->isCheckable()) << option;
  EXPECT_FALSE(ui->projection().ActionOf("UseCOM2")->isCheckable());
  EXPECT_EQ(entries("ReadProgram1"),
            (Names{"Read1", "N6", "Write1", "[N7]", "[Read_Patch]", "[Program_Patch]", "[N8]",
                   "[Read_Codeplug]", "[Program_Codeplug]"}));
  EXPECT_EQ(entries("Setup1").front(), "SerialDevice1");
  EXPECT_EQ(ui->projection().ActionOf("SerialDevice1")->text(), "Serial &Device\u2026");
  const QList<QAction*> ports = PortItems();
  ASSERT_EQ(ports.size(), 256);
  EXPECT_EQ(ports[6]->text(), "Use COM 7\tCtrl+7");
  EXPECT_EQ(ports[9]->text(), "Use COM 10");
  EXPECT_EQ(ui->projection().ActionOf("Open1")->text(), "&Load Codeplug \tF8");

  // Five buttons with a separator between each two, left to right.
  auto* bar = ui->findChild<QToolBar*>("ToolBar1");
  Names tools;
  int lastX = -1;
  for (QAction* a : bar->actions()) {
    QWidget* w = bar->widgetForAction(a);
    tools.push_back(a->isSeparator() ? "|" : w->objectName().toStdString());
    EXPECT_GT(w->x(), lastX);
    lastX = w->x();
  }
  EXPECT_EQ(tools, (Names{"ToolButton1", "|", "ToolButton2", "|", "ToolButton3", "|", "ToolButton4",
                          "|", "ToolButton5"}));

  // One row of function keys at the bottom, in the order of their keys.
  const char* keys[] = {"btnF1Help",   "btnF3Read", "btnF4Program",
                        "btnF7SaveAs", "btnF8Load", "btnF10Exit"};
  const char* captions[] = {"F1 Help", "F3 Read", "F4 Program", "F7 Save", "F8 Load", "F10 Exit"};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(keys[i]);
    auto* b = W<QPushButton>(keys[i]);
    EXPECT_EQ(b->text(), captions[i]);
    EXPECT_EQ(b->y(), W("btnF1Help")->y());
    EXPECT_GT(b->y(), W("CGauge1")->y());
    if (i > 0) {
      EXPECT_GT(b->x(), W(keys[i - 1])->geometry().right());
    }
  }
}

TEST_F(MainWindowTest, HiddenPortItemKeepsItsShortcut) {
  {
    std::ofstream ini(dir / kSettingsFileName);
    ini << "3\n4\n";
  }
  Start();
  Setup1Shows(4);
  EXPECT_TRUE(ui->projection().ActionOf("UseCOM3")->isChecked());
  Press(Qt::Key_7, Qt::ControlModifier);
  EXPECT_TRUE(ui->projection().ActionOf("UseCOM7")->isChecked());
  EXPECT_FALSE(ui->projection().ActionOf("UseCOM3")->isChecked());
  EXPECT_FALSE(ui->projection().ActionOf("UseCOM7")->isVisible());
  Setup1Shows(4);
  std::ifstream ini(dir / kSettingsFileName);
  std::string port, shown;
  std::getline(ini, port);
  std::getline(ini, shown);
  EXPECT_EQ(port + "/" + shown, "7/4");
}

TEST_F(MainWindowTest, FrequencyTakesDigitsAndPointOnly) {
  Start();
  Retype("edtFrequency", "12a.5");
  EXPECT_EQ(W<QLineEdit>("edtFrequency")->text(), "12.5");
  EXPECT_EQ(C("edtFrequency").text, "12.5");
}

TEST_F(MainWindowTest, CadenceIgnoresOtherDigitsAndAShortOneKeepsTheFocus) {
  Start();
  ASSERT_TRUE(C("edtCadence1").enabled);
  Retype("edtCadence1", "1021");
  EXPECT_EQ(C("edtCadence1").text, "101");
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedName(), "edtCadence1");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
  // The field's own help line stays: the next control was never entered.
  EXPECT_EQ(model->state.AddressTopic, 22);
}

TEST_F(MainWindowTest, EnterKeyValidatesInPlaceAndTabMovesOn) {
  Start();
  Retype("edtTime1", "150");
  EXPECT_EQ(C("edtTime1").text, "15") << "two digits at most";
  Press(Qt::Key_Return);
  EXPECT_EQ(FocusedName(), "edtTime1");
  EXPECT_EQ(W<QLineEdit>("edtTime1")->text(), "15");
  Press(Qt::Key_Tab);
  EXPECT_EQ(FocusedName(), "edtCadence1");
  EXPECT_EQ(model->state.AddressTopic, 22);
  EXPECT_EQ(W<QLabel>("lblHelp1")->text(),
            "Enter the pager Cadence for Code A (Numeric, 00,000,000-11,111,111)");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainWindowTest, PageKeysAndOptionsShortcutsSwitchPages) {
  Start();
  auto* tabs = W<QTabWidget>("PCAll");
  Press(Qt::Key_PageDown);
  EXPECT_EQ(tabs->currentIndex(), 1) << "Page Down on page 0 shows page 1";
  EXPECT_EQ(FocusedName(), "chkOutofRangeIndicator");
  EXPECT_EQ(W<QLabel>("lblHelp1")->text(),
            "The pager will beep, vibrate and/or LED flash when an out of range condition "
            "exists per the Out of Range alert settings");
  Press(Qt::Key_PageDown);
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_EQ(FocusedName(), "edtFrequency");
  Press(Qt::Key_PageUp);
  EXPECT_EQ(tabs->currentIndex(), 1);
  Press(Qt::Key_A, Qt::ControlModifier); // from an edit: the menu key wins over select-all
  EXPECT_EQ(tabs->currentIndex(), 0);
  Press(Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_EQ(C("PCAll").itemIndex, 1);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainWindowTest, ClickingATabRefreshesThatPage) {
  Start();
  auto* tabs = W<QTabWidget>("PCAll");
  QTabBar* bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_EQ(tabs->currentIndex(), 1);
  EXPECT_EQ(model->state.ActivePage, 1);
  EXPECT_EQ(model->state.StandardTopic, 1);
  EXPECT_EQ(FocusedName(), "chkOutofRangeIndicator");
}

TEST_F(MainWindowTest, ServiceKeysDoNothing) {
  Start();
  lastPort->ClearLog();
  const std::string help = C("lblHelp1").caption;
  using Keys = std::pair<Qt::Key, Qt::KeyboardModifiers>;
  const Keys keys[] = {{Qt::Key_T, Qt::ControlModifier | Qt::AltModifier},
                       {Qt::Key_V, Qt::ControlModifier | Qt::AltModifier},
                       {Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier},
                       {Qt::Key_Y, Qt::AltModifier},
                       {Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier}};
  for (const auto& [key, mods] : keys)
    Press(key, mods);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(lastPort->Written.empty());
  EXPECT_EQ(C("lblHelp1").caption, help);
  EXPECT_TRUE(ui->isVisible());
}

TEST_F(MainWindowTest, SaveAndProgramKeysWaitForTheFirstRead) {
  Start();
  Press(Qt::Key_F7);
  Press(Qt::Key_F4);
  EXPECT_TRUE(dialogs.empty());
  EXPECT_TRUE(boxes.boxes.empty());
  Press(Qt::Key_F8);
  EXPECT_EQ(dialogs.size(), 1u) << "Load is always there";
}

TEST_F(MainWindowTest, F3ReadsThePagerAndEnablesSaveAndProgram) {
  Start();
  test::PaintedValues gauge;
  W("CGauge1")->installEventFilter(&gauge);
  Press(Qt::Key_F3);
  EXPECT_GT(std::set<int>(gauge.values.begin(), gauge.values.end()).size(), 90u)
      << "the gauge moves with the bytes, not only between blocks";
  ASSERT_FALSE(boxes.boxes.empty());
  EXPECT_EQ(boxes.boxes.back().text.toStdString(), std::string(text::kCodeplugRead));
  EXPECT_EQ(boxes.boxes.back().title, "Information");
  for (const char* name : {"btnF7SaveAs", "btnF4Program", "ToolButton2", "ToolButton4"})
    EXPECT_TRUE(W(name)->isEnabled()) << name;
  EXPECT_TRUE(ui->projection().ActionOf("Save1")->isEnabled());
  EXPECT_TRUE(ui->projection().ShortcutAction("F7")->isEnabled());
  EXPECT_EQ(W<QProgressBar>("CGauge1")->value(), 0) << "the gauge is reset after the read";
  EXPECT_TRUE(W("btnF3Read")->isEnabled());
}

TEST_F(MainWindowTest, ReadKeysValidateTheFieldBeingEditedFirst) {
  Start();
  for (bool toolButton : {false, true}) {
    Retype("edtCodeA", "2000000"); // between the two short address ranges
    lastPort->ClearLog();
    if (toolButton) {
      QTest::mouseClick(W("ToolButton3"), Qt::LeftButton);
    } else {
      Press(Qt::Key_F3);
    }
    EXPECT_EQ(FocusedName(), "edtCodeA") << "neither takes the focus";
    EXPECT_FALSE(boxes.boxes.empty()) << "the capcode rule spoke";
    for (const test::Box& b : boxes.boxes)
      EXPECT_NE(b.text.toStdString(), std::string(text::kCodeplugRead));
    EXPECT_TRUE(lastPort->Written.empty()) << "no read was started";
  }
}

TEST_F(MainWindowTest, F3ReadsAPagerServedOnAPseudoTerminal) {
  const std::string link = (dir / "com1").string();
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready()) << "pagewright-sim in " << test::BinDir();
  ::setenv("PAGEWRIGHT_COM1", link.c_str(), 1);
  Start(/*systemPort=*/true);
  ::unsetenv("PAGEWRIGHT_COM1");
  ASSERT_TRUE(boxes.boxes.empty()) << boxes.boxes[0].text.toStdString();
  Press(Qt::Key_F3);
  ASSERT_FALSE(boxes.boxes.empty());
  EXPECT_EQ(boxes.boxes.back().text.toStdString(), std::string(text::kCodeplugRead));
  EXPECT_TRUE(W("btnF7SaveAs")->isEnabled());
}

// What a technician would call cramped: text that does not fit its control, a control that
// sticks out of its box, two shown controls on top of each other.
std::vector<std::string> LayoutFaults(const Controls& controls, const TFormUI& ui) {
  std::vector<std::string> faults;
  auto widget = [&](const std::string& n) { return ui.Widget(QString::fromStdString(n)); };
  std::map<QWidget*, std::vector<std::pair<std::string, QWidget*>>> siblings;
  for (const std::string& name : controls.Order()) {
    const Control& c = controls[name];
    if (!controls.Shown(name))
      continue;
    QWidget* w = widget(name);
    if (!w || c.kind == Kind::Page || c.kind == Kind::ToolBar || c.kind == Kind::ToolButton ||
        c.kind == Kind::Menu || c.kind == Kind::Form)
      continue;
    const QFontMetrics fm(w->font());
    const QString text = QString::fromLatin1(c.caption.c_str()).remove(QLatin1Char('&'));
    QWidget* parent = w->parentWidget();
    if (!parent->rect().contains(w->geometry()))
      faults.push_back(name + " sticks out of " + parent->objectName().toStdString());
    auto tooNarrow = [&](int needed) {
      if (needed > w->width())
        faults.push_back(name + " needs " + std::to_string(needed) + " px, has " +
                         std::to_string(w->width()));
    };
    switch (c.kind) {
    case Kind::Label:
      tooNarrow(fm.horizontalAdvance(text));
      if (fm.height() > w->height())
        faults.push_back(name + " is too low for its text");
      break;
    case Kind::CheckBox:
      tooNarrow(w->sizeHint().width());
      if (w->sizeHint().height() > w->height() + 4)
        faults.push_back(name + " is too low");
      break;
    case Kind::Button:
      tooNarrow(fm.horizontalAdvance(text) + 12);
      if (fm.height() + 6 > w->height())
        faults.push_back(name + " is too low");
      break;
    case Kind::Group:
    case Kind::RadioGroup:
      tooNarrow(fm.horizontalAdvance(text) + 16);
      if (c.kind == Kind::RadioGroup) {
        for (QRadioButton* b : w->findChildren<QRadioButton*>()) {
          if (b->sizeHint().width() > b->width())
            faults.push_back(b->objectName().toStdString() + " is cut short");
          if (!w->rect().contains(b->geometry()))
            faults.push_back(b->objectName().toStdString() + " sticks out");
        }
      }
      break;
    case Kind::Edit:
      if (c.maxLength > 0 && c.maxLength < 16)
        tooNarrow(fm.horizontalAdvance(QString(c.maxLength, QLatin1Char('0'))) + 8);
      if (fm.height() + 4 > w->height())
        faults.push_back(name + " is too low for its text");
      break;
    default:
      break;
    }
    siblings[parent].push_back({name, w});
  }
  for (const auto& [parent, list] : siblings)
    for (std::size_t i = 0; i < list.size(); ++i)
      for (std::size_t j = i + 1; j < list.size(); ++j)
        if (list[i].second->geometry().intersects(list[j].second->geometry()))
          faults.push_back(list[i].first + " overlaps " + list[j].first);
  return faults;
}

TEST_F(MainWindowTest, BothPagesAreLaidOutWithoutCrampedOrOverlappingControls) {
  Start();
  EXPECT_EQ(LayoutFaults(model->controls, *ui), std::vector<std::string>{});
  // The foot stays inside the window.
  const QRect client = ui->centralWidget()->rect();
  for (const char* name : {"btnF1Help", "btnF10Exit", "CGauge1", "lblHelp1", "PCAll"})
    EXPECT_TRUE(client.contains(W(name)->geometry())) << name;
  EXPECT_EQ(W("CGauge1")->width(), client.width() - 8) << "the gauge spans the window";

  // Screenshots of both pages for a look by eye.
  const char* shots = std::getenv("PAGEWRIGHT_SCREENSHOTS");
  if (shots)
    ui->grab().save(QString::fromLocal8Bit(shots) + "/page0.png");
  // The longest help lines fit the help line.
  auto* help = W<QLabel>("lblHelp1");
  QTest::mouseClick(W("edtCodeA"), Qt::LeftButton);
  ASSERT_EQ(model->state.AddressTopic, 4);
  EXPECT_LE(help->fontMetrics().horizontalAdvance(help->text()), help->width()) << "Code A help";
  Press(Qt::Key_PageDown);
  ASSERT_EQ(W<QTabWidget>("PCAll")->currentIndex(), 1);
  EXPECT_LE(help->fontMetrics().horizontalAdvance(help->text()), help->width()) << "Out of range";
  if (shots)
    ui->grab().save(QString::fromLocal8Bit(shots) + "/page1.png");
}

TEST_F(MainWindowTest, F7SavesAndF8LoadsBackThroughTheFileDialogs) {
  Start();
  Press(Qt::Key_F3);
  const std::string file = (dir / "bench").string();
  shell.SetFileHook([&](const FileDialogRequest& r, bool save) -> std::optional<std::string> {
    dialogs.push_back((save ? "save " : "open ") + r.title);
    return save ? file : file + ".dat";
  });
  Press(Qt::Key_F7);
  ASSERT_TRUE(fs::exists(file + ".dat")) << "the save dialog's name gets .dat";

  Retype("edtCodeA", "1234599");
  Press(Qt::Key_Tab);
  EXPECT_EQ(W<QLineEdit>("edtCodeA")->text().toStdString(), "1234599");
  Press(Qt::Key_F8);
  EXPECT_EQ(dialogs, (std::vector<std::string>{"save Save As", "open Open"}));
  EXPECT_EQ(W<QLineEdit>("edtCodeA")->text().toStdString(), "1234560")
      << "the loaded codeplug is shown";
  EXPECT_EQ(W<QLabel>("lblCodeplug_Version")->text().toStdString(), "R010209");
}

TEST_F(MainWindowTest, ExitButtonClosesTheWindowAndThePort) {
  Start();
  ASSERT_TRUE(lastPort->IsOpen());
  QTest::mouseClick(W("btnF10Exit"), Qt::LeftButton);
  EXPECT_FALSE(ui->isVisible());
  EXPECT_EQ(model->port(), nullptr);
}

TEST_F(MainWindowTest, TheDesktopKnowsTheWindowAsPagewrightWithItsIcon) {
  SetDesktopIdentity();
  Start();
  EXPECT_EQ(QGuiApplication::applicationName(), "pagewright");
  EXPECT_EQ(QGuiApplication::desktopFileName(), "org.pagewright.Pagewright");
  const QList<QSize> sizes = ui->windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256)));
  EXPECT_EQ(ui->windowTitle().toStdString(), kMainCaption) << "the caption stays";
  EXPECT_EQ(
      QtHost::BuildBox(BoxKind::Ok, Message{"Hi", "", Icon::None}, false, nullptr)->windowTitle(),
      QString::fromLatin1(kMainCaption));
}

TEST_F(MainWindowTest, TheSerialDeviceDialogAssignsTheChosenAdapterAndTheWindowNamesIt) {
  Start();
  test::FakeSysfs machine("gui");
  machine.AddUsb(
      {"ttyUSB0", "usb1/1-2", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "", ""});
  const std::string adapter = (machine.dev() / "ttyUSB0").string() + " \u2014 FT232R USB UART";
  PortListSource source;
  source.sysRoot = machine.sys();
  source.devRoot = machine.dev();
  model->UseSerialDevices(
      std::make_unique<SerialDevices>(dir / "pagewright.conf", source, [](const std::string&) {
        return std::optional<std::string>();
      }));
  std::vector<std::string> devices;
  model->SetDevicePortFactory(
      [&](int, const std::string& device, Host&) -> std::unique_ptr<SerialPort> {
        devices.push_back(device);
        return std::make_unique<sim::InProcessPagerPort>(pager, clock);
      });
  TFormSerialDevice dialog(model->deviceDialog(), ui.get());
  shell.SetSerialDeviceWindow([&] {
    dialog.Sync();
    ASSERT_EQ(dialog.List()->count(), 2);
    EXPECT_EQ(dialog.List()->item(1)->text().toStdString(), adapter);
    dialog.List()->setCurrentRow(1);
    EXPECT_TRUE(dialog.findChild<QLabel*>("lblDetails")->text().contains("USB id: 0403:6001"));
    QTest::mouseClick(dialog.findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  });
  ui->projection().ActionOf("SerialDevice1")->trigger();
  EXPECT_EQ(devices, (std::vector<std::string>{(machine.dev() / "ttyUSB0").string()}));
  // A path too long for its place loses its middle; the tooltip holds it whole.
  QLabel* port = W<QLabel>("lblPortDevice");
  EXPECT_TRUE(port->isVisible());
  EXPECT_TRUE(
      port->toolTip().startsWith(QString::fromStdString("COM1: " + adapter + "\nDevice: ")));
  EXPECT_LE(port->fontMetrics().horizontalAdvance(port->text()), port->width());
  EXPECT_TRUE(port->text().startsWith("COM1: ")) << port->text().toStdString();
  EXPECT_TRUE(port->text().endsWith("ttyUSB0 \u2014 FT232R USB UART"))
      << port->text().toStdString();
}

// File > Setup > Capcode Pools... offers the ledger's pools of each letter; the one confirmed
// shows in the foot, beside the port, which keeps its text.
TEST_F(MainWindowTest, TheCapcodePoolsDialogChoosesAPoolAndTheFootNamesIt) {
  const std::string url = "sqlite:" + (dir / "shop.sqlite3").string();
  {
    ledger::Ledger::Opened opened = ledger::Ledger::Open(url);
    ASSERT_TRUE(opened.ledger) << opened.message;
    std::int64_t added = 0;
    std::string error;
    ASSERT_TRUE(opened.ledger->AddPool("Main", 'A', {{1000000, 1000009}}, &added, &error))
        << error;
  }
  std::ofstream(dir / "pagewright.conf") << "ledger=" << url << "\n";
  Start();
  model->UseUserSettings(dir / "pagewright.conf");
  const QString port = W<QLabel>("lblPortDevice")->text();
  QLabel* pools = W<QLabel>("lblPools");
  EXPECT_FALSE(pools->isVisible());
  bool seen = false;
  QTimer::singleShot(0, ui.get(), [&] {
    auto* dialog = qobject_cast<TFormCapcodePools*>(QApplication::activeModalWidget());
    if (!dialog) {
      if (QWidget* other = QApplication::activeModalWidget())
        other->close();
      return;
    }
    seen = true;
    EXPECT_EQ(dialog->Pool(0)->itemText(1).toStdString(), "Main (10 free)");
    EXPECT_FALSE(dialog->Pool(1)->isEnabled());
    EXPECT_EQ(dialog->focusWidget(), dialog->Pool(0));
    dialog->Pool(0)->setCurrentIndex(1);
    QTest::mouseClick(dialog->findChild<QPushButton*>("btnOK"), Qt::LeftButton);
  });
  ui->projection().ActionOf("CapcodePools1")->trigger();
  EXPECT_TRUE(seen);
  EXPECT_TRUE(pools->isVisible());
  EXPECT_EQ(pools->text().toStdString(), "Pools: A=Main");
  EXPECT_EQ(W<QLabel>("lblPortDevice")->text(), port);
  EXPECT_FALSE(pools->geometry().intersects(W("lblPortDevice")->geometry()));
  EXPECT_TRUE(boxes.boxes.empty());
}

// The device a COM number opens now is listed and chosen when the dialog opens, found by the
// scan or not: Enter at once keeps it.
TEST_F(MainWindowTest, SerialDeviceKeepsTheDeviceInUseWhenEnterIsPressedAtOnce) {
  Start();
  test::FakeSysfs machine("gui-keep");
  machine.AddBuiltIn("ttyS0", "4");
  PortListSource source;
  source.sysRoot = machine.sys();
  source.devRoot = machine.dev();
  const fs::path terminal = dir / "sim-link";
  std::ofstream(terminal).put('\n');
  struct Case {
    std::string device, row;
  } cases[] = {
      {terminal.string(), terminal.string()},
      {(dir / "gone").string(), (dir / "gone").string() + " (absent)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    const fs::path conf = dir / "pagewright.conf";
    std::ofstream(conf) << "com.1=" << c.device << "\n";
    model->UseSerialDevices(std::make_unique<SerialDevices>(
        conf, source, [](const std::string&) { return std::optional<std::string>(); }));
    std::vector<std::string> opened;
    model->SetDevicePortFactory(
        [&](int, const std::string& device, Host&) -> std::unique_ptr<SerialPort> {
          opened.push_back(device);
          return std::make_unique<sim::InProcessPagerPort>(pager, clock);
        });
    TFormSerialDevice dialog(model->deviceDialog(), ui.get());
    QStringList rows;
    QString chosen;
    shell.SetSerialDeviceWindow([&] {
      QTimer::singleShot(0, &dialog, [&] {
        for (int i = 0; i < dialog.List()->count(); ++i)
          rows << dialog.List()->item(i)->text();
        chosen = dialog.List()->currentItem() ? dialog.List()->currentItem()->text() : QString();
        QTest::keyClick(dialog.List(), Qt::Key_Return);
      });
      dialog.Execute();
    });
    ui->projection().ActionOf("SerialDevice1")->trigger();
    EXPECT_EQ(rows.size(), 2) << rows.join(" | ").toStdString();
    EXPECT_EQ(chosen.toStdString(), c.row);
    EXPECT_EQ(opened, std::vector<std::string>{c.device}) << "reopened on the same device";
    EXPECT_EQ(UserSettings::Load(conf).Get("com.1"), c.device);
  }
}

// Options > Open Backups Folder and Open Traces Folder show the user's folders (made when
// missing) in the desktop's file manager; the manual names every switch of the menu and the
// key of the settings file that keeps it.
struct UrlsOpened : QObject {
  Q_OBJECT
public:
  QList<QUrl> urls;
public slots:
  void Open(const QUrl& url) { urls << url; }
};

TEST_F(MainWindowTest, OptionsOpenTheDataFoldersAndTheManualNamesEverySwitchAndItsKey) {
  const QByteArray data = qgetenv("XDG_DATA_HOME");
  qputenv("XDG_DATA_HOME", QFile::encodeName(QString::fromStdString((dir / "data").string())));
  UrlsOpened opened;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "Open");
  Start();
  model->UseUserSettings(dir / "pagewright.conf");
  const fs::path folders = dir / "data" / "pagewright";
  ui->projection().ActionOf("OpenBackupsFolder1")->trigger();
  ui->projection().ActionOf("OpenTracesFolder1")->trigger();
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(
      opened.urls,
      (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString((folders / "backups").string())),
                   QUrl::fromLocalFile(QString::fromStdString((folders / "traces").string()))}));
  EXPECT_TRUE(fs::is_directory(folders / "backups"));
  EXPECT_TRUE(fs::is_directory(folders / "traces"));
  EXPECT_TRUE(boxes.boxes.empty());

  std::ifstream file(fs::path(PW_SOURCE_DIR) / "packaging/man/pagewright.1.in");
  const std::string manual((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
  ASSERT_FALSE(manual.empty());
  for (QAction* item : ui->projection().MenuOf("Options1")->actions()) {
    if (item->isSeparator() || !item->isVisible() || item->text().contains('\t'))
      continue; // the page items, told with their keys
    const std::string text = item->text().remove('&').toStdString();
    EXPECT_NE(manual.find(text), std::string::npos) << text;
    if (!item->isCheckable())
      continue;
    // The key is the one a click writes.
    auto lines = [&] {
      std::set<std::string> kept;
      std::ifstream conf(dir / "pagewright.conf");
      for (std::string line; std::getline(conf, line);)
        kept.insert(line);
      return kept;
    };
    const std::set<std::string> before = lines();
    item->trigger();
    std::string key;
    for (const std::string& line : lines())
      if (before.count(line) == 0)
        key = line.substr(0, line.find('='));
    EXPECT_FALSE(key.empty()) << text;
    EXPECT_NE(manual.find(key), std::string::npos) << text << " keeps " << key;
    item->trigger();
  }
  model.reset(); // the trace stops before the folder goes
  if (data.isNull())
    qunsetenv("XDG_DATA_HOME");
  else
    qputenv("XDG_DATA_HOME", data);
}

} // namespace
} // namespace pw::ui

#include "main_window_test.moc"
