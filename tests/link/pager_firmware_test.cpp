// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated pager itself: what other tests rely on it to do.
#include <gtest/gtest.h>

#include "link_test_support.h"

namespace pw::test {
namespace {

using sim::FrameKind;
using sim::PagerFirmware;
using sim::Reply;

std::vector<std::uint8_t> Values(const Reply& reply) {
  std::vector<std::uint8_t> out;
  for (const auto& r : reply)
    out.push_back(r.value);
  return out;
}

Reply Feed(PagerFirmware& pager, const std::vector<std::uint8_t>& bytes, std::uint64_t at = 0,
           std::uint64_t step = 10) {
  Reply last;
  for (std::uint8_t b : bytes) {
    Reply r = pager.Receive(b, at);
    at += step;
    last.insert(last.end(), r.begin(), r.end());
  }
  return last;
}

TEST(PagerFirmware, WriteFrameStoresTheDataAndIsLogged) {
  PagerFirmware pager(PatternImage());
  Reply reply = Feed(pager, {0x77, 0x06, 0x00, 0x00, 0x01, 0xAB, 0xCD, 0x01, 0x78});
  EXPECT_EQ(Values(reply), (std::vector<std::uint8_t>{0x06, 0x0C}));
  EXPECT_EQ(pager.Eeprom[0x600], 0xAB);
  EXPECT_EQ(pager.Eeprom[0x601], 0xCD);
  ASSERT_EQ(pager.Frames.size(), 1u);
  EXPECT_EQ(pager.Frames[0].kind, FrameKind::Write);
  EXPECT_EQ(pager.Frames[0].address, 0x600);
  EXPECT_EQ(pager.Frames[0].count, 2);
  EXPECT_EQ(pager.Frames[0].data, (std::vector<std::uint8_t>{0xAB, 0xCD}));
}

TEST(PagerFirmware, WriteWithAWrongChecksumIsRefusedAndStoresNothing) {
  const Image before = PatternImage();
  PagerFirmware pager(before);
  Reply reply = Feed(pager, {0x77, 0x06, 0x00, 0x00, 0x01, 0xAB, 0xCD, 0x78, 0x01});
  EXPECT_EQ(Values(reply), (std::vector<std::uint8_t>{0x15}));
  EXPECT_EQ(pager.Eeprom, before);
  EXPECT_FALSE(pager.Frames[0].checksumOk);
}

TEST(PagerFirmware, RequestsPastTheEndOfTheEepromAreRefused) {
  PagerFirmware pager(PatternImage());
  EXPECT_EQ(Values(Feed(pager, {0x72, 0x07, 0xFF, 0x00, 0x01})), (std::vector<std::uint8_t>{0x15}));
  EXPECT_EQ(Values(Feed(pager, {0x72, 0x07, 0xFF, 0x00, 0x00})).size(), 4u);
  EXPECT_EQ(Values(Feed(pager, {0x77, 0x07, 0xFF, 0x00, 0x01, 0x01, 0x02, 0x00, 0x03})),
            (std::vector<std::uint8_t>{0x15}));
}

TEST(PagerFirmware, JunkBeforeARequestIsSkipped) {
  PagerFirmware pager(PatternImage());
  Reply reply = Feed(pager, {0x00, 'S', 'U', 'x', 'S', 'U', 'n', 'i', 'R', 'S', 'T'});
  EXPECT_EQ(Values(reply), (std::vector<std::uint8_t>{0x06}));
  EXPECT_EQ(pager.FramesOf(FrameKind::Reset).size(), 1u);
  EXPECT_EQ(pager.IgnoredBytes, 4u);
}

TEST(PagerFirmware, APartialRequestIsDroppedAfterAPause) {
  PagerFirmware pager(PatternImage());
  EXPECT_TRUE(Feed(pager, {0x72, 0x00, 0x00}, 0).empty());
  // The rest comes far too late: it is a new (incomplete) request, not the end of the old one.
  EXPECT_TRUE(Feed(pager, {0x00, 0x00}, 10000).empty());
  EXPECT_EQ(Values(Feed(pager, {0x72, 0x01, 0xEC, 0x00, 0x00}, 10100)).size(), 4u);
  EXPECT_EQ(pager.Frames.size(), 1u);
}

TEST(PagerFirmware, PerRequestFaultsComeBeforeThePersistentOnes) {
  PagerFirmware pager(PatternImage());
  pager.Faults.nak = true;
  pager.NextFaults.push_back({});
  const std::vector<std::uint8_t> reset{'S', 'U', 'n', 'i', 'R', 'S', 'T'};
  EXPECT_EQ(Values(Feed(pager, reset)), (std::vector<std::uint8_t>{0x06}));
  EXPECT_EQ(Values(Feed(pager, reset)), (std::vector<std::uint8_t>{0x15}));
}

TEST(PagerFirmware, IgnoresAsManyResetsAsAsked) {
  PagerFirmware pager(PatternImage());
  pager.ResetSilentTimes = 2;
  const std::vector<std::uint8_t> reset{'S', 'U', 'n', 'i', 'R', 'S', 'T'};
  EXPECT_TRUE(Feed(pager, reset).empty());
  EXPECT_TRUE(Feed(pager, reset).empty());
  EXPECT_EQ(Values(Feed(pager, reset)), (std::vector<std::uint8_t>{0x06}));
  EXPECT_EQ(pager.FramesOf(FrameKind::Reset).size(), 3u);
}

TEST(InProcessPagerPort, AReplyIsReadyOnlyWhenItsDelayHasPassed) {
  VirtualClock clock;
  PagerFirmware pager(PatternImage());
  pager.Faults.completionDelayMs = 3000;
  sim::InProcessPagerPort port(pager, clock);
  ASSERT_TRUE(port.Open(1200, 0, 8, 1.0f));
  for (std::uint8_t b : {0x77, 0x06, 0x00, 0x00, 0x00, 0x05, 0x00, 0x05})
    port.WriteByte(b);
  std::uint8_t b = 0;
  ASSERT_TRUE(port.ReadByte(b));
  EXPECT_EQ(b, 0x06);
  EXPECT_EQ(clock.Ticks(), 0u);
  port.Purge(); // the completion byte is still on its way: a purge does not lose it
  ASSERT_TRUE(port.ReadByte(b));
  EXPECT_EQ(b, 0x0C);
  EXPECT_EQ(clock.Ticks(), 3000u);
  EXPECT_FALSE(port.ReadByte(b));
  EXPECT_EQ(clock.Ticks(), 8200u);
}

TEST(InProcessPagerPort, AClosedPortMovesNothing) {
  VirtualClock clock;
  PagerFirmware pager(PatternImage());
  sim::InProcessPagerPort port(pager, clock);
  std::uint8_t b = 0;
  EXPECT_FALSE(port.WriteByte(0x72));
  EXPECT_FALSE(port.ReadByte(b));
  EXPECT_FALSE(port.Purge());
  EXPECT_FALSE(port.Close());
  EXPECT_EQ(clock.Ticks(), 0u);
  port.FailOpen = true;
  EXPECT_FALSE(port.Open(1200, 0, 8, 1.0f));
  EXPECT_FALSE(port.IsOpen());
}

// A unit pulled after its second write keeps that write but never answers it, and the next
// unit follows after the gap; a unit that acknowledged its reset leaves the set time later.
TEST(PagerCradle, PullsAUnitAfterItsWritesAndLetsAFinishedUnitLeave) {
  const std::vector<std::uint8_t> first{0x77, 0x06, 0x00, 0x00, 0x01, 0xAB, 0xCD, 0x01, 0x78};
  const std::vector<std::uint8_t> second{0x77, 0x06, 0x10, 0x00, 0x01, 0x12, 0x34, 0x00, 0x46};
  const std::vector<std::uint8_t> reset{'S', 'U', 'n', 'i', 'R', 'S', 'T'};
  const std::vector<std::uint8_t> stored{0x06, 0x0C};
  sim::PagerCradle cradle(sim::NumberedUnits(PatternImage(), "010209", 3),
                          sim::CradleSchedule{0, 0, 500, 2000});
  cradle.PullAfterWrites = {2, 0}; // the third unit is not in the table: never pulled
  auto feed = [&](const std::vector<std::uint8_t>& bytes, std::uint64_t at) {
    Reply all;
    for (std::uint8_t b : bytes) {
      const Reply r = cradle.Receive(b, at);
      all.insert(all.end(), r.begin(), r.end());
    }
    return Values(all);
  };
  EXPECT_EQ(feed(first, 0), stored);
  EXPECT_TRUE(feed(second, 100).empty());
  EXPECT_EQ(cradle.Units[0].Eeprom[0x610], 0x12);
  EXPECT_TRUE(feed(second, 400).empty()); // the cradle is empty
  EXPECT_EQ(feed(first, 600), stored);
  EXPECT_EQ(feed(second, 700), stored);
  EXPECT_EQ(feed(reset, 800), (std::vector<std::uint8_t>{0x06}));
  EXPECT_EQ(cradle.OnLine(2799), &cradle.Units[1]);
  EXPECT_EQ(cradle.OnLine(2800), nullptr);
  for (std::uint64_t at : {3300u, 3400u})
    EXPECT_EQ(feed(second, at), stored);
  EXPECT_EQ(cradle.Events,
            (std::vector<sim::CradleEvent>{
                {0, 0, true}, {100, 0, false}, {600, 1, true}, {2800, 1, false}, {3300, 2, true}}));
}

} // namespace
} // namespace pw::test

namespace pw::test {
namespace {

TEST(DefaultPagerEeprom, HoldsTheStampAndSoundPageChecksums) {
  const Image eeprom = sim::DefaultPagerEeprom();
  EXPECT_EQ(std::string(eeprom.begin() + map::kSoftwareStamp,
                        eeprom.begin() + map::kSoftwareStamp + map::kStampLength),
            "010209");
  EXPECT_EQ(eeprom[map::kPage0ChecksumHi] << 8 | eeprom[map::kPage0ChecksumLo],
            InvertedSum16(&eeprom[map::kPage0Start], map::kPage0ChecksumHi - map::kPage0Start));
  EXPECT_EQ(eeprom[map::kPage1ChecksumHi] << 8 | eeprom[map::kPage1ChecksumLo],
            InvertedSum16(&eeprom[map::kPage1Start], map::kPage1ChecksumHi - map::kPage1Start));
  for (const map::ForcedByte& f : map::kForcedBytes)
    EXPECT_EQ(eeprom[f.offset], f.value);
  EXPECT_EQ(sim::PagerFirmware().Eeprom, eeprom);
  EXPECT_EQ(sim::PagerFirmware().FirmwareDigits, "010209");
}

} // namespace
} // namespace pw::test
