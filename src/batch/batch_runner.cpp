// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/batch_runner.h"

#include <cstdio>

#include "batch/programming_log.h"

namespace pw {

namespace {

constexpr std::string_view kCodeLetters = "ABCDEF";
constexpr int kVersionLabelMode = 1; // the reply goes to the hidden firmware label, no box

} // namespace

BatchRunner::BatchRunner(SerialPort& port, Link& link, Clock& clock, BatchStation& station,
                         LineCoordinator& coordinator, int line)
    : port_(port), link_(link), clock_(clock), station_(station), coordinator_(&coordinator),
      line_(line) {}

BatchRunner::BatchRunner(SerialPort& port, Link& link, Clock& clock, BatchStation& station,
                         BatchOptions options)
    : port_(port), link_(link), clock_(clock), station_(station),
      ownSource_(std::make_unique<SameCodeplugSource>(std::string())),
      ownCoordinator_(
          std::make_unique<LineCoordinator>(*ownSource_, options.count, options.allowRepeat)),
      coordinator_(ownCoordinator_.get()), line_(ownCoordinator_->AddLine("line")) {}

std::optional<std::string> ReadSerialOnLine(SerialPort& port, Link& link) {
  // An empty line answers nothing: wait a second for the reply, not the protocol's five.
  port.SetReadTimeout(kPagerPollTimeoutMs);
  std::optional<std::string> serial;
  const LinkResult version = link.QueryFirmwareVersion(port, kVersionLabelMode);
  // A NAK inside the reply is a pager too; its Program says why it cannot serve it.
  if ((version == kLinkSuccess || version == kLinkNak) &&
      link.ReadBlock(port, map::kSerialNumber, map::kSerialNumberLength, kProgressNone) ==
          kLinkSuccess)
    serial.emplace(reinterpret_cast<const char*>(link.ReceiveBuffer.data()),
                   map::kSerialNumberLength);
  port.SetReadTimeout(kReadTimeoutMs);
  return serial;
}

std::optional<std::string> BatchRunner::PagerOnLine() {
  return ReadSerialOnLine(port_, link_);
}

void BatchRunner::SleepRestOfPoll(std::uint64_t pollStart) {
  const std::uint64_t spent = clock_.Ticks() - pollStart;
  if (spent < kPagerPollIntervalMs)
    clock_.Sleep(static_cast<std::uint32_t>(kPagerPollIntervalMs - spent));
}

std::optional<std::string> BatchRunner::WaitForPager(int number) {
  Status("waiting for pager " + std::to_string(number));
  while (!ShouldStop()) {
    const std::uint64_t start = clock_.Ticks();
    if (std::optional<std::string> serial = PagerOnLine())
      return serial;
    SleepRestOfPoll(start);
  }
  return std::nullopt;
}

bool BatchRunner::WaitUntilGone(const std::string& serial) {
  if (ShouldStop())
    return false;
  Status("take pager " + SerialNumberForLog(serial) + " off the line");
  WaitingForRemoval(serial);
  for (;;) {
    const std::uint64_t start = clock_.Ticks();
    const std::optional<std::string> onLine = PagerOnLine();
    // A pager swapped within one poll answers with another serial number.
    if (!onLine || *onLine != serial)
      return true;
    SleepRestOfPoll(start);
    if (ShouldStop())
      return false;
  }
}

BatchReport BatchRunner::Run() {
  BatchReport report;
  for (;;) {
    const std::optional<std::string> serial = WaitForPager(report.programmed + 1);
    if (!serial)
      break;
    UnitAssignment unit;
    std::string why;
    const LineCoordinator::Begin begin = coordinator_->BeginUnit(line_, *serial, unit, why);
    if (begin == LineCoordinator::Begin::Done)
      break;
    if (begin == LineCoordinator::Begin::Refused) {
      ++report.refused;
      Say(why);
    } else {
      Status({}); // the Program shows its own progress
      const std::uint64_t start = clock_.Ticks();
      BatchPagerResult result = station_.ProgramPager(*serial, unit);
      const double seconds = static_cast<double>(clock_.Ticks() - start) / 1000.0;
      ++report.programmed;
      // A pager that failed before the Program read its number is the one the poll read.
      if (result.serialNumber.empty())
        result.serialNumber = *serial;
      if (!result.ok)
        ++report.failed;
      Say(BatchSummaryLine(report.programmed, result, seconds));
      const bool goOn = coordinator_->EndUnit(line_, unit, result);
      if (!goOn || ShouldStop())
        break;
    }
    if (!WaitUntilGone(*serial))
      break;
  }
  report.stopped = StopRequested() || coordinator_->Summary().stopped;
  return report;
}

std::string BatchSummaryLine(int number, const BatchPagerResult& r, double seconds) {
  std::string codes;
  for (std::size_t k = 0; k < r.capcodes.size(); ++k) {
    if (r.capcodes[k].empty())
      continue;
    if (!codes.empty())
      codes += ' ';
    codes += std::string(1, kCodeLetters[k]) + "=" + r.capcodes[k];
  }
  char time[32];
  std::snprintf(time, sizeof time, "%.1f s", seconds);
  return std::to_string(number) + "  " + SerialNumberForLog(r.serialNumber) + "  " +
         (codes.empty() ? "-" : codes) + "  " + (r.ok ? "ok" : "FAILED: " + r.result) + "  " + time;
}

} // namespace pw
