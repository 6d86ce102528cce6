// SPDX-License-Identifier: GPL-3.0-or-later
#include "codeplug/capcode_stepping.h"

namespace pw {

std::int64_t NearestLegalCapcode(std::int64_t value, StepDirection direction) {
  if (value < kShortFirst)
    return kShortFirst;
  if (value > kLongLast)
    return kLongLast;
  const bool up = direction == StepDirection::Increment;
  if (value > kShortLast && value < kUpperShortFirst)
    return up ? kUpperShortFirst : kShortLast;
  if (value > kUpperShortLast && value < kLongFirst)
    return up ? kLongFirst : kUpperShortLast;
  return value;
}

StepOutcome StepCodes(const std::array<std::int64_t, map::kCodeCount>& values,
                      const std::array<bool, map::kCodeCount>& enabled,
                      const std::array<int, map::kCodeCount>& steps, StepDirection direction) {
  StepOutcome out;
  std::array<std::int64_t, map::kCodeCount> stepped = values;
  for (int i = 0; i < map::kCodeCount; ++i) {
    if (!enabled[i])
      continue;
    const std::int64_t v =
        direction == StepDirection::Increment ? values[i] + steps[i] : values[i] - steps[i];
    const std::int64_t legal = NearestLegalCapcode(v, direction);
    if (legal != v) {
      out.illegalText += "\n" + std::string(kIllegalAddressLead) + std::to_string(i + 1) + "(" +
                         std::to_string(v) + std::string(kStepIllegalMiddle) +
                         std::string(kStepIllegalKind) + std::string(kStepIllegalDefault) +
                         std::to_string(legal) + std::string(kStepIllegalTail);
    }
    stepped[i] = legal;
  }
  if (!out.illegalText.empty())
    out.messages.push_back(Plain(out.illegalText));

  for (int i = 0; i < map::kCodeCount && !out.duplicate; ++i)
    for (int j = i + 1; j < map::kCodeCount; ++j)
      if (enabled[i] && enabled[j] && stepped[i] == stepped[j]) {
        out.duplicate = true;
        break;
      }
  if (out.duplicate) {
    out.messages.push_back(Plain(std::string(kStepDuplicateCodes)));
    out.values = values;
  } else {
    out.values = stepped;
  }
  return out;
}

StepOutcome ApplyAutoStep(Codeplug& codeplug, CodeEdits& edits, AddressState& state,
                          const std::array<int, map::kCodeCount>& steps, StepDirection direction) {
  std::array<std::int64_t, map::kCodeCount> values{};
  for (int i = 0; i < map::kCodeCount; ++i)
    values[i] = edits.enabled[i] ? ParseCapcodeText(edits.text[i]) : 0;
  StepOutcome out = StepCodes(values, edits.enabled, steps, direction);
  if (out.duplicate)
    return out;

  for (int i = 0; i < map::kCodeCount; ++i)
    if (edits.enabled[i])
      edits.text[i] = std::to_string(out.values[i]);
  for (int k = 1; k <= map::kCodeCount; ++k) {
    if (!edits.enabled[k - 1])
      continue;
    CodeCheck check = ValidateCode(codeplug, k, edits, state);
    RebuildFrameBitmap(codeplug, edits, state);
    out.messages.insert(out.messages.end(), check.messages.begin(), check.messages.end());
  }
  return out;
}

int ApplyStepEdit(std::string& text) {
  if (text.empty())
    text = "0";
  if (text.size() != 1 || text[0] < '0' || text[0] > '0' + kMaxStep)
    return 0;
  return text[0] - '0';
}

} // namespace pw
