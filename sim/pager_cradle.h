// SPDX-License-Identifier: GPL-3.0-or-later
// Pagers taking turns in one programming cradle, as on a production bench: at most one unit
// is on the line at a time. A schedule puts unit after unit on the line, each for a while,
// with the cradle empty between them; a test or a technician can also take a unit off at
// once, a unit can be pulled after a given number of write blocks (in the middle of its
// Program), and a finished unit can leave a while after the pager acknowledged its reset (the
// last step of a Program), as a technician takes it out. The units differ as real ones do:
// each carries its own serial number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/pager_firmware.h"

namespace pw::sim {

struct CradleSchedule {
  std::uint64_t firstAtMs = 0; // the first unit goes on the line then
  std::uint64_t stayMs = 0;    // each unit stays this long; 0: until taken off
  std::uint64_t gapMs = 0;     // the cradle stays empty this long before the next unit
  // A unit that acknowledged a reset leaves this long after it; negative: it stays.
  std::int64_t leaveAfterResetMs = -1;
};

// One change of the cradle, for the simulator's log and for tests.
struct CradleEvent {
  std::uint64_t atMs;
  int unit;    // index into Units
  bool onLine; // put on (true) or taken off
  bool operator==(const CradleEvent&) const = default;
};

class PagerCradle {
public:
  PagerCradle(std::vector<PagerFirmware> units, CradleSchedule schedule);

  // The unit on the line at time nowMs, or null. Moves the schedule on to nowMs first; time
  // never runs backwards.
  PagerFirmware* OnLine(std::uint64_t nowMs);
  // The index of the unit on the line as of the last OnLine, or -1.
  int UnitOnLine() const { return current_; }
  // Takes the unit on the line off at nowMs; the next one follows after the gap.
  void TakeOff(std::uint64_t nowMs);
  // A byte arriving at nowMs for the unit on the line, and its answer (none with an empty
  // cradle). A unit pulled by this byte's request leaves before it answers.
  Reply Receive(std::uint8_t b, std::uint64_t nowMs);

  std::vector<PagerFirmware> Units; // fixed in number once made: OnLine points into it
  // Per unit: it is pulled as soon as it has received this many write frames (its last one
  // stored but never answered); 0 or missing: never.
  std::vector<int> PullAfterWrites;
  std::vector<CradleEvent> Events;

private:
  void PutOn(int unit, std::uint64_t at);
  void Remove(std::uint64_t at);

  CradleSchedule schedule_;
  int current_ = -1;
  int next_ = 0;
  std::uint64_t since_ = 0;   // when the current unit went on, or the cradle became empty
  std::vector<int> writes_;   // write frames each unit has received
  std::int64_t leaveAt_ = -1; // when the unit on the line leaves after its reset; -1: not set
};

// A copy of an EEPROM image with another serial number (its first ten characters), page 1's
// checksum made sound again.
Image WithSerialNumber(Image eeprom, std::string_view serial);
// The serial number n units after first, counted on in its last three characters as a
// decimal number ("CVAFABC123", 2 -> "CVAFABC125"); characters that are not digits count
// as 0.
std::string NthSerialNumber(std::string_view first, int n);
// count units like the pager of eeprom, unit k carrying NthSerialNumber(its serial, k).
std::vector<PagerFirmware> NumberedUnits(const Image& eeprom, const std::string& firmwareDigits,
                                         int count);

} // namespace pw::sim
