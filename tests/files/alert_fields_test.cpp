// SPDX-License-Identifier: GPL-3.0-or-later
// The alert pattern and power fields: range corrections with their messages, the encodings in
// the image, what the boxes show, and the alert-time read-out.
#include <gtest/gtest.h>

#include "codeplug/codeplug.h"
#include "files/alert_fields.h"

namespace pw {
namespace {

const std::string kTimeMessage = "*** Invalid Time ***\n\nTime is out of range!\nVaild range is 1 to 99.";
const std::string kRepeatMessage =
    "*** Invalid Repeat count ***\n\nRepeat count is out of range!\nVaild range is 0 to 99.";
const std::string kBatteryRange = "*** Invalid value ***\nValue was out of range!\nIt willbe reset to 1.25";
const std::string kBatteryForm = "*** Invalid value ***\nValue was out of range!\nIt will be reset to 1.25";

struct Entry {
  bool accepted;
  std::string text;
  Messages out;
};

template <typename Rule>
Entry Enter(std::string text, Rule rule) {
  Entry e;
  e.text = std::move(text);
  e.accepted = rule(e.text, e.out);
  return e;
}

// ---- Alert patterns ---------------------------------------------------------------------------

TEST(AlertOffsets, EveryAlertOwnsItsThreeBytes) {
  for (int k = 1; k <= 6; ++k) {
    AlertOffsets at;
    ASSERT_TRUE(AlertOffsetsFor(k, at));
    EXPECT_EQ(at.time, map::AlertBlock(k) + 1);
    EXPECT_EQ(at.cadence, map::AlertBlock(k) + 2);
    EXPECT_EQ(at.repeat, map::AlertBlock(k) + 3);
  }
  AlertOffsets at;
  ASSERT_TRUE(AlertOffsetsFor(kOutOfRangeAlert, at));
  EXPECT_EQ(at.time, map::kOutOfRangeTime);
  EXPECT_EQ(at.repeat, map::kOutOfRangeRepeat);
  ASSERT_TRUE(AlertOffsetsFor(kPowerOnAlert, at));
  EXPECT_EQ(at.cadence, map::kPowerAlertCadence);
  EXPECT_FALSE(AlertOffsetsFor(0, at));
  EXPECT_FALSE(AlertOffsetsFor(9, at));
}

TEST(ValidateAlertTime, OutOfRangeTimesClampWithTheMessage) {
  struct Case {
    const char* typed;
    const char* shown;
    std::uint8_t stored;
    bool accepted;
  };
  const Case cases[] = {
      {"0", "1", 0, false}, {"", "1", 0, false}, {"150", "99", 98, false}, {"100", "99", 98, false},
      {"1", "1", 0, true},  {"25", "25", 24, true}, {"99", "99", 98, true},
  };
  for (int alert : {1, 6, kOutOfRangeAlert, kPowerOnAlert}) {
    for (const Case& c : cases) {
      Codeplug cp;
      AlertOffsets at;
      AlertOffsetsFor(alert, at);
      const Entry e = Enter(c.typed, [&](std::string& t, Messages& o) { return ValidateAlertTime(cp, alert, t, o); });
      EXPECT_EQ(e.accepted, c.accepted) << alert << " " << c.typed;
      EXPECT_EQ(e.text, c.shown) << alert << " " << c.typed;
      EXPECT_EQ(cp.WorkingImage[at.time], c.stored) << alert << " " << c.typed;
      EXPECT_EQ(e.out, c.accepted ? Messages{} : Messages{Plain(kTimeMessage)}) << alert << " " << c.typed;
      EXPECT_EQ(AlertTimeShown(cp, alert), c.shown) << alert;
    }
  }
}

TEST(ValidateAlertRepeat, LargeCountsClampAndEmptyBecomesZeroSilently) {
  struct Case {
    const char* typed;
    const char* shown;
    std::uint8_t stored;
    bool accepted;
    bool message;
  };
  const Case cases[] = {
      {"250", "99", 99, false, true}, {"100", "99", 99, false, true}, {"", "0", 0, true, false},
      {"0", "0", 0, true, false},     {"99", "99", 99, true, false},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    const Entry e = Enter(c.typed, [&](std::string& t, Messages& o) { return ValidateAlertRepeat(cp, 2, t, o); });
    EXPECT_EQ(e.accepted, c.accepted) << c.typed;
    EXPECT_EQ(e.text, c.shown) << c.typed;
    EXPECT_EQ(cp.WorkingImage[map::AlertBlock(2) + map::kBlockRepeat], c.stored) << c.typed;
    EXPECT_EQ(e.out, c.message ? Messages{Plain(kRepeatMessage)} : Messages{}) << c.typed;
  }
}

TEST(ValidateAlertCadence, EightDigitsStoreShortEntriesReset) {
  Codeplug cp;
  Entry e = Enter("11110000", [&](std::string& t, Messages& o) { return ValidateAlertCadence(cp, kOutOfRangeAlert, t, o); });
  EXPECT_TRUE(e.accepted);
  EXPECT_EQ(cp.WorkingImage[map::kOutOfRangeCadence], 0xF0);
  EXPECT_EQ(AlertCadenceShown(cp, kOutOfRangeAlert), "11110000");

  e = Enter("100000011", [&](std::string& t, Messages& o) { return ValidateAlertCadence(cp, 1, t, o); });
  EXPECT_TRUE(e.accepted);
  EXPECT_EQ(cp.WorkingImage[map::AlertBlock(1) + map::kBlockCadence], 0x81); // first eight only

  e = Enter("1010", [&](std::string& t, Messages& o) { return ValidateAlertCadence(cp, 1, t, o); });
  EXPECT_FALSE(e.accepted);
  EXPECT_EQ(e.text, "01010101");
  EXPECT_EQ(cp.WorkingImage[map::AlertBlock(1) + map::kBlockCadence], 0x55);
  EXPECT_EQ(e.out, (Messages{Message{"Cadence must be a 8 digits binary NO.\nIt will be reset to 01010101",
                                     "Wrong cadence pattern", Icon::Error}}));
}

// ---- Alert-time read-out ----------------------------------------------------------------------

TEST(AlertTimeText, HundredthsWithLeadingBlanksBelowTenAndHundredSeconds) {
  struct Case {
    int time, steps, repeat;
    const char* text;
  };
  const Case cases[] = {
      {5, 8, 1, "    0.20 Sec."},   {99, 8, 99, "392.04 Sec."}, {99, 16, 99, "784.08 Sec."},
      {25, 8, 4, "    4.00 Sec."},  {99, 8, 13, "  51.48 Sec."}, {1, 8, 0, "    0.00 Sec."},
      {3, 8, 1, "    0.12 Sec."},   {50, 8, 50, "100.00 Sec."},  {25, 8, 5, "    5.00 Sec."},
      {5, 8, 50, "  10.00 Sec."},
  };
  for (const Case& c : cases) EXPECT_EQ(AlertTimeText(c.time, c.steps, c.repeat), c.text) << c.time << "/" << c.repeat;
}

TEST(ShowAlertTime, EditorSetCountsSixteenStepsAndMayStayOn) {
  EXPECT_EQ(ShowAlertTime(kEditorSetAlert, "99", "99", false), "784.08 Sec.");
  EXPECT_EQ(ShowAlertTime(kEditorSetAlert, "5", "1", true), "    0.40 Sec.   Stay on");
  EXPECT_EQ(ShowAlertTime(3, "5", "1", true), "    0.20 Sec."); // only the set stays on
  EXPECT_EQ(ShowAlertTime(kPowerOnAlert, "", "4", false), "    0.00 Sec.");
}

// ---- Standby power ----------------------------------------------------------------------------

TEST(StandbyPower, TimeClampsToOneAndTwoFiftyCadenceIsNotReset) {
  const std::string message = "*** Invalid Time ***\n\nTime is out of range!\nVaild range is 1 to 250.";
  Codeplug cp;
  Entry e = Enter("0", [&](std::string& t, Messages& o) { return ValidateStandbyTime(cp, t, o); });
  EXPECT_FALSE(e.accepted);
  EXPECT_EQ(e.text, "1");
  EXPECT_EQ(cp.WorkingImage[map::kStandbyTime], 1);
  EXPECT_EQ(e.out, Messages{Plain(message)});

  e = Enter("251", [&](std::string& t, Messages& o) { return ValidateStandbyTime(cp, t, o); });
  EXPECT_EQ(e.text, "250");
  EXPECT_EQ(StandbyTimeShown(cp), "250");

  e = Enter("250", [&](std::string& t, Messages& o) { return ValidateStandbyTime(cp, t, o); });
  EXPECT_TRUE(e.accepted);
  EXPECT_TRUE(e.out.empty());

  cp.At(map::kStandbyCadence) = 0x33;
  e = Enter("101", [&](std::string& t, Messages& o) { return ValidateStandbyCadence(cp, t, o); });
  EXPECT_FALSE(e.accepted);
  EXPECT_EQ(e.text, "101");
  EXPECT_EQ(cp.WorkingImage[map::kStandbyCadence], 0x33);
  EXPECT_EQ(e.out, (Messages{Message{"Cadence must be a 8 digits binary NO.", "Wrong cadence pattern", Icon::Error}}));

  e = Enter("00001111", [&](std::string& t, Messages& o) { return ValidateStandbyCadence(cp, t, o); });
  EXPECT_TRUE(e.accepted);
  EXPECT_EQ(StandbyCadenceShown(cp), "00001111");
}

TEST(ValidatePowerLed, WordsOnBothTimeBasesAndClampedValues) {
  const std::string onMessage =
      "         *** Invalid Standby Power LED ON ***\nStandby Power LED ON  is out of range!\n"
      "       The vaild range is 1 to 30.";
  const std::string offMessage =
      "         *** Invalid Standby Power LED OFF ***\nStandby Power LED OFF  is out of range!\n"
      "       The vaild range is 1 to 100.";
  struct Case {
    PowerLed which;
    bool stayOn;
    const char* typed;
    const char* shown;
    std::uint16_t word;
    const std::string* message;
  };
  const Case cases[] = {
      {PowerLed::On, true, "5", "5", 75, nullptr},
      {PowerLed::On, false, "5", "5", 2046, nullptr},
      {PowerLed::On, false, "1", "1", 409, nullptr},
      {PowerLed::On, false, "3", "3", 1228, nullptr}, // 1227.6 rounds up
      {PowerLed::On, true, "31", "30", 450, &onMessage},
      {PowerLed::On, true, "", "1", 15, &onMessage},
      {PowerLed::Off, false, "35", "35", 14322, nullptr},
      {PowerLed::Off, true, "100", "100", 1500, nullptr},
      {PowerLed::Off, true, "0", "1", 15, &offMessage},
      {PowerLed::Off, false, "101", "100", 40920, &offMessage},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    cp.LedStayOnCapable = c.stayOn;
    const Entry e = Enter(c.typed, [&](std::string& t, Messages& o) { return ValidatePowerLed(cp, c.which, t, o); });
    const std::uint16_t offset = c.which == PowerLed::On ? map::kPowerLedOn : map::kPowerLedOff;
    EXPECT_EQ(e.accepted, c.message == nullptr) << c.typed;
    EXPECT_EQ(e.text, c.shown) << c.typed;
    EXPECT_EQ(cp.Word16(offset), c.word) << c.typed;
    EXPECT_EQ(e.out, c.message ? Messages{Plain(*c.message)} : Messages{}) << c.typed;
    EXPECT_EQ(ShowPowerLed(cp, c.which), c.shown) << c.typed;
  }
}

TEST(ShowPowerLed, WordsOutsideTheRangeResetToTheDefaultsOfTheTimeBase) {
  struct Case {
    PowerLed which;
    bool stayOn;
    std::uint16_t word;
    const char* shown;
    std::uint16_t after;
  };
  const Case cases[] = {
      {PowerLed::On, true, 0, "5", 0x004B},       {PowerLed::On, false, 0, "5", 0x07FE},
      {PowerLed::Off, true, 0xFFFF, "35", 0x020D}, {PowerLed::Off, false, 0xFFFF, "35", 0x37F2},
      {PowerLed::On, false, 0x004B, "5", 0x07FE}, // a stay-on word read on the other base
      {PowerLed::On, true, 0x07FE, "5", 0x004B},
      {PowerLed::On, false, 4500, "11", 4500},    // 10.997 tenths round to 11
  };
  for (const Case& c : cases) {
    Codeplug cp;
    cp.LedStayOnCapable = c.stayOn;
    const std::uint16_t offset = c.which == PowerLed::On ? map::kPowerLedOn : map::kPowerLedOff;
    cp.SetWord16(offset, c.word);
    EXPECT_EQ(ShowPowerLed(cp, c.which), c.shown) << c.word;
    EXPECT_EQ(cp.Word16(offset), c.after) << c.word;
  }
}

// ---- Out-of-range timer -----------------------------------------------------------------------

TEST(ValidateOutOfRangeTimer, FiveSecondStepsKeepTheIndicatorBit) {
  const std::string message =
      "         *** Invalid Out of Range Timer ***\nOut of Range Timer  is out of range!\n"
      "       The vaild range is 10 to 600.";
  struct Case {
    const char* typed;
    const char* shown;
    std::uint8_t bits;
    bool accepted;
  };
  const Case cases[] = {
      {"33", "30", 6, true},    {"5", "10", 2, false},  {"700", "600", 120, false},
      {"", "10", 2, false},     {"600", "600", 120, true}, {"10", "10", 2, true},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    cp.At(map::kOutOfRangeTimer) = map::kOutOfRangeIndicatorBit | 0x11;
    cp.At(map::kFeatureFlags) = std::uint8_t(cp.At(map::kFeatureFlags) & ~map::kFeatureTimerFiveSecondSteps);
    const Entry e = Enter(c.typed, [&](std::string& t, Messages& o) { return ValidateOutOfRangeTimer(cp, t, o); });
    EXPECT_EQ(e.accepted, c.accepted) << c.typed;
    EXPECT_EQ(e.text, c.shown) << c.typed;
    EXPECT_EQ(cp.WorkingImage[map::kOutOfRangeTimer], map::kOutOfRangeIndicatorBit | c.bits) << c.typed;
    EXPECT_TRUE(cp.OutOfRangeTimerEdited);
    EXPECT_TRUE(cp.WorkingImage[map::kFeatureFlags] & map::kFeatureTimerFiveSecondSteps);
    EXPECT_EQ(e.out, c.accepted ? Messages{} : Messages{Plain(message)}) << c.typed;
    EXPECT_EQ(std::to_string(OutOfRangeTimerShownValue(cp)), c.shown) << c.typed;
  }
}

TEST(OutOfRangeTimerShownValue, FiveSecondUnitsFollowPatchEditAndFlag) {
  struct Case {
    int patchVersion;
    bool edited;
    bool flag;
    int shown;
  };
  const Case cases[] = {
      {0, false, false, 24}, {2, false, false, 24}, {3, false, false, 120}, {4, false, false, 24},
      {5, false, false, 120}, {9, false, false, 120}, {4, true, false, 120}, {4, false, true, 120},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    cp.PatchVersion = c.patchVersion;
    cp.OutOfRangeTimerEdited = c.edited;
    cp.At(map::kFeatureFlags) = c.flag ? map::kFeatureTimerFiveSecondSteps : 0;
    cp.At(map::kOutOfRangeTimer) = map::kOutOfRangeIndicatorBit | 24;
    EXPECT_EQ(OutOfRangeTimerShownValue(cp), c.shown) << c.patchVersion << c.edited << c.flag;
  }
}

TEST(ProgramTimeOutOfRangeTimer, OldFirmwareKeepsWholeSecondsUpTo120) {
  const Message info{"This Out of Range Timer of FW version only supports 10-120 seconds, please "
                     "contact service center for further information.",
                     "", Icon::None}; // a plain box
  Codeplug cp;
  cp.At(map::kFeatureFlags) = map::kFeatureTimerFiveSecondSteps;
  cp.At(map::kOutOfRangeTimer) = map::kOutOfRangeIndicatorBit | 40; // shown as 200 seconds
  std::string text;
  Messages out;
  ApplyProgramTimeOutOfRangeTimer(cp, 10203, text, out);
  EXPECT_EQ(cp.WorkingImage[map::kOutOfRangeTimer], map::kOutOfRangeIndicatorBit | 0x78);
  EXPECT_EQ(cp.WorkingImage[map::kFeatureFlags] & map::kFeatureTimerFiveSecondSteps, 0);
  EXPECT_EQ(text, "120");
  EXPECT_EQ(out, Messages{info});

  // Below the limit the shown value is kept, and the message comes every time.
  Codeplug small;
  small.At(map::kFeatureFlags) = 0;
  small.At(map::kOutOfRangeTimer) = 90;
  out.clear();
  ApplyWholeSecondOutOfRangeTimer(small, text, out);
  EXPECT_EQ(small.WorkingImage[map::kOutOfRangeTimer], 90);
  EXPECT_EQ(text, "90");
  EXPECT_EQ(out, Messages{info});
}

TEST(ProgramTimeOutOfRangeTimer, NewFirmwareRunsTheFieldRule) {
  Codeplug cp;
  cp.At(map::kFeatureFlags) = 0;
  cp.PatchVersion = 5;
  cp.At(map::kOutOfRangeTimer) = 1; // shown as 5 seconds: below the range
  std::string text;
  Messages out;
  ApplyProgramTimeOutOfRangeTimer(cp, kFiveSecondTimerFirmware, text, out);
  EXPECT_EQ(text, "10");
  EXPECT_EQ(cp.WorkingImage[map::kOutOfRangeTimer], 2);
  EXPECT_EQ(out.size(), 1u);
  EXPECT_TRUE(cp.WorkingImage[map::kFeatureFlags] & map::kFeatureTimerFiveSecondSteps);
}

// ---- Beep tone --------------------------------------------------------------------------------

TEST(ValidateBeepFrequency, StoresDividerMinusOneAndShowsTheRealTone) {
  const std::string message =
      "         *** Invalid BEEP Frequency ***\nBEEP Frequency  is out of range!\n"
      "       The vaild range is 1000 to 4000.";
  struct Case {
    const char* typed;
    std::uint8_t stored;
    const char* shown;
    bool accepted;
  };
  const Case cases[] = {
      {"2731", 47, "2728", true}, {"1000", 130, "1000", true}, {"4000", 32, "3968", true},
      {"999", 130, "1000", false}, {"5000", 32, "3968", false}, {"", 130, "1000", false},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    const Entry e = Enter(c.typed, [&](std::string& t, Messages& o) { return ValidateBeepFrequency(cp, t, o); });
    EXPECT_EQ(e.accepted, c.accepted) << c.typed;
    EXPECT_EQ(cp.WorkingImage[map::kBeepFrequency], c.stored) << c.typed;
    EXPECT_EQ(e.text, c.shown) << c.typed;
    EXPECT_EQ(BeepFrequencyShown(cp), c.shown) << c.typed;
    EXPECT_EQ(e.out, c.accepted ? Messages{} : Messages{Plain(message)}) << c.typed;
  }
}

// ---- Battery thresholds -----------------------------------------------------------------------

TEST(ValidateBattery, FormsRangeAndCodes) {
  struct Case {
    const char* what;
    int item;
    const char* typed;
    const char* shown;
    std::uint8_t coarse;
    const std::string* message;
  };
  const Case cases[] = {
      {"two decimals", 1, "1.25", "1.25", 105, nullptr},
      {"one decimal is completed", 9, "1.3", "1.30", 109, nullptr},
      {"one digit is completed", 2, "1", "1.00", 84, nullptr},
      {"point without decimals", 3, "1.", "1.00", 84, nullptr},
      {"top of the range", 4, "1.50", "1.50", 127, nullptr},
      {"third decimal is dropped", 5, "1.255", "1.25", 105, nullptr},
      {"third decimal does not round", 6, "1.509", "1.50", 127, nullptr},
      {"just above", 7, "1.51", "1.25", 105, &kBatteryRange},
      {"just below", 8, "0.99", "1.25", 105, &kBatteryRange},
      {"whole volts", 10, "2", "1.25", 105, &kBatteryRange},
      {"leading point", 11, ".5", "1.25", 105, &kBatteryRange},
      {"dropped decimal leaves it above", 12, "1.519", "1.25", 105, &kBatteryRange},
      {"two points", 1, "1.2.5", "1.25", 105, &kBatteryForm},
      {"empty", 2, "", "1.25", 105, &kBatteryForm},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    const Entry e = Enter(c.typed, [&](std::string& t, Messages& o) { return ValidateBattery(cp, c.item, t, o); });
    EXPECT_EQ(e.accepted, c.message == nullptr) << c.what;
    EXPECT_EQ(e.text, c.shown) << c.what;
    EXPECT_EQ(cp.WorkingImage[map::BatteryByte(c.item)], c.coarse) << c.what;
    EXPECT_EQ(e.out, c.message ? Messages{Plain(*c.message)} : Messages{}) << c.what;
  }
}

TEST(ValidateBattery, ThresholdsNineToTwelveAlsoStoreTheFineByte) {
  Codeplug cp;
  for (int item = 9; item <= 12; ++item) cp.At(map::FineVoltageByte(item)) = 0;
  std::string text = "1.3";
  Messages out;
  ValidateBattery(cp, 9, text, out);
  EXPECT_EQ(cp.WorkingImage[map::FineVoltageByte(9)], 80);
  text = "1.25";
  ValidateBattery(cp, 8, text, out); // no fine byte for item 8
  for (int item = 10; item <= 12; ++item) EXPECT_EQ(cp.WorkingImage[map::FineVoltageByte(item)], 0);
}

TEST(BatteryText, CoarseCodeOrNonZeroFineByte) {
  Codeplug cp;
  cp.At(map::BatteryByte(1)) = 105;
  cp.At(map::BatteryByte(2)) = 84;
  cp.At(map::BatteryByte(10)) = 105;
  cp.At(map::FineVoltageByte(10)) = 80;
  cp.At(map::BatteryByte(11)) = 109;
  cp.At(map::FineVoltageByte(11)) = 0;
  cp.At(map::BatteryByte(3)) = 255;
  EXPECT_EQ(BatteryText(cp, 1), "1.25");
  EXPECT_EQ(BatteryText(cp, 2), "1.00");
  EXPECT_EQ(BatteryText(cp, 10), "1.30");
  EXPECT_EQ(BatteryText(cp, 11), "1.30");
  EXPECT_EQ(BatteryText(cp, 3), "3.01");
}

TEST(RederiveFineBatteryThresholds, CoarseAndFineBytesAgreeAfterwards) {
  Codeplug cp;
  cp.At(map::BatteryByte(9)) = 105;
  cp.At(map::FineVoltageByte(9)) = 0;
  cp.At(map::BatteryByte(10)) = 84;
  cp.At(map::FineVoltageByte(10)) = 80; // the fine byte wins: 1.30
  cp.At(map::BatteryByte(11)) = 105;
  cp.At(map::FineVoltageByte(11)) = 75;
  cp.At(map::BatteryByte(12)) = 105;
  cp.At(map::FineVoltageByte(12)) = 75;
  Messages out;
  RederiveFineBatteryThresholds(cp, out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(cp.WorkingImage[map::FineVoltageByte(9)], 75);
  EXPECT_EQ(cp.WorkingImage[map::BatteryByte(10)], 109);
  EXPECT_EQ(cp.WorkingImage[map::FineVoltageByte(10)], 80);
}

// ---- Key filters ------------------------------------------------------------------------------

TEST(AlertKeyFilters, EachBoxPassesItsOwnCharacters) {
  struct Case {
    bool (*allowed)(char);
    const char* passes;
  };
  const std::string typed = "0129.a-\b";
  const Case cases[] = {
      {DigitKeyAllowed, "0129\b"},
      {CadenceKeyAllowed, "01\b"},
      {BatteryKeyAllowed, "0129.\b"},
  };
  for (const Case& c : cases) {
    std::string kept;
    for (char ch : typed) if (c.allowed(ch)) kept += ch;
    EXPECT_EQ(kept, c.passes);
  }
}

} // namespace
} // namespace pw
