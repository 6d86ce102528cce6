// SPDX-License-Identifier: GPL-3.0-or-later
// The Read pager and Program pager transactions. Each runs synchronously, shows every
// outcome through the Host, and returns what happened; the caller refreshes the window,
// enables commands and runs automatic stepping.
#pragma once

#include <filesystem>
#include <functional>

#include "base/clock.h"
#include "base/host.h"
#include "codeplug/codeplug.h"
#include "link/link_protocol.h"
#include "link/serial_port.h"
#include "transactions/outcome.h"

namespace pw {

struct TransactionContext {
  Codeplug& codeplug;
  Link& link;
  SerialPort& port;
  Host& host;
  Clock& clock;
};

// Reads the pager's codeplug into WorkingImage; Ok() when the whole Read succeeded.
TransactionOutcome ReadPager(TransactionContext& ctx);

struct ProgramOptions {
  // Read every block back after writing it and compare it byte for byte before the reset.
  bool verify = true;
  // When set, the whole EEPROM is saved into this folder after the checks and before the
  // first write; a backup that fails ends the Program with nothing written.
  std::filesystem::path backupDirectory;
  // Asked before each block: true ends the Program there, as interrupted, the block in
  // flight finished and the pager not reset.
  std::function<bool()> stopRequested{};
  // Called once with the outcome when the transaction ends, before the box that tells the
  // user (a record of the Program must not wait for the user to close it).
  std::function<void(const TransactionOutcome&)> ended{};
};

// Writes WorkingImage into the pager; Ok() after "Codeplug  Programmed  Successfully!".
TransactionOutcome ProgramPager(TransactionContext& ctx, const ProgramOptions& options = {});

} // namespace pw
