// SPDX-License-Identifier: GPL-3.0-or-later
#include "transactions/outcome.h"

#include <cstdio>

namespace pw {

namespace {

struct StepRow {
  TransactionStep step;
  std::string_view name;
};
constexpr StepRow kStepNames[] = {
    {TransactionStep::None, "transaction"},
    {TransactionStep::SerialNumberInMemory, "serial number in memory"},
    {TransactionStep::FirmwareVersion, "firmware version query"},
    {TransactionStep::LedFlashQuestion, "LED flash question"},
    {TransactionStep::SoftwareStamp, "software stamp"},
    {TransactionStep::PagerId, "pager ID"},
    {TransactionStep::Marker, "codeplug marker"},
    {TransactionStep::Band, "band byte"},
    {TransactionStep::PatchSignature, "patch signature"},
    {TransactionStep::PatchHeader, "patch header"},
    {TransactionStep::PatchVersion, "patch version"},
    {TransactionStep::Page0, "page 0 read"},
    {TransactionStep::Page1, "page 1 read"},
    {TransactionStep::SerialNumber, "serial number"},
    {TransactionStep::Patch, "patch read"},
    {TransactionStep::PagerConfiguration, "pager configuration"},
    {TransactionStep::PatchSelection, "patch selection"},
    {TransactionStep::Backup, "backup"},
    {TransactionStep::WritePage0, "page 0 write"},
    {TransactionStep::WritePage1, "page 1 write"},
    {TransactionStep::WriteHeader, "patch header write"},
    {TransactionStep::WritePatch, "patch write"},
    {TransactionStep::WritePagerId, "pager ID write"},
    {TransactionStep::Verify, "verify"},
    {TransactionStep::Reset, "reset"},
    {TransactionStep::Eeprom, "EEPROM"},
};

constexpr std::string_view kLinkResultNames[] = {
    "no valid reply", "success", "NAK", "no reply", "checksum or completion time-out",
    "unexpected reply"};

std::string Hex(unsigned value, int digits) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, value);
  return buf;
}

} // namespace

std::string_view StepName(TransactionStep step) {
  for (const StepRow& row : kStepNames)
    if (row.step == step) return row.name;
  return "transaction";
}

std::string_view LinkResultName(LinkResult result) {
  const int i = static_cast<int>(result);
  if (i < 0 || i >= static_cast<int>(std::size(kLinkResultNames))) return "unknown result";
  return kLinkResultNames[i];
}

std::string DescribeOutcome(const TransactionOutcome& o) {
  const std::string step(StepName(o.step));
  switch (o.ending) {
  case Ending::Success:
    return "ok";
  case Ending::LinkFailure:
    return step + " at " + Hex(o.address, 4) + ": " + std::string(LinkResultName(o.link)) +
           " (" + std::to_string(static_cast<int>(o.link)) + ")";
  case Ending::Refused:
    return step + ": refused" + (o.detail.empty() ? std::string() : ": " + o.detail);
  case Ending::Cancelled:
    return step + ": cancelled";
  case Ending::Mismatch:
    return step + ": " + Hex(o.address, 4) + " holds " + Hex(o.found, 2) + ", " +
           Hex(o.expected, 2) + " was written";
  case Ending::FileError:
    return step + ": " + o.detail;
  case Ending::Interrupted:
    return "interrupted before " + step + " at " + Hex(o.address, 4);
  }
  return step;
}

} // namespace pw
