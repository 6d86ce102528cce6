// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/named_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

#include "base/echo.h"
#include "codeplug/flex_address.h"
#include "codeplug/memory_map.h"
#include "ui/main_controls.h"

namespace pw::ui {

namespace {

using Spans = std::vector<ByteSpan>;
using Gates = std::vector<FieldGate>;

constexpr const char* kHex = "0123456789ABCDEF";

NamedField Field(std::string name, std::string control, int page, FieldType type, Spans bytes,
                 Gates gates = {}, FieldAccess access = FieldAccess::Value) {
  NamedField f;
  f.name = std::move(name);
  f.control = std::move(control);
  f.page = page;
  f.type = type;
  f.access = access;
  f.gates = std::move(gates);
  f.bytes = std::move(bytes);
  return f;
}

NamedField ReadOut(std::string name, std::string control, int page) {
  return Field(std::move(name), std::move(control), page, FieldType::Text, {}, {},
               FieldAccess::ReadOut);
}

ByteSpan At(int offset, int count = 1) {
  return {static_cast<std::uint16_t>(offset), static_cast<std::uint16_t>(count)};
}

// Time, cadence, repeat and read-out of an alert pattern whose bytes start at first.
void AddPattern(std::vector<NamedField>& t, const std::string& prefix, int page, int first,
                const std::string& time, const std::string& cadence, const std::string& repeat,
                const std::string& alertTime, const Gates& gates) {
  t.push_back(Field(prefix + "time", time, page, FieldType::Number, {At(first)}, gates));
  t.push_back(Field(prefix + "cadence", cadence, page, FieldType::Text, {At(first + 1)}, gates));
  t.push_back(Field(prefix + "repeat", repeat, page, FieldType::Number, {At(first + 2)}, gates));
  t.push_back(ReadOut(prefix + "alert_time", alertTime, page));
}

// Vibrate, beep, voice and LED boxes of one alert, bits 3-0 of flags.
void AddAlertBoxes(std::vector<NamedField>& t, const std::string& prefix, int page, int flags,
                   const std::string& vib, const std::string& beep, const std::string& voice,
                   const std::string& led, const Gates& gates) {
  t.push_back(Field(prefix + "vibrate", vib, page, FieldType::Flag, {At(flags)}, gates));
  t.push_back(Field(prefix + "beep", beep, page, FieldType::Flag, {At(flags)}, gates));
  // The pager has no voice segments to choose: the box only reports the bit.
  t.push_back(Field(prefix + "voice", voice, page, FieldType::Flag, {At(flags)}, {},
                    FieldAccess::ReadOnly));
  t.push_back(Field(prefix + "led", led, page, FieldType::Flag, {At(flags)}, gates));
}

std::vector<NamedField> BuildTable() {
  std::vector<NamedField> t;
  const FieldType flag = FieldType::Flag, number = FieldType::Number, text = FieldType::Text,
                  choice = FieldType::Choice;

  // ---- FLEX Address page ----
  t.push_back(
      Field("frequency", "edtFrequency", 0, FieldType::Decimal,
            {At(map::kRWord, 3), At(map::kNWord, 3), At(map::kRfOption1, 2), At(map::kBandByte)}));
  t.push_back(Field("serial_number", "edtSerialNumber", 0, text,
                    {At(map::kSerialNumber, map::kSerialNumberLength)}, {}, FieldAccess::ReadOnly));
  t.push_back(Field("band_option", "rgpBandOption", 0, choice, {At(map::kBandByte)}, {},
                    FieldAccess::ReadOnly));
  t.push_back(Field("led_flash_forever", "chkLEDFlashforever", 0, flag, {At(map::kFeatureFlags)}));
  NamedField autoStep = Field("auto_step.enabled", "chkAutoIncrementorDecrement", 0, flag, {});
  autoStep.inImage = false;
  t.push_back(autoStep);
  NamedField direction = Field("auto_step.direction", "rgpCapCodeAutoIncrementDecrement", 0, choice,
                               {}, {{"chkAutoIncrementorDecrement", true}});
  direction.inImage = false;
  t.push_back(direction);

  for (int k = 1; k <= map::kCodeCount; ++k) {
    const CodeRowNames& r = CodeRows()[std::size_t(k - 1)];
    const std::string p = std::string("code.") + char('A' + k - 1) + ".";
    const Gates enabled = {{r.enable, true}};
    const ByteSpan enableByte = At(map::kEnableFields[std::size_t(k)].byte);
    const int block = map::AlertBlock(k);
    t.push_back(Field(p + "enabled", r.enable, 0, flag, {enableByte}));
    t.push_back(Field(p + "capcode", r.code, 0, number,
                      {At(map::AddressWord1(k), 3), At(map::AddressWord2(k), 3), enableByte},
                      enabled));
    t.push_back(Field(p + "default_alert", r.defaultAlert, 0, flag, {At(block)}, enabled));
    AddAlertBoxes(t, p, 0, block, r.vib, r.beep, r.voice, r.led, enabled);
    AddPattern(t, p, 0, block + map::kBlockTime, r.time, r.cadence, r.repeat, r.alertTime, enabled);
    NamedField step = Field(p + "step", r.incDec, 0, number, {},
                            {{"chkAutoIncrementorDecrement", true}, {r.enable, true}});
    step.inImage = false;
    t.push_back(step);
  }
  // ---- Standard page ----
  t.push_back(Field("invert_data", "chkInvertData", 1, flag, {At(map::kDataPolarity)}));
  const Gates indicator = {{"chkOutofRangeIndicator", true}};
  t.push_back(Field("out_of_range.indicator", "chkOutofRangeIndicator", 1, flag,
                    {At(map::kOutOfRangeTimer)}));
  t.push_back(Field("out_of_range.timer", "edtOutofRangeTimer", 1, number,
                    {At(map::kOutOfRangeTimer), At(map::kFeatureFlags)}, indicator));
  AddAlertBoxes(t, "out_of_range.", 1, map::kOutOfRangeFlags, "chkOutofRangeVIB",
                "chkOutofRangeBEEP", "chkOutofRangeVoice", "chkOutofRangeLED", indicator);
  AddPattern(t, "out_of_range.", 1, map::kOutOfRangeTime, "edtOutofRangeTime",
             "edtOutofRangeCadence", "edtOutofRangeRepeatcnt", "lblOutofRangeAlerttime", indicator);
  AddAlertBoxes(t, "power_alert.", 1, map::kPowerAlertFlags, "chkPowerAlertVIB",
                "chkPowerAlertBEEP", "chkPowerAlertVoice", "chkPowerAlertLED", {});
  t.push_back(Field("power_alert.reset_key", "chkResetkey", 1, flag, {At(map::kPowerAlertFlags)}));
  AddPattern(t, "power_alert.", 1, map::kPowerAlertTime, "edtPowerAlertTime",
             "edtPowerAlertCadence", "edtPowerAlertRepeatcnt", "lblPowerAlertAlerttime", {});
  t.push_back(Field("standby_led.on", "edtPowerLEDON", 1, number, {At(map::kPowerLedOn, 2)}));
  t.push_back(Field("standby_led.off", "edtPowerLEDOFF", 1, number, {At(map::kPowerLedOff, 2)}));

  // ---- Alert sets ----
  for (int k = 1; k <= map::kCodeCount; ++k) {
    const CodeRowNames& r = CodeRows()[std::size_t(k - 1)];
    const std::string p = std::string("set.") + char('A' + k - 1) + ".";
    const int block = map::AlertBlock(k);
    const FieldGate opens = {r.enable, true};
    auto add = [&](NamedField f) {
      f.set = k;
      f.gates.insert(f.gates.begin(), opens);
      t.push_back(std::move(f));
    };
    add(Field(p + "time", "edtSetTime", 0, number, {At(block + map::kSetTime)}));
    add(Field(p + "led1_cadence", "edtSetLED1Cadence", 0, text,
              {At(block + map::kSetLed1Cadence, 2)}));
    add(Field(p + "led2_cadence", "edtSetLED2Cadence", 0, text,
              {At(block + map::kSetLed2Cadence, 2)}));
    add(Field(p + "repeat", "edtSetRepeat", 0, number, {At(block + map::kSetRepeat)},
              {{"chkLEDFlashforever", false}}));
    add(ReadOut(p + "flash_time", "lblSetAlerttime", 0));
    add(Field(p + "voice_segment", "cboSetVoiceSegment", 0, choice,
              {At(block + map::kSetVoiceSegment)}, {{r.voice, true}}));
    for (int j = 0; j < map::kExtendedIdSlots; ++j) {
      const std::string slot = p + "extend." + kHex[j] + ".";
      const Gates shown = {{r.defaultAlert, false}};
      const ByteSpan byte = At(block + map::kSetExtendedIds + j);
      add(Field(slot + "enabled", Slot(j).check, 0, flag, {byte}, shown));
      Gates slotOn = shown;
      slotOn.push_back({Slot(j).check, true, true});
      add(Field(slot + "function", Slot(j).combo, 0, choice, {byte}, slotOn));
    }
  }
  return t;
}

bool AllDigits(const std::string& s) {
  if (s.empty())
    return false;
  for (char c : s)
    if (c < '0' || c > '9')
      return false;
  return true;
}

std::string Trimmed(const std::string& s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos)
    return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string ValueOf(const Control& c, FieldType type) {
  switch (type) {
  case FieldType::Flag:
    return c.checked ? "1" : "0";
  case FieldType::Choice:
    return c.itemIndex >= 0 && c.itemIndex < static_cast<int>(c.items.size())
               ? c.items[std::size_t(c.itemIndex)]
               : std::string();
  default:
    return c.kind == Kind::Label ? Trimmed(c.caption) : c.text;
  }
}

// The controls the field lives in, filled from the image as the window fills them: the page
// is refilled every time, so values changed by another field's handler show.
Controls& Surface(FormModel& m, const NamedField& f) {
  m.PageChanged(f.page);
  if (f.set == 0)
    return m.controls;
  EditorModel& editor = m.editor();
  if (editor.IsOpen())
    editor.Close();
  editor.Open(f.set);
  return editor.controls;
}

void Leave(FormModel& m, const NamedField& f) {
  if (f.set != 0)
    m.editor().Close();
}

FieldReading ReadOne(FormModel& m, const NamedField& f) {
  const Controls& c = Surface(m, f);
  FieldReading r{&f, ValueOf(c[f.control], f.type), c.Shown(f.control), c.Usable(f.control)};
  Leave(m, f);
  return r;
}

const NamedField* GateField(const NamedField& f, const FieldGate& g) {
  return FindNamedField(g.inEditor ? "Set" + std::string(1, char('A' + f.set - 1)) + "." + g.control
                                   : g.control);
}

// The window's own events for a value typed into a control; a reason when it cannot take it.
template <class Model>
std::string TypeInto(Model& m, Controls& controls, const NamedField& f, const std::string& value) {
  Control& c = controls[f.control];
  switch (f.type) {
  case FieldType::Flag:
    m.Enter(f.control);
    if (c.checked != (value == "1"))
      m.Click(f.control);
    m.Exit(f.control);
    return {};
  case FieldType::Choice: {
    int index = -1;
    for (std::size_t i = 0; i < c.items.size(); ++i)
      if (c.items[i] == value || std::to_string(i) == value)
        index = static_cast<int>(i);
    if (index < 0)
      return "has no item \"" + EchoText(value) + "\"";
    m.Enter(f.control);
    c.itemIndex = index;
    m.Click(f.control);
    m.Exit(f.control);
    return {};
  }
  default:
    break;
  }
  if (c.maxLength > 0 && static_cast<int>(value.size()) > c.maxLength)
    return "holds at most " + std::to_string(c.maxLength) + " characters";
  for (char ch : value)
    if (ch == '\r' || !m.KeyPress(f.control, ch))
      return "does not accept the character '" + EchoText(std::string(1, ch)) + "'";
  m.Enter(f.control);
  controls.SetText(f.control, value);
  m.Exit(f.control);
  return {};
}

std::string WhyUnusable(FormModel& m, const NamedField& f, const FieldReading& now) {
  for (const FieldGate& g : f.gates) {
    const NamedField* gate = GateField(f, g);
    if (gate && ReadOne(m, *gate).value != (g.checked ? "1" : "0"))
      return std::string("needs ") + gate->name + "=" + (g.checked ? "1" : "0");
  }
  if (!now.shown)
    return "is hidden in this window";
  return "is disabled for this codeplug";
}

ApplyOutcome Refused(std::string reason) {
  return {ApplyOutcome::Refused, {}, std::move(reason)};
}

} // namespace

const std::vector<NamedField>& NamedFields() {
  static const std::vector<NamedField> table = BuildTable();
  return table;
}

std::string ControlLabel(const NamedField& f) {
  if (f.set == 0)
    return f.control;
  return "Set" + std::string(1, char('A' + f.set - 1)) + "." + f.control;
}

const NamedField* FindNamedField(std::string_view name) {
  for (const NamedField& f : NamedFields())
    if (f.name == name || ControlLabel(f) == name)
      return &f;
  return nullptr;
}

bool IsDerivedByte(std::size_t a) {
  return a == map::kPage0ChecksumHi || a == map::kPage0ChecksumLo || a == map::kPage1ChecksumHi ||
         a == map::kPage1ChecksumLo ||
         (a >= map::kFrameBitmap && a < map::kFrameBitmap + 4u * map::kFramePackets);
}

std::vector<FieldReading> ReadNamedFields(FormModel& m) {
  const std::vector<NamedField>& table = NamedFields();
  std::vector<FieldReading> out(table.size());
  for (int page = 0; page < 2; ++page) {
    m.PageChanged(page);
    for (std::size_t i = 0; i < table.size(); ++i) {
      const NamedField& f = table[i];
      if (f.set != 0 || f.page != page)
        continue;
      out[i] = {&f, ValueOf(m.controls[f.control], f.type), m.controls.Shown(f.control),
                m.controls.Usable(f.control)};
    }
  }
  m.PageChanged(0);
  EditorModel& editor = m.editor();
  for (int k = 1; k <= map::kCodeCount; ++k) {
    editor.Open(k);
    for (std::size_t i = 0; i < table.size(); ++i) {
      const NamedField& f = table[i];
      if (f.set != k)
        continue;
      out[i] = {&f, ValueOf(editor.controls[f.control], f.type), editor.controls.Shown(f.control),
                editor.controls.Usable(f.control)};
    }
    editor.Close();
  }
  return out;
}

bool SameFieldValue(const NamedField& f, const std::string& a, const std::string& b) {
  if (f.type == FieldType::Number && AllDigits(a) && AllDigits(b) && a.size() < 18 && b.size() < 18)
    return std::strtoll(a.c_str(), nullptr, 10) == std::strtoll(b.c_str(), nullptr, 10);
  if (f.type == FieldType::Decimal) {
    char* endA = nullptr;
    char* endB = nullptr;
    const double x = std::strtod(a.c_str(), &endA), y = std::strtod(b.c_str(), &endB);
    if (!a.empty() && !b.empty() && *endA == 0 && *endB == 0)
      return std::fabs(x - y) < 5e-5;
  }
  return a == b;
}

ApplyOutcome ApplyNamedField(FormModel& m, const NamedField& f, const std::string& given,
                             ApplyMode mode) {
  if (f.access == FieldAccess::ReadOut)
    return Refused("is a read-out");
  if (f.access == FieldAccess::ReadOnly)
    return Refused("is read-only");
  std::string value = given;
  if (f.type == FieldType::Flag) {
    if (value == "true")
      value = "1";
    if (value == "false")
      value = "0";
    if (value != "0" && value != "1")
      return Refused("takes 1 or 0");
  }
  const FieldReading before = ReadOne(m, f);
  if (SameFieldValue(f, before.value, value))
    return {ApplyOutcome::Unchanged, before.value, {}};

  // Gates the entry needs, ticked or unticked on the way in and put back on the way out.
  std::vector<std::pair<const NamedField*, std::string>> opened;
  auto restore = [&] {
    for (auto it = opened.rbegin(); it != opened.rend(); ++it)
      ApplyNamedField(m, *it->first, it->second, ApplyMode::AsTyped);
  };
  if (mode == ApplyMode::OpenGates) {
    for (const FieldGate& g : f.gates) {
      const NamedField* gate = GateField(f, g);
      const std::string want = g.checked ? "1" : "0";
      const std::string was = ReadOne(m, *gate).value;
      if (was == want)
        continue;
      const ApplyOutcome o = ApplyNamedField(m, *gate, want, ApplyMode::AsTyped);
      if (o.status != ApplyOutcome::Applied) {
        restore();
        return Refused("needs " + gate->name + "=" + want + ", which " +
                       (o.reason.empty() ? "did not take" : o.reason));
      }
      opened.emplace_back(gate, was);
    }
  }

  std::string reason;
  m.PageChanged(f.page);
  if (f.set != 0 && !m.controls.Usable(CodeRows()[std::size_t(f.set - 1)].set)) {
    // The alert set of a disabled code cannot be opened.
    reason = WhyUnusable(m, f, before);
  } else {
    Controls& c = Surface(m, f);
    const FieldReading now{&f, {}, c.Shown(f.control), c.Usable(f.control)};
    if (!now.shown || !now.usable || c[f.control].readOnly) {
      Leave(m, f);
      reason = WhyUnusable(m, f, now);
    } else {
      reason = f.set == 0 ? TypeInto(m, c, f, value) : TypeInto(m.editor(), c, f, value);
      Leave(m, f);
    }
  }
  restore();
  if (!reason.empty())
    return Refused(reason);

  const std::string stored = ReadOne(m, f).value;
  if (SameFieldValue(f, stored, value))
    return {ApplyOutcome::Applied, stored, {}};
  // A legal capcode that did not go in was refused as a duplicate of another enabled code.
  if (f.control.rfind("edtCode", 0) == 0 && AllDigits(value) && value.size() <= 9 &&
      ClassOf(std::strtoll(value.c_str(), nullptr, 10)) != CapcodeClass::Illegal)
    return Refused("equals another enabled code");
  return {ApplyOutcome::Corrected, stored, {}};
}

void ApplyNamedFields(FormModel& m, std::vector<FieldEntry>& entries) {
  std::sort(entries.begin(), entries.end(),
            [](const FieldEntry& a, const FieldEntry& b) { return a.field < b.field; });

  // Capcodes to change, and every address held now or asked for.
  std::set<long long> taken;
  std::vector<const FieldEntry*> moving;
  for (int k = 1; k <= map::kCodeCount; ++k)
    taken.insert(
        ParseCapcodeText(ReadOne(m, *FindNamedField(CodeRows()[std::size_t(k - 1)].code)).value));
  for (const FieldEntry& e : entries) {
    if (e.field->control.rfind("edtCode", 0) != 0 || !AllDigits(e.value) || e.value.size() > 9)
      continue;
    taken.insert(std::strtoll(e.value.c_str(), nullptr, 10));
    if (!SameFieldValue(*e.field, ReadOne(m, *e.field).value, e.value))
      moving.push_back(&e);
  }
  // Each moving code first steps aside to an address nobody holds or wants.
  if (moving.size() > 1) {
    long long free = kShortFirst;
    for (const FieldEntry* e : moving) {
      while (taken.count(free))
        ++free;
      ApplyNamedField(m, *e->field, std::to_string(free++), ApplyMode::OpenGates);
    }
  }
  for (FieldEntry& e : entries)
    e.outcome = ApplyNamedField(m, *e.field, e.value, ApplyMode::OpenGates);
}

} // namespace pw::ui
