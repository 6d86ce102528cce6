// SPDX-License-Identifier: GPL-3.0-or-later
// Small routines the ledger's files share; not for use outside src/ledger/.
#pragma once

#include <cstdint>
#include <string>

#include "ledger/database.h"

namespace pw::ledger {

// A column's text as a number; 0 when empty or not a number.
std::int64_t Number(const std::string& text);
// UTC milliseconds since 1970.
std::int64_t NowMs();
// 32 hexadecimal digits from the system's random source.
std::string NewAttemptId();
// The machine's boot id ("" where none is known) and this process's id.
std::string BootId();
std::int64_t ProcessId();
// Ends the open transaction without its changes.
void Rollback(Database& db);

} // namespace pw::ledger
