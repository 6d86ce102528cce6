// SPDX-License-Identifier: GPL-3.0-or-later
#include "transactions/compatibility.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "files/alert_fields.h"

namespace pw {

bool LedStayOnCapableFirmware(int firmware) { return firmware >= firmware::kLedStayOn; }

bool AsksLedFlashQuestion(int firmware, std::uint8_t featureFlags) {
  return firmware <= firmware::kLastWithoutLedFlash &&
         (featureFlags & map::kFeatureLedFlashForever) != 0;
}

bool UsesOutOfRangeTimerField(int firmware) {
  return firmware >= static_cast<int>(kFiveSecondTimerFirmware);
}

bool PatchVersionTooNew(int firmware, int patchVersion) {
  if (firmware < firmware::kFirstPatched) return false;
  if (firmware > firmware::kPatchLimitSplit) return patchVersion > 5;
  return patchVersion >= 4;
}

namespace {

struct PatchSetRow {
  int firstFirmware; // inclusive
  int lastFirmware;  // inclusive
  int set;
};
constexpr PatchSetRow kPatchSets[] = {
    {10101, 10203, 1},
    {10204, 10204, 4},
    {10205, 10205, 2},
    {10206, INT_MAX, 6},
};

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
bool IsUpper(std::uint8_t c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(std::uint8_t c) { return c >= 'a' && c <= 'z'; }

} // namespace

int PatchSetForFirmware(int firmware) {
  for (const PatchSetRow& row : kPatchSets)
    if (firmware >= row.firstFirmware && firmware <= row.lastFirmware) return row.set;
  return kNoPatchSet;
}

PagerIdVerdict CheckPagerId(std::uint8_t b0, std::uint8_t b1) {
  if (b1 != static_cast<std::uint8_t>(b0 ^ 0xFF)) return PagerIdVerdict::AcceptRewrite;
  if (b0 == map::kPagerIdPocsag) return PagerIdVerdict::RefusePocsag;
  return PagerIdVerdict::Accept;
}

std::string_view PocsagText(TransactionMode mode) {
  return mode == TransactionMode::Read ? text::kPocsagRead : text::kPocsagProgram;
}

bool MarkerIsSound(std::uint8_t marker) { return marker == map::kMarkerValue; }

bool PagerStampTooNew(int pagerStamp, int softwareStamp) { return softwareStamp < pagerStamp; }

bool SerialNumberIsStrict(const std::uint8_t* serial) {
  return std::all_of(serial, serial + map::kSerialNumberLength,
                     [](std::uint8_t c) { return IsDigit(c) || IsUpper(c); });
}

bool SerialNumberIsAlphanumeric(const std::uint8_t* serial) {
  return std::all_of(serial, serial + map::kSerialNumberLength,
                     [](std::uint8_t c) { return IsDigit(c) || IsUpper(c) || IsLower(c); });
}

BandMatchResult MatchBand(int codeplugFamily, int codeplugSubBand, int pagerFamily,
                          int pagerSubBand) {
  const std::string range = BandRangeText(pagerFamily, pagerSubBand);
  auto refuse = [&](std::string_view lead) {
    return BandMatchResult{BandMatch::RefuseWithMessage,
                           std::string(lead) + range + "."};
  };
  if (codeplugFamily == pagerFamily) {
    // A pager whose own band byte is not a legal pair cannot be compared: let it through.
    if (range.empty() || codeplugSubBand == pagerSubBand) return {};
    return refuse(text::kBandNoMatch);
  }
  if (pagerFamily == 3) return {};
  if (range.empty()) return {BandMatch::RefuseSilently, {}};
  return refuse(text::kFrequencyNoMatch);
}

bool PatchHeaderFits(std::uint16_t start, std::uint16_t length) {
  return length >= map::kPatchTrailer && length <= kLargestBlockRead &&
         static_cast<std::size_t>(start) + length <= map::kImageSize;
}

bool PatchHeaderCheckOk(const std::uint8_t* header) {
  return header[map::kPatchHeaderLength - 1] ==
         InvertedSum8(header, map::kPatchHeaderLength - 1);
}

std::vector<PatchSegment> PlanPatchSegments(std::uint16_t start, int length) {
  std::vector<PatchSegment> segments;
  if (length <= 0) return segments;
  if (length < 256) {
    segments.push_back({start, length});
    return segments;
  }
  int address = start;
  int remaining = length;
  while (remaining > kPatchSegmentMax) {
    segments.push_back({static_cast<std::uint16_t>(address), kPatchSegmentMax});
    address += kPatchSegmentMax;
    remaining -= kPatchSegmentMax;
  }
  segments.push_back({static_cast<std::uint16_t>(address), remaining});
  return segments;
}

int LedTimerTenths(std::uint16_t value, int scale) {
  const std::int64_t v = value;
  std::int64_t t = v * 10 / scale;
  if (v * 100 / scale - 10 * t > 4) ++t;
  return static_cast<int>(t);
}

std::uint16_t RescaleLedTimer(std::uint16_t value, bool toCapable) {
  const int from = toCapable ? kLedScaleOld : kLedScaleCapable;
  const std::int64_t to = toCapable ? kLedScaleCapable : kLedScaleOld;
  const std::int64_t t = LedTimerTenths(value, from);
  std::int64_t n = t * to / 10;
  if (t * to - 10 * n > 4) ++n;
  return static_cast<std::uint16_t>(std::min<std::int64_t>(n, 0xFFFF));
}

namespace {

struct LedTimerRow {
  std::uint16_t offset;
  int minTenths;
  int maxTenths;
  std::uint16_t defaultCapable; // the default on the 150 scale
  std::uint16_t defaultOld;     // the same default on the 4092 scale
};
constexpr LedTimerRow kLedTimers[] = {
    {map::kPowerLedOn, 1, 30, 0x004B, 0x07FE},
    {map::kPowerLedOff, 1, 100, 0x020D, 0x37F2},
};

} // namespace

void ApplyLedTimerScale(Codeplug& cp, int firmware, bool onCapableScale) {
  const bool capable = LedStayOnCapableFirmware(firmware);
  if (capable != onCapableScale)
    for (const LedTimerRow& row : kLedTimers)
      cp.SetWord16(row.offset, RescaleLedTimer(cp.Word16(row.offset), capable));
  cp.LedStayOnCapable = capable;
  if (capable)
    cp.At(map::kFeatureFlags) |= map::kFeatureLedStayOnCapable;
  else
    cp.At(map::kFeatureFlags) &= static_cast<std::uint8_t>(~map::kFeatureLedStayOnCapable);
}

int CheckLedTimerRanges(Codeplug& cp) {
  const int scale = cp.LedStayOnCapable ? kLedScaleCapable : kLedScaleOld;
  int replaced = 0;
  for (const LedTimerRow& row : kLedTimers) {
    const int tenths = LedTimerTenths(cp.Word16(row.offset), scale);
    if (tenths >= row.minTenths && tenths <= row.maxTenths) continue;
    cp.SetWord16(row.offset, cp.LedStayOnCapable ? row.defaultCapable : row.defaultOld);
    ++replaced;
  }
  return replaced;
}

void PackFirmwareVersion(std::uint32_t version, std::uint8_t* out3) {
  std::uint32_t digits = version % 1000000;
  for (int i = 2; i >= 0; --i) {
    const std::uint32_t pair = digits % 100;
    out3[i] = static_cast<std::uint8_t>(((pair / 10) << 4) | (pair % 10));
    digits /= 100;
  }
}

} // namespace pw
