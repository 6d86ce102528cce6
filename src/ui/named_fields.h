// SPDX-License-Identifier: GPL-3.0-or-later
// The values a codeplug holds under names a technician recognises ("frequency",
// "code.A.capcode", "set.B.extend.5.function"), each bound to the control of the main window
// or of the alert-set editor that shows it. Reading a field reads its control after the page
// or the editor was filled from the image; setting one types into that control, so every
// value still passes the control's key filter and its rule. show, set, export/import and
// diff all work from this one table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/form_model.h"

namespace pw::ui {

enum class FieldType {
  Flag,    // a check box: "1" or "0"
  Number,  // a decimal edit (capcodes keep their padding when shown)
  Decimal, // a decimal edit with a point (the frequency)
  Text,    // characters as typed (cadences, the serial number, read-outs)
  Choice,  // an item of a radio group or drop-down list, by its text
};

enum class FieldAccess {
  Value,    // the technician sets it
  ReadOnly, // shown, but this window never lets the user change it
  ReadOut,  // computed from other fields (alert times)
};

// A check box that must be ticked (or not) before the field's control can be used.
struct FieldGate {
  std::string control;
  bool checked = true;
  bool inEditor = false; // a control of the alert-set editor rather than of the main window
};

// Image bytes a field occupies (whole bytes, shared bytes included).
struct ByteSpan {
  std::uint16_t first;
  std::uint16_t count;
};

struct NamedField {
  std::string name;
  std::string control; // the control's own name
  int page = 0;        // main window page (0 FLEX Address, 1 Standard); unused for sets
  int set = 0;         // 1-6: a control of that code's alert-set editor
  FieldType type = FieldType::Text;
  FieldAccess access = FieldAccess::Value;
  bool inImage = true; // false: the stepping settings, which no codeplug stores
  std::vector<FieldGate> gates;
  std::vector<ByteSpan> bytes;
};

// Every named field in a fixed order: the FLEX Address page, the Standard page, then the six
// alert sets. A gate's own field always comes before the fields it gates.
const std::vector<NamedField>& NamedFields();

// By its name, or by the control name that `show --controls` prints ("edtCodeA",
// "SetB.edtSetTime"). Null when there is none.
const NamedField* FindNamedField(std::string_view name);
// "edtCodeA", or "SetB.edtSetTime" for a control of an alert set.
std::string ControlLabel(const NamedField& field);

// Bytes that follow from the named fields rather than hold a value of their own: the page
// checksums and the frame bitmap.
bool IsDerivedByte(std::size_t address);

struct FieldReading {
  const NamedField* field = nullptr;
  std::string value;
  bool shown = true;  // false while the window hides the control for this codeplug
  bool usable = true; // false while it is disabled
};

// Reads every field as the window shows it (refilling both pages and opening each alert set
// in turn).
std::vector<FieldReading> ReadNamedFields(FormModel& model);

// Whether two readings of a field say the same (capcodes and numbers compare as numbers).
bool SameFieldValue(const NamedField& field, const std::string& a, const std::string& b);

enum class ApplyMode {
  AsTyped,   // as the user would in the window: a hidden or disabled control is refused
  OpenGates, // ticks or unticks the field's gates for the entry and puts them back after
};

struct ApplyOutcome {
  enum Status {
    Unchanged, // the field already held the value
    Applied,   // taken as given
    Corrected, // the rule stored another value (stored)
    Refused,   // not taken: the image is as it was for this field (reason)
  };
  Status status = Unchanged;
  std::string stored;
  std::string reason;
};

// Types value into the field's control as the user would: focus, keys through the filter,
// leaving it; a click for boxes and item lists. Flags take 1/0 (or true/false), choices the
// item's text or its index.
ApplyOutcome ApplyNamedField(FormModel& model, const NamedField& field, const std::string& value,
                             ApplyMode mode);

struct FieldEntry {
  const NamedField* field = nullptr;
  std::string value;
  ApplyOutcome outcome;
};

// Applies many fields, opening gates as needed, in the table's fixed order whatever the order
// of entries; fills each outcome. Capcodes that change are first moved to free addresses, so
// codes may shift or trade their addresses without tripping over each other's old values.
void ApplyNamedFields(FormModel& model, std::vector<FieldEntry>& entries);

} // namespace pw::ui
