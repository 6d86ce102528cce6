// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <unistd.h>

#include "base/sha256.h"
#include "transactions/pager_bench.h"
#include "transactions/pager_dump.h"
#include "transactions/transaction_steps.h"

namespace pw::test {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
  TempFolder() : path_(fs::temp_directory_path() / ("pw-dump-" + std::to_string(::getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

private:
  fs::path path_;
};

// A byte of code A's address, in page 0.
constexpr std::size_t kCodeAByte = map::AddressWord1(1) + 2;

bool HasWarning(const std::vector<std::string>& warnings, std::string_view start) {
  for (const std::string& w : warnings)
    if (w.rfind(start, 0) == 0) return true;
  return false;
}

TEST(InspectEeprom, NamesWhatIsWrongWithTheImage) {
  struct Case {
    const char* shows;
    std::function<void(Image&)> change;
    bool seal;
    int firmware;
    const char* warning; // the only warning, by its start; null: none
  } cases[] = {
      {"a sound pager", [](Image&) {}, true, 10209, nullptr},
      {"page 0 checksum", [](Image& e) { e[0x0FF] ^= 1; }, false, 10209, "page 0 checksum is wrong"},
      {"page 1 checksum", [](Image& e) { e[0x1FE] ^= 1; }, false, 10209, "page 1 checksum is wrong"},
      {"marker", [](Image& e) { e[0x012] = 0x79; }, true, 10209,
       "codeplug marker at 0x0012 is 0x79, not 0x78"},
      {"band", [](Image& e) { e[0x1EC] = 0x02; }, true, 10209, "band byte 0x02 names no known band"},
      {"serial number", [](Image& e) { e[0x1EF] = 'g'; }, true, 10209, "serial number \""},
      {"later stamp", [](Image& e) { SetText(e, map::kSoftwareStamp, "010300"); }, true, 10209,
       "software stamp 010300 is later than this program's 010209"},
      {"POCSAG", [](Image& e) { e[0x20C] = 0x0F, e[0x20D] = 0xF0; }, true, 10209,
       "pager ID is POCSAG"},
      {"no signature", [](Image& e) { e[0x204] = 'X'; }, true, 10209,
       "no \"PATCH\" signature at 0x0200"},
      {"patch checksum", [](Image& e) { e[0x603] ^= 1; }, true, 10209, "patch checksum is wrong"},
      {"later patch", [](Image& e) { SetShortPatchVersion(e, 4); }, true, 10204,
       "patch version 4 is later than this program takes for firmware 10204"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    Image e = sim::DefaultPagerEeprom();
    c.change(e);
    if (c.seal) Seal(e);
    const std::vector<std::string> warnings = InspectEeprom(e, c.firmware);
    if (c.warning == nullptr) {
      EXPECT_TRUE(warnings.empty()) << ::testing::PrintToString(warnings);
    } else {
      ASSERT_EQ(warnings.size(), 1u) << ::testing::PrintToString(warnings);
      EXPECT_TRUE(HasWarning(warnings, c.warning)) << warnings[0];
    }
  }
}

TEST(DumpAndRestore, RoundTripAPagerTheReadRefusesByteForByte) {
  TempFolder dir;
  PagerBench b;
  Image& e = b.pager.Eeprom;
  SetText(e, map::kSerialNumber, "PAGER00042");
  for (int i = 0x220; i < 0x500; ++i) e[i] = static_cast<std::uint8_t>(i * 7); // never programmed
  Seal(e);
  e[map::kPatchSignature] = 'X';  // the Read stops at "EEPROM empty"
  e[map::kPage1ChecksumLo] ^= 1;  // and the page would not pass either
  const Image original = e;
  EXPECT_EQ(ReadPager(b.ctx).ending, Ending::Refused);

  b.host.Clear();
  const PagerDump dump = DumpPager(b.ctx);
  ASSERT_TRUE(dump.outcome.Ok()) << DescribeOutcome(dump.outcome);
  EXPECT_TRUE(*dump.outcome.image == original);
  EXPECT_EQ(dump.outcome.serialNumber, "PAGER00042");
  EXPECT_TRUE(HasWarning(dump.warnings, "page 1 checksum is wrong"));
  EXPECT_TRUE(HasWarning(dump.warnings, "no \"PATCH\" signature"));
  EXPECT_TRUE(b.host.shown.empty());
  EXPECT_EQ(b.host.Progress(), 0);

  for (const char* name : {"pager.Dat", "pager.BIN"}) {
    SCOPED_TRACE(name);
    std::string error;
    ASSERT_TRUE(SaveDump(dir.path() / name, original, &error)) << error;
    const DumpFile loaded = LoadDump(dir.path() / name);
    ASSERT_TRUE(loaded.ok) << loaded.error;
    EXPECT_TRUE(loaded.image == original);
  }
  EXPECT_EQ(fs::file_size(dir.path() / "pager.BIN"), 2048u);

  // The pager is half-written afterwards; the dump puts it back as it was.
  std::fill(e.begin(), e.begin() + 0x100, 0xFF);
  b.pager.Frames.clear();
  const TransactionOutcome restored = RestorePager(b.ctx, LoadDump(dir.path() / "pager.Dat").image,
                                                   RestoreOptions{.writeDamagedImage = true});
  ASSERT_TRUE(restored.Ok()) << DescribeOutcome(restored);
  EXPECT_TRUE(b.pager.Eeprom == original);
  std::vector<std::pair<int, int>> blocks;
  for (int a = 0; a < 0x800; a += 0x100) blocks.push_back({a, 256});
  EXPECT_EQ(b.Writes(), blocks);
  blocks.insert(blocks.begin(), {0x1ED, 10});
  EXPECT_EQ(b.Reads(), blocks); // the serial number, then every block read back
  EXPECT_EQ(b.pager.FramesOf(sim::FrameKind::Reset).size(), 1u);
  EXPECT_EQ(*b.host.Last(), Information("Pager Restored Successfully!"));
  EXPECT_EQ(b.host.Progress(), 0);
}

TEST(RestorePager, RefusesAnotherPagersDumpUnlessForcedAndVerifies) {
  const Message restored = Information("Pager Restored Successfully!");
  auto withDetail = [](Message m, std::string detail) {
    m.detail = std::move(detail);
    return m;
  };
  struct Case {
    const char* shows;
    const char* dumpSerial;
    RestoreOptions options;
    bool pagerKeepsWrites;
    Ending ending;
    std::size_t writes;
    Message last;
    const char* serialAfter; // the pager's serial number afterwards
  } cases[] = {
      {"another pager's dump is refused",
       "OTHER00001",
       {},
       true,
       Ending::Refused,
       0,
       Info("Serial Number no Match, Please Restore the backup of this pager.\nPager's serial "
            "number is PAGER00042, the backup's is OTHER00001."),
       "PAGER00042"},
      {"forced, the pager keeps its own serial number",
       "OTHER00001",
       {.force = true},
       true,
       Ending::Success,
       8,
       withDetail(restored, "The pager keeps its own serial number PAGER00042; the backup's "
                            "OTHER00001 was not written."),
       "PAGER00042"},
      {"forced with the serial number, it is copied",
       "OTHER00001",
       {.force = true, .copySerialNumber = true},
       true,
       Ending::Success,
       8,
       withDetail(restored, "The pager now carries the backup's serial number OTHER00001 in "
                            "place of PAGER00042."),
       "OTHER00001"},
      {"a pager that keeps nothing fails the verify",
       "PAGER00042",
       {},
       false,
       Ending::Mismatch,
       8,
       Error("Verify Error at EEPROM address 0x0019, Please Restore Pager again"),
       "PAGER00042"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    SetText(b.pager.Eeprom, map::kSerialNumber, "PAGER00042");
    Seal(b.pager.Eeprom);
    Image dump = b.pager.Eeprom;
    SetText(dump, map::kSerialNumber, c.dumpSerial);
    dump[kCodeAByte] ^= 0x01;
    Seal(dump);
    b.pager.Faults.ignoreWrite = !c.pagerKeepsWrites;
    const Image before = b.pager.Eeprom;
    const TransactionOutcome outcome = RestorePager(b.ctx, dump, c.options);
    EXPECT_EQ(outcome.ending, c.ending);
    EXPECT_EQ(b.Writes().size(), c.writes);
    EXPECT_EQ(*b.host.Last(), c.last);
    EXPECT_EQ(b.pager.FramesOf(sim::FrameKind::Reset).size(), c.ending == Ending::Success ? 1u : 0u);
    EXPECT_EQ(steps::SerialNumberText(&b.pager.Eeprom[map::kSerialNumber]), c.serialAfter);
    if (c.ending == Ending::Success) {
      // All the dump's codeplug, and a pager the Read takes: page 1 sealed around the number.
      EXPECT_EQ(b.pager.Eeprom[kCodeAByte], dump[kCodeAByte]);
      EXPECT_TRUE(InspectEeprom(b.pager.Eeprom, 10209).empty());
      EXPECT_TRUE(*outcome.image == b.pager.Eeprom);
    } else if (c.pagerKeepsWrites) {
      EXPECT_TRUE(b.pager.Eeprom == before);
    }
  }
}

TEST(RestorePager, AnImageTheReadWouldRefuseIsNotWrittenUnlessInsisted) {
  auto patchFlip = [](Image& e) { e[map::kPatchCode + 1] ^= 0x10; };
  struct Case {
    const char* shows;
    std::function<void(Image&)> damage;
    bool seal;
    TransactionStep check;
    const char* detail;
    bool askedThePager; // the check needs the pager's firmware
  } cases[] = {
      {"one bit of page 0", [](Image& e) { e[kCodeAByte] ^= 0x01; }, false, TransactionStep::Page0,
       "The backup's page 0 checksum is wrong", false},
      {"one bit of the patch", patchFlip, false, TransactionStep::Patch,
       "The backup's patch checksum is wrong.", false},
      {"0xFF with only the serial number",
       [](Image& e) {
         Image blank{};
         blank.fill(0xFF);
         SetText(blank, map::kSerialNumber, "PAGER00042");
         e = blank;
       },
       true, TransactionStep::Marker, "The backup's codeplug marker at 0x0012 is 0xFF", false},
      {"a complementless pager ID",
       [](Image& e) { e[map::kPagerId] = e[map::kPagerId + 1] = 0xFF; }, true,
       TransactionStep::PagerId, "The backup's pager ID 0xFF 0xFF", false},
      {"a later stamp", [](Image& e) { SetText(e, map::kSoftwareStamp, "019999"); }, true,
       TransactionStep::SoftwareStamp, "The backup's software stamp 019999", false},
      {"a patch later than the pager's firmware takes",
       [](Image& e) { SetShortPatchVersion(e, 6); }, true, TransactionStep::Patch,
       "The backup's patch version 6 is later", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    Image dump = sim::DefaultPagerEeprom();
    SetText(dump, map::kSerialNumber, "PAGER00042");
    Seal(dump);
    c.damage(dump);
    if (c.seal)
      Seal(dump);
    for (bool insist : {false, true}) {
      PagerBench b;
      b.pager.FirmwareDigits = "010204";
      b.pager.Eeprom = dump; // the same pager
      b.pager.Eeprom[kCodeAByte] ^= 0x40;
      Seal(b.pager.Eeprom);
      const TransactionOutcome outcome =
          RestorePager(b.ctx, dump, RestoreOptions{.writeDamagedImage = insist});
      if (insist) {
        EXPECT_TRUE(outcome.Ok()) << DescribeOutcome(outcome);
        EXPECT_TRUE(b.pager.Eeprom == dump);
        continue;
      }
      EXPECT_EQ(outcome.ending, Ending::Refused);
      EXPECT_EQ(outcome.step, c.check) << DescribeOutcome(outcome);
      EXPECT_TRUE(b.Writes().empty());
      EXPECT_EQ(b.pager.Frames.empty(), !c.askedThePager);
      ASSERT_EQ(b.host.shown.size(), 1u);
      EXPECT_EQ(b.host.shown[0].message.text,
                "Backup Data Error, nothing has been written to the pager.");
      EXPECT_EQ(b.host.shown[0].message.detail.rfind(c.detail, 0), 0u)
          << b.host.shown[0].message.detail;
    }
  }
}

TEST(DumpFiles, CarryTheirDigestAndAChangedDumpNoLongerMatchesIt) {
  TempFolder dir;
  Image e = sim::DefaultPagerEeprom();
  for (const char* name : {"pager.Dat", "pager.bin"}) {
    SCOPED_TRACE(name);
    const fs::path path = dir.path() / name;
    std::string error;
    ASSERT_TRUE(SaveDump(path, e, &error)) << error;
    // One line as sha256sum writes it, of the file as written.
    std::ifstream dump(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(dump)), {});
    std::ifstream side(fs::path(path.string() + ".sha256"));
    const std::string line((std::istreambuf_iterator<char>(side)), {});
    EXPECT_EQ(line, Sha256Hex({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}) +
                        "  " + name + "\n");
    EXPECT_EQ(LoadDump(path).digest, DumpDigest::Matches);

    // An edited dump, its records' checksums made to agree.
    Image edited = e;
    edited[kCodeAByte] ^= 0x01;
    const fs::path other = dir.path() / ("other-" + std::string(name));
    ASSERT_TRUE(SaveDump(other, edited, &error)) << error;
    fs::copy_file(other, path, fs::copy_options::overwrite_existing);
    EXPECT_EQ(LoadDump(path).digest, DumpDigest::Differs);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    std::ofstream(fs::path(path.string() + ".sha256"), std::ios::trunc) << "not a digest\n";
    EXPECT_EQ(LoadDump(path).digest, DumpDigest::Differs);
    fs::remove(path.string() + ".sha256");
    EXPECT_EQ(LoadDump(path).digest, DumpDigest::Missing);
  }
}

TEST(DumpPager, ALostBlockOrASilentPagerEndsTheDump) {
  struct Case {
    const char* shows;
    std::function<void(PagerBench&)> setup;
    Ending ending;
    std::uint16_t address;
    Shown::Kind kind;
  } cases[] = {
      {"a NAK to the third block",
       [](PagerBench& b) {
         b.pager.NextFaults.assign(3, sim::PagerFaults{});
         b.pager.NextFaults.push_back(Nak());
       },
       Ending::LinkFailure, 0x200, Shown::Kind::Box},
      {"no answer at all asks Retry/Cancel", [](PagerBench& b) { b.pager.Faults.silent = true; },
       Ending::Cancelled, 0, Shown::Kind::RetryCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    PagerBench b;
    c.setup(b);
    const PagerDump dump = DumpPager(b.ctx);
    EXPECT_EQ(dump.outcome.ending, c.ending);
    EXPECT_EQ(dump.outcome.address, c.address);
    EXPECT_FALSE(dump.outcome.image.has_value());
    ASSERT_EQ(b.host.shown.size(), 1u);
    EXPECT_EQ(b.host.shown[0].kind, c.kind);
    if (c.kind == Shown::Kind::Box) {
      EXPECT_EQ(b.host.shown[0].message, Error("Reading Fail"));
    }
  }
}

TEST(DumpFiles, RefuseWhatIsNoDumpAndNameBackupsBySerialAndTime) {
  TempFolder dir;
  std::ofstream(dir.path() / "short.bin") << std::string(100, 'x');
  std::ofstream(dir.path() / "junk.Dat") << "no records here\r\n";
  const std::pair<const char*, const char*> refused[] = {
      {"short.bin", "holds 100 bytes, not the 2048 of a pager's EEPROM"},
      {"junk.Dat", "is no complete codeplug data file"},
      {"missing.Dat", "missing.Dat"},
  };
  for (const auto& [name, reason] : refused) {
    const DumpFile file = LoadDump(dir.path() / name);
    EXPECT_FALSE(file.ok) << name;
    EXPECT_NE(file.error.find(reason), std::string::npos) << file.error;
  }

  ::setenv("TZ", "UTC", 1);
  ::tzset();
  const std::time_t when = 1735700645; // 2025-01-01 03:04:05 UTC
  Image e = sim::DefaultPagerEeprom();
  SetText(e, map::kSerialNumber, "PAGER/42\x01Z");
  const fs::path folder = dir.path() / "backups";
  for (const char* expected : {"PAGER_42_Z-20250101-030405.Dat", "PAGER_42_Z-20250101-030405-2.Dat"}) {
    const BackupFile backup = SaveBackup(folder, e, when);
    ASSERT_TRUE(backup.ok) << backup.error;
    EXPECT_EQ(backup.path, folder / expected);
    EXPECT_TRUE(LoadDump(backup.path).image == e);
  }
  ::unsetenv("TZ");
  ::tzset();
}

} // namespace
} // namespace pw::test
