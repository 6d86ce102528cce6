// SPDX-License-Identifier: GPL-3.0-or-later
// The production line: several serial lines programming pagers at once, each driven by its own
// worker (a BatchRunner on its own port, link and clock), and one coordinator they share. The
// coordinator is the only thing the workers share: it hands out each unit's codeplug values
// (stepped capcodes, a manifest row) under its lock so no two lines program the same capcodes,
// refuses a unit the batch has programmed already, counts the batch's pagers and collects the
// summary per line and in total. A worker only ever waits on the coordinator's lock for a few
// bookkeeping steps, never while another line talks to its pager.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "codeplug/capcode_stepping.h"
#include "codeplug/memory_map.h"

namespace pw {

struct BatchPagerResult;

// What one unit is to get on top of the batch's data file: named fields and their values (as
// `set` takes them). A stepped batch gives the capcodes, a manifest row its cells.
struct UnitAssignment {
  int row = 0; // the manifest's line number (the header is line 1); 0 when not from a manifest
  std::vector<std::pair<std::string, std::string>> fields;
  bool fromDataFile = false; // start again from the data file before applying the fields
  std::string serialNumber;  // the row is bound to this pager; empty: any pager
  // The capcodes stepped on from this unit's, for the programming log; empty: not stepped.
  std::array<std::string, map::kCodeCount> steppedCapcodes{};
  // The pools' reservation the capcodes came from; empty: none.
  std::string reservation;
};

// Where the units' values come from. Called only under the coordinator's lock.
class UnitSource {
public:
  enum class Answer { Unit, NotForThisPager, Exhausted };
  virtual ~UnitSource() = default;
  // The next unit for the pager with this serial number (raw); why says why there is none.
  virtual Answer Take(const std::string& serial, UnitAssignment& unit, std::string& why) = 0;
  // The unit's Program came to result: programmed (ok), or failed and the unit goes back to
  // be taken again. False when the batch cannot go on (the data file could not be updated);
  // why says why.
  virtual bool Finish(const UnitAssignment& unit, const BatchPagerResult& result,
                      std::string& why) = 0;
  // Nothing is left to hand out (units out on a line may still come back).
  virtual bool Exhausted() const = 0;
  // What the next unit would get, for the summary: "A=1234563 B=1234564".
  virtual std::string Next() const = 0;
};

// The data file's capcodes stepped after each unit, as the window's automatic step does; a
// unit that fails gives its capcodes back and the next unit on any line takes them first.
class SteppedCapcodeSource final : public UnitSource {
public:
  using Capcodes = std::array<std::int64_t, map::kCodeCount>;
  SteppedCapcodeSource(Capcodes first, std::array<bool, map::kCodeCount> enabled,
                       std::array<int, map::kCodeCount> steps, StepDirection direction);

  // Called after each programmed unit with the capcodes the next unit would get, so the data
  // file can hold them; false (with the reason) when it could not be written.
  std::function<bool(const std::array<std::string, map::kCodeCount>&, std::string&)> Save;

  Answer Take(const std::string& serial, UnitAssignment& unit, std::string& why) override;
  bool Finish(const UnitAssignment& unit, const BatchPagerResult& result,
              std::string& why) override;
  bool Exhausted() const override { return exhausted_ && returned_.empty(); }
  std::string Next() const override;

private:
  UnitAssignment Assignment(const Capcodes& values) const;
  std::array<std::string, map::kCodeCount> NextTexts() const;

  Capcodes next_;
  std::array<bool, map::kCodeCount> enabled_;
  std::array<int, map::kCodeCount> steps_;
  StepDirection direction_;
  bool exhausted_ = false;         // stepping made two codes equal: no further unit
  std::vector<Capcodes> returned_; // given back by failed units, lowest first
};

// Every unit gets the data file as it is.
class SameCodeplugSource final : public UnitSource {
public:
  explicit SameCodeplugSource(std::string capcodes) : capcodes_(std::move(capcodes)) {}
  Answer Take(const std::string&, UnitAssignment&, std::string&) override { return Answer::Unit; }
  bool Finish(const UnitAssignment&, const BatchPagerResult&, std::string&) override {
    return true;
  }
  bool Exhausted() const override { return false; }
  std::string Next() const override { return capcodes_; }

private:
  std::string capcodes_;
};

// "A=1234560 B=1234561", the codes that have a value.
std::string CapcodeList(const std::array<std::string, map::kCodeCount>& capcodes);

struct FailedUnit {
  std::string line;
  std::string serialNumber; // as the log shows it
  std::string step;         // what failed
};

struct LineTally {
  std::string name;   // "COM1", "/dev/ttyUSB0"
  int attempts = 0;   // pagers the line programmed or tried to
  int programmed = 0; // of them, programmed successfully
  int failed = 0;
  int refused = 0;
};

struct LineSummary {
  std::vector<LineTally> lines;
  int programmed = 0; // distinct serial numbers programmed successfully
  int attempts = 0;
  int failed = 0;
  int refused = 0;
  std::vector<FailedUnit> failures;
  std::string next; // what the next unit would get
  bool stopped = false;
  std::string stopReason;
};

class LineCoordinator {
public:
  // count: stop after so many pagers, failed ones included (0: no limit); allowRepeat: program
  // again a unit this batch has programmed.
  LineCoordinator(UnitSource& source, int count, bool allowRepeat);

  // Before the workers start: a line, by the name the summary gives it; its index.
  int AddLine(std::string name);

  enum class Begin { Go, Refused, Done };
  // A pager answered on line: Go with its unit, Refused (why says why; the pager is to be taken
  // off), or Done when the batch has no more units to program.
  Begin BeginUnit(int line, const std::string& serial, UnitAssignment& unit, std::string& why);
  // The pager's Program came to result; false when the whole batch is to stop.
  bool EndUnit(int line, const UnitAssignment& unit, const BatchPagerResult& result);

  // Asked by a stop signal or a line's fault that must stop every line.
  void RequestStop(std::string reason = {});
  // No line is to start another pager: stopped, the count reached, or nothing left to give.
  bool NothingToStart() const;

  LineSummary Summary() const;

private:
  bool NothingToStartLocked() const;

  mutable std::mutex mutex_;
  UnitSource& source_;
  int count_;
  bool allowRepeat_;
  int started_ = 0;
  int inFlight_ = 0;
  bool stop_ = false;
  std::string stopReason_;
  std::set<std::string> programmed_; // serial numbers programmed successfully
  LineSummary summary_;
};

} // namespace pw
