// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "ui/dialogs_model.h"

namespace pw::ui {
namespace {

class PasswordTest : public ::testing::Test {
protected:
  void TypeText(const std::string& s) {
    for (char ch : s)
      dialog.Type(ch);
  }
  const std::string& Box() const { return dialog.controls.Text("edtDownloadPassword"); }
  PasswordDialogModel dialog;
};

TEST_F(PasswordTest, ActivationEmptiesTheBoxSetsPendingAndMasks) {
  dialog.controls.SetText("edtDownloadPassword", "left over");
  dialog.FormActivate();
  EXPECT_EQ(Box(), "");
  EXPECT_TRUE(dialog.result.pending);
  EXPECT_TRUE(dialog.IsOpen());
  EXPECT_EQ(dialog.controls["edtDownloadPassword"].passwordChar, '*');
  EXPECT_EQ(dialog.controls["edtDownloadPassword"].maxLength, 10);
}

TEST_F(PasswordTest, EnterStoresTheTrimmedTextAndItsLength) {
  dialog.FormActivate();
  TypeText("  ab 12  ");
  dialog.Type('\r');
  EXPECT_EQ(dialog.result.Text(), "ab 12");
  EXPECT_EQ(dialog.result.length, 5);
  EXPECT_EQ(dialog.result.text[5], '\0');
  EXPECT_EQ(Box(), "ab 12");
  EXPECT_FALSE(dialog.result.pending);
  EXPECT_FALSE(dialog.IsOpen());
}

TEST_F(PasswordTest, KeyFilterPassesLettersDigitsSpaceAndBackspaceOnly) {
  for (char ch : std::string("09AZaz \b"))
    EXPECT_TRUE(dialog.KeyPress(ch)) << int(ch);
  for (char ch : std::string(".,-_!@*/\t"))
    EXPECT_FALSE(dialog.KeyPress(ch)) << ch;
  dialog.FormActivate();
  TypeText("a.b!c");
  EXPECT_EQ(Box(), "abc");
  dialog.Type('\b');
  EXPECT_EQ(Box(), "ab");
}

TEST_F(PasswordTest, EscKeepsThePendingFlagAndThePreviousPassword) {
  dialog.FormActivate();
  TypeText("old1");
  dialog.Type('\r');
  dialog.FormActivate();
  TypeText("new2");
  dialog.Esc2Click();
  EXPECT_FALSE(dialog.IsOpen());
  EXPECT_TRUE(dialog.result.pending);
  EXPECT_EQ(dialog.result.Text(), "old1");
  EXPECT_EQ(dialog.result.length, 4);
}

TEST_F(PasswordTest, AnEleventhCharacterCannotBeTyped) {
  dialog.FormActivate();
  TypeText("ABCDEFGHIJK");
  EXPECT_EQ(Box(), "ABCDEFGHIJ");
  dialog.Type('\r');
  EXPECT_EQ(dialog.result.length, 10);
  EXPECT_EQ(dialog.result.Text(), "ABCDEFGHIJ");
}

TEST_F(PasswordTest, AnAllBlankEntryGivesAnEmptyPassword) {
  dialog.FormActivate();
  TypeText("ab");
  dialog.Type('\r');
  dialog.FormActivate();
  TypeText("   ");
  dialog.Type('\r');
  EXPECT_EQ(dialog.result.Text(), "");
  EXPECT_EQ(dialog.result.length, 0);
  EXPECT_FALSE(dialog.result.pending);
}

class RetryTest : public ::testing::Test {
protected:
  RetryTest() {
    Control timer;
    timer.name = "Retry_Timer";
    timer.kind = Kind::Timer;
    timer.running = true;
    main.Add(timer);
  }
  Controls main;
  RetryDialogModel retry{main};
};

TEST_F(RetryTest, TimerSetsTheTimedOutFlagStopsAndCloses) {
  retry.Open();
  retry.Retry_TimerTimer();
  EXPECT_TRUE(retry.RetryTimedOut);
  EXPECT_FALSE(main["Retry_Timer"].running);
  EXPECT_FALSE(retry.IsOpen());
}

TEST_F(RetryTest, CancelClearsTheFlagStopsTheTimerAndCloses) {
  retry.RetryTimedOut = true;
  retry.Open();
  retry.btnCancelClick();
  EXPECT_FALSE(retry.RetryTimedOut);
  EXPECT_FALSE(main["Retry_Timer"].running);
  EXPECT_FALSE(retry.IsOpen());
  EXPECT_EQ(retry.controls["btnCancel"].caption, "Cancel");
  EXPECT_EQ(retry.controls["TForm1"].caption, "Retry");
}

} // namespace
} // namespace pw::ui
