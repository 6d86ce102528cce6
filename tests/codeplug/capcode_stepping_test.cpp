// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "codeplug/capcode_stepping.h"

namespace pw {
namespace {

using Values = std::array<std::int64_t, 6>;
using Steps = std::array<int, 6>;
constexpr std::array<bool, 6> kOnlyA = {true, false, false, false, false, false};

std::string Line(int k, std::int64_t stepped, std::int64_t replacement) {
  return "\nAddress " + std::to_string(k) + "(" + std::to_string(stepped) +
         ") is an illegal FLEX address! The nearest default(" + std::to_string(replacement) +
         ") will be used.";
}

const char* const kDuplicate = "ERROR: Duplicate codes exists. It will be reset to correct value.";

// ---- Stepping values -------------------------------------------------------------------------

TEST(StepCodes, StepZeroLeavesValues) {
  const Values v = {1234560, 1234561, 5, 6, 7, 2101249};
  const StepOutcome out = StepCodes(v, {true, true, true, true, true, true}, {0, 0, 0, 0, 0, 0},
                                    StepDirection::Increment);
  EXPECT_EQ(out.values, v);
  EXPECT_TRUE(out.messages.empty());
  EXPECT_FALSE(out.duplicate);
}

TEST(StepCodes, BelowOneIsReplacedByOne) {
  const StepOutcome out =
      StepCodes({1, 0, 0, 0, 0, 0}, kOnlyA, {3, 0, 0, 0, 0, 0}, StepDirection::Decrement);
  EXPECT_EQ(out.values[0], 1);
  EXPECT_EQ(out.illegalText, Line(1, -2, 1));
  EXPECT_EQ(out.messages, (Messages{Plain(Line(1, -2, 1))}));
}

TEST(StepCodes, AboveLastLongIsReplacedByLastLong) {
  const StepOutcome out =
      StepCodes({999999995, 0, 0, 0, 0, 0}, kOnlyA, {8, 0, 0, 0, 0, 0}, StepDirection::Increment);
  EXPECT_EQ(out.values[0], 999999999);
  EXPECT_EQ(out.messages, (Messages{Plain(Line(1, 1000000003, 999999999))}));
}

TEST(StepCodes, EqualSteppedValuesChangeNothing) {
  const StepOutcome out =
      StepCodes({100, 101, 0, 0, 0, 0}, {true, true, false, false, false, false},
                {1, 0, 0, 0, 0, 0}, StepDirection::Increment);
  EXPECT_TRUE(out.duplicate);
  EXPECT_EQ(out.values, (Values{100, 101, 0, 0, 0, 0}));
  EXPECT_EQ(out.messages, (Messages{Plain(kDuplicate)}));
}

TEST(StepCodes, ReplacementsListedInOneBoxBeforeTheDuplicateBox) {
  // A and B both land above the long range and collide at 999,999,999.
  const StepOutcome out =
      StepCodes({999999998, 999999999, 0, 0, 0, 0}, {true, true, false, false, false, false},
                {4, 2, 0, 0, 0, 0}, StepDirection::Increment);
  EXPECT_TRUE(out.duplicate);
  EXPECT_EQ(out.values, (Values{999999998, 999999999, 0, 0, 0, 0}));
  EXPECT_EQ(out.messages,
            (Messages{Plain(Line(1, 1000000002, 999999999) + Line(2, 1000000001, 999999999)),
                      Plain(kDuplicate)}));
}

TEST(StepCodes, CodesThatTakeNoPartNeitherMoveNorCollide) {
  const StepOutcome out =
      StepCodes({100, 101, 7, 0, 0, 0}, kOnlyA, {1, 8, 8, 0, 0, 0}, StepDirection::Increment);
  EXPECT_FALSE(out.duplicate);
  EXPECT_EQ(out.values, (Values{101, 101, 7, 0, 0, 0}));
}

TEST(StepCodes, EachCodeHasItsOwnStep) {
  const StepOutcome out = StepCodes({10, 20, 30, 40, 50, 60}, {true, true, true, true, true, true},
                                    {1, 2, 3, 4, 5, 8}, StepDirection::Decrement);
  EXPECT_EQ(out.values, (Values{9, 18, 27, 36, 45, 52}));
}

struct GapCase {
  const char* name;
  std::int64_t value;
  int step;
  StepDirection direction;
  std::int64_t want;
};
void PrintTo(const GapCase& c, std::ostream* os) {
  *os << c.name;
}

class SteppingIntoGaps : public testing::TestWithParam<GapCase> {};

TEST_P(SteppingIntoGaps, ReplacedByNearestLegalAddressInTheStepDirection) {
  const GapCase& c = GetParam();
  const StepOutcome out =
      StepCodes({0, 0, 0, c.value, 0, 0}, {false, false, false, true, false, false},
                {0, 0, 0, c.step, 0, 0}, c.direction);
  EXPECT_EQ(out.values[3], c.want);
  const std::int64_t stepped =
      c.direction == StepDirection::Increment ? c.value + c.step : c.value - c.step;
  if (stepped == c.want)
    EXPECT_TRUE(out.messages.empty());
  else
    EXPECT_EQ(out.messages, (Messages{Plain(Line(4, stepped, c.want))}));
}

constexpr auto kUp = StepDirection::Increment;
constexpr auto kDown = StepDirection::Decrement;

INSTANTIATE_TEST_SUITE_P(
    Cases, SteppingIntoGaps,
    testing::Values(GapCase{"UpIntoGapOne", 1933312, 1, kUp, 2009088},
                    GapCase{"UpDeepIntoGapOne", 1933310, 8, kUp, 2009088},
                    GapCase{"UpToLastShortStays", 1933311, 1, kUp, 1933312},
                    GapCase{"UpIntoGapTwo", 2025471, 1, kUp, 2101249},
                    GapCase{"UpToLastOfGapTwo", 2025470, 8, kUp, 2101249},
                    GapCase{"UpOntoFirstLongIsLegal", 2101241, 8, kUp, 2101249},
                    GapCase{"DownIntoGapOne", 2009088, 1, kDown, 1933312},
                    GapCase{"DownIntoGapTwo", 2101249, 1, kDown, 2025471},
                    GapCase{"DownDeepIntoGapTwo", 2101250, 8, kDown, 2025471},
                    GapCase{"DownToZero", 5, 5, kDown, 1},
                    GapCase{"DownToOneStays", 2, 1, kDown, 1},
                    GapCase{"UpToLastLongStays", 999999991, 8, kUp, 999999999},
                    GapCase{"UpPastLastLong", 999999999, 1, kUp, 999999999}),
    [](const testing::TestParamInfo<GapCase>& info) { return std::string(info.param.name); });

TEST(NearestLegalCapcode, LegalValuesAreTheirOwnAnswer) {
  for (std::int64_t v : {std::int64_t(1), std::int64_t(1933312), std::int64_t(2009088),
                         std::int64_t(2025471), std::int64_t(2101249), std::int64_t(999999999)}) {
    EXPECT_EQ(NearestLegalCapcode(v, kUp), v);
    EXPECT_EQ(NearestLegalCapcode(v, kDown), v);
  }
}

// ---- Stepping the image ----------------------------------------------------------------------

TEST(ApplyAutoStep, SteppedValuesValidatedIntoTheImage) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled = {true, false, false, false, false, true};
  edits.text = {"1234560", "1234561", "", "", "", "2101248"};
  const StepOutcome out = ApplyAutoStep(cp, edits, state, {1, 5, 0, 0, 0, 1}, kUp);
  EXPECT_FALSE(out.duplicate);
  EXPECT_EQ(edits.text,
            (std::array<std::string, 6>{"1234561", "1234561", "", "", "", "002101249"}));
  EXPECT_EQ(cp.Word24(map::AddressWord1(1)), 0x135681u);
  EXPECT_EQ(cp.Word24(map::AddressWord1(6)), 0x400001u);
  EXPECT_EQ(cp.Word24(map::AddressWord2(6)), 0x5FFFFEu);
  EXPECT_EQ(EnableBits(cp, 6), 3);
  EXPECT_EQ(state.homeFrame[0], 104);
  EXPECT_TRUE(out.messages.empty()); // 2,101,249 is legal: no replacement
}

TEST(ApplyAutoStep, StepZeroStillValidates) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled = {true, true, false, false, false, false};
  edits.text = {"12", "000000077", "", "", "", ""};
  for (int o = 0x046; o < 0x066; ++o)
    cp.At(o) = 0;
  const StepOutcome out = ApplyAutoStep(cp, edits, state, {0, 0, 0, 0, 0, 0}, kUp);
  EXPECT_TRUE(out.messages.empty());
  EXPECT_EQ(edits.text[0], "0000012");
  EXPECT_EQ(edits.text[1], "0000077");
  EXPECT_EQ(cp.Word24(map::AddressWord1(2)), 0x00804Du);
  EXPECT_EQ(state.homeFrame[1], 4);
  EXPECT_EQ(cp.At(0x049), 0x11); // frames 0 and 4 of every 16
}

TEST(ApplyAutoStep, DuplicateLeavesEditsAndImage) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled = {true, true, false, false, false, false};
  edits.text = {"100", "101", "", "", "", ""};
  const Image before = cp.WorkingImage;
  const StepOutcome out = ApplyAutoStep(cp, edits, state, {1, 0, 0, 0, 0, 0}, kUp);
  EXPECT_TRUE(out.duplicate);
  EXPECT_EQ(out.messages, (Messages{Plain(kDuplicate)}));
  EXPECT_EQ(edits.text[0], "100");
  EXPECT_EQ(edits.text[1], "101");
  EXPECT_EQ(cp.WorkingImage, before);
}

TEST(ApplyAutoStep, ReplacementStoredWithItsMessage) {
  Codeplug cp;
  CodeEdits edits;
  AddressState state;
  edits.enabled = kOnlyA;
  edits.text = {"0000001", "", "", "", "", ""};
  const StepOutcome out = ApplyAutoStep(cp, edits, state, {3, 0, 0, 0, 0, 0}, kDown);
  EXPECT_EQ(out.messages, (Messages{Plain(Line(1, -2, 1))}));
  EXPECT_EQ(edits.text[0], "0000001");
  EXPECT_EQ(cp.Word24(map::AddressWord1(1)), 0x008001u);
}

// ---- I-D edits -------------------------------------------------------------------------------

TEST(ApplyStepEdit, EmptyBecomesZero) {
  std::string text;
  EXPECT_EQ(ApplyStepEdit(text), 0);
  EXPECT_EQ(text, "0");
  text = "8";
  EXPECT_EQ(ApplyStepEdit(text), 8);
  text = "3";
  EXPECT_EQ(ApplyStepEdit(text), 3);
  text = "9"; // the key filter never lets it in
  EXPECT_EQ(ApplyStepEdit(text), 0);
}

} // namespace
} // namespace pw
