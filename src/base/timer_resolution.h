// SPDX-License-Identifier: GPL-3.0-or-later
// Windows wakes timed waits on its system tick, 15.6 ms unless a program asks for a finer one,
// so a 10 ms pause between two bytes lasts 15.6 ms. While a FineTimerScope lives the tick is
// 1 ms; it is restored when the scope ends. Elsewhere pauses already end on time and the scope
// does nothing.
#pragma once

namespace pw {

class FineTimerScope {
public:
  FineTimerScope();
  ~FineTimerScope();
  FineTimerScope(const FineTimerScope&) = delete;
  FineTimerScope& operator=(const FineTimerScope&) = delete;

private:
  bool raised_ = false;
};

} // namespace pw
