// SPDX-License-Identifier: GPL-3.0-or-later
// Focus, key, mouse and click events of the fields of both pages.
#include <array>
#include <string>

#include "codeplug/memory_map.h"
#include "files/frequency.h"
#include "view_fixture.h"

namespace pw::ui::test {
namespace {

using ViewFields = ViewTest;

// ---- Key filters --------------------------------------------------------------------------

struct TypingCase {
  const char* what;
  const char* field;
  const char* keys;
  const char* shown;
};

TEST_F(ViewFields, KeyFiltersKeepOnlyTheCharactersAFieldAdmits) {
  const TypingCase cases[] = {
      {"a letter in the frequency is discarded", "edtFrequency", "12a.5", "12.5"},
      {"a 2 in a cadence is discarded", "edtCadence1", "1021", "101"},
      {"the standby cadence takes binary digits only", "edtPowerCadence", "0192", "01"},
      {"capcodes take digits only", "edtCodeA", "12a3.", "123"},
      {"backspace always passes", "edtCodeA", "12\b3", "13"},
      {"I-D steps stop at 8", "edtIncDec1", "9", ""},
      {"I-D step 8 is taken", "edtIncDec2", "8", "8"},
      {"the serial number takes letters and digits", "edtSerialNumber", "cv-A 1", "cvA1"},
      {"battery levels take a decimal point", "edtUp1", "1.2x5", "1.25"},
      {"times take digits only", "edtOutofRangeTime", "4.2", "42"},
      {"the password takes letters, digits and spaces", "edtPagerPassword", "a b!", "a b"},
      {"the display entry takes digits, dashes and spaces", "edtDisplayEntry", "1-2 a", "1-2 "},
  };
  for (const TypingCase& c : cases) {
    controls.SetText(c.field, "");
    Type(c.field, c.keys);
    EXPECT_EQ(controls.Text(c.field), c.shown) << c.what;
  }
}

TEST_F(ViewFields, TheEnterKeyNeverReachesTheEdit) {
  controls.SetText("edtTime1", "5");
  EXPECT_FALSE(view->KeyPress("edtTime1", '\r'));
  EXPECT_EQ(controls.Text("edtTime1"), "5");
  EXPECT_TRUE(view->KeyPress("chkVIB1", 'x')); // not an edit: nothing to filter
}

// ---- Help line and topics on Enter ---------------------------------------------------------

struct HelpCase {
  const char* control;
  const char* help;
  int topic;
  bool standard;
};

TEST_F(ViewFields, EnteringAFieldShowsItsHelpLineAndRecordsItsTopic) {
  const HelpCase cases[] = {
      {"chkVIB3", "Enable vibrate Alert for Code C", 37, false},
      {"edtCodeF",
       "Enter the pager Code F (Numeric, short address:0,000,001-1,933,312 and "
       "2,009,088-2,025,471, long address:002,101,249-999,999,999)",
       67, false},
      {"chkSecondAddress", "Activate the second code in the pager", 8, false},
      {"chkCapCode6", "Activate the sixth code in the pager", 68, false},
      {"chkDefaultAlert2", "Disable Default Alert in the SetB on Extend ID function visible", 25,
       false},
      {"chkVoice4", "Enable Voice in the SetD on the Voice segment visible", 50, false},
      {"edtTime4", "Enter the pager Time for Code D (Numeric, 1-99)", 52, false},
      {"edtCadence2", "Enter the pager Cadence for Code B (Numeric, 00,000,000-11,111,111)", 31,
       false},
      {"edtRepeatcount6", "Enter the pager Repeat count for Code F (Numeric, 0-99)", 76, false},
      {"btnSet5", "Press Set in the Time, LED1 Cadence, LED2 Cadence, Repeat cnt and Extend ID", 66,
       false},
      {"edtIncDec6", "Enter the I-D for Code F (Numeric, 0~8)", 85, false},
      {"edtSerialNumber", "Pager Serial Number (Read Only)", 0, false},
      {"chkAutoIncrementorDecrement", "Activate the Auto Increment/Decrement", 78, false},
      {"chkLEDFlashforever", "Enable LED Flash stay on", 86, false},
      {"chkOutofRangeIndicator",
       "The pager will beep, vibrate and/or LED flash when an out of range condition exists per "
       "the Out of Range alert settings",
       1, true},
      {"chkInvertData", "Enable inverting of incoming message data", 3, true},
      {"edtPagerPassword", "F1 Help | Enter the pager password (Alphanumeric)", 8, true},
      {"edtUp1", "Enter the pager DisCharging Green (Numeric, 1.00-1.50)", 14, true},
      {"edtLowBatteryWarning", "Enter the pager Low Battery Warging (Numeric, 1.00-1.50)", 25, true},
      {"edtBEEPFrequency", "Enter the pager BEEP Frequency (Numeric, 1000-4000)", 26, true},
      {"edtOutofRangeTimer",
       "Enter the pager Out of Range Timer for Out of Range Indicator (Numeric, 10-600)", 28, true},
      {"chkOutofRangeVoice", "Enable Voice for Out of Range Indicator", 31, true},
      {"edtOutofRangeCadence",
       "Enter the pager Cadence for Out of Range Indicator (Numeric, 00,000,000-11,111,111)", 34,
       true},
      {"chkPowerAlertVoice", "Enable Voice", 38, true},
      {"edtPowerAlertRepeatcnt", "Enter the pager Repeat count for Power On Alert (Numeric, 0-99)",
       42, true},
      {"edtPowerLEDOFF", "Enter the pager Standby Power LED OFF (Numeric, 1-100)", 44, true},
  };
  for (const HelpCase& c : cases) {
    state.AddressTopic = state.StandardTopic = state.CommandTopic = 99;
    view->Enter(c.control);
    EXPECT_EQ(Help(), c.help) << c.control;
    EXPECT_EQ(c.standard ? state.StandardTopic : state.AddressTopic, c.topic) << c.control;
    EXPECT_EQ(c.standard ? state.AddressTopic : state.StandardTopic, 99)
        << c.control << ": the other page keeps its topic";
    EXPECT_EQ(state.CommandTopic, -1) << c.control;
  }
}

TEST_F(ViewFields, RadioGroupsShowTheHelpOfTheirSelectedItem) {
  controls["rgpCapCodeAutoIncrementDecrement"].itemIndex = 1;
  view->Enter("rgpCapCodeAutoIncrementDecrement");
  EXPECT_EQ(Help(), "Set CapCode Auto Decrement, the auto an decrement of the address.");
  EXPECT_EQ(state.AddressTopic, 79);

  // A click shows the new item's text and leaves the topic alone.
  state.AddressTopic = 4;
  Choose("rgpCapCodeAutoIncrementDecrement", 0);
  EXPECT_EQ(Help(), "Set CapCode Auto Increment, the auto an increment of the address.");
  EXPECT_EQ(state.AddressTopic, 4);

  controls["rgpType"].itemIndex = 1;
  view->Enter("rgpType");
  EXPECT_EQ(Help(), "F1 Help | Set code type for Code B to group");
  EXPECT_EQ(state.AddressTopic, 13);

  controls["rgpOutofRangeTimer"].itemIndex = 2;
  view->Enter("rgpOutofRangeTimer");
  EXPECT_EQ(Help(), "F1 Help | Sets Out Of Range Timer to 15 minutes");
  EXPECT_EQ(state.StandardTopic, 9);

  controls["rgpOutofRangeTimer"].itemIndex = -1;
  view->Enter("rgpOutofRangeTimer");
  EXPECT_EQ(Help(), "F1 Help | Sets Out Of Range Timer to 15 minutes") << "no item: line kept";
}

TEST_F(ViewFields, FrequencyHelpFollowsTheBandAndRemembersTheText) {
  controls.SetText("edtFrequency", "930.5125");
  view->Enter("edtFrequency");
  EXPECT_EQ(Help(), "Enter the Frequency of the pager receiver (Numeric - 929.0000 ~ 932.0000)");
  EXPECT_EQ(state.AddressTopic, 2);
  EXPECT_EQ(view->LastGoodFrequencyText(), "930.5125");

  // Band class 2 has no sub-band 6: the previous line stays, the topic is still taken.
  codeplug.CodeplugBandFamily = kBandUhf;
  codeplug.CodeplugSubBand = 6;
  controls.SetCaption("lblHelp1", "previous line");
  state.AddressTopic = 17;
  view->Enter("edtFrequency");
  EXPECT_EQ(Help(), "previous line");
  EXPECT_EQ(state.AddressTopic, 2);
}

TEST_F(ViewFields, HiddenEditsRecordTheirTopicOnAMousePress) {
  view->Enter("edtCodeA1");
  EXPECT_EQ(state.AddressTopic, -1) << "focus alone records nothing";

  state.CommandTopic = 3;
  view->MouseDown("edtCodeB1", false);
  EXPECT_EQ(state.AddressTopic, -1);
  EXPECT_EQ(state.CommandTopic, -1) << "any button clears the command topic";
  view->MouseDown("edtCodeB1", true);
  EXPECT_EQ(state.AddressTopic, 10);

  state.CommandTopic = 3;
  view->MouseDown("edtPowerCadence", false);
  EXPECT_EQ(state.StandardTopic, -1);
  EXPECT_EQ(state.CommandTopic, 3);
  view->MouseDown("edtPowerTime", true);
  EXPECT_EQ(state.StandardTopic, 12);
  EXPECT_EQ(state.CommandTopic, -1);
  view->MouseDown("edtDisplayEntry", true);
  EXPECT_EQ(state.StandardTopic, 10);
}

// ---- Capcode edits -------------------------------------------------------------------------

TEST_F(ViewFields, EnterKeyOnAnIllegalCapcodeRepairsItAndKeepsTheFocus) {
  ShowPage(0);
  state.FocusRequest.clear();
  controls.SetText("edtCodeA", "");
  Type("edtCodeA", "1933313\r");
  ASSERT_EQ(host.Texts(), std::vector<std::string>{
                              "Address 1 is an illegal FLEX address! The nearest default will be used."});
  EXPECT_EQ(controls.Text("edtCodeA"), "1933312");
  EXPECT_EQ(state.FocusRequest, "");
  EXPECT_FALSE(view->FieldInvalid("edtCodeA")) << "the Enter key clears the flag";
  // 1,933,312 + 0x8000 stored as a short address.
  EXPECT_EQ(Byte(0x017), 0x1E);
  EXPECT_EQ(Byte(0x018), 0x00);
  EXPECT_EQ(Byte(0x019), 0x00);
}

TEST_F(ViewFields, LeavingAnIllegalCapcodeBringsTheFocusBack) {
  ShowPage(0);
  state.FocusRequest.clear();
  EnterText("edtCodeC", "0");
  EXPECT_EQ(host.Texts(), std::vector<std::string>{
                              "Address 3 is an illegal FLEX address! The nearest default will be used."});
  EXPECT_EQ(controls.Text("edtCodeC"), "0000001");
  EXPECT_EQ(state.FocusRequest, "edtCodeC");
  EXPECT_FALSE(view->FieldInvalid("edtCodeC"));

  host.Clear();
  state.FocusRequest.clear();
  EnterText("edtCodeA", "2101249");
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(controls.Text("edtCodeA"), "002101249");
  EXPECT_EQ(state.FocusRequest, "");
  EXPECT_EQ(Byte(0x015) & 0x03, 0x03) << "long address enable bits";
}

TEST_F(ViewFields, ADuplicateCapcodeIsRefusedWithTheFocusBack) {
  ShowPage(0);
  const auto before = codeplug.WorkingImage;
  state.FocusRequest.clear();
  EnterText("edtCodeB", "1234560"); // code A's address
  EXPECT_EQ(host.Texts(), std::vector<std::string>{"ERROR: Duplicate codes exists."});
  EXPECT_EQ(controls.Text("edtCodeB"), "1234560");
  EXPECT_EQ(state.FocusRequest, "edtCodeB");
  EXPECT_EQ(codeplug.WorkingImage, before);
}

TEST_F(ViewFields, CodeExitDoesNothingWhileThePageIsRefilled) {
  ShowPage(0);
  const auto before = codeplug.WorkingImage;
  state.AddressPageReady = false;
  EnterText("edtCodeA", "0");
  EnterText("edtTime1", "150");
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(controls.Text("edtCodeA"), "0");
  EXPECT_EQ(controls.Text("edtTime1"), "150");
  EXPECT_EQ(codeplug.WorkingImage, before);
}

TEST_F(ViewFields, OfTheEnterKeysOnlyTheBatteryOnesWaitForTheRefill) {
  ShowPage(1);
  const auto before = codeplug.WorkingImage;
  state.StandardPageReady = false;
  controls.SetText("edtUp1", "2");
  EXPECT_FALSE(view->KeyPress("edtUp1", '\r'));
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(controls.Text("edtUp1"), "2");
  EXPECT_EQ(codeplug.WorkingImage, before);

  // The capcode's Enter key is not held back; only leaving the edit is.
  state.AddressPageReady = false;
  controls.SetText("edtCodeA", "0");
  view->KeyPress("edtCodeA", '\r');
  EXPECT_EQ(host.Texts(), std::vector<std::string>{
                              "Address 1 is an illegal FLEX address! The nearest default will be used."});
  EXPECT_EQ(controls.Text("edtCodeA"), "0000001");
}

// ---- Other edits ---------------------------------------------------------------------------

TEST_F(ViewFields, RefusedFrequencyRestoresTheLastGoodTextAndTakesTheFocus) {
  ShowPage(0);
  view->Enter("edtFrequency");
  state.FocusRequest.clear();
  EnterText("edtFrequency", "930.5101");
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_NE(host.Texts()[0].find(") Frequency is not support by this pager."), std::string::npos);
  EXPECT_EQ(controls.Text("edtFrequency"), "930.5125");
  EXPECT_EQ(state.FocusRequest, "edtFrequency");
  EXPECT_FALSE(view->FieldInvalid("edtFrequency")) << "leaving clears the flag";

  host.Clear();
  controls.SetText("edtFrequency", "930.5");
  view->KeyPress("edtFrequency", '\r');
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(controls.Text("edtFrequency"), "930.5000");
  EXPECT_EQ(controls.Text("edtR"), RWordText(codeplug));
  EXPECT_EQ(controls.Text("edtN"), NWordText(codeplug));
}

TEST_F(ViewFields, TimeAndRepeatRefreshTheAlertTimeAndTakeTheFocusBackWhenCorrected) {
  ShowPage(0);
  state.FocusRequest.clear();
  controls.SetText("edtRepeatcount2", "1");
  EnterText("edtTime2", "5");
  EXPECT_EQ(controls["lblAlerttime2"].caption, "    0.20 Sec.");
  EXPECT_EQ(state.FocusRequest, "");

  EnterText("edtTime2", "150");
  EXPECT_EQ(controls.Text("edtTime2"), "99");
  EXPECT_EQ(Byte(0x11B + 1), 98);
  EXPECT_EQ(state.FocusRequest, "edtTime2");
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST_F(ViewFields, RangeFieldsClearTheirFlagAndTakeTheFocusBackOnLeaving) {
  ShowPage(1);
  state.FocusRequest.clear();
  EnterText("edtOutofRangeTimer", "5");
  EXPECT_EQ(controls.Text("edtOutofRangeTimer"), "10");
  EXPECT_EQ(state.FocusRequest, "edtOutofRangeTimer");
  EXPECT_FALSE(view->FieldInvalid("edtOutofRangeTimer"));

  state.FocusRequest.clear();
  EnterText("edtUp1", "2");
  EXPECT_EQ(controls.Text("edtUp1"), "1.25");
  EXPECT_EQ(state.FocusRequest, "edtUp1");

  state.FocusRequest.clear();
  EnterText("edtUp2", "1");
  EXPECT_EQ(controls.Text("edtUp2"), "1.00") << "completed, not refused";
  EXPECT_EQ(state.FocusRequest, "");
}

// ---- Check boxes ---------------------------------------------------------------------------

struct BitCase {
  const char* box;
  std::size_t offset;
  std::uint8_t mask;
};

TEST_F(ViewFields, CheckBoxesWriteTheirBitAtOnce) {
  const BitCase cases[] = {
      {"chkDefaultAlert1", 0x100, 0x10}, {"chkVIB1", 0x100, 0x08},   {"chkBEEP1", 0x100, 0x04},
      {"chkVoice1", 0x100, 0x02},        {"chkLED1", 0x100, 0x01},   {"chkDefaultAlert2", 0x11B, 0x10},
      {"chkVIB2", 0x11B, 0x08},          {"chkBEEP3", 0x136, 0x04},  {"chkVoice4", 0x151, 0x02},
      {"chkLED5", 0x16C, 0x01},          {"chkVIB6", 0x187, 0x08},   {"chkLED6", 0x187, 0x01},
      {"chkOutofRangeVIB", 0x1A2, 0x08}, {"chkOutofRangeBEEP", 0x1A2, 0x04},
      {"chkOutofRangeVoice", 0x1A2, 0x02}, {"chkOutofRangeLED", 0x1A2, 0x01},
      {"chkPowerAlertVIB", 0x1A7, 0x08}, {"chkPowerAlertBEEP", 0x1A7, 0x04},
      {"chkPowerAlertVoice", 0x1A7, 0x02}, {"chkPowerAlertLED", 0x1A7, 0x01},
      {"chkResetkey", 0x1A7, 0x10},      {"chkPowerLED", 0x221, 0x01},
      {"chkLEDFlashforever", 0x1E7, 0x04}, {"chkOutofRangeIndicator", 0x1A6, 0x80},
  };
  for (const BitCase& c : cases) {
    const std::uint8_t others = Byte(c.offset) & ~c.mask;
    controls.SetChecked(c.box, false);
    Tick(c.box);
    EXPECT_EQ(Byte(c.offset), others | c.mask) << c.box << " ticked";
    Tick(c.box);
    EXPECT_EQ(Byte(c.offset), others) << c.box << " unticked";
  }
}

TEST_F(ViewFields, CheckBoxesChangeNothingWhileTheirPageIsRefilled) {
  state.AddressPageReady = false;
  state.StandardPageReady = false;
  const auto before = codeplug.WorkingImage;
  for (const char* box : {"chkVIB1", "chkLED6", "chkCapCode3", "chkLEDFlashforever", "chkResetkey",
                          "chkOutofRangeIndicator", "chkInvertData", "chkPowerLED"})
    Tick(box);
  Choose("rgpBandOption", 1);
  EXPECT_EQ(codeplug.WorkingImage, before);
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(ViewFields, InvertDataWritesZeroOneWhenTickedAndOneOneWhenNot) {
  codeplug.At(0x098) = 0x98;
  controls.SetChecked("chkInvertData", false);
  Tick("chkInvertData");
  EXPECT_EQ(Byte(0x098), 0x99);
  EXPECT_EQ(state.StandardTopic, 3);
  EXPECT_EQ(Help(), "Enable inverting of incoming message data");
  Tick("chkInvertData");
  EXPECT_EQ(Byte(0x098), 0x9B);
}

TEST_F(ViewFields, TheIndicatorEnablesTheOutOfRangeGroup) {
  controls.SetChecked("chkOutofRangeIndicator", true);
  Tick("chkOutofRangeIndicator");
  for (const char* name : {"edtOutofRangeTimer", "chkOutofRangeVIB", "chkOutofRangeBEEP",
                           "chkOutofRangeLED", "edtOutofRangeTime", "edtOutofRangeCadence",
                           "edtOutofRangeRepeatcnt", "lblOutofRangeAlerttime"})
    EXPECT_FALSE(controls[name].enabled) << name;
  EXPECT_EQ(state.StandardTopic, 1);
  Tick("chkOutofRangeIndicator");
  EXPECT_TRUE(controls["edtOutofRangeTimer"].enabled);
}

TEST_F(ViewFields, FlashForeverTellsTheEditorAndBandOptionSetsTheNarrowBandBit) {
  int calls = 0;
  view->LedFlashForeverChanged = [&] { ++calls; };
  Tick("chkLEDFlashforever");
  EXPECT_EQ(calls, 1);

  Choose("rgpBandOption", 1);
  EXPECT_EQ(Byte(0x1EC) & 0x40, 0x40);
  Choose("rgpBandOption", 0);
  EXPECT_EQ(Byte(0x1EC) & 0x40, 0x00);
}

// ---- Code enable boxes and stepping --------------------------------------------------------

TEST_F(ViewFields, EnablingACodeSetsItsBitsAndEnablesItsRow) {
  ShowPage(0);
  ASSERT_FALSE(controls.Checked("chkCapCode3"));
  EnterText("edtCodeC", "1234576"); // home frame 105, while A, B and F sit in frame 104
  EXPECT_EQ((Byte(0x015) >> 4) & 0x03, 0x00) << "a disabled code gets no enable bits";
  Tick("chkCapCode3");
  EXPECT_EQ((Byte(0x015) >> 4) & 0x03, 0x01);
  for (const char* name : {"edtCodeC", "chkDefaultAlert3", "chkVIB3", "chkBEEP3", "chkLED3",
                           "edtTime3", "edtCadence3", "edtRepeatcount3", "btnSet3", "lblAlerttime3"})
    EXPECT_TRUE(controls[name].enabled) << name;
  EXPECT_FALSE(controls["edtIncDec3"].enabled) << "stepping is off";
  EXPECT_EQ(Help(), "Activate the third code in the pager");
  EXPECT_EQ(state.AddressTopic, 35);
  // Frames 8, 24, ... 120 and 9, 25, ... 121.
  const std::array<std::uint8_t, 32> both = {
      0x20, 0x00, 0x03, 0x00, 0x21, 0x00, 0x03, 0x00, 0x22, 0x00, 0x03, 0x00,
      0x23, 0x00, 0x03, 0x00, 0x24, 0x00, 0x03, 0x00, 0x25, 0x00, 0x03, 0x00,
      0x26, 0x00, 0x03, 0x00, 0x27, 0x00, 0x03, 0x00};
  for (std::size_t i = 0; i < both.size(); ++i) EXPECT_EQ(Byte(0x046 + i), both[i]) << i;

  Tick("chkCapCode3");
  EXPECT_EQ((Byte(0x015) >> 4) & 0x03, 0x00);
  EXPECT_FALSE(controls["edtCodeC"].enabled);
  EXPECT_FALSE(controls["btnSet3"].enabled);
  const std::array<std::uint8_t, 32> only104 = {
      0x20, 0x00, 0x01, 0x00, 0x21, 0x00, 0x01, 0x00, 0x22, 0x00, 0x01, 0x00,
      0x23, 0x00, 0x01, 0x00, 0x24, 0x00, 0x01, 0x00, 0x25, 0x00, 0x01, 0x00,
      0x26, 0x00, 0x01, 0x00, 0x27, 0x00, 0x01, 0x00};
  for (std::size_t i = 0; i < only104.size(); ++i) EXPECT_EQ(Byte(0x046 + i), only104[i]) << i;
}

TEST_F(ViewFields, EnablingADuplicateCodeLeavesItsBitsClear) {
  ShowPage(0);
  controls.SetText("edtCodeD", "1234561"); // code B's address
  state.FocusRequest.clear();
  Tick("chkCapCode4");
  EXPECT_EQ(host.Texts(), std::vector<std::string>{"ERROR: Duplicate codes exists."});
  EXPECT_EQ((Byte(0x015) >> 6) & 0x03, 0x00);
  EXPECT_EQ(state.FocusRequest, "edtCodeD");
}

TEST_F(ViewFields, SteppingBoxEnablesDirectionAndTheStepsOfEnabledCodes) {
  ShowPage(0);
  Tick("chkAutoIncrementorDecrement");
  EXPECT_TRUE(controls["rgpCapCodeAutoIncrementDecrement"].enabled);
  EXPECT_TRUE(controls["edtIncDec1"].enabled);
  EXPECT_TRUE(controls["edtIncDec2"].enabled);
  EXPECT_FALSE(controls["edtIncDec3"].enabled) << "code C is disabled";
  EXPECT_TRUE(controls["edtIncDec6"].enabled);

  Tick("chkCapCode5");
  EXPECT_TRUE(controls["edtIncDec5"].enabled) << "a code enabled while stepping is on";

  Tick("chkAutoIncrementorDecrement");
  EXPECT_FALSE(controls["rgpCapCodeAutoIncrementDecrement"].enabled);
  EXPECT_FALSE(controls["edtIncDec1"].enabled);
  EXPECT_FALSE(controls["edtIncDec5"].enabled);
}

} // namespace
} // namespace pw::ui::test
