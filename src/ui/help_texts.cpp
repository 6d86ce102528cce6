// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help_texts.h"

#include <array>
#include <map>

namespace pw::ui {

namespace {

constexpr int kHelpDwellIntervalMs = 200;

const HelpLines kNone;

// ---- Standard Option page --------------------------------------------------------------

const HelpLines kOutOfRangeIndicator = {
    "[ ] Out of Range Indicator",
    "When Out of Range Indicator is enabled, '[V]', the pager",
    "beeps, vibrates and/or flashes its LED, as set in the Out",
    "of Range alert settings, when it is out of range.\n",
    "An out of range condition exists when the pager has lost",
    "synchronisation with the FLEX signal of the paging system.\n",
    "While the option is enabled the Out of Range Timer and the",
    "alert settings are shown and can be changed."};

const HelpLines kInvertData = {
    "[ ] Invert Data", "When Invert Data is enabled, '[V]', the incoming data received",
    "by the pager is inverted.\n", "NOTE: This option should normally be enabled. It should be",
    "disabled ONLY if the data is NOT inverted by the paging system."};

const HelpLines kChargerOff = {"Battery Charger off",
                               "The battery voltage at which the pager switches its charger",
                               "off, in volts.\n", "The range is 1.00 to 1.50."};

const HelpLines kRecharge = {"Battery Recharge",
                             "The battery voltage below which the pager starts to charge",
                             "the battery again, in volts.\n", "The range is 1.00 to 1.50."};

const HelpLines kLowBatteryRecovery = {
    "Low Battery Recovery", "The battery voltage at which the pager leaves the low",
    "battery state again, in volts.\n", "The range is 1.00 to 1.50."};

const HelpLines kLowBatteryWarning = {
    "Low Battery Warning", "The battery voltage below which the pager warns the user",
    "that the battery is low, in volts.\n", "The range is 1.00 to 1.50."};

const HelpLines kBeepFrequency = {"BEEP Frequency",
                                  "The frequency of the beep of the pager speaker, in Hz.\n",
                                  "The range is 1000 to 4000."};

const HelpLines kResetKey = {
    "[ ] Reset key", "When Reset key is enabled, '[V]', a press on the reset key",
    "of the pager silences a running alert: the beep, the", "vibration and the LED."};

const HelpLines kOutOfRangeTimer = {
    "Out of Range|Out of Range Timer",
    "The Out of Range Timer sets how long, in seconds, the pager",
    "must be out of range before it gives the out of range alert.\n",
    "The timer counts in steps of 5 seconds; a value between two",
    "steps is taken down to the step below.\n",
    "The range must between 10 and 600.",
    "A value outside the range is set to the nearest limit."};

// The check-box outputs of an alert: who vibrates, beeps or flashes, and when.
HelpLines Vib(const char* title, const char* when) {
  return {title, "When VIB is enabled, '[V]', the pager vibrates when it",
          std::string("gives ") + when + ". Use it where a beep would",
          "disturb the people around."};
}
HelpLines Beep(const char* title, const char* when) {
  return {title, "When BEEP is enabled, '[V]', the pager beeps when it gives",
          std::string(when) + "."};
}
HelpLines Led(const char* title, const char* when) {
  return {title, "When LED is enabled, '[V]', the pager flashes its LED when",
          std::string("it gives ") + when + "."};
}

HelpLines TimeAndCadence(const char* group) {
  return {std::string(group) + "|Time and Cadence",
          "Time sets the length of one cadence step: Time x 5 ms.", "The Time range is 1 to 99.\n",
          "Cadence is the on/off pattern of the alert, 8 characters of",
          "0 or 1, one for each step: 1 is on and 0 is off."};
}

HelpLines RepeatAndAlertTime(const char* group, const char* last1, const char* last2) {
  return {std::string(group) + "|Repeat cnt and Alert time",
          "Repeat cnt sets how many times the 8-step cadence is run.",
          "The Repeat cnt range is 0 to 99.\n",
          "Alert time shows the length of the alert in seconds:",
          "<Time-5ms>*5*8*<Repeat cnt>/1000",
          last1,
          last2};
}

const HelpLines kOutOfRangeVib = Vib("[ ] Out of Range|VIB", "the out of range alert");
const HelpLines kOutOfRangeBeep = Beep("[ ] Out of Range|BEEP", "the out of range alert");
const HelpLines kOutOfRangeLed = Led("[ ] Out of Range|LED", "the out of range alert");
const HelpLines kOutOfRangeTimeCadence = TimeAndCadence("Out of Range");
const HelpLines kOutOfRangeRepeat =
    RepeatAndAlertTime("Out of Range", "The alert time is worked out from the Time and Repeat",
                       "cnt entered for the out of range alert.");

const HelpLines kPowerOnVib = Vib("[ ] Power On Alert|VIB", "the power on alert");
const HelpLines kPowerOnBeep = Beep("[ ] Power On Alert|BEEP", "the power on alert");
const HelpLines kPowerOnLed = Led("[ ] Power On Alert|LED", "the power on alert");
const HelpLines kPowerOnTimeCadence = TimeAndCadence("Power On Alert");
const HelpLines kPowerOnRepeat =
    RepeatAndAlertTime("Power On Alert", "The alert time is worked out from the Time and Repeat",
                       "cnt entered for the power on alert.");

const HelpLines kPowerLedOn = {"Standby Power LED ON",
                               "How long the standby power LED stays on in each flash:",
                               "LED on-time = value x 0.1 s.\n", "The range is 1 to 30."};

const HelpLines kPowerLedOff = {"Standby Power LED OFF",
                                "How long the standby power LED stays off between flashes:",
                                "LED off-time = value x 0.1 s.\n", "The range is 1 to 100."};

// ---- FLEX Address Option page ----------------------------------------------------------

const HelpLines kSerialNumber = {"Serial Number  0000000000",
                                 "The serial number identifies the pager. It is ten characters",
                                 "long and is shown as it was read from the pager or loaded",
                                 "from a codeplug file.\n",
                                 "The serial number is read only. It is set at the factory",
                                 "and cannot be changed in this programmer.\n",
                                 "Read Pager and Program Pager never write the serial number:",
                                 "a pager keeps its own serial number whatever codeplug is",
                                 "programmed into it.\n",
                                 "A codeplug file carries the serial number of the pager it",
                                 "was read from; programming the file into another pager does",
                                 "not give that pager the number."};

const HelpLines kFrequency = {"Frequency",
                              "Enter the receive frequency of the pager in MHz, for example",
                              "152.2500. Only digits and the point can be typed.\n",
                              "Frequency Ranges",
                              "VHF A Band 143.0000 to 152.9999",
                              "VHF B Band 153.0000 to 162.9999",
                              "VHF C Band 163.0000 to 174.0000",
                              "VHF D Band 137.0000 to 142.9999",
                              "UHF A Band 450.0000 to 459.9999",
                              "UHF B Band 460.0000 to 470.0000",
                              "900        929.0000 to 932.0000\n",
                              "A frequency outside the range of the pager's band is reset",
                              "to a frequency inside the band after a message."};

const HelpLines kCode = {"Code",
                         "Enter the FLEX address (capcode) of the code, up to nine",
                         "digits. Only digits can be typed; leading zeros are added",
                         "automatically.\n",
                         "FLEX address classes:",
                         "000,000,000                 Illegal Address",
                         "000,000,001 to 001,933,312  Short Addresses",
                         "001,933,313 to 002,009,087  Illegal Addresses",
                         "002,009,088 to 002,025,471  Short Addresses",
                         "002,025,472 to 002,101,248  Illegal Addresses",
                         "002,101,249 to 999,999,999  Long Addresses\n",
                         "A short address is shown with seven digits, a long address",
                         "with nine.",
                         "An illegal address is replaced by the nearest legal address",
                         "after a message.\n",
                         "Two enabled codes cannot have the same address; a duplicate",
                         "is reported and the focus returns to the code."};

const HelpLines kCapCode = {"[ ] CapCode", "When CapCode is enabled, '[V]', the code address",
                            "becomes active in the pager. Also, the fields for the address",
                            "and type become accessible for the code address."};

const HelpLines kDefaultAlert = {"[ ] Code|D-Alert",
                                 "When D-Alert is enabled, '[V]', the code gives the default",
                                 "alert for every page it receives.\n",
                                 "When D-Alert is disabled, the Set button of the code shows",
                                 "the Extend ID list, where each extended ID can be given its",
                                 "own alert or pager function."};

const HelpLines kCodeVib = {"[ ] Code|VIB",
                            "When VIB is enabled, '[V]', the pager vibrates when a page",
                            "for this code is received."};

const HelpLines kCodeBeep = {"[ ] Code|BEEP",
                             "When BEEP is enabled, '[V]', the pager beeps when a page",
                             "for this code is received."};

const HelpLines kCodeLed = {"[ ] Code|LED",
                            "When LED is enabled, '[V]', the pager flashes its LED when a",
                            "page for this code is received."};

const HelpLines kCodeTimeCadence = TimeAndCadence("Code");
const HelpLines kCodeRepeat =
    RepeatAndAlertTime("Code", "for the different alert settings, worked out from the",
                       "Time and Repeat cnt entered for the code.");

const HelpLines kIncDec = {"Program Pager in that it performs an increment or decrement",
                           "Each enabled code steps by its I-D after a successful write.",
                           "The I-D range is from 0 to 8."};

const HelpLines kLedFlashStayOn = {"[ ] LED Flash stay on",
                                   "When LED Flash stay on is enabled, '[V]', the LED of the",
                                   "post alert LED flash stays on after an alert until the",
                                   "pager is put on the charger.\n",
                                   "With the option on, the Repeat cnt of the post alert LED",
                                   "flash in the Set window is disabled and its flash time",
                                   "shows \"Stay on\"."};

// ---- Commands --------------------------------------------------------------------------

const HelpLines kReadPager = {"Read/Program|Read Pager",
                              "Read Pager reads the codeplug (personality) of the pager",
                              "through the hard-contact interface and shows it on the",
                              "FLEX Address and Standard pages.\n",
                              "Connect the pager to the selected COM port first. After a",
                              "Read, Save Codeplug and Program Pager can be used.\n",
                              "F3 is the hot-key equivalent of Read Pager."};

const HelpLines kProgramPager = {"Read/Program|Program Pager",
                                 "Program Pager writes the loaded codeplug into the pager",
                                 "through the hard-contact interface.\n",
                                 "A codeplug must be read from a pager or loaded first.\n",
                                 "F4 is the hot-key equivalent of Rrogram Pager."};

const HelpLines kSaveCodeplug = {"File|Save Codeplug",
                                 "Save Codeplug opens a file dialog to save the current",
                                 "codeplug to disk as a data file (*.Dat).\n",
                                 "When an existing file is overwritten, the old file is kept",
                                 "as a .bak copy.\n",
                                 "F7 is the hot-key equivalent of Save Codeplug."};

const HelpLines kLoadCodeplug = {"File|Load Codeplug",
                                 "Load Codeplug opens a file dialog to load a codeplug data",
                                 "file (*.Dat) from disk.\n",
                                 "The file is checked before it replaces the codeplug on the",
                                 "screen; a file that does not suit this pager is refused",
                                 "with a message.\n",
                                 "After a Load, Save Codeplug and Program Pager can be used.\n",
                                 "F8 is the hot-key equivalent of Load Codeplug."};

const HelpLines kExit = {"File|Exit", "Exit leaves the programmer.\n",
                         "Changes that were neither saved to disk nor programmed into",
                         "a pager are lost.\n", "F10 is the hot-key equivalent of Exit."};

// ---- The alert-set editor --------------------------------------------------------------

const HelpLines kEditorHelp = {"Set|Time , Cadence , Repeat cnt and Flash time",
                               "Time, LED1 Cadence, LED2 Cadence and Repeat cnt form the",
                               "pattern the LEDs flash after a message has been received.\n",
                               "Each cadence bit lasts Time x 5 ms. Time range is 1 to 99.\n",
                               "Cadence can only key-in 0 or 1, must contain 16 characters.\n",
                               "The Repeat cnt range is 0 to 99.\n",
                               "With LED Flash stay on enabled, Repeat cnt is disabled and",
                               "the flash time shows \"Stay on\".\n",
                               "<Time-5ms>*5*16*<Repeat cnt>/1000 would tell the programmer",
                               "how many seconds long the flash LED will be.\n\n\n",
                               "Set|Extend ID and Extend ID function",
                               "Extend ID will appear when the D-Alert is disabled.\n",
                               "?0 to ?F stand for two-character message contents, where",
                               "the question mark may be any digit 0 to F.",
                               "An enabled Extend ID runs the alert mode chosen in its",
                               "Extend ID function:\n",
                               "Default Alert",
                               "Run Default Alert.\n",
                               "Alert X2",
                               "Run Default Alert 2 times.\n",
                               "Alert X3",
                               "Run Default Alert 3 times.\n",
                               "Alert X4",
                               "Run Default Alert 4 times.\n",
                               "Alert X16",
                               "Run Default Alert 16 times.\n",
                               "Alert X32",
                               "Run Default Alert 32 times.\n",
                               "Shutdown Pager",
                               "The receiver is turned off until the pager is put on the",
                               "charger, taken back for service or its battery is",
                               "re-installed.\n",
                               "Range Alert",
                               "A test alert that confirms the pager is in service range.\n",
                               "Search Alert",
                               "Helps the user to find the unit.\n",
                               "Selftest Alert",
                               "A test mode to check that the pager works.\n",
                               "Outrange ON and Outrange OFF",
                               "Switch the service range detection on or off without",
                               "changing the codeplug; the codeplug setting returns at the",
                               "next power-on from the charger."};

// ---- Topic numbers ---------------------------------------------------------------------

const std::map<int, const HelpLines*>& StandardTopics() {
  static const std::map<int, const HelpLines*> topics = {{1, &kOutOfRangeIndicator},
                                                         {3, &kInvertData},
                                                         {22, &kChargerOff},
                                                         {23, &kRecharge},
                                                         {24, &kLowBatteryRecovery},
                                                         {25, &kLowBatteryWarning},
                                                         {26, &kBeepFrequency},
                                                         {27, &kResetKey},
                                                         {28, &kOutOfRangeTimer},
                                                         {29, &kOutOfRangeVib},
                                                         {30, &kOutOfRangeBeep},
                                                         {32, &kOutOfRangeLed},
                                                         {33, &kOutOfRangeTimeCadence},
                                                         {34, &kOutOfRangeTimeCadence},
                                                         {35, &kOutOfRangeRepeat},
                                                         {36, &kPowerOnVib},
                                                         {37, &kPowerOnBeep},
                                                         {39, &kPowerOnLed},
                                                         {40, &kPowerOnTimeCadence},
                                                         {41, &kPowerOnTimeCadence},
                                                         {42, &kPowerOnRepeat},
                                                         {43, &kPowerLedOn},
                                                         {44, &kPowerLedOff}};
  return topics;
}

// Topics of the six code rows, A-F, then the other controls of the page.
const std::map<int, const HelpLines*>& AddressTopics() {
  static const std::map<int, const HelpLines*> topics = [] {
    struct Row {
      int code, capCode, defaultAlert, vib, beep, led, time, cadence, repeat;
    };
    static constexpr std::array<Row, 6> rows = {{{4, 15, 16, 17, 18, 20, 21, 22, 23},
                                                 {9, 8, 25, 26, 27, 29, 30, 31, 32},
                                                 {34, 35, 36, 37, 38, 40, 41, 42, 43},
                                                 {45, 46, 47, 48, 49, 51, 52, 53, 54},
                                                 {56, 57, 58, 59, 60, 62, 63, 64, 65},
                                                 {67, 68, 69, 70, 71, 73, 74, 75, 76}}};
    std::map<int, const HelpLines*> t = {
        {0, &kSerialNumber}, {2, &kFrequency}, {86, &kLedFlashStayOn}};
    for (const Row& r : rows) {
      t[r.code] = &kCode;
      t[r.capCode] = &kCapCode;
      t[r.defaultAlert] = &kDefaultAlert;
      t[r.vib] = &kCodeVib;
      t[r.beep] = &kCodeBeep;
      t[r.led] = &kCodeLed;
      t[r.time] = &kCodeTimeCadence;
      t[r.cadence] = &kCodeTimeCadence;
      t[r.repeat] = &kCodeRepeat;
    }
    for (int topic = 78; topic <= 85; ++topic)
      t[topic] = &kIncDec;
    return t;
  }();
  return topics;
}

const std::map<int, const HelpLines*>& CommandTopics() {
  static const std::map<int, const HelpLines*> topics = {
      {1, &kReadPager}, {2, &kProgramPager}, {3, &kSaveCodeplug}, {4, &kLoadCodeplug}, {5, &kExit}};
  return topics;
}

const HelpLines& Lookup(const std::map<int, const HelpLines*>& topics, int topic) {
  auto it = topics.find(topic);
  return it == topics.end() ? kNone : *it->second;
}

bool StandardHelpTopic(int t) {
  return t == 1 || t == 3 || (t >= 22 && t <= 44);
}

// The six Set buttons (24, 33, 44, 55, 66, 77) and the hidden fields 5, 10 and 13 have none.
bool AddressHelpTopic(int t) {
  if (t == 0 || t == 2 || t == 4 || t == 8 || t == 9)
    return true;
  if (t < 15 || t > 86)
    return false;
  return t != 24 && t != 33 && t != 44 && t != 55 && t != 66 && t != 77;
}

bool AddressTextTopic(int t) {
  return t == 0 || t == 2 || t == 4 || t == 8 || t == 9 || (t >= 15 && t <= 86);
}

bool CommandHelpTopic(int t) {
  return t >= 1 && t <= 5;
}

} // namespace

const HelpLines& StandardTopicLines(int topic) {
  return Lookup(StandardTopics(), topic);
}
const HelpLines& AddressTopicLines(int topic) {
  return Lookup(AddressTopics(), topic);
}
const HelpLines& CommandTopicLines(int topic) {
  return Lookup(CommandTopics(), topic);
}
const HelpLines& EditorHelpLines() {
  return kEditorHelp;
}

bool HelpAvailable(const ViewState& s) {
  return StandardHelpTopic(s.StandardTopic) || AddressHelpTopic(s.AddressTopic) ||
         CommandHelpTopic(s.CommandTopic);
}

HelpLines BuildHelpText(const ViewState& s) {
  if (s.ActivePage == 1 && StandardHelpTopic(s.StandardTopic))
    return StandardTopicLines(s.StandardTopic);
  if (s.ActivePage == 0 && AddressTextTopic(s.AddressTopic))
    return AddressTopicLines(s.AddressTopic);
  if (CommandHelpTopic(s.CommandTopic))
    return CommandTopicLines(s.CommandTopic);
  return {};
}

HelpController::HelpController(ViewState& state, Controls& controls, Shell& shell)
    : state_(state), controls_(controls), shell_(shell) {}

void HelpController::StopDwell() {
  controls_["tmrTime"].running = false;
  state_.HelpDwellTicks = 0;
}

void HelpController::ClearTopics() {
  state_.AddressTopic = -1;
  state_.StandardTopic = -1;
  state_.CommandTopic = -1;
}

// An empty text (a Voice box, the wrong page for the topic) opens no window.
void HelpController::ShowIfAny() {
  const HelpLines lines = BuildHelpText(state_);
  if (!lines.empty())
    shell_.ShowHelp(lines);
}

void HelpController::Help2Click() {
  if (state_.HelpDwellTicks > 1) {
    StopDwell();
    ClearTopics();
  }
  if (HelpAvailable(state_))
    ShowIfAny();
}

void HelpController::btnF1HelpEnter() {
  controls_.SetCaption("lblHelp1", "");
  Control& timer = controls_["tmrTime"];
  timer.interval = kHelpDwellIntervalMs;
  timer.running = true;
}

void HelpController::btnF1HelpClick() {
  // Resting on the button for a while means the user wants no field's help.
  if (state_.HelpDwellTicks > 1) {
    StopDwell();
    ClearTopics();
  }
  if (HelpAvailable(state_)) {
    StopDwell();
    ShowIfAny();
  }
  ClearTopics();
}

void HelpController::btnF1HelpExit() {
  StopDwell();
}

void HelpController::tmrTimeTimer() {
  if (controls_["tmrTime"].running)
    ++state_.HelpDwellTicks;
}

} // namespace pw::ui
