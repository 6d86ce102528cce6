// SPDX-License-Identifier: GPL-3.0-or-later
// Stepping the capcodes after each programmed pager, so a batch of pagers gets consecutive
// addresses without typing. Values in, values and messages out; the form model owns the
// controls.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/message.h"
#include "codeplug/codeplug.h"
#include "codeplug/flex_address.h"

namespace pw {

// Item of rgpCapCodeAutoIncrementDecrement.
enum class StepDirection { Increment = 0, Decrement = 1 };

inline constexpr std::string_view kStepIllegalMiddle = ") is an illegal ";
inline constexpr std::string_view kStepIllegalKind = "FLEX";
inline constexpr std::string_view kStepIllegalDefault = " address! The nearest default(";
inline constexpr std::string_view kStepIllegalTail = ") will be used.";
inline constexpr std::string_view kStepDuplicateCodes =
    "ERROR: Duplicate codes exists. It will be reset to correct value.";

inline constexpr int kMaxStep = 8;

struct StepOutcome {
  // New values of the codes; codes that take no part, and every code when the stepped values
  // collide, keep their old values.
  std::array<std::int64_t, map::kCodeCount> values{};
  std::string illegalText; // the one box listing replaced values; empty when none
  bool duplicate = false;  // two stepped values were equal: nothing is to be written back
  Messages messages;       // the boxes to show, in order
};

// The nearest legal capcode to a stepped value, searching in the stepping direction; a legal
// value is its own answer.
std::int64_t NearestLegalCapcode(std::int64_t value, StepDirection direction);

// Steps every enabled code by its step (0-8) in the given direction.
StepOutcome StepCodes(const std::array<std::int64_t, map::kCodeCount>& values,
                      const std::array<bool, map::kCodeCount>& enabled,
                      const std::array<int, map::kCodeCount>& steps, StepDirection direction);

// The whole stepping of one programmed pager on the image: steps the enabled codes of
// edits, and unless they collide writes the new values back as plain decimal text and
// validates and stores each enabled code, A to F, rebuilding the frame bitmap after each.
// The outcome's messages include those of the validation.
StepOutcome ApplyAutoStep(Codeplug& codeplug, CodeEdits& edits, AddressState& state,
                          const std::array<int, map::kCodeCount>& steps, StepDirection direction);

// I-D edit: an empty text becomes "0"; the step is the text's value (0 when it is not a digit
// 0-8).
int ApplyStepEdit(std::string& text);

} // namespace pw
