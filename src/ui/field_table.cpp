// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/field_table.h"

#include <array>
#include <unordered_map>

#include "codeplug/memory_map.h"
#include "ui/main_controls.h"

namespace pw::ui {

const char* const kOutOfRangeIndicatorHelp =
    "The pager will beep, vibrate and/or LED flash when an out of range condition exists per "
    "the Out of Range alert settings";

namespace {

// Placeholders of the per-code patterns.
constexpr std::string_view kLetter = "{L}";
constexpr std::string_view kOrdinal = "{O}";

constexpr std::array<const char*, map::kCodeCount> kOrdinals = {"first", "second", "third",
                                                                "fourth", "fifth", "sixth"};

// One row of the code table: a control of each code, its help pattern and its topics A-F.
struct CodeColumn {
  std::string CodeRowNames::*control;
  const char* help;
  std::array<int, map::kCodeCount> topics;
  KeyFilter filter;
  FieldRule rule;
  OnExit exit;
  ClickAction click;
  std::uint8_t flag; // alert flag bit of ClickAction::Bits
};

const CodeColumn kCodeColumns[] = {
    {&CodeRowNames::code,
     "Enter the pager Code {L} (Numeric, short address:0,000,001-1,933,312 and "
     "2,009,088-2,025,471, long address:002,101,249-999,999,999)",
     {4, 9, 34, 45, 56, 67}, KeyFilter::Digits, FieldRule::Capcode, OnExit::FocusIfInvalid,
     ClickAction::None, 0},
    {&CodeRowNames::enable, "Activate the {O} code in the pager", {15, 8, 35, 46, 57, 68},
     KeyFilter::Any, FieldRule::None, OnExit::Nothing, ClickAction::CodeEnable, 0},
    {&CodeRowNames::defaultAlert, "Disable Default Alert in the Set{L} on Extend ID function visible",
     {16, 25, 36, 47, 58, 69}, KeyFilter::Any, FieldRule::None, OnExit::Nothing,
     ClickAction::Bits, map::kFlagDefaultAlert},
    {&CodeRowNames::vib, "Enable vibrate Alert for Code {L}", {17, 26, 37, 48, 59, 70},
     KeyFilter::Any, FieldRule::None, OnExit::Nothing, ClickAction::Bits, map::kFlagVibrate},
    {&CodeRowNames::beep, "Enable beep Alert for Code {L}", {18, 27, 38, 49, 60, 71},
     KeyFilter::Any, FieldRule::None, OnExit::Nothing, ClickAction::Bits, map::kFlagBeep},
    {&CodeRowNames::voice, "Enable Voice in the Set{L} on the Voice segment visible",
     {19, 28, 39, 50, 61, 72}, KeyFilter::Any, FieldRule::None, OnExit::Nothing,
     ClickAction::Bits, map::kFlagVoice},
    {&CodeRowNames::led, "Enable LED for Code {L}", {20, 29, 40, 51, 62, 73}, KeyFilter::Any,
     FieldRule::None, OnExit::Nothing, ClickAction::Bits, map::kFlagLed},
    {&CodeRowNames::time, "Enter the pager Time for Code {L} (Numeric, 1-99)",
     {21, 30, 41, 52, 63, 74}, KeyFilter::Digits, FieldRule::AlertTime, OnExit::FocusIfRejected,
     ClickAction::None, 0},
    {&CodeRowNames::cadence, "Enter the pager Cadence for Code {L} (Numeric, 00,000,000-11,111,111)",
     {22, 31, 42, 53, 64, 75}, KeyFilter::Binary, FieldRule::AlertCadence,
     OnExit::FocusIfRejected, ClickAction::None, 0},
    {&CodeRowNames::repeat, "Enter the pager Repeat count for Code {L} (Numeric, 0-99)",
     {23, 32, 43, 54, 65, 76}, KeyFilter::Digits, FieldRule::AlertRepeat,
     OnExit::FocusIfRejected, ClickAction::None, 0},
    {&CodeRowNames::set,
     "Press Set in the Time, LED1 Cadence, LED2 Cadence, Repeat cnt and Extend ID",
     {24, 33, 44, 55, 66, 77}, KeyFilter::Any, FieldRule::None, OnExit::Nothing,
     ClickAction::None, 0},
    {&CodeRowNames::incDec, "Enter the I-D for Code {L} (Numeric, 0~8)", {80, 81, 82, 83, 84, 85},
     KeyFilter::Steps, FieldRule::StepEdit, OnExit::ValidateOnly, ClickAction::None, 0},
};

// Battery threshold items 1-12 in image order, with the label of their help line.
struct BatteryColumn {
  const char* control;
  const char* label;
};
const BatteryColumn kBatteryItems[] = {
    {"edtUp1", "DisCharging Green"},        {"edtDown1", "DisCharging Orange up"},
    {"edtUp2", "DisCharging Orange down"},  {"edtDown2", "DisCharging Red"},
    {"edtUp3", "Charging Green"},           {"edtDown3", "Charging Orange up"},
    {"edtUp4", "Charging Orange down"},     {"edtDown4", "Charging Red"},
    {"edtChargeroff", "Charger off"},       {"edtRecharg", "ReCharg"},
    {"edtLowBatteryRecovery", "Low Battery Recovery"},
    {"edtLowBatteryWarning", "Low Battery Warging"},
};
constexpr int kFirstBatteryTopic = 14;

void Replace(std::string& text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
    text.replace(at, what.size(), with), at += with.size();
}

FieldRow Help(std::string name, FieldPage page, std::string help, int topic) {
  FieldRow r;
  r.name = std::move(name);
  r.page = page;
  r.helpKind = HelpKind::Fixed;
  r.help = std::move(help);
  r.topic = topic;
  return r;
}

FieldRow Edit(std::string name, FieldPage page, std::string help, int topic, KeyFilter filter,
              FieldRule rule, OnExit exit, int index = 0) {
  FieldRow r = Help(std::move(name), page, std::move(help), topic);
  r.filter = filter;
  r.rule = rule;
  r.exit = exit;
  r.index = index;
  r.invalidFlag = exit == OnExit::FocusIfInvalid;
  return r;
}

FieldRow Box(std::string name, FieldPage page, std::string help, int topic, std::uint16_t byte,
             std::uint8_t mask) {
  FieldRow r = Help(std::move(name), page, std::move(help), topic);
  r.click = ClickAction::Bits;
  r.byte = byte;
  r.mask = mask;
  r.guarded = true;
  return r;
}

FieldRow Radio(std::string name, FieldPage page, std::vector<std::string> items, int topic,
               ClickAction click = ClickAction::None) {
  FieldRow r;
  r.name = std::move(name);
  r.page = page;
  r.helpKind = HelpKind::ByItem;
  r.itemHelp = std::move(items);
  r.topic = topic;
  r.click = click;
  return r;
}

void AddCodeRows(std::vector<FieldRow>& rows) {
  for (const CodeColumn& col : kCodeColumns) {
    for (int k = 1; k <= map::kCodeCount; ++k) {
      FieldRow r = Help(CodeRows()[k - 1].*col.control, FieldPage::Address,
                        CodeHelpText(col.help, k), col.topics[k - 1]);
      r.filter = col.filter;
      r.rule = col.rule;
      r.exit = col.exit;
      r.index = k;
      r.click = col.click;
      r.invalidFlag = col.rule == FieldRule::Capcode;
      // Handlers that write the image wait for the end of a refill.
      r.guarded = col.rule != FieldRule::None && col.rule != FieldRule::StepEdit;
      if (col.click == ClickAction::Bits || col.click == ClickAction::CodeEnable) r.guarded = true;
      if (col.click == ClickAction::Bits) {
        r.byte = static_cast<std::uint16_t>(map::AlertBlock(k) + map::kBlockFlags);
        r.mask = col.flag;
      }
      r.clickSetsTopic = col.click == ClickAction::CodeEnable;
      rows.push_back(std::move(r));
    }
  }
}

void AddAddressRows(std::vector<FieldRow>& rows) {
  const FieldPage a = FieldPage::Address;
  FieldRow serial = Edit("edtSerialNumber", a, "Pager Serial Number (Read Only)", 0,
                         KeyFilter::Alphanumeric, FieldRule::SerialNumber, OnExit::ValidateOnly);
  serial.invalidFlag = true;
  rows.push_back(std::move(serial));

  FieldRow freq = Edit("edtFrequency", a, {}, 2, KeyFilter::Decimal, FieldRule::Frequency,
                       OnExit::ClearInvalid);
  freq.helpKind = HelpKind::Frequency;
  freq.invalidFlag = true;
  rows.push_back(std::move(freq));

  rows.push_back(Radio("rgpType", a,
                       {"F1 Help | Set code type for Code B to individual",
                        "F1 Help | Set code type for Code B to group"},
                       13));

  FieldRow autoStep = Help("chkAutoIncrementorDecrement", a,
                           "Activate the Auto Increment/Decrement", 78);
  autoStep.click = ClickAction::AutoStep;
  rows.push_back(std::move(autoStep));
  rows.push_back(Radio("rgpCapCodeAutoIncrementDecrement", a,
                       {"Set CapCode Auto Increment, the auto an increment of the address.",
                        "Set CapCode Auto Decrement, the auto an decrement of the address."},
                       79, ClickAction::StepDirection));

  FieldRow flash = Box("chkLEDFlashforever", a, "Enable LED Flash stay on", 86,
                       map::kFeatureFlags, map::kFeatureLedFlashForever);
  flash.click = ClickAction::LedFlashForever;
  rows.push_back(std::move(flash));

  for (auto [name, topic] : {std::pair{"edtCodeA1", 5}, std::pair{"edtCodeB1", 10}}) {
    FieldRow r;
    r.name = name;
    r.page = a;
    r.mouseTopic = topic;
    rows.push_back(std::move(r));
  }

  FieldRow band;
  band.name = "rgpBandOption";
  band.click = ClickAction::BandOption;
  band.guarded = true;
  rows.push_back(band);
  FieldRow pll;
  pll.name = "rgpPLLICOption";
  pll.click = ClickAction::PllIcOption;
  pll.guarded = true;
  rows.push_back(pll);
}

void AddStandardRows(std::vector<FieldRow>& rows) {
  const FieldPage s = FieldPage::Standard;

  FieldRow indicator = Box("chkOutofRangeIndicator", s, kOutOfRangeIndicatorHelp, 1,
                           map::kOutOfRangeTimer, map::kOutOfRangeIndicatorBit);
  indicator.click = ClickAction::OutOfRangeIndicator;
  indicator.clickSetsTopic = true;
  rows.push_back(std::move(indicator));
  FieldRow invert = Box("chkInvertData", s, "Enable inverting of incoming message data", 3,
                        map::kDataPolarity, 0x03);
  invert.click = ClickAction::InvertData;
  invert.clickSetsTopic = true;
  rows.push_back(std::move(invert));

  FieldRow password = Edit("edtPagerPassword", s, "F1 Help | Enter the pager password (Alphanumeric)",
                           8, KeyFilter::Password, FieldRule::None, OnExit::Nothing);
  password.mouseTopic = 8;
  rows.push_back(std::move(password));
  rows.push_back(Radio("rgpOutofRangeTimer", s,
                       {"F1 Help | Sets Out Of Range Timer to 6 minutes",
                        "F1 Help | Sets Out Of Range Timer to 10 minutes",
                        "F1 Help | Sets Out Of Range Timer to 15 minutes"},
                       9));
  FieldRow display = Edit("edtDisplayEntry", s,
                          "F1 Help | Enter the pager custom display entry prompt (Numeric, Dash "
                          "and Space)",
                          10, KeyFilter::DisplayEntry, FieldRule::None, OnExit::Nothing);
  display.mouseTopic = 10;
  rows.push_back(std::move(display));

  FieldRow powerTime = Edit("edtPowerTime", s, {}, -1, KeyFilter::Digits, FieldRule::StandbyTime,
                            OnExit::FocusIfRejected);
  powerTime.helpKind = HelpKind::None;
  powerTime.mouseTopic = 12;
  rows.push_back(std::move(powerTime));
  FieldRow powerCadence = Edit("edtPowerCadence", s, {}, -1, KeyFilter::Binary,
                               FieldRule::StandbyCadence, OnExit::FocusIfRejected);
  powerCadence.helpKind = HelpKind::None;
  powerCadence.mouseTopic = 13;
  rows.push_back(std::move(powerCadence));

  int item = 1;
  for (const BatteryColumn& b : kBatteryItems) {
    FieldRow r = Edit(b.control, s,
                      std::string("Enter the pager ") + b.label + " (Numeric, 1.00-1.50)",
                      kFirstBatteryTopic + item - 1, KeyFilter::Decimal, FieldRule::Battery,
                      OnExit::FocusIfInvalid, item);
    r.guarded = true;
    r.keyGuarded = true;
    rows.push_back(std::move(r));
    ++item;
  }

  rows.push_back(Edit("edtBEEPFrequency", s, "Enter the pager BEEP Frequency (Numeric, 1000-4000)",
                      26, KeyFilter::Digits, FieldRule::BeepFrequency, OnExit::FocusIfInvalid));
  rows.push_back(Box("chkResetkey", s, "Enable Reset key for the pager", 27, map::kPowerAlertFlags,
                     map::kFlagResetKey));
  rows.push_back(Edit("edtOutofRangeTimer", s,
                      "Enter the pager Out of Range Timer for Out of Range Indicator (Numeric, "
                      "10-600)",
                      28, KeyFilter::Digits, FieldRule::OutOfRangeTimer, OnExit::FocusIfInvalid));

  struct AlertGroup {
    const char* prefix; // control names
    const char* whose;  // in the help lines
    int firstTopic;
    std::uint16_t flags;
    int alert;
    const char* voiceHelp;
  };
  const AlertGroup groups[] = {
      {"OutofRange", "Out of Range Indicator", 29, map::kOutOfRangeFlags, 7,
       "Enable Voice for Out of Range Indicator"},
      {"PowerAlert", "Power On Alert", 36, map::kPowerAlertFlags, 8, "Enable Voice"},
  };
  for (const AlertGroup& g : groups) {
    const std::string p = g.prefix, w = g.whose;
    const int t = g.firstTopic;
    rows.push_back(Box("chk" + p + "VIB", s, "Enable vibrate Alert for " + w, t, g.flags,
                       map::kFlagVibrate));
    rows.push_back(Box("chk" + p + "BEEP", s, "Enable beep Alert for " + w, t + 1, g.flags,
                       map::kFlagBeep));
    rows.push_back(Box("chk" + p + "Voice", s, g.voiceHelp, t + 2, g.flags, map::kFlagVoice));
    rows.push_back(Box("chk" + p + "LED", s, "Enable LED for " + w, t + 3, g.flags, map::kFlagLed));
    rows.push_back(Edit("edt" + p + "Time", s, "Enter the pager Time for " + w + " (Numeric, 1-99)",
                        t + 4, KeyFilter::Digits, FieldRule::AlertTime, OnExit::FocusIfRejected,
                        g.alert));
    rows.push_back(Edit("edt" + p + "Cadence", s,
                        "Enter the pager Cadence for " + w + " (Numeric, 00,000,000-11,111,111)",
                        t + 5, KeyFilter::Binary, FieldRule::AlertCadence, OnExit::FocusIfRejected,
                        g.alert));
    rows.push_back(Edit("edt" + p + "Repeatcnt", s,
                        "Enter the pager Repeat count for " + w + " (Numeric, 0-99)", t + 6,
                        KeyFilter::Digits, FieldRule::AlertRepeat, OnExit::FocusIfRejected,
                        g.alert));
  }

  rows.push_back(Edit("edtPowerLEDON", s, "Enter the pager Standby Power LED ON (Numeric, 1-30)",
                      43, KeyFilter::Digits, FieldRule::PowerLedOn, OnExit::FocusIfInvalid));
  rows.push_back(Edit("edtPowerLEDOFF", s, "Enter the pager Standby Power LED OFF (Numeric, 1-100)",
                      44, KeyFilter::Digits, FieldRule::PowerLedOff, OnExit::FocusIfInvalid));

  FieldRow powerLed = Box("chkPowerLED", s, {}, -1, map::kStandbyLed, map::kStandbyLedEnableBit);
  powerLed.helpKind = HelpKind::None;
  rows.push_back(std::move(powerLed));
}

struct Index {
  std::vector<FieldRow> rows;
  std::unordered_map<std::string_view, int> byName;
};

Index BuildIndex() {
  Index i;
  AddCodeRows(i.rows);
  AddAddressRows(i.rows);
  AddStandardRows(i.rows);
  return i;
}

const Index& TheIndex() {
  static Index index = BuildIndex();
  // Keys view the names of the rows in place, so they are taken once the table is final.
  static const bool indexed = [] {
    for (int n = 0; n < int(index.rows.size()); ++n) index.byName.emplace(index.rows[n].name, n);
    return true;
  }();
  (void)indexed;
  return index;
}

} // namespace

std::string CodeHelpText(std::string_view pattern, int k) {
  std::string text(pattern);
  if (k < 1 || k > map::kCodeCount) return text;
  Replace(text, kLetter, std::string(1, static_cast<char>('A' + k - 1)));
  Replace(text, kOrdinal, kOrdinals[k - 1]);
  return text;
}

const std::vector<FieldRow>& FieldTable() { return TheIndex().rows; }

int FieldIndex(std::string_view name) {
  const Index& i = TheIndex();
  auto it = i.byName.find(name);
  return it == i.byName.end() ? -1 : it->second;
}

const FieldRow* FindField(std::string_view name) {
  int n = FieldIndex(name);
  return n < 0 ? nullptr : &FieldTable()[n];
}

const FieldRow* FieldForTopic(FieldPage page, int topic) {
  if (topic < 0) return nullptr;
  for (const FieldRow& r : FieldTable())
    if (r.page == page && (r.topic == topic || r.mouseTopic == topic)) return &r;
  return nullptr;
}

} // namespace pw::ui
