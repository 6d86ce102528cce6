// pagewright-cli against pagewright-sim over a real pseudo-terminal: read, show, set and
// program as a production bench scripts them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "link/fake_sysfs.h"
#include "support/sim_process.h"

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
      {"--help", "Subcommands:"},          {"program --help", "--step"},
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
  test::CommandResult r = t.Cli(
      "set " + file +
          " code.C.enabled=1 code.D.enabled=1 code.E.enabled=1 code.C.capcode=5000"
          " code.D.capcode=2101249 code.E.capcode=999999999 code.F.capcode=2009088"
          " code.B.default_alert=0 code.B.vibrate=0 set.B.extend.5.enabled=1"
          " set.B.extend.5.function=Alert\\ X3 set.B.extend.A.enabled=1"
          " set.B.extend.A.function=Shutdown\\ Pager set.B.extend.A.enabled=0"
          " code.B.default_alert=1 set.A.led2_cadence=1111000000001111 set.F.repeat=42"
          " code.D.time=9 out_of_range.timer=120 led_flash_forever=1 standby_led.on=12",
      false);
  EXPECT_EQ(r.status, 0) << r.err;
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
  const std::pair<std::string, std::vector<std::string>> cases[] = {
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

} // namespace
} // namespace pw
