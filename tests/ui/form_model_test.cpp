// The main window without Qt: start-up state, the settings file and port menu, the command
// map, the busy states and the Read command against the in-process simulated pager.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "files/data_file.h"
#include "ui/main_controls.h"
#include "ui/form_model.h"
#include "codeplug/flex_address.h"

namespace pw::ui {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Lends the window a port that the test owns, so the test can still look at a port the
// window has replaced and released.
class BorrowedPort final : public SerialPort {
public:
  explicit BorrowedPort(SerialPort& port) : port_(port) {}
  bool Open(std::int32_t b, std::uint8_t p, std::uint8_t d, float s) override {
    return port_.Open(b, p, d, s);
  }
  bool Close() override { return port_.Close(); }
  bool WriteByte(std::uint8_t b) override { return port_.WriteByte(b); }
  bool ReadByte(std::uint8_t& b) override { return port_.ReadByte(b); }
  bool Purge() override { return port_.Purge(); }
  bool IsOpen() const override { return port_.IsOpen(); }

private:
  SerialPort& port_;
};

class FormModelTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-form-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
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
    model->FormCreate();
    model->FormShow();
  }

  void WriteSettings(const std::string& text) { std::ofstream(dir / "CorvaneF.ini") << text; }
  std::string Settings() const { return ReadAll(dir / "CorvaneF.ini"); }
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

TEST_F(FormModelTest, StartStateFollowsTheWindowCreation) {
  Start();
  const Controls& c = model->controls;
  EXPECT_EQ(c["TFormUI"].caption, "Pagewright-Corvane-FLEX-R010209-2015/03/23 (Customer Version)");
  for (const char* name : {"Save1", "Write1", "ToolButton2", "ToolButton4", "btnF4Program",
                           "btnF7SaveAs"})
    EXPECT_FALSE(c[name].enabled) << name;
  for (const char* name : {"rgpCodingFormatBaudRate", "gpbCodeA1", "gpbFrame1", "rgpType",
                           "gpbPagerPassword", "chkMemoryCleanup", "gpbDisCharging", "edtR",
                           "lblFireware_Version", "rgpPLLICOption", "gpbPowerTime"})
    EXPECT_FALSE(c.Shown(name)) << name;
  for (const char* name : {"chkVoice1", "chkVoice6", "chkOutofRangeVoice", "chkPowerAlertVoice",
                           "rgpBandOption", "rgpCapCodeAutoIncrementDecrement", "edtIncDec1",
                           "edtSerialNumber"})
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

TEST_F(FormModelTest, SaveAndProgramShortcutsDoNothingBeforeAReadOrLoad) {
  Start();
  lastPort->ClearLog();
  EXPECT_TRUE(model->Shortcut("F4"));
  EXPECT_TRUE(model->Shortcut("F7"));
  EXPECT_TRUE(lastPort->Written.empty());
  EXPECT_TRUE(shell.saveRequests.empty());
  EXPECT_TRUE(host.shown.empty());
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

TEST_F(FormModelTest, ExitClosesTheWindowAtOnce) {
  Start();
  model->Shortcut("F10");
  EXPECT_EQ(shell.closes, 1);
  model->Click("btnF10Exit");
  EXPECT_EQ(shell.closes, 2);
  EXPECT_TRUE(host.shown.empty());
}

// ---- Save, Load and Program from the window --------------------------------------------------

TEST_F(FormModelTest, SaveNamesTheFileDatAndKeepsABackupWhenReplacing) {
  Start();
  model->Click("btnF3Read");
  ASSERT_TRUE(model->LastTransactionOk());
  shell.saveAnswers = {(dir / "CODE.DAT").string()};
  model->Shortcut("F7");
  ASSERT_TRUE(fs::exists(dir / "CODE.dat"));
  EXPECT_FALSE(fs::exists(dir / "CODE.DAT.bak"));
  ASSERT_EQ(shell.saveRequests.size(), 1u);
  EXPECT_EQ(shell.saveRequests[0].filters,
            (std::vector<std::string>{"Tavo datafile (*.Dat)", "All files (*.*)"}));
  const std::string first = ReadAll(dir / "CODE.dat");
  EXPECT_EQ(first, WriteDataFile(model->codeplug.WorkingImage));

  // Another capcode, saved over the first file with Yes.
  model->Enter("edtCodeA");
  model->controls.SetText("edtCodeA", "1234570");
  model->Exit("edtCodeA");
  host.Clear();
  host.yesAnswers = {true};
  shell.saveAnswers = {(dir / "CODE.dat").string()};
  model->Click("btnF7SaveAs");
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].kind, test::Shown::Kind::YesNo);
  EXPECT_EQ(host.shown[0].message.text,
            (dir / "CODE.dat").string() + " already exists.\nDo you want to replace it ?\n");
  EXPECT_EQ(host.shown[0].message.caption, "Save As - Warning");
  EXPECT_EQ(host.shown[0].message.icon, Icon::Question);
  EXPECT_TRUE(host.shown[0].defaultNo);
  EXPECT_EQ(ReadAll(dir / "CODE.dat.bak"), first);
  EXPECT_NE(ReadAll(dir / "CODE.dat"), first);
  EXPECT_EQ(model->state.CommandTopic, 3) << "the push button records its topic";
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

} // namespace
} // namespace pw::ui
