// SPDX-License-Identifier: GPL-3.0-or-later
#include "batch/production_line.h"

#include <algorithm>

#include "batch/batch_runner.h"
#include "batch/programming_log.h"
#include "codeplug/flex_address.h"

namespace pw {

namespace {

constexpr std::string_view kCodeLetters = "ABCDEF";

std::string CapcodeField(std::size_t k) {
  return std::string("code.") + kCodeLetters[k] + ".capcode";
}

} // namespace

std::string CapcodeList(const std::array<std::string, map::kCodeCount>& capcodes) {
  std::string list;
  for (std::size_t k = 0; k < capcodes.size(); ++k) {
    if (capcodes[k].empty())
      continue;
    if (!list.empty())
      list += ' ';
    list += std::string(1, kCodeLetters[k]) + "=" + capcodes[k];
  }
  return list.empty() ? "-" : list;
}

SteppedCapcodeSource::SteppedCapcodeSource(Capcodes first,
                                           std::array<bool, map::kCodeCount> enabled,
                                           std::array<int, map::kCodeCount> steps,
                                           StepDirection direction)
    : next_(first), enabled_(enabled), steps_(steps), direction_(direction) {}

UnitAssignment SteppedCapcodeSource::Assignment(const Capcodes& values) const {
  UnitAssignment unit;
  const StepOutcome stepped = StepCodes(values, enabled_, steps_, direction_);
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (!enabled_[k])
      continue;
    unit.fields.emplace_back(CapcodeField(k), CapcodeText(values[k]));
    if (!stepped.duplicate)
      unit.steppedCapcodes[k] = CapcodeText(stepped.values[k]);
  }
  return unit;
}

UnitSource::Answer SteppedCapcodeSource::Take(const std::string&, UnitAssignment& unit,
                                              std::string& why) {
  if (!returned_.empty()) {
    unit = Assignment(returned_.front());
    returned_.erase(returned_.begin());
    return Answer::Unit;
  }
  if (exhausted_) {
    why = "stepping the capcodes gave two codes the same value";
    return Answer::Exhausted;
  }
  unit = Assignment(next_);
  const StepOutcome stepped = StepCodes(next_, enabled_, steps_, direction_);
  if (stepped.duplicate)
    exhausted_ = true;
  else
    next_ = stepped.values;
  return Answer::Unit;
}

std::array<std::string, map::kCodeCount> SteppedCapcodeSource::NextTexts() const {
  std::array<std::string, map::kCodeCount> texts{};
  // The unit given back first is the one the next pager gets.
  const Capcodes& values = returned_.empty() ? next_ : returned_.front();
  for (std::size_t k = 0; k < values.size(); ++k)
    if (enabled_[k])
      texts[k] = CapcodeText(values[k]);
  return texts;
}

bool SteppedCapcodeSource::Finish(const UnitAssignment& unit, const BatchPagerResult& result,
                                  std::string& why) {
  if (!result.ok) {
    Capcodes values{};
    std::size_t field = 0;
    for (std::size_t k = 0; k < values.size(); ++k)
      if (enabled_[k] && field < unit.fields.size())
        values[k] = ParseCapcodeText(unit.fields[field++].second);
    // Kept in the order they were first handed out, so the lowest goes again first.
    const auto before = [this](const Capcodes& a, const Capcodes& b) {
      return direction_ == StepDirection::Increment ? a < b : a > b;
    };
    returned_.insert(std::upper_bound(returned_.begin(), returned_.end(), values, before), values);
    return true;
  }
  return !Save || Save(NextTexts(), why);
}

std::string SteppedCapcodeSource::Next() const {
  if (exhausted_ && returned_.empty())
    return "none (stepping the capcodes gave two codes the same value)";
  return CapcodeList(NextTexts());
}

LineCoordinator::LineCoordinator(UnitSource& source, int count, bool allowRepeat)
    : source_(source), count_(count), allowRepeat_(allowRepeat) {}

int LineCoordinator::AddLine(std::string name) {
  std::lock_guard lock(mutex_);
  summary_.lines.push_back(LineTally{std::move(name)});
  return int(summary_.lines.size()) - 1;
}

LineCoordinator::Begin LineCoordinator::BeginUnit(int line, const std::string& serial,
                                                  UnitAssignment& unit, std::string& why) {
  std::lock_guard lock(mutex_);
  if (NothingToStartLocked())
    return Begin::Done;
  LineTally& tally = summary_.lines[std::size_t(line)];
  if (!allowRepeat_ && programmed_.contains(serial)) {
    ++tally.refused;
    ++summary_.refused;
    why = "pager " + SerialNumberForLog(serial) +
          " was programmed in this batch already: it is not programmed again";
    return Begin::Refused;
  }
  std::string reason;
  switch (source_.Take(serial, unit, reason)) {
  case UnitSource::Answer::Unit:
    break;
  case UnitSource::Answer::NotForThisPager:
    ++tally.refused;
    ++summary_.refused;
    why = "pager " + SerialNumberForLog(serial) + ": " + reason;
    return Begin::Refused;
  case UnitSource::Answer::Exhausted:
    if (stopReason_.empty())
      stopReason_ = reason;
    return Begin::Done;
  }
  ++started_;
  ++inFlight_;
  return Begin::Go;
}

bool LineCoordinator::EndUnit(int line, const UnitAssignment& unit,
                              const BatchPagerResult& result) {
  std::lock_guard lock(mutex_);
  --inFlight_;
  LineTally& tally = summary_.lines[std::size_t(line)];
  ++tally.attempts;
  ++summary_.attempts;
  const std::string serial = result.serialNumber;
  std::string why;
  const bool goOn = source_.Finish(unit, result, why);
  if (result.ok) {
    ++tally.programmed;
    programmed_.insert(serial);
    summary_.programmed = int(programmed_.size());
  } else {
    ++tally.failed;
    ++summary_.failed;
    summary_.failures.push_back(FailedUnit{tally.name, SerialNumberForLog(serial),
                                           result.step.empty() ? result.result : result.step});
  }
  if (!goOn || result.stopBatch) {
    stop_ = true;
    if (stopReason_.empty())
      stopReason_ = !goOn ? why : result.result;
  }
  return !stop_;
}

void LineCoordinator::RequestStop(std::string reason) {
  std::lock_guard lock(mutex_);
  stop_ = true;
  if (stopReason_.empty())
    stopReason_ = std::move(reason);
}

bool LineCoordinator::NothingToStartLocked() const {
  return stop_ || (count_ > 0 && started_ >= count_) || (source_.Exhausted() && inFlight_ == 0);
}

bool LineCoordinator::NothingToStart() const {
  std::lock_guard lock(mutex_);
  return NothingToStartLocked();
}

LineSummary LineCoordinator::Summary() const {
  std::lock_guard lock(mutex_);
  LineSummary s = summary_;
  s.next = source_.Next();
  s.stopped = stop_;
  s.stopReason = stopReason_;
  return s;
}

} // namespace pw
