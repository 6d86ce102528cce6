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

} // namespace pw
