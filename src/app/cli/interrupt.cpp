// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/cli/interrupt.h"

#include <csignal>

#include "app/cli/cli.h"

namespace pw::cli {

namespace {

volatile std::sig_atomic_t caught = 0;

extern "C" void Remember(int signal) {
  if (caught == 0)
    caught = signal;
#ifdef _WIN32
  std::signal(signal, Remember); // the C runtime resets the handler before calling it
#endif
}

} // namespace

void CatchInterrupts() {
#ifdef _WIN32
  for (int signal : {SIGINT, SIGTERM, SIGBREAK})
    std::signal(signal, Remember);
#else
  struct sigaction action {};
  action.sa_handler = Remember;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART; // the port's reads and writes go on; its poll retries
  for (int signal : {SIGINT, SIGTERM, SIGHUP})
    sigaction(signal, &action, nullptr);
#endif
}

bool InterruptRequested() {
  return caught != 0;
}

int InterruptExitStatus() {
  return caught == SIGINT ? 130 : kExitFailed;
}

} // namespace pw::cli
