// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/local_time.h"

namespace pw {

std::tm LocalTimeOf(std::time_t when) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

std::string LocalTimeText(std::time_t when, const char* format) {
  const std::tm local = LocalTimeOf(when);
  char buf[64];
  const std::size_t n = std::strftime(buf, sizeof buf, format, &local);
  return std::string(buf, n);
}

std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

} // namespace pw
