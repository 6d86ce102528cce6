// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing the serial device of a COM number in the window: the dialog's list, the choice
// kept in the program's own settings file (never in "CorvaneF.ini"), PAGEWRIGHT_COM<n>
// winning over it, the port reopened on the device and named in the window; and the folder
// the file dialogs open in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "link/fake_sysfs.h"
#include "sim/in_process_port.h"
#include "sim/pager_firmware.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "support/sim_process.h"
#include "ui/dialog_folder.h"
#include "ui/form_model.h"

namespace pw::ui {
namespace {

namespace fs = std::filesystem;

constexpr const char* kById = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class SerialDeviceChoiceTest : public ::testing::Test {
protected:
  SerialDeviceChoiceTest()
      : machine(::testing::UnitTest::GetInstance()->current_test_info()->name()),
        dir(machine.dev().parent_path() / "program"),
        settingsFile(dir / "config" / "pagewright.conf") {
    fs::create_directories(dir);
    machine.AddUsb({"ttyUSB0", "usb1/1-2", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART",
                    "A50285BI", kById});
    machine.AddBuiltIn("ttyS0", "4");
  }

  // Shows the window; real is true for the system's ports, else the in-process pager.
  void Start(std::map<std::string, std::string> environment = {}, bool real = false) {
    PortFactory own = [this](int n, Host&) -> std::unique_ptr<SerialPort> {
      opened.push_back("COM" + std::to_string(n));
      return std::make_unique<sim::InProcessPagerPort>(pager, clock);
    };
    model = std::make_unique<FormModel>(
        host, shell, clock, real ? [](int n, Host& h) { return MakeSystemSerialPort(n, h); } : own,
        dir.string());
    if (!real)
      model->SetDevicePortFactory(
          [this](int, const std::string& device, Host&) -> std::unique_ptr<SerialPort> {
            opened.push_back(device);
            return std::make_unique<sim::InProcessPagerPort>(pager, clock);
          });
    PortListSource source;
    source.sysRoot = machine.sys();
    source.devRoot = machine.dev();
    model->UseSerialDevices(std::make_unique<SerialDevices>(
        settingsFile, source, [environment](const std::string& name) -> std::optional<std::string> {
          auto it = environment.find(name);
          if (it == environment.end())
            return std::nullopt;
          return it->second;
        }));
    model->FormCreate();
    model->FormShow();
  }

  // File > Setup > Serial Device…: the user picks the row that starts with `row`, then OK (or
  // Cancel); what the dialog showed is kept.
  void Choose(const std::string& row, const char* button = "btnOK") {
    shell.onSerialDevices = [this, row, button] {
      SerialDeviceDialogModel& d = model->deviceDialog();
      for (std::size_t i = 0; i < d.controls["lstDevices"].items.size(); ++i)
        if (d.controls["lstDevices"].items[i].rfind(row, 0) == 0)
          d.controls["lstDevices"].itemIndex = static_cast<int>(i);
      d.Click("lstDevices");
      shown = d.controls;
      d.Click(button);
    };
    model->Click("SerialDevice1");
  }
  std::string Dev(const std::string& name) const { return (machine.dev() / name).string(); }
  std::string Label() const { return model->controls["lblPortDevice"].caption; }

  test::FakeSysfs machine;
  fs::path dir, settingsFile;
  test::ScriptedHost host;
  test::ScriptedShell shell;
  VirtualClock clock;
  sim::PagerFirmware pager;
  std::vector<std::string> opened;
  Controls shown;
  std::unique_ptr<FormModel> model;
};

TEST_F(SerialDeviceChoiceTest, AChosenDeviceIsKeptReopenedAndNamedInTheWindow) {
  Start();
  EXPECT_EQ(opened, (std::vector<std::string>{"COM1"}));
  EXPECT_EQ(Label(), "COM1: " + Dev("ttyS0") + " \u2014 built-in serial port");

  Choose(Dev("ttyUSB0"));
  EXPECT_EQ(shown["lblPort"].caption, "Device for COM1:");
  EXPECT_EQ(
      shown["lstDevices"].items,
      (std::vector<std::string>{Dev("ttyS0") + " \u2014 built-in serial port (own device of COM1)",
                                Dev("ttyUSB0") + " \u2014 FT232R USB UART"}));
  EXPECT_EQ(shown["lstDevices"].itemIndex, 1);
  EXPECT_NE(shown["lblDetails"].caption.find("USB id: 0403:6001\nManufacturer: FTDI"),
            std::string::npos);
  // The stable link is kept, so the adapter is found again on another USB socket.
  EXPECT_EQ(opened.back(), Dev("serial/by-id/") + kById);
  EXPECT_NE(ReadAll(settingsFile).find("com.1=" + Dev("serial/by-id/") + kById + "\n"),
            std::string::npos);
  EXPECT_EQ(ReadAll(dir / "CorvaneF.ini"), "1\n16\n");
  EXPECT_EQ(Label(), "COM1: " + Dev("ttyUSB0") + " \u2014 FT232R USB UART");
  EXPECT_TRUE(host.shown.empty());
  model->deviceDialog().Open(1);
  EXPECT_EQ(model->deviceDialog().controls["lstDevices"].itemIndex, 1) << "the device in use";
  model->deviceDialog().Click("btnCancel");

  // The next start opens the chosen device; another COM number keeps its own.
  opened.clear();
  Start();
  EXPECT_EQ(opened, (std::vector<std::string>{Dev("serial/by-id/") + kById}));
  model->Click("UseCOM2");
  EXPECT_EQ(opened.back(), "COM2");
  EXPECT_EQ(Label(), "COM2: " + Dev("ttyS1") + " \u2014 not connected");

  // The first row gives COM1 back its own device.
  model->Click("UseCOM1");
  Choose(Dev("ttyS0"));
  EXPECT_EQ(opened.back(), "COM1");
  EXPECT_EQ(ReadAll(settingsFile).find("com.1="), std::string::npos);
}

// A chosen device that cannot be opened: the foot says why, as the user (not root) sees it.
TEST_F(SerialDeviceChoiceTest, TheFootSaysWhetherTheDeviceIsMissingOrRefused) {
  const fs::path refused = dir / "refused-tty";
  std::ofstream(refused).put('\n');
  fs::permissions(refused, ::geteuid() == 0 ? fs::perms::owner_read | fs::perms::owner_write
                                            : fs::perms::none);
  struct Case {
    fs::path device;
    std::string foot;
  } cases[] = {
      {dir / "unplugged", "COM1: " + (dir / "unplugged").string() + " \u2014 not connected"},
      {refused, "COM1: " + refused.string() + " \u2014 not open: permission denied"},
  };
  Start(); // CorvaneF.ini exists from here on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    fs::create_directories(settingsFile.parent_path());
    std::ofstream(settingsFile) << "com.1=" << c.device.string() << "\n";
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      // Started by someone who may not use the device.
      if (::geteuid() == 0 && ::setuid(65534) != 0)
        ::_exit(2);
      model.reset();
      Start({}, true);
      const std::string foot = Label();
      const bool written = ::write(out[1], foot.data(), foot.size()) == ssize_t(foot.size());
      ::_exit(written ? 0 : 3);
    }
    ::close(out[1]);
    std::string foot;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
      foot.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(foot, c.foot);
  }
}

TEST_F(SerialDeviceChoiceTest, CancelEnvironmentAndAFailedSaveEachHaveTheirWay) {
  struct Case {
    const char* shows;
    std::map<std::string, std::string> environment;
    const char* button;
    bool settingsWritable;
    std::string lastOpened, label, note, box;
  };
  const std::string adapter = Dev("ttyUSB0") + " \u2014 FT232R USB UART";
  const Case cases[] = {
      {"Cancel changes nothing",
       {},
       "btnCancel",
       true,
       "COM1",
       "COM1: " + Dev("ttyS0") + " \u2014 built-in serial port",
       "",
       ""},
      {"the environment wins over the choice",
       {{"PAGEWRIGHT_COM1", Dev("ttyUSB0")}},
       "btnOK",
       true,
       "COM1",
       "COM1: " + adapter + " (PAGEWRIGHT_COM1)",
       "PAGEWRIGHT_COM1 names " + Dev("ttyUSB0") +
           ": COM1 opens that device while the variable is set.",
       ""},
      {"an unwritable settings file keeps the choice for the session",
       {},
       "btnOK",
       false,
       Dev("serial/by-id/") + kById,
       "COM1: " + adapter,
       "",
       "Cannot write the settings file " + settingsFile.string() +
           ": the device is used until the program ends."},
  };
  for (const Case& c : cases) {
    fs::remove_all(settingsFile.parent_path());
    if (!c.settingsWritable)
      std::ofstream(settingsFile.parent_path()) << "a file where the folder should be";
    host.shown.clear();
    Start(c.environment);
    Choose(Dev("ttyUSB0"), c.button);
    EXPECT_EQ(opened.back(), c.lastOpened) << c.shows;
    EXPECT_EQ(Label(), c.label) << c.shows;
    EXPECT_EQ(shown["lblNote"].caption, c.note) << c.shows;
    EXPECT_EQ(host.shown.empty() ? "" : host.shown[0].message.text, c.box) << c.shows;
  }
  fs::remove_all(settingsFile.parent_path());
}

// The programming log names the device the Program went through, and has its line before the
// user closes the box that tells the end.
TEST_F(SerialDeviceChoiceTest, TheLogNamesTheDeviceOpenedAndIsWrittenBeforeTheBoxCloses) {
  struct Case {
    const char* shows;
    std::map<std::string, std::string> environment;
    bool choose;
    std::string device;
  } cases[] = {
      {"the port's own device", {}, false, PosixDevicePath(1)},
      {"a device chosen in the dialog", {}, true, Dev("serial/by-id/") + kById},
      {"the environment's device", {{"PAGEWRIGHT_COM1", Dev("ttyUSB0")}}, false, Dev("ttyUSB0")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shows);
    fs::remove(settingsFile);
    Start(c.environment);
    if (c.choose)
      Choose(Dev("ttyUSB0"));
    const fs::path log = dir / "log.csv";
    fs::remove(log);
    model->SetProgrammingLog(log);
    model->Click("btnF3Read");
    std::string atTheBox;
    host.onShow = [&](const Message& m) {
      if (m.text == "Codeplug  Programmed  Successfully!")
        atTheBox = ReadAll(log);
    };
    model->Click("btnF4Program");
    host.onShow = nullptr;
    ASSERT_TRUE(model->LastTransactionOk());
    EXPECT_NE(atTheBox.find(",1," + c.device + ",0000000000,010209,window,"), std::string::npos)
        << atTheBox;
    EXPECT_EQ(ReadAll(log), atTheBox);
  }
}

TEST_F(SerialDeviceChoiceTest, RefreshFindsAnAdapterPluggedInMeanwhileAndKeepsTheSelection) {
  Start();
  SerialDeviceDialogModel& d = model->deviceDialog();
  d.Open(1);
  d.controls["lstDevices"].itemIndex = 1;
  d.Click("lstDevices");
  machine.AddUsb({"ttyACM0", "usb2/2-1", "cdc_acm", "2341", "0043", "Arduino", "Uno", "", ""});
  d.Click("btnRefresh");
  EXPECT_EQ(d.controls["lstDevices"].items.size(), 3u);
  EXPECT_EQ(d.controls["lstDevices"].items[1], Dev("ttyACM0") + " \u2014 Uno");
  EXPECT_EQ(d.controls["lstDevices"].itemIndex, 2) << "still the FTDI adapter";
  d.Click("btnCancel");
  EXPECT_FALSE(d.IsOpen());
  EXPECT_FALSE(d.Chosen().has_value());
}

TEST_F(SerialDeviceChoiceTest, APagerIsReadThroughTheChosenDeviceWithoutAnyVariable) {
  const std::string link = (machine.dev().parent_path() / "sim-link").string();
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  machine.PlugInto("ttyUSB0", link);
  Start({}, true);
  Choose(Dev("ttyUSB0"));
  ASSERT_TRUE(model->port() && model->port()->IsOpen());
  model->Click("btnF3Read");
  EXPECT_TRUE(model->LastTransactionOk());
  EXPECT_EQ(host.Texts().back(), "Codeplug  has  been  Read!");
}

TEST(DialogFolder, OpensBesideAWritableProgramElseWhereTheUserWasLast) {
  const fs::path root =
      fs::temp_directory_path() / ("pw-dialog-folder-" + std::to_string(::getpid()));
  fs::remove_all(root);
  const std::string program = (root / "bin").string() + "/";
  const fs::path work = root / "codeplugs", settings = root / "config" / "pagewright.conf";
  fs::create_directories(work);
  const char* home = std::getenv("HOME");
  const std::string noFolder = home && fs::is_directory(home) ? home : program;

  DialogFolder unpacked(program, true, settings);
  unpacked.Remember((work / "a.Dat").string());
  EXPECT_EQ(unpacked.Initial(), program);
  EXPECT_FALSE(fs::exists(settings)) << "nothing to remember beside a writable program";

  DialogFolder installed(program, false, settings);
  EXPECT_EQ(installed.Initial(), noFolder);
  installed.Remember((work / "a.Dat").string());
  EXPECT_EQ(installed.Initial(), work.string());
  EXPECT_EQ(DialogFolder(program, false, settings).Initial(), work.string())
      << "in the next session";
  fs::remove_all(work);
  EXPECT_EQ(DialogFolder(program, false, settings).Initial(), noFolder) << "a folder since removed";
  fs::remove_all(root);
}

} // namespace
} // namespace pw::ui
