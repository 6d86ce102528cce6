// SPDX-License-Identifier: GPL-3.0-or-later
// The headless alert-set editor TFormEditor: the LED flash pattern, voice segment and sixteen
// extended-ID slots of one code's alert set. Every change goes straight into the working
// image; closing keeps what was entered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/host.h"
#include "codeplug/codeplug.h"
#include "ui/controls.h"
#include "ui/shell.h"

namespace pw::ui {

// The twelve functions an extended-ID slot's combo box offers, in item order.
const std::vector<std::string>& ExtendIdFunctionItems();
// Item -> stored function code (item 0 -> 0, item i > 0 -> i + 1).
std::uint8_t ExtendIdCodeForItem(int item);
// Stored function code (bits 6-0) -> item (0 -> 0, c >= 1 -> c - 1).
int ExtendIdItemForCode(int code);
// The name the help line uses for an item; also knows the three items after "Outrange OFF"
// that the combo boxes never hold. Empty for anything beyond.
std::string ExtendIdFunctionName(int item);

// Control names of slot j (0-15).
struct SlotNames {
  std::string label, enableGroup, check, functionGroup, combo;
};
const SlotNames& Slot(int j);

class EditorModel {
public:
  // mainControls: the main window's controls (chkDefaultAlert1-6, chkVoice1-6,
  // chkLEDFlashforever are read when the editor opens and while it runs).
  EditorModel(Codeplug& codeplug, const Controls& mainControls, Host& host, Shell& shell);

  // Opens the editor on set 1-6 (codes A-F): visibility of the Extend ID and voice groups,
  // fill from the image, caption, maximum lengths, focus request for edtSetTime.
  void Open(int set);
  // Closing (btnExit, Return1/F10, the close box): validates the last of the four pattern
  // fields that had the focus once more, then closes. Does nothing when already closed.
  void Close();
  bool IsOpen() const { return open_; }

  // Events by control name. Click covers buttons, menu items, check boxes (the model flips
  // checked first) and combo boxes (the caller sets itemIndex first).
  void Enter(const std::string& name);
  void Exit(const std::string& name);
  // Whether the character reaches the edit; '\r' is the Enter key (never reaches it).
  bool KeyPress(const std::string& name, char ch);
  void Click(const std::string& name);

  // edtSetRepeat follows the main window's chkLEDFlashforever (disabled while ticked); the
  // main window calls this after its box was clicked, Open calls it too.
  void FollowLedFlashForever();

  Controls controls;
  int EditedSet = 1;        // 1-6 for A-F
  bool EditorReady = false; // false while the controls are being filled
  // The control that should take the focus after the current event; the window moves the
  // focus there and clears it.
  std::string FocusRequest;

private:
  enum class Field { None, Time, Led1, Led2, Repeat };

  void Build();
  void Fill();
  std::uint8_t& SetByte(int offset);
  char Letter() const;
  void SetHelp(std::string text);
  void SlotComboHelp(int j);
  void VoiceSegmentHelp();
  void RefreshFlashTime();
  bool ValidateTime();
  bool ValidateRepeat();
  bool ValidateCadence(Field which);
  bool Validate(Field which); // as on Exit, with the flash-time refresh
  static Field FieldOf(std::string_view name);
  static int SlotOf(std::string_view name, std::string_view prefix);

  Codeplug& codeplug_;
  const Controls& main_;
  Host& host_;
  Shell& shell_;
  bool open_ = false;
  Field lastField_ = Field::None;
};

} // namespace pw::ui
