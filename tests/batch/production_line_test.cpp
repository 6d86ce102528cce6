// SPDX-License-Identifier: GPL-3.0-or-later
// The production line on the bench: several lines, each its own cradle of simulated pagers,
// its own virtual clock and its own headless window, run on threads of their own and sharing
// only the coordinator; and the manifest that gives each unit its own values.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "batch/batch_runner.h"
#include "batch/manifest.h"
#include "batch/production_line.h"
#include "batch/programming_log.h"
#include "sim/in_process_port.h"
#include "sim/pager_cradle.h"
#include "support/scripted_host.h"
#include "support/scripted_shell.h"
#include "ui/batch_station.h"
#include "ui/form_model.h"
#include "ui/named_fields.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A port that takes the pager off its cradle once the pager has received its first write
// block: the technician pulls it in the middle of its Program.
class PullingPort final : public SerialPort {
public:
  PullingPort(sim::PagerCradle& cradle, VirtualClock& clock, int unit)
      : inner_(cradle, clock), cradle_(cradle), clock_(clock), unit_(unit) {}
  bool Open(std::int32_t b, std::uint8_t p, std::uint8_t d, float s) override {
    return inner_.Open(b, p, d, s);
  }
  bool Close() override { return inner_.Close(); }
  bool ReadByte(std::uint8_t& b) override { return inner_.ReadByte(b); }
  bool Purge() override { return inner_.Purge(); }
  bool IsOpen() const override { return inner_.IsOpen(); }
  bool SetReadTimeout(std::uint32_t ms) override { return inner_.SetReadTimeout(ms); }
  bool WriteByte(std::uint8_t b) override {
    const bool ok = inner_.WriteByte(b);
    if (!pulled_ && unit_ >= 0 && cradle_.UnitOnLine() == unit_)
      for (const sim::ReceivedFrame& f : cradle_.Units[std::size_t(unit_)].Frames)
        if (f.kind == sim::FrameKind::Write) {
          cradle_.TakeOff(clock_.Ticks());
          pulled_ = true;
          break;
        }
    return ok;
  }

private:
  sim::InProcessPagerPort inner_;
  sim::PagerCradle& cradle_;
  VirtualClock& clock_;
  int unit_;
  bool pulled_ = false;
};

// One line of the bench, all of it its own.
struct BenchLine {
  VirtualClock clock;
  test::ScriptedHost host;
  test::ScriptedShell shell;
  std::unique_ptr<sim::PagerCradle> cradle;
  std::unique_ptr<ui::FormModel> model;
  std::unique_ptr<ui::FormBatchStation> station;
  std::unique_ptr<BatchRunner> runner;
  std::vector<std::string> said;
  BatchReport report;
};

class ProductionLineTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-line-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
#ifdef _WIN32
    _putenv_s("LOCALAPPDATA", dir.string().c_str());
#else
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
#endif
  }
  void TearDown() override {
    fs::remove_all(dir);
  }

  // lines lines of unitsPerLine pagers each, serial numbers counted on across the lines; on
  // line pullLine the pager pullUnit is pulled in the middle of its writes.
  void Build(int lineCount, int unitsPerLine, int pullLine = -1, int pullUnit = -1) {
    file = dir / "batch.Dat";
    if (!fs::exists(file)) { // the data file of the batch: the built-in codeplug
      test::ScriptedHost h;
      test::ScriptedShell s;
      VirtualClock c;
      ui::FormModel m(h, s, c, nullptr, dir.string());
      m.FormCreate();
      ASSERT_TRUE(m.SaveFile(file.string()));
    }
    const std::vector<sim::PagerFirmware> all =
        sim::NumberedUnits(sim::WithSerialNumber(sim::DefaultPagerEeprom(), "CVAFABC100"), "010209",
                           lineCount * unitsPerLine);
    for (int l = 0; l < lineCount; ++l) {
      auto line = std::make_unique<BenchLine>();
      BenchLine& b = *line;
      std::vector<sim::PagerFirmware> units(all.begin() + l * unitsPerLine,
                                            all.begin() + (l + 1) * unitsPerLine);
      b.cradle = std::make_unique<sim::PagerCradle>(std::move(units),
                                                    sim::CradleSchedule{12'000, 30'000, 10'000});
      const int pull = l == pullLine ? pullUnit : -1;
      b.model = std::make_unique<ui::FormModel>(
          b.host, b.shell, b.clock,
          [&b, pull](int, Host&) {
            return std::make_unique<PullingPort>(*b.cradle, b.clock, pull);
          },
          dir.string());
      b.model->FormCreate();
      ASSERT_TRUE(b.model->LoadFile(file.string()));
      b.model->SetProgrammingLog(dir / "log.csv");
      b.model->UsePort(l + 1);
      b.station = std::make_unique<ui::FormBatchStation>(*b.model);
      b.station->SetDataFile(file.string());
      lines.push_back(std::move(line));
    }
  }

  void Run(LineCoordinator& coordinator) {
    for (std::size_t l = 0; l < lines.size(); ++l) {
      BenchLine& b = *lines[l];
      const int index = coordinator.AddLine("COM" + std::to_string(l + 1));
      b.runner = std::make_unique<BatchRunner>(*b.model->port(), b.model->link(), b.clock,
                                               *b.station, coordinator, index);
      b.runner->Say = [&b](const std::string& line) { b.said.push_back(line); };
      // A line waits for pagers for ever; one that goes wrong gives up after an hour.
      b.runner->StopRequested = [&b] { return b.clock.Ticks() > 3'600'000; };
    }
    std::vector<std::thread> threads;
    for (auto& line : lines)
      threads.emplace_back([&b = *line] { b.report = b.runner->Run(); });
    for (std::thread& t : threads)
      t.join();
  }

  fs::path dir;
  fs::path file;
  std::vector<std::unique_ptr<BenchLine>> lines;
};

TEST_F(ProductionLineTest, FourLinesShareTheCapcodesAndAPulledPagerStopsOnlyItsOwnUnit) {
  Build(4, 5, /*pullLine=*/1, /*pullUnit=*/2);
  SteppedCapcodeSource source({1234600, 1234700, 0, 0, 0, 1234565},
                              {true, true, false, false, false, true}, {1, 1, 0, 0, 0, 0},
                              StepDirection::Increment);
  LineCoordinator coordinator(source, 20, false);
  Run(coordinator);

  const LineSummary s = coordinator.Summary();
  EXPECT_EQ(s.programmed, 19);
  EXPECT_EQ(s.attempts, 20);
  EXPECT_EQ(s.failed, 1);
  ASSERT_EQ(s.failures.size(), 1u);
  EXPECT_EQ(s.failures[0].line, "COM2");
  EXPECT_EQ(s.failures[0].serialNumber, "CVAFABC107");
  for (int l = 0; l < 4; ++l) {
    SCOPED_TRACE(l);
    EXPECT_EQ(s.lines[std::size_t(l)].attempts, 5);
    EXPECT_EQ(s.lines[std::size_t(l)].programmed, l == 1 ? 4 : 5);
  }
  // Nineteen good units, nineteen different capcodes A, and the pulled unit's went to another.
  std::set<std::string> codesA;
  for (const auto& line : lines)
    for (std::size_t u = 0; u < line->cradle->Units.size(); ++u) {
      if (line.get() == lines[1].get() && u == 2)
        continue;
      codesA.insert(CapcodesOf(line->cradle->Units[u].Eeprom)[0]);
    }
  EXPECT_EQ(codesA.size(), 19u);
  EXPECT_EQ(*codesA.begin(), "1234600");
  EXPECT_EQ(*codesA.rbegin(), "1234618");
  EXPECT_EQ(s.next, "A=1234619 B=1234719 F=1234565");
  // The log holds every attempt; the pulled unit's line says where it failed.
  const std::string log = ReadAll(dir / "log.csv");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 21) << log;
  const std::size_t pulled = log.find(",CVAFABC107,");
  ASSERT_NE(pulled, std::string::npos) << log;
  const std::string pulledLine = log.substr(pulled, log.find('\n', pulled) - pulled);
  EXPECT_EQ(pulledLine.find(",success,"), std::string::npos) << pulledLine;
}

TEST_F(ProductionLineTest, AManifestGivesEachUnitItsRowAndAStartedAgainBatchResumes) {
  const fs::path done = dir / "units.csv.done";
  // Row 2 waits for its own pager, the second on line 2; the others go in order.
  Manifest m;
  std::vector<ManifestProblem> problems;
  ASSERT_TRUE(ParseManifest(
      "code.A.capcode;serial_number;code.B.capcode\r\n"
      "0004000;CVAFABC103;0004001\r\n"
      "0005000;;0005001\r\n"
      "0006000;;0006001\r\n",
      [](std::string_view n) { return ui::FindNamedField(n) != nullptr; }, m, problems))
      << DescribeProblem(m, problems.front());
  Build(2, 2);
  {
    ManifestSource source(m, done, FinishedManifestRows(done));
    LineCoordinator coordinator(source, 3, false);
    Run(coordinator);
    const LineSummary s = coordinator.Summary();
    EXPECT_EQ(s.programmed, 3);
    EXPECT_EQ(s.failed, 0);
  }
  std::map<std::string, std::string> codeOf; // serial number -> capcodes A and B
  for (const auto& line : lines)
    for (const sim::PagerFirmware& unit : line->cradle->Units) {
      const auto codes = CapcodesOf(unit.Eeprom);
      codeOf[std::string(unit.Eeprom.begin() + map::kSerialNumber,
                         unit.Eeprom.begin() + map::kSerialNumber + 10)] =
          codes[0] + "/" + codes[1];
    }
  EXPECT_EQ(codeOf["CVAFABC103"], "0004000/0004001");
  std::set<std::string> others = {codeOf["CVAFABC100"], codeOf["CVAFABC101"], codeOf["CVAFABC102"]};
  EXPECT_TRUE(others.contains("0005000/0005001"));
  EXPECT_TRUE(others.contains("0006000/0006001"));
  EXPECT_EQ(FinishedManifestRows(done), (std::set<int>{2, 3, 4}));

  // Started again, the batch has nothing left: it ends without touching a pager.
  lines.clear();
  Build(1, 1);
  ManifestSource again(m, done, FinishedManifestRows(done));
  LineCoordinator coordinator(again, 0, false);
  Run(coordinator);
  EXPECT_EQ(coordinator.Summary().attempts, 0);
  EXPECT_EQ(coordinator.Summary().next, "none: every row of the manifest is programmed");
}

TEST(ManifestTest, AManifestThatCannotBeUsedIsRefusedWithItsRowAndColumn) {
  const std::string big(1 << 20, '1');
  struct Case {
    const char* what;
    std::string text;
    const char* problem; // the first problem, as told
  } cases[] = {
      {"empty", "", "the manifest is empty: it needs a header and a row per pager"},
      {"header only", "code.A.capcode\n", "the manifest has a header but no rows"},
      {"not UTF-8", "code.A.capcode\n0001234\xff\n",
       "row 2: the file is not UTF-8 (byte 23); save it from the spreadsheet as CSV UTF-8"},
      {"unknown column", "code.A.capcode,colour\n0001234,red\n",
       "row 1, column 2 (colour): \"colour\" is not a field a row can set (show lists them)"},
      {"ragged row", "code.A.capcode,frequency\n0001234\n",
       "row 2: the row has 1 cells, the header 2"},
      {"a cell of 1 MB", "code.A.capcode\n" + big + "\n",
       "row 2, column 1: the cell holds more than 1024 bytes"},
      {"duplicate capcode", "code.A.capcode;code.B.capcode\n0001234;0001235\n0001236;0001234\n",
       "row 3, column 2 (code.B.capcode): capcode 0001234 is also in row 2, column 1"},
      {"serial bound twice",
       "serial_number,code.A.capcode\nCVAFABC123,0001234\nCVAFABC123,0001235\n",
       "row 3, column 1 (serial_number): serial number CVAFABC123 is bound to row 2 already"},
      {"zeros dropped", "code.A.capcode\n1234\n",
       "row 2, column 1 (code.A.capcode): capcode 1234 has fewer digits than a capcode is "
       "written with (0001234?): a spreadsheet may have dropped its leading zeros; keep the "
       "column as text"},
      {"open quote", "code.A.capcode\n\"0001234\n",
       "row 2, column 1: a quoted cell is never closed"},
  };
  const auto known = [](std::string_view n) { return ui::FindNamedField(n) != nullptr; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Manifest m;
    std::vector<ManifestProblem> problems;
    EXPECT_FALSE(ParseManifest(c.text, known, m, problems));
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(DescribeProblem(m, problems.front()), c.problem);
  }
  // A byte order mark, semicolons, quotes and CR LF as a spreadsheet writes them are read.
  Manifest m;
  std::vector<ManifestProblem> problems;
  EXPECT_TRUE(ParseManifest("\xEF\xBB\xBF\"code.A.capcode\";frequency\r\n\"0001234\";\"152,5\"\r\n",
                            known, m, problems));
  ASSERT_EQ(m.rows.size(), 1u);
  EXPECT_EQ(m.rows[0].row, 2);
  EXPECT_EQ(m.rows[0].cells, (std::vector<std::string>{"0001234", "152,5"}));
}

} // namespace
} // namespace pw
