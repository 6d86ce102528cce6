// SPDX-License-Identifier: GPL-3.0-or-later
// Program Pager: checks that the pager and the codeplug belong together, prepares
// WorkingImage for the pager's firmware and writes it. The preparation stays in memory even
// when a later step fails.
#include <algorithm>
#include <string>
#include <vector>

#include "files/alert_fields.h"
#include "transactions/pager_dump.h"
#include "files/frequency.h"
#include "transactions/compatibility.h"
#include "transactions/transaction_steps.h"
#include "base/sha256.h"
#include "transactions/transactions.h"

namespace pw {
namespace {

using steps::ShowFail;
using steps::ShowInfo;
using steps::ShowWarning;

constexpr std::uint32_t kPauseMs = 100;
constexpr std::uint32_t kPauseBeforePatchCheckMs = 200;
constexpr std::uint32_t kPauseAfterResetMs = 1500;
constexpr std::uint8_t kErasedByte = 0xFF; // an EEPROM byte never written
constexpr int kTransmitFill = 1000; // positions refilled with the fill byte before a segment
constexpr int kSignatureAndHeader = map::kPatchSignatureLength + map::kPatchHeaderLength;

// The Host of a Program: tells the transaction's end to ProgramOptions::ended before the box
// that shows it. Every ending sets the outcome before its box, so the first box shown with a
// failed outcome, or the success box, marks the end.
class EndingHost final : public Host {
public:
  EndingHost(Host& inner, const TransactionOutcome& outcome,
             const std::function<void(const TransactionOutcome&)>& ended)
      : inner_(inner), outcome_(outcome), ended_(ended) {}
  ~EndingHost() override { Ended(); }

  void Ended() {
    if (told_)
      return;
    told_ = true;
    if (ended_)
      ended_(outcome_);
  }
  void Show(const Message& m) override {
    if (!outcome_.Ok() || m.text == text::kProgrammed)
      Ended();
    inner_.Show(m);
  }
  bool AskRetryCancel(const Message& m) override { return inner_.AskRetryCancel(m); }
  bool AskYesNo(const Message& m, bool defaultNo) override { return inner_.AskYesNo(m, defaultNo); }
  void SetProgress(int percent) override { inner_.SetProgress(percent); }
  int Progress() const override { return inner_.Progress(); }
  void PumpMessages() override { inner_.PumpMessages(); }
  void SetText(const std::string& control, const std::string& text) override {
    inner_.SetText(control, text);
  }
  std::string Text(const std::string& control) const override { return inner_.Text(control); }

private:
  Host& inner_;
  const TransactionOutcome& outcome_;
  const std::function<void(const TransactionOutcome&)>& ended_;
  bool told_ = false;
};

class ProgramTransaction {
public:
  ProgramTransaction(TransactionContext& ctx, const ProgramOptions& options)
      : ending_(ctx.host, outcome_, options.ended), ctx_{ctx.codeplug, ctx.link, ctx.port, ending_,
                                                         ctx.clock},
        options_(options), cp_(ctx.codeplug), link_(ctx.link), host_(ending_),
        rx_(ctx.link.ReceiveBuffer), tx_(ctx.link.TransmitBuffer) {}

  TransactionOutcome Run() {
    TransactionOutcome result = RunSteps();
    link_.ProgressBase = 0;
    ending_.Ended();
    return result;
  }

private:
  TransactionOutcome RunSteps() {
    if (!SerialNumberIsStrict(&cp_.WorkingImage[map::kSerialNumber])) {
      outcome_.step = TransactionStep::SerialNumberInMemory;
      Refuse(text::kSerialNumberError);
      return outcome_;
    }
    steps::ReopenPort(ctx_);
    link_.SegmentOffset = 0;
    link_.ProgressBase = 0;
    if (!steps::QueryVersionAndStamp(ctx_, text::kProgrammingFail,
                                     [this] { return ConfirmLedFlash(); }, outcome_))
      return outcome_;
    // The refusal is the outcome before its warning shows.
    outcome_.step = TransactionStep::SoftwareStamp;
    outcome_.ending = Ending::Refused;
    if (steps::RefuseNewerStamp(ctx_, text::kLaterPpsProgram))
      return outcome_;
    outcome_.step = TransactionStep::None;
    outcome_.ending = Ending::Success;
    firmware_ = link_.FirmwareVersionNumber;

    cp_.ApplyForcedBytes();
    cp_.StampSoftwareVersion();
    ctx_.clock.Sleep(kPauseMs);
    RefreshBatteryFields();

    const bool programmed =
        CheckPager() && PrepareImage() && BackUp() && WriteImage() && Verify() && Reset();
    if (!programmed && outcome_.Ok()) outcome_.ending = Ending::Refused;
    return outcome_;
  }

  // A failed exchange: the step and block of the last request, and its result.
  bool Fail(std::string_view text) {
    if (outcome_.ending == Ending::Interrupted)
      return false; // nothing failed
    steps::LinkFailed(outcome_, outcome_.step, lastResult_, outcome_.address);
    ShowFail(host_, text);
    return false;
  }
  bool Refuse(std::string_view text) {
    outcome_.ending = Ending::Refused;
    ShowInfo(host_, text);
    return false;
  }
  // The user asked to stop: the block before this one was the last. No box: the caller
  // asked for it and says so.
  bool Interrupted(TransactionStep step, std::uint16_t address) {
    if (!options_.stopRequested || !options_.stopRequested())
      return false;
    outcome_.ending = Ending::Interrupted;
    outcome_.step = step;
    outcome_.address = address;
    host_.SetProgress(0);
    return true;
  }
  steps::BlockRun Run(bool countBytes) const { return {options_.stopRequested, countBytes}; }
  bool WriteFail() {
    Fail(text::kProgramingFail);
    host_.SetProgress(0);
    return false;
  }
  bool Read(TransactionStep step, std::uint16_t address, int count) {
    if (Interrupted(step, address))
      return false;
    outcome_.step = step;
    outcome_.address = address;
    lastResult_ = steps::ReadPagerBlock(ctx_, address, count, kProgressNone);
    return lastResult_ == kLinkSuccess;
  }
  // The outcome keeps the image as it goes out: the codeplug, with every block as sent.
  bool Write(TransactionStep step, std::uint16_t address, int count, int mode) {
    if (Interrupted(step, address))
      return false;
    outcome_.step = step;
    outcome_.address = address;
    outcome_.written.push_back({address, count});
    if (!outcome_.image) outcome_.image = cp_.WorkingImage;
    std::copy_n(tx_.begin(), count, outcome_.image->begin() + address);
    lastResult_ = link_.WriteBlock(ctx_.port, address, count, mode);
    return lastResult_ == kLinkSuccess;
  }

  // Old firmware cannot keep the LED flashing; the user decides whether to go on.
  bool ConfirmLedFlash() {
    if (!AsksLedFlashQuestion(link_.FirmwareVersionNumber, cp_.At(map::kFeatureFlags)))
      return true;
    return host_.AskYesNo(Message{std::string(text::kLedFlashQuestion),
                                  std::string(text::kCaptionWarning), Icon::None},
                          false);
  }

  void RefreshBatteryFields() {
    for (int item = 1; item <= map::kBatteryItems; ++item)
      host_.SetText(std::string(control::kBatteryEdits[item - 1]), BatteryText(cp_, item));
  }

  // Pager ID, and for a sound codeplug in the pager its band, patch and serial number.
  bool CheckPager() {
    if (!Read(TransactionStep::PagerId, map::kPagerId, 2)) return Fail(text::kProgrammingFail);
    const PagerIdVerdict id = CheckPagerId(rx_[0], rx_[1]);
    if (id == PagerIdVerdict::RefusePocsag) return Refuse(PocsagText(TransactionMode::Program));
    PagerIdRewrite = id == PagerIdVerdict::AcceptRewrite;

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::Marker, map::kMarker, 1)) return Fail(text::kProgrammingFail);
    if (!MarkerIsSound(rx_[0])) return true; // a damaged pager codeplug is simply replaced

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::Band, map::kBandByte, 1)) return Fail(text::kProgrammingFail);
    const BandMatchResult band = MatchBand(cp_.CodeplugBandFamily, cp_.CodeplugSubBand,
                                           map::BandFamily(rx_[0]), map::SubBand(rx_[0]));
    if (band.outcome != BandMatch::Accept) {
      outcome_.ending = Ending::Refused;
      if (band.outcome == BandMatch::RefuseWithMessage)
        ShowInfo(host_, band.text);
      return false;
    }

    ctx_.clock.Sleep(kPauseBeforePatchCheckMs);
    if (!CheckPagerPatch()) return false;

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::SerialNumber, map::kSerialNumber, map::kSerialNumberLength))
      return Fail(text::kProgramingFail);
    outcome_.serialNumber = steps::SerialNumberText(rx_.data());
    // The pager keeps its own serial number.
    if (SerialNumberIsAlphanumeric(rx_.data()))
      std::copy_n(rx_.begin(), map::kSerialNumberLength,
                  cp_.WorkingImage.begin() + map::kSerialNumber);
    return true;
  }

  // A pager carrying a patch newer than this software knows is not overwritten. A pager
  // without a readable patch passes.
  bool CheckPagerPatch() {
    if (!Read(TransactionStep::PatchHeader, map::kPatchSignature, kSignatureAndHeader))
      return Fail(text::kProgrammingFail);
    const std::uint8_t* header = rx_.data() + map::kPatchSignatureLength;
    const bool signed_ =
        std::equal(kPatchSignatureText.begin(), kPatchSignatureText.end(), rx_.begin());
    const auto start = static_cast<std::uint16_t>(header[0] << 8 | header[1]);
    const auto length = static_cast<std::uint16_t>(header[2] << 8 | header[3]);
    if (!signed_ || !PatchHeaderCheckOk(header) || !PatchHeaderFits(start, length)) return true;

    const auto versionAt = static_cast<std::uint16_t>(start + length - map::kPatchTrailer);
    if (!Read(TransactionStep::PatchVersion, versionAt, map::kPatchTrailer))
      return Fail(text::kProgrammingFail);
    // A trailer of erased or fill bytes is no version: a Program cut off after the header
    // never wrote the patch behind it, and the pager must take a Program again.
    for (const std::uint8_t blank : {kErasedByte, map::kFillByte})
      if (std::all_of(rx_.begin(), rx_.begin() + map::kPatchTrailer,
                      [blank](std::uint8_t b) { return b == blank; }))
        return true;
    if (PatchVersionTooNew(firmware_, rx_[0])) {
      outcome_.ending = Ending::Refused;
      ShowWarning(host_, text::kLaterPatchProgram);
      return false;
    }
    return true;
  }

  void LoadPatchSet(int set) {
    const PatchSet patch = Codeplug::BuiltInPatchSet(set);
    std::fill(cp_.WorkingImage.begin() + map::kPatchAreaFill, cp_.WorkingImage.end(),
              map::kFillByte);
    std::copy(patch.header.begin(), patch.header.end(),
              cp_.WorkingImage.begin() + map::kPatchHeader);
    std::copy_n(patch.code, patch.length, cp_.WorkingImage.begin() + map::kPatchCode);
  }

  bool PrepareImage() {
    ctx_.clock.Sleep(kPauseMs);
    outcome_.step = TransactionStep::PatchSelection;
    const int set = PatchSetForFirmware(firmware_);
    if (set == kNoPatchSet) { // firmware too old for any patch: nothing is sent
      outcome_.ending = Ending::Refused;
      return false;
    }
    LoadPatchSet(set);

    const PatchLayout patch = InspectPatch(cp_.WorkingImage);
    if (!patch.headerOk || !patch.fits) return Refuse(text::kPreparedHeaderError);
    if (!patch.blockOk) return Refuse(text::kPreparedPatchError);
    newPatchVersion_ = patch.version;
    segments_ = PlanPatchSegments(patch.start, patch.length);
    // The gauge counts the bytes written, and with them those of the backup and the verify
    // when they are on.
    writeBytes_ = patch.length + map::kPage1Count + map::kPage0Count;
    backupBytes_ = options_.backupDirectory.empty() ? 0 : static_cast<int>(map::kImageSize);
    const int verifyBytes =
        options_.verify ? writeBytes_ + kSignatureAndHeader + (PagerIdRewrite ? 2 : 0) : 0;
    link_.ProgressTotal = backupBytes_ + writeBytes_ + verifyBytes;

    ctx_.clock.Sleep(kPauseMs);
    cp_.RestoreForcedDefaultRanges();
    ApplyLedTimerScale(cp_, firmware_, cp_.LedStayOnCapable);

    // The pager's own receiver configuration; nothing that did not come from the pager may
    // reach these bytes.
    if (!Read(TransactionStep::PagerConfiguration, map::kRfOption1, 2))
      return Fail(text::kProgrammingFail);
    const std::uint8_t pagerA = rx_[0];
    const std::uint8_t pagerB = rx_[1];
    if (!Read(TransactionStep::PagerConfiguration, map::kBandByte, 1))
      return Fail(text::kProgrammingFail);
    const std::uint8_t pagerBand = rx_[0];
    ReencodeFrequencyForPager(cp_, pagerA, pagerB, pagerBand);

    ctx_.port.Purge();
    const std::string timerControl(control::kOutOfRangeTimer);
    std::string timer = std::to_string(OutOfRangeTimerShownValue(cp_));
    host_.SetText(timerControl, timer);
    Messages messages;
    ApplyProgramTimeOutOfRangeTimer(cp_, static_cast<std::uint32_t>(firmware_), timer, messages);
    for (const Message& m : messages) host_.Show(m);
    host_.SetText(timerControl, timer);
    cp_.PatchVersion = newPatchVersion_;
    cp_.OutOfRangeTimerEdited = false;

    PackFirmwareVersion(cp_.ImageFirmwareVersion, &cp_.WorkingImage[map::kImageFirmwareVersion]);
    return true;
  }

  // The pager as it is, saved before anything is written to it.
  bool BackUp() {
    if (options_.backupDirectory.empty()) return true;
    TransactionOutcome read;
    Image eeprom{};
    link_.ProgressBase = 0;
    if (!steps::ReadWholeEeprom(ctx_, eeprom, false, read, Run(true))) {
      if (read.ending == Ending::Interrupted) {
        Interrupted(TransactionStep::Backup, read.address);
        return false;
      }
      lastResult_ = read.link;
      outcome_.step = TransactionStep::Backup;
      outcome_.address = read.address;
      steps::LinkFailed(outcome_, TransactionStep::Backup, read.link, read.address);
      host_.Show(Message{std::string(text::kBackupFail), std::string(text::kCaptionError),
                         Icon::Error,
                         "The pager's EEPROM could not be read: " + DescribeOutcome(read) + "."});
      return false;
    }
    const BackupFile saved = SaveBackup(options_.backupDirectory, eeprom);
    outcome_.step = TransactionStep::Backup;
    if (!saved.ok) {
      outcome_.ending = Ending::FileError;
      outcome_.detail = saved.error;
      host_.Show(Message{std::string(text::kBackupFail), std::string(text::kCaptionError),
                         Icon::Error, saved.error});
      return false;
    }
    outcome_.backup = saved.path;
    outcome_.eepromSha256 = Sha256Hex(eeprom);
    return true;
  }

  void Stage(std::uint16_t from, int count) {
    std::copy_n(cp_.WorkingImage.begin() + from, count, tx_.begin());
  }

  // The page's last two bytes := complement of the 16-bit sum of the bytes before them.
  void SealPage(std::uint16_t first, std::uint16_t checksumHi) {
    cp_.SetWord16(checksumHi,
                  InvertedSum16(&cp_.WorkingImage[first], std::size_t(checksumHi - first)));
  }

  // Each page gets its checksum just before it is sent: a failed page 0 leaves page 1 as it was.
  bool WriteImage() {
    link_.ProgressBase = backupBytes_;
    host_.PumpMessages();
    SealPage(map::kPage0Start, map::kPage0ChecksumHi);
    Stage(map::kPage0Start, map::kPage0Count);
    if (!Write(TransactionStep::WritePage0, map::kPage0Start, map::kPage0Count, kProgressPage0))
      return WriteFail();

    ctx_.port.Purge();
    host_.PumpMessages();
    SealPage(map::kPage1Start, map::kPage1ChecksumHi);
    Stage(map::kPage1Start, map::kPage1Count);
    if (!Write(TransactionStep::WritePage1, map::kPage1Start, map::kPage1Count, kProgressPage1))
      return WriteFail();

    ctx_.clock.Sleep(kPauseMs);
    Stage(map::kPatchSignature, kSignatureAndHeader);
    host_.PumpMessages();
    if (!Write(TransactionStep::WriteHeader, map::kPatchSignature, kSignatureAndHeader,
               kProgressNone))
      return WriteFail();

    ctx_.clock.Sleep(kPauseMs);
    for (const PatchSegment& segment : segments_) {
      std::fill_n(tx_.begin(), kTransmitFill, map::kFillByte);
      Stage(segment.address, segment.count);
      if (!Write(TransactionStep::WritePatch, segment.address, segment.count, kProgressPatch))
        return WriteFail();
      link_.SegmentOffset += kPatchSegmentMax;
    }

    ctx_.clock.Sleep(kPauseMs);
    if (PagerIdRewrite) {
      PagerIdRewrite = false;
      tx_[0] = map::kPagerIdFlex;
      tx_[1] = static_cast<std::uint8_t>(~map::kPagerIdFlex);
      host_.PumpMessages();
      if (!Write(TransactionStep::WritePagerId, map::kPagerId, 2, kProgressNone))
        return WriteFail();
    }
    ctx_.clock.Sleep(kPauseMs);
    return true;
  }

  // Every block written is read back before the pager is reset: a pager that took a write
  // without keeping it is not reported as programmed.
  bool Verify() {
    if (!options_.verify) return true;
    link_.ProgressBase = backupBytes_ + writeBytes_;
    if (steps::VerifyBlocks(ctx_, *outcome_.image, outcome_.written, outcome_, Run(true)))
      return true;
    if (outcome_.ending == Ending::Interrupted) {
      host_.SetProgress(0);
      return false;
    }
    if (outcome_.ending == Ending::Mismatch)
      ShowFail(host_, steps::VerifyErrorText(outcome_.address, text::kProgramAgain));
    else
      ShowFail(host_, text::kProgramingFail);
    host_.SetProgress(0);
    return false;
  }

  // The pager must acknowledge its reset; anything else leaves it in programming mode.
  bool Reset() {
    if (Interrupted(TransactionStep::Reset, 0))
      return false;
    outcome_.step = TransactionStep::Reset;
    outcome_.address = 0;
    lastResult_ = steps::ResetPager(ctx_);
    if (lastResult_ != kLinkSuccess) {
      Fail(text::kProgrammingFail);
      host_.SetProgress(0);
      return false;
    }
    host_.SetProgress(std::min(host_.Progress() + 1, 100));

    ctx_.clock.Sleep(kPauseMs);
    ctx_.clock.Sleep(kPauseAfterResetMs);
    host_.SetText(std::string(control::kCodeplugVersionLabel),
                  steps::CodeplugVersionText(kSoftwareStamp));
    outcome_.ending = Ending::Success;
    outcome_.step = TransactionStep::None;
    steps::ShowInformation(host_, text::kProgrammed);
    cp_.PatchVersion = newPatchVersion_;
    cp_.OutOfRangeTimerEdited = false;
    host_.SetProgress(0);
    return true;
  }

  TransactionOutcome outcome_;
  EndingHost ending_;
  TransactionContext ctx_;
  const ProgramOptions& options_;
  Codeplug& cp_;
  Link& link_;
  Host& host_;
  const std::array<std::uint8_t, kLinkBufferSize>& rx_;
  std::array<std::uint8_t, kLinkBufferSize>& tx_;

  LinkResult lastResult_ = kLinkSuccess;
  int firmware_ = 0;
  int writeBytes_ = 0;
  int backupBytes_ = 0;
  bool PagerIdRewrite = false;
  int newPatchVersion_ = 0;
  std::vector<PatchSegment> segments_;
};

} // namespace

TransactionOutcome ProgramPager(TransactionContext& ctx, const ProgramOptions& options) {
  return ProgramTransaction(ctx, options).Run();
}

} // namespace pw
