// SPDX-License-Identifier: GPL-3.0-or-later
// Programming a box of pagers one after another on one line: wait until a pager answers,
// program it, then wait until it is taken off before waiting for the next. The program around
// the batch carries out each pager's Program (verify, log, capcode step, file update); the
// runner decides when, numbers the pagers, refuses a unit it has already programmed, and stops
// after the last pager or when asked, never in the middle of a Program.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/clock.h"
#include "batch/production_line.h"
#include "codeplug/memory_map.h"
#include "link/link_protocol.h"
#include "link/serial_port.h"

namespace pw {

// Polls for a pager start about this often, and each waits this long for the version reply.
inline constexpr std::uint32_t kPagerPollIntervalMs = 1000;
inline constexpr std::uint32_t kPagerPollTimeoutMs = 1000;

// What one pager's Program came to.
struct BatchPagerResult {
  bool ok = false;          // programmed, verified, stepped and saved as asked
  bool stopBatch = false;   // going on would give the next pager the wrong capcodes
  std::string serialNumber; // as the Program read it (raw); empty when it got no further
  std::array<std::string, map::kCodeCount> capcodes{}; // written; empty for disabled codes
  std::string result;                                  // "ok", or what failed
  std::string step;                                    // the step that failed, for the summary
  bool written = false;  // a block went to the pager (it may hold part of the unit)
  std::string attemptId; // the Program's record in the ledger; empty: none
};

// The Program of one pager, as the program around the batch carries it out.
class BatchStation {
public:
  virtual ~BatchStation() = default;
  // Programs the pager on the line (the one whose serial number the poll read) with the
  // unit's values over the batch's codeplug.
  virtual BatchPagerResult ProgramPager(const std::string& polledSerial,
                                        const UnitAssignment& unit) = 0;
};

struct BatchOptions {
  int count = 0;            // stop after this many pagers, failed ones included; 0: no limit
  bool allowRepeat = false; // program a unit again that this batch programmed already
};

// What one line did.
struct BatchReport {
  int programmed = 0; // pagers the line tried to program
  int failed = 0;
  int refused = 0;      // units turned away (programmed already, no unit left for them)
  bool stopped = false; // asked to stop, or a pager's result stopped it
  int ExitStatus() const { return failed == 0 ? 0 : 1; }
};

// One line of a batch: polls, programs through its station, and asks the coordinator for each
// pager's unit and whether to go on.
class BatchRunner {
public:
  // The station programs on port through link; between pagers the runner polls the same
  // port, quietly, with the version query. line: the coordinator's index of this line.
  BatchRunner(SerialPort& port, Link& link, Clock& clock, BatchStation& station,
              LineCoordinator& coordinator, int line);
  // A batch of one line, every pager getting the station's codeplug as it is.
  BatchRunner(SerialPort& port, Link& link, Clock& clock, BatchStation& station,
              BatchOptions options);

  // Lines for the user: each pager's summary, refusals.
  std::function<void(const std::string&)> Say = [](const std::string&) {};
  // What the batch is waiting for between pagers ("waiting for pager 2"), for a status line.
  std::function<void(const std::string&)> Status = [](const std::string&) {};
  // Asked between polls and after each pager; true ends the batch there.
  std::function<bool()> StopRequested = [] { return false; };
  // The programmed pager with this serial number (raw) is waited for to leave the line.
  std::function<void(const std::string&)> WaitingForRemoval = [](const std::string&) {};

  BatchReport Run();

private:
  // The serial number of the pager that answers on the line now, or nothing.
  std::optional<std::string> PagerOnLine();
  // Polls until a pager answers; nothing when asked to stop first.
  std::optional<std::string> WaitForPager(int number);
  // Polls until the pager with serial is gone (silent, or another pager answers); false when
  // asked to stop first.
  bool WaitUntilGone(const std::string& serial);
  void SleepRestOfPoll(std::uint64_t pollStart);
  bool ShouldStop() { return StopRequested() || coordinator_->NothingToStart(); }

  SerialPort& port_;
  Link& link_;
  Clock& clock_;
  BatchStation& station_;
  std::unique_ptr<SameCodeplugSource> ownSource_;
  std::unique_ptr<LineCoordinator> ownCoordinator_;
  LineCoordinator* coordinator_;
  int line_ = 0;
};

// The serial number (raw) of the pager that answers on the line now, or nothing: the version
// query and a read of the serial number, each waiting kPagerPollTimeoutMs at most.
std::optional<std::string> ReadSerialOnLine(SerialPort& port, Link& link);

// The summary line of a pager: "2  CVAFABC124  A=1234561 B=1234562  ok  23.4 s".
std::string BatchSummaryLine(int number, const BatchPagerResult& result, double seconds);

} // namespace pw
