// SPDX-License-Identifier: GPL-3.0-or-later
// A batch on the bench: simulated pagers take turns in one cradle on the virtual clock, and
// each is programmed through the headless window as the command line's batch does it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/batch_runner.h"
#include "batch/csv_reader.h"
#include "batch/programming_log.h"
#include "sim/in_process_port.h"
#include "sim/pager_cradle.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "ui/batch_station.h"
#include "ui/form_model.h"
#include "ui/main_controls.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kFirstOnMs = 12'000;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string SerialOf(const Image& e) {
  return std::string(e.begin() + map::kSerialNumber,
                     e.begin() + map::kSerialNumber + map::kSerialNumberLength);
}

// Units of the default pager with these serial numbers; a unit whose number is marked with a
// leading '!' acknowledges its writes and keeps nothing, one marked '?' is a POCSAG pager.
std::vector<sim::PagerFirmware> Units(const std::vector<std::string>& serials) {
  std::vector<sim::PagerFirmware> units;
  for (std::string serial : serials) {
    const char mark = serial.front();
    if (mark == '!' || mark == '?')
      serial.erase(0, 1);
    Image eeprom = sim::WithSerialNumber(sim::DefaultPagerEeprom(), serial);
    if (mark == '?') {
      eeprom[map::kPagerId] = map::kPagerIdPocsag;
      eeprom[map::kPagerId + 1] = std::uint8_t(~map::kPagerIdPocsag);
    }
    units.emplace_back(eeprom);
    units.back().Faults.ignoreWrite = mark == '!';
  }
  return units;
}

class BatchRunnerTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-batch-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    // The user's own log and settings stay out of the tests.
#ifdef _WIN32
    _putenv_s("LOCALAPPDATA", dir.string().c_str());
#else
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
#endif
  }
  void TearDown() override { fs::remove_all(dir); }

  // Pagers come every 40 s, each stays 30 s: long enough for a Program with verify.
  void Start(const std::vector<std::string>& serials, std::uint64_t stayMs = 30'000) {
    firstOn = clock.Ticks() + kFirstOnMs;
    cradle = std::make_unique<sim::PagerCradle>(Units(serials),
                                                sim::CradleSchedule{firstOn, stayMs, 10'000});
    model = std::make_unique<ui::FormModel>(
        host, shell, clock,
        [this](int, Host&) { return std::make_unique<sim::InProcessPagerPort>(*cradle, clock); },
        dir.string());
    model->FormCreate();
    // The data file of the batch: the built-in codeplug, A and B stepped up by one.
    ASSERT_TRUE(model->SaveFile(file.string()));
    ASSERT_TRUE(model->LoadFile(file.string()));
    model->Click("chkAutoIncrementorDecrement");
    for (const char* edit : {"edtIncDec1", "edtIncDec2"}) {
      model->Enter(edit);
      model->controls.SetText(edit, "1");
      model->Exit(edit);
    }
    model->SetProgrammingLog(dir / "log.csv");
    model->SetLogSource(file.string());
    model->UsePort(1);
    station = std::make_unique<ui::FormBatchStation>(*model, file.string());
  }

  BatchReport Run(BatchOptions options) {
    BatchRunner runner(*model->port(), model->link(), clock, *station, options);
    runner.Say = [this](const std::string& line) { said.push_back(line); };
    // A batch waits for pagers for ever; a test that goes wrong gives up after ten minutes.
    const std::uint64_t giveUp = clock.Ticks() + 600'000;
    runner.StopRequested = [this, giveUp] { return clock.Ticks() > giveUp || (stop && stop()); };
    return runner.Run();
  }

  // The log's records without the header: serial number, capcode A written, outcome, capcode
  // A after stepping.
  std::vector<std::vector<std::string>> Logged() {
    std::vector<std::vector<std::string>> rows;
    const std::optional<test::CsvRows> csv = test::ReadCsv(ReadAll(dir / "log.csv"));
    EXPECT_TRUE(csv) << "the log is well-formed CSV";
    for (std::size_t i = 1; csv && i < csv->size(); ++i) {
      const std::vector<std::string>& r = (*csv)[i];
      rows.push_back({r[4], r[9], r[21], r[22]});
    }
    return rows;
  }
  std::string FileCapcode(int k) {
    ui::FormModel reader(host, shell, clock, nullptr, dir.string());
    reader.FormCreate();
    EXPECT_TRUE(reader.LoadFile(file.string()));
    return CapcodesOf(reader.codeplug.WorkingImage)[std::size_t(k - 1)];
  }

  fs::path dir;
  fs::path file = fs::temp_directory_path() / "unused";
  VirtualClock clock;
  test::ScriptedHost host;
  test::ScriptedShell shell;
  std::unique_ptr<sim::PagerCradle> cradle;
  std::unique_ptr<ui::FormModel> model;
  std::unique_ptr<ui::FormBatchStation> station;
  std::vector<std::string> said;
  std::function<bool()> stop;
  std::uint64_t firstOn = 0;
};

TEST_F(BatchRunnerTest, EachPagerGetsTheNextCapcodesAndKeepsItsOwnSerialNumber) {
  file = dir / "batch.Dat";
  // The middle unit's number has lower-case letters, which the image's check would refuse.
  Start({"CVAFABC101", "cvafabc102", "CVAFABC103"});
  const BatchReport report = Run({3, false});

  EXPECT_EQ(report.programmed, 3);
  EXPECT_EQ(report.failed, 0);
  EXPECT_EQ(report.ExitStatus(), 0);
  EXPECT_EQ(Logged(), (std::vector<std::vector<std::string>>{
                          {"CVAFABC101", "1234560", "success", "1234561"},
                          {"cvafabc102", "1234561", "success", "1234562"},
                          {"CVAFABC103", "1234562", "success", "1234563"}}));
  ASSERT_EQ(said.size(), 3u);
  EXPECT_EQ(said[1].substr(0, said[1].find("  ok  ")),
            "2  cvafabc102  A=1234561 B=1234562 F=1234565");
  // Each unit holds its own number and its own capcodes; the file is at the fourth pager's
  // capcodes and keeps the codeplug's own number.
  const char* const serials[] = {"CVAFABC101", "cvafabc102", "CVAFABC103"};
  for (int u = 0; u < 3; ++u) {
    const Image& e = cradle->Units[std::size_t(u)].Eeprom;
    EXPECT_EQ(SerialOf(e), serials[u]);
    EXPECT_EQ(CapcodesOf(e)[0], std::to_string(1234560 + u));
  }
  EXPECT_EQ(FileCapcode(1), "1234563");
  EXPECT_EQ(FileCapcode(2), "1234564");
  EXPECT_EQ(SerialOf(model->codeplug.WorkingImage), "0000000000");
}

TEST_F(BatchRunnerTest, AUnitThatFailsItsVerifyIsFailedAndDoesNotStepTheCapcodes) {
  file = dir / "batch.Dat";
  Start({"CVAFABC101", "!CVAFABC102", "CVAFABC103"});
  const BatchReport report = Run({3, false});

  EXPECT_EQ(report.programmed, 3);
  EXPECT_EQ(report.failed, 1);
  EXPECT_EQ(report.ExitStatus(), 1);
  const auto logged = Logged();
  ASSERT_EQ(logged.size(), 3u);
  EXPECT_EQ(logged[1][0], "CVAFABC102");
  EXPECT_EQ(logged[1][2].rfind("verify: 0x", 0), 0u) << logged[1][2];
  EXPECT_EQ(logged[1][3], "") << "nothing stepped";
  EXPECT_NE(said[1].find("FAILED: verify"), std::string::npos) << said[1];
  EXPECT_EQ(logged[2], (std::vector<std::string>{"CVAFABC103", "1234561", "success", "1234562"}));
  EXPECT_EQ(FileCapcode(1), "1234562");
}

TEST_F(BatchRunnerTest, AUnitRefusedBeforeItsSerialNumberIsReadIsLoggedWithThePolledOne) {
  file = dir / "batch.Dat";
  Start({"?CVAFABC101"});
  const BatchReport report = Run({1, false});
  EXPECT_EQ(report.failed, 1);
  const auto logged = Logged();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0][0], "CVAFABC101");
  EXPECT_NE(logged[0][2], "success");
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0].rfind("1  CVAFABC101  ", 0), 0u) << said[0];
}

TEST_F(BatchRunnerTest, AUnitProgrammedInThisBatchIsRefusedUnlessRepeatsAreAllowed) {
  struct Case {
    bool allowRepeat;
    std::vector<std::string> serials; // as programmed, in order
    int refused;
  } cases[] = {
      {false, {"CVAFABC101", "CVAFABC102"}, 1},
      {true, {"CVAFABC101", "CVAFABC101"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.allowRepeat);
    file = dir / (c.allowRepeat ? "repeat.Dat" : "once.Dat");
    fs::remove(dir / "log.csv");
    said.clear();
    // The technician puts the first unit back by mistake.
    Start({"CVAFABC101", "CVAFABC101", "CVAFABC102"});
    const BatchReport report = Run({2, c.allowRepeat});
    EXPECT_EQ(report.programmed, 2);
    EXPECT_EQ(report.refused, c.refused);
    std::vector<std::string> serials;
    for (const auto& row : Logged())
      serials.push_back(row[0]);
    EXPECT_EQ(serials, c.serials);
    EXPECT_EQ(cradle->Units[1].FramesOf(sim::FrameKind::Write).empty(), !c.allowRepeat);
    if (!c.allowRepeat) {
      EXPECT_EQ(said[1], "pager CVAFABC101 was programmed in this batch already: it is not "
                         "programmed again");
    }
  }
}

TEST_F(BatchRunnerTest, PagersAreNoticedWithinAboutASecondAndAStopNeverCutsAProgram) {
  file = dir / "batch.Dat";
  Start({"CVAFABC101", "CVAFABC102"}, 0); // the unit stays until taken off
  // Asked to stop while the first pager is being written: it is finished, and that is all.
  stop = [this] { return !cradle->Units[0].FramesOf(sim::FrameKind::Write).empty(); };
  BatchReport report = Run({0, false});
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(report.programmed, 1);
  EXPECT_EQ(Logged().size(), 1u);
  EXPECT_EQ(Logged()[0][2], "success");
  // The empty line was polled about once a second: the pager, on the line at 12 s, was
  // asked for its version within the next poll.
  const std::vector<sim::ReceivedFrame> queries =
      cradle->Units[0].FramesOf(sim::FrameKind::VersionQuery);
  ASSERT_FALSE(queries.empty());
  EXPECT_LT(queries[0].at - firstOn, 1'300u);
  EXPECT_EQ(FileCapcode(1), "1234561");

  // Stopping while the line is empty ends the wait at the next poll.
  said.clear();
  cradle->TakeOff(clock.Ticks());
  const std::uint64_t asked = clock.Ticks() + 5'000;
  stop = [&] { return clock.Ticks() >= asked; };
  report = Run({0, false});
  EXPECT_TRUE(report.stopped);
  EXPECT_EQ(report.programmed, 0);
  EXPECT_LT(clock.Ticks() - asked, 1'300u);
}

} // namespace
} // namespace pw
