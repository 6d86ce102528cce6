// SPDX-License-Identifier: GPL-3.0-or-later
// The main window without Qt: start-up state, the settings file and port menu, the command
// map, the busy states and the Read command against the in-process simulated pager.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "batch/csv.h"
#include "codeplug/flex_address.h"
#include "files/data_file.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "support/borrowed_port.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "ui/form_model.h"
#include "ui/main_controls.h"
#include "ui/user_settings.h"

namespace pw::ui {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

using test::BorrowedPort;

class FormModelTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-form-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    // The user's own settings, backups and traces stay out of the tests.
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir); }

  // Creates and shows the window; every port the model opens talks to the same pager.
  void Start() {
    model = std::make_unique<FormModel>(
        host, shell, clock,
        [this](int n, Host&) -> std::unique_ptr<SerialPort> {
          portsCreated.push_back(n);
          ports.push_back(std::make_unique<sim::InProcessPagerPort>(pager, clock));
          lastPort = ports.back().get();
          return std::make_unique<BorrowedPort>(*lastPort);
        },
        dir.string());
    model->UseUserSettings(UserSettings::DefaultPath()); // as the window does
    model->FormCreate();
    model->FormShow();
  }

  void WriteSettings(const std::string& text) { std::ofstream(dir / "CorvaneF.ini") << text; }
  // Read as text: the lines end in CR LF on Windows, as text files do there.
  std::string Settings() const {
    std::ifstream f(dir / "CorvaneF.ini");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  bool Enabled(const std::string& name) const { return model->controls[name].enabled; }

  fs::path dir;
  test::ScriptedHost host;
  test::ScriptedShell shell;
  VirtualClock clock;
  sim::PagerFirmware pager;
  std::vector<int> portsCreated;
  std::vector<std::unique_ptr<sim::InProcessPagerPort>> ports;
  sim::InProcessPagerPort* lastPort = nullptr;
  std::unique_ptr<FormModel> model;
};

TEST_F(FormModelTest, FirstStartWritesTheDefaultSettingsAndShowsSixteenPorts) {
  Start();
  EXPECT_EQ(Settings(), "1\n16\n");
  EXPECT_EQ(portsCreated, std::vector<int>{1});
  EXPECT_TRUE(model->controls["UseCOM1"].checked);
  for (int n = 1; n <= 256; ++n) {
    const Control& item = model->controls["UseCOM" + std::to_string(n)];
    EXPECT_EQ(item.visible, n <= 16) << n;
    EXPECT_EQ(item.checked, n == 1) << n;
    EXPECT_EQ(item.caption, "Use COM " + std::to_string(n));
  }
  EXPECT_TRUE(lastPort->IsOpen());
  EXPECT_EQ(lastPort->BaudRate, 1200);
  EXPECT_EQ(lastPort->DataBits, 8);
  EXPECT_EQ(lastPort->Parity, 0);
}

TEST_F(FormModelTest, RememberedPortAndVisibleCountAreUsed) {
  WriteSettings("3\n4\n");
  Start();
  EXPECT_EQ(portsCreated, std::vector<int>{3});
  EXPECT_TRUE(model->controls["UseCOM3"].checked);
  EXPECT_FALSE(model->controls["UseCOM1"].checked);
  EXPECT_TRUE(model->controls["UseCOM4"].visible);
  EXPECT_FALSE(model->controls["UseCOM5"].visible);
}

TEST_F(FormModelTest, SettingsOutsideTheirRangesFallBackToTheDefaults) {
  WriteSettings("999\n300\n");
  Start();
  EXPECT_EQ(model->PortNumber(), 1);
  EXPECT_EQ(model->VisiblePortCount(), 16);
  EXPECT_TRUE(model->controls["UseCOM16"].visible);
}

TEST_F(FormModelTest, ChoosingAPortRewritesTheFileClosesTheOldPortAndOpensTheNew) {
  WriteSettings("3\n4\n");
  Start();
  sim::InProcessPagerPort* old = lastPort;
  model->Click("UseCOM4");
  EXPECT_EQ(old->Closes, 1);
  EXPECT_EQ(Settings(), "4\n4\n");
  EXPECT_EQ(portsCreated, (std::vector<int>{3, 4}));
  EXPECT_TRUE(model->controls["UseCOM4"].checked);
  EXPECT_FALSE(model->controls["UseCOM3"].checked);
}

TEST_F(FormModelTest, ControlSevenChoosesAHiddenPort) {
  WriteSettings("1\n4\n");
  Start();
  EXPECT_FALSE(model->controls["UseCOM7"].visible);
  EXPECT_TRUE(model->Shortcut("Ctrl+7"));
  EXPECT_EQ(model->PortNumber(), 7);
  EXPECT_EQ(Settings(), "7\n4\n");
}

TEST_F(FormModelTest, APortChoiceIsIgnoredWhenTheSettingsFileHasGone) {
  Start();
  fs::remove(dir / "CorvaneF.ini");
  model->Click("UseCOM5");
  EXPECT_EQ(model->PortNumber(), 1);
  EXPECT_TRUE(model->controls["UseCOM1"].checked);
  EXPECT_FALSE(fs::exists(dir / "CorvaneF.ini"));
  EXPECT_EQ(portsCreated.size(), 1u);
}

// A settings file that is no plain file of a sensible size: the window starts with the defaults
// and says so once, with the file and the reason below the text.
TEST_F(FormModelTest, AnUnreadableSettingsFileIsReportedOnceAndTheDefaultsAreUsed) {
  const fs::path conf = dir / "config" / "pagewright" / "pagewright.conf";
  const struct {
    fs::path file;
    std::function<void()> make;
    const char* reason;
  } cases[] = {
      {dir / "CorvaneF.ini", [&] { ASSERT_EQ(::mkfifo((dir / "CorvaneF.ini").c_str(), 0666), 0); },
       "Is a named pipe, not a regular file"},
      {conf,
       [&] {
         fs::create_directories(conf.parent_path());
         fs::create_symlink("/dev/zero", conf);
       },
       "Is a device, not a regular file"},
  };
  ::alarm(20); // a window that blocks ends the run instead of hanging it
  for (const auto& c : cases) {
    c.make();
    Start();
    EXPECT_EQ(model->PortNumber(), 1);
    EXPECT_TRUE(model->VerifyAfterProgram());
    ASSERT_EQ(host.shown.size(), 1u) << c.file;
    EXPECT_EQ(host.shown[0].message.text,
              "The settings cannot be read; the program starts with its defaults.");
    EXPECT_EQ(host.shown[0].message.detail,
              "Cannot read file \"" + c.file.string() + "\": " + c.reason);
    model->FormClose();
    fs::remove(c.file);
    host.Clear();
  }
  ::alarm(0);
}

TEST_F(FormModelTest, StartStateFollowsTheWindowCreation) {
  Start();
  const Controls& c = model->controls;
  EXPECT_EQ(c["TFormUI"].caption, "Pagewright-Corvane-FLEX-R010209-2015/03/23 (Customer Version)");
  for (const char* name :
       {"Save1", "Write1", "ToolButton2", "ToolButton4", "btnF4Program", "btnF7SaveAs"})
    EXPECT_FALSE(c[name].enabled) << name;
  for (const char* name : {"rgpCodingFormatBaudRate", "gpbCodeA1", "gpbFrame1", "rgpType",
                           "gpbPagerPassword", "chkMemoryCleanup", "gpbDisCharging", "edtR",
                           "lblFireware_Version", "rgpPLLICOption", "gpbPowerTime"})
    EXPECT_FALSE(c.Shown(name)) << name;
  for (const char* name :
       {"chkVoice1", "chkVoice6", "chkOutofRangeVoice", "chkPowerAlertVoice", "rgpBandOption",
        "rgpCapCodeAutoIncrementDecrement", "edtIncDec1", "edtSerialNumber"})
    EXPECT_FALSE(c[name].enabled) << name;
  EXPECT_EQ(c["lblCodeplug_Version"].caption, "R010209");
  EXPECT_EQ(c["edtFrame1"].text, "000");
  EXPECT_EQ(c["edtIncDec3"].text, "0");
  EXPECT_EQ(c["edtCodeC"].maxLength, 9);
  EXPECT_EQ(c["edtPowerLEDOFF"].maxLength, 3);
  EXPECT_EQ(c["edtCadence2"].maxLength, 8);
  EXPECT_EQ(c["edtBEEPFrequency"].maxLength, 4);
  EXPECT_EQ(c["edtPagerPassword"].passwordChar, '*');
  EXPECT_EQ(c["ToolButton1"].caption, "            Load Codeplug            ");
  EXPECT_EQ(c["ToolButton3"].hint, "Read Pager (F3)");
}

TEST_F(FormModelTest, WindowCreationHidesAndLimitsEveryListedControl) {
  Start();
  const Controls& c = model->controls;
  for (const char* name : {"rgpCodingFormatBaudRate",
                           "lblVersion",
                           "Label2",
                           "Label3",
                           "gpbCodeA1",
                           "gpbFrame1",
                           "gpbBatteryCycle1",
                           "gpbCodeB1",
                           "gpbFrame2",
                           "gpbBatteryCycle2",
                           "rgpType",
                           "gpbPagerPassword",
                           "gpbDisplayEntry",
                           "chkMemoryCleanup",
                           "chkBeeponBadData",
                           "chkCustomDisplay",
                           "chkDownloadPassword",
                           "chkPRCCharacterSet",
                           "gpbPowerCadence",
                           "gpbPowerLED",
                           "gpbPowerTime",
                           "rgpOutofRangeTimer",
                           "gpbChargeroffRecharg",
                           "gpbLowBattery",
                           "gpbBEEPFrequency",
                           "gpbDisCharging",
                           "gpbCharging",
                           "edtR",
                           "edtN",
                           "lblR",
                           "lblN",
                           "chkSpur",
                           "lblFirewareVersion",
                           "lblFireware_Version",
                           "rgpPLLICOption"})
    EXPECT_FALSE(c[name].visible) << name;
  for (const char* name : {"gpbStandard", "chkOutofRangeIndicator", "chkInvertData",
                           "gpbPoweronStandby", "gpbStandbyPowerLED", "lblCodeplug_Version"})
    EXPECT_TRUE(c[name].visible) << name;
  EXPECT_FALSE(c.Checked("chkAutoIncrementorDecrement"));
  EXPECT_EQ(c["rgpCapCodeAutoIncrementDecrement"].itemIndex, 0);

  struct Limit {
    int maxLength;
    std::vector<std::string> names;
  };
  const Limit limits[] = {
      {2,
       {"edtTime1", "edtTime6", "edtRepeatcount1", "edtRepeatcount6", "edtOutofRangeTime",
        "edtOutofRangeRepeatcnt", "edtPowerAlertTime", "edtPowerAlertRepeatcnt", "edtPowerLEDON"}},
      {8,
       {"edtCadence1", "edtCadence6", "edtPowerCadence", "edtOutofRangeCadence",
        "edtPowerAlertCadence"}},
      {9, {"edtCodeA", "edtCodeB", "edtCodeC", "edtCodeF"}},
      {3, {"edtPowerTime", "edtOutofRangeTimer", "edtPowerLEDOFF"}},
      {4,
       {"edtUp1", "edtUp4", "edtDown1", "edtDown4", "edtChargeroff", "edtRecharg",
        "edtLowBatteryRecovery", "edtLowBatteryWarning", "edtBEEPFrequency"}},
      {10, {"edtSerialNumber", "edtPagerPassword"}},
      {12, {"edtDisplayEntry"}},
      {1, {"edtIncDec1", "edtIncDec6"}},
  };
  for (const Limit& limit : limits)
    for (const std::string& name : limit.names)
      EXPECT_EQ(c[name].maxLength, limit.maxLength) << name;
  EXPECT_EQ(c["edtFrequency"].maxLength, 8);
  EXPECT_TRUE(c["edtSerialNumber"].upperCase);
}

// One line per entry of a menu: name, caption, shortcut, and whether it is hidden.
std::vector<std::string> MenuLines(const Controls& c, const std::string& menu) {
  std::vector<std::string> out;
  for (const std::string& name : c.Children(menu)) {
    const Control& item = c[name];
    std::string line = item.kind == Kind::Separator ? "-" : name + " '" + item.caption + "'";
    if (!item.shortcut.empty())
      line += " " + item.shortcut;
    if (!item.visible)
      line += " hidden";
    out.push_back(line);
  }
  return out;
}

TEST_F(FormModelTest, MenuTreeHoldsEveryItemInOrder) {
  Start();
  const Controls& c = model->controls;
  using Lines = std::vector<std::string>;
  EXPECT_EQ(
      MenuLines(c, "MainMenu1"),
      (Lines{"File1 '&File'", "Options1 'Options'", "ReadProgram1 '&Read/Program'",
             "ShortCuts1 'ShortCuts' hidden", "Help1 '&Help' hidden", "Superkey 'Super' hidden",
             "LoadDefault 'Load Default' hidden", "CodePlugVersion1 'CodePlug Version' hidden",
             "PgUpPgDn1 'PgUp-PgDn' hidden", "password1 'password' hidden"}));
  EXPECT_EQ(MenuLines(c, "File1"),
            (Lines{"Open1 '&Load Codeplug ' F8", "-", "Save1 '&Save Codeplug ' F7", "-",
                   "Setup1 '&Setup'", "-", "OpenProgrammingLog1 '&Open Programming Log'",
                   "PagerHistory1 'Pager &History...'", "BenchName1 '&Bench Name...'", "-",
                   "About1 '&About'", "-", "Exit1 'E&xit' F10", "- hidden",
                   "SaveSUniRWorSUniRR1 'Save SUniRW or SUniRR' hidden",
                   "LoadPatchFileHex 'Load Patch File Hex' hidden"}));
  EXPECT_EQ(MenuLines(c, "Options1"),
            (Lines{"FLEXAddressOption 'FLEX &Address' Ctrl+A", "StandardOption '&Standard' Ctrl+S",
                   "FLEXTerminal1 'FLEX(tm) &Terminal' Ctrl+T hidden", "-",
                   "VerifyAfterProgramming1 '&Verify after Programming'",
                   "BackUpBeforeProgramming1 '&Back Up Pager before Programming'",
                   "SerialTrace1 'Serial T&race'", "-", "OpenBackupsFolder1 '&Open Backups Folder'",
                   "OpenTracesFolder1 'Open Traces &Folder'"}));
  EXPECT_EQ(MenuLines(c, "ReadProgram1"),
            (Lines{"Read1 '&Read Pager' F3", "-", "Write1 '&Program Pager' F4", "- hidden",
                   "Read_Patch 'Read Patch' hidden", "Program_Patch 'Program Patch' hidden",
                   "- hidden", "Read_Codeplug 'Read Codeplug' hidden",
                   "Program_Codeplug 'Program Codeplug' hidden"}));
  EXPECT_EQ(MenuLines(c, "Help1"), (Lines{"Help2 '&Help' F1"}));
  EXPECT_EQ(MenuLines(c, "CodePlugVersion1"), (Lines{"Version1 'Version' Alt+V"}));
  EXPECT_EQ(MenuLines(c, "PgUpPgDn1"),
            (Lines{"PageUp1 'Page Up' PgUp", "PageDown1 'Page Down' PgDown"}));

  EXPECT_EQ(MenuLines(c, "Superkey"),
            (Lines{"SUj0key 'SUj0' hidden", "SUjVkey 'Read FW Version' Ctrl+Alt+V",
                   "SUniRFmkey 'SUniRF>' Ctrl+Alt+M", "SUniRFXkey 'SUniRFX' Ctrl+Alt+X",
                   "SUniRFIkey 'SUniRFI' Ctrl+Alt+I", "SUjPkey 'SUjP' hidden",
                   "SUjDkey 'Write Pager Default CP' Ctrl+Alt+D",
                   "SUniRSTkey 'Pager Reset' Ctrl+Alt+T", "SUniRB1 'SUniRB' hidden",
                   "SUniWBkey 'SUniWB' hidden", "SUniRW1 'Read EEP'", "SUniWW1 'Write EEP'",
                   "SUniRR1 'Read RAM'", "SUniWR1 'Write RAM'", "NACKkey 'NACK'"}));
  EXPECT_EQ(MenuLines(c, "SUniRB1"),
            (Lines{"SUniRBAF06key 'SUniRBAF06' Shift+Ctrl+V",
                   "SUniRB940Akey 'SUniRB940A' Shift+Ctrl+P", "SUniRBkey 'SUniRB' Shift+Ctrl+R"}));
  EXPECT_EQ(MenuLines(c, "SUniRW1"),
            (Lines{"SUniRWkey 'Read EEP'", "SUniRWAF06key 'Read CP Version'"}));
  EXPECT_EQ(MenuLines(c, "SUniWW1"),
            (Lines{"SUniWWkey 'Write EEP'", "WW0100011FFF1 'WW0100_011F_FF' hidden",
                   "WW0100011FAA1 'WW0100_011F_AA' hidden",
                   "SUniWWkey_cal_checksum 'Write EEP Auto cal checksum'",
                   "SUniWWonevaluekey 'Write EEP one value'"}));
  EXPECT_EQ(MenuLines(c, "SUniRR1"), (Lines{"SUniRRkey 'Read RAM'"}));
  EXPECT_EQ(MenuLines(c, "SUniWR1"), (Lines{"SUniWRkey 'Write RAM'"}));

  // The device choice and the capcode pools, then the 256 ports.
  const Lines setup = MenuLines(c, "Setup1");
  ASSERT_EQ(setup.size(), 259u);
  EXPECT_EQ(setup[0], "SerialDevice1 'Serial &Device\u2026'");
  EXPECT_EQ(setup[1], "CapcodePools1 'Capcode &Pools...'");
  EXPECT_EQ(setup[2], "-");
  EXPECT_EQ(setup[3], "UseCOM1 'Use COM 1' Ctrl+1");
  EXPECT_EQ(setup[11], "UseCOM9 'Use COM 9' Ctrl+9");
  EXPECT_EQ(setup[12], "UseCOM10 'Use COM 10'");
  EXPECT_EQ(setup[258], "UseCOM256 'Use COM 256' hidden");
}

TEST_F(FormModelTest, ToolBarAndPushButtonsCarryTheirCaptionsAndHints) {
  Start();
  const Controls& c = model->controls;
  struct Tool {
    const char *name, *caption, *hint;
  };
  const Tool tools[] = {
      {"ToolButton1", "            Load Codeplug            ", "Load Codeplug(F8)"},
      {"ToolButton2", "Save Codeplug", "Save Codeplug(F7)"},
      {"ToolButton3", "Read Pager", "Read Pager (F3)"},
      {"ToolButton4", "Program Pager", "Program Pager (F4)"},
      {"ToolButton5", "Exit", "Exit (F10)"}};
  for (const Tool& t : tools) {
    EXPECT_EQ(c[t.name].caption, t.caption) << t.name;
    EXPECT_EQ(c[t.name].hint, t.hint) << t.name;
  }
  std::vector<std::string> buttons;
  for (const std::string& name : c.Children("TFormUI"))
    if (c[name].kind == Kind::Button)
      buttons.push_back(name + " '" + c[name].caption + "'");
  EXPECT_EQ(buttons, (std::vector<std::string>{"btnF1Help 'F1 Help'", "btnF3Read 'F3 Read'",
                                               "btnF4Program 'F4 Program'", "btnF7SaveAs 'F7 Save'",
                                               "btnF8Load 'F8 Load'", "btnF10Exit 'F10 Exit'"}));
  EXPECT_EQ(c["TSFLEXAddressOption"].caption, "FLEX Address Option");
  EXPECT_EQ(c["TSStandardOption"].caption, "Standard Option");
  for (const char* timer : {"tmrTime", "tmrTime1", "Retry_Timer"})
    EXPECT_FALSE(c[timer].running) << timer;
}

TEST_F(FormModelTest, SaveAndProgramShortcutsDoNothingBeforeAReadOrLoad) {
  Start();
  lastPort->ClearLog();
  EXPECT_TRUE(model->Shortcut("F4"));
  EXPECT_TRUE(model->Shortcut("F7"));
  EXPECT_TRUE(lastPort->Written.empty());
  EXPECT_TRUE(shell.saveRequests.empty());
  EXPECT_TRUE(host.shown.empty());
}

TEST_F(FormModelTest, OpenProgrammingLogHandsAnExistingLogToTheDesktop) {
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string restore = saved ? saved : "";
  ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
  const std::string log = (dir / "pagewright" / "programming-log.csv").string();
  Start();
  struct Case {
    bool exists, opens;
    std::vector<std::string> opened, shown;
  };
  const Case cases[] = {
      {false, true, {}, {"No programming log yet: it begins with the first Program.\n" + log}},
      {true, true, {log}, {}},
      {true, false, {log}, {"Cannot open the programming log\n" + log}},
  };
  for (const Case& c : cases) {
    if (c.exists)
      fs::create_directories(dir / "pagewright"), std::ofstream(log) << "Time\r\n";
    shell.opened.clear(), host.Clear();
    shell.openSucceeds = c.opens;
    model->Click("OpenProgrammingLog1");
    EXPECT_EQ(shell.opened, c.opened);
    EXPECT_EQ(host.Texts(), c.shown);
    for (const test::Shown& s : host.shown)
      EXPECT_EQ(s.message.caption, "") << "a plain box";
  }
  if (saved)
    ::setenv("XDG_DATA_HOME", restore.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
}

TEST_F(FormModelTest, ServiceShortcutsSendNothingAndShowNothing) {
  Start();
  lastPort->ClearLog();
  for (const char* keys : {"Ctrl+Alt+T", "Ctrl+Alt+V", "Ctrl+Alt+D", "Shift+Ctrl+R"})
    EXPECT_TRUE(model->Shortcut(keys)) << keys;
  model->Click("NACKkey");
  model->Click("SUniRWkey");
  EXPECT_TRUE(lastPort->Written.empty());
  EXPECT_TRUE(host.shown.empty());
  EXPECT_TRUE(pager.Frames.empty());
}

TEST_F(FormModelTest, PageUpAndPageDownWrapAround) {
  Start();
  EXPECT_EQ(model->state.ActivePage, 0);
  model->Shortcut("PgUp");
  EXPECT_EQ(model->state.ActivePage, 1);
  EXPECT_EQ(model->controls["PCAll"].itemIndex, 1);
  model->Shortcut("PgDown");
  EXPECT_EQ(model->state.ActivePage, 0);
  model->Shortcut("Ctrl+S");
  EXPECT_EQ(model->state.ActivePage, 1);
  EXPECT_EQ(model->state.StandardTopic, 1);
  model->Shortcut("Ctrl+A");
  EXPECT_EQ(model->state.ActivePage, 0);
  EXPECT_EQ(model->state.AddressTopic, 2);
}

// Records the enabled state of the command controls the first time the window repaints.
class BusyWatchingHost : public test::ScriptedHost {
public:
  void PumpMessages() override {
    if (controls && !seen) {
      seen = true;
      for (const char* name : {"ToolButton3", "btnF3Read", "btnF8Load", "File1", "Superkey"})
        disabledWhileBusy = disabledWhileBusy && !(*controls)[name].enabled;
    }
    test::ScriptedHost::PumpMessages();
  }
  const Controls* controls = nullptr;
  bool seen = false;
  bool disabledWhileBusy = true;
};

TEST_F(FormModelTest, F3ReadsThePagerAndEnablesSaveAndProgram) {
  BusyWatchingHost busyHost;
  model = std::make_unique<FormModel>(
      busyHost, shell, clock,
      [this](int, Host&) { return std::make_unique<sim::InProcessPagerPort>(pager, clock); },
      dir.string());
  busyHost.controls = &model->controls;
  model->FormCreate();
  model->FormShow();
  pager.Eeprom[map::AddressWord1(1) + 2] ^= 0x01; // the pager holds another capcode A
  std::uint8_t* page0 = pager.Eeprom.data();
  std::uint16_t sum = InvertedSum16(page0, 0xFE);
  pager.Eeprom[map::kPage0ChecksumHi] = sum >> 8;
  pager.Eeprom[map::kPage0ChecksumLo] = sum & 0xFF;

  EXPECT_TRUE(model->Shortcut("F3"));
  ASSERT_TRUE(model->LastTransactionOk()) << (busyHost.Last() ? busyHost.Last()->text : "");
  EXPECT_EQ(busyHost.Last()->text, "Codeplug  has  been  Read!");
  EXPECT_TRUE(busyHost.seen);
  EXPECT_TRUE(busyHost.disabledWhileBusy);
  for (const char* name : {"Save1", "Write1", "ToolButton2", "ToolButton4", "btnF4Program",
                           "btnF7SaveAs", "ToolButton3", "btnF3Read", "File1"})
    EXPECT_TRUE(model->controls[name].enabled) << name;
  EXPECT_EQ(model->codeplug.WorkingImage[map::AddressWord1(1) + 2],
            pager.Eeprom[map::AddressWord1(1) + 2]);
  EXPECT_EQ(busyHost.Progress(), 0);
}

TEST_F(FormModelTest, AFailedReadRestoresTheWindowAndKeepsSaveDisabled) {
  Start();
  pager.Faults.silent = true;
  model->Click("btnF3Read");
  EXPECT_FALSE(model->LastTransactionOk());
  EXPECT_FALSE(model->controls["btnF7SaveAs"].enabled);
  EXPECT_TRUE(model->controls["btnF3Read"].enabled);
  EXPECT_TRUE(model->controls["TFormUI"].enabled);
}

TEST_F(FormModelTest, AFailedReadOrProgramAfterAReadKeepsSaveAndProgramEnabled) {
  Start();
  model->Click("btnF3Read");
  ASSERT_TRUE(model->LastTransactionOk());
  pager.Faults.silent = true;
  const char* const restored[] = {"ToolButton1", "ToolButton2",  "ToolButton3", "ToolButton4",
                                  "ToolButton5", "btnF1Help",    "btnF3Read",   "btnF4Program",
                                  "btnF7SaveAs", "btnF8Load",    "btnF10Exit",  "File1",
                                  "Options1",    "ReadProgram1", "Superkey",    "TFormUI"};
  for (const char* command : {"btnF3Read", "btnF4Program"}) {
    SCOPED_TRACE(command);
    model->Click(command);
    EXPECT_FALSE(model->LastTransactionOk());
    for (const char* name : restored)
      EXPECT_TRUE(model->controls[name].enabled) << name;
  }
}

// An illegal capcode left in edtCodeA: the keys, menu items and tool buttons validate it and
// give up; the F3 Read and F8 Load buttons go ahead (the field's Exit ran when the focus moved).
TEST_F(FormModelTest, PendingIllegalCapcodeStopsEveryCommandButTheReadAndLoadButtons) {
  Start();
  model->Click("btnF3Read");
  ASSERT_TRUE(model->LastTransactionOk());
  struct Case {
    const char* what;
    bool shortcut;
    const char* key;
    bool runs;
  };
  const Case cases[] = {
      {"F3 key", true, "F3", false},
      {"Read tool button", false, "ToolButton3", false},
      {"Read menu item", false, "Read1", false},
      {"F3 Read button", false, "btnF3Read", true},
      {"F4 key", true, "F4", false},
      {"Program tool button", false, "ToolButton4", false},
      {"F4 Program button", false, "btnF4Program", false},
      {"F7 key", true, "F7", false},
      {"Save tool button", false, "ToolButton2", false},
      {"F7 Save button", false, "btnF7SaveAs", false},
      {"F8 key", true, "F8", false},
      {"Load tool button", false, "ToolButton1", false},
      {"F8 Load button", false, "btnF8Load", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    model->Enter("edtCodeA");
    model->controls.SetText("edtCodeA", "0");
    lastPort->ClearLog();
    shell.saveRequests.clear();
    shell.openRequests.clear();
    if (c.shortcut)
      EXPECT_TRUE(model->Shortcut(c.key));
    else
      model->Click(c.key);
    const bool ran =
        !lastPort->Written.empty() || !shell.saveRequests.empty() || !shell.openRequests.empty();
    EXPECT_EQ(ran, c.runs);
    EXPECT_TRUE(model->controls["btnF3Read"].enabled);
  }
}

TEST_F(FormModelTest, ExitClosesTheWindowAtOnce) {
  Start();
  model->Shortcut("F10");
  EXPECT_EQ(shell.closes, 1);
  model->Click("btnF10Exit");
  EXPECT_EQ(shell.closes, 2);
  EXPECT_TRUE(host.shown.empty());
}

// ---- Save, Load and Program from the window --------------------------------------------------

TEST_F(FormModelTest, SaveKeepsTheDatNameAsChosenAndABackupWhenReplacing) {
  Start();
  model->Click("btnF3Read");
  ASSERT_TRUE(model->LastTransactionOk());
  shell.saveAnswers = {(dir / "CODE.DAT").string()};
  model->Shortcut("F7");
  ASSERT_TRUE(fs::exists(dir / "CODE.DAT"));
  EXPECT_FALSE(fs::exists(dir / "CODE.dat")) << "the extension in any case is kept";
  EXPECT_FALSE(fs::exists(dir / "CODE.DAT.bak"));
  ASSERT_EQ(shell.saveRequests.size(), 1u);
  EXPECT_EQ(shell.saveRequests[0].filters,
            (std::vector<std::string>{"Tavo datafile (*.Dat)", "All files (*.*)"}));
  const std::string first = ReadAll(dir / "CODE.DAT");
  EXPECT_EQ(first, WriteDataFile(model->codeplug.WorkingImage));

  // Another capcode, saved over the first file with Yes.
  model->Enter("edtCodeA");
  model->controls.SetText("edtCodeA", "1234570");
  model->Exit("edtCodeA");
  host.Clear();
  host.yesAnswers = {true};
  shell.saveAnswers = {(dir / "CODE.DAT").string()};
  model->Click("btnF7SaveAs");
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].kind, test::Shown::Kind::YesNo);
  EXPECT_EQ(host.shown[0].message.text,
            (dir / "CODE.DAT").string() + " already exists.\nDo you want to replace it ?\n");
  EXPECT_EQ(host.shown[0].message.caption, "Save As - Warning");
  EXPECT_EQ(host.shown[0].message.icon, Icon::Question);
  EXPECT_TRUE(host.shown[0].defaultNo);
  EXPECT_EQ(ReadAll(dir / "CODE.DAT.bak"), first);
  EXPECT_NE(ReadAll(dir / "CODE.DAT"), first);
  EXPECT_EQ(model->state.CommandTopic, 3) << "the push button records its topic";
}

TEST_F(FormModelTest, ACodeplugItsOwnLoaderWouldRefuseIsNeverSaved) {
  struct Case {
    const char* codeplug;
    std::function<void(Image&)> spoil;
    const char* message;
  } cases[] = {
      {"band family 3", [](Image& i) { i[map::kBandByte] = 0x06; },
       "File Data Error,please Load new file codeplug or Read Pager again."},
      {"a POCSAG pager ID", [](Image& i) { i[map::kPagerId] = 0x0F, i[map::kPagerId + 1] = 0xF0; },
       "Pager ID is POCSAG,Please load file again"},
      {"no PATCH signature", [](Image& i) { i[map::kPatchSignature] = 'X'; },
       "The file does not have data, Please Update File"},
  };
  Start();
  model->Click("btnF3Read");
  const Image read = model->codeplug.WorkingImage;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codeplug);
    for (bool fromDialog : {true, false}) {
      model->codeplug.WorkingImage = read;
      c.spoil(model->codeplug.WorkingImage);
      host.Clear();
      if (fromDialog) {
        shell.saveAnswers = {(dir / "code.dat").string()};
        model->Shortcut("F7");
      } else {
        EXPECT_FALSE(model->SaveFile((dir / "code.dat").string()));
      }
      ASSERT_NE(host.Last(), nullptr);
      EXPECT_EQ(host.Last()->text, c.message);
      EXPECT_FALSE(fs::exists(dir / "code.dat"));
    }
  }
}

TEST_F(FormModelTest, AnsweringNoAsksForAnotherName) {
  Start();
  model->Click("btnF3Read");
  std::ofstream(dir / "old.dat") << "keep me";
  shell.saveAnswers = {(dir / "old.dat").string(), (dir / "new").string()};
  host.yesAnswers = {false};
  model->Shortcut("F7");
  ASSERT_EQ(shell.saveRequests.size(), 2u);
  EXPECT_TRUE(shell.saveRequests[1].fileName.empty());
  EXPECT_EQ(ReadAll(dir / "old.dat"), "keep me");
  EXPECT_FALSE(fs::exists(dir / "old.dat.bak"));
  EXPECT_TRUE(fs::exists(dir / "new.dat"));
}

TEST_F(FormModelTest, SaveRefusesWhatItMayNotReplaceBeforeAskingAboutIt) {
  Start();
  model->Click("btnF3Read");
  std::ofstream(dir / "locked.Dat") << "keep me";
  fs::permissions(dir / "locked.Dat", fs::perms::owner_read);
  ASSERT_EQ(::mkfifo((dir / "pipe.dat").c_str(), 0666), 0);
  const struct {
    const char* chosen;
    const char* reason;
  } cases[] = {
      {"locked.Dat", "The file is read-only"},
      {"pipe.dat", "Is a named pipe, not a regular file"},
  };
  for (const auto& c : cases) {
    host.Clear();
    host.yesAnswers = {true};
    shell.saveAnswers = {(dir / c.chosen).string()};
    model->Click("btnF7SaveAs");
    ASSERT_EQ(host.shown.size(), 1u) << c.chosen;
    EXPECT_EQ(host.shown[0].message.text,
              "Cannot write file \"" + (dir / c.chosen).string() + "\": " + c.reason);
    EXPECT_EQ(host.shown[0].message.caption, "Error");
  }
  EXPECT_EQ(ReadAll(dir / "locked.Dat"), "keep me");
  EXPECT_TRUE(fs::is_fifo(dir / "pipe.dat"));
  EXPECT_FALSE(fs::exists(dir / "locked.dat"));
}

TEST_F(FormModelTest, LoadReplacesTheImageAndEnablesSaveAndProgram) {
  Start();
  Codeplug other;
  const std::uint8_t stamp[] = {'0', '0', '0', '1', '0', '0'};
  std::copy(std::begin(stamp), std::end(stamp), other.WorkingImage.begin() + map::kSoftwareStamp);
  other.WorkingImage[map::AlertBlock(1) + map::kBlockRepeat] = 9;
  other.UpdatePageChecksums();
  std::ofstream(dir / "other.Dat", std::ios::binary) << WriteDataFile(other.WorkingImage);
  shell.openAnswers = {(dir / "other.Dat").string()};
  model->Click("btnF8Load");
  EXPECT_TRUE(host.shown.empty()) << host.Texts()[0];
  EXPECT_EQ(model->codeplug.WorkingImage[map::AlertBlock(1) + map::kBlockRepeat], 9);
  EXPECT_EQ(model->controls.Text("edtRepeatcount1"), "9");
  EXPECT_EQ(model->controls["lblCodeplug_Version"].caption, "R000100");
  for (const char* name : {"Save1", "Write1", "btnF7SaveAs", "btnF4Program"})
    EXPECT_TRUE(model->controls[name].enabled) << name;
}

TEST_F(FormModelTest, AFailedLoadChangesNothing) {
  Start();
  const Image before = model->codeplug.WorkingImage;
  std::string text = WriteDataFile(before);
  text[text.find("S1") + 10] = 'a'; // a lower-case digit fails the record check
  std::ofstream(dir / "bad.Dat", std::ios::binary) << text;
  shell.openAnswers = {(dir / "bad.Dat").string()};
  model->Shortcut("F8");
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].message.text, "*** File I/O Error ***\nError checking on record failed!");
  EXPECT_EQ(model->codeplug.WorkingImage, before);
  EXPECT_FALSE(model->controls["btnF7SaveAs"].enabled);

  host.Clear();
  shell.openAnswers = {(dir / "missing.Dat").string()};
  model->Shortcut("F8");
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_NE(host.shown[0].message.text.find("missing.Dat"), std::string::npos);
  EXPECT_EQ(model->codeplug.WorkingImage, before);
}

TEST_F(FormModelTest, ProgramStepsTheCapcodesForTheNextPagerWhenSteppingIsOn) {
  Start();
  model->Click("btnF3Read");
  model->Click("chkAutoIncrementorDecrement");
  EXPECT_TRUE(model->controls["edtIncDec1"].enabled);
  EXPECT_FALSE(model->controls["edtIncDec3"].enabled) << "code C is not enabled";
  for (const char* edit : {"edtIncDec1", "edtIncDec2", "edtIncDec6"}) {
    model->Enter(edit);
    model->controls.SetText(edit, "2");
    model->Exit(edit);
  }
  model->Click("btnF4Program");
  ASSERT_TRUE(model->LastTransactionOk()) << (host.Last() ? host.Last()->text : "");
  EXPECT_EQ(model->controls.Text("edtCodeA"), "1234562");
  EXPECT_EQ(model->controls.Text("edtCodeB"), "1234563");
  EXPECT_EQ(model->controls.Text("edtCodeF"), "1234567");
  // The pager got the codes as they were before the step.
  Codeplug programmed;
  programmed.WorkingImage = pager.Eeprom;
  AddressState state;
  EXPECT_EQ(ShowCode(programmed, 1, state, false), "1234560");
  EXPECT_EQ(model->state.CommandTopic, 2);
}

TEST_F(FormModelTest, OptionsAreRememberedForTheNextSession) {
  Start();
  struct Case {
    const char* item;
    bool before;
    const char* line;
  } cases[] = {{"VerifyAfterProgramming1", true, "options.verify=0"},
               {"BackUpBeforeProgramming1", false, "options.backup=1"},
               {"SerialTrace1", false, "options.trace=1"}};
  for (const Case& c : cases) {
    EXPECT_EQ(model->controls[c.item].checked, c.before) << c.item;
    model->Click(c.item);
  }
  model->FormClose();
  Start();
  const std::string conf = ReadAll(dir / "config" / "pagewright" / "pagewright.conf");
  for (const Case& c : cases) {
    EXPECT_EQ(model->controls[c.item].checked, !c.before) << c.item;
    EXPECT_NE(conf.find(c.line), std::string::npos) << conf;
  }
  EXPECT_FALSE(model->VerifyAfterProgram());
  EXPECT_EQ(model->BackupDirectory(), dir / "data" / "pagewright" / "backups");
  ASSERT_NE(model->Trace(), nullptr);
  EXPECT_EQ(model->Trace()->Path().parent_path(), dir / "data" / "pagewright" / "traces");
}

TEST_F(FormModelTest, ProgramVerifiesBacksUpAndTracesAsTheOptionsSay) {
  struct Case {
    const char* shows;
    bool pagerKeepsWrites;
    bool verify;
    bool backupAndTrace;
    bool ok;
    const char* last; // the start of the last box
  } cases[] = {
      {"a pager that keeps nothing ends with the verify error and no stepping", false, true, false,
       false, "Verify Error at EEPROM address 0x"},
      {"without verify it goes unnoticed", false, false, false, true,
       "Codeplug  Programmed  Successfully!"},
      {"a backup and a trace are left in the user's folders", true, true, true, true,
       "Codeplug  Programmed  Successfully!"},
  };
  const fs::path data = dir / "data" / "pagewright";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    fs::remove_all(dir / "config");
    pager = sim::PagerFirmware();
    Start();
    model->Click("btnF3Read");
    model->Click("chkAutoIncrementorDecrement");
    model->Enter("edtIncDec1");
    model->controls.SetText("edtIncDec1", "2");
    model->Exit("edtIncDec1");
    model->SetVerifyAfterProgram(c.verify);
    if (c.backupAndTrace) {
      model->Click("BackUpBeforeProgramming1");
      model->Click("SerialTrace1");
    }
    pager.Faults.ignoreWrite = !c.pagerKeepsWrites;
    host.Clear();
    model->Click("btnF4Program");

    EXPECT_EQ(model->LastTransactionOk(), c.ok);
    EXPECT_EQ(model->LastOutcome().ending, c.ok ? Ending::Success : Ending::Mismatch);
    ASSERT_NE(host.Last(), nullptr);
    EXPECT_EQ(host.Last()->text.rfind(c.last, 0), 0u) << host.Last()->text;
    EXPECT_EQ(host.Last()->icon, c.ok ? Icon::None : Icon::Error);
    EXPECT_EQ(model->controls.Text("edtCodeA"), c.ok ? "1234562" : "1234560");
    if (!c.backupAndTrace)
      continue;
    const fs::path backup = model->LastOutcome().backup;
    EXPECT_EQ(backup.parent_path(), data / "backups");
    EXPECT_TRUE(fs::exists(backup));
    model->StopTrace();
    const std::string trace = ReadAll(*fs::directory_iterator(data / "traces"));
    EXPECT_NE(trace.find("PC> 53 55 6A 56"), std::string::npos) << trace.substr(0, 400);
    EXPECT_NE(trace.find("PC> 53 55 6E 69 52 53 54"), std::string::npos) << "the reset";
  }
}

} // namespace
} // namespace pw::ui

namespace pw::ui {
namespace {

TEST_F(FormModelTest, EveryProgramLeavesALineInTheLogAndALogThatFailsIsToldOnce) {
  Start();
  model->Click("btnF3Read");
  model->Click("btnF4Program");
  const std::string log = ReadAll(dir / "data" / "pagewright" / "programming-log.csv");
  const std::string line = log.substr(log.find("\r\n") + 2);
  for (const std::string& column : {",1," + PosixDevicePath(1) + ",0000000000,010209,window,",
                                    std::string(",success,,,,,,\r\n")})
    EXPECT_NE(line.find(column), std::string::npos) << column << " in " << line;

  // A log that cannot be written is told once, as a warning, and the pager is programmed.
  model->SetProgrammingLog(dir / "no such folder" / "log.csv");
  host.Clear();
  model->Click("btnF4Program");
  model->Click("btnF4Program");
  EXPECT_TRUE(model->LastTransactionOk());
  EXPECT_FALSE(model->LastLogWrite().ok);
  int warnings = 0;
  for (const test::Shown& s : host.shown)
    warnings += s.message.text.rfind("Cannot write the programming log", 0) == 0;
  EXPECT_EQ(warnings, 1);
}

// The window's Program goes into the ledger its settings name, under the bench they name, from
// the same record as the log's line; Pager History finds it by serial number and by capcode.
TEST_F(FormModelTest, AProgramIsOnRecordInTheLedgerAndInPagerHistory) {
  fs::create_directories(dir / "config" / "pagewright");
  const fs::path ledgerFile = dir / "shop.sqlite3";
  std::ofstream(dir / "config" / "pagewright" / "pagewright.conf")
      << "bench=north\nledger=sqlite:" << ledgerFile.string() << "\n";
  Start();
  model->Click("btnF3Read");
  model->Click("btnF4Program");
  ASSERT_TRUE(model->LastTransactionOk());
  EXPECT_EQ(model->LastLedgerWarning(), "");
  ASSERT_TRUE(model->LedgerRecorder());
  ledger::Ledger& l = model->LedgerRecorder()->Primary();
  EXPECT_EQ(l.Shown(), "sqlite:" + ledgerFile.string());
  const std::vector<ledger::Attempt> records = l.History("0000000000");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].bench, "north");
  EXPECT_EQ(records[0].state, ledger::kSuccess);
  const std::string log = ReadAll(dir / "data" / "pagewright" / "programming-log.csv");
  EXPECT_EQ(CsvLine(LogFields(records[0].record)), log.substr(log.find("\r\n") + 2));
  EXPECT_TRUE(l.Verify().ok);

  PagerHistoryModel history(&l);
  for (const std::string& query :
       std::vector<std::string>{"0000000000", " " + records[0].record.written.capcodes[0]}) {
    history.Search(query);
    ASSERT_EQ(history.Rows().size(), 1u) << query;
    EXPECT_EQ(history.Rows()[0][1], "north");
    EXPECT_EQ(history.Status(), "1 record");
  }
  history.Search("NOSUCHPAGR");
  EXPECT_EQ(history.Status(), "0 records");
}

} // namespace
} // namespace pw::ui
