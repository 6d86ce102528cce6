// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/editor_model.h"

#include <array>
#include <utility>

#include "files/alert_fields.h"
#include "ui/help_texts.h"

namespace pw::ui {

namespace {

constexpr const char* kForm = "TFormEditor";
const std::string kTimeMessage = std::string(kTimeRangeHead) + "99.";
constexpr std::string_view kRepeatMessage = kRepeatRangeText;
constexpr const char* kCadenceMessage =
    "Cadence must be a 16 digits binary NO.\nIt will be reset to 0101010101010101";
constexpr const char* kCadenceReset = "0101010101010101";
constexpr std::uint8_t kCadenceResetByte = 0x55;
constexpr int kCadenceDigits = 16;
constexpr std::uint8_t kSlotEnabled = 0x80;
constexpr std::uint8_t kSlotCodeMask = 0x7F;
constexpr int kVoiceSegments = 10;
constexpr const char* kHexDigits = "0123456789ABCDEF";

// A box's number: empty counts as 0; anything but digits gives -1 (out of every range).
int BoxNumber(const std::string& text) {
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return -1;
    if (v < 100000)
      v = v * 10 + (c - '0');
  }
  return v;
}

// Sixteen steps: the first byte's eight, then the second's, each bit 7 first.
std::string SetCadenceText(std::uint8_t first, std::uint8_t second) {
  return CadenceText(first) + CadenceText(second);
}

std::uint8_t CadenceByte(const std::string& digits, std::size_t first) {
  std::uint8_t b = 0;
  for (std::size_t i = 0; i < 8; ++i)
    if (digits[first + i] == '1')
      b |= static_cast<std::uint8_t>(0x80 >> i);
  return b;
}

struct PatternField {
  const char* edit;
  int offset; // first byte inside the alert block
};

} // namespace

const std::vector<std::string>& ExtendIdFunctionItems() {
  static const std::vector<std::string> items = {"Default Alert",  "Alert X2",    "Alert X3",
                                                 "Alert X4",       "Alert X16",   "Alert X32",
                                                 "Shutdown Pager", "Range Alert", "Search Alert",
                                                 "Selftest Alert", "Outrange ON", "Outrange OFF"};
  return items;
}

std::uint8_t ExtendIdCodeForItem(int item) {
  return static_cast<std::uint8_t>(item <= 0 ? 0 : item + 1);
}

int ExtendIdItemForCode(int code) {
  return code >= 1 ? code - 1 : 0;
}

std::string ExtendIdFunctionName(int item) {
  static const std::array<const char*, 3> later = {"Voice ON", "Voice OFF", "Change Capcode"};
  const auto& items = ExtendIdFunctionItems();
  const int count = static_cast<int>(items.size());
  if (item >= 0 && item < count)
    return items[item];
  if (item >= count && item < count + static_cast<int>(later.size()))
    return later[item - count];
  return {};
}

const SlotNames& Slot(int j) {
  static const std::array<SlotNames, map::kExtendedIdSlots> slots = [] {
    std::array<SlotNames, map::kExtendedIdSlots> s;
    for (int i = 0; i < map::kExtendedIdSlots; ++i) {
      const std::string d(1, kHexDigits[i]);
      s[i] = {"lblExtendID" + d, "gpbExtendID" + d, "chkExtendID" + d, "gpbExtendIDfunction" + d,
              "cboExtendIDfunction" + d};
    }
    return s;
  }();
  return slots[static_cast<std::size_t>(j)];
}

EditorModel::EditorModel(Codeplug& codeplug, const Controls& mainControls, Host& host, Shell& shell)
    : codeplug_(codeplug), main_(mainControls), host_(host), shell_(shell) {
  Build();
}

void EditorModel::Build() {
  auto add = [this](Kind kind, std::string name, std::string parent, std::string caption = {},
                    int maxLength = 0) {
    Control c;
    c.kind = kind;
    c.name = std::move(name);
    c.parent = std::move(parent);
    c.caption = std::move(caption);
    c.maxLength = maxLength;
    controls.Add(std::move(c));
  };

  add(Kind::Form, kForm, "", "Set A");
  add(Kind::Group, "gpbLEDFlash", kForm, "Post Alert LED Flash Settings");
  add(Kind::Group, "gpbSetTime", "gpbLEDFlash", "Time-5ms");
  add(Kind::Edit, "edtSetTime", "gpbSetTime", "", 2);
  add(Kind::Group, "gpbSetLED1Cadence", "gpbLEDFlash", "LED1 Cadence");
  add(Kind::Edit, "edtSetLED1Cadence", "gpbSetLED1Cadence", "", kCadenceDigits);
  add(Kind::Group, "gpbSetLED2Cadence", "gpbLEDFlash", "LED2 Cadence");
  add(Kind::Edit, "edtSetLED2Cadence", "gpbSetLED2Cadence", "", kCadenceDigits);
  add(Kind::Group, "gpbSetRepeat", "gpbLEDFlash", "Repeat cnt");
  add(Kind::Edit, "edtSetRepeat", "gpbSetRepeat", "", 2);
  add(Kind::Group, "gpbSetFlashtime", "gpbLEDFlash", "Flash time");
  add(Kind::Label, "lblSetAlerttime", "gpbSetFlashtime");

  add(Kind::Group, "gpbSetVoiceSegment", kForm, "Voice Segment");
  add(Kind::ComboBox, "cboSetVoiceSegment", "gpbSetVoiceSegment");
  for (int n = 1; n <= kVoiceSegments; ++n)
    controls["cboSetVoiceSegment"].items.push_back("Voice Segment#" + std::to_string(n));

  add(Kind::Group, "gpbExtendID", kForm, "Extend ID");
  for (int j = 0; j < map::kExtendedIdSlots; ++j) {
    const SlotNames& s = Slot(j);
    const std::string d(1, kHexDigits[j]);
    add(Kind::Label, s.label, "gpbExtendID", "?" + d);
    add(Kind::Group, s.enableGroup, "gpbExtendID", "Extend ID" + d);
    add(Kind::CheckBox, s.check, s.enableGroup, "ON");
    add(Kind::Group, s.functionGroup, "gpbExtendID", "Extend ID function");
    add(Kind::ComboBox, s.combo, s.functionGroup);
    controls[s.combo].items = ExtendIdFunctionItems();
  }

  add(Kind::Label, "lblSetHelp", kForm);
  add(Kind::Button, "btnHelp", kForm, "F1 Help");
  add(Kind::Button, "btnExit", kForm, "F10 Exit");
  add(Kind::Menu, "MainMenu1", kForm);
  controls["MainMenu1"].visible = false;
  add(Kind::MenuItem, "Help2", "MainMenu1", "Help");
  controls["Help2"].shortcut = "F1";
  add(Kind::MenuItem, "Return1", "MainMenu1", "&Return");
  controls["Return1"].shortcut = "F10";
}

std::uint8_t& EditorModel::SetByte(int offset) {
  return codeplug_.At(map::AlertBlock(EditedSet) + offset);
}

char EditorModel::Letter() const {
  return static_cast<char>('A' + EditedSet - 1);
}

void EditorModel::SetHelp(std::string text) {
  controls.SetCaption("lblSetHelp", std::move(text));
}

void EditorModel::Open(int set) {
  EditedSet = set < 1 ? 1 : set > map::kCodeCount ? map::kCodeCount : set;
  EditorReady = false;
  const std::string n = std::to_string(EditedSet);
  const Control* defaultAlert = main_.Find("chkDefaultAlert" + n);
  const Control* voice = main_.Find("chkVoice" + n);
  controls.SetVisible("gpbExtendID", !(defaultAlert && defaultAlert->checked));
  controls.SetVisible("gpbSetVoiceSegment", voice && voice->checked);
  Fill();
  EditorReady = true;

  controls.SetCaption(kForm, std::string("Set ") + Letter());
  controls["edtSetTime"].maxLength = 2;
  controls["edtSetLED1Cadence"].maxLength = kCadenceDigits;
  controls["edtSetLED2Cadence"].maxLength = kCadenceDigits;
  controls["edtSetRepeat"].maxLength = 2;
  FollowLedFlashForever();
  lastField_ = Field::None;
  open_ = true;
  FocusRequest = "edtSetTime";
}

void EditorModel::Fill() {
  controls.SetText("edtSetTime", std::to_string(SetByte(map::kSetTime) + 1));
  controls.SetText("edtSetLED1Cadence", SetCadenceText(SetByte(map::kSetLed1Cadence),
                                                       SetByte(map::kSetLed1Cadence + 1)));
  controls.SetText("edtSetLED2Cadence", SetCadenceText(SetByte(map::kSetLed2Cadence),
                                                       SetByte(map::kSetLed2Cadence + 1)));
  controls.SetText("edtSetRepeat", std::to_string(SetByte(map::kSetRepeat)));
  RefreshFlashTime();

  // 0 (none chosen) and anything past the list show no selection.
  const int segment = SetByte(map::kSetVoiceSegment);
  controls["cboSetVoiceSegment"].itemIndex =
      segment >= 1 && segment <= kVoiceSegments ? segment - 1 : -1;

  for (int j = 0; j < map::kExtendedIdSlots; ++j) {
    const SlotNames& s = Slot(j);
    const std::uint8_t b = SetByte(map::kSetExtendedIds + j);
    const bool on = (b & kSlotEnabled) != 0;
    controls.SetChecked(s.check, on);
    controls.SetEnabled(s.combo, on);
    controls[s.combo].itemIndex = ExtendIdItemForCode(b & kSlotCodeMask);
  }
}

void EditorModel::FollowLedFlashForever() {
  const Control* forever = main_.Find("chkLEDFlashforever");
  controls.SetEnabled("edtSetRepeat", !(forever && forever->checked));
  RefreshFlashTime();
}

void EditorModel::RefreshFlashTime() {
  const Control* forever = main_.Find("chkLEDFlashforever");
  controls.SetCaption("lblSetAlerttime",
                      ShowAlertTime(kEditorSetAlert, controls.Text("edtSetTime"),
                                    controls.Text("edtSetRepeat"), forever && forever->checked));
}

void EditorModel::SlotComboHelp(int j) {
  const Control& combo = controls[Slot(j).combo];
  SetHelp(std::string("Set the pager Extend ID") + kHexDigits[j] + " function for Set " + Letter() +
          " to " + ExtendIdFunctionName(combo.itemIndex));
}

void EditorModel::VoiceSegmentHelp() {
  const Control& combo = controls["cboSetVoiceSegment"];
  const std::string item =
      combo.itemIndex >= 0 && combo.itemIndex < static_cast<int>(combo.items.size())
          ? combo.items[combo.itemIndex]
          : std::string();
  SetHelp(std::string("Set the pager Voice Segment for Set ") + Letter() + " to " + item);
}

bool EditorModel::ValidateTime() {
  Control& box = controls["edtSetTime"];
  const int t = BoxNumber(box.text);
  if (t >= 1 && t <= 99) {
    SetByte(map::kSetTime) = static_cast<std::uint8_t>(t - 1);
    return true;
  }
  host_.ShowMessage(kTimeMessage);
  const bool low = t <= 0;
  box.text = low ? "1" : "99";
  SetByte(map::kSetTime) = low ? 0 : 98;
  return false;
}

bool EditorModel::ValidateRepeat() {
  Control& box = controls["edtSetRepeat"];
  if (box.text.empty())
    box.text = "0";
  const int r = BoxNumber(box.text);
  if (r >= 0 && r <= 99) {
    SetByte(map::kSetRepeat) = static_cast<std::uint8_t>(r);
    return true;
  }
  host_.ShowMessage(std::string(kRepeatMessage));
  // Only digits can be typed, so a text that is no number was pasted: it counts as 0.
  const bool high = r >= 100;
  box.text = high ? "99" : "0";
  SetByte(map::kSetRepeat) = high ? 99 : 0;
  return false;
}

bool EditorModel::ValidateCadence(Field which) {
  static const PatternField led1{"edtSetLED1Cadence", map::kSetLed1Cadence};
  static const PatternField led2{"edtSetLED2Cadence", map::kSetLed2Cadence};
  const PatternField& f = which == Field::Led1 ? led1 : led2;
  Control& box = controls[f.edit];
  if (box.text.size() >= kCadenceDigits) {
    SetByte(f.offset) = CadenceByte(box.text, 0);
    SetByte(f.offset + 1) = CadenceByte(box.text, 8);
    return true;
  }
  host_.ShowBox(kCadenceMessage, std::string(kCadenceCaption), Icon::Error);
  SetByte(f.offset) = kCadenceResetByte;
  SetByte(f.offset + 1) = kCadenceResetByte;
  box.text = kCadenceReset;
  return false;
}

bool EditorModel::Validate(Field which) {
  switch (which) {
  case Field::Time: {
    const bool ok = ValidateTime();
    RefreshFlashTime();
    return ok;
  }
  case Field::Repeat: {
    const bool ok = ValidateRepeat();
    RefreshFlashTime();
    return ok;
  }
  case Field::Led1:
  case Field::Led2:
    return ValidateCadence(which);
  case Field::None:
    break;
  }
  return true;
}

EditorModel::Field EditorModel::FieldOf(std::string_view name) {
  if (name == "edtSetTime")
    return Field::Time;
  if (name == "edtSetLED1Cadence")
    return Field::Led1;
  if (name == "edtSetLED2Cadence")
    return Field::Led2;
  if (name == "edtSetRepeat")
    return Field::Repeat;
  return Field::None;
}

// Slot number of "<prefix><hex digit>", or -1.
int EditorModel::SlotOf(std::string_view name, std::string_view prefix) {
  if (name.size() != prefix.size() + 1 || name.substr(0, prefix.size()) != prefix)
    return -1;
  const char d = name.back();
  if (d >= '0' && d <= '9')
    return d - '0';
  if (d >= 'A' && d <= 'F')
    return d - 'A' + 10;
  return -1;
}

void EditorModel::Enter(const std::string& name) {
  const std::string letter(1, Letter());
  switch (FieldOf(name)) {
  case Field::Time:
    SetHelp("Enter the pager Time for Set " + letter + " (Numeric, 1-99)");
    lastField_ = Field::Time;
    return;
  case Field::Led1:
    SetHelp("Enter the pager LED1 Cadence for Set " + letter +
            " (Numeric, 0,000,000,000,000,000-1,111,111,111,111,111)");
    lastField_ = Field::Led1;
    return;
  case Field::Led2:
    SetHelp("Enter the pager LED2 Cadence for Set " + letter +
            " (Numeric, 0,000,000,000,000,000-1,111,111,111,111,111)");
    lastField_ = Field::Led2;
    return;
  case Field::Repeat:
    SetHelp("Enter the pager Repeat count for Set " + letter + " (Numeric, 0-99)");
    lastField_ = Field::Repeat;
    return;
  case Field::None:
    break;
  }
  if (SlotOf(name, "chkExtendID") >= 0) {
    SetHelp("Enable the Extend ID function on the pager");
  } else if (int j = SlotOf(name, "cboExtendIDfunction"); j >= 0) {
    SlotComboHelp(j);
  } else if (name == "cboSetVoiceSegment") {
    VoiceSegmentHelp();
  } else if (name == "btnExit") {
    SetHelp("Exit the Set " + letter);
  } else if (name == "btnHelp") {
    SetHelp("");
  }
}

void EditorModel::Exit(const std::string& name) {
  const Field f = FieldOf(name);
  if (f != Field::None && !Validate(f))
    FocusRequest = name;
}

bool EditorModel::KeyPress(const std::string& name, char ch) {
  const Field f = FieldOf(name);
  if (f == Field::None)
    return true;
  if (ch == '\r') {
    Validate(f);
    return false;
  }
  if (ch == '\b')
    return true;
  if (f == Field::Led1 || f == Field::Led2)
    return ch == '0' || ch == '1';
  return ch >= '0' && ch <= '9';
}

void EditorModel::Click(const std::string& name) {
  if (int j = SlotOf(name, "chkExtendID"); j >= 0) {
    Control& box = controls[name];
    box.checked = !box.checked;
    if (!EditorReady)
      return;
    std::uint8_t& b = SetByte(map::kSetExtendedIds + j);
    b = box.checked ? static_cast<std::uint8_t>(b | kSlotEnabled)
                    : static_cast<std::uint8_t>(b & ~kSlotEnabled);
    controls.SetEnabled(Slot(j).combo, box.checked);
  } else if (int k = SlotOf(name, "cboExtendIDfunction"); k >= 0) {
    const int item = controls[name].itemIndex;
    if (!EditorReady || item < 0 || item >= static_cast<int>(ExtendIdFunctionItems().size()))
      return;
    SetByte(map::kSetExtendedIds + k) = ExtendIdCodeForItem(item) | kSlotEnabled;
    SlotComboHelp(k);
  } else if (name == "cboSetVoiceSegment") {
    const int item = controls[name].itemIndex;
    if (!EditorReady || item < 0 || item >= kVoiceSegments)
      return;
    SetByte(map::kSetVoiceSegment) = static_cast<std::uint8_t>(item + 1);
    VoiceSegmentHelp();
  } else if (name == "btnExit" || name == "Return1") {
    Close();
  } else if (name == "btnHelp" || name == "Help2") {
    shell_.ShowHelp(EditorHelpLines());
  }
}

void EditorModel::Close() {
  if (!open_)
    return;
  Validate(lastField_);
  FocusRequest.clear();
  open_ = false;
}

} // namespace pw::ui
