#include "transactions/pager_dump.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string_view>

#include "base/local_time.h"
#include "base/user_dirs.h"
#include "files/data_file.h"
#include "files/file_io.h"
#include "files/frequency.h"
#include "transactions/compatibility.h"
#include "transactions/transaction_steps.h"

namespace pw {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kPauseMs = 100;
constexpr std::uint32_t kPauseAfterResetMs = 1500;
constexpr int kBlock = map::kPage0Count;
constexpr int kBlocks = static_cast<int>(map::kImageSize) / kBlock;

std::string Hex(unsigned value, int digits) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

std::string Printable(std::string_view text) {
  std::string out;
  for (char c : text) out += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
  return out;
}

// The version query of dump and restore: a missing reply asks Retry/Cancel; a reply the
// Read would refuse only leaves the firmware unknown, since the EEPROM is moved as it is.
bool AskFirmware(TransactionContext& ctx, TransactionOutcome& outcome) {
  for (;;) {
    const LinkResult version = ctx.link.QueryFirmwareVersion(ctx.port, 1);
    if (version == kLinkSuccess || version == kLinkNak) {
      outcome.firmwareText = ctx.link.FirmwareVersionText;
      if (version == kLinkSuccess && ctx.link.FirmwareVersionValid)
        outcome.firmwareVersion = ctx.link.FirmwareVersionNumber;
      return true;
    }
    if (!ctx.host.AskRetryCancel(Message{std::string(text::kProtocolError),
                                         std::string(text::kCaptionWarning), Icon::None})) {
      outcome.ending = Ending::Cancelled;
      outcome.step = TransactionStep::FirmwareVersion;
      outcome.link = version;
      return false;
    }
  }
}

std::uint16_t StoredWord(const Image& e, std::size_t at) {
  return static_cast<std::uint16_t>(e[at] << 8 | e[at + 1]);
}

// One check of an EEPROM image: empty when it passes, else what is wrong.
using EepromCheck = std::function<std::string(const Image&, int firmware)>;

std::string PageChecksum(const Image& e, int page, std::size_t first, std::size_t checksumHi) {
  const std::uint16_t computed = InvertedSum16(&e[first], checksumHi - first);
  const std::uint16_t stored = StoredWord(e, checksumHi);
  if (stored == computed) return {};
  return "page " + std::to_string(page) + " checksum is wrong: " + Hex(stored, 4) +
         " stored, " + Hex(computed, 4) + " computed";
}

const std::vector<EepromCheck>& EepromChecks() {
  static const std::vector<EepromCheck> checks = {
      [](const Image& e, int) { return PageChecksum(e, 0, map::kPage0Start, map::kPage0ChecksumHi); },
      [](const Image& e, int) { return PageChecksum(e, 1, map::kPage1Start, map::kPage1ChecksumHi); },
      [](const Image& e, int) -> std::string {
        if (MarkerIsSound(e[map::kMarker])) return {};
        return "codeplug marker at " + Hex(map::kMarker, 4) + " is " + Hex(e[map::kMarker], 2) +
               ", not " + Hex(map::kMarkerValue, 2);
      },
      [](const Image& e, int) -> std::string {
        const std::uint8_t band = e[map::kBandByte];
        if (BandPairIsValid(map::BandFamily(band), map::SubBand(band))) return {};
        return "band byte " + Hex(band, 2) + " names no known band";
      },
      [](const Image& e, int) -> std::string {
        if (SerialNumberIsStrict(&e[map::kSerialNumber])) return {};
        return "serial number \"" + Printable(steps::SerialNumberText(&e[map::kSerialNumber])) +
               "\" is not ten digits or capital letters";
      },
      [](const Image& e, int) -> std::string {
        const std::string stamp(e.begin() + map::kSoftwareStamp,
                                e.begin() + map::kSoftwareStamp + map::kStampLength);
        const bool digits = std::all_of(stamp.begin(), stamp.end(),
                                        [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || !PagerStampTooNew(std::stoi(stamp), kSoftwareStampNumber)) return {};
        return "software stamp " + stamp + " is later than this program's " +
               std::string(kSoftwareStamp);
      },
      [](const Image& e, int) -> std::string {
        const std::uint8_t b0 = e[map::kPagerId], b1 = e[map::kPagerId + 1];
        switch (CheckPagerId(b0, b1)) {
        case PagerIdVerdict::Accept:
          return {};
        case PagerIdVerdict::AcceptRewrite:
          return "pager ID " + Hex(b0, 2) + " " + Hex(b1, 2) + " is not a complementary pair";
        case PagerIdVerdict::RefusePocsag:
          return "pager ID is POCSAG";
        }
        return {};
      },
      [](const Image& e, int firmware) -> std::string {
        const PatchLayout patch = InspectPatch(e);
        if (!patch.signatureOk) return "no \"PATCH\" signature at " + Hex(map::kPatchSignature, 4);
        if (!patch.headerOk) return "patch header check byte is wrong";
        if (!patch.fits)
          return "patch header describes no readable block (" + Hex(patch.start, 4) + ", " +
                 std::to_string(patch.length) + " bytes)";
        if (!patch.blockOk) return "patch checksum is wrong";
        if (firmware > 0 && PatchVersionTooNew(firmware, patch.version))
          return "patch version " + std::to_string(patch.version) +
                 " is later than this program takes for firmware " + std::to_string(firmware);
        return {};
      },
  };
  return checks;
}

std::string LowerExtension(const fs::path& path) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

std::string PathText(const fs::path& path) {
  const std::u8string name = path.u8string();
  return std::string(name.begin(), name.end());
}

// Characters a file name can carry everywhere; anything else becomes '_'.
std::string FileNameSafe(std::string_view text) {
  std::string out;
  for (char c : text) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out;
}


} // namespace

std::vector<std::string> InspectEeprom(const Image& eeprom, int firmware) {
  std::vector<std::string> warnings;
  for (const EepromCheck& check : EepromChecks())
    if (std::string w = check(eeprom, firmware); !w.empty()) warnings.push_back(std::move(w));
  return warnings;
}

PagerDump DumpPager(TransactionContext& ctx) {
  PagerDump dump;
  TransactionOutcome& outcome = dump.outcome;
  steps::ReopenPort(ctx);
  if (!AskFirmware(ctx, outcome)) return dump;
  if (outcome.firmwareVersion == 0)
    dump.warnings.push_back("the firmware version could not be read: \"" +
                            Printable(outcome.firmwareText) + "\"");
  Image eeprom{};
  const bool read = steps::ReadWholeEeprom(ctx, eeprom, true, outcome);
  ctx.host.SetProgress(0);
  if (!read) {
    steps::ShowFail(ctx.host, text::kReadingFail);
    return dump;
  }
  outcome.serialNumber = steps::SerialNumberText(&eeprom[map::kSerialNumber]);
  outcome.pagerStamp.assign(eeprom.begin() + map::kSoftwareStamp,
                            eeprom.begin() + map::kSoftwareStamp + map::kStampLength);
  outcome.image = eeprom;
  const std::vector<std::string> found = InspectEeprom(eeprom, outcome.firmwareVersion);
  dump.warnings.insert(dump.warnings.end(), found.begin(), found.end());
  return dump;
}

bool IsRawImageName(const fs::path& path) { return LowerExtension(path) == ".bin"; }

DumpFile LoadDump(const fs::path& path) {
  DumpFile file;
  const std::string name = PathText(path);
  FileReadResult read = ReadTextFile(name);
  if (!read.ok) {
    file.error = read.error;
    return file;
  }
  if (IsRawImageName(path)) {
    if (read.text.size() != map::kImageSize) {
      file.error = "\"" + name + "\" holds " + std::to_string(read.text.size()) +
                   " bytes, not the " + std::to_string(map::kImageSize) + " of a pager's EEPROM";
      return file;
    }
    std::copy(read.text.begin(), read.text.end(), file.image.begin());
  } else {
    std::optional<Image> image = ParseDataFile(read.text);
    if (!image) {
      file.error = "\"" + name + "\" is no complete codeplug data file";
      return file;
    }
    file.image = *image;
  }
  file.ok = true;
  return file;
}

bool SaveDump(const fs::path& path, const Image& eeprom, std::string* error) {
  const std::string text =
      IsRawImageName(path)
          ? std::string(reinterpret_cast<const char*>(eeprom.data()), eeprom.size())
          : WriteDataFile(eeprom);
  FileWriteResult written = WriteFileSafely(PathText(path), text, false);
  if (!written.ok && error) *error = written.error;
  return written.ok;
}

BackupFile SaveBackup(const fs::path& folder, const Image& eeprom, std::time_t when) {
  BackupFile backup;
  if (!EnsureDirectory(folder, &backup.error)) return backup;
  std::string serial = FileNameSafe(steps::SerialNumberText(&eeprom[map::kSerialNumber]));
  const std::string stem = serial + "-" + LocalTimeText(when, "%Y%m%d-%H%M%S");
  backup.path = folder / (stem + ".Dat");
  for (int n = 2; fs::exists(backup.path); ++n)
    backup.path = folder / (stem + "-" + std::to_string(n) + ".Dat");
  backup.ok = SaveDump(backup.path, eeprom, &backup.error);
  return backup;
}

TransactionOutcome RestorePager(TransactionContext& ctx, const Image& dump,
                                const RestoreOptions& options) {
  TransactionOutcome outcome;
  Host& host = ctx.host;
  steps::ReopenPort(ctx);
  if (!AskFirmware(ctx, outcome)) return outcome;

  // The dump goes back only into the pager it came from.
  ctx.clock.Sleep(kPauseMs);
  const LinkResult serial =
      steps::ReadPagerBlock(ctx, map::kSerialNumber, map::kSerialNumberLength);
  if (serial != kLinkSuccess) {
    steps::ShowFail(host, text::kProgrammingFail);
    steps::LinkFailed(outcome, TransactionStep::SerialNumber, serial, map::kSerialNumber);
    return outcome;
  }
  outcome.serialNumber = steps::SerialNumberText(ctx.link.ReceiveBuffer.data());
  const std::string dumpSerial = steps::SerialNumberText(&dump[map::kSerialNumber]);
  if (outcome.serialNumber != dumpSerial && !options.force) {
    steps::ShowInfo(host, std::string(text::kSerialNumberNoMatch) +
                              Printable(outcome.serialNumber) + ", the backup's is " +
                              Printable(dumpSerial) + ".");
    outcome.ending = Ending::Refused;
    outcome.step = TransactionStep::SerialNumber;
    return outcome;
  }

  outcome.image = dump;
  auto fail = [&](std::string_view text) {
    steps::ShowFail(host, text);
    host.SetProgress(0);
    return outcome;
  };
  for (int i = 0; i < kBlocks; ++i) {
    const auto address = static_cast<std::uint16_t>(i * kBlock);
    std::copy_n(dump.begin() + address, kBlock, ctx.link.TransmitBuffer.begin());
    ctx.clock.Sleep(kPauseMs);
    host.PumpMessages();
    outcome.written.push_back({address, kBlock});
    const LinkResult result = ctx.link.WriteBlock(ctx.port, address, kBlock, kProgressNone);
    if (result != kLinkSuccess) {
      steps::LinkFailed(outcome, TransactionStep::Eeprom, result, address);
      return fail(text::kProgramingFail);
    }
    host.SetProgress((i + 1) * 100 / kBlocks);
  }
  ctx.clock.Sleep(kPauseMs);
  if (!steps::VerifyBlocks(ctx, dump, outcome.written, outcome))
    return fail(outcome.ending == Ending::Mismatch
                    ? steps::VerifyErrorText(outcome.address, text::kRestoreAgain)
                    : std::string(text::kProgramingFail));
  const LinkResult reset = steps::ResetPager(ctx);
  if (reset != kLinkSuccess) {
    steps::LinkFailed(outcome, TransactionStep::Reset, reset, 0);
    return fail(text::kProgrammingFail);
  }
  ctx.clock.Sleep(kPauseMs);
  ctx.clock.Sleep(kPauseAfterResetMs);
  steps::ShowInformation(host, text::kRestored);
  host.SetProgress(0);
  return outcome;
}

} // namespace pw
