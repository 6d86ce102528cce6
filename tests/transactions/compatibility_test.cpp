// SPDX-License-Identifier: GPL-3.0-or-later
#include "transactions/compatibility.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pw {
namespace {

TEST(PatchVersionLimit, RefusesOnlyPatchesNewerThanTheFirmwareAllows) {
  struct Case {
    const char* shows;
    int firmware;
    int patch;
    bool tooNew;
  } cases[] = {
      {"10204 refuses patch 4", 10204, 4, true},
      {"10204 takes patch 3", 10204, 3, false},
      {"10101 refuses patch 4", 10101, 4, true},
      {"10205 takes patch 5", 10205, 5, false},
      {"10205 refuses patch 6", 10205, 6, true},
      {"10100 has no limit at all", 10100, 9, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    EXPECT_EQ(PatchVersionTooNew(c.firmware, c.patch), c.tooNew);
  }
}

TEST(PagerIdRule, PocsagIsRefusedAndABrokenPairIsRewritten) {
  struct Case {
    const char* shows;
    std::uint8_t b0, b1;
    PagerIdVerdict verdict;
  } cases[] = {
      {"complementary POCSAG pair", 0x0F, 0xF0, PagerIdVerdict::RefusePocsag},
      {"complementary FLEX pair", 0xF0, 0x0F, PagerIdVerdict::Accept},
      {"any other complementary pair", 0x12, 0xED, PagerIdVerdict::Accept},
      {"12 34 is not complementary", 0x12, 0x34, PagerIdVerdict::AcceptRewrite},
      {"0F 0F is not POCSAG but broken", 0x0F, 0x0F, PagerIdVerdict::AcceptRewrite},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    EXPECT_EQ(CheckPagerId(c.b0, c.b1), c.verdict);
  }
}

TEST(BandValidity, OnlyTheTableRowsAreValid) {
  struct Case {
    std::uint8_t bandByte;
    bool valid;
    const char* range;
  } cases[] = {
      {0x00, true, "929.0000~932.0000"},  {0x0A, true, "143.0000~152.9875"},
      {0x12, true, "153.0000~162.9875"},  {0x1A, true, "163.0000~174.0000"},
      {0x32, true, "137.0000~142.9875"},  {0x3A, true, "137.0000~142.9875"},
      {0x24, true, "450.0000~459.9875"},  {0x2C, true, "460.0000~470.0000"},
      {0x02, false, ""},                  {0x06, false, ""},
      {0x08, false, ""},                  {0x34, false, ""},
      {0xCB, true, "143.0000~152.9875"}, // bits 0, 6 and 7 do not count
  };
  for (const Case& c : cases) {
    const int family = map::BandFamily(c.bandByte);
    const int sub = map::SubBand(c.bandByte);
    EXPECT_EQ(BandPairIsValid(family, sub), c.valid) << int(c.bandByte);
    EXPECT_EQ(BandRangeText(family, sub), c.range) << int(c.bandByte);
  }
}

TEST(BandMatch, GivesItsThreeOutcomesWithTheirTexts) {
  struct Case {
    const char* shows;
    int cf, cs, pf, ps;
    BandMatch outcome;
    std::string text;
  } cases[] = {
      {"same band", 1, 1, 1, 1, BandMatch::Accept, ""},
      {"other sub-band of the same family", 1, 2, 1, 1, BandMatch::RefuseWithMessage,
       "Frequency band no Match, Please Read Pager or Load Codeplug again.\nPager's frequency "
       "range is 143.0000~152.9875."},
      {"pager's own pair invalid", 1, 2, 1, 0, BandMatch::Accept, ""},
      {"family 3 pager takes any codeplug", 1, 1, 3, 0, BandMatch::Accept, ""},
      {"other family, valid pager band", 0, 0, 2, 4, BandMatch::RefuseWithMessage,
       "Frequency no Match, Please Read Pager or Load Codeplug again.\nPager's frequency range "
       "is 450.0000~459.9875."},
      {"other family, invalid pager band", 0, 0, 2, 6, BandMatch::RefuseSilently, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    const BandMatchResult r = MatchBand(c.cf, c.cs, c.pf, c.ps);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(r.text, c.text);
  }
}

TEST(PatchHeader, RefusesBlocksThatCannotBeRead) {
  struct Case {
    std::uint16_t start, length;
    bool fits;
  } cases[] = {
      {0x600, 4, true},     {0x600, 320, true}, {0x600, 0x200, true}, {0x600, 0x201, false},
      {0x600, 2, false},    {0x000, 0x800, true}, {0x000, 2199, false}, {0xFFFF, 4, false},
  };
  for (const Case& c : cases) EXPECT_EQ(PatchHeaderFits(c.start, c.length), c.fits) << c.length;

  const std::uint8_t defaultHeader[] = {0x06, 0x00, 0x00, 0x04, 0x08, 0x3C, 0xB1};
  const std::uint8_t longHeader[] = {0x06, 0x00, 0x01, 0x40, 0x07, 0x00, 0xB1};
  const std::uint8_t badHeader[] = {0x06, 0x00, 0x01, 0x40, 0x07, 0x00, 0xB2};
  EXPECT_TRUE(PatchHeaderCheckOk(defaultHeader));
  EXPECT_TRUE(PatchHeaderCheckOk(longHeader));
  EXPECT_FALSE(PatchHeaderCheckOk(badHeader));
}

TEST(PatchPlan, SplitsIntoSegmentsOfAtMost255Bytes) {
  using S = std::vector<std::pair<int, int>>;
  auto plan = [](std::uint16_t start, int length) {
    S out;
    for (const PatchSegment& s : PlanPatchSegments(start, length)) out.push_back({s.address, s.count});
    return out;
  };
  EXPECT_EQ(plan(0x600, 4), (S{{0x600, 4}}));
  EXPECT_EQ(plan(0x600, 255), (S{{0x600, 255}}));
  EXPECT_EQ(plan(0x600, 256), (S{{0x600, 255}, {0x6FF, 1}}));
  EXPECT_EQ(plan(0x600, 320), (S{{0x600, 255}, {0x6FF, 65}}));
  EXPECT_EQ(plan(0x600, 510), (S{{0x600, 255}, {0x6FF, 255}}));
  EXPECT_EQ(plan(0x500, 766), (S{{0x500, 255}, {0x5FF, 255}, {0x6FE, 255}, {0x7FD, 1}}));
}

TEST(LedTimerRescaling, ConvertsInWholeTenthsRoundedHalfUp) {
  struct Case {
    const char* shows;
    std::uint16_t value;
    bool toCapable;
    std::uint16_t result;
  } cases[] = {
      {"timer 1 default to the old scale", 0x004B, false, 0x07FE},
      {"timer 1 default back to the capable scale", 0x07FE, true, 0x004B},
      {"timer 2 default to the old scale", 0x020D, false, 0x37F2},
      {"timer 2 default back", 0x37F2, true, 0x020D},
      {"5.498 tenths round down", 2250, true, 75},
      {"5.52 tenths round up", 2260, true, 90},
      {"3 tenths are 1227.6 counts, rounded up", 45, false, 1228},
      {"zero stays zero", 0, false, 0},
      {"a result past 16 bits saturates", 0xFFFF, false, 0xFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    EXPECT_EQ(RescaleLedTimer(c.value, c.toCapable), c.result);
  }
}

TEST(LedTimerRanges, ReplaceOutOfRangeTimersByTheDefaultOfTheCurrentScale) {
  Codeplug cp;
  cp.LedStayOnCapable = true;
  cp.SetWord16(map::kPowerLedOn, 0);       // 0 tenths
  cp.SetWord16(map::kPowerLedOff, 15 * 100); // 100 tenths, the last allowed
  EXPECT_EQ(CheckLedTimerRanges(cp), 1);
  EXPECT_EQ(cp.Word16(map::kPowerLedOn), 0x004B);
  EXPECT_EQ(cp.Word16(map::kPowerLedOff), 1500);

  cp.LedStayOnCapable = false;
  cp.SetWord16(map::kPowerLedOn, 12276);   // 30 tenths, the last allowed
  cp.SetWord16(map::kPowerLedOff, 0xFFFF); // 160 tenths
  EXPECT_EQ(CheckLedTimerRanges(cp), 1);
  EXPECT_EQ(cp.Word16(map::kPowerLedOn), 12276);
  EXPECT_EQ(cp.Word16(map::kPowerLedOff), 0x37F2);

  cp.SetWord16(map::kPowerLedOn, 12277 + 204); // rounds to 31 tenths
  EXPECT_EQ(CheckLedTimerRanges(cp), 1);
  EXPECT_EQ(cp.Word16(map::kPowerLedOn), 0x07FE);
}

TEST(FirmwareVersionBcd, PacksSixDigitsMostSignificantFirst) {
  std::uint8_t out[3];
  PackFirmwareVersion(10209, out);
  EXPECT_EQ(std::vector<int>(out, out + 3), (std::vector<int>{0x01, 0x02, 0x09}));
  PackFirmwareVersion(0, out);
  EXPECT_EQ(std::vector<int>(out, out + 3), (std::vector<int>{0x00, 0x00, 0x00}));
  PackFirmwareVersion(987654, out);
  EXPECT_EQ(std::vector<int>(out, out + 3), (std::vector<int>{0x98, 0x76, 0x54}));
}

} // namespace
} // namespace pw
