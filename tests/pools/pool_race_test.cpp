// SPDX-License-Identifier: GPL-3.0-or-later
// Capcode pools under a production floor's load: four benches, each a `pagewright-cli batch`
// process driving several lines of one simulated production bench, take their capcodes from
// two pools of one PostgreSQL ledger, while some units are pulled in the middle of their
// Program and some benches are killed mid-write and started again. At the end the ledger and
// the EEPROMs the simulator saved must agree: no capcode in two pagers, every used capcode in
// its pager on its pool's code, every reserved or suspect one held for a unit that failed.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "codeplug/codeplug.h"
#include "codeplug/flex_address.h"
#include "files/data_file.h"
#include "ledger/ledger.h"
#include "sim/pager_cradle.h"
#include "support/private_postgres.h"
#include "support/sim_process.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kBenches = 4;
constexpr int kLinesPerBench = 6;
constexpr int kUnitsPerLine = 10;
constexpr int kLines = kBenches * kLinesPerBench;
constexpr std::string_view kFirstSerial = "RACE000000";
constexpr auto kRunLimit = std::chrono::minutes(8);

// A unit: its line (1-based, across the benches) and its place on it (1-based), as the
// simulator names its saved EEPROM.
struct Unit {
  int line, unit;
  auto operator<=>(const Unit&) const = default;
};
std::string SerialOf(Unit u) {
  return sim::NthSerialNumber(kFirstSerial, (u.line - 1) * kUnitsPerLine + u.unit - 1);
}

// Units pulled after so many of their five write blocks (the first one included: the pager
// holds page 0, capcodes and all, without having answered it).
struct Pull {
  Unit unit;
  int writes;
};
const Pull kPulls[] = {
    {{1, 2}, 1},  {{3, 6}, 4},  {{6, 9}, 2},  {{8, 3}, 5},  {{10, 7}, 1}, {{12, 5}, 3},
    {{13, 4}, 2}, {{16, 8}, 5}, {{18, 2}, 4}, {{19, 6}, 1}, {{21, 9}, 3}, {{24, 4}, 2},
};
// A bench killed once its line's unit has received so many write blocks.
struct Kill {
  int bench; // 0-based
  Unit unit;
  int writes;
};
const Kill kKills[] = {{0, {2, 4}, 3}, {2, {17, 3}, 1}};

// A child process with its standard output and error going where asked (-1: /dev/null).
pid_t Spawn(std::vector<std::string> argv, int outFd, int errFd) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(outFd >= 0 ? outFd : null, 1);
    dup2(errFd >= 0 ? errFd : null, 2);
    std::vector<char*> cargv;
    for (std::string& a : argv)
      cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  return pid;
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class PoolRace : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/pw-poolrace-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (pid_t& pid : benches_)
      StopChild(pid, SIGKILL);
    StopChild(sim_, SIGKILL);
    if (!HasFailure()) {
      std::error_code ec;
      fs::remove_all(dir_, ec);
    }
  }

  static int StopChild(pid_t& pid, int signal) {
    if (pid <= 0)
      return -1;
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  pid_t StartBench(int bench) {
    std::vector<std::string> argv = {
        test::BinDir() + "/pagewright-cli",
        "batch",
        "--in",
        (dir_ / "base.Dat").string(),
        "--pool",
        "A=alpha,B=bravo",
        "--ledger",
        url_,
        "--bench",
        "bench" + std::to_string(bench + 1),
        "--log",
        (dir_ / ("bench" + std::to_string(bench + 1) + ".csv")).string(),
        "--yes",
        "--quiet"};
    for (int l = 1; l <= kLinesPerBench; ++l) {
      argv.push_back("--device");
      argv.push_back((dir_ / ("line-" + std::to_string(bench * kLinesPerBench + l))).string());
    }
    // Every incarnation of a bench writes on after the one before.
    const fs::path out = dir_ / ("bench" + std::to_string(bench + 1) + ".txt");
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const pid_t pid = Spawn(argv, fd, fd);
    close(fd);
    return pid;
  }

  std::string BenchOutput(int bench) const {
    return Slurp(dir_ / ("bench" + std::to_string(bench + 1) + ".txt"));
  }

  fs::path dir_;
  std::string url_;
  pid_t sim_ = -1;
  std::vector<pid_t> benches_;
};

// The simulator's log, read as it comes: which unit is on each line, the write blocks it has
// received and how many units have left each line.
struct LineWatch {
  std::vector<int> onLine = std::vector<int>(kLines + 1, 0);
  std::vector<int> writes = std::vector<int>(kLines + 1, 0);
  std::vector<int> left = std::vector<int>(kLines + 1, 0);

  void Take(const std::string& text) {
    int line = 0, unit = 0;
    char what[16] = {};
    if (std::sscanf(text.c_str(), "pagewright-sim: line %d unit %d %15s", &line, &unit, what) ==
            3 &&
        line >= 1 && line <= kLines) {
      if (std::string(what) == "on") {
        onLine[line] = unit;
        writes[line] = 0;
      } else if (std::string(what) == "taken") {
        ++left[line];
        if (onLine[line] == unit)
          onLine[line] = 0;
      }
    } else if (std::sscanf(text.c_str(), "pagewright-sim: line %d %15s", &line, what) == 2 &&
               std::string(what) == "write" && line >= 1 && line <= kLines) {
      ++writes[line];
    }
  }
  bool AllLeft() const {
    for (int l = 1; l <= kLines; ++l)
      if (left[l] < kUnitsPerLine)
        return false;
    return true;
  }
};

TEST_F(PoolRace, FourBenchesNeverHandOutOneCapcodeTwice) {
  static test::PrivatePostgres server;
  ASSERT_TRUE(server.Ok()) << server.Reason();
  url_ = server.NewDatabase();
  ASSERT_FALSE(url_.empty());
  {
    ledger::Ledger::Opened opened = ledger::Ledger::Open(url_);
    ASSERT_TRUE(opened.ledger) << opened.message;
    std::int64_t added = 0;
    std::string error;
    ASSERT_TRUE(opened.ledger->AddPool("alpha", 'A', {{1000000, 1000399}}, &added, &error))
        << error;
    // Across the gap between the short ranges: its addresses are never handed out.
    ASSERT_TRUE(opened.ledger->AddPool("bravo", 'B', {{1933100, 2009300}}, &added, &error))
        << error;
  }
  const Image first = sim::WithSerialNumber(sim::DefaultPagerEeprom(), kFirstSerial);
  std::ofstream(dir_ / "eeprom.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(first.data()), std::streamsize(first.size()));
  std::ofstream(dir_ / "base.Dat", std::ios::binary) << WriteDataFile(sim::DefaultPagerEeprom());

  std::vector<std::string> simArgs = {test::BinDir() + "/pagewright-sim",
                                      "--link",
                                      (dir_ / "line").string(),
                                      "--lines",
                                      std::to_string(kLines),
                                      "--units",
                                      std::to_string(kUnitsPerLine),
                                      "--unit-stay",
                                      "60000",
                                      "--unit-gap",
                                      "300",
                                      "--unit-leave",
                                      "300",
                                      "--line-rate",
                                      "115200",
                                      "--eeprom",
                                      (dir_ / "eeprom.bin").string(),
                                      "--save",
                                      (dir_ / "unit").string(),
                                      "--verbose"};
  for (const Pull& p : kPulls)
    simArgs.insert(simArgs.end(),
                   {"--pull", std::to_string(p.unit.line) + "." + std::to_string(p.unit.unit) +
                                  ":" + std::to_string(p.writes)});
  int logPipe[2];
  ASSERT_EQ(pipe(logPipe), 0);
  sim_ = Spawn(simArgs, -1, logPipe[1]);
  close(logPipe[1]);
  for (int i = 0; i < 500 && !fs::exists(dir_ / ("line-" + std::to_string(kLines))); ++i)
    poll(nullptr, 0, 10);
  ASSERT_TRUE(fs::exists(dir_ / ("line-" + std::to_string(kLines))))
      << "the simulator did not start";

  const Clock::time_point start = Clock::now();
  for (int b = 0; b < kBenches; ++b)
    benches_.push_back(StartBench(b));

  std::set<Unit> failed;
  for (const Pull& p : kPulls)
    failed.insert(p.unit);
  std::vector<bool> killed(std::size(kKills), false);
  LineWatch watch;
  std::string pending;
  bool simEnded = false;
  // Takes in what the simulator logs until waitMs have passed without a line; false once it
  // has ended.
  auto follow = [&](int waitMs) {
    pollfd p{logPipe[0], POLLIN, 0};
    while (poll(&p, 1, waitMs) > 0) {
      char buf[4096];
      const ssize_t n = read(logPipe[0], buf, sizeof buf);
      if (n <= 0)
        return false;
      pending.append(buf, std::size_t(n));
      for (std::size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
        watch.Take(pending.substr(0, eol));
        pending.erase(0, eol + 1);
      }
      waitMs = 0;
    }
    return true;
  };
  while (!watch.AllLeft()) {
    ASSERT_LT(Clock::now() - start, kRunLimit) << "the units were not all done in time";
    if (!follow(1000)) {
      simEnded = true;
      break;
    }
    for (std::size_t k = 0; k < std::size(kKills); ++k) {
      const Kill& kill = kKills[k];
      if (killed[k] || watch.onLine[kill.unit.line] != kill.unit.unit ||
          watch.writes[kill.unit.line] < kill.writes)
        continue;
      // Every unit on the bench's lines is cut off where it stands.
      ASSERT_EQ(StopChild(benches_[std::size_t(kill.bench)], SIGKILL), -SIGKILL);
      // What it sent before it died reaches the log within moments; its lines stay as they
      // are after that, for nothing else talks to them.
      for (const Clock::time_point until = Clock::now() + std::chrono::milliseconds(300);
           Clock::now() < until;)
        follow(50);
      for (int l = kill.bench * kLinesPerBench + 1; l <= (kill.bench + 1) * kLinesPerBench; ++l)
        if (watch.onLine[l] > 0)
          failed.insert({l, watch.onLine[l]});
      benches_[std::size_t(kill.bench)] = StartBench(kill.bench);
      killed[k] = true;
    }
    for (int b = 0; b < kBenches; ++b) {
      int status = 0;
      ASSERT_EQ(waitpid(benches_[std::size_t(b)], &status, WNOHANG), 0)
          << "bench " << b + 1 << " ended early:\n"
          << BenchOutput(b);
    }
  }
  ASSERT_FALSE(simEnded) << "the simulator ended early";
  for (std::size_t k = 0; k < std::size(kKills); ++k)
    EXPECT_TRUE(killed[k]) << "bench " << kKills[k].bench + 1 << " was never killed";
  for (int b = 0; b < kBenches; ++b)
    EXPECT_EQ(StopChild(benches_[std::size_t(b)], SIGINT), 130) << BenchOutput(b);
  ASSERT_EQ(StopChild(sim_, SIGTERM), 0);
  close(logPipe[0]);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  // What each pager holds on codes A and B, as the simulator saved it.
  std::map<std::string, Codeplug> pagers;
  for (int l = 1; l <= kLines; ++l)
    for (int u = 1; u <= kUnitsPerLine; ++u) {
      const std::string saved =
          Slurp(dir_ / ("unit-" + std::to_string(l) + "." + std::to_string(u)));
      ASSERT_EQ(saved.size(), Image{}.size()) << l << "." << u;
      Codeplug cp;
      std::copy(saved.begin(), saved.end(), cp.WorkingImage.begin());
      const std::string serial(saved.begin() + map::kSerialNumber,
                               saved.begin() + map::kSerialNumber + map::kSerialNumberLength);
      ASSERT_EQ(serial, SerialOf({l, u}));
      pagers.emplace(serial, cp);
    }
  std::set<std::string> failedSerials;
  for (const Unit& u : failed)
    failedSerials.insert(SerialOf(u));
  std::set<std::string> pulledSerials;
  for (const Pull& p : kPulls)
    pulledSerials.insert(SerialOf(p.unit));

  auto opened = ledger::Ledger::Open(url_);
  ASSERT_TRUE(opened.ledger) << opened.message;
  std::string error;
  const std::vector<ledger::PoolCapcode> capcodes = opened.ledger->PoolCapcodes("", {}, &error);
  ASSERT_TRUE(error.empty()) << error;
  std::map<std::string, int> states;
  for (const ledger::PoolCapcode& c : capcodes)
    ++states[c.state];
  std::printf("%d units on %d lines of %d benches in %.0f s, %zu of them pulled or cut off; "
              "capcodes used %d, reserved %d, suspect %d, unusable %d\n",
              kLines * kUnitsPerLine, kLines, kBenches, seconds, failed.size(), states["used"],
              states["reserved"], states["suspect"], states["unusable"]);
  const std::map<std::string, int> codeOfPool = {{"alpha", 1}, {"bravo", 2}};
  std::map<std::pair<std::string, std::string>, int> usedPerPager; // (pool, serial)
  std::map<std::int64_t, const ledger::PoolCapcode*> byCapcode;
  for (const ledger::PoolCapcode& c : capcodes) {
    ASSERT_TRUE(codeOfPool.contains(c.pool)) << c.pool;
    ASSERT_TRUE(byCapcode.emplace(c.capcode, &c).second) << c.capcode << " is listed twice";
    EXPECT_NE(ClassOf(c.capcode), CapcodeClass::Illegal) << c.capcode;
    const int k = codeOfPool.at(c.pool);
    if (c.state == ledger::kCapcodeUsed) {
      ++usedPerPager[{c.pool, c.serialNumber}];
      ASSERT_TRUE(pagers.contains(c.serialNumber)) << c.capcode << " used by " << c.serialNumber;
      const Codeplug& cp = pagers.at(c.serialNumber);
      EXPECT_EQ(DecodeCapcode(cp, k), c.capcode)
          << c.serialNumber << " code " << ledger::CodeLetter(k);
      EXPECT_NE(EnableBits(cp, k), 0) << c.serialNumber << " code " << ledger::CodeLetter(k);
    } else if (c.state == ledger::kCapcodeReserved || c.state == ledger::kCapcodeSuspect) {
      EXPECT_TRUE(failedSerials.contains(c.serialNumber))
          << c.capcode << " is " << c.state << " for " << c.serialNumber
          << ", a unit that did not fail";
    }
  }
  // Every pool capcode a pager holds is on record for that pager, and for no other.
  std::map<std::int64_t, std::string> holder;
  for (const auto& [serial, cp] : pagers)
    for (int k = 1; k <= 2; ++k) {
      const std::int64_t value = DecodeCapcode(cp, k);
      const bool fromPool =
          (value >= 1000000 && value <= 1000399) || (value >= 1933100 && value <= 2009300);
      if (EnableBits(cp, k) == 0 || !fromPool)
        continue;
      const auto [at, fresh] = holder.emplace(value, serial);
      EXPECT_TRUE(fresh) << value << " is in " << at->second << " and " << serial;
      const auto record = byCapcode.find(value);
      ASSERT_NE(record, byCapcode.end()) << value << " in " << serial << " is not on record";
      EXPECT_EQ(record->second->serialNumber, serial) << value;
    }
  // Every pager that did not fail ends with one used capcode of each pool, a pulled one with
  // none. A pager cut off by its bench gets its capcodes from the bench started again, its own
  // reservation among them.
  for (const auto& [serial, cp] : pagers)
    for (const auto& [pool, k] : codeOfPool) {
      const auto used = usedPerPager.find({pool, serial});
      const int count = used == usedPerPager.end() ? 0 : used->second;
      if (!failedSerials.contains(serial))
        EXPECT_EQ(count, 1) << serial << " in " << pool;
      else
        EXPECT_EQ(count, pulledSerials.contains(serial) ? 0 : 1) << serial << " in " << pool;
    }
}

// The simulator refuses a pull it cannot carry out before it serves anything.
TEST(PoolRaceSimulator, APullOfAUnitItDoesNotHaveIsRefused) {
  for (const char* pull : {"3:1", "2.1:1", "1:0", "0:1", "1.1", "1:x", "1.1:1:2"}) {
    pid_t pid = Spawn({test::BinDir() + "/pagewright-sim", "--link", "/nonexistent/line", "--units",
                       "2", "--pull", pull},
                      -1, -1);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << pull;
  }
}

} // namespace
} // namespace pw
