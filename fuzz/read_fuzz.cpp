// SPDX-License-Identifier: GPL-3.0-or-later
// The Read transaction against a pager line whose every reply byte comes from the input
// (after an options byte). A failed Read changes nothing in memory; a successful one leaves a
// codeplug that agrees with itself and that Save writes into a file the loader accepts again.
#include "fuzz/fuzz_support.h"

using namespace pw;
using namespace pw::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1)
    return 0;
  const Options options = Options::From(data[0]);
  VirtualClock clock;
  ScriptedLine line(data + 1, size - 1, clock);
  FuzzHost host(options.retries, options.yes, line);
  Link link(clock, host);
  Codeplug cp = StartingCodeplug();
  const CodeplugState before = CodeplugState::Of(cp);
  TransactionContext ctx{cp, link, line, host, clock};

  if (ReadPager(ctx).Ok()) {
    CheckCodeplugAgrees(cp);
    CheckSavesAndLoadsAgain(cp);
  } else {
    PW_PROPERTY(CodeplugState::Of(cp) == before);
  }
  PW_PROPERTY(host.Progress() == 0);
  PW_PROPERTY(line.EndedInTime());
  return 0;
}
