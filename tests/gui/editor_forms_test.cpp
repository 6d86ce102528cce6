// SPDX-License-Identifier: GPL-3.0-or-later
// Offscreen checks of the editor, help, password and retry windows: widgets under their
// control names, events reaching the models, modal life cycle. With PAGEWRIGHT_SCREENSHOTS
// set to a folder, the editor and help windows are also saved there as pictures.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>

#include <functional>

#include "codeplug/codeplug.h"
#include "gui/gui_support.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "ui/editor_model.h"
#include "ui/forms/Editor.h"
#include "ui/forms/Help.h"
#include "ui/forms/Password.h"
#include "ui/forms/Retry.h"
#include "ui/help_texts.h"

namespace pw::test {
namespace {

using ui::Control;
using ui::Controls;

// Shows each message as a real modal box that closes itself, so the focus really leaves
// the editor while the box is up; afterwards the window behind it is activated again, as
// a window manager would.
class BoxHost : public ScriptedHost {
public:
  void Show(const Message& m) override {
    ScriptedHost::Show(m);
    QWidget* behind = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(m.caption),
                    QString::fromStdString(m.text), QMessageBox::Ok, behind);
    QTimer::singleShot(50, &box, [&box] { box.accept(); });
    box.exec();
    if (behind)
      ShowActive(*behind);
  }
};

void SaveShot(QWidget& w, const char* name) {
  const QByteArray dir = qgetenv("PAGEWRIGHT_SCREENSHOTS");
  if (dir.isEmpty())
    return;
  w.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

// Runs body once the modal window is up and active; body must close it.
void WhileModal(QWidget& w, std::function<void()> body) {
  QTimer::singleShot(0, &w, [&w, body] {
    ShowActive(w);
    body();
  });
}

// Whether a widget's text fits inside it (labels, edits, group titles, combo items).
bool ReadsFully(QWidget& form, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    QWidget* w = form.findChild<QWidget*>(QString::fromLatin1(name));
    if (!w)
      return false;
    const QFontMetrics fm(w->font());
    int need = 0, room = w->width();
    if (auto* label = qobject_cast<QLabel*>(w)) {
      need = fm.horizontalAdvance(label->text());
    } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
      need = fm.horizontalAdvance(QString(edit->maxLength() > 2 ? 16 : 2, QLatin1Char('0')));
      room -= 10; // frame and text margins
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
      need = fm.horizontalAdvance(box->title());
      room -= 8;
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
      for (int i = 0; i < combo->count(); ++i)
        need = std::max(need, fm.horizontalAdvance(combo->itemText(i)));
      room -= 28; // frame and drop-down arrow
    }
    if (need > room)
      return false;
  }
  return true;
}

// Where a window of this frame size goes when centred on area: integer halves.
QPoint CentredIn(const QRect& area, const QWidget& w) {
  const QSize outer = w.frameGeometry().size();
  return {area.left() + (area.width() - outer.width()) / 2,
          area.top() + (area.height() - outer.height()) / 2};
}

// A stand-in for the main window that the help and password windows centre on.
struct OwnerWindow : QWidget {
  OwnerWindow() {
    setGeometry(37, 21, 791, 620);
    show();
  }
};

Controls MainBoxes() {
  Controls c;
  for (int n = 1; n <= 6; ++n)
    for (const char* prefix : {"chkDefaultAlert", "chkVoice"}) {
      Control box;
      box.name = prefix + std::to_string(n);
      box.kind = ui::Kind::CheckBox;
      c.Add(box);
    }
  Control stayOn;
  stayOn.name = "chkLEDFlashforever";
  stayOn.kind = ui::Kind::CheckBox;
  c.Add(stayOn);
  return c;
}

class EditorFormTest : public ::testing::Test {
protected:
  template <class W> W* Get(const char* name) {
    return form.findChild<W*>(QString::fromLatin1(name));
  }
  std::uint8_t Byte(int set, int offset) {
    return codeplug.WorkingImage[map::AlertBlock(set) + offset];
  }

  QApplication& app = App();
  Codeplug codeplug;
  Controls main = MainBoxes();
  BoxHost host;
  ScriptedShell shell;
  ui::EditorModel model{codeplug, main, host, shell};
  TFormEditor form{model, nullptr};
};

TEST_F(EditorFormTest, WidgetsCarryTheControlNamesInTwoColumnsOfSlots) {
  EXPECT_EQ(form.size(), QSize(560, 494));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_TRUE(form.windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  for (const char* edit : {"edtSetTime", "edtSetLED1Cadence", "edtSetLED2Cadence", "edtSetRepeat"})
    EXPECT_NE(Get<QLineEdit>(edit), nullptr) << edit;
  for (const char* group : {"gpbLEDFlash", "gpbSetVoiceSegment", "gpbExtendID"})
    EXPECT_NE(Get<QGroupBox>(group), nullptr) << group;
  ASSERT_NE(Get<QComboBox>("cboSetVoiceSegment"), nullptr);
  EXPECT_EQ(Get<QComboBox>("cboSetVoiceSegment")->itemText(9), "Voice Segment#10");
  EXPECT_EQ(Get<QPushButton>("btnHelp")->text(), "F1 Help");
  EXPECT_EQ(Get<QPushButton>("btnExit")->text(), "F10 Exit");
  ASSERT_NE(Get<QLabel>("lblSetAlerttime"), nullptr);
  ASSERT_NE(Get<QLabel>("lblSetHelp"), nullptr);

  for (int j = 0; j < 16; ++j) {
    SCOPED_TRACE(j);
    const ui::SlotNames& s = ui::Slot(j);
    auto* label = Get<QLabel>(s.label.c_str());
    auto* check = Get<QCheckBox>(s.check.c_str());
    auto* combo = Get<QComboBox>(s.combo.c_str());
    ASSERT_TRUE(label && check && combo);
    EXPECT_EQ(label->text(), QStringLiteral("?") + QString::number(j, 16).toUpper());
    EXPECT_EQ(check->text(), "ON");
    EXPECT_EQ(qobject_cast<QGroupBox*>(check->parentWidget())->title(),
              QStringLiteral("Extend ID") + QString::number(j, 16).toUpper());
    EXPECT_EQ(qobject_cast<QGroupBox*>(combo->parentWidget())->title(), "Extend ID function");
    ASSERT_EQ(combo->count(), 12);
    EXPECT_EQ(combo->itemText(0), "Default Alert");
    EXPECT_EQ(combo->itemText(11), "Outrange OFF");
    // ?0-?7 down the left column, ?8-?F down the right one, same rows.
    const QPoint at = label->mapTo(&form, QPoint());
    const QPoint twin = Get<QLabel>(ui::Slot(j % 8).label.c_str())->mapTo(&form, QPoint());
    if (j >= 8) {
      EXPECT_GT(at.x(), 280);
      EXPECT_EQ(at.y(), twin.y());
    } else {
      EXPECT_LT(at.x(), 280);
    }
    // Nothing sticks out of the window.
    for (QWidget* w : {static_cast<QWidget*>(label), static_cast<QWidget*>(check),
                       static_cast<QWidget*>(combo), combo->parentWidget()}) {
      const QRect r(w->mapTo(&form, QPoint()), w->size());
      EXPECT_TRUE(form.rect().contains(r)) << w->objectName().toStdString();
    }
  }
}

TEST_F(EditorFormTest, EditingTheSetReachesTheImageAndF10Closes) {
  main.SetChecked("chkVoice2", true);
  std::vector<std::string> helpAtOpen;
  WhileModal(form, [&] {
    EXPECT_EQ(form.windowTitle(), "Set B");
    EXPECT_EQ(form.frameGeometry().topLeft(), CentredIn(form.screen()->geometry(), form));
    EXPECT_TRUE(Get<QGroupBox>("gpbExtendID")->isVisible());
    EXPECT_TRUE(Get<QGroupBox>("gpbSetVoiceSegment")->isVisible());
    SaveShot(form, "editor_set_b.png");
    EXPECT_EQ(FocusedName(), "edtSetTime");
    EXPECT_EQ(Get<QLabel>("lblSetHelp")->text(), "Enter the pager Time for Set B (Numeric, 1-99)");

    // Time 0, then Tab: one message, the field corrected and the focus back in it.
    Get<QLineEdit>("edtSetTime")->selectAll();
    Type("0x");
    EXPECT_EQ(Get<QLineEdit>("edtSetTime")->text(), "0");
    Press(Qt::Key_Tab);
    EXPECT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(Get<QLineEdit>("edtSetTime")->text(), "1");
    EXPECT_EQ(FocusedName(), "edtSetTime");

    // Slot ?5: tick it, then pick "Alert X3".
    auto* check = Get<QCheckBox>("chkExtendID5");
    auto* combo = Get<QComboBox>("cboExtendIDfunction5");
    EXPECT_FALSE(combo->isEnabled());
    check->click();
    EXPECT_TRUE(combo->isEnabled());
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(Get<QLabel>("lblSetHelp")->text(),
              "Set the pager Extend ID5 function for Set B to Alert X3");
    Press(Qt::Key_F10);
  });
  form.ShowSet(2);
  EXPECT_TRUE(ReadsFully(form, {"lblSetAlerttime"}));
  EXPECT_FALSE(model.IsOpen());
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(host.shown.size(), 1u); // F10 validated Time once more, silently
  EXPECT_EQ(Byte(2, map::kSetTime), 0);
  EXPECT_EQ(Byte(2, map::kSetExtendedIds + 5), 0x83);
}

TEST_F(EditorFormTest, F1ShowsTheSetHelpWithoutLeavingTheFieldAndF10ValidatesIt) {
  WhileModal(form, [&] {
    ASSERT_EQ(FocusedName(), "edtSetTime");
    Get<QLineEdit>("edtSetTime")->selectAll();
    Type("0");
    Press(Qt::Key_F1);
    ASSERT_EQ(shell.helpShown.size(), 1u);
    EXPECT_EQ(shell.helpShown[0], ui::EditorHelpLines());
    EXPECT_TRUE(host.shown.empty()) << "the key takes no focus: Time is not left";
    EXPECT_EQ(FocusedName(), "edtSetTime");
    Press(Qt::Key_F10);
  });
  form.ShowSet(4);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.Last()->text,
            "*** Invalid Time ***\n\nTime is out of range!\nVaild range is 1 to 99.");
  EXPECT_EQ(Byte(4, map::kSetTime), 0);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(EditorFormTest, TheLongestReadOutsFitTheirBoxes) {
  // Time 1 and Repeat 1 with LED Flash stay on: four blanks in front and "   Stay on" behind.
  codeplug.WorkingImage[map::AlertBlock(3) + map::kSetTime] = 0;
  codeplug.WorkingImage[map::AlertBlock(3) + map::kSetRepeat] = 1;
  codeplug.WorkingImage[map::AlertBlock(3) + map::kSetLed1Cadence] = 0xFF;
  codeplug.WorkingImage[map::AlertBlock(3) + map::kSetLed2Cadence + 1] = 0x00;
  main.SetChecked("chkLEDFlashforever", true);
  main.SetChecked("chkVoice3", true);
  model.Open(3);
  model.controls["cboSetVoiceSegment"].itemIndex = 9;
  WhileModal(form, [&] {
    SaveShot(form, "editor_set_c_stay_on.png");
    EXPECT_EQ(Get<QLabel>("lblSetAlerttime")->text(), "    0.08 Sec.   Stay on");
    EXPECT_FALSE(Get<QLineEdit>("edtSetRepeat")->isEnabled());
    for (const char* name :
         {"lblSetAlerttime", "edtSetLED1Cadence", "edtSetLED2Cadence", "gpbSetTime", "gpbSetRepeat",
          "gpbSetFlashtime", "gpbSetLED1Cadence", "cboSetVoiceSegment", "cboExtendIDfunction6"})
      EXPECT_TRUE(ReadsFully(form, {name})) << name;
    Press(Qt::Key_F10);
  });
  form.Execute();
}

// The cadence help lines are the longest: shown whole inside the help line, never cut.
TEST_F(EditorFormTest, TheCadenceHelpLinesShowTheirWholeText) {
  std::vector<std::string> faults;
  WhileModal(form, [&] {
    auto* help = Get<QLabel>("lblSetHelp");
    for (const char* led : {"LED1", "LED2"}) {
      QTest::mouseClick(Get<QLineEdit>((std::string("edtSet") + led + "Cadence").c_str()),
                        Qt::LeftButton);
      const QString whole =
          QStringLiteral("Enter the pager ") + led +
          " Cadence for Set F (Numeric, 0,000,000,000,000,000-1,111,111,111,111,111)";
      const QRect need = QFontMetrics(help->font())
                             .boundingRect(QRect(0, 0, help->width(), 1000),
                                           help->wordWrap() ? Qt::TextWordWrap : 0, help->text());
      if (help->text() != whole)
        faults.push_back(std::string(led) + " reads " + help->text().toStdString());
      if (need.width() > help->width() || need.height() > help->height())
        faults.push_back(std::string(led) + " needs " + std::to_string(need.width()) + "x" +
                         std::to_string(need.height()));
      if (help->font().pointSizeF() < 6 && !help->wordWrap())
        faults.push_back(std::string(led) + " is too small to read");
    }
    SaveShot(form, "editor_cadence_help.png");
    Press(Qt::Key_F10);
  });
  form.ShowSet(6);
  EXPECT_EQ(faults, std::vector<std::string>{});
}

TEST_F(EditorFormTest, CloseBoxValidatesTheLastFieldAndEscIsIgnored) {
  main.SetChecked("chkDefaultAlert1", true);
  WhileModal(form, [&] {
    EXPECT_FALSE(Get<QGroupBox>("gpbExtendID")->isVisible());
    EXPECT_FALSE(Get<QGroupBox>("gpbSetVoiceSegment")->isVisible());
    auto* cadence = Get<QLineEdit>("edtSetLED1Cadence");
    QTest::mouseClick(cadence, Qt::LeftButton);
    cadence->selectAll();
    Type("0121");
    EXPECT_EQ(cadence->text(), "011");
    Press(Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
    form.close();
  });
  form.ShowSet(1);
  EXPECT_FALSE(model.IsOpen());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.Last()->caption, "Wrong cadence pattern");
  EXPECT_EQ(Byte(1, map::kSetLed1Cadence), 0x55);
  EXPECT_EQ(Byte(1, map::kSetLed1Cadence + 1), 0x55);
}

TEST(HelpForm, ShowsTheLinesWithEmptyLinesAfterLineFeedsAndClearsOnClose) {
  App();
  TFormHelp help(nullptr);
  EXPECT_EQ(help.windowTitle(), "Help");
  EXPECT_EQ(help.size(), QSize(530, 352));
  EXPECT_EQ(help.minimumSize(), help.maximumSize());
  EXPECT_FALSE(help.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  auto* rich = help.findChild<QTextEdit*>("RichEditHelp");
  ASSERT_NE(rich, nullptr);
  EXPECT_TRUE(rich->isReadOnly());
  EXPECT_EQ(rich->font().family(), "Courier New");
  EXPECT_EQ(help.findChild<QLabel*>("lblHelp")->font().family(), "Courier New");
  EXPECT_EQ(rich->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(rich->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_NE(help.findChild<QLabel*>("lblHelp"), nullptr);

  std::vector<QString> seen;
  for (const std::vector<std::string>& lines :
       {ui::AddressTopicLines(34), ui::AddressTopicLines(34), ui::EditorHelpLines()}) {
    WhileModal(help, [&] {
      seen.push_back(help.Text());
      if (seen.size() == 1)
        SaveShot(help, "help_code.png");
      if (seen.size() == 3)
        SaveShot(help, "help_editor.png");
      Press(Qt::Key_Escape);
    });
    help.ShowLines(lines);
    EXPECT_FALSE(help.isVisible());
    EXPECT_TRUE(help.Text().isEmpty());
  }
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], seen[1]); // shown once each time, never appended twice
  EXPECT_TRUE(seen[0].startsWith("Code\nEnter the FLEX address"));
  // 17 stored lines, four of them followed by an empty line.
  EXPECT_EQ(seen[0].count(QLatin1Char('\n')), 16 + 3);

  help.Fill({"a\n", "b", "c\n\n\n", "d"});
  EXPECT_EQ(help.Text(), "a\n\nb\nc\n\n\n\nd");
}

TEST(HelpForm, ComesUpCentredOnTheMainWindow) {
  App();
  OwnerWindow owner;
  TFormHelp help(&owner);
  QPoint at;
  WhileModal(help, [&] {
    at = help.frameGeometry().topLeft();
    Press(Qt::Key_Escape);
  });
  help.ShowLines(ui::CommandTopicLines(5));
  EXPECT_EQ(at, CentredIn(owner.frameGeometry(), help));
}

TEST(PasswordForm, IsSmallFixedAndComesUpCentredOnTheMainWindow) {
  App();
  OwnerWindow owner;
  ui::PasswordDialogModel model;
  TFormPassword form(model, &owner);
  EXPECT_EQ(form.size(), QSize(187, 55));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_TRUE(form.windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  QPoint at;
  WhileModal(form, [&] {
    at = form.frameGeometry().topLeft();
    Press(Qt::Key_Escape);
  });
  form.Execute();
  EXPECT_EQ(at, CentredIn(owner.frameGeometry(), form));
}

TEST(PasswordForm, TypedPasswordIsFilteredTrimmedAndConfirmedWithEnter) {
  App();
  ui::PasswordDialogModel model;
  TFormPassword form(model, nullptr);
  EXPECT_EQ(form.windowTitle(), "Password");
  WhileModal(form, [&] {
    EXPECT_TRUE(model.result.pending);
    EXPECT_EQ(form.Edit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(form.Edit()->maxLength(), 10);
    Type(" ab.c! 9 ");
    Press(Qt::Key_Return);
  });
  form.Execute();
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(model.result.Text(), "abc 9");
  EXPECT_EQ(model.result.length, 5);
  EXPECT_FALSE(model.result.pending);

  WhileModal(form, [&] {
    EXPECT_EQ(form.Edit()->text(), "");
    Type("other");
    Press(Qt::Key_Escape);
  });
  form.Execute();
  EXPECT_TRUE(model.result.pending);
  EXPECT_EQ(model.result.Text(), "abc 9");

  WhileModal(form, [&] { form.close(); }); // the close box leaves like Esc
  form.Execute();
  EXPECT_FALSE(model.IsOpen());
  EXPECT_TRUE(model.result.pending);
}

TEST(RetryForm, CancelStopsTheTimerAndCloses) {
  App();
  Controls main;
  Control timer;
  timer.name = "Retry_Timer";
  timer.kind = ui::Kind::Timer;
  timer.running = true;
  main.Add(timer);
  ui::RetryDialogModel model(main);
  model.RetryTimedOut = true;
  model.SetCountdown("5");
  TForm1 form(model, nullptr);
  EXPECT_EQ(form.windowTitle(), "Retry");
  EXPECT_FALSE(form.windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_EQ(form.size(), QSize(251, 123));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  WhileModal(form, [&] {
    EXPECT_EQ(form.frameGeometry().topLeft(), CentredIn(form.screen()->geometry(), form));
    EXPECT_EQ(form.findChild<QLabel*>("lblSecond")->text(), "5");
    Press(Qt::Key_Escape); // no way out but Cancel
    EXPECT_TRUE(form.isVisible());
    form.findChild<QPushButton*>("btnCancel")->click();
  });
  form.Execute();
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(model.RetryTimedOut);
  EXPECT_FALSE(main["Retry_Timer"].running);
}

} // namespace
} // namespace pw::test
