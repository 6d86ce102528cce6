// SPDX-License-Identifier: GPL-3.0-or-later
// The frequency field: parsing, band limits, the divider search and its register words, the
// reverse computation, the radio groups and the re-encoding for another pager.
#include <gtest/gtest.h>

#include <array>

#include "codeplug/codeplug.h"
#include "files/frequency.h"

namespace pw {
namespace {

using Bytes3 = std::array<std::uint8_t, 3>;

Bytes3 At3(const Codeplug& cp, std::uint16_t offset) {
  return {cp.WorkingImage[offset], cp.WorkingImage[offset + 1u], cp.WorkingImage[offset + 2u]};
}

// A codeplug of a band family and sub-band, RF bytes as the normalisation leaves them.
Codeplug InBand(int family, int subBand) {
  Codeplug cp;
  std::uint8_t& band = cp.At(map::kBandByte);
  band = std::uint8_t((band & ~(map::kBandFamilyMask | map::kSubBandMask)) | family << 1 | subBand << 3);
  cp.CodeplugBandFamily = family;
  cp.CodeplugSubBand = subBand;
  if (family != kBand900) {
    cp.At(map::kRfOption1) = 0;
    cp.At(map::kRfOption2) = 0;
  }
  cp.NormalizeRfOptions();
  return cp;
}

struct Entry {
  FrequencyOutcome outcome;
  std::string text;
  Messages messages;
  FrequencyField field;
};

Entry Validate(Codeplug& cp, std::string text, std::string lastGood = "930.5125") {
  Entry run;
  run.field.LastGoodFrequencyText = lastGood;
  run.text = std::move(text);
  run.outcome = ValidateFrequency(cp, run.field, run.text, run.messages);
  return run;
}

const std::string kResetHead = "*** Invalid Frequency ***\nFrequency was out of range!\nIt will be reset to ";

// ---- Parsing ----------------------------------------------------------------------------------

TEST(ParseFrequencyText, FollowsTheWholeAndDecimalRules) {
  struct Case {
    const char* text;
    std::uint32_t hz;
  };
  const Case cases[] = {
      {"930.5125", 930512500},  {"930.5", 930500000},     {"930", 930000000},
      {"930.", 930000000},      {".5", 0},                {"9305", 1000000000},
      {"9305.125", 1000125000}, {"93.05125", 93000000},   {"1000.0001", 1000000100},
      {"0.0025", 2500},         {"", 0},                  {"174.0025", 174002500},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFrequencyText(c.text), c.hz) << c.text;
}

TEST(FrequencyKeyFilter, PassesDigitsPointAndBackspaceOnly) {
  std::string typed;
  for (char ch : std::string("12a.5-x ")) if (FrequencyKeyAllowed(ch)) typed += ch;
  EXPECT_EQ(typed, "12.5");
  EXPECT_TRUE(FrequencyKeyAllowed('\b'));
}

// ---- Default configuration ------------------------------------------------------------------

TEST(ValidateFrequency, DefaultConfigurationEncodes930_5125Exactly) {
  Codeplug cp;
  cp.At(map::kRfOption2) = std::uint8_t(cp.At(map::kRfOption2) & ~map::kSearchFlagsMask);
  const Entry run = Validate(cp, "930.5125", "929.0000");
  EXPECT_TRUE(run.outcome.accepted);
  EXPECT_FALSE(run.outcome.focusBack);
  EXPECT_TRUE(run.messages.empty());
  EXPECT_EQ(At3(cp, map::kRWord), (Bytes3{0x04, 0x00, 0x11})); // R = 1024
  EXPECT_EQ(At3(cp, map::kNWord), (Bytes3{0x8A, 0x5C, 0x80})); // N = 70841
  EXPECT_EQ(cp.WorkingImage[map::kRfOption2], 0x12);            // result flags 2: exact
  EXPECT_EQ(run.text, "930.5125");
  EXPECT_EQ(run.field.LastGoodFrequencyText, "930.5125");
  EXPECT_EQ(run.outcome.rText, "040011");
  EXPECT_EQ(run.outcome.nText, "8A5C80");
}

TEST(ValidateFrequency, ShortDecimalsAreShownWithFour) {
  Codeplug cp;
  const Entry run = Validate(cp, "930.5");
  EXPECT_TRUE(run.outcome.accepted);
  EXPECT_EQ(run.text, "930.5000");
  EXPECT_EQ(At3(cp, map::kNWord), (Bytes3{0x8A, 0x5C, 0x00})); // N = 70840
}

TEST(ValidateFrequency, TenKilohertzChannelFindsTheExactLaterDivider) {
  // 930.51 MHz lies on the 2.5 kHz raster; only R = 1280 gives it exactly, and it beats
  // the earlier candidates by more than 1 Hz.
  Codeplug cp;
  const Entry run = Validate(cp, "930.51");
  EXPECT_TRUE(run.outcome.accepted);
  EXPECT_EQ(run.text, "930.5100");
  EXPECT_EQ(At3(cp, map::kRWord), (Bytes3{0x05, 0x00, 0x11}));
  EXPECT_EQ(At3(cp, map::kNWord), (Bytes3{0xAC, 0xF3, 0x80}));
}

// ---- Band limits ------------------------------------------------------------------------------

TEST(ValidateFrequency, BandLimitsAcceptOrResetToTheBandDefault) {
  struct Case {
    const char* what;
    int family, subBand;
    const char* typed;
    const char* shown;
    bool reset;
  };
  const Case cases[] = {
      {"VHF D top of the help range is past the last channel", kBandVhf, 7, "142.9999", "140.5125", true},
      {"VHF D last channel", kBandVhf, 7, "142.9875", "142.9875", false},
      {"VHF C upper limit included", kBandVhf, 3, "174", "174.0000", false},
      {"VHF C one raster step above", kBandVhf, 3, "174.0025", "168.5125", true},
      {"VHF A last channel", kBandVhf, 1, "152.9875", "152.9875", false},
      {"VHF A above the last channel", kBandVhf, 1, "152.99", "148.5125", true},
      {"VHF B below its range", kBandVhf, 2, "152.9875", "158.5125", true},
      {"UHF A lower limit", kBandUhf, 4, "450", "450.0000", false},
      {"UHF A above the last channel", kBandUhf, 4, "459.99", "455.5125", true},
      {"UHF B upper limit included", kBandUhf, 5, "470.0000", "470.0000", false},
      {"900 MHz thousands of MHz", kBand900, 0, "9305.125", "930.5125", true},
      {"900 MHz five decimals ignored", kBand900, 0, "93.05125", "930.5125", true},
      {"900 MHz upper limit included", kBand900, 0, "932", "932.0000", false},
  };
  for (const Case& c : cases) {
    Codeplug cp = InBand(c.family, c.subBand);
    const Entry run = Validate(cp, c.typed);
    EXPECT_EQ(run.text, c.shown) << c.what;
    EXPECT_EQ(run.outcome.accepted, !c.reset) << c.what;
    EXPECT_EQ(run.outcome.focusBack, c.reset) << c.what;
    EXPECT_EQ(run.field.FieldInvalid, c.reset) << c.what;
    EXPECT_TRUE(run.outcome.stored) << c.what;
    if (c.reset) {
      ASSERT_EQ(run.messages.size(), 1u) << c.what;
      EXPECT_EQ(run.messages[0], Plain(kResetHead + c.shown)) << c.what;
    } else {
      EXPECT_TRUE(run.messages.empty()) << c.what;
    }
  }
}

TEST(ValidateFrequency, VhfWordsAreTheFs8107Golden) {
  Codeplug low = InBand(kBandVhf, 7);
  Validate(low, "142.9875");
  EXPECT_EQ(At3(low, map::kRWord), (Bytes3{0x00, 0x1A, 0x31})); // R = 419
  EXPECT_EQ(At3(low, map::kNWord), (Bytes3{0x00, 0x4B, 0xFE})); // N = 9727

  // Sub-band 6 runs the synthesizer above the channel.
  Codeplug high = InBand(kBandVhf, kSubBandVhfDHighSide);
  ASSERT_TRUE(high.Rf.HighSideInjection);
  const Entry run = Validate(high, "140.5125");
  EXPECT_EQ(run.text, "140.5125");
  EXPECT_EQ(At3(high, map::kNWord), (Bytes3{0x00, 0x65, 0x32})); // N = 12953
}

TEST(ValidateFrequency, EmptyFieldBecomesTheBandDefaultAfterTheMessage) {
  Codeplug cp = InBand(kBandVhf, 2);
  const Entry run = Validate(cp, "");
  ASSERT_EQ(run.messages.size(), 1u);
  EXPECT_EQ(run.messages[0], Plain(kResetHead + "158.5125"));
  EXPECT_EQ(run.text, "158.5125");
  EXPECT_FALSE(run.outcome.accepted);
  EXPECT_TRUE(run.outcome.focusBack);
  EXPECT_EQ(At3(cp, map::kNWord), (Bytes3{0x00, 0x55, 0xB2}));

  Codeplug def;
  const Entry r900 = Validate(def, "");
  ASSERT_EQ(r900.messages.size(), 1u);
  EXPECT_EQ(r900.messages[0], Plain(kResetHead + "930.5125"));
  EXPECT_EQ(r900.text, "930.5125");
}

// ---- Refusals ---------------------------------------------------------------------------------

TEST(ValidateFrequency, RefusalsRestoreTheLastGoodTextAndLeaveTheImage) {
  struct Case {
    const char* what;
    const char* typed;
    std::string message;
  };
  const std::string notFloat(20, ' ');
  const std::string notSupported(28, ' ');
  const Case cases[] = {
      {"two points", "930.5.1", notFloat + "** ERROR **\n(930.5.1) is not a valid floating point value."},
      {"pasted letters", "93O.5", notFloat + "** ERROR **\n(93O.5) is not a valid floating point value."},
      {"off the 2.5 kHz raster", "930.5126",
       notSupported + "** ERROR **\n(930.5126) Frequency is not support by this pager."},
      {"1 kHz off the raster", "930.501",
       notSupported + "** ERROR **\n(930.501) Frequency is not support by this pager."},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    const Image before = cp.WorkingImage;
    const Entry run = Validate(cp, c.typed, "931.0000");
    ASSERT_EQ(run.messages.size(), 1u) << c.what;
    EXPECT_EQ(run.messages[0], Plain(c.message)) << c.what;
    EXPECT_EQ(run.text, "931.0000") << c.what;
    EXPECT_TRUE(run.field.FieldInvalid) << c.what;
    EXPECT_TRUE(run.outcome.focusBack) << c.what;
    EXPECT_FALSE(run.outcome.stored) << c.what;
    EXPECT_TRUE(cp.WorkingImage == before) << c.what;
  }
}

TEST(ValidateFrequency, UnknownBandFamilyIsRefusedNotEncoded) {
  Codeplug cp;
  cp.CodeplugBandFamily = 3;
  const Image before = cp.WorkingImage;
  const Entry run = Validate(cp, "930.5125");
  EXPECT_FALSE(run.outcome.stored);
  EXPECT_TRUE(cp.WorkingImage == before);
}

// ---- PLL chip and band option -----------------------------------------------------------------

TEST(PllIcOption, Mb15e03On900MHzStoresItsFixedReferenceWord) {
  Codeplug cp;
  SetPllIcOption(cp, 3);
  EXPECT_EQ(cp.WorkingImage[map::kRfOption1], 0x89);
  EXPECT_EQ(cp.WorkingImage[map::kRfOption2], 0x16);
  const Entry run = Validate(cp, "930.5125");
  EXPECT_EQ(cp.Word24(map::kRWord), 69633u);
  EXPECT_EQ(At3(cp, map::kNWord), (Bytes3{0x04, 0x52, 0xE4})); // 2 x ceil(885.5125 MHz / 6250)
  EXPECT_EQ(run.text, "930.5125");
}

TEST(PllIcOption, ChipTableWritesTheConfigurationBytes) {
  struct Case {
    const char* what;
    int family, subBand, item;
    std::uint8_t a, b;
  };
  const Case cases[] = {
      {"900 FS8107 leaves the bytes", kBand900, 0, 0, 0x9B, 0x12},
      {"900 SM5170", kBand900, 0, 1, 0x9B, 0x12},
      {"900 FS8108", kBand900, 0, 2, 0x9D, 0x06},
      {"VHF FS8107", kBandVhf, 1, 0, 0x39, 0x42},
      {"VHF D-6 FS8107", kBandVhf, 6, 0, 0x39, 0x62},
      {"VHF FS8108", kBandVhf, 1, 2, 0x28, 0x46},
      {"VHF D-6 FS8108 keeps high side", kBandVhf, 6, 2, 0x28, 0x66},
      {"VHF MB15E03", kBandVhf, 2, 3, 0x20, 0x56},
      {"VHF D-6 MB15E03", kBandVhf, 6, 3, 0x20, 0x76},
      {"UHF FS8107", kBandUhf, 4, 0, 0x3B, 0x42},
      {"UHF SM5170 leaves the bytes", kBandUhf, 4, 1, 0x3B, 0x42},
      {"UHF FS8108", kBandUhf, 5, 2, 0x3B, 0x46},
      {"UHF MB15E03", kBandUhf, 5, 3, 0x20, 0x56},
  };
  for (const Case& c : cases) {
    Codeplug cp = InBand(c.family, c.subBand);
    SetPllIcOption(cp, c.item);
    EXPECT_EQ(cp.WorkingImage[map::kRfOption1], c.a) << c.what;
    EXPECT_EQ(cp.WorkingImage[map::kRfOption2], c.b) << c.what;
  }
}

TEST(BandOption, ItemsClearAndSetBitSix) {
  Codeplug cp;
  const std::uint8_t before = cp.WorkingImage[map::kBandByte];
  SetBandOption(cp, 1);
  EXPECT_EQ(cp.WorkingImage[map::kBandByte], before | map::kNarrowBandBit);
  EXPECT_EQ(BandOptionItem(cp), 1);
  SetBandOption(cp, 0);
  EXPECT_EQ(cp.WorkingImage[map::kBandByte], before & ~map::kNarrowBandBit);
  EXPECT_EQ(BandOptionItem(cp), 0);
}

// ---- Help line and sub-bands ------------------------------------------------------------------

TEST(FrequencyHelpLine, NamesTheRangeOfTheCurrentBand) {
  struct Case {
    int family, subBand;
    bool highSide;
    const char* range; // nullptr: the line stays as it was
  };
  const Case cases[] = {
      {kBand900, 0, false, "929.0000 ~ 932.0000"}, {kBand900, 5, false, "929.0000 ~ 932.0000"},
      {kBandVhf, 1, false, "143.0000 ~ 152.9999"}, {kBandVhf, 2, false, "153.0000 ~ 162.9999"},
      {kBandVhf, 3, false, "163.0000 ~ 174.0000"}, {kBandVhf, 7, false, "137.0000 ~ 142.9999"},
      {kBandVhf, 6, true, "137.0000 ~ 142.9999"},  {kBandVhf, 6, false, nullptr},
      {kBandVhf, 0, true, "137.0000 ~ 142.9999"},  {kBandVhf, 1, true, "143.0000 ~ 152.9999"},
      {kBandVhf, 0, false, nullptr},               {kBandUhf, 4, false, "450.0000 ~ 459.9999"},
      {kBandUhf, 5, false, "460.0000 ~ 470.0000"}, {kBandUhf, 6, false, nullptr},
      {3, 0, false, nullptr},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    cp.CodeplugBandFamily = c.family;
    cp.CodeplugSubBand = c.subBand;
    cp.Rf.HighSideInjection = c.highSide;
    const auto line = FrequencyHelpLine(cp);
    if (c.range) {
      ASSERT_TRUE(line.has_value()) << c.family << "/" << c.subBand;
      EXPECT_EQ(*line, std::string("Enter the Frequency of the pager receiver (Numeric - ") + c.range + ")");
    } else {
      EXPECT_FALSE(line.has_value()) << c.family << "/" << c.subBand;
    }
  }
}

TEST(InferSubBand, BandEdgesFollowTheSubBandTable) {
  struct Case {
    int family;
    bool highSide;
    std::uint32_t hz;
    int subBand;
  };
  const Case cases[] = {
      {kBandVhf, false, 150000000, 1}, {kBandVhf, false, 143000000, 1}, {kBandVhf, false, 153000000, 2},
      {kBandVhf, false, 162997500, 2}, {kBandVhf, false, 174000000, 3}, {kBandVhf, false, 174002500, 0},
      {kBandVhf, false, 140000000, 7}, {kBandVhf, true, 140000000, 6},  {kBandVhf, false, 136997500, 0},
      {kBandUhf, false, 459987500, 4}, {kBandUhf, false, 460000000, 5}, {kBandUhf, false, 470000000, 5},
      {kBandUhf, false, 470002500, 0}, {kBand900, false, 930512500, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(InferSubBand(c.family, c.highSide, c.hz), c.subBand) << c.hz;
}

TEST(InferSubBand, VhfCodeplugWithoutSubBandTakesItFromItsFrequency) {
  Codeplug cp = InBand(kBandVhf, 0);
  Entry run = Validate(cp, "150");
  ASSERT_TRUE(run.outcome.stored); // no sub-band: no range to check
  EXPECT_TRUE(InferSubBandFromImage(cp));
  EXPECT_EQ(map::SubBand(cp.WorkingImage[map::kBandByte]), 1);
  EXPECT_EQ(map::BandFamily(cp.WorkingImage[map::kBandByte]), kBandVhf);
  EXPECT_EQ(cp.CodeplugSubBand, 1);
  EXPECT_FALSE(InferSubBandFromImage(cp)); // chosen once
}

// ---- Reverse computation and refill helpers ---------------------------------------------------

TEST(FrequencyFromImage, BlankWordsShowZeroInsteadOfDividingByZero) {
  Codeplug cp;
  cp.SetWord24(map::kRWord, 0);
  cp.SetWord24(map::kNWord, 0);
  EXPECT_EQ(FrequencyFromImage(cp), "0.0000");
  EXPECT_EQ(RWordText(cp), "000000");
}

TEST(MarkExactDividerFlag, SetsTheExactBitOnlyForThePlainDivider) {
  Codeplug cp;
  cp.At(map::kRfOption2) = std::uint8_t(cp.At(map::kRfOption2) & ~map::kSearchFlagsMask);
  MarkExactDividerFlag(cp); // 12.8 MHz x 4 / 12.5 kHz = 4096; 4096 x 64 + 17 = 0x040011
  EXPECT_EQ(cp.WorkingImage[map::kRfOption2] & map::kSearchFlagsMask, 0x02);

  cp.At(map::kRfOption2) = std::uint8_t(cp.At(map::kRfOption2) & ~map::kSearchFlagsMask);
  cp.SetWord24(map::kRWord, 0x050011);
  MarkExactDividerFlag(cp);
  EXPECT_EQ(cp.WorkingImage[map::kRfOption2] & map::kSearchFlagsMask, 0x00);
}

// ---- Re-encoding at Program -------------------------------------------------------------------

TEST(ReencodeFrequencyForPager, WritesThePagersWordsAndBytes) {
  struct Case {
    const char* what;
    std::uint8_t a, b, band;
    Bytes3 r, n;
  };
  const Case cases[] = {
      {"MB15E03 pager", 0x89, 0x16, 0x00, {0x01, 0x10, 0x01}, {0x04, 0x52, 0xE4}},
      {"FS8108 pager", 0x9D, 0x06, 0x40, {0x00, 0x30, 0x01}, {0x02, 0x29, 0x72}},
      {"SM5170 pager", 0x9B, 0x12, 0x00, {0x04, 0x00, 0x11}, {0x8A, 0x5C, 0x80}},
  };
  for (const Case& c : cases) {
    Codeplug cp;
    Validate(cp, "930.5125");
    EXPECT_TRUE(ReencodeFrequencyForPager(cp, c.a, c.b, c.band)) << c.what;
    EXPECT_EQ(At3(cp, map::kRWord), c.r) << c.what;
    EXPECT_EQ(At3(cp, map::kNWord), c.n) << c.what;
    EXPECT_EQ(cp.WorkingImage[map::kRfOption1], c.a) << c.what;
    EXPECT_EQ(cp.WorkingImage[map::kRfOption2], c.b) << c.what;
    EXPECT_EQ(cp.WorkingImage[map::kBandByte], c.band) << c.what;
  }
}

TEST(ReencodeFrequencyForPager, VhfCodeplugForAnMb15e03Pager) {
  Codeplug cp = InBand(kBandVhf, 7);
  Validate(cp, "142.9875");
  const std::uint8_t pagerBand = std::uint8_t(cp.WorkingImage[map::kBandByte] | map::kStep2500Bit);
  EXPECT_TRUE(ReencodeFrequencyForPager(cp, 0x20, 0x56, pagerBand));
  EXPECT_EQ(At3(cp, map::kRWord), (Bytes3{0x01, 0x41, 0x79})); // 2 x 8380 + 65537
  EXPECT_EQ(At3(cp, map::kNWord), (Bytes3{0x01, 0x7B, 0xF6})); // 2 x (121.5875 MHz / 2500)
  EXPECT_EQ(cp.WorkingImage[map::kBandByte], pagerBand);
}

TEST(ReencodeFrequencyForPager, NoDividerPairChangesNothing) {
  Codeplug cp;
  cp.SetWord24(map::kRWord, 0); // nothing to decode
  const Image before = cp.WorkingImage;
  EXPECT_FALSE(ReencodeFrequencyForPager(cp, 0x89, 0x16, 0x00));
  EXPECT_TRUE(cp.WorkingImage == before);
}

} // namespace
} // namespace pw
