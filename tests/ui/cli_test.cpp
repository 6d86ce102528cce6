// SPDX-License-Identifier: GPL-3.0-or-later
// pagewright-cli against pagewright-sim over a real pseudo-terminal: read, show, set and
// program as a production bench scripts them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <fstream>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/sha256.h"
#include "link/fake_sysfs.h"
#include "sim/pager_firmware.h"
#include "sim/pager_cradle.h"
#include "support/sim_process.h"
#include "ui/named_fields.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

class CliTest : public ::testing::Test {
public:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-cli-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    link = (dir / "com1").string();
  }
  void TearDown() override { fs::remove_all(dir); }

  test::CommandResult Cli(const std::string& args, bool withPager = true) {
    std::string env = withPager ? "PAGEWRIGHT_COM1=" + link + " " : "PAGEWRIGHT_COM1=" + link + ".missing ";
    env += "XDG_DATA_HOME=" + (dir / "data").string() + " "; // the user's own log stays out
    env += "XDG_CONFIG_HOME=" + (dir / "config").string() + " "; // and so do their settings
    return test::RunCommand(env + test::BinDir() + "/pagewright-cli " + args, dir.string());
  }
  // A data file of the built-in default codeplug, read from a simulated pager.
  std::string ReadDefault(const std::string& name) {
    test::SimProcess sim(link);
    EXPECT_TRUE(sim.Ready());
    std::string path = (dir / name).string();
    test::CommandResult r = Cli("read --port 1 --out " + path);
    EXPECT_EQ(r.status, 0) << r.err;
    return path;
  }
  // A value as `show` lists it, by field name or (with --controls) by control name.
  std::string P(const std::string& name) const { return (dir / name).string(); }
  std::string Value(const std::string& file, const std::string& control) {
    const bool byControl = control.rfind("Set", 0) == 0 ||
                           (control.find('.') == std::string::npos &&
                            std::any_of(control.begin(), control.end(), ::isupper));
    test::CommandResult r = Cli("show " + file + (byControl ? " --controls" : ""), false);
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind(control + "=", 0) == 0) return line.substr(control.size() + 1);
    return "<missing>";
  }

  // A shell line with {cli} for the program, for pipes and redirections.
  test::CommandResult Sh(std::string line) {
    for (std::size_t at; (at = line.find("{cli}")) != std::string::npos;)
      line.replace(at, 5, test::BinDir() + "/pagewright-cli");
    return test::RunCommand("(export XDG_CONFIG_HOME=" + (dir / "config").string() +
                                " XDG_DATA_HOME=" + (dir / "data").string() + "; " + line + ")",
                            dir.string());
  }
  // The built-in default codeplug as a data file, without a pager.
  std::string DefaultFile(const std::string& name) {
    std::ofstream(dir / "empty.json") << "{}";
    EXPECT_EQ(Cli("import " + P("empty.json") + " --out " + P(name), false).status, 0);
    return P(name);
  }

  fs::path dir;
  std::string link;
};

TEST_F(CliTest, ReadWritesADataFileOrTheRawImage) {
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  // The extension decides, in any case; --device names the line directly.
  for (const std::string& args : {"--port 1 --out " + P("pager.Dat"), "--device " + link + " --out " + P("pager.DAT")}) {
    test::CommandResult r = Cli("read " + args);
    ASSERT_EQ(r.status, 0) << args << r.err;
    EXPECT_NE(r.err.find("Codeplug  has  been  Read!"), std::string::npos);
  }
  for (const char* name : {"pager.Dat", "pager.DAT"}) {
    std::string text = Slurp(dir / name);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 130) << name;
    EXPECT_EQ(text.rfind("S0", 0), 0u) << name;
  }
  test::CommandResult r = Cli("read --port 1 --out " + (dir / "pager.bin").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(dir / "pager.bin"), 2048u);
}

TEST_F(CliTest, APortThatCannotBeOpenedIsReportedOnceAndNotRetried) {
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  const int held = open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  // The busy message once, and below it what the system said, with the device.
  const std::pair<bool, std::string> cases[] = {
      {false, "No such device: " + link + ".missing. Is the adapter plugged in?\n"},
      {true, "In use: " + link + " is held by process " + std::to_string(getpid())}};
  for (const auto& [withPager, reason] : cases) {
    test::CommandResult r = Cli("read --port 1 --retries 1000 --out " + P("none.Dat"), withPager);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("\"COM1\" is used by another application now!\n" + reason, 0), 0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
  }
  close(held);
  EXPECT_FALSE(fs::exists(dir / "none.Dat"));
}

TEST_F(CliTest, ShowListsThePersonalityAndSetAppliesTheFieldRules) {
  std::string file = ReadDefault("code.Dat");
  EXPECT_EQ(Value(file, "edtCodeA"), "1234560");
  EXPECT_EQ(Value(file, "edtFrequency"), "930.5125");
  EXPECT_EQ(Value(file, "chkCapCode1"), "1");
  EXPECT_EQ(Value(file, "edtTime1"), "25");

  // A value the rule corrects is stored corrected and reported by the exit status.
  test::CommandResult r = Cli("set " + file + " edtTime1=0", false);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("*** Invalid Time ***"), std::string::npos);
  EXPECT_EQ(Value(file, "edtTime1"), "1");

  r = Cli("set " + file + " edtCadence1=11110000 edtRepeatcount1=7", false);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Value(file, "edtCadence1"), "11110000");
  EXPECT_EQ(Value(file, "edtRepeatcount1"), "7");
}

TEST_F(CliTest, SetRefusesWhatTheControlCannotHoldAndLeavesTheFileAlone) {
  std::string file = ReadDefault("code.Dat");
  std::string before = Slurp(file);
  for (const char* bad : {"edtTime1=123", "edtTime1=1a", "edtCodeC=5000", "edtSerialNumber=CVAFABC123",
                          "edtBEEPFrequency=2000", "nosuchcontrol=1", "chkCapCode3=2"}) {
    test::CommandResult r = Cli("set " + file + " " + bad, false);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_FALSE(r.err.empty()) << bad;
  }
  EXPECT_EQ(Slurp(file), before);

  // Enabling code C first makes its edit available.
  test::CommandResult r = Cli("set " + file + " chkCapCode3=1 edtCodeC=5000", false);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Value(file, "edtCodeC"), "0005000");
}

TEST_F(CliTest, AlertSetsAreShownAndSetThroughTheirEditor) {
  std::string file = ReadDefault("sets.Dat");
  EXPECT_EQ(Value(file, "SetA.edtSetTime"), "25");
  EXPECT_EQ(Value(file, "SetA.edtSetLED1Cadence"), "1010101010101010");
  EXPECT_EQ(Value(file, "SetA.chkExtendID0"), "0 (hidden)") << "hidden while Default Alert is on";
  EXPECT_EQ(Value(file, "set.A.extend.0.enabled"), "0 (hidden)");

  test::CommandResult r =
      Cli("set " + file + " chkDefaultAlert2=0 SetB.edtSetTime=10 SetB.chkExtendID5=1 "
                          "SetB.cboExtendIDfunction5=Alert\\ X3",
          false);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Value(file, "SetB.edtSetTime"), "10");
  EXPECT_EQ(Value(file, "SetB.chkExtendID5"), "1");
  EXPECT_EQ(Value(file, "SetB.cboExtendIDfunction5"), "Alert X3");

  r = Cli("set " + file + " SetC.edtSetTime=5", false);
  EXPECT_EQ(r.status, 2) << "code C is disabled, so its Set button is";
}

TEST_F(CliTest, OptionsACommandDoesNotTakeAreRefusedBeforeAnythingRuns) {
  const std::string out = (dir / "never.Dat").string();
  for (const std::string& args :
       {"read --port 1 --out " + out + " --bogus", "read --port 1 --out " + out + " stray",
        "read --port 1 --port 2 --out " + out, "program --port 1 --in " + out + " --setp A=1",
        "program --port 1 --in " + out + " --step A=1,A=2",
        "program --port 1 --in " + out + " --down", std::string("show"), std::string("show a b"),
        "set " + out, "program --port 1 --in " + out + " --yes --yes",
        "read --port 1 --device " + link + " --out " + out, "read --out " + out,
        "--port 1 read --out " + out, "read --port 0 --out " + out, "diff " + out,
        std::string("import a.json"), std::string("export"), "show " + out + " --controls --controls", std::string("")}) {
    test::CommandResult r = Cli(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_FALSE(r.err.empty()) << args;
  }
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(CliTest, AStepThatWouldRepeatTheAddressesIsAFailureAndLeavesTheFile) {
  std::string file = ReadDefault("same.Dat");
  std::string before = Slurp(file);
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  // A steps onto B's capcode, so nothing is stepped.
  test::CommandResult r = Cli("program --port 1 --in " + file + " --step A=1 --update");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Codeplug  Programmed  Successfully!"), std::string::npos);
  EXPECT_NE(r.err.find("ERROR: Duplicate codes exists. It will be reset to correct value."),
            std::string::npos);
  EXPECT_EQ(Slurp(file), before);
}

TEST_F(CliTest, ProgramStepsTheCapcodesAndUpdatesTheFile) {
  std::string file = ReadDefault("batch.Dat");
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  test::CommandResult r = Cli("program --port 1 --in " + file + " --step A=1,B=1,F=1 --update");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Codeplug  Programmed  Successfully!"), std::string::npos);
  EXPECT_EQ(Value(file, "edtCodeA"), "1234561");
  EXPECT_EQ(Value(file, "edtCodeB"), "1234562");
  EXPECT_EQ(Value(file, "edtCodeF"), "1234566");
}

TEST_F(CliTest, HelpAndVersionGoToStandardOutput) {
  const std::pair<std::string, std::string> cases[] = {
      {"--help", "Commands:"},             {"program --help", "--step"},
      {"read --help", "--device PATH"},    {"diff --help", "0 equal, 1 different"},
      {"--version", " (software stamp 010209)"}};
  for (const auto& [args, expected] : cases) {
    test::CommandResult r = Cli(args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_NE(r.out.find(expected), std::string::npos) << args << r.out;
    EXPECT_EQ(r.err, "") << args;
  }
}

// A codeplug with all six codes on, short and long addresses and edited alert sets.
std::string BusyCodeplug(CliTest& t, std::string (CliTest::*read)(const std::string&)) {
  std::string file = (t.*read)("busy.Dat");
  // A field is named once per set: the slots behind Default Alert are opened in one, closed
  // in the next.
  for (const char* assignments :
       {" code.C.enabled=1 code.D.enabled=1 code.E.enabled=1 code.C.capcode=5000"
        " code.D.capcode=2101249 code.E.capcode=999999999 code.F.capcode=2009088"
        " code.B.default_alert=0 code.B.vibrate=0 set.B.extend.5.enabled=1"
        " set.B.extend.5.function=Alert\\ X3 set.B.extend.A.enabled=1"
        " set.B.extend.A.function=Shutdown\\ Pager set.A.led2_cadence=1111000000001111"
        " set.F.repeat=42 code.D.time=9 out_of_range.timer=120 led_flash_forever=1"
        " standby_led.on=12",
        " set.B.extend.A.enabled=0 code.B.default_alert=1"}) {
    test::CommandResult r = t.Cli("set " + file + assignments, false);
    EXPECT_EQ(r.status, 0) << r.err;
  }
  return file;
}

TEST_F(CliTest, JsonExportAndImportGiveBackTheSameImage) {
  const std::string busy = BusyCodeplug(*this, &CliTest::ReadDefault);
  EXPECT_EQ(Value(busy, "code.E.capcode"), "999999999");
  EXPECT_EQ(Value(busy, "set.B.extend.A.function"), "Shutdown Pager (hidden)");
  std::ofstream(dir / "empty.json") << "{}";
  test::CommandResult r = Cli("import " + P("empty.json") + " --out " + P("default.Dat"), false);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string& file : {busy, (dir / "default.Dat").string()}) {
    r = Cli("export " + file + " --out " + P("copy.json"), false);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string json = Slurp(dir / "copy.json");
    EXPECT_NE(json.find("\"program_version\""), std::string::npos);
    EXPECT_NE(json.find("\"codeplug_stamp\": \"010209\""), std::string::npos);
    r = Cli("import " + P("copy.json") + " --out " + P("copy.Dat"), false);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(dir / "copy.Dat"), Slurp(file)) << file;
    r = Cli("diff " + P("copy.json") + " " + file, false);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    // Standard output carries the same document.
    EXPECT_EQ(Cli("export " + file, false).out, json);
  }
}

TEST_F(CliTest, ImportCorrectsThroughTheRulesAndRefusesWithoutWriting) {
  std::string base = ReadDefault("base.Dat");
  struct Case {
    const char* json;
    int status;
    const char* err;   // part of what stderr says
    const char* field; // and what the written file then holds (null: nothing written)
    const char* value;
  };
  const Case cases[] = {
      {R"({"code": {"A": {"time": 0}}})", 1, "*** Invalid Time ***", "code.A.time", "1"},
      {R"({"out_of_range": {"timer": 33}})", 1, "out_of_range.timer=33 was stored as 30",
       "out_of_range.timer", "30"},
      {R"({"serial_number": "CVAFABC123"})", 1, "serial_number is read-only and stays",
       "serial_number", "0000000000 (read-only)"},
      {R"({"code": {"C": {"capcode": 7777}}})", 0, "", "code.C.capcode", "0007777 (disabled)"},
      {R"({"code": {"A": {"time": 7, "colour": 1}}})", 2, "code.A.colour is not a field", nullptr, nullptr},
      {R"({"code": {"A": {"time": "7x"}}})", 2, "does not accept the character 'x'", nullptr, nullptr},
      {R"({"code": {"A": {"enabled": 1}}})", 2, "code.A.enabled takes true or false", nullptr, nullptr},
      {R"({"code": {"B": {"capcode": 1234565}}})", 2, "equals another enabled code", nullptr, nullptr},
      {R"({"code": )", 2, "is not a JSON document", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    fs::remove(dir / "out.Dat");
    std::ofstream(dir / "in.json") << c.json;
    test::CommandResult r = Cli("import " + P("in.json") + " --base " + base + " --out " + P("out.Dat"), false);
    EXPECT_EQ(r.status, c.status) << c.json << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.json << r.err;
    if (c.field) EXPECT_EQ(Value((dir / "out.Dat").string(), c.field), c.value) << c.json;
    else EXPECT_FALSE(fs::exists(dir / "out.Dat")) << c.json;
  }
}

TEST_F(CliTest, DiffListsTheFieldsThenTheOtherBytes) {
  std::string read = ReadDefault("read.Dat");
  fs::copy_file(read, dir / "edited.Dat");
  ASSERT_EQ(Cli("set " + P("edited.Dat") + " code.A.time=7", false).status, 0);
  test::CommandResult r = Cli("diff " + read + " " + read, false);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  // A saved file no longer carries the firmware version of the pager it was read from.
  r = Cli("diff " + read + " " + P("edited.Dat"), false);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "code.A.time: 25 -> 7\ncode.A.alert_time: 4.00 Sec. -> 1.12 Sec.\n"
                   "0x1E4-0x1E6: 010209 -> 000000\n");
  EXPECT_EQ(Cli("diff " + read + " " + P("missing.Dat"), false).status, 2);
}

// show, export and diff leave every folder as it was, the program's own included.
TEST_F(CliTest, ReadOnlyCommandsWriteNothing) {
  std::string file = ReadDefault("ro.Dat");
  fs::create_directories(dir / "prog");
  fs::create_directories(dir / "home");
  fs::copy_file(test::BinDir() + "/pagewright-cli", dir / "prog/pagewright-cli");
  // Names, sizes and times of everything in the test's folder; creating and deleting a file
  // shows in its folder's time.
  auto listing = [&] {
    std::string all;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.path().filename() != "cmd.out" && e.path().filename() != "cmd.err")
        all += e.path().string() + " " + std::to_string(e.is_regular_file() ? e.file_size() : 0) +
               " " + std::to_string(e.last_write_time().time_since_epoch().count()) + "\n";
    return all + std::to_string(fs::last_write_time(dir).time_since_epoch().count()) + Slurp(file);
  };
  const std::string before = listing();
  for (const std::string& args : {"show " + file, "export " + file, "diff " + file + " " + file}) {
    test::CommandResult r = test::RunCommand(
        "cd " + dir.string() + " && HOME=" + (dir / "home").string() + " XDG_CONFIG_HOME= " + (dir / "prog/pagewright-cli").string() + " " + args,
        dir.string());
    EXPECT_EQ(r.status, 0) << args << r.err;
    EXPECT_EQ(listing(), before) << args;
  }
}

TEST_F(CliTest, ProgramSaysWhyItStoppedAndWhatItCorrected) {
  std::string file = ReadDefault("fw.Dat");
  ASSERT_EQ(Cli("set " + file + " out_of_range.timer=600", false).status, 0);
  struct Case {
    const char* firmware;
    const char* err;
  };
  for (const Case& c : {Case{"010100", "firmware 010100 is older than every patch"},
                        Case{"010203", "only supports 10-120 seconds"}}) {
    test::SimProcess sim(link, {"--firmware", c.firmware});
    ASSERT_TRUE(sim.Ready());
    test::CommandResult r = Cli("program --port 1 --in " + file);
    EXPECT_EQ(r.status, 1) << c.firmware;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

TEST_F(CliTest, AProgramThePagerDidNotStoreEndsWithTheVerifyFailureAndNoStep) {
  std::string file = ReadDefault("kept.Dat");
  std::string before = Slurp(file);
  test::SimProcess sim(link, {"--fault", "no-store"});
  ASSERT_TRUE(sim.Ready());
  test::CommandResult r = Cli("program --port 1 --in " + file + " --step A=1 --update");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Verify Error at EEPROM address 0x"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(", Please Program Pager again"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("Programmed  Successfully"), std::string::npos) << r.err;
  EXPECT_EQ(Slurp(file), before);
}

TEST_F(CliTest, DumpKeepsThePagerAsItIsAndRestoreRefusesADumpOfAnotherPager) {
  // A file that cannot be written stops the command before the pager is asked anything.
  for (const char* command : {"read", "dump"}) {
    test::CommandResult r = Cli(std::string(command) + " --port 1 --out " + P("no/such.Dat"));
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err.rfind("Cannot write file", 0), 0u) << r.err;
  }
  {
    test::SimProcess sim(link, {"--save", P("pager.bin")});
    ASSERT_TRUE(sim.Ready());
    for (const char* out : {"dump.BIN", "dump.Dat"}) {
      test::CommandResult r = Cli("dump --port 1 --quiet --trace " + P("trace.txt") + " --out " + P(out));
      ASSERT_EQ(r.status, 0) << out << r.err;
    }
  }
  EXPECT_EQ(Slurp(dir / "dump.BIN"), Slurp(dir / "pager.bin"));
  // Each carries its digest beside it, as sha256sum writes and checks it.
  EXPECT_EQ(
      test::RunCommand("cd " + dir.string() + " && sha256sum -c dump.BIN.sha256 dump.Dat.sha256",
                       dir.string())
          .status,
      0);
  EXPECT_EQ(Slurp(dir / "dump.Dat").rfind("S0", 0), 0u);
  EXPECT_NE(Slurp(dir / "trace.txt").find("PC> 53 55 6A 56"), std::string::npos);

  std::string other = Slurp(dir / "pager.bin");
  other.replace(0x1ED, 10, "CVAFABC123");
  std::ofstream(dir / "other.bin", std::ios::binary) << other;
  test::SimProcess sim(link, {"--eeprom", P("other.bin"), "--save", P("after.bin")});
  ASSERT_TRUE(sim.Ready());
  test::CommandResult r = Cli("restore --port 1 --in " + P("dump.Dat"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("is the dump of another pager (--force writes it all the same)"),
            std::string::npos) << r.err;
  sim.Stop();
  EXPECT_EQ(Slurp(dir / "after.bin"), other);
}

// Two lines at once; a stop signal finishes the pagers being written on both, logs them and
// sums the batch up. Off a terminal, a line that waits for its pager to leave says so.
TEST_F(CliTest, BatchOnTwoLinesFinishesItsPagersOnAnyStopSignalAndSumsUp) {
  std::string file = ReadDefault("batch.Dat");
  const std::string link2 = P("com2");
  struct Case {
    const char* signal;
    int seconds; // after the start: amid the first pagers' writes, or after them
    std::string lines;
    int status;
    const char* stopped;
  } cases[] = {
      {"INT", 7, "--ports 1-2", 130, "stopped by Ctrl+C\n"},
      {"HUP", 21, "--device " + link + " --device " + link2, 1, "stopped by SIGHUP\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signal);
    fs::remove(dir / "log.csv");
    test::SimProcess sim(link, {"--link", link2});
    for (int i = 0; i < 100 && !fs::exists(link2); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(sim.Ready());
    test::CommandResult r = test::RunCommand(
        "PAGEWRIGHT_COM1=" + link + " PAGEWRIGHT_COM2=" + link2 + " timeout --preserve-status -s " +
            c.signal + " -k 60 " + std::to_string(c.seconds) + " " + test::BinDir() +
            "/pagewright-cli batch " + c.lines + " --in " + file +
            " --step A=1,B=1 --no-verify --log " + P("log.csv"),
        dir.string());
    EXPECT_EQ(r.status, c.status) << r.err;
    for (const char* unit : {"  0000000000  ", "  0000000001  "})
      EXPECT_NE(r.out.find(unit), std::string::npos) << unit << r.out;
    EXPECT_NE(r.out.find(": 1  "), std::string::npos) << "each unit after its port\n" << r.out;
    EXPECT_NE(r.out.find(": programmed 1, failed 0, refused 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("programmed 2 pagers, failed 0, refused 0\nthe next unit gets: "
                         "A=1234562 B=1234563 F=1234565\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with(c.stopped)) << r.out;
    EXPECT_NE(r.err.find("stopping once the pagers on the lines are done"), std::string::npos);
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress line off a terminal";
    EXPECT_EQ(r.err.find("to be taken off the line") != std::string::npos, c.seconds > 20)
        << r.err;
    const std::string log = Slurp(dir / "log.csv");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
    EXPECT_EQ(Value(file, "edtCodeA"), "1234560") << "not --update";
  }
}

// A batch refuses to start, touching no pager, when it could not record its pagers, when two
// lines are one device, or when a row of its manifest would not be programmed as written.
TEST_F(CliTest, BatchRefusesToStartOnWhatItCannotCarryOut) {
  std::string file = ReadDefault("batch.Dat");
  std::ofstream(P("plain")) << "x";
  std::ofstream(P("units.csv")) << "code.A.capcode,frequency,code.B.capcode\n"
                                   "0002000,930.5125,0002001\n"
                                   "0003000,999.0000,0003001\n"
                                   "4000,930.5125,0004001\n";
  ASSERT_EQ(mkfifo(P("units.fifo").c_str(), 0666), 0);
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"--port 1 --manifest " + P("units.fifo"), {"Is a named pipe, not a regular file"}},
      {"--port 1 --log " + P("plain") + "/log.csv",
       {"Cannot write the programming log " + P("plain") + "/log.csv", "nothing was programmed"}},
      {"--device " + link + " --port 1",
       {link + " and COM1 open the same device", "nothing was programmed"}},
      {"--port 1 --manifest " + P("units.csv"),
       {"units.csv: row 3, column 2 (frequency): 999.0000 would be stored as 930.5125",
        "units.csv: row 4, column 1 (code.A.capcode): capcode 4000 has fewer digits",
        "nothing was programmed: the manifest has 2 problems"}},
  };
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(args);
    test::CommandResult r = Cli("batch " + args + " --in " + file + " --count 1");
    EXPECT_EQ(r.status, 2) << r.err;
    for (const std::string& text : expected)
      EXPECT_NE(r.err.find(text), std::string::npos) << text << "\n" << r.err;
  }
  EXPECT_FALSE(fs::exists(dir / "data" / "pagewright" / "programming-log.csv"));
}

// A dump that fails the checks of a Read, or no longer matches its digest, is refused before
// any pager is asked anything; --force does not change that.
TEST_F(CliTest, RestoreRefusesADamagedOrChangedDumpBeforeThePort) {
  Image image = sim::DefaultPagerEeprom();
  const std::string sound(image.begin(), image.end());
  std::string flipped = sound;
  flipped[0x19] ^= 0x01;
  std::string blank(2048, '\xFF');
  blank.replace(0x1ED, 10, "0000000000");
  std::ofstream(dir / "sound.bin", std::ios::binary) << sound;
  std::ofstream(dir / "flipped.bin", std::ios::binary) << flipped;
  std::ofstream(dir / "blank.bin", std::ios::binary) << blank;
  // A digest of the sound image beside an edited one.
  std::ofstream(dir / "edited.bin", std::ios::binary) << flipped;
  std::ofstream(dir / "edited.bin.sha256")
      << Sha256Hex({reinterpret_cast<const std::uint8_t*>(sound.data()), sound.size()})
      << "  edited.bin\n";
  const std::pair<const char*, const char*> cases[] = {
      {"flipped.bin", "fails the checks a Read makes of a pager: page 0 checksum is wrong"},
      {"blank.bin", "fails the checks a Read makes of a pager: page 0 checksum is wrong"},
      {"edited.bin", "does not match its digest"},
  };
  for (const auto& [name, reason] : cases) {
    test::CommandResult r = Cli("restore --port 1 --force --in " + P(name), false);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find(std::string("nothing was written: ") + P(name) + " "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("is used by another application"), std::string::npos) << "no port opened";
  }
}

// SIGINT, SIGTERM and SIGHUP alike stop a Program after the block in flight: no reset, a line
// in the log, every byte in the trace.
TEST_F(CliTest, AnInterruptedProgramIsLoggedAndTracedAndEndsWithItsStatus) {
  std::string file = ReadDefault("code.Dat");
  const std::pair<const char*, int> cases[] = {{"INT", 130}, {"TERM", 1}, {"HUP", 1}};
  for (const auto& [signal, status] : cases) {
    SCOPED_TRACE(signal);
    fs::remove(dir / "log.csv");
    fs::remove(dir / "trace.txt");
    test::SimProcess sim(link);
    ASSERT_TRUE(sim.Ready());
    test::CommandResult r = test::RunCommand(
        "PAGEWRIGHT_COM1=" + link + " timeout --preserve-status -s " + signal + " -k 60 4 " +
            test::BinDir() + "/pagewright-cli program --port 1 --in " + file + " --log " +
            P("log.csv") + " --trace " + P("trace.txt"),
        dir.string());
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_NE(r.err.find("pagewright-cli: interrupted before "), std::string::npos) << r.err;
    const std::string log = Slurp(dir / "log.csv");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    EXPECT_NE(log.find(",interrupted before "), std::string::npos) << log;
    const std::string trace = Slurp(dir / "trace.txt");
    EXPECT_EQ(trace.find("53 55 6E 69 52 53 54"), std::string::npos) << "no reset";
    EXPECT_TRUE(trace.ends_with("\n")) << trace.substr(trace.size() - 200);
  }
}

// ports names a USB adapter as a technician finds it; a COM number the window gave a device
// opens that device from the command line too, and ports says so.
TEST_F(CliTest, PortsListsTheAdaptersAndTheDevicesChosenForComNumbers) {
  test::FakeSysfs machine("cli");
  machine.AddUsb({"ttyUSB0", "usb1/1-2", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART",
                  "A50285BI", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"});
  fs::create_directories(dir / "config" / "pagewright");
  std::ofstream(dir / "config" / "pagewright" / "pagewright.conf") << "com.2=" << link << "\n";
  const std::string root = machine.sys().parent_path().string();

  test::CommandResult r = Cli("ports --root " + root);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* expected :
       {"/dev/ttyUSB0 \u2014 FT232R USB UART", "0403", "6001", "FTDI",
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ftdi_sio"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;

  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  r = Cli("ports --root " + root);
  EXPECT_NE(r.out.find("opened as: COM1, COM2"), std::string::npos) << r.out;
  r = Cli("read --port 2 --out " + P("com2.Dat"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "com2.Dat"));
}

// What the command line reads or appends to that is no plain file: nothing blocks, the
// settings are left out with one word, and a trace it may not write stops it before the port.
TEST_F(CliTest, HostileSettingsAndTraceFilesNeitherBlockNorAreFollowed) {
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  fs::create_directories(dir / "config" / "pagewright");
  const fs::path conf = dir / "config" / "pagewright" / "pagewright.conf";
  ASSERT_EQ(mkfifo(conf.c_str(), 0666), 0);
  const std::string said =
      "Cannot read file \"" + conf.string() + "\": Is a named pipe, not a regular file";
  alarm(60); // a command that blocks ends the run instead of hanging it
  for (const char* args : {"ports --root nowhere", "read --port 1 --out settings.Dat"}) {
    test::CommandResult r = Cli(args);
    EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    const std::string once = "pagewright-cli: " + said + "; the settings are left out\n";
    EXPECT_EQ(r.err.find(once), 0u) << args << ": " << r.err;
    EXPECT_EQ(r.err.find(said, once.size()), std::string::npos) << "said once: " << r.err;
  }
  fs::remove(conf);

  fs::create_directories(dir / "elsewhere");
  ASSERT_EQ(mkfifo(P("pipe.txt").c_str(), 0666), 0);
  fs::create_symlink(dir / "elsewhere" / "made.txt", dir / "dangling.txt");
  const std::pair<const char*, const char*> traces[] = {
      {"pipe.txt", "Is a named pipe, not a regular file"},
      {"dangling.txt", "Is a symbolic link to a file that does not exist"}};
  for (const auto& [name, reason] : traces) {
    test::CommandResult r = Cli("read --port 1 --trace " + P(name) + " --out traced.Dat");
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.err, "Cannot write the serial trace \"" + P(name) + "\": " + reason + "\n");
  }
  alarm(0);
  EXPECT_FALSE(fs::exists(dir / "traced.Dat"));
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

// Whether count commands wait for the lock on the file with inode; false when child ended
// without waiting.
bool WaitingForLock(ino_t inode, int count, pid_t child) {
  const std::string file = ":" + std::to_string(inode) + " ";
  for (int poll = 0; poll < 3000; ++poll) {
    std::ifstream locks("/proc/locks");
    int waiting = 0;
    for (std::string line; std::getline(locks, line);)
      if (line.find("-> FLOCK") != std::string::npos && line.find(file) != std::string::npos)
        ++waiting;
    if (waiting >= count)
      return true;
    if (waitpid(child, nullptr, WNOHANG) == child)
      return false;
    usleep(10000);
  }
  return false;
}

// Two commands changing one data file at once: each waits until the one before it saved and
// then changes what that one saved, so every change lands.
TEST_F(CliTest, CommandsChangingOneDataFileTakeTurnsAndKeepEveryChange) {
  const std::string file = ReadDefault("code.Dat");
  const std::pair<const char*, const char*> changes[] = {{"edtRepeatcount1", "7"},
                                                         {"edtCadence1", "11110000"}};
  for (const auto& [name, value] : changes)
    ASSERT_NE(Value(file, name), value);
  const int held = open(file.c_str(), O_RDONLY | O_CLOEXEC); // the commands must not inherit it
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  struct stat st {};
  ASSERT_EQ(fstat(held, &st), 0);
  std::vector<pid_t> children;
  for (const auto& [name, value] : changes) {
    const std::string command = "XDG_CONFIG_HOME=" + P("config") + " " + test::BinDir() +
                                "/pagewright-cli set " + file + " " + name + "=" + value;
    const pid_t child = fork();
    if (child == 0) {
      execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
      _exit(127);
    }
    children.push_back(child);
    EXPECT_TRUE(WaitingForLock(st.st_ino, int(children.size()), child))
        << name << ": the command went ahead while another one held the file";
  }
  close(held);
  for (pid_t child : children) {
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const auto& [name, value] : changes)
    EXPECT_EQ(Value(file, name), value) << name;
}

// Whatever a message quotes from the input, it stays short, keeps its reason and sends no
// control character or ill-formed byte to the terminal.
bool Printable(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return (b < 0x20 && c != '\n') || b == 0x7F || b == 0xFF || b == 0xFE;
  });
}

TEST_F(CliTest, HostileDocumentsAreRefusedWithShortMessagesAndNothingWritten) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "{\"a\":";
  nested += "1" + std::string(100000, '}');
  struct Case {
    std::string json;
    std::string err; // part of what stderr says
  };
  const Case cases[] = {
      {nested, "nests 9 levels deep; a codeplug document nests at most 8"},
      {"{\"code\": " + deep + "}", "nests 9 levels deep"},
      {R"({"frequency": "930", "frequency": "931"})", "frequency is given twice"},
      {R"({"code.A.time": 30, "code": {"A": {"time": 31}}})", "code.A.time is given twice"},
      {R"({"code": {"A": {"time": 30}}, "code": {"B": {"time": 31}}})", "code is given twice"},
      {R"({"code": {"A": {"cadence": ")" + std::string(1000000, '1') + "\"}}}",
       "code.A.cadence=" + std::string(59, '1') + "\u2026: holds at most"},
      {R"({"code": {"A": {"cadence": "10\u000010"}}})", "=10\\x0010: does not accept the character '\\x00'"},
      {"{\"" + std::string(20000, 'k') + "\": 1}", "\u2026 is not a field of the codeplug"},
      {"{\"code\": \"\xff\xfe\"}", "is not a JSON document: "},
      {"{\"code\": {\"A\": {\"time\": 7}}, \"set\": " + deep.substr(0, 2000), "nests 9 levels"},
  };
  for (const Case& c : cases) {
    std::ofstream(dir / "in.json", std::ios::binary) << c.json;
    test::CommandResult r = Cli("import " + P("in.json") + " --out " + P("out.Dat"), false);
    const std::string shown = r.err.substr(0, 200);
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << shown;
    EXPECT_LT(r.err.size(), 400u) << shown;
    EXPECT_TRUE(Printable(r.err)) << shown;
    EXPECT_FALSE(fs::exists(dir / "out.Dat")) << shown;
  }
}

TEST_F(CliTest, SetRefusesAFieldNamedTwiceAndQuotesValuesSafely) {
  const std::string file = DefaultFile("d.Dat");
  const std::string before = Slurp(file);
  const std::pair<std::string, std::string> cases[] = {
      {"code.A.time=30 code.A.time=31", "code.A.time is given twice"},
      {"edtTime1=30 code.A.time=31", "code.A.time is given twice"},
      {"code.A.time=30 SetA.edtSetTime=5 set.A.time=6", "set.A.time is given twice"},
      {"code.A.cadence=" + std::string(100000, '1'), "holds at most"},
      {"\"$(printf 'code.A.cadence=1\\001\\377')\"", "does not accept the character '\\x01'"},
      {"\"$(printf 'no\\033[2Jsuch=1')\"", "no\\x1B[2Jsuch is not a field"},
  };
  for (const auto& [args, err] : cases) {
    test::CommandResult r = Cli("set " + file + " " + args, false);
    EXPECT_EQ(r.status, 2) << args.substr(0, 80) << r.err.substr(0, 200);
    EXPECT_NE(r.err.find(err), std::string::npos) << args.substr(0, 80) << r.err.substr(0, 200);
    EXPECT_LT(r.err.size(), 300u);
    EXPECT_TRUE(Printable(r.err)) << r.err.substr(0, 200);
  }
  EXPECT_EQ(Slurp(file), before);
}

TEST_F(CliTest, ShowMarksTheSettingsNoDataFileKeeps) {
  const std::string shown = Cli("show " + DefaultFile("d.Dat"), false).out;
  std::set<std::string> marked;
  std::istringstream lines(shown);
  for (std::string line; std::getline(lines, line);)
    if (line.ends_with(" (not in file)")) marked.insert(line.substr(0, line.find('=')));
  std::set<std::string> expected = {"auto_step.enabled", "auto_step.direction"};
  for (char code = 'A'; code <= 'F'; ++code) expected.insert(std::string("code.") + code + ".step");
  EXPECT_EQ(marked, expected) << shown;
}

// A codeplug read from a pager with a serial number, through export and import without a base
// and through standard input and output.
TEST_F(CliTest, ARoundTripKeepsTheSerialNumberAndDashIsStandardInputOrOutput) {
  {
    test::SimProcess sim(link, {"--save", P("pager.bin")});
    ASSERT_TRUE(sim.Ready());
  }
  Image eeprom{};
  const std::string raw = Slurp(dir / "pager.bin");
  ASSERT_EQ(raw.size(), eeprom.size());
  std::copy(raw.begin(), raw.end(), eeprom.begin());
  eeprom = sim::WithSerialNumber(eeprom, "CVAFABC123");
  std::ofstream(dir / "serial.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(eeprom.data()), eeprom.size());
  {
    test::SimProcess sim(link, {"--eeprom", P("serial.bin")});
    ASSERT_TRUE(sim.Ready());
    ASSERT_EQ(Cli("read --port 1 --out " + P("a.Dat")).status, 0);
  }
  // Saved once, the file no longer carries the pager's firmware version, as any saved file.
  const std::string a = P("a.Dat");
  ASSERT_EQ(Cli("set " + a + " code.A.time=25", false).status, 0);
  ASSERT_EQ(Sh("{cli} export " + a + " > " + P("a.json")).status, 0);
  struct Case {
    std::string line;
    int status;
    std::string out; // what standard output holds, or a file to compare it with
  };
  const Case cases[] = {
      {"{cli} export " + a + " --out - | {cli} import - --out " + P("b.Dat") + " && {cli} diff " +
           a + " " + P("b.Dat") + " && cat " + P("b.Dat"),
       0, a},
      {"{cli} import " + P("a.json") + " --out -", 0, a},
      {"{cli} show - < " + a + " | grep serial_number", 0, "serial_number=CVAFABC123 (read-only)\n"},
      {"{cli} diff - " + a + " < " + P("a.json"), 0, ""},
      {"{cli} set - code.A.time=7 < " + a + " | {cli} diff " + a + " -", 1,
       "code.A.time: 25 -> 7\ncode.A.alert_time: 4.00 Sec. -> 1.12 Sec.\n"},
      {"{cli} read --port 1 --out - --quiet | {cli} show - | grep code.A.capcode", 0,
       "code.A.capcode=1234560\n"},
      {"{cli} import - --base - --out " + P("x.Dat") + " < " + P("a.json"), 2, ""},
      {"{cli} diff - - < " + a, 2, ""},
      {"{cli} program --port 1 --in - --update < " + a, 2, ""},
  };
  test::SimProcess sim(link, {"--eeprom", P("serial.bin")});
  ASSERT_TRUE(sim.Ready());
  for (const Case& c : cases) {
    test::CommandResult r = Sh("PAGEWRIGHT_COM1=" + link + " " + c.line);
    EXPECT_EQ(r.status, c.status) << c.line << "\n" << r.err;
    EXPECT_EQ(r.out, c.out.rfind('/', 0) == 0 ? Slurp(c.out) : c.out) << c.line;
  }
  EXPECT_FALSE(fs::exists(dir / "x.Dat"));
}

TEST_F(CliTest, UnknownCommandsAreNamedAndHelpAndDashVAnswerAsTheirOptions) {
  struct Case {
    std::string args;
    int status;
    std::string same; // arguments whose standard output it equals
    std::string err;
  };
  const Case cases[] = {
      {"shw", 2, "", "unknown command 'shw'; did you mean 'show'?\n"},
      {"porgram --port 1", 2, "", "did you mean 'program'?"},
      {"frobnicate", 2, "", "unknown command 'frobnicate'\n"},
      {"--bogus", 2, "", "unknown option '--bogus'"},
      {"help shw", 2, "", "unknown command 'shw'"},
      {"\"$(printf 'sh\\033]0;x\\007')\"", 2, "", "unknown command 'sh\\x1B]0;x\\x07'"},
      {"help", 0, "--help", ""},
      {"help show", 0, "show --help", ""},
      {"help completion", 0, "completion -h", ""},
      {"-V", 0, "--version", ""},
  };
  for (const Case& c : cases) {
    test::CommandResult r = Cli(c.args, false);
    EXPECT_EQ(r.status, c.status) << c.args;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
    if (!c.same.empty()) {
      EXPECT_EQ(r.out, Cli(c.same, false).out) << c.args;
      EXPECT_FALSE(r.out.empty());
    }
  }
  EXPECT_EQ(Cli("frobnicate", false).err.find("did you mean"), std::string::npos);
}

// Every help fits 80 columns, shows what a command cannot do without in its usage line and
// ends with an example of the command.
TEST_F(CliTest, HelpFitsEightyColumnsShowsTheRequiredOptionsAndEndsWithAnExample) {
  const std::pair<std::string, std::string> usage[] = {
      {"read", "Usage: pagewright-cli read (--port N | --device PATH) --out FILE [OPTIONS]"},
      {"program", "--in FILE"},
      {"batch", "--in FILE"},
      {"import", "--out FILE [OPTIONS] FILE.json"},
      {"set", "pagewright-cli set FILE NAME=VALUE..."},
      {"diff", "pagewright-cli diff A B\n"},
      {"completion", "pagewright-cli completion SHELL\n"},
      {"help", "pagewright-cli help [COMMAND]\n"},
      {"pool", "Usage: pagewright-cli pool COMMAND [OPTIONS]\n\nCommands:\n  add  "},
      {"pool add", "Usage: pagewright-cli pool add --code A-F --range FIRST-LAST... [OPTIONS] NAME"},
  };
  const std::string program = Cli("--help", false).out;
  std::vector<std::string> commands;
  std::istringstream listing(program.substr(program.find("Commands:\n") + 10));
  for (std::string line; std::getline(listing, line) && line.rfind("  ", 0) == 0;)
    commands.push_back(line.substr(2, line.find(' ', 2) - 2));
  EXPECT_GE(commands.size(), 13u) << program;
  commands.push_back("");
  for (const std::string& command : commands) {
    const std::string help = Cli(command + " --help", false).out;
    std::istringstream lines(help);
    std::string last;
    for (std::string line; std::getline(lines, line);) {
      EXPECT_LE(line.size(), 80u) << command << ": " << line;
      if (!line.empty()) last = line;
    }
    EXPECT_TRUE(last.rfind("  ", 0) == 0 && last.find("pagewright-cli " + command) != std::string::npos)
        << command << ": " << last;
  }
  for (const auto& [command, expected] : usage)
    EXPECT_NE(Cli(command + " --help", false).out.find(expected), std::string::npos) << command;
}

// bash completes a partial command line from the script the package installs.
TEST_F(CliTest, BashCompletesCommandsOptionsAndValues) {
  const std::string script = test::BinDir() + "/../packaging/completions/pagewright-cli";
  ASSERT_EQ(Slurp(script), Cli("completion bash", false).out);
  for (const char* other : {"_pagewright-cli", "pagewright-cli.fish"})
    EXPECT_EQ(Slurp(test::BinDir() + "/../packaging/completions/" + other),
              Cli(std::string("completion ") + (other[0] == '_' ? "zsh" : "fish"), false).out);
  std::ofstream(dir / "pager.Dat") << "";
  std::ofstream(dir / "pager.json") << "";
  // What bash offers, sorted.
  const std::pair<std::string, std::string> cases[] = {
      {"pagewright-cli sh", "show\n"},
      {"pagewright-cli re", "read\nrestore\n"},
      {"pagewright-cli -", "--help\n--version\n-V\n-h\n"},
      {"pagewright-cli read --de", "--device\n"},
      {"pagewright-cli batch --port 1 --co", "--count\n"},
      {"pagewright-cli show pager.Dat --", "--controls\n--help\n"},
      {"pagewright-cli import pager.json --out pag", "pager.Dat\npager.json\n"},
      {"pagewright-cli ports --root pag", ""},
      {"pagewright-cli program --port ", ""},
      {"pagewright-cli completion ", "bash\nfish\nzsh\n"},
      {"pagewright-cli help ba", "batch\n"},
      {"pagewright-cli pool ", "add\nlist\nrelease\nretire\nshow\n"},
      {"pagewright-cli pool add main-a --r", "--range\n"},
  };
  for (const auto& [line, expected] : cases) {
    const std::string words = line + (line.ends_with(' ') ? "''" : "");
    std::ofstream(dir / "complete.sh") << "source " << script << "\nCOMP_WORDS=(" << words
                                       << ")\nCOMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                                       << "$(complete -p pagewright-cli | awk '{print $3}')\n"
                                       << "for w in \"${COMPREPLY[@]}\"; do echo \"$w\"; done |"
                                       << " LC_ALL=C sort\n";
    test::CommandResult r = Sh("cd " + dir.string() + " && bash complete.sh");
    EXPECT_EQ(r.out, expected) << line << r.err;
  }
}

// The manual page lists every named field, and only those, with a code as X and a slot as N.
TEST_F(CliTest, TheManualPageListsTheNamedFields) {
  const std::string page = Slurp(test::BinDir() + "/../packaging/man/pagewright-cli.1");
  const std::size_t from = page.find(".SH FIELD NAMES"), to = page.find(".SH", from + 1);
  ASSERT_NE(from, std::string::npos);
  std::set<std::string> listed;
  std::istringstream lines(page.substr(from, to - from));
  const std::regex entry(R"(^\.BI? (.*)$)");
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, entry)) continue;
    std::string name;
    std::istringstream runs(m[1].str());
    for (std::string run; runs >> run;) name += run == "\"\"" ? "" : run;
    // Every code and slot the placeholders stand for.
    std::vector<std::string> names = {name};
    for (const auto& [placeholder, values] :
         {std::pair<std::string, std::string>{"X", "ABCDEF"}, {"N", "0123456789ABCDEF"}}) {
      std::vector<std::string> expanded;
      for (const std::string& n : names) {
        const std::size_t at = n.find("." + placeholder + ".");
        if (at == std::string::npos) { expanded.push_back(n); continue; }
        for (char v : values) expanded.push_back(n.substr(0, at + 1) + v + n.substr(at + 2));
      }
      names = expanded;
    }
    listed.insert(names.begin(), names.end());
  }
  std::set<std::string> fields;
  for (const ui::NamedField& f : ui::NamedFields()) fields.insert(f.name);
  EXPECT_EQ(listed, fields);
  EXPECT_NE(page.find("for diff, a codeplug that cannot be read"), std::string::npos);
}

} // namespace
} // namespace pw
