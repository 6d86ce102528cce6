// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT, SIGTERM and SIGHUP (a closed terminal, a dropped SSH session) alike ask a command
// that writes to pagers to stop at its next safe point: the block in flight is finished, the
// pager is left unreset, and the command records what it did before it exits.
#pragma once

namespace pw::cli {

// From now on the three signals only record that they came; the first one is kept.
void CatchInterrupts();
// Whether one came.
bool InterruptRequested();
// The exit status of an interrupted command: 130 after SIGINT, 1 after the others.
int InterruptExitStatus();

} // namespace pw::cli
