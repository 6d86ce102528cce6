// pagewright-cli against pagewright-sim over a real pseudo-terminal: read, show, set and
// program as a production bench scripts them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
protected:
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
  std::string Value(const std::string& file, const std::string& control) {
    test::CommandResult r = Cli("show " + file, false);
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
  test::CommandResult r = Cli("read --port 1 --out " + (dir / "pager.Dat").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Codeplug  has  been  Read!"), std::string::npos);
  std::string text = Slurp(dir / "pager.Dat");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 130);
  EXPECT_EQ(text.rfind("S0", 0), 0u);

  r = Cli("read --port 1 --out " + (dir / "pager.bin").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(dir / "pager.bin"), 2048u);
}

TEST_F(CliTest, AReadWithoutAPagerFailsAndWritesNothing) {
  test::CommandResult r = Cli("read --port 1 --out " + (dir / "none.Dat").string(), false);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("\"COM1\" is used by another application now!"), std::string::npos);
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
  EXPECT_EQ(Value(file, "SetA.chkExtendID0"), "<missing>") << "hidden while Default Alert is on";

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
        "set " + out}) {
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

} // namespace
} // namespace pw
