// SPDX-License-Identifier: GPL-3.0-or-later
// The controls of the main window TFormUI, in creation order, with their start captions,
// items, shortcuts and maximum lengths as the form defines them.
#pragma once

#include <array>
#include <string>

#include "ui/controls.h"

namespace pw::ui {

void BuildMainControls(Controls& controls);

// Per-code control names, index k-1 for codes A-F.
struct CodeRowNames {
  std::string enable, code, defaultAlert, vib, beep, voice, led, time, cadence, repeat,
      alertTime, set, incDec;
};
const std::array<CodeRowNames, 6>& CodeRows();

// The window caption and application title.
extern const char* const kMainCaption;
extern const char* const kApplicationTitle;

} // namespace pw::ui
