// The Read pager and Program pager transactions. Each runs synchronously, shows every
// outcome through the Host, and returns whether it succeeded; the caller refreshes the
// window, enables commands and runs automatic stepping.
#pragma once

#include "base/clock.h"
#include "base/host.h"
#include "codeplug/codeplug.h"
#include "link/link_protocol.h"
#include "link/serial_port.h"

namespace pw {

struct TransactionContext {
  Codeplug& codeplug;
  Link& link;
  SerialPort& port;
  Host& host;
  Clock& clock;
};

// Reads the pager's codeplug into WorkingImage; true when the whole Read succeeded.
bool ReadPager(TransactionContext& ctx);

// Writes WorkingImage into the pager; true after "Codeplug  Programmed  Successfully!".
bool ProgramPager(TransactionContext& ctx);

} // namespace pw
