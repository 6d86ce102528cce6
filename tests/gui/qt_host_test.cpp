// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt host: how each kind of message box looks and what its answer means, the gauge and
// the named texts in the control store, and the file dialog's filters.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <numeric>

#include "gui/gui_support.h"
#include "ui/forms/app_identity.h"
#include "ui/forms/qt_host.h"

namespace pw::ui {
namespace {

struct BoxCase {
  const char* shows;
  BoxKind kind;
  Message message;
  bool defaultNo;
  QString title;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton;
};

TEST(QtHostBoxes, EachKindOfMessageHasItsLook) {
  test::App();
  SetApplicationTitle("Pagewright-RV615");
  const BoxCase cases[] = {
      {"a plain box carries the application title and no icon", BoxKind::Ok, Plain("Hello"), false,
       "Pagewright-RV615", QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok},
      {"an error box its caption and the error icon", BoxKind::Ok,
       Message{"Reading Fail", "Error", Icon::Error}, false, "Error", QMessageBox::Critical,
       QMessageBox::Ok, QMessageBox::Ok},
      {"a warning box the warning icon", BoxKind::Ok, Message{"W", "Warning", Icon::Warning}, false,
       "Warning", QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok},
      {"an information box the information icon", BoxKind::Ok,
       Message{"I", "Information", Icon::Information}, false, "Information",
       QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok},
      {"Retry/Cancel offers Retry first", BoxKind::RetryCancel,
       Message{"Again?", "Error", Icon::Error}, false, "Error", QMessageBox::Critical,
       QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry},
      {"Yes/No defaults to Yes", BoxKind::YesNo, Message{"Overwrite?", "Confirm", Icon::Question},
       false, "Confirm", QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
       QMessageBox::Yes},
      {"Yes/No can default to No", BoxKind::YesNo, Plain("Sure?"), true, "Pagewright-RV615",
       QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::No},
  };
  for (const BoxCase& c : cases) {
    auto box = QtHost::BuildBox(c.kind, c.message, c.defaultNo, nullptr);
    EXPECT_EQ(box->windowTitle(), c.title) << c.shows;
    EXPECT_EQ(box->text().toStdString(), c.message.text) << c.shows;
    EXPECT_EQ(box->icon(), c.icon) << c.shows;
    EXPECT_EQ(box->standardButtons(), c.buttons) << c.shows;
    ASSERT_NE(box->defaultButton(), nullptr) << c.shows;
    EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton) << c.shows;
  }
}

TEST(QtHostBoxes, TextsKeepTheirExactSpacing) {
  test::App();
  auto box = QtHost::BuildBox(BoxKind::Ok, Plain("Codeplug  has  been  Read!"), false, nullptr);
  EXPECT_EQ(box->text(), "Codeplug  has  been  Read!");
  EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

TEST(QtHostBoxes, AnswersFollowTheButtonPressed) {
  test::App();
  QtHost host;
  QMessageBox::StandardButton answer = QMessageBox::Yes;
  int shown = 0;
  host.SetBoxHook([&](QMessageBox&) {
    ++shown;
    return answer;
  });
  EXPECT_TRUE(host.AskYesNo(Plain("?"), false));
  answer = QMessageBox::No;
  EXPECT_FALSE(host.AskYesNo(Plain("?"), true));
  answer = QMessageBox::Retry;
  EXPECT_TRUE(host.AskRetryCancel(Plain("?")));
  answer = QMessageBox::Cancel;
  EXPECT_FALSE(host.AskRetryCancel(Plain("?")));
  answer = QMessageBox::NoButton; // closed with Esc
  EXPECT_FALSE(host.AskYesNo(Plain("?"), false));
  host.Show(Plain("!"));
  EXPECT_EQ(shown, 6);
}

TEST(QtHostStore, NamedTextsAndTheGaugeLiveInTheControlStore) {
  test::App();
  Controls controls;
  Control label;
  label.name = "lblFireware_Version";
  label.kind = Kind::Label;
  controls.Add(label);
  Control edit;
  edit.name = "edtChargeroff";
  edit.kind = Kind::Edit;
  controls.Add(edit);
  Control gauge;
  gauge.name = "CGauge1";
  gauge.kind = Kind::Gauge;
  controls.Add(gauge);

  QtHost host;
  int syncs = 0;
  host.Attach(&controls, nullptr, [&] { ++syncs; });
  host.SetText("lblFireware_Version", "010209");
  host.SetText("edtChargeroff", "1.23");
  host.SetText("noSuchControl", "x");
  EXPECT_EQ(controls["lblFireware_Version"].caption, "010209");
  EXPECT_EQ(controls["edtChargeroff"].text, "1.23");
  EXPECT_EQ(host.Text("lblFireware_Version"), "010209");
  EXPECT_EQ(host.Text("edtChargeroff"), "1.23");
  EXPECT_EQ(host.Text("noSuchControl"), "");

  host.SetProgress(42);
  EXPECT_EQ(host.Progress(), 42);
  EXPECT_EQ(controls["CGauge1"].itemIndex, 42);
  host.SetProgress(130);
  EXPECT_EQ(host.Progress(), 100);
  host.PumpMessages();
  EXPECT_EQ(syncs, 1) << "a pump shows the store first";
}

TEST(QtShellDialogs, FiltersAndAnswersOfTheFileDialogs) {
  test::App();
  FileDialogRequest request{"Open", "/tmp", {}, {"Tavo datafile (*.Dat)", "All files (*.*)"}};
  EXPECT_EQ(QtShell::DialogFilter(request), "Tavo datafile (*.Dat);;All files (*.*)");

  QtShell shell;
  std::vector<bool> asked;
  shell.SetFileHook([&](const FileDialogRequest& r, bool save) -> std::optional<std::string> {
    asked.push_back(save);
    if (save)
      return std::nullopt;
    return r.directory + "/a.Dat";
  });
  EXPECT_EQ(shell.AskOpenFileName(request), std::optional<std::string>("/tmp/a.Dat"));
  EXPECT_EQ(shell.AskSaveFileName(request), std::nullopt);
  EXPECT_EQ(asked, (std::vector<bool>{false, true}));
}

TEST(QtHostGauge, EveryNewValueIsPaintedAtOnceWhileTheUsersKeysWait) {
  test::App();
  QWidget window;
  auto* gauge = new QProgressBar(&window);
  gauge->setObjectName("CGauge1");
  gauge->setRange(0, 100);
  gauge->setValue(0);
  auto* edit = new QLineEdit(&window);
  edit->move(0, 40);
  ASSERT_TRUE(test::ShowActive(window));
  edit->setFocus();
  QCoreApplication::processEvents();
  Controls controls;
  Control c;
  c.name = "CGauge1";
  c.kind = Kind::Gauge;
  controls.Add(c);
  QtHost host;
  host.Attach(&controls, &window, [] {});
  test::PaintedValues painted;
  gauge->installEventFilter(&painted);

  // A key the user pressed while the pager was being read.
  QCoreApplication::postEvent(edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x"));
  for (int byte = 0; byte <= 300; ++byte)
    host.SetProgress(byte / 3);
  std::vector<int> distinct = painted.values;
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::vector<int> expected(100); // 0 is shown already
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_EQ(distinct, expected) << "each percent is painted as soon as it is set";
  EXPECT_EQ(edit->text(), "") << "the key waits for the transaction to end";
  QCoreApplication::processEvents();
  EXPECT_EQ(edit->text(), "x");
}

} // namespace
} // namespace pw::ui
