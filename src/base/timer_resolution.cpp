// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/timer_resolution.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <timeapi.h>
#endif

namespace pw {

#ifdef _WIN32
namespace {
constexpr UINT kFineTickMs = 1;
} // namespace

FineTimerScope::FineTimerScope() : raised_(timeBeginPeriod(kFineTickMs) == TIMERR_NOERROR) {}

FineTimerScope::~FineTimerScope() {
  // Only a raise that succeeded is undone: the calls are counted per process.
  if (raised_) timeEndPeriod(kFineTickMs);
}
#else
FineTimerScope::FineTimerScope() = default;
FineTimerScope::~FineTimerScope() = default;
#endif

} // namespace pw
