// SPDX-License-Identifier: GPL-3.0-or-later
#include "files/alert_fields.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace pw {
namespace {

// ---- Texts ----------------------------------------------------------------------------------
constexpr std::string_view kCadenceShort = "Cadence must be a 8 digits binary NO.";
constexpr std::string_view kCadenceResetTail = "\nIt will be reset to 01010101";
constexpr std::string_view kOldFirmwareTimerText =
    "This Out of Range Timer of FW version only supports 10-120 seconds, please contact service "
    "center for further information.";
constexpr std::string_view kBatteryBadFormText =
    "*** Invalid value ***\nValue was out of range!\nIt will be reset to ";
constexpr std::string_view kBatteryRangeText =
    "*** Invalid value ***\nValue was out of range!\nIt willbe reset to ";
constexpr std::string_view kBatteryResetText = "1.25";
constexpr std::string_view kSecondsSuffix = " Sec.";
constexpr std::string_view kStayOnSuffix = "   Stay on";

// The range message of the timer, LED and beep boxes.
std::string RangeMessage(std::string_view name, int low, int high) {
  return "         *** Invalid " + std::string(name) + " ***\n" + std::string(name) +
         "  is out of range!\n       The vaild range is " + std::to_string(low) + " to " +
         std::to_string(high) + ".";
}

// ---- Numbers in boxes -----------------------------------------------------------------------
constexpr long long kBoxNumberCap = 1000000; // above every range below

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsPlainNumber(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// The number in a box: empty (and anything the key filter would not have let in) counts as 0.
long long BoxNumber(const std::string& text) {
  if (!IsPlainNumber(text)) return 0;
  long long v = 0;
  for (char c : text) v = std::min(kBoxNumberCap, v * 10 + (c - '0'));
  return v;
}

// ---- Alert patterns -------------------------------------------------------------------------
constexpr int kTimeMin = 1, kTimeMax = 99;
constexpr int kRepeatMax = 99;
constexpr int kCadenceDigits = 8;
constexpr std::uint8_t kDefaultCadence = 0x55;
constexpr int kStepsOfSet = 16, kStepsOfAlert = 8;

constexpr AlertOffsets CodeOffsets(int k) {
  return {std::uint16_t(map::AlertBlock(k) + map::kBlockTime),
          std::uint16_t(map::AlertBlock(k) + map::kBlockCadence),
          std::uint16_t(map::AlertBlock(k) + map::kBlockRepeat)};
}
constexpr std::array<AlertOffsets, 8> kAlertOffsets = {{
    CodeOffsets(1), CodeOffsets(2), CodeOffsets(3), CodeOffsets(4), CodeOffsets(5), CodeOffsets(6),
    {map::kOutOfRangeTime, map::kOutOfRangeCadence, map::kOutOfRangeRepeat},
    {map::kPowerAlertTime, map::kPowerAlertCadence, map::kPowerAlertRepeat},
}};

std::string TimeRangeMessage(int high) {
  return std::string(kTimeRangeHead) + std::to_string(high) + ".";
}

// The cadence rule on any cadence byte; a short entry is reset only where resetShort says.
bool ValidateCadenceAt(Codeplug& cp, std::uint16_t offset, bool resetShort, std::string& text,
                       Messages& out) {
  if (text.size() >= std::size_t(kCadenceDigits)) {
    std::uint8_t value = 0;
    for (int i = 0; i < kCadenceDigits; ++i)
      if (text[std::size_t(i)] == '1') value = std::uint8_t(value | (0x80 >> i));
    cp.At(offset) = value;
    return true;
  }
  std::string message(kCadenceShort);
  if (resetShort) message += kCadenceResetTail;
  out.push_back(Message{message, std::string(kCadenceCaption), Icon::Error});
  if (resetShort) {
    cp.At(offset) = kDefaultCadence;
    text = CadenceText(kDefaultCadence);
  }
  return false;
}

// Clamps the number of a box into [low, high] with the range message of name.
struct Ranged {
  long long value;
  bool inRange;
};
Ranged ReadRanged(const std::string& text, std::string_view name, int low, int high, Messages& out) {
  const long long v = BoxNumber(text);
  if (v >= low && v <= high) return {v, true};
  out.push_back(Plain(RangeMessage(name, low, high)));
  return {v < low ? low : high, false};
}

// ---- Standby power --------------------------------------------------------------------------
constexpr int kStandbyTimeMax = 250;

struct LedRow {
  std::uint16_t offset;
  std::string_view name;
  int max; // tenths of a second; the minimum is 1
  int defaultTenths;
  std::uint16_t stayOnDefaultWord;
  std::uint16_t plainDefaultWord;
};
constexpr std::array<LedRow, 2> kLedRows = {{
    {map::kPowerLedOn, "Standby Power LED ON", 30, 5, 75, 2046},
    {map::kPowerLedOff, "Standby Power LED OFF", 100, 35, 525, 14322},
}};
// Stay-on capable pagers count the LED in units of 1/150 s, the others of 1/4092 s.
constexpr int kStayOnTicksPerTenth = 15;
constexpr int kPlainTicksPerTenTenths = 4092;

const LedRow& Led(PowerLed which) { return kLedRows[which == PowerLed::On ? 0 : 1]; }

// ---- Out-of-range timer, beep ---------------------------------------------------------------
constexpr std::string_view kTimerName = "Out of Range Timer";
constexpr int kTimerMin = 10, kTimerMax = 600;
constexpr int kTimerStep = 5;
constexpr int kWholeSecondTimerMax = 120;

constexpr std::string_view kBeepName = "BEEP Frequency";
constexpr int kBeepMin = 1000, kBeepMax = 4000;
// Beep divider clock: 130937.5 Hz, kept in tenths.
constexpr long long kBeepClockTenths = 1309375;

// 130937.5 / divisor, rounded half up at the first decimal, in integers.
long long BeepQuotient(long long divisor) {
  const long long whole = kBeepClockTenths / (10 * divisor);
  const long long tenths = (kBeepClockTenths * 10) / (10 * divisor);
  return tenths - 10 * whole >= 5 ? whole + 1 : whole;
}

bool FiveSecondTimer(const Codeplug& cp) {
  return cp.PatchVersion == 3 || cp.PatchVersion >= 5 || cp.OutOfRangeTimerEdited ||
         (cp.WorkingImage[map::kFeatureFlags] & map::kFeatureTimerFiveSecondSteps) != 0;
}

void StoreTimerBits(Codeplug& cp, int value) {
  std::uint8_t& b = cp.At(map::kOutOfRangeTimer);
  b = std::uint8_t((b & map::kOutOfRangeIndicatorBit) | (value & map::kOutOfRangeTimerMask));
}

// ---- Battery --------------------------------------------------------------------------------
constexpr int kBatteryMin = 100, kBatteryMax = 150; // hundredths of a volt
constexpr int kBatteryReset = 125;
constexpr int kFirstFineItem = 9;
constexpr int kFineOffset = 50;

bool HasFineByte(int item) { return item >= kFirstFineItem && item <= map::kBatteryItems; }

// Reads a battery text in hundredths, completing the box where the form asks for it. Decimals
// beyond the second are dropped (1.255 reads as 1.25) and the box shows what was read.
int ReadBatteryHundredths(std::string& text) {
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) {
    const long long whole = BoxNumber(text);
    if (text.size() == 1) text += ".00";
    return int(std::min<long long>(whole * 100, kBoxNumberCap));
  }
  const long long whole = dot == 0 ? 0 : BoxNumber(text.substr(0, dot));
  std::string decimals = text.substr(dot + 1);
  if (decimals.size() > 2) {
    decimals.resize(2);
    text.resize(dot + 3);
  }
  int fraction = 0;
  if (decimals.size() == 2) {
    fraction = (decimals[0] - '0') * 10 + (decimals[1] - '0');
  } else if (decimals.size() == 1) {
    fraction = (decimals[0] - '0') * 10;
    if (dot > 0) text += "0";
  } else if (dot > 0) {
    text += "00";
  }
  return int(std::min<long long>(whole * 100 + fraction, kBoxNumberCap));
}

std::string Hundredths(int v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%d.%02d", v / 100, v % 100);
  return buf;
}

} // namespace

// ---- Alert patterns -------------------------------------------------------------------------

bool AlertOffsetsFor(int alert, AlertOffsets& offsets) {
  if (alert < 1 || alert > int(kAlertOffsets.size())) return false;
  offsets = kAlertOffsets[std::size_t(alert - 1)];
  return true;
}

bool ValidateAlertTime(Codeplug& cp, int alert, std::string& text, Messages& out) {
  AlertOffsets at;
  if (!AlertOffsetsFor(alert, at)) return false;
  const long long v = BoxNumber(text);
  if (v >= kTimeMin && v <= kTimeMax) {
    cp.At(at.time) = std::uint8_t(v - 1);
    return true;
  }
  out.push_back(Plain(TimeRangeMessage(kTimeMax)));
  const int clamped = v < kTimeMin ? kTimeMin : kTimeMax;
  text = std::to_string(clamped);
  cp.At(at.time) = std::uint8_t(clamped - 1);
  return false;
}

bool ValidateAlertRepeat(Codeplug& cp, int alert, std::string& text, Messages& out) {
  AlertOffsets at;
  if (!AlertOffsetsFor(alert, at)) return false;
  if (!IsPlainNumber(text)) text = "0";
  const long long v = BoxNumber(text);
  if (v <= kRepeatMax) {
    cp.At(at.repeat) = std::uint8_t(v);
    return true;
  }
  out.push_back(Plain(std::string(kRepeatRangeText)));
  text = std::to_string(kRepeatMax);
  cp.At(at.repeat) = std::uint8_t(kRepeatMax);
  return false;
}

bool ValidateAlertCadence(Codeplug& cp, int alert, std::string& text, Messages& out) {
  AlertOffsets at;
  if (!AlertOffsetsFor(alert, at)) return false;
  return ValidateCadenceAt(cp, at.cadence, true, text, out);
}

std::string AlertTimeShown(const Codeplug& cp, int alert) {
  AlertOffsets at;
  if (!AlertOffsetsFor(alert, at)) return {};
  return std::to_string(cp.WorkingImage[at.time] + 1);
}

std::string AlertCadenceShown(const Codeplug& cp, int alert) {
  AlertOffsets at;
  if (!AlertOffsetsFor(alert, at)) return {};
  return CadenceText(cp.WorkingImage[at.cadence]);
}

std::string AlertRepeatShown(const Codeplug& cp, int alert) {
  AlertOffsets at;
  if (!AlertOffsetsFor(alert, at)) return {};
  return std::to_string(cp.WorkingImage[at.repeat]);
}

std::string CadenceText(std::uint8_t cadence) {
  std::string s;
  for (int i = 0; i < kCadenceDigits; ++i) s.push_back((cadence & (0x80 >> i)) ? '1' : '0');
  return s;
}

// ---- Alert-time read-out --------------------------------------------------------------------

int AlertSteps(int index) { return index == kEditorSetAlert ? kStepsOfSet : kStepsOfAlert; }

std::string AlertTimeText(long long time, int steps, long long repeat, bool stayOn) {
  // One cadence step lasts Time x 5 ms; v is the whole alert in hundredths of a second.
  const long long v = std::max(0LL, time * steps * repeat * 5 / 10);
  std::string text;
  if (v < 10000) text += "  ";
  if (v < 1000) text += "  ";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld.%02lld", v / 100, v % 100);
  text += buf;
  text += kSecondsSuffix;
  if (stayOn) text += kStayOnSuffix;
  return text;
}

std::string ShowAlertTime(int index, const std::string& timeText, const std::string& repeatText,
                          bool ledFlashForever) {
  return AlertTimeText(BoxNumber(timeText), AlertSteps(index), BoxNumber(repeatText),
                       index == kEditorSetAlert && ledFlashForever);
}

// ---- Standby power --------------------------------------------------------------------------

bool ValidateStandbyTime(Codeplug& cp, std::string& text, Messages& out) {
  const long long v = BoxNumber(text);
  if (v >= kTimeMin && v <= kStandbyTimeMax) {
    cp.At(map::kStandbyTime) = std::uint8_t(v);
    return true;
  }
  out.push_back(Plain(TimeRangeMessage(kStandbyTimeMax)));
  const int clamped = v < kTimeMin ? kTimeMin : kStandbyTimeMax;
  text = std::to_string(clamped);
  cp.At(map::kStandbyTime) = std::uint8_t(clamped);
  return false;
}

bool ValidateStandbyCadence(Codeplug& cp, std::string& text, Messages& out) {
  return ValidateCadenceAt(cp, map::kStandbyCadence, false, text, out);
}

std::string StandbyTimeShown(const Codeplug& cp) {
  return std::to_string(cp.WorkingImage[map::kStandbyTime]);
}

std::string StandbyCadenceShown(const Codeplug& cp) {
  return CadenceText(cp.WorkingImage[map::kStandbyCadence]);
}

std::uint16_t PowerLedWord(bool stayOnCapable, int tenths) {
  if (stayOnCapable) return std::uint16_t(tenths * kStayOnTicksPerTenth);
  const int scaled = tenths * kPlainTicksPerTenTenths; // ten times the word
  return std::uint16_t(scaled / 10 + (scaled % 10 >= 5 ? 1 : 0));
}

bool ValidatePowerLed(Codeplug& cp, PowerLed which, std::string& text, Messages& out) {
  const LedRow& row = Led(which);
  const Ranged r = ReadRanged(text, row.name, 1, row.max, out);
  cp.SetWord16(row.offset, PowerLedWord(cp.LedStayOnCapable, int(r.value)));
  text = std::to_string(r.value);
  return r.inRange;
}

std::string ShowPowerLed(Codeplug& cp, PowerLed which) {
  const LedRow& row = Led(which);
  const long long word = cp.Word16(row.offset);
  const long long divisor = cp.LedStayOnCapable ? 10 * kStayOnTicksPerTenth : kPlainTicksPerTenTenths;
  long long tenths = 10 * word / divisor;
  if (100 * word / divisor - 10 * tenths >= 5) ++tenths;
  if (tenths < 1 || tenths > row.max) {
    tenths = row.defaultTenths;
    cp.SetWord16(row.offset, cp.LedStayOnCapable ? row.stayOnDefaultWord : row.plainDefaultWord);
  }
  return std::to_string(tenths);
}

// ---- Out-of-range timer ---------------------------------------------------------------------

bool ValidateOutOfRangeTimer(Codeplug& cp, std::string& text, Messages& out) {
  const Ranged r = ReadRanged(text, kTimerName, kTimerMin, kTimerMax, out);
  const int steps = int(r.value) / kTimerStep;
  StoreTimerBits(cp, steps);
  text = std::to_string(steps * kTimerStep);
  cp.OutOfRangeTimerEdited = true;
  cp.At(map::kFeatureFlags) |= map::kFeatureTimerFiveSecondSteps;
  return r.inRange;
}

int OutOfRangeTimerShownValue(const Codeplug& cp) {
  const int bits = cp.WorkingImage[map::kOutOfRangeTimer] & map::kOutOfRangeTimerMask;
  return FiveSecondTimer(cp) ? bits * kTimerStep : bits;
}

void ApplyWholeSecondOutOfRangeTimer(Codeplug& cp, std::string& text, Messages& out) {
  int seconds = OutOfRangeTimerShownValue(cp);
  out.push_back(Plain(std::string(kOldFirmwareTimerText)));
  seconds = std::min(seconds, kWholeSecondTimerMax);
  StoreTimerBits(cp, seconds);
  cp.At(map::kFeatureFlags) &= std::uint8_t(~map::kFeatureTimerFiveSecondSteps);
  text = std::to_string(seconds);
}

void ApplyProgramTimeOutOfRangeTimer(Codeplug& cp, std::uint32_t firmwareVersion,
                                     std::string& text, Messages& out) {
  if (firmwareVersion >= kFiveSecondTimerFirmware) {
    text = std::to_string(OutOfRangeTimerShownValue(cp));
    ValidateOutOfRangeTimer(cp, text, out);
  } else {
    ApplyWholeSecondOutOfRangeTimer(cp, text, out);
  }
}

// ---- Beep tone ------------------------------------------------------------------------------

bool ValidateBeepFrequency(Codeplug& cp, std::string& text, Messages& out) {
  const Ranged r = ReadRanged(text, kBeepName, kBeepMin, kBeepMax, out);
  const long long divider = BeepQuotient(r.value);
  cp.At(map::kBeepFrequency) = std::uint8_t(divider - 1);
  text = BeepFrequencyShown(cp);
  return r.inRange;
}

std::string BeepFrequencyShown(const Codeplug& cp) {
  return std::to_string(BeepQuotient(cp.WorkingImage[map::kBeepFrequency] + 1));
}

// ---- Battery thresholds ---------------------------------------------------------------------

bool ValidateBattery(Codeplug& cp, int item, std::string& text, Messages& out) {
  if (item < 1 || item > map::kBatteryItems) return false;
  bool accepted = true;
  const bool numeric = std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || c == '.'; });
  if (text.empty() || std::count(text.begin(), text.end(), '.') > 1 || !numeric) {
    out.push_back(Plain(std::string(kBatteryBadFormText) + std::string(kBatteryResetText)));
    text = kBatteryResetText;
    accepted = false;
  }
  int v = ReadBatteryHundredths(text);
  if (v < kBatteryMin || v > kBatteryMax) {
    out.push_back(Plain(std::string(kBatteryRangeText) + std::string(kBatteryResetText)));
    v = kBatteryReset;
    text = kBatteryResetText;
    accepted = false;
  }
  cp.At(map::BatteryByte(item)) = std::uint8_t(v * 256 / 300 - 1);
  if (HasFineByte(item)) cp.At(map::FineVoltageByte(item)) = std::uint8_t(v - kFineOffset);
  return accepted;
}

std::string BatteryText(const Codeplug& cp, int item) {
  if (item < 1 || item > map::kBatteryItems) return {};
  int v = (cp.WorkingImage[map::BatteryByte(item)] * 300 + 600) / 256;
  if (HasFineByte(item)) {
    const std::uint8_t fine = cp.WorkingImage[map::FineVoltageByte(item)];
    if (fine != 0) v = fine + kFineOffset;
  }
  return Hundredths(v);
}

void RederiveFineBatteryThresholds(Codeplug& cp, Messages& out) {
  for (int item = kFirstFineItem; item <= map::kBatteryItems; ++item) {
    std::string text = BatteryText(cp, item);
    ValidateBattery(cp, item, text, out);
  }
}

// ---- Key filters ----------------------------------------------------------------------------

bool DigitKeyAllowed(char ch) { return IsDigit(ch) || ch == '\b'; }
bool CadenceKeyAllowed(char ch) { return ch == '0' || ch == '1' || ch == '\b'; }
bool BatteryKeyAllowed(char ch) { return IsDigit(ch) || ch == '.' || ch == '\b'; }

} // namespace pw
