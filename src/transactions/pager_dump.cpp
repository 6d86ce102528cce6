// SPDX-License-Identifier: GPL-3.0-or-later
#include "transactions/pager_dump.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string_view>

#include "base/local_time.h"
#include "base/sha256.h"
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
struct EepromCheck {
  TransactionStep check;
  std::function<std::string(const Image&, int firmware)> problem;
};

std::string PageChecksum(const Image& e, int page, std::size_t first, std::size_t checksumHi) {
  const std::uint16_t computed = InvertedSum16(&e[first], checksumHi - first);
  const std::uint16_t stored = StoredWord(e, checksumHi);
  if (stored == computed) return {};
  return "page " + std::to_string(page) + " checksum is wrong: " + Hex(stored, 4) +
         " stored, " + Hex(computed, 4) + " computed";
}

// The rules the Read judges a pager by, applied to the whole image at once.
const std::vector<EepromCheck>& EepromChecks() {
  using S = TransactionStep;
  static const std::vector<EepromCheck> checks = {
      {S::Page0, [](const Image& e,
                    int) { return PageChecksum(e, 0, map::kPage0Start, map::kPage0ChecksumHi); }},
      {S::Page1, [](const Image& e,
                    int) { return PageChecksum(e, 1, map::kPage1Start, map::kPage1ChecksumHi); }},
      {S::Marker,
       [](const Image& e, int) -> std::string {
         if (MarkerIsSound(e[map::kMarker]))
           return {};
         return "codeplug marker at " + Hex(map::kMarker, 4) + " is " + Hex(e[map::kMarker], 2) +
                ", not " + Hex(map::kMarkerValue, 2);
       }},
      {S::Band,
       [](const Image& e, int) -> std::string {
         const std::uint8_t band = e[map::kBandByte];
         if (BandPairIsValid(map::BandFamily(band), map::SubBand(band)))
           return {};
         return "band byte " + Hex(band, 2) + " names no known band";
       }},
      {S::SerialNumber,
       [](const Image& e, int) -> std::string {
         if (SerialNumberIsStrict(&e[map::kSerialNumber]))
           return {};
         return "serial number \"" + Printable(steps::SerialNumberText(&e[map::kSerialNumber])) +
                "\" is not ten digits or capital letters";
       }},
      {S::SoftwareStamp,
       [](const Image& e, int) -> std::string {
         const std::string stamp(e.begin() + map::kSoftwareStamp,
                                 e.begin() + map::kSoftwareStamp + map::kStampLength);
         const bool digits =
             std::all_of(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; });
         if (!digits || !PagerStampTooNew(std::stoi(stamp), kSoftwareStampNumber))
           return {};
         return "software stamp " + stamp + " is later than this program's " +
                std::string(kSoftwareStamp);
       }},
      {S::PagerId,
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
       }},
      {S::Patch,
       [](const Image& e, int firmware) -> std::string {
         const PatchLayout patch = InspectPatch(e);
         if (!patch.signatureOk)
           return "no \"PATCH\" signature at " + Hex(map::kPatchSignature, 4);
         if (!patch.headerOk)
           return "patch header check byte is wrong";
         if (!patch.fits)
           return "patch header describes no readable block (" + Hex(patch.start, 4) + ", " +
                  std::to_string(patch.length) + " bytes)";
         if (!patch.blockOk)
           return "patch checksum is wrong";
         if (firmware > 0 && PatchVersionTooNew(firmware, patch.version))
           return "patch version " + std::to_string(patch.version) +
                  " is later than this program takes for firmware " + std::to_string(firmware);
         return {};
       }},
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
    if (std::string w = check.problem(eeprom, firmware); !w.empty())
      warnings.push_back(std::move(w));
  return warnings;
}

std::optional<EepromProblem> FirstEepromProblem(const Image& eeprom, int firmware) {
  for (const EepromCheck& check : EepromChecks())
    if (std::string w = check.problem(eeprom, firmware); !w.empty())
      return EepromProblem{check.check, std::move(w)};
  return std::nullopt;
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

fs::path DigestFilePath(const fs::path& dump) {
  fs::path side = dump;
  side += ".sha256";
  return side;
}

namespace {

// The digest line of a dump's text: what sha256sum writes for the file.
std::string DigestLine(std::string_view dumpText, const fs::path& dump) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(dumpText.data());
  return Sha256Hex({bytes, dumpText.size()}) + "  " + PathText(dump.filename()) + "\n";
}

// The side file's first 64 characters must be the file's digest, in either case.
DumpDigest CheckDigest(const fs::path& dump, std::string_view dumpText) {
  const fs::path side = DigestFilePath(dump);
  std::error_code ec;
  if (!fs::exists(side, ec))
    return DumpDigest::Missing;
  FileReadResult read = ReadTextFile(PathText(side));
  if (!read.ok || read.text.size() < 64)
    return DumpDigest::Differs;
  std::string stored = read.text.substr(0, 64);
  std::transform(stored.begin(), stored.end(), stored.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return stored == DigestLine(dumpText, dump).substr(0, 64) ? DumpDigest::Matches
                                                            : DumpDigest::Differs;
}

} // namespace

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
  file.digest = CheckDigest(path, read.text);
  file.ok = true;
  return file;
}

bool SaveDump(const fs::path& path, const Image& eeprom, std::string* error) {
  const std::string text =
      IsRawImageName(path)
          ? std::string(reinterpret_cast<const char*>(eeprom.data()), eeprom.size())
          : WriteDataFile(eeprom);
  FileWriteResult written = WriteFileSafely(PathText(path), text, false);
  if (written.ok)
    written = WriteFileSafely(PathText(DigestFilePath(path)), DigestLine(text, path), false);
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

namespace {

// An image that fails a check of the Read is not written unless the user insists.
bool RefuseDamagedImage(Host& host, const Image& image, int firmware, bool insist,
                        TransactionOutcome& outcome) {
  if (insist)
    return false;
  const std::optional<EepromProblem> problem = FirstEepromProblem(image, firmware);
  if (!problem)
    return false;
  host.Show(Message{std::string(text::kRestoreDamaged), std::string(text::kCaptionError),
                    Icon::Error, "The backup's " + problem->text + "."});
  outcome.ending = Ending::Refused;
  outcome.step = problem->check;
  outcome.detail = problem->text;
  return true;
}

// The dump with the pager's own serial number in it, page 1 sealed again around it.
Image WithSerialNumber(const Image& dump, const std::uint8_t* serial) {
  Image image = dump;
  std::copy_n(serial, map::kSerialNumberLength, image.begin() + map::kSerialNumber);
  const std::uint16_t check =
      InvertedSum16(&image[map::kPage1Start], map::kPage1ChecksumHi - map::kPage1Start);
  image[map::kPage1ChecksumHi] = static_cast<std::uint8_t>(check >> 8);
  image[map::kPage1ChecksumLo] = static_cast<std::uint8_t>(check);
  return image;
}

} // namespace

TransactionOutcome RestorePager(TransactionContext& ctx, const Image& dump,
                                const RestoreOptions& options) {
  TransactionOutcome outcome;
  Host& host = ctx.host;
  if (RefuseDamagedImage(host, dump, 0, options.writeDamagedImage, outcome))
    return outcome;
  steps::ReopenPort(ctx);
  if (!AskFirmware(ctx, outcome)) return outcome;
  // The patch version is judged against the pager's firmware, as the Read judges it.
  if (RefuseDamagedImage(host, dump, outcome.firmwareVersion, options.writeDamagedImage, outcome))
    return outcome;

  // The dump goes back only into the pager it came from.
  ctx.clock.Sleep(kPauseMs);
  const LinkResult serial =
      steps::ReadPagerBlock(ctx, map::kSerialNumber, map::kSerialNumberLength);
  if (serial != kLinkSuccess) {
    steps::LinkFailed(outcome, TransactionStep::SerialNumber, serial, map::kSerialNumber);
    steps::ShowFail(host, text::kProgrammingFail);
    return outcome;
  }
  std::array<std::uint8_t, map::kSerialNumberLength> pagerSerial{};
  std::copy_n(ctx.link.ReceiveBuffer.begin(), pagerSerial.size(), pagerSerial.begin());
  outcome.serialNumber = steps::SerialNumberText(pagerSerial.data());
  const std::string dumpSerial = steps::SerialNumberText(&dump[map::kSerialNumber]);
  Image image = dump;
  std::string serialNote;
  if (outcome.serialNumber != dumpSerial) {
    if (!options.force) {
      outcome.ending = Ending::Refused;
      outcome.step = TransactionStep::SerialNumber;
      steps::ShowInfo(host, std::string(text::kSerialNumberNoMatch) +
                                Printable(outcome.serialNumber) + ", the backup's is " +
                                Printable(dumpSerial) + ".");
      return outcome;
    }
    // Two pagers must never answer to one number: the pager keeps its own, as a Program
    // keeps it, unless the user asked for the backup's.
    if (options.copySerialNumber || !SerialNumberIsAlphanumeric(pagerSerial.data())) {
      serialNote = "The pager now carries the backup's serial number " + Printable(dumpSerial) +
                   " in place of " + Printable(outcome.serialNumber) + ".";
    } else {
      image = WithSerialNumber(dump, pagerSerial.data());
      serialNote = "The pager keeps its own serial number " + Printable(outcome.serialNumber) +
                   "; the backup's " + Printable(dumpSerial) + " was not written.";
    }
  }

  outcome.image = image;
  auto fail = [&](std::string_view text) {
    steps::ShowFail(host, text);
    host.SetProgress(0);
    return outcome;
  };
  for (int i = 0; i < kBlocks; ++i) {
    const auto address = static_cast<std::uint16_t>(i * kBlock);
    std::copy_n(image.begin() + address, kBlock, ctx.link.TransmitBuffer.begin());
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
  if (!steps::VerifyBlocks(ctx, image, outcome.written, outcome))
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
  host.Show(Message{std::string(text::kRestored), std::string(text::kCaptionInformation),
                    Icon::None, serialNote});
  host.SetProgress(0);
  return outcome;
}

} // namespace pw
