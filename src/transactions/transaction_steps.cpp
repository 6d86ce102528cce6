// SPDX-License-Identifier: GPL-3.0-or-later
#include "transactions/transaction_steps.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "transactions/compatibility.h"

namespace pw::steps {

void ShowFail(Host& host, std::string_view text) {
  host.ShowBox(std::string(text), std::string(text::kCaptionError), Icon::Error);
}

void ShowInfo(Host& host, std::string_view text) { host.ShowMessage(std::string(text)); }

void ShowWarning(Host& host, std::string_view text) {
  host.ShowBox(std::string(text), std::string(text::kCaptionWarning), Icon::None);
}

void ShowInformation(Host& host, std::string_view text) {
  host.ShowBox(std::string(text), std::string(text::kCaptionInformation), Icon::None);
}

void ReopenPort(TransactionContext& ctx) {
  ctx.port.Purge();
  ctx.port.Close();
  ctx.port.Open(1200, 0, 8, 1.0f);
  ctx.port.Purge();
}

namespace {

bool AskProtocolRetry(Host& host) {
  return host.AskRetryCancel(Message{std::string(text::kProtocolError),
                                     std::string(text::kCaptionWarning), Icon::None});
}

void Ended(TransactionOutcome& outcome, Ending ending, TransactionStep step,
           LinkResult result = kLinkSuccess, std::uint16_t address = 0) {
  outcome.ending = ending;
  outcome.step = step;
  outcome.link = result;
  outcome.address = address;
}

constexpr std::uint32_t kPauseBeforeStampMs = 100;
constexpr std::uint32_t kPauseMs = 100;
constexpr int kLabelMode = 1; // the version text goes into lblFireware_Version
constexpr int kResetAttempts = 3;

} // namespace

void LinkFailed(TransactionOutcome& outcome, TransactionStep step, LinkResult result,
                std::uint16_t address) {
  Ended(outcome, Ending::LinkFailure, step, result, address);
}

bool QueryVersionAndStamp(TransactionContext& ctx, std::string_view failText,
                          const std::function<bool()>& afterVersion, TransactionOutcome& outcome) {
  for (;;) {
    const LinkResult version = ctx.link.QueryFirmwareVersion(ctx.port, kLabelMode);
    // Each ending is the outcome before its box shows.
    if (version == kLinkNak) {
      Ended(outcome, Ending::Refused, TransactionStep::FirmwareVersion, version);
      ShowInfo(ctx.host, text::kFirmwareNotSupported);
      return false;
    }
    if (version != kLinkSuccess) {
      if (AskProtocolRetry(ctx.host)) continue;
      Ended(outcome, Ending::Cancelled, TransactionStep::FirmwareVersion, version);
      return false;
    }
    outcome.firmwareText = ctx.link.FirmwareVersionText;
    // Six version characters that are no number give no firmware to judge the pager by.
    if (!ctx.link.FirmwareVersionValid) {
      Ended(outcome, Ending::LinkFailure, TransactionStep::FirmwareVersion, kLinkFailure);
      ShowFail(ctx.host, failText);
      return false;
    }
    outcome.firmwareVersion = ctx.link.FirmwareVersionNumber;
    // The only question asked here is Program's "LED Flash stay on" one.
    if (afterVersion && !afterVersion()) {
      Ended(outcome, Ending::Cancelled, TransactionStep::LedFlashQuestion);
      return false;
    }

    ctx.clock.Sleep(kPauseBeforeStampMs);
    const LinkResult stamp = ctx.link.ReadVersionStamp(ctx.port);
    if (stamp == kLinkNoReply) {
      if (AskProtocolRetry(ctx.host)) continue;
      Ended(outcome, Ending::Cancelled, TransactionStep::SoftwareStamp, stamp, kStampAddress);
      return false;
    }
    if (stamp != kLinkSuccess) {
      LinkFailed(outcome, TransactionStep::SoftwareStamp, stamp, kStampAddress);
      ShowFail(ctx.host, failText);
      return false;
    }
    outcome.pagerStamp = ctx.link.PagerStamp;
    return true;
  }
}

std::string CodeplugVersionText(std::string_view stamp) { return "R" + std::string(stamp); }

bool RefuseNewerStamp(TransactionContext& ctx, std::string_view warning) {
  if (!PagerStampTooNew(ctx.link.PagerStampNumber, ctx.link.SoftwareStampNumber)) return false;
  const std::string label(control::kCodeplugVersionLabel);
  const std::string previous = ctx.host.Text(label);
  ctx.host.SetText(label, CodeplugVersionText(ctx.link.PagerStamp));
  ShowWarning(ctx.host, warning);
  ctx.host.SetText(label, previous);
  return true;
}

LinkResult ReadPagerBlock(TransactionContext& ctx, std::uint16_t address, int count, int mode) {
  return ctx.link.ReadBlock(ctx.port, address, count, mode);
}

bool StopRequested(const BlockRun& run) {
  return run.stop && run.stop();
}

bool VerifyBlocks(TransactionContext& ctx, const Image& image, std::span<const WrittenBlock> blocks,
                  TransactionOutcome& outcome, const BlockRun& run) {
  const auto& rx = ctx.link.ReceiveBuffer;
  for (const WrittenBlock& block : blocks) {
    if (StopRequested(run)) {
      Ended(outcome, Ending::Interrupted, TransactionStep::Verify, kLinkSuccess, block.address);
      return false;
    }
    const LinkResult result = ReadPagerBlock(ctx, block.address, block.count,
                                             run.countBytes ? kProgressFrom0 : kProgressNone);
    if (run.countBytes)
      ctx.link.ProgressBase += block.count;
    if (result != kLinkSuccess) {
      LinkFailed(outcome, TransactionStep::Verify, result, block.address);
      return false;
    }
    for (int i = 0; i < block.count; ++i) {
      const std::size_t at = block.address + static_cast<std::size_t>(i);
      if (rx[static_cast<std::size_t>(i)] != image[at]) {
        Ended(outcome, Ending::Mismatch, TransactionStep::Verify, kLinkSuccess,
              static_cast<std::uint16_t>(at));
        outcome.expected = image[at];
        outcome.found = rx[static_cast<std::size_t>(i)];
        return false;
      }
    }
    ctx.clock.Sleep(kPauseMs);
  }
  return true;
}

std::string VerifyErrorText(std::uint16_t address, std::string_view advice) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%04X", address);
  return std::string(text::kVerifyErrorAt) + hex + std::string(advice);
}

LinkResult ResetPager(TransactionContext& ctx) {
  LinkResult result = kLinkFailure;
  for (int attempt = 0; attempt < kResetAttempts && result != kLinkSuccess; ++attempt)
    result = ctx.link.SendCommand(ctx.port, kCmdSUniRST, false);
  return result;
}

bool ReadWholeEeprom(TransactionContext& ctx, Image& eeprom, bool showProgress,
                     TransactionOutcome& outcome, const BlockRun& run) {
  constexpr int kBlock = map::kPage0Count;
  constexpr int kBlocks = static_cast<int>(map::kImageSize) / kBlock;
  for (int i = 0; i < kBlocks; ++i) {
    const auto address = static_cast<std::uint16_t>(i * kBlock);
    if (StopRequested(run)) {
      Ended(outcome, Ending::Interrupted, TransactionStep::Eeprom, kLinkSuccess, address);
      return false;
    }
    ctx.clock.Sleep(kPauseMs);
    const LinkResult result =
        ReadPagerBlock(ctx, address, kBlock, run.countBytes ? kProgressFrom0 : kProgressNone);
    if (run.countBytes)
      ctx.link.ProgressBase += kBlock;
    if (result != kLinkSuccess) {
      LinkFailed(outcome, TransactionStep::Eeprom, result, address);
      return false;
    }
    std::copy_n(ctx.link.ReceiveBuffer.begin(), kBlock, eeprom.begin() + address);
    if (showProgress) ctx.host.SetProgress((i + 1) * 100 / kBlocks);
  }
  return true;
}

std::string SerialNumberText(const std::uint8_t* serial) {
  return std::string(reinterpret_cast<const char*>(serial), map::kSerialNumberLength);
}

} // namespace pw::steps
