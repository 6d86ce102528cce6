// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/scripted_shell.h"
#include "ui/help_texts.h"

namespace pw::ui {
namespace {

enum class Page { Standard, Address, Command };

struct TopicCase {
  Page page;
  std::vector<int> topics;
  const char* title;
  std::size_t lines;
};

const HelpLines& LinesOf(Page page, int topic) {
  switch (page) {
  case Page::Standard:
    return StandardTopicLines(topic);
  case Page::Address:
    return AddressTopicLines(topic);
  case Page::Command:
    break;
  }
  return CommandTopicLines(topic);
}

const std::vector<TopicCase>& AllTopics() {
  static const std::vector<TopicCase> cases = {
      {Page::Standard, {1}, "[ ] Out of Range Indicator", 8},
      {Page::Standard, {3}, "[ ] Invert Data", 5},
      {Page::Standard, {22}, "Battery Charger off", 4},
      {Page::Standard, {23}, "Battery Recharge", 4},
      {Page::Standard, {24}, "Low Battery Recovery", 4},
      {Page::Standard, {25}, "Low Battery Warning", 4},
      {Page::Standard, {26}, "BEEP Frequency", 3},
      {Page::Standard, {27}, "[ ] Reset key", 4},
      {Page::Standard, {28}, "Out of Range|Out of Range Timer", 7},
      {Page::Standard, {29}, "[ ] Out of Range|VIB", 4},
      {Page::Standard, {30}, "[ ] Out of Range|BEEP", 3},
      {Page::Standard, {32}, "[ ] Out of Range|LED", 3},
      {Page::Standard, {33, 34}, "Out of Range|Time and Cadence", 5},
      {Page::Standard, {35}, "Out of Range|Repeat cnt and Alert time", 7},
      {Page::Standard, {36}, "[ ] Power On Alert|VIB", 4},
      {Page::Standard, {37}, "[ ] Power On Alert|BEEP", 3},
      {Page::Standard, {39}, "[ ] Power On Alert|LED", 3},
      {Page::Standard, {40, 41}, "Power On Alert|Time and Cadence", 5},
      {Page::Standard, {42}, "Power On Alert|Repeat cnt and Alert time", 7},
      {Page::Standard, {43}, "Standby Power LED ON", 4},
      {Page::Standard, {44}, "Standby Power LED OFF", 4},
      {Page::Address, {0}, "Serial Number  0000000000", 12},
      {Page::Address, {2}, "Frequency", 13},
      {Page::Address, {4, 9, 34, 45, 56, 67}, "Code", 17},
      {Page::Address, {8, 15, 35, 46, 57, 68}, "[ ] CapCode", 4},
      {Page::Address, {16, 25, 36, 47, 58, 69}, "[ ] Code|D-Alert", 6},
      {Page::Address, {17, 26, 37, 48, 59, 70}, "[ ] Code|VIB", 3},
      {Page::Address, {18, 27, 38, 49, 60, 71}, "[ ] Code|BEEP", 3},
      {Page::Address, {20, 29, 40, 51, 62, 73}, "[ ] Code|LED", 3},
      {Page::Address, {21, 22, 30, 31, 41, 42, 52, 53, 63, 64, 74, 75}, "Code|Time and Cadence", 5},
      {Page::Address, {23, 32, 43, 54, 65, 76}, "Code|Repeat cnt and Alert time", 7},
      {Page::Address,
       {78, 79, 80, 81, 82, 83, 84, 85},
       "Program Pager in that it performs an increment or decrement",
       3},
      {Page::Address, {86}, "[ ] LED Flash stay on", 7},
      {Page::Command, {1}, "Read/Program|Read Pager", 7},
      {Page::Command, {2}, "Read/Program|Program Pager", 5},
      {Page::Command, {3}, "File|Save Codeplug", 6},
      {Page::Command, {4}, "File|Load Codeplug", 8},
      {Page::Command, {5}, "File|Exit", 5},
  };
  return cases;
}

bool Contains(const HelpLines& lines, const std::string& line) {
  for (const std::string& l : lines)
    if (l == line)
      return true;
  return false;
}

// ---- The texts -------------------------------------------------------------------------

TEST(HelpTexts, EveryTopicHasItsTitleAndLineCount) {
  for (const TopicCase& c : AllTopics())
    for (int topic : c.topics) {
      SCOPED_TRACE(std::string(c.title) + " topic " + std::to_string(topic));
      const HelpLines& lines = LinesOf(c.page, topic);
      ASSERT_EQ(lines.size(), c.lines);
      EXPECT_EQ(lines.front(), c.title);
    }
}

TEST(HelpTexts, TopicsWithoutTextGiveNothing) {
  for (int t : {31, 38, 2, 8, 10, 12, 14, 21, 45, -1})
    EXPECT_TRUE(StandardTopicLines(t).empty()) << t;
  for (int t : {19, 28, 39, 50, 61, 72, 24, 33, 44, 55, 66, 77, 1, 3, 5, 10, 13, 87, -1})
    EXPECT_TRUE(AddressTopicLines(t).empty()) << t;
  for (int t : {0, 6, -1})
    EXPECT_TRUE(CommandTopicLines(t).empty()) << t;
}

TEST(HelpTexts, QuotedTextsStandAsWritten) {
  EXPECT_EQ(StandardTopicLines(3),
            (HelpLines{"[ ] Invert Data",
                       "When Invert Data is enabled, '[V]', the incoming data received",
                       "by the pager is inverted.\n",
                       "NOTE: This option should normally be enabled. It should be",
                       "disabled ONLY if the data is NOT inverted by the paging system."}));
  EXPECT_EQ(AddressTopicLines(8),
            (HelpLines{"[ ] CapCode", "When CapCode is enabled, '[V]', the code address",
                       "becomes active in the pager. Also, the fields for the address",
                       "and type become accessible for the code address."}));
  const HelpLines& frequency = AddressTopicLines(2);
  for (const char* line : {"Frequency Ranges", "VHF A Band 143.0000 to 152.9999",
                           "VHF B Band 153.0000 to 162.9999", "VHF C Band 163.0000 to 174.0000",
                           "VHF D Band 137.0000 to 142.9999", "UHF A Band 450.0000 to 459.9999",
                           "UHF B Band 460.0000 to 470.0000", "900        929.0000 to 932.0000\n"})
    EXPECT_TRUE(Contains(frequency, line)) << line;
  EXPECT_TRUE(Contains(StandardTopicLines(28), "The range must between 10 and 600."));
  EXPECT_TRUE(Contains(StandardTopicLines(35), "<Time-5ms>*5*8*<Repeat cnt>/1000"));
  EXPECT_TRUE(Contains(AddressTopicLines(80), "The I-D range is from 0 to 8."));
  EXPECT_TRUE(Contains(CommandTopicLines(1), "F3 is the hot-key equivalent of Read Pager."));
  EXPECT_TRUE(Contains(CommandTopicLines(2), "F4 is the hot-key equivalent of Rrogram Pager."));
  EXPECT_TRUE(Contains(CommandTopicLines(3), "F7 is the hot-key equivalent of Save Codeplug."));
  EXPECT_TRUE(Contains(CommandTopicLines(4), "F8 is the hot-key equivalent of Load Codeplug."));
  EXPECT_TRUE(Contains(CommandTopicLines(5), "F10 is the hot-key equivalent of Exit."));
}

TEST(HelpTexts, CodeTopicListsEveryAddressClassInOrder) {
  const char* classes[][2] = {{"000,000,000", "Illegal Address"},
                              {"000,000,001 to 001,933,312", "Short Addresses"},
                              {"001,933,313 to 002,009,087", "Illegal Addresses"},
                              {"002,009,088 to 002,025,471", "Short Addresses"},
                              {"002,025,472 to 002,101,248", "Illegal Addresses"},
                              {"002,101,249 to 999,999,999", "Long Addresses"}};
  const HelpLines& code = AddressTopicLines(34);
  std::size_t at = 0;
  for (const auto& c : classes) {
    while (at < code.size() && code[at].rfind(c[0], 0) != 0)
      ++at;
    ASSERT_LT(at, code.size()) << c[0];
    EXPECT_NE(code[at].find(c[1]), std::string::npos) << code[at];
    ++at;
  }
}

TEST(HelpTexts, EditorHelpHasBothSectionsAndTheQuotedLines) {
  const HelpLines& lines = EditorHelpLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Set|Time , Cadence , Repeat cnt and Flash time");
  for (const char* line : {"Cadence can only key-in 0 or 1, must contain 16 characters.\n",
                           "<Time-5ms>*5*16*<Repeat cnt>/1000 would tell the programmer",
                           "how many seconds long the flash LED will be.\n\n\n",
                           "Set|Extend ID and Extend ID function",
                           "Extend ID will appear when the D-Alert is disabled.\n",
                           "Run Default Alert.\n", "Run Default Alert 2 times.\n",
                           "Run Default Alert 3 times.\n", "Run Default Alert 4 times.\n",
                           "Run Default Alert 16 times.\n", "Run Default Alert 32 times.\n"})
    EXPECT_TRUE(Contains(lines, line)) << line;
  // The function titles, in the combo box order.
  std::size_t at = 0;
  for (const char* title : {"Default Alert", "Alert X2", "Alert X3", "Alert X4", "Alert X16",
                            "Alert X32", "Shutdown Pager", "Range Alert", "Search Alert",
                            "Selftest Alert", "Outrange ON and Outrange OFF"}) {
    while (at < lines.size() && lines[at] != title)
      ++at;
    ASSERT_LT(at, lines.size()) << title;
  }
}

TEST(HelpTexts, EveryLineFitsTheHelpWindow) {
  std::vector<const HelpLines*> all = {&EditorHelpLines()};
  for (const TopicCase& c : AllTopics())
    all.push_back(&LinesOf(c.page, c.topics.front()));
  for (const HelpLines* lines : all)
    for (const std::string& line : *lines) {
      const std::size_t visible = line.find_last_not_of('\n') + 1;
      EXPECT_LE(visible, 63u) << line; // the longest quoted line
    }
}

// ---- Availability and choice -----------------------------------------------------------

ViewState Topics(int page, int address, int standard, int command) {
  ViewState s;
  s.ActivePage = page;
  s.AddressTopic = address;
  s.StandardTopic = standard;
  s.CommandTopic = command;
  return s;
}

TEST(HelpAvailability, FollowsTheTopicLists) {
  const std::set<int> setButtons = {24, 33, 44, 55, 66, 77};
  for (int t = -1; t <= 90; ++t) {
    const bool listed = t == 0 || t == 2 || t == 4 || t == 8 || t == 9 ||
                        (t >= 15 && t <= 86 && !setButtons.count(t));
    EXPECT_EQ(HelpAvailable(Topics(0, t, -1, -1)), listed) << "address " << t;
  }
  for (int t = -1; t <= 46; ++t)
    EXPECT_EQ(HelpAvailable(Topics(1, -1, t, -1)), t == 1 || t == 3 || (t >= 22 && t <= 44))
        << "standard " << t;
  for (int t = -1; t <= 6; ++t)
    EXPECT_EQ(HelpAvailable(Topics(0, -1, -1, t)), t >= 1 && t <= 5) << "command " << t;
}

TEST(HelpChoice, ActivePageTopicFirstThenCommand) {
  struct Case {
    const char* what;
    ViewState state;
    const char* title;
  };
  const Case cases[] = {
      {"Standard page, standard topic wins", Topics(1, 34, 1, 3), "[ ] Out of Range Indicator"},
      {"Address page, address topic wins", Topics(0, 34, 1, 3), "Code"},
      {"Standard page without its topic: command", Topics(1, 34, -1, 2),
       "Read/Program|Program Pager"},
      {"Address page without its topic: command", Topics(0, -1, 1, 5), "File|Exit"},
      {"Address page, hidden field: command", Topics(0, 10, -1, 4), "File|Load Codeplug"},
  };
  for (const Case& c : cases) {
    const HelpLines lines = BuildHelpText(c.state);
    ASSERT_FALSE(lines.empty()) << c.what;
    EXPECT_EQ(lines.front(), c.title) << c.what;
  }
}

TEST(HelpChoice, ATopicWithoutTextDoesNotFallThroughToTheCommand) {
  EXPECT_TRUE(BuildHelpText(Topics(0, 19, -1, 1)).empty()); // Voice box of Code A
  EXPECT_TRUE(BuildHelpText(Topics(0, 24, -1, 1)).empty()); // Set button of Code A
  EXPECT_TRUE(BuildHelpText(Topics(1, -1, 31, 1)).empty()); // Out of Range Voice
}

// ---- F1 key and the "F1 Help" button ---------------------------------------------------

class HelpControllerTest : public ::testing::Test {
protected:
  HelpControllerTest() {
    Control line;
    line.name = "lblHelp1";
    line.caption = "Enter the pager Time for Code B (Numeric, 1-99)";
    controls.Add(line);
    Control timer;
    timer.name = "tmrTime";
    timer.kind = Kind::Timer;
    controls.Add(timer);
  }
  void Tick(int n) {
    for (int i = 0; i < n; ++i)
      help.tmrTimeTimer();
  }
  std::string LastTitle() const { return shell.helpShown.back().front(); }

  ViewState state;
  Controls controls;
  test::ScriptedShell shell;
  HelpController help{state, controls, shell};
};

TEST_F(HelpControllerTest, F1InCodeCShowsCodeAndKeepsTheTopic) {
  state = Topics(0, 34, -1, -1);
  help.Help2Click();
  ASSERT_EQ(shell.helpShown.size(), 1u);
  EXPECT_EQ(LastTitle(), "Code");
  help.Help2Click(); // after the window closed: the same text once more, not twice
  ASSERT_EQ(shell.helpShown.size(), 2u);
  EXPECT_EQ(shell.helpShown[1], shell.helpShown[0]);
  EXPECT_EQ(state.AddressTopic, 34);
}

TEST_F(HelpControllerTest, F1OnASetButtonShowsNothing) {
  state = Topics(0, 24, -1, -1);
  help.Help2Click();
  EXPECT_TRUE(shell.helpShown.empty());
}

TEST_F(HelpControllerTest, F1OnTheStandardPageAfterItsRefreshShowsTheIndicator) {
  state = Topics(1, -1, 1, -1);
  help.Help2Click();
  ASSERT_EQ(shell.helpShown.size(), 1u);
  EXPECT_EQ(LastTitle(), "[ ] Out of Range Indicator");
}

TEST_F(HelpControllerTest, ClickRightAfterAFieldShowsItsHelpOnceThenNothing) {
  state = Topics(0, 30, -1, -1); // edtTime2
  help.btnF1HelpEnter();
  EXPECT_EQ(controls["lblHelp1"].caption, "");
  EXPECT_TRUE(controls["tmrTime"].running);
  EXPECT_EQ(controls["tmrTime"].interval, 200);
  Tick(1);
  help.btnF1HelpClick();
  ASSERT_EQ(shell.helpShown.size(), 1u);
  EXPECT_EQ(LastTitle(), "Code|Time and Cadence");
  EXPECT_FALSE(controls["tmrTime"].running);
  EXPECT_EQ(state.AddressTopic, -1);
  EXPECT_EQ(state.StandardTopic, -1);
  EXPECT_EQ(state.CommandTopic, -1);
  help.btnF1HelpClick();
  EXPECT_EQ(shell.helpShown.size(), 1u);
}

TEST_F(HelpControllerTest, RestingOnTheButtonBeforeClickingShowsNothing) {
  state = Topics(0, 30, -1, -1);
  help.btnF1HelpEnter();
  Tick(2);
  EXPECT_EQ(state.HelpDwellTicks, 2);
  help.btnF1HelpClick();
  EXPECT_TRUE(shell.helpShown.empty());
  EXPECT_EQ(state.HelpDwellTicks, 0);
  EXPECT_FALSE(controls["tmrTime"].running);
  EXPECT_EQ(state.AddressTopic, -1);
}

TEST_F(HelpControllerTest, F1KeyAfterRestingOnTheButtonClearsTheTopics) {
  state = Topics(0, 30, -1, 2);
  help.btnF1HelpEnter();
  Tick(3);
  help.Help2Click();
  EXPECT_TRUE(shell.helpShown.empty());
  EXPECT_EQ(state.CommandTopic, -1);
  EXPECT_FALSE(controls["tmrTime"].running);
}

TEST_F(HelpControllerTest, LeavingTheButtonStopsTheDwellTimer) {
  state = Topics(0, 30, -1, -1);
  help.btnF1HelpEnter();
  Tick(5);
  help.btnF1HelpExit();
  EXPECT_FALSE(controls["tmrTime"].running);
  EXPECT_EQ(state.HelpDwellTicks, 0);
  Tick(3); // a stopped timer does not count
  EXPECT_EQ(state.HelpDwellTicks, 0);
  help.Help2Click();
  ASSERT_EQ(shell.helpShown.size(), 1u);
  EXPECT_EQ(LastTitle(), "Code|Time and Cadence");
}

} // namespace
} // namespace pw::ui
