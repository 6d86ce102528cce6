// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "link_test_support.h"

namespace pw::test {
namespace {

using sim::PagerFaults;

constexpr std::uint8_t kBandValue = 0x77; // PatternImage at 0x1EC

// ---- Block reads ------------------------------------------------------------------------

TEST(ReadBlock, OneByteAtTheBandByteIsFiveRequestBytesAndAFourByteReply) {
  LinkRig rig;
  ASSERT_EQ(rig.link.ReadBlock(rig.port, map::kBandByte, 1, kProgressNone), kLinkSuccess);
  EXPECT_EQ(rig.port.WrittenBytes(), (std::vector<std::uint8_t>{0x72, 0x01, 0xEC, 0x00, 0x00}));
  EXPECT_EQ(rig.ReadBytes(), (std::vector<std::uint8_t>{0x06, kBandValue, 0x00, kBandValue}));
  EXPECT_EQ(rig.link.ReceiveBuffer[0], kBandValue);
  EXPECT_EQ(rig.link.ReceiveBuffer[1], 0x00);
  EXPECT_EQ(rig.link.ReceiveBuffer[2], kBandValue);
  EXPECT_EQ(rig.port.Purges, 1);
}

TEST(ReadBlock, DataLandInTheReceiveBufferAndStaleBytesAreCleared) {
  LinkRig rig;
  rig.link.ReceiveBuffer.fill(0xEE);
  ASSERT_EQ(rig.link.ReadBlock(rig.port, 0x0100, 255, kProgressNone), kLinkSuccess);
  for (int i = 0; i < 255; ++i)
    ASSERT_EQ(rig.link.ReceiveBuffer[i], rig.pager.Eeprom[0x100 + i]) << "byte " << i;
  for (std::size_t i = 257; i < kLinkBufferSize; ++i)
    ASSERT_EQ(rig.link.ReceiveBuffer[i], 0);
}

struct FaultCase {
  const char* shows;
  PagerFaults faults;
  LinkResult expected;
};

class ReadBlockFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(ReadBlockFaults, GiveTheirResult) {
  LinkRig rig;
  rig.pager.Faults = GetParam().faults;
  EXPECT_EQ(rig.link.ReadBlock(rig.port, 0x0000, 256, kProgressNone), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Link, ReadBlockFaults,
    testing::Values(
        FaultCase{"swapped checksum bytes are a mismatch", PagerFaults{.swapChecksum = true},
                  kLinkChecksum},
        FaultCase{"a wrong checksum is a mismatch", PagerFaults{.wrongChecksum = true},
                  kLinkChecksum},
        FaultCase{"a NAK is reported as NAK", PagerFaults{.nak = true}, kLinkNak},
        FaultCase{"silence is no reply", PagerFaults{.silent = true}, kLinkNoReply},
        FaultCase{"a stray first byte is a failure", PagerFaults{.strayByte = 0x00}, kLinkFailure},
        FaultCase{"a reply cut short is no reply", PagerFaults{.cutAfter = 100}, kLinkNoReply},
        FaultCase{"the checksum missing its low byte is no reply", PagerFaults{.cutAfter = 258},
                  kLinkNoReply}),
    [](const auto& info) {
      std::string name = info.param.shows;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
          c = '_';
      return name;
    });

TEST(ReadBlock, SilentPagerCostsOneReadTimeOut) {
  LinkRig rig;
  rig.pager.Faults.silent = true;
  ASSERT_EQ(rig.link.ReadBlock(rig.port, 0x0000, 16, kProgressNone), kLinkNoReply);
  // 5 x 10 ms request pacing, 10 ms before the reply, one 5200 ms read.
  EXPECT_EQ(rig.clock.Ticks(), 60u + 5200u);
  EXPECT_EQ(rig.host.pumps, 0);
}

TEST(ReadBlock, OversizeCountsAreRefusedBeforeAnythingIsSent) {
  for (int count : {0, -1, 2199, 65536}) {
    LinkRig rig;
    EXPECT_EQ(rig.link.ReadBlock(rig.port, 0x0000, count, kProgressNone), kLinkFailure) << count;
    EXPECT_TRUE(rig.port.Written.empty()) << count;
  }
  LinkRig rig; // the largest count that fits is sent (and refused by the pager: past its EEPROM)
  EXPECT_EQ(rig.link.ReadBlock(rig.port, 0x0000, 2198, kProgressNone), kLinkNak);
  EXPECT_EQ(rig.port.WrittenBytes(), (std::vector<std::uint8_t>{0x72, 0x00, 0x00, 0x08, 0x95}));
}

TEST(ReadBlock, FailedWriteEndsAtOnce) {
  LinkRig rig;
  rig.port.FailWriteAfter = 2;
  EXPECT_EQ(rig.link.ReadBlock(rig.port, 0x0000, 16, kProgressNone), kLinkFailure);
  EXPECT_EQ(rig.port.Written.size(), 2u);
  EXPECT_TRUE(rig.port.ReadCalls.empty());
}

// ---- Gauge --------------------------------------------------------------------------------

std::vector<int> Range(int first, int last) {
  std::vector<int> v;
  for (int i = first; i <= last; ++i)
    v.push_back(i);
  return v;
}

TEST(Gauge, ReadingBothPagesRunsFromOneToOneHundredOnce) {
  LinkRig rig;
  rig.link.ProgressTotal = 511;
  ASSERT_EQ(rig.link.ReadBlock(rig.port, map::kPage0Start, 256, kProgressPage0), kLinkSuccess);
  // x = i for i = 0..257: 257 / 511 gives 50.79 %, rounded to 50.
  EXPECT_EQ(rig.host.progressHistory, Range(1, 50));
  ASSERT_EQ(rig.link.ReadBlock(rig.port, map::kPage1Start, 255, kProgressPage1), kLinkSuccess);
  // x = i + 256 for i = 0..256: 512 / 511 gives 100.2 %.
  EXPECT_EQ(rig.host.progressHistory, Range(1, 100));
  EXPECT_EQ(rig.host.pumps, 2); // once per read, after its first reply byte
}

TEST(Gauge, ReadPatchAndFromZeroModesPlaceTheBytes) {
  LinkRig rig;
  rig.link.ProgressTotal = 1000;
  ASSERT_EQ(rig.link.ReadBlock(rig.port, 0x0600, 20, kProgressPatch), kLinkSuccess);
  // x = i + 511 for i = 0..21: 51.1 % .. 53.2 %, rounded.
  EXPECT_EQ(rig.host.progressHistory, (std::vector<int>{51, 52, 53}));
  rig.host.progressHistory.clear();
  rig.host.progress = 0;
  ASSERT_EQ(rig.link.ReadBlock(rig.port, 0x0600, 20, kProgressFrom0), kLinkSuccess);
  // x = i: 0.0 % .. 2.1 %; rounding reaches 1 at i = 5 and 2 at i = 15.
  EXPECT_EQ(rig.host.progressHistory, (std::vector<int>{1, 2}));
}

TEST(Gauge, ModeZeroLeavesTheGaugeAlone) {
  LinkRig rig;
  rig.link.ProgressTotal = 10;
  rig.link.TransmitBuffer.fill(0x60);
  ASSERT_EQ(rig.link.ReadBlock(rig.port, 0x0000, 256, kProgressNone), kLinkSuccess);
  ASSERT_EQ(rig.link.WriteBlock(rig.port, 0x0600, 16, kProgressNone), kLinkSuccess);
  EXPECT_TRUE(rig.host.progressHistory.empty());
}

TEST(Gauge, WritingBothPagesMovesOnlyOnDataAndChecksumBytes) {
  LinkRig rig;
  rig.link.ProgressTotal = 511;
  rig.link.TransmitBuffer.fill(0x11);
  ASSERT_EQ(rig.link.WriteBlock(rig.port, map::kPage0Start, 256, kProgressPage0), kLinkSuccess);
  // x = q for q = 5..262 over 518: 0.96 % truncates to 0, 262 gives 50.58 %.
  EXPECT_EQ(rig.host.progressHistory, Range(1, 50));
  EXPECT_EQ(rig.host.pumps, 0);
  ASSERT_EQ(rig.link.WriteBlock(rig.port, map::kPage1Start, 255, kProgressPage1), kLinkSuccess);
  // x = q + 256 for q = 5..261: 517 / 518 truncates to 99.
  EXPECT_EQ(rig.host.progressHistory, Range(1, 99));
  EXPECT_EQ(rig.host.pumps, 1);
}

TEST(Gauge, PatchSegmentsAddTheSegmentOffset) {
  LinkRig rig;
  rig.link.ProgressTotal = 1000;
  rig.link.SegmentOffset = 255;
  ASSERT_EQ(rig.link.WriteBlock(rig.port, 0x0600, 10, kProgressFrom0), kLinkSuccess);
  // (255 + 5) / 1007 = 25.8 % .. (255 + 16) / 1007 = 26.9 %.
  EXPECT_EQ(rig.host.progressHistory, (std::vector<int>{25, 26}));
  EXPECT_EQ(rig.host.pumps, 0);
  rig.host.progressHistory.clear();
  ASSERT_EQ(rig.link.WriteBlock(rig.port, 0x0600, 10, kProgressPatch), kLinkSuccess);
  // (766 + 5) / 1007 = 76.6 % .. (766 + 16) / 1007 = 77.7 %.
  EXPECT_EQ(rig.host.progressHistory, (std::vector<int>{76, 77}));
  EXPECT_EQ(rig.host.pumps, 1);
}

TEST(Gauge, NoTotalMeansNoGaugeRatherThanADivisionByZero) {
  LinkRig rig;
  rig.link.ProgressTotal = 0;
  ASSERT_EQ(rig.link.ReadBlock(rig.port, 0x0000, 16, kProgressPage0), kLinkSuccess);
  EXPECT_TRUE(rig.host.progressHistory.empty());
}

TEST(Gauge, ASmallTotalStopsAtOneHundred) {
  LinkRig rig;
  rig.link.ProgressTotal = 16;
  ASSERT_EQ(rig.link.ReadBlock(rig.port, 0x0000, 256, kProgressPage1), kLinkSuccess);
  EXPECT_EQ(rig.host.progressHistory, (std::vector<int>{100}));
}

// ---- Block writes -------------------------------------------------------------------------

TEST(WriteBlock, FrameCarriesAddressCountDataAndPlainSum) {
  LinkRig rig;
  rig.link.TransmitBuffer[0] = 0x01;
  rig.link.TransmitBuffer[1] = 0x80;
  rig.link.TransmitBuffer[2] = 0xFF;
  ASSERT_EQ(rig.link.WriteBlock(rig.port, 0x0123, 3, kProgressNone), kLinkSuccess);
  EXPECT_EQ(rig.port.WrittenBytes(), (std::vector<std::uint8_t>{0x77, 0x01, 0x23, 0x00, 0x02, 0x01,
                                                                0x80, 0xFF, 0x01, 0x80}));
  EXPECT_EQ(rig.ReadBytes(), (std::vector<std::uint8_t>{0x06, 0x0C}));
  EXPECT_EQ(rig.pager.Eeprom[0x123], 0x01);
  EXPECT_EQ(rig.pager.Eeprom[0x124], 0x80);
  EXPECT_EQ(rig.pager.Eeprom[0x125], 0xFF);
  ASSERT_EQ(rig.pager.Frames.size(), 1u);
  EXPECT_TRUE(rig.pager.Frames[0].checksumOk);
}

TEST(WriteBlock, AckThenSilenceGivesUpAtTheFirstCheckPastTenSeconds) {
  LinkRig rig;
  rig.pager.Faults.noCompletion = true;
  ASSERT_EQ(rig.link.WriteBlock(rig.port, 0x0600, 4, kProgressNone), kLinkChecksum);
  ASSERT_EQ(rig.port.Read.size(), 1u);
  const std::uint64_t acked = rig.port.Read[0].at;
  // Two silent reads of 5200 ms after the ACK, then the check sees 10400 ms.
  EXPECT_EQ(rig.clock.Ticks() - acked, 10400u);
  EXPECT_EQ(rig.port.ReadCalls.size(), 3u);
}

struct CompletionCase {
  const char* shows;
  PagerFaults faults;
  LinkResult expected;
};

class WriteCompletion : public testing::TestWithParam<CompletionCase> {};

TEST_P(WriteCompletion, GivesItsResult) {
  LinkRig rig;
  rig.pager.Faults = GetParam().faults;
  EXPECT_EQ(rig.link.WriteBlock(rig.port, 0x0600, 8, kProgressNone), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Link, WriteCompletion,
    testing::Values(
        CompletionCase{"completion_after_7_s_is_in_time", PagerFaults{.completionDelayMs = 7000},
                       kLinkSuccess},
        CompletionCase{"completion_after_9_9_s_is_in_time", PagerFaults{.completionDelayMs = 9999},
                       kLinkSuccess},
        CompletionCase{"completion_after_12_s_is_too_late", PagerFaults{.completionDelayMs = 12000},
                       kLinkChecksum},
        CompletionCase{
            "stray_bytes_before_completion_are_ignored",
            PagerFaults{.replaceReply = std::vector<std::uint8_t>{0x06, 0x00, 0x33, 0x15, 0x0C}},
            kLinkSuccess},
        CompletionCase{"a_second_ACK_completes_too",
                       PagerFaults{.replaceReply = std::vector<std::uint8_t>{0x06, 0x06}},
                       kLinkSuccess},
        CompletionCase{"NAK_first_is_NAK", PagerFaults{.nak = true}, kLinkNak},
        CompletionCase{"silence_first_is_no_reply", PagerFaults{.silent = true}, kLinkNoReply},
        CompletionCase{"other_first_byte_is_a_failure", PagerFaults{.strayByte = 0x0C},
                       kLinkFailure}),
    [](const auto& info) { return std::string(info.param.shows); });

TEST(WriteBlock, OversizeCountsAreRefusedBeforeAnythingIsSent) {
  for (int count : {0, -5, 2194, 70000}) {
    LinkRig rig;
    EXPECT_EQ(rig.link.WriteBlock(rig.port, 0x0000, count, kProgressPage0), kLinkFailure) << count;
    EXPECT_TRUE(rig.port.Written.empty()) << count;
    EXPECT_TRUE(rig.host.progressHistory.empty()) << count;
  }
  LinkRig rig;
  rig.link.WriteBlock(rig.port, 0x0000, 2193, kProgressNone);
  EXPECT_EQ(rig.port.Written.size(), 2200u);
}

TEST(WriteBlock, FailedWriteEndsAtOnce) {
  LinkRig rig;
  rig.port.FailWriteAfter = 7;
  EXPECT_EQ(rig.link.WriteBlock(rig.port, 0x0600, 16, kProgressNone), kLinkFailure);
  EXPECT_EQ(rig.port.Written.size(), 7u);
  EXPECT_TRUE(rig.port.ReadCalls.empty());
}

// ---- Pacing -------------------------------------------------------------------------------

struct PacingCase {
  const char* operation;
  std::function<void(LinkRig&)> run;
  std::vector<std::uint64_t> pauses; // after each request byte; the last runs to the first read
};

class Pacing : public testing::TestWithParam<PacingCase> {};

TEST_P(Pacing, PausesAfterEachRequestByte) {
  LinkRig rig;
  GetParam().run(rig);
  EXPECT_EQ(rig.port.PausesAfterWrites(), GetParam().pauses);
}

std::vector<std::uint64_t> Repeat(std::uint64_t ms, std::size_t n, std::uint64_t last) {
  std::vector<std::uint64_t> v(n - 1, ms);
  v.push_back(last);
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Link, Pacing,
    testing::Values(
        PacingCase{"SendCommand_reset",
                   [](LinkRig& r) { r.link.SendCommand(r.port, kCmdSUniRST, false); },
                   Repeat(50, 7, 50)},
        PacingCase{"SendCommand_SUjD_waits_a_second_before_its_reply",
                   [](LinkRig& r) { r.link.SendCommand(r.port, kCmdSUjD, false); },
                   Repeat(50, 5, 1050)},
        PacingCase{"QueryFirmwareVersion",
                   [](LinkRig& r) { r.link.QueryFirmwareVersion(r.port, 1); }, Repeat(25, 4, 25)},
        PacingCase{"ReadVersionStamp", [](LinkRig& r) { r.link.ReadVersionStamp(r.port); },
                   Repeat(10, 5, 10)},
        PacingCase{"ReadBlock", [](LinkRig& r) { r.link.ReadBlock(r.port, 0, 16, kProgressNone); },
                   Repeat(10, 5, 20)},
        PacingCase{"WriteBlock",
                   [](LinkRig& r) { r.link.WriteBlock(r.port, 0x600, 3, kProgressNone); },
                   Repeat(10, 10, 510)}),
    [](const auto& info) { return std::string(info.param.operation); });

// ---- Firmware version ---------------------------------------------------------------------

TEST(QueryFirmwareVersion, ModeOneFillsTheLabelAndTheNumber) {
  LinkRig rig;
  ASSERT_EQ(rig.link.QueryFirmwareVersion(rig.port, 1), kLinkSuccess);
  EXPECT_EQ(rig.port.WrittenBytes(), Bytes("SUjV"));
  EXPECT_EQ(rig.ReadBytes(),
            (std::vector<std::uint8_t>{0x11, 0x52, 0x56, 0x36, 0x31, 0x35, 0x2D, 0x46, 0x56, 0x52,
                                       0x5A, 0x20, 0x30, 0x31, 0x30, 0x32, 0x30, 0x39, 0x05}));
  EXPECT_EQ(rig.link.FirmwareVersionText, "RV615-FVRZ 010209");
  EXPECT_EQ(rig.host.Text("lblFireware_Version"), "RV615-FVRZ 010209");
  EXPECT_EQ(rig.link.FirmwareVersionNumber, 10209);
  EXPECT_TRUE(rig.link.FirmwareVersionValid);
  EXPECT_TRUE(rig.host.shown.empty());
}

TEST(QueryFirmwareVersion, ModeZeroShowsTheText) {
  LinkRig rig(PatternImage(), "020000");
  ASSERT_EQ(rig.link.QueryFirmwareVersion(rig.port, 0), kLinkSuccess);
  EXPECT_EQ(rig.host.Texts(), (std::vector<std::string>{"RV615-FVRZ 020000"}));
  EXPECT_EQ(rig.host.Last()->caption, "");
}

TEST(QueryFirmwareVersion, SixCharactersThatAreNoNumberLeaveTheVersionInvalid) {
  LinkRig rig(PatternImage(), "01O209");
  rig.link.FirmwareVersionNumber = 10209; // from an earlier pager
  rig.link.FirmwareVersionValid = true;
  EXPECT_EQ(rig.link.QueryFirmwareVersion(rig.port, 1), kLinkSuccess);
  EXPECT_FALSE(rig.link.FirmwareVersionValid);
  EXPECT_EQ(rig.link.FirmwareVersionNumber, 0);
  EXPECT_EQ(rig.host.Text("lblFireware_Version"), "RV615-FVRZ 01O209");
}

TEST(QueryFirmwareVersion, CountBytesOutsideOneToFortyNineFailBeforeAnyDataByte) {
  for (std::uint8_t count : {0x80, 0xFF, 0x00, 0x32, 0x7F}) {
    LinkRig rig;
    rig.pager.Faults.versionCount = count;
    EXPECT_EQ(rig.link.QueryFirmwareVersion(rig.port, 1), kLinkFailure) << int(count);
    EXPECT_EQ(rig.port.Read.size(), 1u) << int(count);
    EXPECT_FALSE(rig.link.FirmwareVersionValid);
  }
}

TEST(QueryFirmwareVersion, FortyNineBytesStillFit) {
  LinkRig rig;
  std::vector<std::uint8_t> reply{49};
  unsigned sum = 0;
  for (int i = 0; i < 49; ++i) {
    reply.push_back('A');
    sum += 'A';
  }
  reply.push_back(static_cast<std::uint8_t>(sum));
  rig.pager.Faults.replaceReply = reply;
  EXPECT_EQ(rig.link.QueryFirmwareVersion(rig.port, 0), kLinkSuccess);
  EXPECT_EQ(rig.host.Texts(), (std::vector<std::string>{std::string(49, 'A')}));
}

TEST(QueryFirmwareVersion, AShortTextFailsInModeOneOnly) {
  // "RV615-FVRZ" alone: 10 characters, sum 0x2B9.
  std::vector<std::uint8_t> reply{10, 'R', 'V', '6', '1', '5', '-', 'F', 'V', 'R', 'Z', 0xB9};
  LinkRig one;
  one.pager.Faults.replaceReply = reply;
  EXPECT_EQ(one.link.QueryFirmwareVersion(one.port, 1), kLinkFailure);
  EXPECT_EQ(one.host.Text("lblFireware_Version"), "RV615-FVRZ");
  EXPECT_FALSE(one.link.FirmwareVersionValid);
  LinkRig zero;
  zero.pager.Faults.replaceReply = reply;
  EXPECT_EQ(zero.link.QueryFirmwareVersion(zero.port, 0), kLinkSuccess);
}

TEST(QueryFirmwareVersion, BadRepliesFail) {
  struct Case {
    const char* shows;
    PagerFaults faults;
    LinkResult expected;
  };
  const Case cases[] = {
      {"a wrong sum", PagerFaults{.wrongChecksum = true}, kLinkFailure},
      {"silence", PagerFaults{.silent = true}, kLinkFailure},
      {"a cut-off text", PagerFaults{.cutAfter = 9}, kLinkFailure},
      {"a missing sum", PagerFaults{.cutAfter = 18}, kLinkFailure},
      {"a NAK among the data",
       PagerFaults{.replaceReply = std::vector<std::uint8_t>{3, 'R', 0x15, 'X', 0}}, kLinkNak},
  };
  for (const Case& c : cases) {
    LinkRig rig;
    rig.pager.Faults = c.faults;
    EXPECT_EQ(rig.link.QueryFirmwareVersion(rig.port, 1), c.expected) << c.shows;
    EXPECT_FALSE(rig.link.FirmwareVersionValid) << c.shows;
  }
}

// ---- Version stamp ------------------------------------------------------------------------

TEST(ReadVersionStamp, ReadsTheSixDigitsAtTheStampAddress) {
  LinkRig rig(PatternImage("010208"));
  rig.link.SoftwareStampNumber = 0;
  ASSERT_EQ(rig.link.ReadVersionStamp(rig.port), kLinkSuccess);
  EXPECT_EQ(rig.port.WrittenBytes(), (std::vector<std::uint8_t>{0x72, 0x01, 0xF7, 0x00, 0x05}));
  EXPECT_EQ(rig.ReadBytes(),
            (std::vector<std::uint8_t>{0x06, '0', '1', '0', '2', '0', '8', 0x01, 0x2B}));
  EXPECT_EQ(rig.link.PagerStamp, "010208");
  EXPECT_EQ(rig.link.PagerStampNumber, 10208);
  EXPECT_EQ(rig.link.SoftwareStampNumber, 10209);
}

TEST(ReadVersionStamp, AStampWithALetterReadsAsZeros) {
  LinkRig rig(PatternImage("01A209"));
  ASSERT_EQ(rig.link.ReadVersionStamp(rig.port), kLinkSuccess);
  EXPECT_EQ(rig.link.PagerStamp, "000000");
  EXPECT_EQ(rig.link.PagerStampNumber, 0);
}

TEST(ReadVersionStamp, BadRepliesGiveTheirResult) {
  struct Case {
    const char* shows;
    PagerFaults faults;
    LinkResult expected;
  };
  const Case cases[] = {
      {"silence is no reply", PagerFaults{.silent = true}, kLinkNoReply},
      {"NAK", PagerFaults{.nak = true}, kLinkNak},
      {"another first byte is unexpected", PagerFaults{.strayByte = 0x00}, kLinkUnexpected},
      {"swapped checksum", PagerFaults{.swapChecksum = true}, kLinkChecksum},
      {"wrong checksum", PagerFaults{.wrongChecksum = true}, kLinkChecksum},
      {"cut-off data is no reply", PagerFaults{.cutAfter = 4}, kLinkNoReply},
  };
  for (const Case& c : cases) {
    LinkRig rig;
    rig.pager.Faults = c.faults;
    EXPECT_EQ(rig.link.ReadVersionStamp(rig.port), c.expected) << c.shows;
    EXPECT_EQ(rig.link.PagerStamp, "000000") << c.shows; // untouched
  }
}

// ---- Commands -----------------------------------------------------------------------------

TEST(SendCommand, ResetAnsweredWithAckSucceedsSilently) {
  LinkRig rig;
  EXPECT_EQ(rig.link.SendCommand(rig.port, kCmdSUniRST, false), kLinkSuccess);
  EXPECT_EQ(rig.port.WrittenBytes(), Bytes("SUniRST"));
  EXPECT_TRUE(rig.host.shown.empty());
}

TEST(SendCommand, ResetAfterAStrayByteIsSentOnceMoreAndSucceedsOnAck) {
  LinkRig rig;
  rig.pager.NextFaults.push_back(PagerFaults{.strayByte = 0x00, .cutAfter = 1});
  EXPECT_EQ(rig.link.SendCommand(rig.port, kCmdSUniRST, false), kLinkSuccess);
  EXPECT_EQ(rig.port.WrittenBytes(), Bytes("SUniRSTSUniRST"));
  EXPECT_EQ(rig.pager.FramesOf(sim::FrameKind::Reset).size(), 2u);
  EXPECT_EQ(rig.port.Purges, 1); // the second sending is not purged first
}

TEST(SendCommand, RepliesThatFail) {
  struct Case {
    const char* shows;
    int index;
    std::vector<PagerFaults> faults; // per sending
    int silentResets;
    LinkResult expected;
    std::size_t bytesSent;
  };
  const Case cases[] = {
      {"silence is a failure without a second try",
       kCmdSUniRST,
       {PagerFaults{.silent = true}},
       0,
       kLinkFailure,
       7},
      {"a pager still busy ignoring the reset", kCmdSUniRST, {}, 1, kLinkFailure, 7},
      {"NAK twice",
       kCmdSUniRST,
       {PagerFaults{.nak = true}, PagerFaults{.nak = true}},
       0,
       kLinkFailure,
       14},
      {"a stray byte twice",
       kCmdSUniRST,
       {PagerFaults{.strayByte = 0x00, .cutAfter = 1},
        PagerFaults{.strayByte = 0x00, .cutAfter = 1}},
       0,
       kLinkFailure,
       14},
      {"a stray byte then silence",
       kCmdSUniRST,
       {PagerFaults{.strayByte = 0x00, .cutAfter = 1}, PagerFaults{.silent = true}},
       0,
       kLinkFailure,
       14},
      {"the answer of another command",
       kCmdSUj0,
       {PagerFaults{.replaceReply = std::vector<std::uint8_t>{0x06}}},
       0,
       kLinkFailure,
       4},
  };
  for (const Case& c : cases) {
    LinkRig rig;
    for (const PagerFaults& f : c.faults)
      rig.pager.NextFaults.push_back(f);
    rig.pager.ResetSilentTimes = c.silentResets;
    EXPECT_EQ(rig.link.SendCommand(rig.port, c.index, false), c.expected) << c.shows;
    EXPECT_EQ(rig.port.Written.size(), c.bytesSent) << c.shows;
    EXPECT_TRUE(rig.host.shown.empty()) << c.shows;
  }
}

TEST(SendCommand, SuccessTextsFollowTheShowFlag) {
  struct Case {
    int index;
    bool show;
    std::vector<std::string> texts;
  };
  const Case cases[] = {
      {kCmdSUj0, false, {"SUj0 Successfully"}},
      {kCmdSUniRFPrompt, false, {"SUniRF> Successfully"}},
      {kCmdSUniRFX, false, {}},
      {kCmdSUniRFX, true, {"SUniRFX Successfully"}},
      {kCmdSUniRFI, true, {"SUniRFI Successfully"}},
      {kCmdSUjP, false, {}},
      {kCmdSUjP, true, {"SUjP Successfully"}},
      {kCmdSUniRST, true, {}},
  };
  for (const Case& c : cases) {
    LinkRig rig;
    EXPECT_EQ(rig.link.SendCommand(rig.port, c.index, c.show), kLinkSuccess) << c.index;
    EXPECT_EQ(rig.host.Texts(), c.texts) << c.index;
  }
}

TEST(SendCommand, IdentificationReplyIsShownWhole) {
  LinkRig rig;
  rig.pager.Faults.replaceReply = Bytes("RV615-FVRZ 0102091");
  EXPECT_EQ(rig.link.SendCommand(rig.port, kCmdSUjV, false), kLinkSuccess);
  EXPECT_EQ(rig.host.Texts(), (std::vector<std::string>{"RV615-FVRZ 0102091"}));
}

TEST(SendCommand, IdentificationReplyFailures) {
  struct Case {
    const char* shows;
    std::string reply;
    LinkResult expected;
  };
  const Case cases[] = {
      {"another model", "RV614-FVRZ 0102091", kLinkFailure},
      {"the model name is compared up to its dash only", "RV615+FVRZ 0102091", kLinkFailure},
      {"cut short", "RV615-FVRZ 0102", kLinkFailure},
      {"NAK inside", std::string("RV615-FVRZ 01\x15") + "2091", kLinkNak},
  };
  for (const Case& c : cases) {
    LinkRig rig;
    rig.pager.Faults.replaceReply = Bytes(c.reply);
    EXPECT_EQ(rig.link.SendCommand(rig.port, kCmdSUjV, false), c.expected) << c.shows;
    EXPECT_TRUE(rig.host.shown.empty()) << c.shows;
  }
  LinkRig rig; // past the dash anything goes
  rig.pager.Faults.replaceReply = Bytes("RV615-XXXX 0102091");
  EXPECT_EQ(rig.link.SendCommand(rig.port, kCmdSUjV, false), kLinkSuccess);
}

TEST(SendCommand, IndexOutsideTheTableSendsNothing) {
  for (int index : {-1, 8, 100}) {
    LinkRig rig;
    EXPECT_EQ(rig.link.SendCommand(rig.port, index, true), kLinkFailure);
    EXPECT_TRUE(rig.port.Written.empty());
    EXPECT_EQ(rig.port.Purges, 0);
  }
}

// ---- Every operation purges first ---------------------------------------------------------

TEST(Link, LeftoverBytesOfAnEarlierExchangeNeverReachTheNextOne) {
  LinkRig rig;
  rig.pager.NextFaults.push_back(
      PagerFaults{.replaceReply = std::vector<std::uint8_t>{0x06, 0x15, 0x15}});
  ASSERT_EQ(rig.link.SendCommand(rig.port, kCmdSUniRST, false), kLinkSuccess);
  EXPECT_EQ(rig.port.Pending(), 2u);
  EXPECT_EQ(rig.link.ReadBlock(rig.port, map::kBandByte, 1, kProgressNone), kLinkSuccess);
}

} // namespace
} // namespace pw::test
