// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/clock.h"

#include <chrono>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace pw {

void SystemClock::Sleep(std::uint32_t ms) {
#ifdef __linux__
  // The link sleeps after every byte it sends; the default 50 us timer slack per pause adds
  // up over a page. Ask for wake-ups on time (per thread, once).
  thread_local const bool precise = prctl(PR_SET_TIMERSLACK, 1UL) == 0;
  (void)precise;
#endif
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t SystemClock::Ticks() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace pw
