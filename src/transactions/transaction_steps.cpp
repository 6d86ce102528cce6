#include "transactions/transaction_steps.h"

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

constexpr std::uint32_t kPauseBeforeStampMs = 100;
constexpr int kLabelMode = 1; // the version text goes into lblFireware_Version

} // namespace

bool QueryVersionAndStamp(TransactionContext& ctx, std::string_view failText,
                          const std::function<bool()>& afterVersion) {
  for (;;) {
    const LinkResult version = ctx.link.QueryFirmwareVersion(ctx.port, kLabelMode);
    if (version == kLinkNak) {
      ShowInfo(ctx.host, text::kFirmwareNotSupported);
      return false;
    }
    if (version != kLinkSuccess) {
      if (AskProtocolRetry(ctx.host)) continue;
      return false;
    }
    // Six version characters that are no number give no firmware to judge the pager by.
    if (!ctx.link.FirmwareVersionValid) {
      ShowFail(ctx.host, failText);
      return false;
    }
    if (afterVersion && !afterVersion()) return false;

    ctx.clock.Sleep(kPauseBeforeStampMs);
    const LinkResult stamp = ctx.link.ReadVersionStamp(ctx.port);
    if (stamp == kLinkNoReply) {
      if (AskProtocolRetry(ctx.host)) continue;
      return false;
    }
    if (stamp != kLinkSuccess) {
      ShowFail(ctx.host, failText);
      return false;
    }
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

bool ReadPagerBlock(TransactionContext& ctx, std::uint16_t address, int count, int mode) {
  return ctx.link.ReadBlock(ctx.port, address, count, mode) == kLinkSuccess;
}

} // namespace pw::steps
