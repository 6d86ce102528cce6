// SPDX-License-Identifier: GPL-3.0-or-later
// The fields of the two pages of the main window: for every control its help line, help
// topic, key filter, validation rule, reaction on leaving, and click action. The personality
// view runs every focus, key, mouse and click event of the pages from this one table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pw::ui {

enum class FieldPage { Address, Standard };

// Characters a field admits (Backspace always passes, the Enter key is never filtered).
enum class KeyFilter {
  Any,
  Digits,        // 0-9
  Steps,         // 0-8
  Binary,        // 0 and 1
  Decimal,       // 0-9 and '.'
  Alphanumeric,  // 0-9, A-Z, a-z
  Password,      // 0-9, A-Z, a-z, space
  DisplayEntry,  // 0-9, '-', space
};

enum class FieldRule {
  None,
  Capcode,         // index: code 1-6
  SerialNumber,
  Frequency,
  AlertTime,       // index: alert 1-8
  AlertRepeat,     // index: alert 1-8
  AlertCadence,    // index: alert 1-8
  StandbyTime,
  StandbyCadence,
  OutOfRangeTimer,
  PowerLedOn,
  PowerLedOff,
  BeepFrequency,
  Battery,         // index: item 1-12
  StepEdit,        // index: code 1-6
};

// What leaving the field does after its rule ran.
enum class OnExit {
  Nothing,          // no Exit handler
  FocusIfInvalid,   // FieldInvalid set: clear it and take the focus back
  FocusIfRejected,  // the rule did not accept the entry: take the focus back
  ClearInvalid,     // clear FieldInvalid; the rule decides about the focus
  ValidateOnly,
};

enum class HelpKind {
  None,      // the help line is left alone
  Fixed,     // help
  Frequency, // the text of the current band, or left alone
  ByItem,    // itemHelp[itemIndex] of the radio group, or left alone
};

enum class ClickAction {
  None,
  Bits,                // byte/mask set while ticked, cleared while unticked
  CodeEnable,          // index: code 1-6
  OutOfRangeIndicator, // bit 7 of 0x1A6 and the out-of-range group
  InvertData,          // bits 1-0 of 0x098: ticked 01, unticked 11
  LedFlashForever,     // bit 2 of 0x1E7 and the editor's repeat count
  AutoStep,            // chkAutoIncrementorDecrement
  StepDirection,       // rgpCapCodeAutoIncrementDecrement
  BandOption,
  PllIcOption,
};

struct FieldRow {
  std::string name;
  FieldPage page = FieldPage::Address;
  HelpKind helpKind = HelpKind::None;
  std::string help;
  std::vector<std::string> itemHelp;
  int topic = -1;      // recorded on Enter; -1: Enter records nothing
  int mouseTopic = -1; // recorded by a left mouse-button press
  KeyFilter filter = KeyFilter::Any;
  FieldRule rule = FieldRule::None;
  int index = 0;
  OnExit exit = OnExit::Nothing;
  bool guarded = false;      // does nothing while its page is being refilled
  bool keyGuarded = false;   // so does its Enter key
  bool invalidFlag = false;  // the field keeps a FieldInvalid flag
  ClickAction click = ClickAction::None;
  std::uint16_t byte = 0;    // ClickAction::Bits
  std::uint8_t mask = 0;
  bool clickSetsTopic = false; // a click also records the topic and help line as on Enter
};

// Every field of both pages.
const std::vector<FieldRow>& FieldTable();
// The row of a control, or nullptr for a control the pages do not handle.
const FieldRow* FindField(std::string_view name);
// Its position in FieldTable(), or -1.
int FieldIndex(std::string_view name);
// The field whose Enter or mouse press records topic on page, or nullptr.
const FieldRow* FieldForTopic(FieldPage page, int topic);

// The per-code help line texts with the code's letter and ordinal put in.
std::string CodeHelpText(std::string_view pattern, int k);

// Help lines shown by the view itself.
extern const char* const kOutOfRangeIndicatorHelp;

} // namespace pw::ui
