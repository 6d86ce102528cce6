// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "codeplug/flex_address.h"

namespace pw {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Word1Bytes(const Codeplug& cp, int k) {
  const auto o = map::AddressWord1(k);
  return Bytes(cp.WorkingImage.begin() + o, cp.WorkingImage.begin() + o + 3);
}
Bytes Word2Bytes(const Codeplug& cp, int k) {
  const auto o = map::AddressWord2(k);
  return Bytes(cp.WorkingImage.begin() + o, cp.WorkingImage.begin() + o + 3);
}
Bytes FramePackets(const Codeplug& cp) {
  return Bytes(cp.WorkingImage.begin() + 0x046, cp.WorkingImage.begin() + 0x066);
}
// Eight frame packets whose two bitmap bytes are the same in every packet.
Bytes UniformPackets(std::uint8_t even, std::uint8_t odd) {
  Bytes b;
  for (int i = 0; i < 8; ++i)
    b.insert(b.end(), {std::uint8_t(0x20 + i), 0x00, even, odd});
  return b;
}

std::string IllegalMessage(int k) {
  return "Address " + std::to_string(k) +
         " is an illegal FLEX address! The nearest default will be used.";
}

// ---- Capcode classes -------------------------------------------------------------------------

TEST(CapcodeClass, RangeEdges) {
  const std::pair<std::int64_t, CapcodeClass> cases[] = {
      {0, CapcodeClass::Illegal},       {1, CapcodeClass::Short},
      {1933312, CapcodeClass::Short},   {1933313, CapcodeClass::Illegal},
      {2009087, CapcodeClass::Illegal}, {2009088, CapcodeClass::Short},
      {2025471, CapcodeClass::Short},   {2025472, CapcodeClass::Illegal},
      {2101248, CapcodeClass::Illegal}, {2101249, CapcodeClass::Long},
      {999999999, CapcodeClass::Long},  {1000000000, CapcodeClass::Illegal},
      {-1, CapcodeClass::Illegal},
  };
  for (const auto& [value, cls] : cases)
    EXPECT_EQ(ClassOf(value), cls) << value;
}

TEST(CapcodeText, ParseIsDefensive) {
  EXPECT_EQ(ParseCapcodeText(""), 0);
  EXPECT_EQ(ParseCapcodeText("0000012"), 12);
  EXPECT_EQ(ParseCapcodeText("999999999"), 999999999);
  EXPECT_EQ(ParseCapcodeText("12a"), 0);
  EXPECT_EQ(ParseCapcodeText("-5"), 0);
  EXPECT_EQ(ParseCapcodeText(" 5"), 0);
  EXPECT_EQ(ParseCapcodeText("0000000000000000000000042"), 42);
  EXPECT_EQ(ParseCapcodeText("1234567890123456789"), 0); // beyond 64 bits' comfort
}

// ---- ValidateCode ----------------------------------------------------------------------------

struct ValidateCase {
  const char* name;
  int k;
  std::string typed;
  std::string shown;
  Bytes word1, word2;
  int enable;
  bool repaired;
  int frame;
};
void PrintTo(const ValidateCase& c, std::ostream* os) {
  *os << c.name;
}

class ValidateCodeCases : public testing::TestWithParam<ValidateCase> {};

TEST_P(ValidateCodeCases, StoresWordsEnableBitsTextAndFrame) {
  const ValidateCase& c = GetParam();
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled[c.k - 1] = true; // alone, so no duplicate can arise
  edits.text[c.k - 1] = c.typed;
  const std::uint8_t ef = cp.At(map::kEnableCodesEF), ad = cp.At(map::kEnableCodesAD);

  const CodeCheck r = ValidateCode(cp, c.k, edits, state);

  EXPECT_TRUE(r.stored);
  EXPECT_FALSE(r.duplicate);
  EXPECT_EQ(r.fieldInvalid, c.repaired);
  if (c.repaired)
    EXPECT_EQ(r.messages, (Messages{Plain(IllegalMessage(c.k))}));
  else
    EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(edits.text[c.k - 1], c.shown);
  EXPECT_EQ(Word1Bytes(cp, c.k), c.word1);
  EXPECT_EQ(Word2Bytes(cp, c.k), c.word2);
  EXPECT_EQ(EnableBits(cp, c.k), c.enable);
  EXPECT_EQ(state.homeFrame[c.k - 1], c.frame);
  // No other code's enable field moved.
  for (int j = 1; j <= 6; ++j) {
    if (j == c.k)
      continue;
    Codeplug fresh;
    fresh.At(map::kEnableCodesEF) = ef;
    fresh.At(map::kEnableCodesAD) = ad;
    EXPECT_EQ(EnableBits(cp, j), EnableBits(fresh, j)) << j;
  }
}

const Bytes kZero = {0x00, 0x00, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Cases, ValidateCodeCases,
    testing::Values(
        ValidateCase{"LastShortOfFirstRange",
                     1,
                     "1933312",
                     "1933312",
                     {0x1E, 0x00, 0x00},
                     kZero,
                     1,
                     false,
                     0},
        ValidateCase{"GapOneRepairedToLastShort",
                     3,
                     "1933313",
                     "1933312",
                     {0x1E, 0x00, 0x00},
                     kZero,
                     1,
                     true,
                     0},
        ValidateCase{"EndOfGapOneRepairedToLastShort",
                     2,
                     "2009087",
                     "1933312",
                     {0x1E, 0x00, 0x00},
                     kZero,
                     1,
                     true,
                     0},
        ValidateCase{"FirstOfSecondShortRange",
                     2,
                     "2009088",
                     "2009088",
                     {0x1F, 0x28, 0x00},
                     kZero,
                     1,
                     false,
                     0},
        ValidateCase{"LastOfSecondShortRange",
                     5,
                     "2025471",
                     "2025471",
                     {0x1F, 0x67, 0xFF},
                     kZero,
                     1,
                     false,
                     127},
        ValidateCase{
            "GapTwoRepairedDown", 4, "2025472", "2025471", {0x1F, 0x67, 0xFF}, kZero, 1, true, 127},
        ValidateCase{"EndOfGapTwoRepairedDown",
                     6,
                     "2101248",
                     "2025471",
                     {0x1F, 0x67, 0xFF},
                     kZero,
                     1,
                     true,
                     127},
        ValidateCase{"FirstLongPaddedToNineDigits",
                     1,
                     "2101249",
                     "002101249",
                     {0x40, 0x00, 0x01},
                     {0x5F, 0xFF, 0xFE},
                     3,
                     false,
                     0},
        ValidateCase{"LastLong",
                     6,
                     "999999999",
                     "999999999",
                     {0x40, 0x39, 0xFF},
                     {0x5F, 0x89, 0x09},
                     3,
                     false,
                     31},
        ValidateCase{
            "EmptyIsZeroRepairedToOne", 1, "", "0000001", {0x00, 0x80, 0x01}, kZero, 1, true, 0},
        ValidateCase{
            "ZeroRepairedToOne", 2, "000", "0000001", {0x00, 0x80, 0x01}, kZero, 1, true, 0},
        ValidateCase{"SmallShortPaddedToSevenDigits",
                     3,
                     "12",
                     "0000012",
                     {0x00, 0x80, 0x0C},
                     kZero,
                     1,
                     false,
                     0},
        ValidateCase{
            "LeadingZerosDropped", 3, "0000012", "0000012", {0x00, 0x80, 0x0C}, kZero, 1, false, 0},
        ValidateCase{"DefaultCapcodeFrame104",
                     1,
                     "1234560",
                     "1234560",
                     {0x13, 0x56, 0x80},
                     kZero,
                     1,
                     false,
                     104},
        ValidateCase{
            "NonDigitsReadAsZero", 4, "12a", "0000001", {0x00, 0x80, 0x01}, kZero, 1, true, 0},
        ValidateCase{"AboveLongRangeRepairedToLastLong",
                     5,
                     "1000000000",
                     "999999999",
                     {0x40, 0x39, 0xFF},
                     {0x5F, 0x89, 0x09},
                     3,
                     true,
                     31}),
    [](const testing::TestParamInfo<ValidateCase>& info) { return std::string(info.param.name); });

TEST(ValidateCode, LongThenShortResetsSecondWordAndEnableBits) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled[3] = true;
  edits.text[3] = "999999999";
  ValidateCode(cp, 4, edits, state);
  edits.text[3] = "77";
  ValidateCode(cp, 4, edits, state);
  EXPECT_EQ(Word1Bytes(cp, 4), (Bytes{0x00, 0x80, 0x4D}));
  EXPECT_EQ(Word2Bytes(cp, 4), kZero);
  EXPECT_EQ(EnableBits(cp, 4), 1);
}

TEST(ValidateCode, PacketIdentifiersUntouched) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  for (int k = 1; k <= 6; ++k) {
    edits.enabled[k - 1] = true;
    edits.text[k - 1] = std::to_string(500000000 + k);
    ValidateCode(cp, k, edits, state);
  }
  for (int k = 1; k <= 6; ++k) {
    EXPECT_EQ(cp.At(map::AddressWord1(k) - 1), 0x80 + 2 * (k - 1));
    EXPECT_EQ(cp.At(map::AddressWord2(k) - 1), 0x81 + 2 * (k - 1));
  }
  EXPECT_EQ(cp.At(map::kEnableCodesAD), 0xFF);
  EXPECT_EQ(cp.At(map::kEnableCodesEF), 0x0F);
  EXPECT_EQ(cp.At(0x012), 0x78);
  EXPECT_EQ(cp.At(0x013), 0x00);
}

TEST(ValidateCode, DisabledCodeStoresWordsButStaysOff) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.text[2] = "2101249"; // code C, box unchecked
  const CodeCheck r = ValidateCode(cp, 3, edits, state);
  EXPECT_TRUE(r.stored);
  EXPECT_EQ(Word1Bytes(cp, 3), (Bytes{0x40, 0x00, 0x01}));
  EXPECT_EQ(EnableBits(cp, 3), 0);
}

// ---- Duplicates ------------------------------------------------------------------------------

struct DuplicateFixture : testing::Test {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  void SetUp() override {
    edits.enabled = {true, true, false, false, false, true};
    edits.text = {"0000100", "0000200", "0000300", "0000400", "0000500", "0000600"};
  }
};

TEST_F(DuplicateFixture, DuplicateLeavesImageAndTextAsTheyWere) {
  const Image before = cp.WorkingImage;
  edits.text[1] = "00100"; // same number as code A
  const CodeCheck r = ValidateCode(cp, 2, edits, state);
  EXPECT_TRUE(r.duplicate);
  EXPECT_FALSE(r.stored);
  EXPECT_EQ(r.messages, (Messages{Plain("ERROR: Duplicate codes exists.")}));
  EXPECT_TRUE(state.duplicate[1]);
  EXPECT_EQ(edits.text[1], "00100");
  EXPECT_EQ(cp.WorkingImage, before);

  edits.text[1] = "101";
  const CodeCheck ok = ValidateCode(cp, 2, edits, state);
  EXPECT_TRUE(ok.stored);
  EXPECT_FALSE(state.duplicate[1]);
  EXPECT_EQ(edits.text[1], "0000101");
}

TEST_F(DuplicateFixture, DisabledCodesDoNotCount) {
  edits.text[1] = "300"; // code C holds 300 but is unchecked
  EXPECT_TRUE(ValidateCode(cp, 2, edits, state).stored);
  Messages shown;
  EXPECT_FALSE(IsDuplicateCode(3, edits, state, shown)); // unchecked code k counts as 0
  EXPECT_TRUE(shown.empty());
}

TEST_F(DuplicateFixture, IsDuplicateCodeComparesNumbers) {
  Messages shown;
  edits.text[5] = "100";
  EXPECT_TRUE(IsDuplicateCode(6, edits, state, shown));
  EXPECT_TRUE(state.duplicate[5]);
  EXPECT_EQ(shown, (Messages{Plain("ERROR: Duplicate codes exists.")}));
  edits.text[5] = "0000601";
  EXPECT_FALSE(IsDuplicateCode(6, edits, state, shown));
  EXPECT_FALSE(state.duplicate[5]);
  EXPECT_EQ(shown.size(), 1u);
}

TEST_F(DuplicateFixture, ZerosAreNeverDuplicates) {
  Messages shown;
  edits.text[0] = "";
  edits.text[1] = "0";
  EXPECT_FALSE(IsDuplicateCode(2, edits, state, shown));
}

TEST_F(DuplicateFixture, RepairThatWouldDuplicateIsRefused) {
  edits.text[0] = "0000001";
  const Image before = cp.WorkingImage;
  edits.text[1] = "0"; // repaired to 1, which code A holds
  const CodeCheck r = ValidateCode(cp, 2, edits, state);
  EXPECT_TRUE(r.duplicate);
  EXPECT_TRUE(r.fieldInvalid);
  EXPECT_FALSE(r.stored);
  EXPECT_EQ(r.messages,
            (Messages{Plain(IllegalMessage(2)), Plain("ERROR: Duplicate codes exists.")}));
  EXPECT_EQ(edits.text[1], "0");
  EXPECT_EQ(cp.WorkingImage, before);
}

// ---- Encoding round trip ---------------------------------------------------------------------

TEST(AddressWords, EveryLongValueSurvivesEncodingAndDecoding) {
  Codeplug cp;
  std::vector<std::int64_t> values = {2101249,
                                      2101250,
                                      999999999,
                                      999999998,
                                      2068481 + 32768 * 2,
                                      2068481 + 32768 * 2 - 1,
                                      2068481 + 32768 * 2 + 1};
  for (std::int64_t b = 2068481 + 32768; b <= 999999999; b += 32768 * 97)
    values.insert(values.end(), {b - 1, b, b + 1});
  std::uint64_t x = 12345;
  for (int i = 0; i < 3000; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    values.push_back(2101249 + std::int64_t((x >> 20) % (999999999 - 2101249 + 1)));
  }
  for (std::int64_t v : values) {
    if (ClassOf(v) != CapcodeClass::Long)
      continue;
    StoreAddressWords(cp, 2, EncodeCapcode(v));
    ASSERT_EQ(cp.At(map::AddressWord1(2)) & 0xE0, 0x40) << v;
    ASSERT_EQ(cp.At(map::AddressWord2(2)) & 0xE0, 0x40) << v;
    ASSERT_EQ(DecodeCapcode(cp, 2), v);
  }
}

// ---- Frame bitmap ----------------------------------------------------------------------------

struct BitmapCase {
  const char* name;
  std::array<bool, 6> enabled;
  std::array<int, 6> frames;
  Bytes packets;
};
void PrintTo(const BitmapCase& c, std::ostream* os) {
  *os << c.name;
}

class FrameBitmap : public testing::TestWithParam<BitmapCase> {};

TEST_P(FrameBitmap, EveryEnabledCodeSetsEverySixteenthFrame) {
  const BitmapCase& c = GetParam();
  Codeplug cp;
  for (int o = 0x046; o < 0x066; ++o)
    cp.At(o) = 0xFF;
  CodeEdits edits;
  AddressState state;
  edits.enabled = c.enabled;
  state.homeFrame = c.frames;
  RebuildFrameBitmap(cp, edits, state);
  EXPECT_EQ(FramePackets(cp), c.packets);
  EXPECT_EQ(cp.At(0x045), cp.DefaultImage[0x045]);
  EXPECT_EQ(cp.At(0x066), 0x10);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameBitmap,
                         testing::Values(BitmapCase{"Frame104SetsFrames8To120",
                                                    {true, false, false, false, false, false},
                                                    {104, 0, 0, 0, 0, 0},
                                                    UniformPackets(0x01, 0x00)},
                                         BitmapCase{"Frames8And24AreOneSet",
                                                    {true, true, false, false, false, false},
                                                    {8, 24, 0, 0, 0, 0},
                                                    UniformPackets(0x01, 0x00)},
                                         BitmapCase{"DisabledCodeContributesNothing",
                                                    {true, false, false, false, false, false},
                                                    {8, 0, 0, 0, 0, 3},
                                                    UniformPackets(0x01, 0x00)},
                                         BitmapCase{"Frame0SetsFrames0To112",
                                                    {false, false, false, false, false, true},
                                                    {0, 0, 0, 0, 0, 0},
                                                    UniformPackets(0x00, 0x01)},
                                         BitmapCase{"Frames7And15",
                                                    {false, false, true, true, false, false},
                                                    {0, 0, 7, 127, 0, 0},
                                                    UniformPackets(0x80, 0x80)},
                                         BitmapCase{"SixCodesSixBits",
                                                    {true, true, true, true, true, true},
                                                    {0, 1, 2, 3, 12, 13},
                                                    UniformPackets(0x30, 0x0F)},
                                         BitmapCase{"NoCodeNoFrame",
                                                    {false, false, false, false, false, false},
                                                    {8, 8, 8, 8, 8, 8},
                                                    UniformPackets(0x00, 0x00)}),
                         [](const testing::TestParamInfo<BitmapCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(FrameBitmap, ValidatedDefaultCapcodeGivesDefaultBitmap) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled[0] = true;
  edits.text[0] = "1234560";
  ValidateCode(cp, 1, edits, state);
  RebuildFrameBitmap(cp, edits, state);
  EXPECT_EQ(FramePackets(cp),
            (Bytes{0x20, 0x00, 0x01, 0x00, 0x21, 0x00, 0x01, 0x00, 0x22, 0x00, 0x01,
                   0x00, 0x23, 0x00, 0x01, 0x00, 0x24, 0x00, 0x01, 0x00, 0x25, 0x00,
                   0x01, 0x00, 0x26, 0x00, 0x01, 0x00, 0x27, 0x00, 0x01, 0x00}));
}

// ---- ShowCode --------------------------------------------------------------------------------

struct ShowCase {
  const char* name;
  int k;
  Bytes word1, word2;
  bool repairBlank;
  std::string shown;
  int frame;
};
void PrintTo(const ShowCase& c, std::ostream* os) {
  *os << c.name;
}

class ShowCodeCases : public testing::TestWithParam<ShowCase> {};

TEST_P(ShowCodeCases, DecodesStoredWords) {
  const ShowCase& c = GetParam();
  Codeplug cp;
  std::copy(c.word1.begin(), c.word1.end(), cp.WorkingImage.begin() + map::AddressWord1(c.k));
  std::copy(c.word2.begin(), c.word2.end(), cp.WorkingImage.begin() + map::AddressWord2(c.k));
  AddressState state;
  state.homeFrame.fill(-1);
  EXPECT_EQ(ShowCode(cp, c.k, state, c.repairBlank), c.shown);
  EXPECT_EQ(state.homeFrame[c.k - 1], c.frame);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowCodeCases,
    testing::Values(
        ShowCase{"DefaultCodeA", 1, {0x13, 0x56, 0x80}, {0x00, 0x00, 0x00}, false, "1234560", 104},
        ShowCase{"ShortPadded", 2, {0x00, 0x80, 0x0C}, {0x00, 0x00, 0x00}, false, "0000012", 0},
        ShowCase{"FirstLong", 3, {0x40, 0x00, 0x01}, {0x5F, 0xFF, 0xFE}, false, "002101249", 0},
        ShowCase{"LastLong", 4, {0x40, 0x39, 0xFF}, {0x5F, 0x89, 0x09}, false, "999999999", 31},
        ShowCase{"HighBytesReadModulo32",
                 5,
                 {0x60, 0x39, 0xFF},
                 {0xDF, 0x89, 0x09},
                 false,
                 "999999999",
                 31},
        ShowCase{
            "GapValueShownPlain", 6, {0x1E, 0x41, 0x30}, {0x00, 0x00, 0x00}, false, "1950000", 19},
        ShowCase{"UnrepairedBlankKeepsFrameInRange",
                 6,
                 {0x00, 0x00, 0x10},
                 {0x00, 0x00, 0x00},
                 false,
                 "-32752",
                 1},
        ShowCase{"BlankZerosShowCodeNumber",
                 4,
                 {0x00, 0x00, 0x00},
                 {0x12, 0x34, 0x56},
                 true,
                 "0000004",
                 0},
        ShowCase{"BlankOnesShowCodeNumber",
                 6,
                 {0xFF, 0xFF, 0xFF},
                 {0xFF, 0xFF, 0xFF},
                 true,
                 "0000006",
                 0},
        ShowCase{
            "NotBlankNotRepaired", 2, {0x00, 0x80, 0x0C}, {0x00, 0x00, 0x00}, true, "0000012", 0}),
    [](const testing::TestParamInfo<ShowCase>& info) { return std::string(info.param.name); });

TEST(ShowCode, BlankWordRepairedToCodeNumber) {
  Codeplug cp;
  for (std::uint8_t blank : {std::uint8_t(0x00), std::uint8_t(0xFF)}) {
    for (int i = 0; i < 3; ++i) {
      cp.At(map::AddressWord1(4) + i) = blank;
      cp.At(map::AddressWord2(4) + i) = 0x77;
    }
    AddressState state;
    EXPECT_EQ(ShowCode(cp, 4, state, true), "0000004");
    EXPECT_EQ(Word1Bytes(cp, 4), (Bytes{0x00, 0x80, 0x04}));
    EXPECT_EQ(Word2Bytes(cp, 4), kZero);
  }
}

TEST(ShowCode, ValidatedValueShowsTheSameText) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled[1] = true;
  for (const char* typed : {"1", "1933312", "2009088", "2101249", "123456789", "999999999"}) {
    edits.text[1] = typed;
    ValidateCode(cp, 2, edits, state);
    const int frame = state.homeFrame[1];
    EXPECT_EQ(ShowCode(cp, 2, state, false), edits.text[1]);
    EXPECT_EQ(state.homeFrame[1], frame);
  }
}

// ---- Enable box ------------------------------------------------------------------------------

TEST(SetCodeEnabled, CheckingSetsShortOrLongAndRebuildsBitmap) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.text = {"0000016", "", "002101249", "", "", ""};
  state.homeFrame = {1, 0, 5, 0, 0, 0};
  Messages shown;
  ASSERT_TRUE(SetCodeEnabled(cp, 3, true, edits, state, shown));
  EXPECT_TRUE(edits.enabled[2]);
  EXPECT_EQ(EnableBits(cp, 3), 3);
  EXPECT_EQ(FramePackets(cp), UniformPackets(0x00, 0x20));
  ASSERT_TRUE(SetCodeEnabled(cp, 1, true, edits, state, shown));
  EXPECT_EQ(EnableBits(cp, 1), 1);
  EXPECT_EQ(FramePackets(cp), UniformPackets(0x00, 0x22));
  ASSERT_TRUE(SetCodeEnabled(cp, 3, false, edits, state, shown));
  EXPECT_EQ(EnableBits(cp, 3), 0);
  EXPECT_EQ(FramePackets(cp), UniformPackets(0x00, 0x02));
  EXPECT_TRUE(shown.empty());
}

TEST(SetCodeEnabled, DuplicateKeepsCodeOff) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled[0] = true;
  edits.text = {"0000016", "16", "", "", "", ""};
  SetEnableBits(cp, 2, 0);
  const Bytes packets = FramePackets(cp);
  Messages shown;
  EXPECT_FALSE(SetCodeEnabled(cp, 2, true, edits, state, shown));
  EXPECT_EQ(EnableBits(cp, 2), 0);
  EXPECT_TRUE(state.duplicate[1]);
  EXPECT_EQ(shown, (Messages{Plain("ERROR: Duplicate codes exists.")}));
  EXPECT_EQ(FramePackets(cp), packets);
}

} // namespace
} // namespace pw
