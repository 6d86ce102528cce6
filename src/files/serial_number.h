// SPDX-License-Identifier: GPL-3.0-or-later
// Serial number rules of edtSerialNumber: ten characters at 0x1ED-0x1F6.
#pragma once

#include <string>

#include "base/message.h"
#include "codeplug/codeplug.h"

namespace pw {

inline constexpr int kSerialNumberMaxLength = 10;

// Upper-cases the text (written back), checks it and stores it only when it is well formed or
// ten zeros. Returns false when a message was shown (the caller sets SerialNumberInvalid).
bool ValidateSerialNumber(Codeplug& cp, std::string& text, Messages& out);

// What edtSerialNumber shows: the characters up to the first zero byte, at most ten.
std::string SerialNumberShown(const Codeplug& cp);

// Digits, letters of both cases and Backspace reach the box; the Enter key is the caller's.
bool SerialNumberKeyAllowed(char ch);

} // namespace pw
