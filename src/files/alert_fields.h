// SPDX-License-Identifier: GPL-3.0-or-later
// Alert pattern and power fields: Time, Cadence and Repeat count of every alert, the
// out-of-range timer, the standby power LED, the beep tone and the battery thresholds.
// Every rule takes the control's text, may rewrite it, writes the image, appends the
// messages it shows, and returns true when the entry was accepted as typed (false when it
// was corrected or refused).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/message.h"
#include "codeplug/codeplug.h"

namespace pw {

// Texts shared by every Time, Repeat count and cadence box (the alert-set editor's too).
inline constexpr std::string_view kTimeRangeHead =
    "*** Invalid Time ***\n\nTime is out of range!\nVaild range is 1 to ";
inline constexpr std::string_view kRepeatRangeText =
    "*** Invalid Repeat count ***\n\nRepeat count is out of range!\nVaild range is 0 to 99.";
inline constexpr std::string_view kCadenceCaption = "Wrong cadence pattern";

// ---- Alert patterns -----------------------------------------------------------------------
// Alerts by the index ShowAlertTime uses: 0 the alert set of the editor, 1-6 Code A-F,
// 7 out-of-range, 8 power-on. The rules below take 1-8.
inline constexpr int kEditorSetAlert = 0;
inline constexpr int kOutOfRangeAlert = 7;
inline constexpr int kPowerOnAlert = 8;

struct AlertOffsets {
  std::uint16_t time;    // Time - 1
  std::uint16_t cadence; // 8 steps, first in bit 7
  std::uint16_t repeat;
};
// Offsets of alert 1-8; false for any other index.
bool AlertOffsetsFor(int alert, AlertOffsets& offsets);

// Time 1-99 (empty counts as 0); out of range: message, box set to 1 or 99.
bool ValidateAlertTime(Codeplug& cp, int alert, std::string& text, Messages& out);
// Repeat count 0-99 (empty becomes "0" silently); 100 or more: message, box set to 99.
bool ValidateAlertRepeat(Codeplug& cp, int alert, std::string& text, Messages& out);
// Eight binary digits; fewer: "Wrong cadence pattern" error, reset to 01010101.
bool ValidateAlertCadence(Codeplug& cp, int alert, std::string& text, Messages& out);

// What the boxes of alert 1-8 show ("" for another index).
std::string AlertTimeShown(const Codeplug& cp, int alert);    // byte + 1
std::string AlertCadenceShown(const Codeplug& cp, int alert); // "01010101"
std::string AlertRepeatShown(const Codeplug& cp, int alert);

// Eight characters "0"/"1", bit 7 first.
std::string CadenceText(std::uint8_t cadence);

// ---- Alert-time read-out ------------------------------------------------------------------
// Cadence steps of an alert: 16 for the editor's set, 8 for the others.
int AlertSteps(int index);
// The read-out for Time, steps and Repeat ("    0.20 Sec."); stayOn appends "   Stay on".
std::string AlertTimeText(long long time, int steps, long long repeat, bool stayOn = false);
// ShowAlertTime: from the texts of the Time and Repeat boxes of alert index (0-8); the
// "Stay on" suffix applies to index 0 only, when chkLEDFlashforever is checked.
std::string ShowAlertTime(int index, const std::string& timeText, const std::string& repeatText,
                          bool ledFlashForever);

// ---- Standby power (patch area 0x220-0x222) -----------------------------------------------
bool ValidateStandbyTime(Codeplug& cp, std::string& text, Messages& out);    // 1-250
bool ValidateStandbyCadence(Codeplug& cp, std::string& text, Messages& out); // no reset
std::string StandbyTimeShown(const Codeplug& cp);
std::string StandbyCadenceShown(const Codeplug& cp);

// Standby power LED ON (1-30) and OFF (1-100), in tenths of a second; the word's time base
// follows Codeplug::LedStayOnCapable.
enum class PowerLed { On, Off };
bool ValidatePowerLed(Codeplug& cp, PowerLed which, std::string& text, Messages& out);
// What the box shows; a word outside the range is reset to its default (an image write).
std::string ShowPowerLed(Codeplug& cp, PowerLed which);
// The word stored for a value in tenths of a second on the current time base.
std::uint16_t PowerLedWord(bool stayOnCapable, int tenths);

// ---- Out-of-range timer -------------------------------------------------------------------
// Out-of-range timer in seconds (edtOutofRangeTimer): 10-600 in 5-second steps.
bool ValidateOutOfRangeTimer(Codeplug& cp, std::string& text, Messages& out);
// The value edtOutofRangeTimer shows for the image (seconds or 5-second steps).
int OutOfRangeTimerShownValue(const Codeplug& cp);
// Older pager firmware counts the timer in whole seconds up to 120: the box is refilled from
// the image, the information message is shown, the value is limited and stored in seconds.
void ApplyWholeSecondOutOfRangeTimer(Codeplug& cp, std::string& text, Messages& out);
// The timer at Program time: firmware 10204 and later takes the field rule, older the above.
// The one place the threshold is defined; the compatibility rules use it too.
inline constexpr std::uint32_t kFiveSecondTimerFirmware = 10204;
void ApplyProgramTimeOutOfRangeTimer(Codeplug& cp, std::uint32_t firmwareVersion,
                                     std::string& text, Messages& out);

// ---- Beep tone ----------------------------------------------------------------------------
// 1000-4000 Hz; the box then shows the tone the stored divider really gives.
bool ValidateBeepFrequency(Codeplug& cp, std::string& text, Messages& out);
std::string BeepFrequencyShown(const Codeplug& cp);

// ---- Battery thresholds -------------------------------------------------------------------
// Item 1-12 (edtUp1 ... edtLowBatteryWarning), 1.00-1.50 volts. A third or later decimal is
// dropped (1.255 reads as 1.25, the box then shows 1.25) before the range check.
bool ValidateBattery(Codeplug& cp, int item, std::string& text, Messages& out);
// Battery threshold item 1-12 as its edit shows it ("%1.2f" volts).
std::string BatteryText(const Codeplug& cp, int item);
// Before a save: items 9-12 refilled from the image and validated again, so that their
// coarse and fine bytes agree.
void RederiveFineBatteryThresholds(Codeplug& cp, Messages& out);

// ---- Key filters (Backspace passes; the Enter key is the caller's) ------------------------
bool DigitKeyAllowed(char ch);
bool CadenceKeyAllowed(char ch);
bool BatteryKeyAllowed(char ch);

} // namespace pw
