// SPDX-License-Identifier: GPL-3.0-or-later
// A bench that does nothing but record: units FIRST..FIRST+COUNT-1 as attempts on one ledger,
// each started and completed as a Program records it. The kill and concurrency tests run it.
// usage: ledger_writer URL BENCH FIRST COUNT
#include <cstdio>
#include <string>

#include "ledger/recorder.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: ledger_writer URL BENCH FIRST COUNT\n");
    return 2;
  }
  pw::ledger::Ledger::Opened opened = pw::ledger::Ledger::Open(argv[1]);
  if (!opened.ledger) {
    std::fprintf(stderr, "%s\n", opened.message.c_str());
    return 2;
  }
  pw::ledger::Recorder recorder(std::move(opened.ledger), argv[2]);
  const int first = std::stoi(argv[3]), count = std::stoi(argv[4]);
  int failures = 0;
  for (int unit = first; unit < first + count; ++unit) {
    pw::ledger::Attempt a;
    a.kind = pw::ledger::kKindBatch;
    char serial[16];
    std::snprintf(serial, sizeof serial, "CV%08d", unit);
    a.record.source = "units.Dat";
    a.record.written.capcodes[0] = std::to_string(1000000 + unit);
    a.record.written.enabled[0] = true;
    if (!recorder.Begin(a).empty())
      ++failures;
    a.record.serialNumber = serial;
    a.record.outcome = unit % 5 ? "success" : "page 1 write at 0x0100: no reply";
    a.state = std::string(unit % 5 ? pw::ledger::kSuccess : pw::ledger::kFailed);
    if (!recorder.Complete(a).empty())
      ++failures;
  }
  return failures ? 1 : 0;
}
