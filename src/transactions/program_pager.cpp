// Program Pager: checks that the pager and the codeplug belong together, prepares
// WorkingImage for the pager's firmware and writes it. The preparation stays in memory even
// when a later step fails.
#include <algorithm>
#include <string>
#include <vector>

#include "files/alert_fields.h"
#include "files/frequency.h"
#include "transactions/compatibility.h"
#include "transactions/transaction_steps.h"
#include "transactions/transactions.h"

namespace pw {
namespace {

using steps::ShowFail;
using steps::ShowInfo;
using steps::ShowWarning;

constexpr std::uint32_t kPauseMs = 100;
constexpr std::uint32_t kPauseBeforePatchCheckMs = 200;
constexpr std::uint32_t kPauseAfterResetMs = 1500;
constexpr int kResetAttempts = 3;
constexpr int kTransmitFill = 1000; // positions refilled with the fill byte before a segment
constexpr int kSignatureAndHeader = map::kPatchSignatureLength + map::kPatchHeaderLength;

class ProgramTransaction {
public:
  explicit ProgramTransaction(TransactionContext& ctx)
      : ctx_(ctx), cp_(ctx.codeplug), link_(ctx.link), host_(ctx.host),
        rx_(ctx.link.ReceiveBuffer), tx_(ctx.link.TransmitBuffer) {}

  bool Run() {
    if (!SerialNumberIsStrict(&cp_.WorkingImage[map::kSerialNumber])) {
      ShowInfo(host_, text::kSerialNumberError);
      return false;
    }
    steps::ReopenPort(ctx_);
    link_.SegmentOffset = 0;
    if (!steps::QueryVersionAndStamp(ctx_, text::kProgrammingFail,
                                     [this] { return ConfirmLedFlash(); }))
      return false;
    if (steps::RefuseNewerStamp(ctx_, text::kLaterPpsProgram)) return false;
    firmware_ = link_.FirmwareVersionNumber;

    cp_.ApplyForcedBytes();
    cp_.StampSoftwareVersion();
    ctx_.clock.Sleep(kPauseMs);
    RefreshBatteryFields();

    if (!CheckPager()) return false;
    if (!PrepareImage()) return false;
    if (!WriteImage()) return false;
    return Reset();
  }

private:
  bool Fail(std::string_view text) {
    ShowFail(host_, text);
    return false;
  }
  bool WriteFail() {
    ShowFail(host_, text::kProgramingFail);
    host_.SetProgress(0);
    return false;
  }
  bool Read(std::uint16_t address, int count) {
    return steps::ReadPagerBlock(ctx_, address, count, kProgressNone);
  }
  bool Write(std::uint16_t address, int count, int mode) {
    return link_.WriteBlock(ctx_.port, address, count, mode) == kLinkSuccess;
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
    if (!Read(map::kPagerId, 2)) return Fail(text::kProgrammingFail);
    const PagerIdVerdict id = CheckPagerId(rx_[0], rx_[1]);
    if (id == PagerIdVerdict::RefusePocsag) {
      ShowInfo(host_, PocsagText(TransactionMode::Program));
      return false;
    }
    PagerIdRewrite = id == PagerIdVerdict::AcceptRewrite;

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(map::kMarker, 1)) return Fail(text::kProgrammingFail);
    if (!MarkerIsSound(rx_[0])) return true; // a damaged pager codeplug is simply replaced

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(map::kBandByte, 1)) return Fail(text::kProgrammingFail);
    const BandMatchResult band = MatchBand(cp_.CodeplugBandFamily, cp_.CodeplugSubBand,
                                           map::BandFamily(rx_[0]), map::SubBand(rx_[0]));
    if (band.outcome != BandMatch::Accept) {
      if (band.outcome == BandMatch::RefuseWithMessage) ShowInfo(host_, band.text);
      return false;
    }

    ctx_.clock.Sleep(kPauseBeforePatchCheckMs);
    if (!CheckPagerPatch()) return false;

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(map::kSerialNumber, map::kSerialNumberLength)) return Fail(text::kProgramingFail);
    // The pager keeps its own serial number.
    if (SerialNumberIsAlphanumeric(rx_.data()))
      std::copy_n(rx_.begin(), map::kSerialNumberLength,
                  cp_.WorkingImage.begin() + map::kSerialNumber);
    return true;
  }

  // A pager carrying a patch newer than this software knows is not overwritten. A pager
  // without a readable patch passes.
  bool CheckPagerPatch() {
    if (!Read(map::kPatchSignature, kSignatureAndHeader)) return Fail(text::kProgrammingFail);
    const std::uint8_t* header = rx_.data() + map::kPatchSignatureLength;
    const bool signed_ =
        std::equal(kPatchSignatureText.begin(), kPatchSignatureText.end(), rx_.begin());
    const auto start = static_cast<std::uint16_t>(header[0] << 8 | header[1]);
    const auto length = static_cast<std::uint16_t>(header[2] << 8 | header[3]);
    if (!signed_ || !PatchHeaderCheckOk(header) || !PatchHeaderFits(start, length)) return true;

    const auto versionAt = static_cast<std::uint16_t>(start + length - map::kPatchTrailer);
    if (!Read(versionAt, map::kPatchTrailer)) return Fail(text::kProgrammingFail);
    if (PatchVersionTooNew(firmware_, rx_[0])) {
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
    const int set = PatchSetForFirmware(firmware_);
    if (set == kNoPatchSet) return false; // firmware too old for any patch: nothing is sent
    LoadPatchSet(set);

    const PatchLayout patch = InspectPatch(cp_.WorkingImage);
    if (!patch.headerOk || !patch.fits) {
      ShowInfo(host_, text::kPreparedHeaderError);
      return false;
    }
    if (!patch.blockOk) {
      ShowInfo(host_, text::kPreparedPatchError);
      return false;
    }
    newPatchVersion_ = patch.version;
    segments_ = PlanPatchSegments(patch.start, patch.length);
    link_.ProgressTotal = patch.length + map::kPage1Count + map::kPage0Count;

    ctx_.clock.Sleep(kPauseMs);
    cp_.RestoreForcedDefaultRanges();
    ApplyLedTimerScale(cp_, firmware_, cp_.LedStayOnCapable);

    // The pager's own receiver configuration; nothing that did not come from the pager may
    // reach these bytes.
    if (!Read(map::kRfOption1, 2)) return Fail(text::kProgrammingFail);
    const std::uint8_t pagerA = rx_[0];
    const std::uint8_t pagerB = rx_[1];
    if (!Read(map::kBandByte, 1)) return Fail(text::kProgrammingFail);
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
    host_.PumpMessages();
    SealPage(map::kPage0Start, map::kPage0ChecksumHi);
    Stage(map::kPage0Start, map::kPage0Count);
    if (!Write(map::kPage0Start, map::kPage0Count, kProgressPage0)) return WriteFail();

    ctx_.port.Purge();
    host_.PumpMessages();
    SealPage(map::kPage1Start, map::kPage1ChecksumHi);
    Stage(map::kPage1Start, map::kPage1Count);
    if (!Write(map::kPage1Start, map::kPage1Count, kProgressPage1)) return WriteFail();

    ctx_.clock.Sleep(kPauseMs);
    Stage(map::kPatchSignature, kSignatureAndHeader);
    host_.PumpMessages();
    if (!Write(map::kPatchSignature, kSignatureAndHeader, kProgressNone)) return WriteFail();

    ctx_.clock.Sleep(kPauseMs);
    for (const PatchSegment& segment : segments_) {
      std::fill_n(tx_.begin(), kTransmitFill, map::kFillByte);
      Stage(segment.address, segment.count);
      if (!Write(segment.address, segment.count, kProgressPatch)) return WriteFail();
      link_.SegmentOffset += kPatchSegmentMax;
    }

    ctx_.clock.Sleep(kPauseMs);
    if (PagerIdRewrite) {
      PagerIdRewrite = false;
      tx_[0] = map::kPagerIdFlex;
      tx_[1] = static_cast<std::uint8_t>(~map::kPagerIdFlex);
      host_.PumpMessages();
      if (!Write(map::kPagerId, 2, kProgressNone)) return WriteFail();
    }
    ctx_.clock.Sleep(kPauseMs);
    return true;
  }

  bool Reset() {
    LinkResult result = kLinkFailure;
    for (int attempt = 0; attempt < kResetAttempts; ++attempt) {
      result = ctx_.link.SendCommand(ctx_.port, kCmdSUniRST, false);
      if (result == kLinkSuccess) break;
    }
    if (result == kLinkFailure) {
      ShowFail(host_, text::kProgrammingFail);
      host_.SetProgress(0);
      return false;
    }
    host_.SetProgress(std::min(host_.Progress() + 1, 100));

    ctx_.clock.Sleep(kPauseMs);
    ctx_.clock.Sleep(kPauseAfterResetMs);
    host_.SetText(std::string(control::kCodeplugVersionLabel),
                  steps::CodeplugVersionText(kSoftwareStamp));
    steps::ShowInformation(host_, text::kProgrammed);
    cp_.PatchVersion = newPatchVersion_;
    cp_.OutOfRangeTimerEdited = false;
    host_.SetProgress(0);
    return true;
  }

  TransactionContext& ctx_;
  Codeplug& cp_;
  Link& link_;
  Host& host_;
  const std::array<std::uint8_t, kLinkBufferSize>& rx_;
  std::array<std::uint8_t, kLinkBufferSize>& tx_;

  int firmware_ = 0;
  bool PagerIdRewrite = false;
  int newPatchVersion_ = 0;
  std::vector<PatchSegment> segments_;
};

} // namespace

bool ProgramPager(TransactionContext& ctx) { return ProgramTransaction(ctx).Run(); }

} // namespace pw
