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
#include "ui/form_model.h"

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

} // namespace
} // namespace pw::ui
