// SPDX-License-Identifier: GPL-3.0-or-later
// Kept apart from the firmware so that tests which bring their own EEPROM image do not need
// the codeplug builder.
#include "sim/pager_firmware.h"

namespace pw::sim {

// A Program leaves the forced bytes and sound page checksums behind; the patch area is the
// default codeplug's own.
Image DefaultPagerEeprom() {
  Codeplug codeplug;
  codeplug.ApplyForcedBytes();
  codeplug.UpdatePageChecksums();
  return codeplug.WorkingImage;
}

PagerFirmware::PagerFirmware() : PagerFirmware(DefaultPagerEeprom()) {}

} // namespace pw::sim
