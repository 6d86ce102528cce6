// Alert pattern and power fields: Time, Cadence and Repeat count of every alert, the
// out-of-range timer, the standby power LED, the beep tone and the battery thresholds.
// Every rule takes the control's text, may rewrite it, writes the image, appends the
// messages it shows, and returns true when the entry was accepted as typed (false when it
// was corrected or refused).
#pragma once

#include <string>

#include "base/message.h"
#include "codeplug/codeplug.h"

namespace pw {

// Out-of-range timer in seconds (edtOutofRangeTimer): 10-600 in 5-second steps.
bool ValidateOutOfRangeTimer(Codeplug& cp, std::string& text, Messages& out);
// The value edtOutofRangeTimer shows for the image (seconds or 5-second steps).
int OutOfRangeTimerShownValue(const Codeplug& cp);
// Battery threshold item 1-12 as its edit shows it ("%1.2f" volts).
std::string BatteryText(const Codeplug& cp, int item);

} // namespace pw
