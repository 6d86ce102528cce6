// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "files/alert_fields.h"
#include "transactions/compatibility.h"
#include "transactions/pager_bench.h"
#include "transactions/pager_dump.h"

namespace pw::test {
namespace {

using Blocks = std::vector<std::pair<int, int>>;

const Blocks kCheckedReads = {{0x1F7, 6}, {0x20C, 2}, {0x012, 1},  {0x1EC, 1}, {0x200, 12},
                              {0x601, 3}, {0x1ED, 10}, {0x00A, 2}, {0x1EC, 1}};
const Blocks kLongPatchWrites = {{0x000, 256}, {0x100, 255}, {0x200, 12}, {0x600, 255}, {0x6FF, 65}};

Blocks Joined(Blocks a, const Blocks& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<std::uint8_t> WrittenData(const PagerBench& b, int address) {
  for (const sim::ReceivedFrame& f : b.pager.FramesOf(sim::FrameKind::Write))
    if (f.address == address) return f.data;
  return {};
}

TEST(ProgramPager, ChecksThePagerThenWritesPagesHeaderAndPatch) {
  PagerBench b;
  SetText(b.cp.WorkingImage, map::kSerialNumber, "MEMORY0001");
  SetText(b.pager.Eeprom, map::kSerialNumber, "PAGER00042");
  b.cp.At(0x06C) = 0x55; // forced back to 0
  b.cp.At(0x1C0) = 0xA5; // inside a range restored from the default codeplug
  b.cp.ImageFirmwareVersion = 10205;
  b.cp.OutOfRangeTimerEdited = true;
  Seal(b.pager.Eeprom);

  const TransactionOutcome outcome = ProgramPager(b.ctx);
  ASSERT_TRUE(outcome.Ok());
  // Every block written is read back before the reset.
  EXPECT_EQ(b.Reads(), Joined(kCheckedReads, kLongPatchWrites));
  EXPECT_EQ(b.Writes(), kLongPatchWrites);
  Blocks written;
  for (const WrittenBlock& w : outcome.written) written.push_back({w.address, w.count});
  EXPECT_EQ(written, kLongPatchWrites);
  ASSERT_TRUE(outcome.image.has_value());
  EXPECT_TRUE(*outcome.image == b.pager.Eeprom);
  EXPECT_EQ(outcome.serialNumber, "PAGER00042");
  EXPECT_EQ(outcome.firmwareVersion, 10209);
  EXPECT_EQ(outcome.firmwareText, b.link.FirmwareVersionText);
  EXPECT_EQ(b.pager.FramesOf(sim::FrameKind::Reset).size(), 1u);
  ASSERT_EQ(b.host.shown.size(), 1u) << ::testing::PrintToString(b.host.Texts());
  EXPECT_EQ(b.host.shown[0].message, Information("Codeplug  Programmed  Successfully!"));
  EXPECT_EQ(b.host.Text("lblCodeplug_Version"), "R010209");
  EXPECT_EQ(b.host.Progress(), 0);

  const Image& w = b.cp.WorkingImage;
  EXPECT_EQ(std::string(w.begin() + map::kSerialNumber, w.begin() + map::kSerialNumber + 10),
            "PAGER00042");
  EXPECT_EQ(std::string(w.begin() + map::kSoftwareStamp, w.begin() + map::kSoftwareStamp + 6),
            "010209");
  EXPECT_EQ(w[0x06C], 0x00);
  EXPECT_EQ(w[0x1C0], b.cp.DefaultImage[0x1C0]);
  EXPECT_EQ(w[0x1E4], 0x01);
  EXPECT_EQ(w[0x1E5], 0x02);
  EXPECT_EQ(w[0x1E6], 0x05);
  EXPECT_EQ(b.cp.PatchVersion, 4);
  EXPECT_FALSE(b.cp.OutOfRangeTimerEdited);
  for (int item = 1; item <= 12; ++item)
    EXPECT_EQ(b.host.Text(std::string(control::kBatteryEdits[item - 1])), BatteryText(b.cp, item));

  // What went over the wire is the prepared image, with sound page checksums.
  EXPECT_TRUE(std::equal(w.begin(), w.begin() + 0x1FF, b.pager.Eeprom.begin()));
  EXPECT_EQ(b.pager.Eeprom[0x0FE] << 8 | b.pager.Eeprom[0x0FF],
            InvertedSum16(&b.pager.Eeprom[0], 0xFE));
  EXPECT_EQ(b.pager.Eeprom[0x1FD] << 8 | b.pager.Eeprom[0x1FE],
            InvertedSum16(&b.pager.Eeprom[0x100], 0xFD));
  for (const sim::ReceivedFrame& f : b.pager.FramesOf(sim::FrameKind::Write))
    EXPECT_TRUE(f.checksumOk) << f.address;
}

TEST(ProgramPager, APatchOf320BytesGoesAsTwoSegments) {
  PagerBench b;
  ASSERT_TRUE(ProgramPager(b.ctx));
  EXPECT_EQ(b.link.SegmentOffset, 510);
  ASSERT_TRUE(ProgramPager(b.ctx)); // the offset starts again from 0
  EXPECT_EQ(b.link.SegmentOffset, 510);
  const PatchSet set6 = Codeplug::BuiltInPatchSet(6);
  const std::vector<std::uint8_t> first = WrittenData(b, 0x600);
  const std::vector<std::uint8_t> second = WrittenData(b, 0x6FF);
  EXPECT_TRUE(first == std::vector<std::uint8_t>(set6.code, set6.code + 255));
  EXPECT_TRUE(second == std::vector<std::uint8_t>(set6.code + 255, set6.code + 320));
  EXPECT_TRUE(std::equal(set6.code, set6.code + 320, b.pager.Eeprom.begin() + 0x600));
  const std::vector<std::uint8_t> header = WrittenData(b, 0x200);
  EXPECT_TRUE(header == (std::vector<std::uint8_t>{'P', 'A', 'T', 'C', 'H', 0x06, 0x00, 0x01,
                                                   0x40, 0x07, 0x00, 0xB1}));
}

TEST(ProgramPagerPatchSet, FollowsTheFirmware) {
  struct Case {
    const char* firmware;
    Blocks writes;
    int patchVersion;
  } cases[] = {
      {"010101", {{0x000, 256}, {0x100, 255}, {0x200, 12}, {0x600, 4}}, 2},
      {"010204", kLongPatchWrites, 3},
      {"010205", kLongPatchWrites, 4},
      {"010206", kLongPatchWrites, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.firmware);
    PagerBench b;
    b.pager.FirmwareDigits = c.firmware;
    ASSERT_TRUE(ProgramPager(b.ctx));
    EXPECT_EQ(b.Writes(), c.writes);
    EXPECT_EQ(b.cp.PatchVersion, c.patchVersion);
  }
}

TEST(ProgramPager, Firmware10100StopsSilentlyAtThePatchAndWritesNothing) {
  PagerBench b;
  b.pager.FirmwareDigits = "010100";
  const Image pager = b.pager.Eeprom;
  EXPECT_FALSE(ProgramPager(b.ctx));
  EXPECT_EQ(b.Reads(), (Blocks{{0x1F7, 6}, {0x20C, 2}, {0x012, 1}, {0x1EC, 1}, {0x200, 12},
                               {0x601, 3}, {0x1ED, 10}}));
  EXPECT_TRUE(b.Writes().empty());
  EXPECT_TRUE(b.pager.FramesOf(sim::FrameKind::Reset).empty());
  EXPECT_TRUE(b.host.shown.empty());
  EXPECT_TRUE(b.pager.Eeprom == pager);
}

TEST(ProgramPagerLedFlash, AsksOnlyFirmwareWithoutTheFunction) {
  struct Case {
    const char* shows;
    const char* firmware;
    std::uint8_t flags;
    bool answerYes;
    bool asks;
    bool programs;
  } cases[] = {
      {"10202 with stay-on asks and No ends", "010202", 0x05, false, true, false},
      {"10202 with stay-on asks and Yes goes on", "010202", 0x05, true, true, true},
      {"10202 without stay-on does not ask", "010202", 0x01, false, false, true},
      {"10204 with stay-on does not ask", "010204", 0x05, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    b.pager.FirmwareDigits = c.firmware;
    b.cp.At(map::kFeatureFlags) = c.flags;
    b.host.yesAnswers = {c.answerYes};
    EXPECT_EQ(ProgramPager(b.ctx).Ok(), c.programs);
    const bool asked = std::any_of(b.host.shown.begin(), b.host.shown.end(),
                                   [](const Shown& s) { return s.kind == Shown::Kind::YesNo; });
    EXPECT_EQ(asked, c.asks);
    if (c.asks) {
      EXPECT_EQ(b.host.shown[0].message,
                Warning("This pager has not \"LED Flash stay on\" function. Does it continue "
                        "programming?"));
    }
    EXPECT_EQ(b.Writes().empty(), !c.programs);
  }
}

TEST(ProgramPagerOutOfRangeTimer, FollowsTheFirmware) {
  const Message oldFirmware =
      Info("This Out of Range Timer of FW version only supports 10-120 seconds, please contact "
           "service center for further information.");
  const Message fieldRange =
      Info("         *** Invalid Out of Range Timer ***\nOut of Range Timer  is out of range!\n"
           "       The vaild range is 10 to 600.");
  struct Case {
    const char* shows;
    const char* firmware;
    std::uint8_t timer;  // 0x1A6, shown x5 (bit 3 of 0x1E7 is set)
    std::vector<Message> messages;
    std::uint8_t stored;
    std::uint8_t flagsAfter;
    const char* box;
  } cases[] = {
      {"10203 limits 300 s to 120 whole seconds", "010203", 0x80 | 60, {oldFirmware}, 0x80 | 120,
       0x01, "120"},
      {"10203 keeps 60 s as whole seconds", "010203", 12, {oldFirmware}, 60, 0x01, "60"},
      {"10204 keeps 300 s in 5-second steps", "010204", 0x80 | 60, {}, 0x80 | 60, 0x09, "300"},
      {"10204 limits 635 s to 600", "010204", 127, {fieldRange}, 120, 0x09, "600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    b.pager.FirmwareDigits = c.firmware;
    b.cp.At(map::kOutOfRangeTimer) = c.timer;
    b.cp.At(map::kFeatureFlags) = 0x09;
    ASSERT_TRUE(ProgramPager(b.ctx));
    std::vector<std::string> shown = b.host.Texts();
    shown.pop_back(); // the success box
    std::vector<std::string> expected;
    for (const Message& m : c.messages) expected.push_back(m.text);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(b.cp.At(map::kOutOfRangeTimer), c.stored);
    EXPECT_EQ(b.pager.Eeprom[map::kOutOfRangeTimer], c.stored);
    EXPECT_EQ(b.cp.At(map::kFeatureFlags), c.flagsAfter);
    EXPECT_EQ(b.host.Text("edtOutofRangeTimer"), c.box);
    EXPECT_FALSE(b.cp.OutOfRangeTimerEdited);
  }
}

TEST(ProgramPager, APagerWithoutASoundMarkerSkipsBandPatchAndSerialChecks) {
  PagerBench b;
  Image& e = b.pager.Eeprom;
  e[map::kMarker] = 0x00;
  e[map::kBandByte] = 0x24;                  // UHF against a 900 MHz codeplug
  SetShortPatchVersion(e, 9);                // a patch no firmware would accept
  SetText(e, map::kSerialNumber, "PAGER99999");
  Seal(e);
  ASSERT_TRUE(ProgramPager(b.ctx));
  EXPECT_EQ(b.Reads(), Joined({{0x1F7, 6}, {0x20C, 2}, {0x012, 1}, {0x00A, 2}, {0x1EC, 1}},
                              kLongPatchWrites));
  EXPECT_EQ(std::string(b.cp.WorkingImage.begin() + map::kSerialNumber,
                        b.cp.WorkingImage.begin() + map::kSerialNumber + 10),
            "0000000000");
}

// A Program cut off after the patch header leaves the patch unwritten behind it (erased, or the
// fill bytes of an earlier Program): its trailer is no patch version, and the pager is
// programmed again.
TEST(ProgramPager, APatchLeftUnwrittenByAnEarlierProgramIsNoLaterPatch) {
  struct Case {
    int blank; // the trailer's bytes; -1: a whole patch of version 0xFF
    bool programmed;
  };
  for (const Case c : {Case{0xFF, true}, Case{map::kFillByte, true}, Case{-1, false}}) {
    PagerBench b;
    b.pager.FirmwareDigits = "010204";
    SetShortPatchVersion(b.pager.Eeprom, 0xFF);
    for (int i = 1; c.blank >= 0 && i <= 3; ++i)
      b.pager.Eeprom[map::kPatchCode + i] = std::uint8_t(c.blank);
    EXPECT_EQ(ProgramPager(b.ctx).Ok(), c.programmed) << c.blank;
  }
}

TEST(ProgramPager, PutsTheLedTimesOnTheScaleOfTheFirmware) {
  PagerBench b;
  b.pager.FirmwareDigits = "010200";
  b.cp.LedStayOnCapable = true;
  b.cp.SetWord16(map::kPowerLedOn, 0x004B);
  b.cp.SetWord16(map::kPowerLedOff, 0x020D);
  ASSERT_TRUE(ProgramPager(b.ctx));
  EXPECT_FALSE(b.cp.LedStayOnCapable);
  EXPECT_EQ(b.cp.At(map::kFeatureFlags) & 0x01, 0);
  EXPECT_EQ(b.pager.Eeprom[0x1AB], 0x07);
  EXPECT_EQ(b.pager.Eeprom[0x1AC], 0xFE);
  EXPECT_EQ(b.pager.Eeprom[0x1AD], 0x37);
  EXPECT_EQ(b.pager.Eeprom[0x1AE], 0xF2);
}

TEST(ProgramPager, ThePagersOwnBandByteReplacesTheCodeplugs) {
  PagerBench b;
  b.pager.Eeprom[map::kBandByte] = 0x40; // 900 MHz, narrow band
  Seal(b.pager.Eeprom);
  ASSERT_EQ(b.cp.At(map::kBandByte), 0x00);
  ASSERT_TRUE(ProgramPager(b.ctx));
  EXPECT_EQ(b.cp.At(map::kBandByte), 0x40);
  EXPECT_EQ(b.pager.Eeprom[map::kBandByte], 0x40);
}

TEST(ProgramPager, ABrokenPagerIdIsRewrittenAfterThePatch) {
  PagerBench b;
  b.pager.Eeprom[map::kPagerId] = 0x12;
  b.pager.Eeprom[map::kPagerId + 1] = 0x34;
  ASSERT_TRUE(ProgramPager(b.ctx));
  Blocks expected = kLongPatchWrites;
  expected.push_back({0x20C, 2});
  EXPECT_EQ(b.Writes(), expected);
  EXPECT_TRUE(WrittenData(b, 0x20C) == (std::vector<std::uint8_t>{0xF0, 0x0F}));
  EXPECT_EQ(b.pager.Eeprom[0x20C], 0xF0);
  EXPECT_EQ(b.pager.Eeprom[0x20D], 0x0F);
}

TEST(ProgramPagerReset, SucceedsOnTheThirdTryAndFailsAfterIt) {
  struct Case {
    int silent;
    bool cutIdentification; // every reset answered by an identification cut by a NAK
    bool programs;
    std::size_t resets;
    LinkResult last;
  } cases[] = {{0, false, true, 1, kLinkSuccess},
               {2, false, true, 3, kLinkSuccess},
               {3, false, false, 3, kLinkFailure},
               {0, true, false, 3, kLinkNak}};
  constexpr int kRequestsBeforeReset = 20; // checks, writes and their read-back
  for (const Case& c : cases) {
    SCOPED_TRACE(c.silent);
    PagerBench b;
    b.pager.ResetSilentTimes = c.silent;
    if (c.cutIdentification) {
      b.pager.NextFaults.assign(kRequestsBeforeReset, sim::PagerFaults{});
      b.pager.NextFaults.insert(b.pager.NextFaults.end(), 3, Answer({'R', 'V', '6', kNak}));
    }
    const TransactionOutcome outcome = ProgramPager(b.ctx);
    EXPECT_EQ(outcome.Ok(), c.programs);
    EXPECT_EQ(outcome.link, c.last);
    EXPECT_EQ(outcome.step, c.programs ? TransactionStep::None : TransactionStep::Reset);
    EXPECT_EQ(b.pager.FramesOf(sim::FrameKind::Reset).size(), c.resets);
    EXPECT_EQ(b.host.Last()->text,
              c.programs ? "Codeplug  Programmed  Successfully!" : "Programming Fail");
    EXPECT_EQ(b.host.Progress(), 0);
  }
}

TEST(ProgramPager, AFailedConfigurationReadLeavesTheImageBytesAlone) {
  for (int failing : {4, 5}) { // the read of 0x000A, then the one of 0x01EC
    SCOPED_TRACE(failing);
    PagerBench b;
    b.pager.Eeprom[map::kMarker] = 0x00; // fewer requests before the two reads
    b.pager.Eeprom[map::kRfOption1] = 0x39;
    b.pager.Eeprom[map::kRfOption2] = 0x42;
    b.pager.Eeprom[map::kBandByte] = 0x0A;
    Seal(b.pager.Eeprom);
    b.pager.NextFaults.assign(failing, sim::PagerFaults{});
    b.pager.NextFaults.push_back(Nak());
    const std::uint8_t a = b.cp.At(map::kRfOption1), o2 = b.cp.At(map::kRfOption2),
                       band = b.cp.At(map::kBandByte);
    EXPECT_FALSE(ProgramPager(b.ctx));
    EXPECT_EQ(b.host.Last()->text, "Programming Fail");
    EXPECT_TRUE(b.Writes().empty());
    EXPECT_EQ(b.cp.At(map::kRfOption1), a);
    EXPECT_EQ(b.cp.At(map::kRfOption2), o2);
    EXPECT_EQ(b.cp.At(map::kBandByte), band);
  }
}

struct ProgramFailureCase {
  const char* shows;
  std::function<void(PagerBench&)> setup;
  Shown::Kind kind;
  Message message;
};

std::vector<ProgramFailureCase> ProgramFailureCases() {
  using K = Shown::Kind;
  const Message programmingFail = Error("Programming Fail");
  const Message programingFail = Error("Programing Fail");
  auto nth = [](int n, sim::PagerFaults f) {
    return [n, f](PagerBench& b) {
      b.pager.NextFaults.assign(n, sim::PagerFaults{});
      b.pager.NextFaults.push_back(f);
    };
  };
  return {
      {"an unanswered version query asks Retry/Cancel",
       [](PagerBench& b) { b.pager.Faults.silent = true; }, K::RetryCancel,
       Message{kProtocolError, "Warning", Icon::None}},
      {"a NAK inside the version reply",
       nth(0, Answer({0x03, 'R', 'V', 0x15})), K::Box,
       Info("PPS not support this firmware version, please\ncontact service center for further "
            "information")},
      {"version digits that are no number",
       [](PagerBench& b) { b.pager.FirmwareDigits = "0102 9"; }, K::Box, programmingFail},
      {"an unanswered stamp read asks Retry/Cancel", nth(1, Silent()), K::RetryCancel,
       Message{kProtocolError, "Warning", Icon::None}},
      {"a NAK to the stamp read", nth(1, Nak()), K::Box, programmingFail},
      {"a pager stamp of a later release",
       [](PagerBench& b) {
         SetText(b.pager.Eeprom, map::kSoftwareStamp, "010300");
         Seal(b.pager.Eeprom);
       },
       K::Box,
       Warning("This pager has been programmed with a later\nPPS version. It cannot be program "
               "by this PPS.")},
      {"a NAK to the pager ID read", nth(2, Nak()), K::Box, programmingFail},
      {"a POCSAG pager",
       [](PagerBench& b) {
         b.pager.Eeprom[map::kPagerId] = 0x0F;
         b.pager.Eeprom[map::kPagerId + 1] = 0xF0;
       },
       K::Box, Info("Pager ID is POCSAG, This PPS version is not support")},
      {"a NAK to the marker read", nth(3, Nak()), K::Box, programmingFail},
      {"a NAK to the band read", nth(4, Nak()), K::Box, programmingFail},
      {"another sub-band of the same family",
       [](PagerBench& b) {
         b.pager.Eeprom[map::kBandByte] = 0x0A;
         b.cp.CodeplugBandFamily = 1;
         b.cp.CodeplugSubBand = 2;
       },
       K::Box,
       Info("Frequency band no Match, Please Read Pager or Load Codeplug again.\nPager's "
            "frequency range is 143.0000~152.9875.")},
      {"another family", [](PagerBench& b) { b.pager.Eeprom[map::kBandByte] = 0x24; }, K::Box,
       Info("Frequency no Match, Please Read Pager or Load Codeplug again.\nPager's frequency "
            "range is 450.0000~459.9875.")},
      {"a NAK to the pager patch read", nth(5, Nak()), K::Box, programmingFail},
      {"a NAK to the pager patch version read", nth(6, Nak()), K::Box, programmingFail},
      {"a pager patch too new for firmware 10204",
       [](PagerBench& b) {
         b.pager.FirmwareDigits = "010204";
         SetShortPatchVersion(b.pager.Eeprom, 4);
       },
       K::Box,
       Warning("This pager has been programmed with a later\nPatch version. It cannot be program "
               "by this PPS.")},
      {"a NAK to the serial number read", nth(7, Nak()), K::Box, programingFail},
      {"a NAK to the page 0 write", nth(10, Nak()), K::Box, programingFail},
      {"a NAK to the page 1 write", nth(11, Nak()), K::Box, programingFail},
      {"a NAK to the header write", nth(12, Nak()), K::Box, programingFail},
      {"a write never completed", nth(13, NoCompletion()), K::Box, programingFail},
      {"a NAK to the second patch segment", nth(14, Nak()), K::Box, programingFail},
      {"a NAK to the read-back of page 1", nth(16, Nak()), K::Box, programingFail},
      {"a NAK to the pager ID rewrite",
       [nth](PagerBench& b) {
         b.pager.Eeprom[map::kPagerId] = 0x12;
         b.pager.Eeprom[map::kPagerId + 1] = 0x34;
         nth(15, Nak())(b);
       },
       K::Box, programingFail},
  };
}

TEST(ProgramPagerFailures, EachShowsItsOneMessageAndEnds) {
  for (const ProgramFailureCase& c : ProgramFailureCases()) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    c.setup(b);
    const TransactionOutcome outcome = ProgramPager(b.ctx);
    const bool linkFailed = c.message == Error("Programming Fail") || c.message == Error("Programing Fail");
    EXPECT_EQ(outcome.ending, linkFailed                         ? Ending::LinkFailure
                              : c.kind == Shown::Kind::RetryCancel ? Ending::Cancelled
                                                                   : Ending::Refused);
    ASSERT_EQ(b.host.shown.size(), 1u) << ::testing::PrintToString(b.host.Texts());
    EXPECT_EQ(b.host.shown[0].kind, c.kind);
    EXPECT_EQ(b.host.shown[0].message, c.message);
    EXPECT_EQ(b.host.Progress(), 0);
    EXPECT_TRUE(b.pager.FramesOf(sim::FrameKind::Reset).empty());
  }
}

// A NAK to the request of this number (0: the version query).
std::function<void(PagerBench&)> nth_nak(int n) {
  return [n](PagerBench& b) {
    b.pager.NextFaults.assign(n, sim::PagerFaults{});
    b.pager.NextFaults.push_back(Nak());
  };
}

bool PageSealed(const Image& w, std::size_t first, std::size_t checksumHi) {
  return (w[checksumHi] << 8 | w[checksumHi + 1]) == InvertedSum16(&w[first], checksumHi - first);
}

TEST(ProgramPagerFailures, ThePreparationSoFarStaysInMemory) {
  struct Case {
    const char* shows;
    int failing; // request answered with a NAK
    bool patchLoaded;
    bool page0Sealed;
    bool page1Sealed;
  } cases[] = {
      {"the pager ID read: forced bytes and stamp only", 2, false, false, false},
      {"the page 0 write: page 1 keeps its old checksum", 10, true, true, false},
      {"the page 1 write: both pages sealed", 11, true, true, true},
  };
  const PatchSet set6 = Codeplug::BuiltInPatchSet(6);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    Image& w = b.cp.WorkingImage;
    w[0x06C] = 0x55;
    SetText(w, map::kSoftwareStamp, "000000");
    w[0x0FE] = 0x12, w[0x0FF] = 0x34, w[0x1FD] = 0x56, w[0x1FE] = 0x78;
    ASSERT_FALSE(PageSealed(w, 0x000, 0x0FE));
    ASSERT_FALSE(PageSealed(w, 0x100, 0x1FD));
    b.pager.NextFaults.assign(c.failing, sim::PagerFaults{});
    b.pager.NextFaults.push_back(Nak());

    EXPECT_FALSE(ProgramPager(b.ctx));
    EXPECT_EQ(w[0x06C], 0x00);
    EXPECT_EQ(std::string(w.begin() + map::kSoftwareStamp, w.begin() + map::kSoftwareStamp + 6),
              "010209");
    EXPECT_EQ(std::equal(set6.code, set6.code + 320, w.begin() + 0x600), c.patchLoaded);
    EXPECT_EQ(PageSealed(w, 0x000, 0x0FE), c.page0Sealed);
    EXPECT_EQ(PageSealed(w, 0x100, 0x1FD), c.page1Sealed);
  }
}

TEST(ProgramPager, PausesWhereThePagerNeedsThem) {
  struct Case {
    const char* shows;
    bool brokenId;
    Blocks pauses; // (requests so far, milliseconds)
  } cases[] = {
      // Requests: version, stamp, ID, marker, band, patch check, patch version, serial,
      // 0x000A, band, page 0, page 1, header, two segments, [ID], the read-back of each
      // block written, reset.
      {"a sound pager", false,
       {{1, 100}, {2, 100}, {3, 100}, {4, 100}, {5, 200}, {7, 100}, {8, 100}, {8, 100},
        {12, 100}, {13, 100}, {15, 100}, {15, 100}, {16, 100}, {17, 100}, {18, 100}, {19, 100},
        {20, 100}, {21, 100}, {21, 1500}}},
      {"a pager whose ID is rewritten", true,
       {{1, 100}, {2, 100}, {3, 100}, {4, 100}, {5, 200}, {7, 100}, {8, 100}, {8, 100},
        {12, 100}, {13, 100}, {15, 100}, {16, 100}, {17, 100}, {18, 100}, {19, 100}, {20, 100},
        {21, 100}, {22, 100}, {23, 100}, {23, 1500}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    if (c.brokenId) b.pager.Eeprom[map::kPagerId + 1] = 0x00;
    PauseLog log(b);
    ASSERT_TRUE(ProgramPager(log.ctx));
    EXPECT_EQ(log.pauses, c.pauses);
  }
}

TEST(ProgramPagerFailures, ASilentBandMismatchShowsNothingAndWritesNothing) {
  PagerBench b;
  b.pager.Eeprom[map::kBandByte] = 0x34; // family 2, sub-band 6: no such band
  EXPECT_FALSE(ProgramPager(b.ctx));
  EXPECT_TRUE(b.host.shown.empty());
  EXPECT_TRUE(b.Writes().empty());
}

TEST(ProgramPagerFailures, ASerialNumberInMemoryWithLowerCaseNeverTouchesThePort) {
  PagerBench b;
  SetText(b.cp.WorkingImage, map::kSerialNumber, "abc0000000");
  EXPECT_FALSE(ProgramPager(b.ctx));
  EXPECT_EQ(b.port.Opens, 0);
  EXPECT_TRUE(b.pager.Frames.empty());
  ASSERT_EQ(b.host.shown.size(), 1u);
  EXPECT_EQ(b.host.shown[0].message,
            Info("Serail Number Error, Please Read Pager or Load Codeplug again."));
}

TEST(ProgramPagerFailures, TheStampLabelIsRestoredAfterTheRefusal) {
  PagerBench b;
  SetText(b.pager.Eeprom, map::kSoftwareStamp, "010210");
  Seal(b.pager.Eeprom);
  b.host.SetText("lblCodeplug_Version", "R010204");
  EXPECT_FALSE(ProgramPager(b.ctx));
  EXPECT_EQ(b.host.Text("lblCodeplug_Version"), "R010204");
}

TEST(ReadThenProgram, LeavesThePagersEepromEqualToThePreparedImage) {
  PagerBench b;
  Image& e = b.pager.Eeprom;
  SetText(e, map::kSerialNumber, "RT00000001");
  e[map::AddressWord1(2) + 2] = 0x42;
  Seal(e);
  ASSERT_TRUE(ReadPager(b.ctx));
  b.host.Clear();
  ASSERT_TRUE(ProgramPager(b.ctx));
  EXPECT_TRUE(b.pager.Eeprom == b.cp.WorkingImage);
  EXPECT_EQ(e[map::AddressWord1(2) + 2], 0x42);
  EXPECT_EQ(b.cp.At(0x1E4), 0x01);
  EXPECT_EQ(b.cp.At(0x1E5), 0x02);
  EXPECT_EQ(b.cp.At(0x1E6), 0x09);
}

TEST(ProgramPagerVerify, ABlockThePagerDidNotKeepEndsWithoutReset) {
  const PatchSet set6 = Codeplug::BuiltInPatchSet(6);
  struct Case {
    const char* shows;
    std::function<void(PagerBench&)> setup;
    bool verify;
    Ending ending;
    std::string box; // empty: the verify error of the address found
  } cases[] = {
      {"a pager that keeps nothing it is sent",
       [](PagerBench& b) { b.pager.Faults.ignoreWrite = true; }, true, Ending::Mismatch, ""},
      {"a pager that drops the second patch segment names its first byte",
       [&set6](PagerBench& b) {
         for (int i = 255; i < 320; ++i)
           b.pager.Eeprom[0x600 + i] = static_cast<std::uint8_t>(~set6.code[i]);
         b.pager.NextFaults.assign(14, sim::PagerFaults{});
         b.pager.NextFaults.push_back(sim::PagerFaults{});
         b.pager.NextFaults.back().ignoreWrite = true;
       },
       true, Ending::Mismatch, "Verify Error at EEPROM address 0x06FF, Please Program Pager again"},
      {"a NAK to the read-back of the header", nth_nak(17), true, Ending::LinkFailure,
       "Programing Fail"},
      {"without verify a dropped write goes unnoticed",
       [](PagerBench& b) { b.pager.Faults.ignoreWrite = true; }, false, Ending::Success,
       "Codeplug  Programmed  Successfully!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    b.cp.At(map::AddressWord1(1) + 2) ^= 0x5A; // a codeplug unlike the pager's
    c.setup(b);
    const TransactionOutcome outcome = ProgramPager(b.ctx, ProgramOptions{c.verify, {}});
    EXPECT_EQ(outcome.ending, c.ending);
    ASSERT_NE(b.host.Last(), nullptr);
    if (c.ending == Ending::Success) {
      EXPECT_EQ(*b.host.Last(), Information(c.box));
      continue;
    }
    char address[8];
    std::snprintf(address, sizeof address, "0x%04X", outcome.address);
    const std::string box = c.box.empty() ? "Verify Error at EEPROM address " +
                                                std::string(address) + ", Please Program Pager again"
                                          : c.box;
    EXPECT_EQ(*b.host.Last(), Error(box));
    if (c.ending == Ending::Mismatch) {
      EXPECT_EQ(outcome.found, b.pager.Eeprom[outcome.address]);
      EXPECT_EQ(outcome.expected, (*outcome.image)[outcome.address]);
      EXPECT_NE(outcome.found, outcome.expected);
    }
    EXPECT_TRUE(b.pager.FramesOf(sim::FrameKind::Reset).empty());
    EXPECT_EQ(b.host.Progress(), 0);
  }
}

TEST(TransactionOutcome, NamesTheStepAndBlockWhereTheLinkFailed) {
  struct Case {
    bool program;
    int request; // answered with a NAK
    TransactionStep step;
    const char* described;
  } cases[] = {
      {false, 1, TransactionStep::SoftwareStamp, "software stamp at 0x01F7: NAK (2)"},
      {false, 2, TransactionStep::PagerId, "pager ID at 0x020C: NAK (2)"},
      {false, 9, TransactionStep::Page1, "page 1 read at 0x0100: NAK (2)"},
      {false, 10, TransactionStep::Patch, "patch read at 0x0600: NAK (2)"},
      {true, 7, TransactionStep::SerialNumber, "serial number at 0x01ED: NAK (2)"},
      {true, 9, TransactionStep::PagerConfiguration, "pager configuration at 0x01EC: NAK (2)"},
      {true, 11, TransactionStep::WritePage1, "page 1 write at 0x0100: NAK (2)"},
      {true, 14, TransactionStep::WritePatch, "patch write at 0x06FF: NAK (2)"},
      {true, 15, TransactionStep::Verify, "verify at 0x0000: NAK (2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.described);
    PagerBench b;
    nth_nak(c.request)(b);
    const TransactionOutcome outcome = c.program ? ProgramPager(b.ctx) : ReadPager(b.ctx);
    EXPECT_EQ(outcome.ending, Ending::LinkFailure);
    EXPECT_EQ(outcome.step, c.step);
    EXPECT_EQ(outcome.link, kLinkNak);
    EXPECT_EQ(DescribeOutcome(outcome), c.described);
  }
}

TEST(ProgramPagerBackup, SavesThePagerFirstOrWritesNothing) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("pw-backup-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "a-file") << "x";
  struct Case {
    const char* shows;
    fs::path folder;
    int nakRequest; // -1: none
    Ending ending;
  } cases[] = {
      {"a folder that can be made", dir / "new" / "backups", -1, Ending::Success},
      {"a folder that is a file", dir / "a-file", -1, Ending::FileError},
      {"a NAK to a read of the backup", dir / "unused", 12, Ending::LinkFailure},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    SetText(b.pager.Eeprom, map::kSerialNumber, "PAGER00042");
    Seal(b.pager.Eeprom);
    const Image before = b.pager.Eeprom;
    if (c.nakRequest >= 0) nth_nak(c.nakRequest)(b);
    const TransactionOutcome outcome = ProgramPager(b.ctx, ProgramOptions{true, c.folder});
    EXPECT_EQ(outcome.ending, c.ending);
    if (c.ending == Ending::Success) {
      EXPECT_EQ(outcome.backup.parent_path(), c.folder);
      EXPECT_EQ(outcome.backup.filename().string().rfind("PAGER00042-", 0), 0u);
      const DumpFile saved = LoadDump(outcome.backup);
      ASSERT_TRUE(saved.ok) << saved.error;
      EXPECT_TRUE(saved.image == before);
      continue;
    }
    EXPECT_EQ(outcome.step, TransactionStep::Backup);
    EXPECT_TRUE(b.Writes().empty());
    ASSERT_EQ(b.host.shown.size(), 1u);
    EXPECT_EQ(b.host.shown[0].message.text, "Backup Fail, the pager has not been programmed.");
    EXPECT_EQ(b.host.shown[0].message.icon, Icon::Error);
    EXPECT_FALSE(b.host.shown[0].message.detail.empty());
  }
  fs::remove_all(dir);
}

} // namespace
} // namespace pw::test

namespace pw::test {
namespace {

// The end is told once, with the final outcome, while its box has not been shown yet.
TEST(ProgramPagerEnd, IsToldBeforeTheBoxThatShowsIt) {
  struct Case {
    const char* shows;
    std::function<void(PagerBench&)> setup;
    Ending ending;
  } cases[] = {
      {"a success", [](PagerBench&) {}, Ending::Success},
      {"a NAK to the page 1 write", nth_nak(11), Ending::LinkFailure},
      {"a later stamp",
       [](PagerBench& b) { SetText(b.pager.Eeprom, map::kSoftwareStamp, "019999"); },
       Ending::Refused},
      {"a NAK to the serial number read", nth_nak(7), Ending::LinkFailure},
      {"a pager that keeps nothing it is sent",
       [](PagerBench& b) { b.pager.Faults.ignoreWrite = true; }, Ending::Mismatch},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    c.setup(b);
    std::vector<std::pair<Ending, std::size_t>> told; // ending, boxes shown by then
    ProgramOptions options;
    options.ended = [&](const TransactionOutcome& o) {
      told.push_back({o.ending, b.host.shown.size()});
    };
    const TransactionOutcome outcome = ProgramPager(b.ctx, options);
    EXPECT_EQ(outcome.ending, c.ending);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].first, c.ending);
    EXPECT_EQ(told[0].second + 1, b.host.shown.size()) << ::testing::PrintToString(b.host.Texts());
  }
}

// Asked to stop, the Program ends after the block in flight: no reset, no box, the gauge at 0.
TEST(ProgramPagerStop, EndsBetweenBlocksWithoutTheReset) {
  struct Case {
    int afterWrites; // the stop comes once the pager has taken this many writes
    bool verify;
    TransactionStep step;
    const char* described;
  } cases[] = {
      {0, true, TransactionStep::PagerId, "interrupted before pager ID at 0x020C"},
      {1, true, TransactionStep::WritePage1, "interrupted before page 1 write at 0x0100"},
      {5, true, TransactionStep::Verify, "interrupted before verify at 0x0000"},
      {5, false, TransactionStep::Reset, "interrupted before reset at 0x0000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.described);
    PagerBench b;
    ProgramOptions options;
    options.verify = c.verify;
    options.stopRequested = [&] {
      return c.afterWrites == 0 || b.Writes().size() >= std::size_t(c.afterWrites);
    };
    Ending told = Ending::Success;
    options.ended = [&](const TransactionOutcome& o) { told = o.ending; };
    const TransactionOutcome outcome = ProgramPager(b.ctx, options);
    EXPECT_EQ(outcome.ending, Ending::Interrupted);
    EXPECT_EQ(told, Ending::Interrupted);
    EXPECT_EQ(outcome.step, c.step);
    EXPECT_EQ(DescribeOutcome(outcome), c.described);
    EXPECT_EQ(b.Writes().size(), std::size_t(c.afterWrites));
    EXPECT_EQ(outcome.written.size(), std::size_t(c.afterWrites));
    EXPECT_TRUE(b.pager.FramesOf(sim::FrameKind::Reset).empty());
    EXPECT_TRUE(b.host.shown.empty()) << ::testing::PrintToString(b.host.Texts());
    EXPECT_EQ(b.host.Progress(), 0);
  }
}

// With the backup and the verify on, the gauge counts their bytes too: it moves while the
// pager is backed up and while it is read back, and never goes back. Without them it is the
// gauge of the writes alone.
TEST(ProgramPagerGauge, CountsTheBackupAndTheVerifyWhenTheyAreOn) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("pw-gauge-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  struct Case {
    const char* shows;
    bool verify;
    bool backup;
    int atFirstWrite; // the gauge as the last request before the writes goes out
    int afterWrites;  // as the last patch segment goes out
  } cases[] = {
      {"writes only", false, false, 0, 99},
      {"verify", true, false, 0, 49},            // 831 bytes written, 843 read back
      {"backup and verify", true, true, 48, 77}, // and 2048 backed up before
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    std::vector<std::pair<std::size_t, int>> gauge; // (requests so far, percent)
    struct Watch final : Host {
      Host& inner;
      PagerBench& bench;
      std::vector<std::pair<std::size_t, int>>& seen;
      Watch(Host& h, PagerBench& pb, std::vector<std::pair<std::size_t, int>>& s)
          : inner(h), bench(pb), seen(s) {}
      void Show(const Message& m) override { inner.Show(m); }
      bool AskRetryCancel(const Message& m) override { return inner.AskRetryCancel(m); }
      bool AskYesNo(const Message& m, bool d) override { return inner.AskYesNo(m, d); }
      void SetProgress(int p) override {
        seen.push_back({bench.pager.Frames.size(), p});
        inner.SetProgress(p);
      }
      int Progress() const override { return inner.Progress(); }
      void PumpMessages() override {}
      void SetText(const std::string& n, const std::string& t) override { inner.SetText(n, t); }
      std::string Text(const std::string& n) const override { return inner.Text(n); }
    } watch(b.host, b, gauge);
    Link link(b.clock, watch);
    TransactionContext ctx{b.cp, link, b.port, watch, b.clock};
    const TransactionOutcome outcome =
        ProgramPager(ctx, ProgramOptions{c.verify, c.backup ? dir : fs::path()});
    ASSERT_TRUE(outcome.Ok()) << DescribeOutcome(outcome);
    // Requests before the first write: the checks, and the backup's eight blocks.
    const std::size_t firstWrite = kCheckedReads.size() + 1 + (c.backup ? 8 : 0);
    int before = 0, atWrites = 0, last = 0, peak = 0;
    for (const auto& [requests, percent] : gauge) {
      if (percent == 0)
        continue; // the end puts it back
      EXPECT_GE(percent, last) << "at request " << requests;
      last = percent;
      peak = std::max(peak, percent);
      if (requests < firstWrite)
        before = percent;
      if (requests < firstWrite + kLongPatchWrites.size())
        atWrites = percent;
    }
    EXPECT_EQ(before, c.atFirstWrite);
    EXPECT_EQ(atWrites, c.afterWrites);
    EXPECT_EQ(peak, 100);
    EXPECT_EQ(b.host.Progress(), 0);
  }
  fs::remove_all(dir);
}

} // namespace
} // namespace pw::test
