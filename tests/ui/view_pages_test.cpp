// SPDX-License-Identifier: GPL-3.0-or-later
// Refilling the pages from the image, validating the pending field before a command, and
// stepping the capcodes after a programmed pager.
#include <string>
#include <vector>

#include "codeplug/memory_map.h"
#include "files/frequency.h"
#include "view_fixture.h"

namespace pw::ui::test {
namespace {

using ViewPages = ViewTest;

constexpr const char* kIndicatorHelp =
    "The pager will beep, vibrate and/or LED flash when an out of range condition exists per "
    "the Out of Range alert settings";

// ---- Page refills --------------------------------------------------------------------------

TEST_F(ViewPages, AddressPageRefillSetsTopicHelpAndFocus) {
  state.AddressTopic = 17;
  state.StandardTopic = 5;
  state.CommandTopic = 2;
  ShowPage(0);
  EXPECT_EQ(Help(), "Enter the Frequency of the pager receiver (Numeric - 929.0000 ~ 932.0000)");
  EXPECT_EQ(state.AddressTopic, 2);
  EXPECT_EQ(state.StandardTopic, -1);
  EXPECT_EQ(state.CommandTopic, -1);
  EXPECT_EQ(state.FocusRequest, "edtFrequency");
  EXPECT_TRUE(state.AddressPageReady);
}

TEST_F(ViewPages, StandardPageRefillSetsTopicHelpAndFocus) {
  state.AddressTopic = 17;
  ShowPage(1);
  EXPECT_EQ(Help(), kIndicatorHelp);
  EXPECT_EQ(state.StandardTopic, 1);
  EXPECT_EQ(state.AddressTopic, 17) << "cleared by the page tabs taking the focus, not here";
  EXPECT_EQ(state.FocusRequest, "chkOutofRangeIndicator");
  EXPECT_TRUE(state.StandardPageReady);
}

TEST_F(ViewPages, AddressPageShowsTheDefaultCodeplug) {
  ShowPage(0);
  EXPECT_EQ(controls.Text("edtFrequency"), "930.5125");
  EXPECT_EQ(view->LastGoodFrequencyText(), "930.5125");
  EXPECT_EQ(controls.Text("edtR"), "040011");
  EXPECT_EQ(controls.Text("edtN"), "8A5C80");
  const char* codes[] = {"1234560", "1234561", "1234562", "1234563", "1234564", "1234565"};
  const bool enabled[] = {true, true, false, false, false, true};
  for (int k = 1; k <= 6; ++k) {
    const CodeRowNames& r = CodeRows()[k - 1];
    EXPECT_EQ(controls.Text(r.code), codes[k - 1]) << k;
    EXPECT_EQ(controls.Checked(r.enable), enabled[k - 1]) << k;
    EXPECT_EQ(controls[r.code].enabled, enabled[k - 1]) << k;
    EXPECT_EQ(controls[r.vib].enabled, enabled[k - 1]) << k;
  }
  // Blocks A-E: flags 1D, time byte 0x18, cadence 0x55, repeat 4; block F: 14, 2, FF, 1.
  EXPECT_TRUE(controls.Checked("chkDefaultAlert1"));
  EXPECT_TRUE(controls.Checked("chkVIB1"));
  EXPECT_TRUE(controls.Checked("chkBEEP1"));
  EXPECT_FALSE(controls.Checked("chkVoice1"));
  EXPECT_TRUE(controls.Checked("chkLED1"));
  EXPECT_EQ(controls.Text("edtTime1"), "25");
  EXPECT_EQ(controls.Text("edtCadence1"), "01010101");
  EXPECT_EQ(controls.Text("edtRepeatcount1"), "4");
  EXPECT_EQ(controls["lblAlerttime1"].caption, "    4.00 Sec.");
  EXPECT_FALSE(controls.Checked("chkVIB6"));
  EXPECT_TRUE(controls.Checked("chkBEEP6"));
  EXPECT_EQ(controls.Text("edtTime6"), "3");
  EXPECT_EQ(controls.Text("edtCadence6"), "11111111");
  EXPECT_EQ(controls.Text("edtRepeatcount6"), "1");
}

TEST_F(ViewPages, RefillingTheDefaultCodeplugWritesNothing) {
  const auto before = codeplug.WorkingImage;
  ShowPage(0);
  ShowPage(1);
  EXPECT_EQ(codeplug.WorkingImage, before);
}

TEST_F(ViewPages, ClicksDuringARefillWriteNothing) {
  // The window's projection would forward clicks of boxes the refill ticks; they must be inert.
  int clicks = 0;
  view->LedFlashForeverChanged = [&] {
    if (!state.AddressPageReady) {
      for (const char* box : {"chkVIB2", "chkCapCode4", "chkLEDFlashforever"}) Tick(box);
      ++clicks;
    }
  };
  codeplug.At(0x1E7) |= 0x04;
  const auto before = codeplug.WorkingImage;
  ShowPage(0);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(codeplug.WorkingImage, before);
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(ViewPages, DisabledCodeIsShownGreyedWithItsStepDisabled) {
  codeplug.At(0x015) = 0x05; // A and B enabled, C and D disabled
  controls.SetChecked("chkAutoIncrementorDecrement", true);
  ShowPage(0);
  EXPECT_EQ(controls.Text("edtCodeC"), "1234562");
  EXPECT_FALSE(controls["edtCodeC"].enabled);
  EXPECT_FALSE(controls["edtTime3"].enabled);
  EXPECT_FALSE(controls["edtIncDec3"].enabled);
  EXPECT_TRUE(controls["edtIncDec1"].enabled);
}

TEST_F(ViewPages, BlankDisabledCodeShowsItsNumberAndIsRepaired) {
  for (std::size_t i = 0; i < 3; ++i) codeplug.At(0x02F + i) = 0xFF; // code D, first word
  ShowPage(0);
  EXPECT_EQ(controls.Text("edtCodeD"), "0000004");
  const std::uint8_t word1[] = {0x00, 0x80, 0x04};
  const std::uint8_t word2[] = {0x00, 0x00, 0x00};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Byte(0x02F + i), word1[i]) << i;
    EXPECT_EQ(Byte(0x033 + i), word2[i]) << i;
  }
}

TEST_F(ViewPages, BlankEnabledCodeIsRepairedInsteadOfShowingANegativeAddress) {
  for (std::size_t i = 0; i < 3; ++i) codeplug.At(map::AddressWord1(1) + i) = 0x00; // code A
  ShowPage(0);
  EXPECT_TRUE(controls.Checked("chkCapCode1"));
  EXPECT_EQ(controls.Text("edtCodeA"), "0000001");
  EXPECT_EQ(Byte(map::AddressWord1(1) + 1), 0x80);
  EXPECT_EQ(Byte(map::AddressWord1(1) + 2), 0x01);
}

TEST_F(ViewPages, VhfCodeplugWithoutSubBandTakesItFromItsFrequency) {
  std::uint8_t& band = codeplug.At(0x1EC);
  band = std::uint8_t((band & ~0x3E) | 0x02); // VHF, no sub-band
  codeplug.CodeplugBandFamily = kBandVhf;
  codeplug.CodeplugSubBand = 0;
  codeplug.At(0x00A) = 0;
  codeplug.At(0x00B) = 0;
  codeplug.NormalizeRfOptions();
  FrequencyField field;
  std::string text = "150";
  Messages out;
  ASSERT_TRUE(ValidateFrequency(codeplug, field, text, out).stored);

  ShowPage(0);
  EXPECT_EQ((Byte(0x1EC) >> 3) & 0x07, 1);
  EXPECT_EQ(codeplug.CodeplugSubBand, 1);
  EXPECT_EQ(controls.Text("edtFrequency"), "150.0000");
  EXPECT_EQ(Help(), "Enter the Frequency of the pager receiver (Numeric - 143.0000 ~ 152.9999)");
}

TEST_F(ViewPages, BandOptionAndFlashForeverFollowTheImage) {
  codeplug.At(0x1EC) |= 0x40;
  codeplug.At(0x1E7) |= 0x04;
  int calls = 0;
  view->LedFlashForeverChanged = [&] { ++calls; };
  ShowPage(0);
  EXPECT_EQ(controls["rgpBandOption"].itemIndex, 1);
  EXPECT_TRUE(controls.Checked("chkLEDFlashforever"));
  EXPECT_EQ(calls, 1);
}

TEST_F(ViewPages, StandardPageShowsTheStandardBlock) {
  codeplug.At(0x098) = 0x01;
  codeplug.At(0x1A2) = 0x0A;             // VIB and Voice
  codeplug.At(0x1A3) = 4;                // Time 5
  codeplug.At(0x1A4) = 0xF0;
  codeplug.At(0x1A5) = 1;
  codeplug.At(0x1A6) = 0x80 | 12;        // indicator on, timer 12
  codeplug.At(0x1E7) |= 0x08;            // counted in 5-second steps
  codeplug.At(0x1A7) = 0x15;             // reset key, BEEP, LED
  codeplug.At(0x1AF) = 105;              // edtUp1 1.25
  codeplug.At(0x1B7) = 105;              // edtChargeroff ...
  codeplug.At(0x1E8) = 80;               // ... replaced by its fine byte: 1.30
  codeplug.At(0x1BB) = 47;               // 2728 Hz
  ShowPage(1);
  EXPECT_TRUE(controls.Checked("chkInvertData"));
  EXPECT_EQ(controls.Text("edtUp1"), "1.25");
  EXPECT_EQ(controls.Text("edtChargeroff"), "1.30");
  EXPECT_TRUE(controls.Checked("chkOutofRangeIndicator"));
  EXPECT_EQ(controls.Text("edtOutofRangeTimer"), "60");
  EXPECT_TRUE(controls["edtOutofRangeTimer"].enabled);
  EXPECT_TRUE(controls["lblOutofRangeAlerttime"].enabled);
  EXPECT_TRUE(controls.Checked("chkOutofRangeVIB"));
  EXPECT_FALSE(controls.Checked("chkOutofRangeBEEP"));
  EXPECT_TRUE(controls.Checked("chkOutofRangeVoice"));
  EXPECT_EQ(controls.Text("edtOutofRangeTime"), "5");
  EXPECT_EQ(controls.Text("edtOutofRangeCadence"), "11110000");
  EXPECT_EQ(controls.Text("edtOutofRangeRepeatcnt"), "1");
  EXPECT_EQ(controls["lblOutofRangeAlerttime"].caption, "    0.20 Sec.");
  EXPECT_TRUE(controls.Checked("chkResetkey"));
  EXPECT_TRUE(controls.Checked("chkPowerAlertBEEP"));
  EXPECT_TRUE(controls.Checked("chkPowerAlertLED"));
  EXPECT_FALSE(controls.Checked("chkPowerAlertVIB"));
  EXPECT_EQ(controls.Text("edtBEEPFrequency"), "2728");
  EXPECT_EQ(controls.Text("edtPowerLEDON"), "5");
  EXPECT_EQ(controls.Text("edtPowerLEDOFF"), "35");

  codeplug.At(0x1A6) = 12; // indicator off: the group is greyed
  ShowPage(1);
  EXPECT_FALSE(controls.Checked("chkOutofRangeIndicator"));
  for (const char* name : {"edtOutofRangeTimer", "chkOutofRangeVIB", "chkOutofRangeBEEP",
                           "chkOutofRangeLED", "edtOutofRangeTime", "edtOutofRangeCadence",
                           "edtOutofRangeRepeatcnt", "lblOutofRangeAlerttime"})
    EXPECT_FALSE(controls[name].enabled) << name;
}

TEST_F(ViewPages, StandardRefillWritesOnlyTheLedTimesOutOfRange) {
  codeplug.LedStayOnCapable = false;
  codeplug.At(0x1AB) = 0xFF; // on time far beyond 3 s
  codeplug.At(0x1AC) = 0xFF;
  auto expected = codeplug.WorkingImage;
  // 4092 ticks per second while the pager cannot keep the LED on: 5 -> 07 FE.
  expected[0x1AB] = 0x07;
  expected[0x1AC] = 0xFE;
  ShowPage(1);
  EXPECT_EQ(controls.Text("edtPowerLEDON"), "5");
  EXPECT_EQ(controls.Text("edtPowerLEDOFF"), "1") << "02 0D is 0.1 s on this time base";
  EXPECT_EQ(codeplug.WorkingImage, expected);
}

// ---- Pending field before a command --------------------------------------------------------

TEST_F(ViewPages, PendingDuplicateCapcodeAbandonsTheCommand) {
  ShowPage(0);
  view->Enter("edtCodeB");
  controls.SetText("edtCodeB", "1234560");
  EXPECT_FALSE(view->ValidatePendingField());
  EXPECT_EQ(host.Texts(), std::vector<std::string>{"ERROR: Duplicate codes exists."});
  EXPECT_EQ(state.FocusRequest, "edtCodeB");
}

TEST_F(ViewPages, PendingIllegalCapcodeIsRepairedAndAbandonsTheCommand) {
  ShowPage(0);
  view->Enter("edtCodeA");
  controls.SetText("edtCodeA", "0");
  EXPECT_FALSE(view->ValidatePendingField());
  EXPECT_EQ(controls.Text("edtCodeA"), "0000001");
  EXPECT_FALSE(view->FieldInvalid("edtCodeA"));

  host.Clear();
  EXPECT_TRUE(view->ValidatePendingField()) << "repaired value now legal";
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(ViewPages, PendingShortCadenceTakesTheFocusAndAbandonsTheCommand) {
  ShowPage(1);
  view->Enter("edtOutofRangeCadence");
  controls.SetText("edtOutofRangeCadence", "0101");
  state.FocusRequest.clear();
  EXPECT_FALSE(view->ValidatePendingField());
  EXPECT_EQ(state.FocusRequest, "edtOutofRangeCadence");
  EXPECT_EQ(controls.Text("edtOutofRangeCadence"), "01010101");
  EXPECT_EQ(Byte(0x1A4), 0x55);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].message.caption, "Wrong cadence pattern");
}

TEST_F(ViewPages, PendingCorrectedFieldsLetTheCommandGoOn) {
  ShowPage(0);
  view->Enter("edtTime1");
  controls.SetText("edtTime1", "150");
  EXPECT_TRUE(view->ValidatePendingField());
  EXPECT_EQ(controls.Text("edtTime1"), "99");
  EXPECT_EQ(Byte(0x101), 98);
  EXPECT_EQ(host.shown.size(), 1u);

  ShowPage(1);
  view->Enter("edtUp3");
  controls.SetText("edtUp3", "0.99");
  EXPECT_TRUE(view->ValidatePendingField());
  EXPECT_EQ(controls.Text("edtUp3"), "1.25");

  ShowPage(0);
  view->Enter("edtFrequency");
  controls.SetText("edtFrequency", "930.5101");
  EXPECT_TRUE(view->ValidatePendingField()) << "refused and restored";
  EXPECT_EQ(controls.Text("edtFrequency"), "930.5125");
}

TEST_F(ViewPages, PendingSerialNumberRefusalAbandonsTheCommandOnce) {
  ShowPage(0);
  view->Enter("edtSerialNumber");
  controls.SetText("edtSerialNumber", "CVAFAB1234");
  EXPECT_FALSE(view->ValidatePendingField());
  EXPECT_FALSE(view->FieldInvalid("edtSerialNumber")) << "the refusal is reported once";
  controls.SetText("edtSerialNumber", "cvafabc123");
  EXPECT_TRUE(view->ValidatePendingField());
  EXPECT_EQ(controls.Text("edtSerialNumber"), "CVAFABC123");
  EXPECT_EQ(Byte(0x1ED), 'C');
}

TEST_F(ViewPages, PendingSerialNumberCountsOnlyItsLatestValidation) {
  ShowPage(0);
  view->Enter("edtSerialNumber");
  controls.SetText("edtSerialNumber", "CVAFAB1234");
  view->KeyPress("edtSerialNumber", '\r');
  ASSERT_TRUE(view->FieldInvalid("edtSerialNumber")) << "the Enter key keeps the refusal";
  controls.SetText("edtSerialNumber", "CVAFABC123");
  view->KeyPress("edtSerialNumber", '\r');
  EXPECT_TRUE(view->ValidatePendingField()) << "the corrected number lets the command run";
  EXPECT_FALSE(view->FieldInvalid("edtSerialNumber"));
}

TEST_F(ViewPages, PendingFieldOfTheActivePageOnlyAndStepEdits) {
  ShowPage(0);
  view->Enter("edtCodeA");
  controls.SetText("edtCodeA", "0");
  state.ActivePage = 1;
  state.StandardTopic = -1;
  EXPECT_TRUE(view->ValidatePendingField());
  EXPECT_TRUE(host.shown.empty());

  state.StandardTopic = 3; // a check box: nothing to validate
  EXPECT_TRUE(view->ValidatePendingField());

  state.ActivePage = 0;
  view->Enter("edtIncDec2");
  controls.SetText("edtIncDec2", "");
  EXPECT_TRUE(view->ValidatePendingField());
  EXPECT_EQ(controls.Text("edtIncDec2"), "0");
  controls.SetText("edtIncDec2", "4");
  EXPECT_TRUE(view->ValidatePendingField());
  EXPECT_EQ(view->Step(2), 4);
}

// ---- Automatic stepping --------------------------------------------------------------------

TEST_F(ViewPages, SteppingMovesEveryEnabledCodeByItsStep) {
  ShowPage(0);
  EnterText("edtIncDec1", "2");
  EnterText("edtIncDec2", "3");
  EnterText("edtIncDec6", "0");
  view->AutoStepCodes();
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(controls.Text("edtCodeA"), "1234562");
  EXPECT_EQ(controls.Text("edtCodeB"), "1234564");
  EXPECT_EQ(controls.Text("edtCodeC"), "1234562") << "disabled codes take no part";
  EXPECT_EQ(controls.Text("edtCodeF"), "1234565");
  // 1234564 + 0x8000 = 0x135684.
  EXPECT_EQ(Byte(0x01F), 0x13);
  EXPECT_EQ(Byte(0x020), 0x56);
  EXPECT_EQ(Byte(0x021), 0x84);
}

TEST_F(ViewPages, SteppingBelowTheFirstAddressIsReplacedWithOneMessage) {
  ShowPage(0);
  EnterText("edtCodeA", "1");
  EnterText("edtIncDec1", "3");
  Choose("rgpCapCodeAutoIncrementDecrement", 1);
  host.Clear();
  view->AutoStepCodes();
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.Texts()[0],
            "\nAddress 1(-2) is an illegal FLEX address! The nearest default(1) will be used.");
  EXPECT_EQ(controls.Text("edtCodeA"), "0000001");
}

TEST_F(ViewPages, SteppedDuplicatesChangeNothing) {
  ShowPage(0);
  EnterText("edtCodeA", "100");
  EnterText("edtCodeB", "101");
  EnterText("edtIncDec1", "1");
  const auto before = codeplug.WorkingImage;
  host.Clear();
  view->AutoStepCodes();
  EXPECT_EQ(host.Texts(),
            std::vector<std::string>{"ERROR: Duplicate codes exists. It will be reset to correct value."});
  EXPECT_EQ(controls.Text("edtCodeA"), "0000100");
  EXPECT_EQ(controls.Text("edtCodeB"), "0000101");
  EXPECT_EQ(codeplug.WorkingImage, before);
}

} // namespace
} // namespace pw::ui::test
