// SPDX-License-Identifier: GPL-3.0-or-later
#include "codeplug/flex_address.h"

namespace pw {
namespace {

constexpr std::uint32_t kShortWordOffset = 0x8000; // a short address is stored as capcode + 0x8000
constexpr std::int64_t kLongBase = 2068481;        // first capcode of the long numbering
constexpr std::uint32_t kWordOnes = 0x1FFFFF;      // 21 one-bits
constexpr std::uint32_t kLongWordSpan = 32768;
constexpr std::uint32_t kLongMark = std::uint32_t(map::kLongAddressMark) << 16;
constexpr int kMaxParsedDigits = 18; // keeps the value inside 64 bits
constexpr int kShortDigits = 7;
constexpr int kLongDigits = 9;

std::string Padded(std::int64_t value, int digits) {
  std::string text = std::to_string(value);
  if (int(text.size()) < digits)
    text.insert(0, std::size_t(digits) - text.size(), '0');
  return text;
}

// The legal capcode an illegal entry is replaced by.
std::int64_t NearestDefault(std::int64_t value) {
  if (value < kShortFirst)
    return kShortFirst;
  if (value < kUpperShortFirst)
    return kShortLast;
  if (value < kLongFirst)
    return kUpperShortLast;
  return kLongLast;
}

std::uint32_t WordAt(const Codeplug& codeplug, std::uint16_t offset) {
  return codeplug.Word24(offset);
}

std::uint32_t Value21(std::uint32_t stored) {
  return stored & (std::uint32_t(map::kWordHighMask) << 16 | 0xFFFF);
}

bool IsBlankWord(std::uint32_t stored) {
  return stored == 0 || stored == 0xFFFFFF;
}

// Code k's value as the duplicate test counts it: 0 unless the code is enabled.
std::int64_t CountedValue(int k, const CodeEdits& edits) {
  return edits.enabled[k - 1] ? ParseCapcodeText(edits.text[k - 1]) : 0;
}

bool CollidesWithOtherCode(int k, std::int64_t value, const CodeEdits& edits) {
  if (value == 0)
    return false;
  for (int j = 1; j <= map::kCodeCount; ++j)
    if (j != k && CountedValue(j, edits) == value)
      return true;
  return false;
}

bool ValidCode(int k) {
  return k >= 1 && k <= map::kCodeCount;
}

} // namespace

CapcodeClass ClassOf(std::int64_t value) {
  if (value >= kShortFirst && value <= kShortLast)
    return CapcodeClass::Short;
  if (value >= kUpperShortFirst && value <= kUpperShortLast)
    return CapcodeClass::Short;
  if (value >= kLongFirst && value <= kLongLast)
    return CapcodeClass::Long;
  return CapcodeClass::Illegal;
}

std::int64_t ParseCapcodeText(std::string_view text) {
  std::int64_t value = 0;
  int digits = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return 0;
    if (value == 0 && c == '0')
      continue;
    if (++digits > kMaxParsedDigits)
      return 0;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string CapcodeText(std::int64_t value) {
  switch (ClassOf(value)) {
  case CapcodeClass::Short:
    return Padded(value, kShortDigits);
  case CapcodeClass::Long:
    return Padded(value, kLongDigits);
  default:
    return std::to_string(value);
  }
}

AddressWords EncodeCapcode(std::int64_t value) {
  if (ClassOf(value) == CapcodeClass::Long) {
    const std::int64_t m = value - kLongBase;
    return {std::uint32_t(m % kLongWordSpan + 1) | kLongMark,
            std::uint32_t(kWordOnes - m / kLongWordSpan) | kLongMark};
  }
  return {std::uint32_t(value) + kShortWordOffset, 0};
}

std::int64_t DecodeCapcode(const Codeplug& codeplug, int k) {
  const std::uint32_t stored1 = WordAt(codeplug, map::AddressWord1(k));
  const std::int64_t w1 = Value21(stored1);
  if (stored1 & kLongMark) {
    const std::int64_t w2 = Value21(WordAt(codeplug, map::AddressWord2(k)));
    return (kWordOnes - w2) * kLongWordSpan + w1 + (kLongBase - 1);
  }
  return w1 - kShortWordOffset;
}

void StoreAddressWords(Codeplug& codeplug, int k, const AddressWords& words) {
  codeplug.SetWord24(map::AddressWord1(k), words.word1);
  codeplug.SetWord24(map::AddressWord2(k), words.word2);
}

int EnableBits(const Codeplug& codeplug, int k) {
  const map::EnableField f = map::kEnableFields[k];
  return (codeplug.WorkingImage[f.byte] >> f.shift) & 0x03;
}

void SetEnableBits(Codeplug& codeplug, int k, int bits) {
  const map::EnableField f = map::kEnableFields[k];
  std::uint8_t& b = codeplug.At(f.byte);
  b = static_cast<std::uint8_t>((b & ~(0x03 << f.shift)) | ((bits & 0x03) << f.shift));
}

int HomeFrame(std::int64_t value) {
  const std::int64_t f = (value / 16) % map::kFrameCount;
  return int(f < 0 ? f + map::kFrameCount : f);
}

CodeCheck ValidateCode(Codeplug& codeplug, int k, CodeEdits& edits, AddressState& state) {
  CodeCheck result;
  if (!ValidCode(k))
    return result;
  const std::int64_t entered = ParseCapcodeText(edits.text[k - 1]);
  std::int64_t value = entered;
  if (ClassOf(value) == CapcodeClass::Illegal) {
    value = NearestDefault(value);
    result.fieldInvalid = true;
    result.messages.push_back(Plain(std::string(kIllegalAddressLead) + std::to_string(k) +
                                    std::string(kIllegalAddressTail)));
  }
  // The repaired value is tested too: a repair must not make two codes answer the same address.
  if (CollidesWithOtherCode(k, edits.enabled[k - 1] ? value : 0, edits)) {
    result.duplicate = true;
    state.duplicate[k - 1] = true;
    result.messages.push_back(Plain(std::string(kDuplicateCodes)));
    return result;
  }
  state.duplicate[k - 1] = false;

  StoreAddressWords(codeplug, k, EncodeCapcode(value));
  // A code whose box is unchecked stays off in the pager whatever its edit holds.
  if (edits.enabled[k - 1])
    SetEnableBits(codeplug, k,
                  ClassOf(value) == CapcodeClass::Long ? map::kEnableLong : map::kEnableShort);
  state.homeFrame[k - 1] = HomeFrame(value);
  edits.text[k - 1] = CapcodeText(value);
  result.stored = true;
  return result;
}

bool IsDuplicateCode(int k, const CodeEdits& edits, AddressState& state, Messages& messages) {
  if (!ValidCode(k))
    return false;
  const bool duplicate = CollidesWithOtherCode(k, CountedValue(k, edits), edits);
  state.duplicate[k - 1] = duplicate;
  if (duplicate)
    messages.push_back(Plain(std::string(kDuplicateCodes)));
  return duplicate;
}

void RebuildFrameBitmap(Codeplug& codeplug, const CodeEdits& edits, const AddressState& state) {
  // b[15] bit n is frame n, b[14] bit n frame 8 + n, ... b[0] bit n frame 120 + n.
  std::array<std::uint8_t, map::kFrameBytes> b{};
  constexpr int kCycleFrames = 16; // battery cycle 4
  for (int k = 1; k <= map::kCodeCount; ++k) {
    if (!edits.enabled[k - 1])
      continue;
    const int first = ((state.homeFrame[k - 1] % kCycleFrames) + kCycleFrames) % kCycleFrames;
    for (int f = first; f < map::kFrameCount; f += kCycleFrames)
      b[map::kFrameBytes - 1 - f / 8] |= static_cast<std::uint8_t>(1u << (f % 8));
  }
  for (int i = 0; i < map::kFramePackets; ++i) {
    const std::size_t packet = map::kFrameBitmap + 4 * std::size_t(i);
    codeplug.At(packet) = static_cast<std::uint8_t>(map::kFramePacketId + i);
    codeplug.At(packet + 1) = 0;
    codeplug.At(packet + 2) = b[2 * i];
    codeplug.At(packet + 3) = b[2 * i + 1];
  }
}

std::string ShowCode(Codeplug& codeplug, int k, AddressState& state, bool repairBlank) {
  if (!ValidCode(k))
    return {};
  if (repairBlank && IsBlankWord(WordAt(codeplug, map::AddressWord1(k)))) {
    StoreAddressWords(codeplug, k, EncodeCapcode(k));
    state.homeFrame[k - 1] = HomeFrame(k);
    return CapcodeText(k);
  }
  const std::int64_t value = DecodeCapcode(codeplug, k);
  state.homeFrame[k - 1] = HomeFrame(value);
  return CapcodeText(value);
}

bool SetCodeEnabled(Codeplug& codeplug, int k, bool enabled, CodeEdits& edits, AddressState& state,
                    Messages& messages) {
  if (!ValidCode(k))
    return false;
  edits.enabled[k - 1] = enabled;
  if (enabled) {
    if (IsDuplicateCode(k, edits, state, messages))
      return false;
    const bool isLong = ClassOf(ParseCapcodeText(edits.text[k - 1])) == CapcodeClass::Long;
    SetEnableBits(codeplug, k, isLong ? map::kEnableLong : map::kEnableShort);
  } else {
    SetEnableBits(codeplug, k, map::kEnableDisabled);
  }
  RebuildFrameBitmap(codeplug, edits, state);
  return true;
}

} // namespace pw
