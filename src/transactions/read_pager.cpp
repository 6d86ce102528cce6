// SPDX-License-Identifier: GPL-3.0-or-later
// Read Pager: brings the pager's codeplug into WorkingImage. Every check runs before any
// byte reaches the working image, so a failed Read leaves the codeplug in memory as it was.
#include <algorithm>
#include <array>
#include <string>

#include "transactions/compatibility.h"
#include "transactions/transaction_steps.h"
#include "transactions/transactions.h"

namespace pw {
namespace {

using steps::ShowFail;
using steps::ShowInfo;
using steps::ShowWarning;

constexpr std::uint32_t kPauseMs = 100;
// A patch block must leave the signature, the header and the pager ID pair alone, as a
// loaded file's must.
constexpr std::uint16_t kFirstPatchByte = map::kPagerId + 2;

// Page and patch checksums as the pager keeps them: the last two bytes of the block hold the
// complement of the sum of the bytes before them, high byte first.
bool BlockChecksumOk(const std::uint8_t* page, int count) {
  const std::uint16_t check = InvertedSum16(page, static_cast<std::size_t>(count - 2));
  return page[count - 2] == static_cast<std::uint8_t>(check >> 8) &&
         page[count - 1] == static_cast<std::uint8_t>(check);
}

// The six stamp digits, or "000000" when any of them is not a digit.
std::string StampText(const std::uint8_t* stamp) {
  std::string text(stamp, stamp + map::kStampLength);
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    text = std::string(map::kStampLength, '0');
  return text;
}

class ReadTransaction {
public:
  explicit ReadTransaction(TransactionContext& ctx)
      : ctx_(ctx), cp_(ctx.codeplug), link_(ctx.link), host_(ctx.host), rx_(ctx.link.ReceiveBuffer) {}

  TransactionOutcome Run() {
    steps::ReopenPort(ctx_);
    if (!steps::QueryVersionAndStamp(ctx_, text::kReadingFail, {}, outcome_)) return outcome_;
    if (steps::RefuseNewerStamp(ctx_, text::kLaterPpsRead)) {
      outcome_.step = TransactionStep::SoftwareStamp;
      outcome_.ending = Ending::Refused;
      return outcome_;
    }
    firmware_ = link_.FirmwareVersionNumber;

    if (!CheckPager() || !ReceivePages()) {
      if (outcome_.Ok()) outcome_.ending = Ending::Refused;
      return outcome_;
    }
    Accept();
    outcome_.step = TransactionStep::None;
    outcome_.image = cp_.WorkingImage;
    return outcome_;
  }

private:
  // The transaction's outcome is the step of the last block asked for.
  bool Fail() {
    ShowFail(host_, text::kReadingFail);
    steps::LinkFailed(outcome_, outcome_.step, lastResult_, outcome_.address);
    return false;
  }
  bool Refuse(std::string_view text) {
    ShowInfo(host_, text);
    outcome_.ending = Ending::Refused;
    return false;
  }
  bool RefuseWithWarning(std::string_view text) {
    ShowWarning(host_, text);
    outcome_.ending = Ending::Refused;
    return false;
  }
  bool FailAndResetGauge(std::string_view text, bool captioned) {
    if (captioned)
      Fail();
    else
      Refuse(text);
    host_.SetProgress(0);
    return false;
  }
  bool WarnAndResetGauge(std::string_view text) {
    RefuseWithWarning(text);
    host_.SetProgress(0);
    return false;
  }
  bool Read(TransactionStep step, std::uint16_t address, int count, int mode = kProgressNone) {
    outcome_.step = step;
    outcome_.address = address;
    lastResult_ = steps::ReadPagerBlock(ctx_, address, count, mode);
    return lastResult_ == kLinkSuccess;
  }

  // Pager ID, marker, band, patch signature, header and version.
  bool CheckPager() {
    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::PagerId, map::kPagerId, 2)) return Fail();
    if (CheckPagerId(rx_[0], rx_[1]) == PagerIdVerdict::RefusePocsag)
      return Refuse(PocsagText(TransactionMode::Read));

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::Marker, map::kMarker, 1)) return Fail();
    if (!MarkerIsSound(rx_[0])) return Refuse(text::kMarkerError);

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::Band, map::kBandByte, 1)) return Fail();
    pagerBandFamily_ = map::BandFamily(rx_[0]);
    pagerSubBand_ = map::SubBand(rx_[0]);
    if (!BandPairIsValid(pagerBandFamily_, pagerSubBand_)) return Refuse(text::kBandByteError);

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::PatchSignature, map::kPatchSignature, map::kPatchSignatureLength))
      return Fail();
    if (!std::equal(kPatchSignatureText.begin(), kPatchSignatureText.end(), rx_.begin()))
      return Refuse(text::kEepromEmpty);

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::PatchHeader, map::kPatchHeader, map::kPatchHeaderLength))
      return Fail();
    std::copy_n(rx_.begin(), map::kPatchHeaderLength, header_.begin());
    patchStart_ = static_cast<std::uint16_t>(header_[0] << 8 | header_[1]);
    patchLength_ = static_cast<std::uint16_t>(header_[2] << 8 | header_[3]);
    // A block that cannot be read whole, or would land outside the image, counts as a
    // damaged header: nothing is read from it.
    if (!PatchHeaderCheckOk(header_.data()) || !PatchHeaderFits(patchStart_, patchLength_) ||
        patchStart_ < kFirstPatchByte)
      return Refuse(text::kPatchHeaderError);

    const auto versionAt = static_cast<std::uint16_t>(patchStart_ + patchLength_ - map::kPatchTrailer);
    if (!Read(TransactionStep::PatchVersion, versionAt, map::kPatchTrailer)) return Fail();
    patchVersion_ = rx_[0];
    if (PatchVersionTooNew(firmware_, patchVersion_))
      return RefuseWithWarning(text::kLaterPatchRead);
    link_.ProgressTotal = patchLength_ + map::kPage1Count + map::kPage0Count;
    return true;
  }

  // Both pages into ReadImage, the serial number check, and the patch block.
  bool ReceivePages() {
    ctx_.clock.Sleep(kPauseMs);
    ctx_.port.Purge();
    if (!Read(TransactionStep::Page0, map::kPage0Start, map::kPage0Count, kProgressPage0))
      return FailAndResetGauge(text::kReadingFail, true);
    if (!BlockChecksumOk(rx_.data(), map::kPage0Count))
      return FailAndResetGauge(text::kPageDataError, false);
    std::copy_n(rx_.begin(), map::kPage0Count, cp_.ReadImage.begin() + map::kPage0Start);

    ctx_.port.Purge();
    if (!Read(TransactionStep::Page1, map::kPage1Start, map::kPage1Count, kProgressPage1))
      return FailAndResetGauge(text::kReadingFail, true);
    if (!BlockChecksumOk(rx_.data(), map::kPage1Count))
      return FailAndResetGauge(text::kPageDataError, false);
    std::copy_n(rx_.begin(), map::kPage1Count, cp_.ReadImage.begin() + map::kPage1Start);
    if (!PagesAgreeWithChecks()) return false;

    outcome_.serialNumber = steps::SerialNumberText(&cp_.ReadImage[map::kSerialNumber]);
    if (!SerialNumberIsStrict(&cp_.ReadImage[map::kSerialNumber])) {
      outcome_.step = TransactionStep::SerialNumber;
      return FailAndResetGauge(text::kSerialNumberError, false);
    }

    ctx_.clock.Sleep(kPauseMs);
    if (!Read(TransactionStep::Patch, patchStart_, patchLength_, kProgressPatch))
      return FailAndResetGauge(text::kReadingFail, true);
    if (!BlockChecksumOk(rx_.data(), patchLength_))
      return FailAndResetGauge(text::kPageDataError, false);
    // The block's own version byte is the one the patch-version limit judged.
    if (rx_[patchLength_ - map::kPatchTrailer] != patchVersion_)
      return WarnAndResetGauge(text::kLaterPatchRead);
    std::copy_n(rx_.begin(), patchLength_, patch_.begin());
    return true;
  }

  // The pages carry again the marker, band and stamp that the small reads checked. A line
  // that answers two ways for the same bytes ends the Read with that check's own message:
  // the codeplug taken must say what the Read judged, and load again once saved.
  bool PagesAgreeWithChecks() {
    const auto& page = cp_.ReadImage;
    if (page[map::kMarker] != map::kMarkerValue)
      return FailAndResetGauge(text::kMarkerError, false);
    if (map::BandFamily(page[map::kBandByte]) != pagerBandFamily_ ||
        map::SubBand(page[map::kBandByte]) != pagerSubBand_)
      return FailAndResetGauge(text::kBandByteError, false);
    const std::string stamp = StampText(&page[map::kSoftwareStamp]);
    if (stamp != link_.PagerStamp) {
      const std::string label(control::kCodeplugVersionLabel);
      const std::string previous = host_.Text(label);
      host_.SetText(label, steps::CodeplugVersionText(stamp));
      WarnAndResetGauge(text::kLaterPpsRead);
      host_.SetText(label, previous);
      return false;
    }
    return true;
  }

  // The whole Read succeeded: the pager's codeplug becomes the working one.
  void Accept() {
    const auto stampBegin = cp_.ReadImage.begin() + map::kSoftwareStamp;
    std::string stamp(stampBegin, stampBegin + map::kStampLength);
    if (!std::all_of(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; }))
      stamp = std::string(map::kStampLength, '0');
    host_.SetText(std::string(control::kCodeplugVersionLabel), steps::CodeplugVersionText(stamp));
    link_.PagerStamp = stamp;
    link_.PagerStampNumber = std::stoi(stamp);
    link_.SoftwareStampNumber = kSoftwareStampNumber;

    steps::ShowInformation(host_, text::kCodeplugRead);

    std::copy(cp_.ReadImage.begin(), cp_.ReadImage.end(), cp_.WorkingImage.begin());
    cp_.PatchVersion = patchVersion_;
    cp_.OutOfRangeTimerEdited = false;
    cp_.ImageFirmwareVersion = static_cast<std::uint32_t>(firmware_);

    const bool onCapableScale =
        (cp_.At(map::kFeatureFlags) & map::kFeatureLedStayOnCapable) != 0;
    ApplyLedTimerScale(cp_, firmware_, onCapableScale);
    CheckLedTimerRanges(cp_);

    std::copy(kPatchSignatureText.begin(), kPatchSignatureText.end(),
              cp_.WorkingImage.begin() + map::kPatchSignature);
    std::copy(header_.begin(), header_.end(), cp_.WorkingImage.begin() + map::kPatchHeader);
    std::copy_n(patch_.begin(), patchLength_, cp_.WorkingImage.begin() + patchStart_);

    cp_.CodeplugBandFamily = pagerBandFamily_;
    cp_.CodeplugSubBand = pagerSubBand_;
    cp_.NormalizeRfOptions();
    host_.SetProgress(0);
  }

  TransactionContext& ctx_;
  Codeplug& cp_;
  Link& link_;
  Host& host_;
  const std::array<std::uint8_t, kLinkBufferSize>& rx_;

  TransactionOutcome outcome_;
  LinkResult lastResult_ = kLinkSuccess;
  int firmware_ = 0;
  int pagerBandFamily_ = 0;
  int pagerSubBand_ = 0;
  std::array<std::uint8_t, map::kPatchHeaderLength> header_{};
  std::uint16_t patchStart_ = 0;
  std::uint16_t patchLength_ = 0;
  int patchVersion_ = 0;
  std::array<std::uint8_t, map::kImageSize> patch_{};
};

} // namespace

TransactionOutcome ReadPager(TransactionContext& ctx) { return ReadTransaction(ctx).Run(); }

} // namespace pw
