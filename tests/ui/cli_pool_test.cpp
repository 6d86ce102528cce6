// SPDX-License-Identifier: GPL-3.0-or-later
// pagewright-cli's capcode pools in a SQLite ledger: the pool commands, and program and batch
// taking their capcodes from the pools against pagewright-sim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include "support/private_postgres.h"
#include "support/sim_process.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

class CliPoolTest : public ::testing::Test {
public:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("pagewright-pool-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    link = P("com1");
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string P(const std::string& name) const { return (dir / name).string(); }
  // The environment every command runs in: the test's own settings, log and ledger.
  std::string Env() const {
    return "PAGEWRIGHT_COM1=" + link + " XDG_DATA_HOME=" + P("data") +
           " XDG_CONFIG_HOME=" + P("config") + " PAGEWRIGHT_LEDGER=sqlite:" + P("ledger.sqlite3") +
           " ";
  }
  test::CommandResult Cli(const std::string& args) {
    return test::RunCommand(Env() + test::BinDir() + "/pagewright-cli " + args, dir.string());
  }
  // A batch, with each line it prints (standard output and error, in out) handed to onLine as
  // it comes, with the batch's process id.
  test::CommandResult Batch(const std::string& args,
                            const std::function<void(const std::string&, pid_t)>& onLine) {
    test::CommandResult r;
    fs::remove(P("batch.pid"));
    FILE* out = popen(("echo $$ >" + P("batch.pid") + "; exec env " + Env() + test::BinDir() +
                       "/pagewright-cli batch " + args + " 2>&1")
                          .c_str(),
                      "r");
    pid_t batch = 0;
    char line[1024];
    while (out && std::fgets(line, sizeof line, out)) {
      r.out += line;
      if (batch == 0)
        std::ifstream(P("batch.pid")) >> batch;
      onLine(line, batch);
    }
    const int rc = out ? pclose(out) : -1;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return r;
  }
  // The simulated pager's codeplug (codes A, B and F enabled) as a data file.
  std::string DefaultFile() {
    test::SimProcess sim(link);
    EXPECT_TRUE(sim.Ready());
    EXPECT_EQ(Cli("read --port 1 --out " + P("pager.Dat")).status, 0);
    return P("pager.Dat");
  }
  // The capcode of code X the pager on the line holds, read back from it.
  std::string PagerCapcode(char code) {
    EXPECT_EQ(Cli("read --port 1 --out " + P("back.Dat")).status, 0);
    const std::string name = std::string("code.") + code + ".capcode=";
    std::istringstream lines(Cli("show " + P("back.Dat")).out);
    for (std::string line; std::getline(lines, line);)
      if (line.rfind(name, 0) == 0)
        return line.substr(name.size());
    return "<missing>";
  }
  void AddPools(const std::vector<std::string>& adds) {
    for (const std::string& args : adds)
      ASSERT_EQ(Cli("pool add " + args).status, 0) << args;
  }

  fs::path dir;
  std::string link;
};

// Pools are made, extended, listed, shown and retired. Ranges another pool holds, text that is
// no range, ranges of illegal addresses alone, and --pool where the capcodes would come from
// elsewhere too are refused; so is a batch whose pools cannot give its codes capcodes. Nothing
// refused changes the pools or touches a pager.
TEST_F(CliPoolTest, PoolCommandsKeepThePoolsAndRefuseWhatCannotBeDone) {
  const std::string in = " --port 1 --in " + DefaultFile();
  std::ofstream(P("units.csv")) << "code.A.capcode\n1000000\n";
  const std::string counts = "reserved 0, used 0, suspect 0, unusable 0";
  const struct {
    std::string args;
    int status;
    std::string said; // in what it printed
  } cases[] = {
      {"pool list", 0, "has no pools"},
      {"pool add main-a --code A --range 1000000-1000004", 0, "pool main-a: 5 capcodes added\n"},
      {"pool add main-a --code a --range 1000010 --range 1000020-1000021", 0, "3 capcodes added"},
      // Gap 1 of the FLEX addresses starts at 1933313: three of the six are left out.
      {"pool add page-b --code B --range 1933310-1933315", 0, "3 capcodes added (3 addresses"},
      {"pool add page-c --code C --range 1940000-1940099", 2, "holds no capcode a pager can take"},
      {"pool add page-c --code C --range 0", 2, "holds no capcode a pager can take"},
      {"pool add page-c --code C --range 1000004-1000008", 1, "overlaps 1000000-1000004"},
      {"pool add page-c --code C --range 1000-999", 2, "1000-999 is not capcodes FIRST-LAST"},
      {"pool add page-c --code C --range 12x", 2, "12x is not capcodes FIRST-LAST"},
      {"pool add page-c --code G --range 3000000", 2, "takes a code letter A-F"},
      {"pool add page-c --range 3000000", 2, "--code is required"},
      {"pool add 'page c' --code C --range 3000000", 2, "takes letters, digits"},
      {"pool add main-a --code C --range 3000000", 1, "main-a"},
      {"pool list", 0, "main-a  A  free 8, " + counts + "\npage-b  B  free 3, " + counts + "\n"},
      {"pool show main-a", 0,
       "pool main-a, code A\nfree 8, " + counts +
           "\nranges: 1000000-1000004 1000010 1000020-1000021\n"
           "next: 1000000 1000001 1000002 1000003 1000004\n"},
      {"pool show nosuch", 1, "nosuch"},
      {"pool retire nosuch", 1, "nosuch"},
      {"pool release 12x", 2, "a capcode is up to 9 digits"},
      {"pool retire page-b", 0, "pool page-b retired"},
      {"pool list", 0, "page-b  B  free 3, " + counts + "  retired\n"},
      {"pool list --ledger postgresql://nobody@127.0.0.1:1/none", 2, "127.0.0.1"},
      {"program" + in + " --pool A=main-a --step A=1", 2, "do not go with it"},
      {"program" + in + " --pool A=main-a --update", 2, "do not go with it"},
      {"program" + in + " --reassign", 2, "--reassign requires --pool"},
      {"program" + in + " --pool A", 2, "--pool"},
      {"program" + in + " --pool A=main-a,A=other", 2, "--pool"},
      {"batch" + in + " --pool A=main-a --manifest " + P("units.csv"), 2, "do not go with it"},
      {"batch" + in + " --pool A=nosuch --count 1", 2, "nosuch"},
      {"batch" + in + " --pool B=main-a --count 1", 2, "main-a"},
  };
  for (const auto& c : cases) {
    const test::CommandResult r = Cli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.said), std::string::npos) << c.args << "\n" << r.out << r.err;
  }
  EXPECT_EQ(Cli("pool list").out.find("page-c"), std::string::npos);
  EXPECT_NE(Cli("pool show main-a").out.find("free 8, " + counts), std::string::npos);
  EXPECT_FALSE(fs::exists(P("data/pagewright/programming-log.csv")));
}

// A pager programmed from the pools holds their capcodes; programmed again it gets its own
// again, and with --reassign new ones while the old go back to the free ones, first in line.
TEST_F(CliPoolTest, ProgramTakesThePagersCapcodesFromThePools) {
  const std::string file = DefaultFile();
  AddPools({"main-a --code A --range 1000000-1000009", "main-b --code B --range 3000000-3000009"});
  test::SimProcess sim(link);
  ASSERT_TRUE(sim.Ready());
  const struct {
    std::string extra;
    std::string a, b;  // what the pager holds after it
    std::string shown; // pool show main-a
  } cases[] = {
      {"", "1000000", "003000000", "free 9, reserved 0, used 1"},
      {"", "1000000", "003000000", "free 9, reserved 0, used 1"},
      {" --reassign", "1000001", "003000001", "next: 1000000 1000002"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra);
    const test::CommandResult r =
        Cli("program --port 1 --in " + file + " --pool A=main-a,B=main-b" + c.extra);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(PagerCapcode('A'), c.a);
    EXPECT_EQ(PagerCapcode('B'), c.b);
    EXPECT_NE(Cli("pool show main-a").out.find(c.shown), std::string::npos)
        << Cli("pool show main-a").out;
  }
  EXPECT_NE(Cli("pool show main-b").out.find("free 9, reserved 0, used 1"), std::string::npos);
  const test::CommandResult used = Cli("pool release 1000001");
  EXPECT_EQ(used.status, 1);
  EXPECT_NE(used.err.find("1000001"), std::string::npos) << used.err;
  // The data file keeps its own capcodes: the pools' go into the pager alone.
  EXPECT_EQ(Cli("show " + file).out.find("code.A.capcode=1000"), std::string::npos);
}

// A batch hands each pager the next capcodes of the pools, on one line or several, never one
// twice; a pool that runs out stops it before the next pager, naming the pool.
TEST_F(CliPoolTest, BatchTakesEachPagersCapcodesFromThePools) {
  const std::string file = DefaultFile();
  const std::regex unit(R"(\b(A=\d+) (B=\d+) F=1234565  ok  )");
  const struct {
    std::vector<std::string> sim;
    std::string lines;
    bool takeOff; // each pager off its line once done; else --count ends the batch
    int status;
    std::string end; // the summary's last lines
  } cases[] = {
      {{"--units", "3"}, "--port 1", true, 1, "the next unit gets: none ("},
      {{"--link", P("com2")},
       "--device " + link + " --device " + P("com2") + " --count 2",
       false,
       0,
       "the next unit gets: A=main-a has none free B=003000002\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.lines);
    fs::remove(P("ledger.sqlite3"));
    AddPools(
        {"main-a --code A --range 1000000-1000001", "main-b --code B --range 3000000-3000009"});
    test::SimProcess sim(link, c.sim);
    ASSERT_TRUE(sim.Ready());
    // A pager is taken off its line (SIGUSR1) as soon as the batch has printed its line.
    const test::CommandResult r =
        Batch("--in " + file + " " + c.lines + " --pool A=main-a,B=main-b",
              [&](const std::string& line, pid_t) {
                if (c.takeOff && std::isdigit(static_cast<unsigned char>(line[0])))
                  kill(sim.Pid(), SIGUSR1);
              });
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    std::set<std::string> seen;
    for (std::sregex_iterator m(r.out.begin(), r.out.end(), unit), end; m != end; ++m)
      seen.insert({(*m)[1].str(), (*m)[2].str()});
    EXPECT_EQ(seen, (std::set<std::string>{"A=1000000", "A=1000001", "B=003000000", "B=003000001"}))
        << r.out;
    EXPECT_NE(r.out.find(c.end), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("main-a", r.out.find("stopped: ")) == std::string::npos, !c.takeOff)
        << r.out;
    EXPECT_NE(Cli("pool show main-a").out.find("free 0, reserved 0, used 2"), std::string::npos);
    EXPECT_NE(Cli("pool show main-b").out.find("free 8, reserved 0, used 2"), std::string::npos);
  }
}

// Without the database no capcode is handed out: the next pager is refused before anything is
// written, and what the pools hold is as the last unit left it.
TEST_F(CliPoolTest, ABatchWhoseDatabaseIsGoneRefusesThePagerBeforeWriting) {
  test::PrivatePostgres server;
  ASSERT_TRUE(server.Ok()) << server.Reason();
  const std::string ledger = " --ledger " + server.NewDatabase();
  const std::string file = DefaultFile();
  AddPools({"main-a --code A --range 1000000-1000009" + ledger});
  test::SimProcess sim(link, {"--units", "2"});
  ASSERT_TRUE(sim.Ready());
  const test::CommandResult r =
      Batch("--port 1 --in " + file + " --pool A=main-a" + ledger,
            [&](const std::string& line, pid_t batch) {
              // The unit is on record by the time its line waits for it
              // to be taken off.
              if (line.rfind("waiting for pager 0000000000 ", 0) == 0) {
                EXPECT_TRUE(server.Stop());
                kill(sim.Pid(), SIGUSR1);
              } else if (line.rfind("pager 0000000001: ", 0) == 0 || line.rfind("2  ", 0) == 0) {
                kill(batch, SIGINT);
              }
            });
  EXPECT_EQ(r.status, 130) << r.out << r.err;
  EXPECT_NE(r.out.find("1  0000000000  A=1000000 B=1234561 F=1234565  ok"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("pager 0000000001: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("no capcodes are handed out without it"), std::string::npos) << r.out;
  std::ifstream log(P("data/pagewright/programming-log.csv"));
  EXPECT_EQ(std::count(std::istreambuf_iterator<char>(log), {}, '\n'), 2) << "one Program";
  ASSERT_TRUE(server.Start());
  EXPECT_NE(Cli("pool show main-a" + ledger).out.find("free 9, reserved 0, used 1, suspect 0"),
            std::string::npos);
}

} // namespace
} // namespace pw
