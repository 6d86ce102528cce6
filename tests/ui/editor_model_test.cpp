// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "codeplug/codeplug.h"
#include "codeplug/memory_map.h"
#include "support/scripted_host.h"
#include "ui/editor_model.h"
#include "support/scripted_shell.h"
#include "ui/help_texts.h"

namespace pw::ui {
namespace {

// The main window's boxes the editor reads.
Controls MainBoxes() {
  Controls c;
  for (int n = 1; n <= 6; ++n)
    for (const char* prefix : {"chkDefaultAlert", "chkVoice"}) {
      Control box;
      box.name = prefix + std::to_string(n);
      box.kind = Kind::CheckBox;
      c.Add(box);
    }
  Control forever;
  forever.name = "chkLEDFlashforever";
  forever.kind = Kind::CheckBox;
  c.Add(forever);
  return c;
}

class EditorTest : public ::testing::Test {
protected:
  std::uint8_t& Byte(int set, int offset) {
    return codeplug.WorkingImage[map::AlertBlock(set) + offset];
  }
  void OpenSet(int set) {
    editor.Open(set);
    host.Clear();
  }
  void Select(const std::string& combo, int item) {
    editor.controls[combo].itemIndex = item;
    editor.Click(combo);
  }
  // Typing a field's text and leaving it with the Tab key.
  void Leave(const std::string& edit, const std::string& text) {
    editor.Enter(edit);
    editor.controls.SetText(edit, text);
    editor.Exit(edit);
  }

  Codeplug codeplug;
  Controls main = MainBoxes();
  test::ScriptedHost host;
  test::ScriptedShell shell;
  EditorModel editor{codeplug, main, host, shell};
};

// ---- Opening ---------------------------------------------------------------------------

TEST_F(EditorTest, DefaultAlertTickedHidesExtendIdAndVoiceUntickedHidesVoiceSegment) {
  main.SetChecked("chkDefaultAlert3", true);
  main.SetChecked("chkVoice3", false);
  editor.Open(3);
  EXPECT_FALSE(editor.controls["gpbExtendID"].visible);
  EXPECT_FALSE(editor.controls["gpbSetVoiceSegment"].visible);
  EXPECT_FALSE(editor.controls.Shown("chkExtendID0"));

  main.SetChecked("chkDefaultAlert3", false);
  main.SetChecked("chkVoice3", true);
  editor.Open(3);
  EXPECT_TRUE(editor.controls["gpbExtendID"].visible);
  EXPECT_TRUE(editor.controls["gpbSetVoiceSegment"].visible);
}

TEST_F(EditorTest, OpeningReadsTheRowOfItsOwnCodeOnly) {
  main.SetChecked("chkDefaultAlert2", true); // another code's box
  editor.Open(5);
  EXPECT_TRUE(editor.controls["gpbExtendID"].visible);
}

TEST_F(EditorTest, OpeningSetsCaptionFocusAndReadyFlag) {
  editor.Open(6);
  EXPECT_EQ(editor.controls["TFormEditor"].caption, "Set F");
  EXPECT_EQ(editor.EditedSet, 6);
  EXPECT_TRUE(editor.EditorReady);
  EXPECT_TRUE(editor.IsOpen());
  EXPECT_EQ(editor.FocusRequest, "edtSetTime");
  EXPECT_EQ(editor.controls["edtSetTime"].maxLength, 2);
  EXPECT_EQ(editor.controls["edtSetLED1Cadence"].maxLength, 16);
  EXPECT_EQ(editor.controls["edtSetLED2Cadence"].maxLength, 16);
  EXPECT_EQ(editor.controls["edtSetRepeat"].maxLength, 2);
}

TEST_F(EditorTest, FillShowsTheSetBytesOfTheBlock) {
  const std::array<std::uint8_t, 23> set = {0x03,                   // voice segment 3
                                            0x09,                   // Time 10
                                            0xA5, 0x0F, 0x00, 0xFF, // LED1, LED2 cadences
                                            0x07,                   // Repeat 7
                                            0x80, 0x83, 0x01, 0x8C, 0x00, 0x0D, 0x7F, 0x00,
                                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x82};
  for (std::size_t i = 0; i < set.size(); ++i)
    Byte(4, 4 + static_cast<int>(i)) = set[i];
  editor.Open(4);
  const Controls& c = editor.controls;
  EXPECT_EQ(c.Text("edtSetTime"), "10");
  EXPECT_EQ(c.Text("edtSetLED1Cadence"), "1010010100001111");
  EXPECT_EQ(c.Text("edtSetLED2Cadence"), "0000000011111111");
  EXPECT_EQ(c.Text("edtSetRepeat"), "7");
  EXPECT_EQ(c["lblSetAlerttime"].caption, "    5.60 Sec.");
  EXPECT_EQ(c["cboSetVoiceSegment"].itemIndex, 2);

  struct SlotView {
    bool on;
    int item;
  };
  const std::array<SlotView, 16> expected = {{{true, 0},
                                              {true, 2},
                                              {false, 0},
                                              {true, 11},
                                              {false, 0},
                                              {false, 12},
                                              {false, 126},
                                              {false, 0},
                                              {false, 0},
                                              {false, 0},
                                              {false, 0},
                                              {false, 0},
                                              {false, 0},
                                              {false, 0},
                                              {false, 0},
                                              {true, 1}}};
  for (int j = 0; j < 16; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(c.Checked(Slot(j).check), expected[j].on);
    EXPECT_EQ(c[Slot(j).combo].enabled, expected[j].on);
    EXPECT_EQ(c[Slot(j).combo].itemIndex, expected[j].item);
  }
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(EditorTest, VoiceSegmentNoneOrPastTheListShowsNoSelection) {
  for (std::uint8_t stored : {0x00, 0x0B, 0xFF}) {
    Byte(1, map::kSetVoiceSegment) = stored;
    editor.Open(1);
    EXPECT_EQ(editor.controls["cboSetVoiceSegment"].itemIndex, -1) << int(stored);
  }
}

TEST_F(EditorTest, OpeningWritesNothingIntoTheImage) {
  const Image before = codeplug.WorkingImage;
  editor.Open(2);
  EXPECT_EQ(codeplug.WorkingImage, before);
}

// ---- Extend ID slots -------------------------------------------------------------------

TEST_F(EditorTest, AlertX3InSlot5OfSetBStores0x83AndDefaultAlert0x80) {
  Byte(2, 16) = 0x80;
  OpenSet(2);
  Select(Slot(5).combo, 2);
  EXPECT_EQ(Byte(2, 16), 0x83);
  EXPECT_EQ(editor.controls["lblSetHelp"].caption,
            "Set the pager Extend ID5 function for Set B to Alert X3");
  Select(Slot(5).combo, 0);
  EXPECT_EQ(Byte(2, 16), 0x80);
}

TEST_F(EditorTest, EveryFunctionItemStoresItsCode) {
  const std::array<std::uint8_t, 12> codes = {0x80, 0x82, 0x83, 0x84, 0x85, 0x86,
                                              0x87, 0x88, 0x89, 0x8A, 0x8B, 0x8C};
  OpenSet(1);
  for (int item = 0; item < 12; ++item) {
    Select(Slot(0xF).combo, item);
    EXPECT_EQ(Byte(1, map::kSetExtendedIds + 0xF), codes[item]) << item;
    EXPECT_EQ(ExtendIdItemForCode(codes[item] & 0x7F), item);
  }
}

TEST_F(EditorTest, StoredCodeOneShowsDefaultAlertUntickedAndTickingMakes0x81) {
  Byte(3, map::kSetExtendedIds + 9) = 0x01;
  OpenSet(3);
  EXPECT_FALSE(editor.controls.Checked(Slot(9).check));
  EXPECT_FALSE(editor.controls[Slot(9).combo].enabled);
  EXPECT_EQ(editor.controls[Slot(9).combo].itemIndex, 0);
  editor.Click(Slot(9).check);
  EXPECT_EQ(Byte(3, map::kSetExtendedIds + 9), 0x81);
  EXPECT_TRUE(editor.controls[Slot(9).combo].enabled);
}

TEST_F(EditorTest, UntickingASlotKeepsItsFunctionCode) {
  Byte(3, map::kSetExtendedIds + 0xA) = 0x87;
  OpenSet(3);
  editor.Click(Slot(0xA).check);
  EXPECT_EQ(Byte(3, map::kSetExtendedIds + 0xA), 0x07);
  EXPECT_FALSE(editor.controls[Slot(0xA).combo].enabled);
}

TEST_F(EditorTest, ClicksWhileFillingChangeNothing) {
  OpenSet(2);
  const Image before = codeplug.WorkingImage;
  editor.EditorReady = false;
  editor.Click(Slot(0).check);
  Select(Slot(1).combo, 5);
  Select("cboSetVoiceSegment", 4);
  EXPECT_EQ(codeplug.WorkingImage, before);
}

TEST_F(EditorTest, SlotHelpNamesTheHexDigitAndTheLaterFunctionNames) {
  Byte(5, map::kSetExtendedIds + 0xC) = 0x8D; // code 13: an item the combo does not hold
  Byte(5, map::kSetExtendedIds + 0xD) = 0xFF; // code 127: past every name
  OpenSet(5);
  editor.Enter(Slot(0xC).combo);
  EXPECT_EQ(editor.controls["lblSetHelp"].caption,
            "Set the pager Extend IDC function for Set E to Voice ON");
  editor.Enter(Slot(0xD).combo);
  EXPECT_EQ(editor.controls["lblSetHelp"].caption,
            "Set the pager Extend IDD function for Set E to ");
  editor.Enter(Slot(0xD).check);
  EXPECT_EQ(editor.controls["lblSetHelp"].caption, "Enable the Extend ID function on the pager");
}

TEST_F(EditorTest, VoiceSegmentStoresItemPlusOne) {
  OpenSet(2);
  Select("cboSetVoiceSegment", 2);
  EXPECT_EQ(Byte(2, map::kSetVoiceSegment), 3);
  EXPECT_EQ(editor.controls["lblSetHelp"].caption,
            "Set the pager Voice Segment for Set B to Voice Segment#3");
  Select("cboSetVoiceSegment", 9);
  EXPECT_EQ(Byte(2, map::kSetVoiceSegment), 10);
}

// ---- Help line -------------------------------------------------------------------------

TEST_F(EditorTest, HelpLineOnEnterNamesTheSetLetter) {
  struct Case {
    const char* control;
    const char* help;
  };
  const Case cases[] = {
      {"edtSetTime", "Enter the pager Time for Set D (Numeric, 1-99)"},
      {"edtSetLED1Cadence", "Enter the pager LED1 Cadence for Set D (Numeric, "
                            "0,000,000,000,000,000-1,111,111,111,111,111)"},
      {"edtSetLED2Cadence", "Enter the pager LED2 Cadence for Set D (Numeric, "
                            "0,000,000,000,000,000-1,111,111,111,111,111)"},
      {"edtSetRepeat", "Enter the pager Repeat count for Set D (Numeric, 0-99)"},
      {"btnExit", "Exit the Set D"},
      {"btnHelp", ""},
  };
  OpenSet(4);
  for (const Case& c : cases) {
    editor.controls.SetCaption("lblSetHelp", "previous");
    editor.Enter(c.control);
    EXPECT_EQ(editor.controls["lblSetHelp"].caption, c.help) << c.control;
  }
}

// ---- Time, cadence and repeat ------------------------------------------------------------

TEST_F(EditorTest, TimeOutOfRangeIsCorrectedWithItsMessage) {
  struct Case {
    const char* typed;
    const char* shown;
    std::uint8_t stored;
    bool message;
  };
  const Case cases[] = {{"0", "1", 0, true},
                        {"", "1", 0, true},
                        {"1", "1", 0, false},
                        {"99", "99", 98, false},
                        {"42", "42", 41, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    OpenSet(3);
    editor.FocusRequest.clear();
    Leave("edtSetTime", c.typed);
    EXPECT_EQ(editor.controls.Text("edtSetTime"), c.shown);
    EXPECT_EQ(Byte(3, map::kSetTime), c.stored);
    if (c.message) {
      ASSERT_EQ(host.shown.size(), 1u);
      EXPECT_EQ(*host.Last(),
                Plain("*** Invalid Time ***\n\nTime is out of range!\nVaild range is 1 to 99."));
      EXPECT_EQ(editor.FocusRequest, "edtSetTime");
    } else {
      EXPECT_TRUE(host.shown.empty());
      EXPECT_EQ(editor.FocusRequest, "");
    }
  }
}

TEST_F(EditorTest, ShortCadenceIsResetTo0x55WithTheErrorBox) {
  OpenSet(2);
  Leave("edtSetLED2Cadence", "010101010101010"); // 15 digits
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(*host.Last(),
            (Message{"Cadence must be a 16 digits binary NO.\nIt will be reset to 0101010101010101",
                     "Wrong cadence pattern", Icon::Error}));
  EXPECT_EQ(editor.controls.Text("edtSetLED2Cadence"), "0101010101010101");
  EXPECT_EQ(Byte(2, map::kSetLed2Cadence), 0x55);
  EXPECT_EQ(Byte(2, map::kSetLed2Cadence + 1), 0x55);
  EXPECT_EQ(editor.FocusRequest, "edtSetLED2Cadence");
}

TEST_F(EditorTest, SixteenDigitCadenceStoresBothBytesHighBitFirst) {
  OpenSet(6);
  Leave("edtSetLED1Cadence", "1111000000001011");
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(Byte(6, map::kSetLed1Cadence), 0xF0);
  EXPECT_EQ(Byte(6, map::kSetLed1Cadence + 1), 0x0B);
  EXPECT_EQ(Byte(6, map::kSetLed2Cadence), codeplug.DefaultImage[map::AlertBlock(6) + 8]);
}

TEST_F(EditorTest, RepeatEmptyBecomesZeroWithoutMessage) {
  OpenSet(1);
  Byte(1, map::kSetRepeat) = 5;
  Leave("edtSetRepeat", "");
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(editor.controls.Text("edtSetRepeat"), "0");
  EXPECT_EQ(Byte(1, map::kSetRepeat), 0);
}

TEST_F(EditorTest, RepeatAboveNinetyNineFromTheImageIsClampedWithItsMessage) {
  Byte(5, map::kSetRepeat) = 200;
  OpenSet(5);
  EXPECT_EQ(editor.controls.Text("edtSetRepeat"), "200");
  editor.FocusRequest.clear();
  editor.Enter("edtSetRepeat");
  editor.Exit("edtSetRepeat");
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(*host.Last(), Plain("*** Invalid Repeat count ***\n\nRepeat count is out of range!"
                                "\nVaild range is 0 to 99."));
  EXPECT_EQ(editor.controls.Text("edtSetRepeat"), "99");
  EXPECT_EQ(Byte(5, map::kSetRepeat), 99);
  EXPECT_EQ(editor.FocusRequest, "edtSetRepeat");
}

TEST_F(EditorTest, TimeAndRepeatRefreshTheFlashTime) {
  OpenSet(1);
  Leave("edtSetTime", "99");
  Leave("edtSetRepeat", "99");
  EXPECT_EQ(editor.controls["lblSetAlerttime"].caption, "784.08 Sec.");
  editor.controls.SetText("edtSetTime", "10");
  EXPECT_FALSE(editor.KeyPress("edtSetTime", '\r'));
  editor.controls.SetText("edtSetRepeat", "3");
  EXPECT_FALSE(editor.KeyPress("edtSetRepeat", '\r'));
  EXPECT_EQ(editor.controls["lblSetAlerttime"].caption, "    2.40 Sec.");
  EXPECT_EQ(Byte(1, map::kSetTime), 9);
  EXPECT_EQ(Byte(1, map::kSetRepeat), 3);
}

TEST_F(EditorTest, KeyFiltersOfThePatternFields) {
  OpenSet(1);
  for (const char* edit : {"edtSetTime", "edtSetRepeat"}) {
    EXPECT_TRUE(editor.KeyPress(edit, '7')) << edit;
    EXPECT_TRUE(editor.KeyPress(edit, '\b')) << edit;
    EXPECT_FALSE(editor.KeyPress(edit, 'a')) << edit;
    EXPECT_FALSE(editor.KeyPress(edit, '-')) << edit;
  }
  for (const char* edit : {"edtSetLED1Cadence", "edtSetLED2Cadence"}) {
    EXPECT_TRUE(editor.KeyPress(edit, '0')) << edit;
    EXPECT_TRUE(editor.KeyPress(edit, '1')) << edit;
    EXPECT_TRUE(editor.KeyPress(edit, '\b')) << edit;
    EXPECT_FALSE(editor.KeyPress(edit, '2')) << edit;
  }
}

TEST_F(EditorTest, EnterKeyOnAShortCadenceResetsIt) {
  OpenSet(4);
  editor.controls.SetText("edtSetLED1Cadence", "1");
  EXPECT_FALSE(editor.KeyPress("edtSetLED1Cadence", '\r'));
  EXPECT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(Byte(4, map::kSetLed1Cadence), 0x55);
}

TEST_F(EditorTest, LedFlashForeverDisablesRepeatAndShowsStayOn) {
  main.SetChecked("chkLEDFlashforever", true);
  editor.Open(2);
  EXPECT_FALSE(editor.controls["edtSetRepeat"].enabled);
  EXPECT_NE(editor.controls["lblSetAlerttime"].caption.find("   Stay on"), std::string::npos);
  main.SetChecked("chkLEDFlashforever", false);
  editor.FollowLedFlashForever();
  EXPECT_TRUE(editor.controls["edtSetRepeat"].enabled);
  EXPECT_EQ(editor.controls["lblSetAlerttime"].caption.find("Stay on"), std::string::npos);
}

// ---- Closing and help ------------------------------------------------------------------

TEST_F(EditorTest, CloseValidatesTheLastPatternFieldOnceMore) {
  OpenSet(3);
  editor.Enter("edtSetTime");
  editor.Enter("edtSetLED2Cadence");
  editor.controls.SetText("edtSetLED2Cadence", "0011");
  editor.controls.SetText("edtSetTime", "0"); // not the last field: left alone
  editor.Enter("btnExit");
  editor.Click("btnExit");
  EXPECT_FALSE(editor.IsOpen());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.Last()->caption, "Wrong cadence pattern");
  EXPECT_EQ(Byte(3, map::kSetLed2Cadence), 0x55);
  EXPECT_EQ(Byte(3, map::kSetLed2Cadence + 1), 0x55);
  editor.Close(); // already closed
  EXPECT_EQ(host.shown.size(), 1u);
}

TEST_F(EditorTest, F10StoresAValidLastFieldSilently) {
  OpenSet(1);
  editor.Enter("edtSetRepeat");
  editor.controls.SetText("edtSetRepeat", "42");
  editor.Click("Return1");
  EXPECT_FALSE(editor.IsOpen());
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(Byte(1, map::kSetRepeat), 42);
}

TEST_F(EditorTest, CloseWithoutAnyPatternFieldValidatesNothing) {
  OpenSet(1);
  editor.controls.SetText("edtSetTime", "0");
  editor.Close();
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(EditorTest, HelpButtonAndF1ShowTheEditorHelp) {
  OpenSet(2);
  editor.Click("btnHelp");
  editor.Click("Help2");
  ASSERT_EQ(shell.helpShown.size(), 2u);
  EXPECT_EQ(shell.helpShown[0], EditorHelpLines());
  EXPECT_EQ(shell.helpShown[1], EditorHelpLines());
  EXPECT_TRUE(editor.IsOpen());
}

} // namespace
} // namespace pw::ui
