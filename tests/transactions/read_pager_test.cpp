// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "transactions/pager_bench.h"

namespace pw::test {
namespace {

using Reads = std::vector<std::pair<int, int>>;

// A pager whose codeplug differs from the one in memory, so that any byte reaching
// WorkingImage shows.
void MakeDistinct(Image& e) {
  SetText(e, map::kSerialNumber, "PAGER12345");
  e[map::AddressWord1(1) + 2] = 0x77;
  Seal(e);
}

struct ReadFailureCase {
  const char* shows;
  std::function<void(PagerBench&)> setup;
  Shown::Kind kind;
  Message message;
};

std::vector<ReadFailureCase> ReadFailureCases() {
  using K = Shown::Kind;
  const Message readingFail = Error("Reading Fail");
  const Message dataError = Info("Data Error, Please Update Pager Codeplug");
  const Message headerError = Info("EEPROM Data Error, Please Update Codeplug.");
  auto nth = [](int n, sim::PagerFaults f) {
    return [n, f](PagerBench& b) {
      b.pager.NextFaults.assign(n, sim::PagerFaults{});
      b.pager.NextFaults.push_back(f);
    };
  };
  auto eeprom = [](std::function<void(Image&)> change, bool seal = true) {
    return [change, seal](PagerBench& b) {
      change(b.pager.Eeprom);
      if (seal) Seal(b.pager.Eeprom);
    };
  };
  // A block read answered with these data bytes, whatever the EEPROM holds.
  auto answered = [](int n, std::vector<std::uint8_t> data, std::function<void(Image&)> change) {
    return [=](PagerBench& b) {
      change(b.pager.Eeprom);
      Seal(b.pager.Eeprom);
      const std::uint16_t sum = sim::WireSum16(data.data(), data.size());
      std::vector<std::uint8_t> reply{kAck};
      reply.insert(reply.end(), data.begin(), data.end());
      reply.push_back(static_cast<std::uint8_t>(sum >> 8));
      reply.push_back(static_cast<std::uint8_t>(sum));
      b.pager.NextFaults.assign(n, sim::PagerFaults{});
      b.pager.NextFaults.push_back(Answer(reply));
    };
  };
  auto header = [](std::uint16_t start, std::uint16_t length) {
    return [start, length](Image& e) {
      e[map::kPatchStart] = static_cast<std::uint8_t>(start >> 8);
      e[map::kPatchStart + 1] = static_cast<std::uint8_t>(start);
      e[map::kPatchLength] = static_cast<std::uint8_t>(length >> 8);
      e[map::kPatchLength + 1] = static_cast<std::uint8_t>(length);
    };
  };
  return {
      {"an unanswered version query asks Retry/Cancel and Cancel ends without a box",
       [](PagerBench& b) { b.pager.Faults.silent = true; }, K::RetryCancel,
       Message{kProtocolError, "Warning", Icon::None}},
      {"a NAK inside the version reply is an unsupported firmware",
       nth(0, Answer({0x04, 'R', 0x15, '6', '1', 0x00})),
       K::Box,
       Info("PPS not support this firmware version, please\ncontact service center for further "
            "information")},
      {"an unanswered stamp read asks Retry/Cancel", nth(1, Silent()), K::RetryCancel,
       Message{kProtocolError, "Warning", Icon::None}},
      {"a NAK to the stamp read fails", nth(1, Nak()), K::Box, readingFail},
      {"a wrong stamp checksum fails", nth(1, WrongChecksum()), K::Box, readingFail},
      {"version digits that are no number fail",
       [](PagerBench& b) { b.pager.FirmwareDigits = "01A209"; }, K::Box, readingFail},
      {"a pager stamp of a later release is refused",
       eeprom([](Image& e) { SetText(e, map::kSoftwareStamp, "010210"); }), K::Box,
       Warning("This pager has been programmed with a later\nPPS version. It cannot be read by "
               "this PPS.")},
      {"a NAK to the pager ID read fails", nth(2, Nak()), K::Box, readingFail},
      {"a POCSAG pager ID is refused with two spaces before is",
       eeprom([](Image& e) { e[map::kPagerId] = 0x0F, e[map::kPagerId + 1] = 0xF0; }), K::Box,
       Info("Pager ID is POCSAG, This PPS version  is not support")},
      {"a marker other than 0x78 is a damaged codeplug",
       eeprom([](Image& e) { e[map::kMarker] = 0x79; }), K::Box,
       Info("Codeplug Data Error, Please Programming Pager again")},
      {"band byte 0x02 (family 1, sub-band 0) is refused",
       eeprom([](Image& e) { e[map::kBandByte] = 0x02; }), K::Box,
       Info("EEPROM Data Error,please\ncontact service center for further information.")},
      {"band byte 0x06 (family 3) is refused", eeprom([](Image& e) { e[map::kBandByte] = 0x06; }),
       K::Box, Info("EEPROM Data Error,please\ncontact service center for further information.")},
      {"no PATCH signature is an empty EEPROM",
       eeprom([](Image& e) { e[map::kPatchSignature + 4] = 'X'; }), K::Box, Info("EEPROM empty")},
      {"a wrong header check byte", eeprom([](Image& e) { e[map::kPatchHeaderCheck] ^= 1; }, false),
       K::Box, headerError},
      {"a patch length below 3", eeprom(header(0x600, 2)), K::Box, headerError},
      {"a patch length beyond the image and the receive buffer", eeprom(header(0x000, 2199)), K::Box,
       headerError},
      {"a patch block reaching past the image", eeprom(header(0x700, 0x101)), K::Box,
       headerError},
      {"firmware 10204 refuses patch version 4",
       [](PagerBench& b) {
         b.pager.FirmwareDigits = "010204";
         SetShortPatchVersion(b.pager.Eeprom, 4);
       },
       K::Box,
       Warning("This pager has been programmed with a later\nPatch version. It cannot be read by "
               "this PPS.")},
      {"a NAK to the marker read fails", nth(3, Nak()), K::Box, readingFail},
      {"a NAK to the band read fails", nth(4, Nak()), K::Box, readingFail},
      {"a NAK to the signature read fails", nth(5, Nak()), K::Box, readingFail},
      {"a NAK to the header read fails", nth(6, Nak()), K::Box, readingFail},
      {"a NAK to the patch version read fails", nth(7, Nak()), K::Box, readingFail},
      {"a NAK to the page 0 read fails", nth(8, Nak()), K::Box, readingFail},
      {"a NAK to the page 1 read fails with the gauge back at 0", nth(9, Nak()), K::Box,
       readingFail},
      {"page 0 with its checksum bytes swapped", eeprom([](Image& e) {
         std::swap(e[map::kPage0ChecksumHi], e[map::kPage0ChecksumLo]);
       }, false),
       K::Box, dataError},
      {"a wrong page 1 checksum", eeprom([](Image& e) { e[map::kPage1ChecksumLo] ^= 1; }, false),
       K::Box, dataError},
      {"a lower-case serial letter",
       eeprom([](Image& e) { e[map::kSerialNumber + 3] = 'g'; }), K::Box,
       Info("Serail Number Error, Please Read Pager or Load Codeplug again.")},
      {"a NAK to the patch read fails", nth(10, Nak()), K::Box, readingFail},
      {"a wrong patch block checksum",
       eeprom([](Image& e) { e[map::kPatchCode + 3] ^= 1; }, false), K::Box, dataError},
      {"a patch block lying over page 0", eeprom(header(0x000, 0x100)), K::Box, headerError},
      // Page data that disagree with what the small reads checked.
      {"page 0 with another marker than the marker read",
       answered(3, {0x78}, [](Image& e) { e[map::kMarker] = 0x79; }), K::Box,
       Info("Codeplug Data Error, Please Programming Pager again")},
      {"page 1 with a band byte of family 3",
       answered(4, {0x00}, [](Image& e) { e[map::kBandByte] = 0x06; }), K::Box,
       Info("EEPROM Data Error,please\ncontact service center for further information.")},
      {"page 1 with another valid band",
       answered(4, {0x00}, [](Image& e) { e[map::kBandByte] = 0x0A; }), K::Box,
       Info("EEPROM Data Error,please\ncontact service center for further information.")},
      {"page 1 with a later stamp than the stamp read",
       answered(1, {'0', '1', '0', '2', '0', '9'},
                [](Image& e) { SetText(e, map::kSoftwareStamp, "010210"); }),
       K::Box,
       Warning("This pager has been programmed with a later\nPPS version. It cannot be read by "
               "this PPS.")},
      {"a patch block with another version than the version read",
       answered(7, {0x02, 0xFF, 0x9D}, [](Image& e) { SetShortPatchVersion(e, 3); }), K::Box,
       Warning("This pager has been programmed with a later\nPatch version. It cannot be read by "
               "this PPS.")},
  };
}

TEST(ReadPagerFailures, EachShowsItsOneMessageAndLeavesTheCodeplugAlone) {
  for (const ReadFailureCase& c : ReadFailureCases()) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    MakeDistinct(b.pager.Eeprom);
    c.setup(b);
    b.cp.CodeplugBandFamily = 2;
    const Image before = b.cp.WorkingImage;

    const TransactionOutcome outcome = ReadPager(b.ctx);
    EXPECT_EQ(outcome.ending, c.message == Error("Reading Fail")        ? Ending::LinkFailure
                              : c.kind == Shown::Kind::RetryCancel ? Ending::Cancelled
                                                                   : Ending::Refused);
    ASSERT_EQ(b.host.shown.size(), 1u) << ::testing::PrintToString(b.host.Texts());
    EXPECT_EQ(b.host.shown[0].kind, c.kind);
    EXPECT_EQ(b.host.shown[0].message, c.message);
    EXPECT_TRUE(b.cp.WorkingImage == before);
    EXPECT_EQ(b.cp.CodeplugBandFamily, 2);
    EXPECT_EQ(b.host.Progress(), 0);
  }
}

TEST(ReadPager, ReadsTheBlocksInOrderAndTakesThePagersCodeplug) {
  PagerBench b;
  MakeDistinct(b.pager.Eeprom);
  b.cp.OutOfRangeTimerEdited = true;
  const Image pager = b.pager.Eeprom;

  const TransactionOutcome outcome = ReadPager(b.ctx);
  ASSERT_TRUE(outcome.Ok());
  EXPECT_EQ(outcome.serialNumber, "PAGER12345");
  EXPECT_EQ(outcome.pagerStamp, "010209");
  EXPECT_TRUE(outcome.image == b.cp.WorkingImage);
  EXPECT_EQ(b.Reads(), (Reads{{0x1F7, 6}, {0x20C, 2}, {0x012, 1}, {0x1EC, 1}, {0x200, 5},
                              {0x205, 7}, {0x601, 3}, {0x000, 256}, {0x100, 255}, {0x600, 4}}));
  EXPECT_EQ(b.port.Opens, 1);
  ASSERT_EQ(b.host.shown.size(), 1u);
  EXPECT_EQ(b.host.shown[0].message, Information("Codeplug  has  been  Read!"));

  EXPECT_TRUE(std::equal(pager.begin(), pager.begin() + 0x1FF, b.cp.WorkingImage.begin()));
  EXPECT_TRUE(std::equal(pager.begin() + 0x200, pager.begin() + 0x20C,
                         b.cp.WorkingImage.begin() + 0x200));
  EXPECT_TRUE(std::equal(pager.begin() + 0x600, pager.begin() + 0x604,
                         b.cp.WorkingImage.begin() + 0x600));
  EXPECT_TRUE(std::equal(b.cp.ReadImage.begin(), b.cp.ReadImage.end(), pager.begin()));

  EXPECT_EQ(b.cp.PatchVersion, 2);
  EXPECT_EQ(b.cp.ImageFirmwareVersion, 10209u);
  EXPECT_FALSE(b.cp.OutOfRangeTimerEdited);
  EXPECT_TRUE(b.cp.LedStayOnCapable);
  EXPECT_EQ(b.host.Text("lblFireware_Version"), b.link.FirmwareVersionText);
  EXPECT_FALSE(b.link.FirmwareVersionText.empty());
  EXPECT_EQ(b.host.Text("lblCodeplug_Version"), "R010209");
  EXPECT_GE(*std::max_element(b.host.progressHistory.begin(), b.host.progressHistory.end()), 99);
  EXPECT_EQ(b.host.Progress(), 0);
}

TEST(ReadPager, PausesBeforeEachCheckAndBeforeThePagesAndThePatch) {
  PagerBench b;
  PauseLog log(b);
  ASSERT_TRUE(ReadPager(log.ctx));
  // Requests: version, stamp, ID, marker, band, signature, header, patch version, page 0,
  // page 1, patch. No pause before the patch version read nor between the two pages.
  EXPECT_EQ(log.pauses, (Reads{{1, 100}, {2, 100}, {3, 100}, {4, 100}, {5, 100}, {6, 100},
                               {8, 100}, {10, 100}}));
}

TEST(ReadPager, TakesTheBandOfThePagerAndALongPatch) {
  PagerBench b;
  Image& e = b.pager.Eeprom;
  e[map::kBandByte] = 0x0A; // VHF, sub-band 1
  const PatchSet set6 = Codeplug::BuiltInPatchSet(6);
  std::copy(set6.header.begin(), set6.header.end(), e.begin() + map::kPatchHeader);
  std::copy_n(set6.code, set6.length, e.begin() + map::kPatchCode);
  Seal(e);

  ASSERT_TRUE(ReadPager(b.ctx));
  EXPECT_EQ(b.Reads().back(), std::make_pair(0x600, 320));
  EXPECT_EQ(b.Reads()[6], std::make_pair(0x600 + 320 - 3, 3));
  EXPECT_EQ(b.cp.CodeplugBandFamily, 1);
  EXPECT_EQ(b.cp.CodeplugSubBand, 1);
  EXPECT_EQ(b.cp.PatchVersion, 4);
  EXPECT_TRUE(std::equal(set6.code, set6.code + 320, b.cp.WorkingImage.begin() + 0x600));
  EXPECT_DOUBLE_EQ(b.link.ProgressTotal, 320 + 511);
}

TEST(ReadPagerStamp, OnlyALaterReleaseIsRefused) {
  struct Case {
    const char* stamp;
    bool read;
    const char* label;
  } cases[] = {
      {"010210", false, "before"},
      {"010209", true, "R010209"},
      {"000000", true, "R000000"},
      {"01020X", true, "R000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stamp);
    PagerBench b;
    SetText(b.pager.Eeprom, map::kSoftwareStamp, c.stamp);
    Seal(b.pager.Eeprom);
    b.host.SetText("lblCodeplug_Version", "before");
    EXPECT_EQ(ReadPager(b.ctx).Ok(), c.read);
    EXPECT_EQ(b.host.Text("lblCodeplug_Version"), c.label);
  }
}

TEST(ReadPager, ALowerCaseSerialEndsAfterBothPagesWithTheGaugeAtZero) {
  PagerBench b;
  SetText(b.pager.Eeprom, map::kSerialNumber, "12345abcde");
  Seal(b.pager.Eeprom);
  EXPECT_FALSE(ReadPager(b.ctx));
  const Reads reads = b.Reads();
  EXPECT_EQ(reads.back(), std::make_pair(0x100, 255));
  EXPECT_EQ(reads[reads.size() - 2], std::make_pair(0x000, 256));
  EXPECT_GT(*std::max_element(b.host.progressHistory.begin(), b.host.progressHistory.end()), 50);
  EXPECT_EQ(b.host.Progress(), 0);
}

TEST(ReadPager, ABrokenHeaderLengthIsRefusedBeforeAnyBlockRead) {
  PagerBench b;
  b.pager.Eeprom[map::kPatchLength] = 0x09; // 0x904 bytes
  Seal(b.pager.Eeprom);
  EXPECT_FALSE(ReadPager(b.ctx));
  EXPECT_EQ(b.Reads().back(), std::make_pair(0x205, 7));
  EXPECT_EQ(b.host.Last()->text, "EEPROM Data Error, Please Update Codeplug.");
}

TEST(ReadPagerLedScale, FollowsTheFirmwareAndRepairsTimersOutOfRange) {
  struct Case {
    const char* shows;
    const char* firmware;
    std::uint8_t flags;
    std::array<std::uint8_t, 4> timers;
    std::uint8_t flagsAfter;
    std::array<std::uint8_t, 4> timersAfter;
  } cases[] = {
      {"10200 clears bit 0 and rescales to the old scale", "010200", 0x09,
       {0x00, 0x4B, 0x02, 0x0D}, 0x08, {0x07, 0xFE, 0x37, 0xF2}},
      {"10201 sets bit 0 and rescales to the capable scale", "010201", 0x00,
       {0x07, 0xFE, 0x37, 0xF2}, 0x01, {0x00, 0x4B, 0x02, 0x0D}},
      {"10209 on the capable scale keeps the timers", "010209", 0x01,
       {0x00, 0x96, 0x00, 0x0F}, 0x01, {0x00, 0x96, 0x00, 0x0F}},
      {"a timer out of range becomes its default", "010209", 0x01,
       {0x00, 0x00, 0x3A, 0x98}, 0x01, {0x00, 0x4B, 0x02, 0x0D}},
      {"defaults on the old scale", "010200", 0x00, {0x31, 0x00, 0x00, 0x00}, 0x00,
       {0x07, 0xFE, 0x37, 0xF2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    b.pager.FirmwareDigits = c.firmware;
    b.pager.Eeprom[map::kFeatureFlags] = c.flags;
    std::copy(c.timers.begin(), c.timers.end(), b.pager.Eeprom.begin() + map::kPowerLedOn);
    Seal(b.pager.Eeprom);
    ASSERT_TRUE(ReadPager(b.ctx));
    EXPECT_EQ(b.cp.At(map::kFeatureFlags), c.flagsAfter);
    EXPECT_EQ(b.cp.LedStayOnCapable, (c.flagsAfter & 1) != 0);
    std::array<std::uint8_t, 4> after{};
    std::copy_n(b.cp.WorkingImage.begin() + map::kPowerLedOn, 4, after.begin());
    EXPECT_EQ(after, c.timersAfter);
  }
}

TEST(ReadPagerRetry, RepeatsTheVersionQueryWithoutReopeningThePort) {
  struct Case {
    const char* shows;
    int silentRequest; // 0: the version query, 1: the stamp read
  } cases[] = {{"after a silent version query", 0}, {"after a silent stamp read", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    b.pager.NextFaults.assign(c.silentRequest, sim::PagerFaults{});
    b.pager.NextFaults.push_back(Silent());
    b.host.retryAnswers = {true};
    ASSERT_TRUE(ReadPager(b.ctx));
    EXPECT_EQ(b.port.Opens, 1);
    EXPECT_EQ(b.pager.FramesOf(sim::FrameKind::VersionQuery).size(), 2u);
    ASSERT_EQ(b.host.shown.size(), 2u);
    EXPECT_EQ(b.host.shown[0].kind, Shown::Kind::RetryCancel);
    EXPECT_EQ(b.host.shown[1].message, Information("Codeplug  has  been  Read!"));
  }
}

} // namespace
} // namespace pw::test
