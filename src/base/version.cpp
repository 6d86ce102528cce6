// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/version.h"

namespace pw {

// The build gives the project's version to this file alone.
const char* ProgramVersion() {
  return PAGEWRIGHT_VERSION;
}

} // namespace pw
