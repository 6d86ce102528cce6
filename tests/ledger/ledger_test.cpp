// SPDX-License-Identifier: GPL-3.0-or-later
// The ledger on both engines: the same cases on a SQLite file and on a private PostgreSQL
// server.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include "batch/ledger_import.h"
#include "batch/programming_log.h"
#include "ledger/recorder.h"
#include "support/private_postgres.h"
#include "support/sim_process.h"

namespace pw::ledger {
namespace {

namespace fs = std::filesystem;

test::PrivatePostgres& Server() {
  static test::PrivatePostgres server;
  return server;
}

fs::path TempDir() {
  static const fs::path dir = [] {
    char pattern[] = "/tmp/pw-ledger-XXXXXX";
    return fs::path(mkdtemp(pattern));
  }();
  return dir;
}

// Runs a program; its exit status (-signal when killed) and, when asked, its stderr.
int RunProgram(std::vector<std::string> argv, std::string* err = nullptr, int killAfterUs = -1) {
  const fs::path errFile = TempDir() / "stderr.txt";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(errFile.c_str(), "w", stderr) || !freopen("/dev/null", "w", stdout))
      _exit(126);
    std::vector<char*> cargv;
    for (std::string& a : argv)
      cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  if (killAfterUs >= 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(killAfterUs));
    kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (err) {
    std::ifstream in(errFile);
    err->assign(std::istreambuf_iterator<char>(in), {});
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

class LedgerTest : public ::testing::TestWithParam<Engine> {
protected:
  void SetUp() override { url_ = NewUrl(); }

  std::string NewUrl() {
    static int n = 0;
    if (GetParam() == Engine::Sqlite)
      return "sqlite:" + (TempDir() / ("l" + std::to_string(++n) + ".sqlite3")).string();
    if (!Server().Ok())
      ADD_FAILURE() << Server().Reason();
    return Server().NewDatabase();
  }
  std::unique_ptr<Ledger> Open(const std::string& url) {
    Ledger::Opened opened = Ledger::Open(url);
    EXPECT_TRUE(opened.ledger) << opened.message;
    return std::move(opened.ledger);
  }
  // The database underneath, for what no program of ours would do to it.
  std::unique_ptr<Database> Raw(const std::string& url) {
    const Location loc = ParseLocation(url);
    return std::move(loc.engine == Engine::Sqlite ? OpenSqlite(loc.file).db
                                                  : OpenPostgresql(loc.uri).db);
  }

  std::string url_;
};

Attempt Unit(const std::string& bench, std::int64_t startedMs, const std::string& serial,
             std::vector<std::string> capcodes, std::string_view state) {
  Attempt a;
  a.bench = bench;
  a.kind = std::string(kKindProgram);
  a.startedMs = startedMs;
  a.record.time = "2026-12-08T14:03:22+01:00";
  a.record.programVersion = "1.2.9";
  a.record.port = "1";
  a.record.device = "/dev/ttyS0";
  a.record.source = "/shop/order 7, \"north\".Dat";
  a.record.firmwareVersion = "010209";
  a.record.imageSha256 = std::string(64, 'a');
  a.record.written.frequency = "930.5125";
  for (std::size_t k = 0; k < capcodes.size(); ++k) {
    a.record.written.capcodes[k] = capcodes[k];
    a.record.written.enabled[k] = !capcodes[k].empty();
  }
  a.record.capcodesAfterStepping[0] = "1234570";
  a.eepromSha256 = std::string(64, 'e');
  a.record.serialNumber = serial;
  a.record.outcome = state == kSuccess ? "success" : "verify: 0x06C4 holds 0xFF, 0x3A was written";
  a.state = std::string(state);
  return a;
}

void Record(Ledger& l, Attempt a) {
  std::string error;
  const std::string state = a.state;
  ASSERT_TRUE(l.Begin(a, &error)) << error;
  a.state = state;
  a.completedMs = a.startedMs + 24000;
  ASSERT_TRUE(l.Complete(a, &error)) << error;
}

TEST_P(LedgerTest, AttemptsComeBackWholeNewestFirstAndByPager) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  Record(*l, Unit("north", 1000, "CVAFABC123", {"1234560", "", "0000077"}, kSuccess));
  Record(*l, Unit("south", 3000, "CVAFABC123", {"1234561"}, kFailed));
  Record(*l, Unit("north", 2000, "CVAFXYZ999", {"1234562"}, kSuccess));

  const std::vector<Attempt> pager = l->History("CVAFABC123");
  ASSERT_EQ(pager.size(), 2u);
  EXPECT_EQ(pager[0].startedMs, 3000);
  EXPECT_EQ(pager[0].state, kFailed);
  EXPECT_EQ(pager[0].bench, "south");
  const Attempt& a = pager[1];
  const Attempt want = Unit("north", 1000, "CVAFABC123", {"1234560", "", "0000077"}, kSuccess);
  EXPECT_EQ(LogFields(a.record), LogFields(want.record));
  EXPECT_EQ(a.eepromSha256, want.eepromSha256);
  EXPECT_EQ(a.completedMs, 25000);
  EXPECT_EQ(a.host, HostName());
  EXPECT_EQ(a.pid, std::int64_t(getpid()));

  EXPECT_EQ(l->History("").size(), 3u);
  EXPECT_TRUE(l->History("CVAFNOBODY").empty());
  const std::vector<Attempt> since = l->Since(2000);
  ASSERT_EQ(since.size(), 2u);
  EXPECT_EQ(since[0].startedMs, 2000); // oldest first
  const VerifyReport v = l->Verify();
  EXPECT_TRUE(v.ok) << v.firstBad;
  EXPECT_EQ(v.entries, 6);
  EXPECT_EQ(v.benches, 2);
}

TEST_P(LedgerTest, WhoIsNamesThePagersWhoseLastSuccessfulWriteHoldsTheCapcode) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  // the pager moved on to another capcode since
  Record(*l, Unit("b", 1000, "MOVEDON001", {"1234567"}, kSuccess));
  Record(*l, Unit("b", 2000, "MOVEDON001", {"7654321"}, kSuccess));
  // holds it on code C, written with leading zeros
  Record(*l, Unit("b", 3000, "HOLDSIT002", {"1", "2", "01234567"}, kSuccess));
  // a failed write after the good one does not change what the pager holds
  Record(*l, Unit("b", 4000, "HOLDSIT003", {"1234567"}, kSuccess));
  Record(*l, Unit("b", 5000, "HOLDSIT003", {"5555555"}, kFailed));
  // only ever failed
  Record(*l, Unit("b", 6000, "FAILED0004", {"1234567"}, kFailed));
  // the capcode sits on a disabled code
  Attempt disabled = Unit("b", 7000, "DISABLED05", {"1234567", "42"}, kSuccess);
  disabled.record.written.enabled[0] = false;
  Record(*l, disabled);

  std::vector<std::string> serials;
  for (const Attempt& a : l->WhoIs(1234567))
    serials.push_back(a.record.serialNumber);
  EXPECT_EQ(serials, (std::vector<std::string>{"HOLDSIT003", "HOLDSIT002"}));
  EXPECT_TRUE(l->WhoIs(999).empty());
}

TEST_P(LedgerTest, VerifyFindsEveryEditOrDeletion) {
  struct Case {
    const char* what;
    const char* sql;
    const char* found;
  };
  const Case cases[] = {
      {"a serial number edited", "UPDATE entries SET serial_number = 'FORGED0000' WHERE seq = 4",
       "entry 4 (attempt"},
      {"a state edited", "UPDATE entries SET state = 'success' WHERE seq = 4", "were changed"},
      {"an entry in the middle deleted", "DELETE FROM entries WHERE seq = 3", "entry 3 is missing"},
      {"the last entries deleted", "DELETE FROM entries WHERE seq >= 5", "chain's end"},
      {"every entry deleted", "DELETE FROM entries", "were deleted"},
      {"an entry re-chained", "UPDATE entries SET prev_hash = '' WHERE seq = 2", "does not follow"},
  };
  auto l = Open(url_);
  ASSERT_TRUE(l);
  for (const Case& c : cases) {
    ASSERT_TRUE(Raw(url_)->Exec("DELETE FROM entries; DELETE FROM benches", {}).ok ||
                (Raw(url_)->Exec("DELETE FROM entries", {}).ok &&
                 Raw(url_)->Exec("DELETE FROM benches", {}).ok));
    Record(*l, Unit("b", 1000, "CV00000001", {"1"}, kSuccess));
    Record(*l, Unit("b", 2000, "CV00000002", {"2"}, kFailed));
    Record(*l, Unit("b", 3000, "CV00000003", {"3"}, kSuccess));
    ASSERT_TRUE(l->Verify().ok);
    ASSERT_TRUE(Raw(url_)->Exec(c.sql, {}).ok) << c.what;
    const VerifyReport v = l->Verify();
    EXPECT_FALSE(v.ok) << c.what;
    EXPECT_NE(v.firstBad.find(c.found), std::string::npos) << c.what << ": " << v.firstBad;
  }
}

TEST_P(LedgerTest, ALedgerOfANewerSchemaIsRefusedAndOpeningTwiceChangesNothing) {
  ASSERT_TRUE(Open(url_));
  ASSERT_TRUE(Open(url_)); // the schema is there: no migration runs again
  ASSERT_TRUE(Raw(url_)->Exec("INSERT INTO ledger_schema (version) VALUES (99)", {}).ok);
  const Ledger::Opened opened = Ledger::Open(url_);
  EXPECT_FALSE(opened.ledger);
  EXPECT_NE(opened.message.find("Cannot open the ledger " + WithoutPassword(url_)),
            std::string::npos)
      << opened.message;
  EXPECT_NE(opened.message.find("schema version 99 is newer"), std::string::npos);
}

TEST_P(LedgerTest, AStartedAttemptOfAProcessThatIsGoneReadsAsInterrupted) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  const pid_t child = fork();
  if (child == 0)
    _exit(0);
  waitpid(child, nullptr, 0);
  Attempt gone = Unit("b", 1000, "CV00000001", {"1"}, kStarted);
  ASSERT_TRUE(l->Begin(gone));
  ASSERT_TRUE(Raw(url_)->Exec("UPDATE entries SET pid = $1", {std::to_string(child)}).ok);
  Attempt running = Unit("b", 2000, "CV00000001", {"1"}, kStarted);
  ASSERT_TRUE(l->Begin(running));
  // (the pid was changed underneath, so only the states are asked here)
  std::map<std::int64_t, std::string> states;
  for (const Attempt& a : l->History(""))
    states[a.startedMs] = a.state;
  EXPECT_EQ(states[1000], kInterrupted);
  EXPECT_EQ(states[2000], kStarted);
}

TEST_P(LedgerTest, AProgrammingLogIsImportedOnceWithItsFieldsIntact) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  const fs::path csv = TempDir() / ("log" + std::to_string(GetParam() == Engine::Sqlite) + ".csv");
  fs::remove(csv);
  ProgrammingLog log(csv);
  const Attempt one = Unit("b", 0, "=CVAFABC12", {"1234560", "", "7"}, kSuccess);
  const Attempt two = Unit("b", 0, "CVAFABC124", {"1234561"}, kFailed);
  ASSERT_TRUE(log.Append(one.record).ok);
  ASSERT_TRUE(log.Append(two.record).ok);
  ASSERT_TRUE(log.Append(two.record).ok); // the same line twice: two attempts

  LogImport first = ImportProgrammingLog(csv, *l, "old-bench");
  ASSERT_TRUE(first.ok) << first.error;
  EXPECT_EQ(first.records, 3);
  EXPECT_EQ(first.added, 3);
  LogImport again = ImportProgrammingLog(csv, *l, "old-bench");
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.added, 0);
  const LogImport device = ImportProgrammingLog("/dev/zero", *l, "old-bench");
  EXPECT_NE(device.error.find("Is a device, not a regular file"), std::string::npos) << device.error;

  const std::vector<Attempt> found = l->History("=CVAFABC12");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(LogFields(found[0].record), LogFields(one.record));
  EXPECT_EQ(found[0].state, kSuccess);
  EXPECT_EQ(found[0].startedMs, *ParseTimeMs("2026-12-08T13:03:22Z"));
  EXPECT_EQ(l->History("CVAFABC124").size(), 2u);
  EXPECT_TRUE(l->Verify().ok);
}

// Processes killed at random moments while they record: every attempt is whole, started or
// complete, and every chain verifies.
TEST_P(LedgerTest, KilledWritersLeaveNoTornRecord) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  std::mt19937 random(GetParam() == Engine::Sqlite ? 7 : 11);
  int unit = 0;
  int round = 0;
  while (unit < 50 && round < 100) {
    // A kill anywhere from before the first entry to after the last of a few units.
    const int status = RunProgram({test::BinDir() + "/ledger_writer", url_, "killed",
                                   std::to_string(unit), std::to_string(50 - unit)},
                                  nullptr, int(random() % 250000));
    ASSERT_TRUE(status == 0 || status == -SIGKILL) << status;
    unit = int(l->History("").size());
    ++round;
  }
  EXPECT_EQ(unit, 50);
  const VerifyReport v = l->Verify();
  EXPECT_TRUE(v.ok) << v.firstBad;
  int interrupted = 0;
  for (const Attempt& a : l->History("")) {
    EXPECT_TRUE(a.state == kSuccess || a.state == kFailed || a.state == kInterrupted) << a.state;
    interrupted += a.state == kInterrupted;
  }
  EXPECT_LE(interrupted, round);
}

// Benches writing at once, two of them under one name: nothing lost, the chains whole.
TEST_P(LedgerTest, BenchesWritingAtOnceLoseNothing) {
  ASSERT_TRUE(Open(url_));
  const int writers = GetParam() == Engine::Sqlite ? 2 : 4;
  std::vector<pid_t> pids;
  for (int w = 0; w < writers; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      const std::string bin = test::BinDir() + "/ledger_writer";
      const std::string bench = w < 2 ? "shared" : "bench" + std::to_string(w);
      const std::string first = std::to_string(w * 1000);
      execl(bin.c_str(), bin.c_str(), url_.c_str(), bench.c_str(), first.c_str(), "50", nullptr);
      _exit(127);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto l = Open(url_);
  const std::vector<Attempt> all = l->History("");
  EXPECT_EQ(int(all.size()), writers * 50);
  for (const Attempt& a : all)
    EXPECT_NE(a.state, kStarted);
  const VerifyReport v = l->Verify();
  EXPECT_TRUE(v.ok) << v.firstBad;
  EXPECT_EQ(v.entries, writers * 100);
}

// ---- Capcode pools ------------------------------------------------------------------------------

TEST_P(LedgerTest, PoolRangesAreCheckedAsTheyAreAdded) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  struct Case {
    const char* name;
    char code;
    std::vector<CapcodeRange> ranges;
    std::int64_t added; // -1: refused
    const char* error;
  };
  const Case cases[] = {
      {"north", 'A', {{1000000, 1000009}}, 10, ""},
      {"north", 'A', {{1000010, 1000014}}, 5, ""}, // more of the same pool
      {"north", 'B', {{1000020, 1000021}}, -1, "is for code A"},
      {"south", 'B', {{1000005, 1000030}}, -1, "overlaps 1000000-1000009 of pool north"},
      {"south", 'B', {{1100000, 1100003}, {1100002, 1100005}}, -1, "overlap"},
      {"gap", 'C', {{1933300, 2009100}}, 26, ""}, // 13 below gap 1, 13 above
      {"void", 'D', {{1933313, 2009087}}, -1, "no legal FLEX address"},
      {"zero", 'E', {{0, 0}}, -1, "no legal FLEX address"},
      {"big", 'F', {{100000000, 101000000}}, -1, "at most 1000000"},
      {"bad name", 'F', {{5, 6}}, -1, "not a pool name"},
      {"letter", 'G', {{5, 6}}, -1, "not one of A-F"},
  };
  for (const Case& c : cases) {
    std::int64_t added = 0;
    std::string error;
    const bool ok = l->AddPool(c.name, c.code, c.ranges, &added, &error);
    EXPECT_EQ(ok ? added : -1, c.added) << c.name << ": " << error;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
  const auto north = l->Pool("north", 3);
  ASSERT_TRUE(north);
  EXPECT_EQ(north->counts.free, 15);
  EXPECT_EQ(north->next, (std::vector<std::int64_t>{1000000, 1000001, 1000002}));
  const auto gap = l->Pool("gap", 0);
  ASSERT_TRUE(gap);
  EXPECT_EQ(gap->ranges, (std::vector<CapcodeRange>{{1933300, 1933312}, {2009088, 2009100}}));
  EXPECT_EQ(l->Pools(0).size(), 2u); // the refused ones left nothing behind
}

// One pager's way through the states, and the ways back.
TEST_P(LedgerTest, PoolCapcodesGoFromReservedToUsedOrBack) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  ASSERT_TRUE(l->AddPool("a", 'A', {{1000000, 1000004}}, nullptr, nullptr));
  ASSERT_TRUE(l->AddPool("b", 'B', {{1100000, 1100004}}, nullptr, nullptr));
  auto reserve = [&](const std::string& serial, bool reassign = false,
                     std::int64_t leaseMs = kPoolLeaseMs) {
    PoolRequest q;
    q.bench = "bench1";
    q.serialNumber = serial;
    q.pools = {"a", "b"};
    q.reassign = reassign;
    q.leaseMs = leaseMs;
    return l->Reserve(q);
  };
  auto stateOf = [&](std::int64_t capcode) {
    for (const PoolCapcode& c : l->PoolCapcodes("", {}))
      if (c.capcode == capcode)
        return c.state + " " + c.serialNumber;
    return std::string("free");
  };
  std::string error;
  Reservation r = reserve("SER0000001");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.capcodes[0], 1000000);
  EXPECT_EQ(r.capcodes[1], 1100000);
  EXPECT_EQ(stateOf(1000000), "reserved SER0000001");
  ASSERT_TRUE(l->CommitReservation(r.id, "SER0000001", "att1", false, 2, &error)) << error;
  EXPECT_EQ(stateOf(1100000), "used SER0000001");

  // The same pager again gets its own capcodes.
  r = reserve("SER0000001");
  EXPECT_TRUE(r.own[0] && r.own[1]);
  EXPECT_EQ(r.capcodes[0], 1000000);
  ASSERT_TRUE(l->ReturnReservation(r.id, true, "SER0000001", &error)) << error;
  EXPECT_EQ(stateOf(1000000), "used SER0000001"); // still its own

  // Nothing written: free again, and handed out first.
  r = reserve("SER0000002");
  EXPECT_EQ(r.capcodes[0], 1000001);
  ASSERT_TRUE(l->ReturnReservation(r.id, false, "SER0000002", &error)) << error;
  EXPECT_EQ(stateOf(1000001), "free");
  // Written: suspect with the serial number, until that pager is programmed with them.
  r = reserve("SER0000003");
  EXPECT_EQ(r.capcodes[0], 1000001);
  ASSERT_TRUE(l->ReturnReservation(r.id, true, "SER0000003", &error)) << error;
  EXPECT_EQ(stateOf(1000001), "suspect SER0000003");
  r = reserve("SER0000003");
  EXPECT_TRUE(r.own[0]);
  EXPECT_EQ(r.capcodes[0], 1000001);
  ASSERT_TRUE(l->CommitReservation(r.id, "SER0000003", "att3", false, 2, &error)) << error;
  EXPECT_EQ(stateOf(1000001), "used SER0000003");

  // Reassigned: new capcodes, the old ones free only once the new are used.
  r = reserve("SER0000001", true);
  EXPECT_EQ(r.capcodes[0], 1000002);
  EXPECT_EQ(stateOf(1000000), "used SER0000001");
  ASSERT_TRUE(l->CommitReservation(r.id, "SER0000001", "att4", true, 2, &error)) << error;
  EXPECT_EQ(stateOf(1000000), "free");
  EXPECT_EQ(stateOf(1000002), "used SER0000001");

  // A capcode the codeplug's rules refuse is never handed out.
  PoolRequest q;
  q.serialNumber = "SER0000004";
  q.pools = {"a"};
  q.usable = [](int code, std::int64_t capcode) { return !(code == 1 && capcode == 1000000); };
  r = l->Reserve(q);
  EXPECT_EQ(r.capcodes[0], 1000003);
  EXPECT_EQ(stateOf(1000000), "unusable ");

  // A lease that runs out leaves the capcodes suspect, never free.
  r = reserve("SER0000005", false, -1);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(l->Pool("a", 0)->counts.suspect, 1);
  EXPECT_EQ(stateOf(r.capcodes[0]), "suspect SER0000005");
  // Release: what may go back does, what is in a pager does not.
  struct Release {
    std::int64_t capcode;
    const char* error; // "" when released
  };
  for (const Release& c : {Release{r.capcodes[0], ""}, Release{1000000, ""},
                           Release{1000000, "free already"}, Release{1000002, "used by pager"},
                           Release{1000003, "being programmed"}, Release{7, "in no pool"}}) {
    error.clear();
    EXPECT_EQ(l->ReleaseCapcode(c.capcode, &error), *c.error == 0) << c.capcode;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.capcode << ": " << error;
  }
  // A bench killed mid-Program: the pager gets that reservation back as its own.
  r = reserve("SER0000006");
  ASSERT_TRUE(Raw(url_)->Exec("UPDATE pool_capcodes SET pid = 2147483000 WHERE reservation = $1",
                              {r.id})
                  .ok);
  const Reservation again = reserve("SER0000006");
  EXPECT_TRUE(again.own[0] && again.own[1]);
  EXPECT_EQ(again.capcodes, r.capcodes);
  ASSERT_TRUE(l->CommitReservation(again.id, "SER0000006", "att6", false, 2, &error)) << error;
  EXPECT_EQ(stateOf(r.capcodes[1]), "used SER0000006");
  // Until the pool runs dry; a retired pool gives nothing.
  while ((r = reserve("SER0000009", true)).ok) {
  }
  EXPECT_EQ(r.emptyPool, "a");
  EXPECT_EQ(l->Pool("a", 0)->counts.free, 0);
  ASSERT_TRUE(l->RetirePool("b", &error));
  EXPECT_FALSE(l->RetirePool("b", &error));
  q.pools = {"", "b"};
  r = l->Reserve(q);
  EXPECT_NE(r.error.find("retired"), std::string::npos) << r.error;
  q.pools = {"b"};
  r = l->Reserve(q);
  EXPECT_NE(r.error.find("for code B, not code A"), std::string::npos) << r.error;
}

// Benches reserving at once never get one capcode twice.
TEST_P(LedgerTest, PoolReservationsAtOnceNeverShareACapcode) {
  auto l = Open(url_);
  ASSERT_TRUE(l);
  ASSERT_TRUE(l->AddPool("shared", 'A', {{1200000, 1200999}}, nullptr, nullptr));
  constexpr int kBenches = 4, kUnits = 25;
  std::vector<std::vector<std::int64_t>> got(kBenches);
  std::vector<std::thread> benches;
  for (int b = 0; b < kBenches; ++b)
    benches.emplace_back([&, b] {
      auto mine = Ledger::Open(url_).ledger;
      for (int u = 0; mine && u < kUnits; ++u) {
        PoolRequest q;
        q.bench = "bench" + std::to_string(b);
        q.serialNumber = "S" + std::to_string(b * 100 + u);
        q.pools = {"shared"};
        const Reservation r = mine->Reserve(q);
        if (!r.ok)
          continue;
        got[std::size_t(b)].push_back(r.capcodes[0]);
        // Every other unit fails before writing: its capcode goes to the next one.
        if (u % 2)
          mine->ReturnReservation(r.id, false, q.serialNumber, nullptr);
        else
          mine->CommitReservation(r.id, q.serialNumber, "", false, 1, nullptr);
      }
    });
  for (std::thread& t : benches)
    t.join();
  std::map<std::int64_t, int> timesUsed;
  for (const PoolCapcode& c : l->PoolCapcodes("shared", {kCapcodeUsed}))
    ++timesUsed[c.capcode];
  std::size_t reservations = 0;
  for (const auto& g : got)
    reservations += g.size();
  EXPECT_EQ(reservations, std::size_t(kBenches * kUnits));
  EXPECT_EQ(timesUsed.size(), std::size_t(kBenches * ((kUnits + 1) / 2)));
  const auto pool = l->Pool("shared", 1);
  EXPECT_EQ(pool->counts.used, std::int64_t(timesUsed.size()));
  EXPECT_EQ(pool->counts.reserved + pool->counts.suspect, 0);
  // The gaps were filled: nothing beyond the used ones was ever touched for good.
  EXPECT_LE(timesUsed.rbegin()->first, 1200000 + std::int64_t(timesUsed.size()) + kBenches);
}

INSTANTIATE_TEST_SUITE_P(Engines, LedgerTest, ::testing::Values(Engine::Sqlite, Engine::Postgresql),
                         [](const auto& info) {
                           return info.param == Engine::Sqlite ? "Sqlite" : "Postgresql";
                         });

// A server that goes away mid-batch: each unit's record is kept locally, told once per unit,
// and reaches the server with `ledger sync` once it is back.
TEST(LedgerServer, RecordsOfUnitsWhileTheServerIsAwayAreKeptAndSyncedLater) {
  test::PrivatePostgres& server = Server();
  ASSERT_TRUE(server.Ok()) << server.Reason();
  const std::string url = server.NewDatabase();
  const std::string local = "sqlite:" + (TempDir() / "kept.sqlite3").string();
  Ledger::Opened opened = Ledger::Open(url);
  ASSERT_TRUE(opened.ledger) << opened.message;
  Recorder recorder(std::move(opened.ledger), "north", local);
  recorder.SetRetryPause(std::chrono::milliseconds(0));
  auto unit = [&](int n, std::vector<std::string>* warnings) {
    Attempt a = Unit("", 1000 * n, "CV0000000" + std::to_string(n), {"1"}, kStarted);
    warnings->push_back(recorder.Begin(a));
    a.state = std::string(kSuccess);
    warnings->push_back(recorder.Complete(a));
  };
  std::vector<std::string> up, down, back;
  unit(1, &up);
  ASSERT_TRUE(server.Stop());
  unit(2, &down);
  unit(3, &down);
  ASSERT_TRUE(server.Start());
  unit(4, &back);
  EXPECT_EQ(up, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(back, (std::vector<std::string>{"", ""}));
  ASSERT_EQ(down.size(), 4u);
  for (std::size_t i : {0u, 2u}) { // told at the start of each unit, and only then
    EXPECT_NE(down[i].find("Cannot write the ledger " + WithoutPassword(url)), std::string::npos)
        << down[i];
    EXPECT_NE(down[i].find("kept in " + local), std::string::npos) << down[i];
    EXPECT_EQ(down[i + 1], "");
  }

  Ledger::Opened kept = Ledger::Open(local);
  ASSERT_TRUE(kept.ledger);
  EXPECT_EQ(kept.ledger->Unsynced(WithoutPassword(url)), 4);
  auto target = Ledger::Open(url).ledger;
  ASSERT_TRUE(target);
  EXPECT_EQ(target->History("").size(), 2u);
  const SyncReport sync = kept.ledger->SyncTo(*target);
  EXPECT_TRUE(sync.ok) << sync.error;
  EXPECT_EQ(sync.pushed, 4);
  EXPECT_EQ(kept.ledger->SyncTo(*target).pushed, 0);
  const std::vector<Attempt> all = target->History("");
  ASSERT_EQ(all.size(), 4u);
  for (const Attempt& a : all) {
    EXPECT_EQ(a.state, kSuccess);
    EXPECT_EQ(a.bench, "north");
  }
  EXPECT_TRUE(target->Verify().ok);
}

// A ledger the command line cannot use stops it before the port is opened, with exit status 2
// and the URL named without its password.
TEST(LedgerCommandLine, ALedgerThatCannotBeOpenedStopsBeforeThePager) {
  test::PrivatePostgres& server = Server();
  ASSERT_TRUE(server.Ok()) << server.Reason();
  std::string refused = server.Url("pagewright", "ghost:s3cret");
  struct Case {
    std::string url;
    std::string said;
  };
  const Case cases[] = {
      {"mysql://shop:s3cret@db/ledger", "not a ledger URL"},
      {refused, "ghost"},
  };
  const fs::path dat = TempDir() / "missing.Dat";
  for (const Case& c : cases) {
    std::string err;
    const int status =
        RunProgram({test::BinDir() + "/pagewright-cli", "program", "--device",
                    (TempDir() / "no-pager").string(), "--in", dat.string(), "--ledger", c.url},
                   &err);
    EXPECT_EQ(status, 2) << c.url << "\n" << err;
    EXPECT_NE(err.find("Cannot open the ledger"), std::string::npos) << err;
    EXPECT_NE(err.find(c.said), std::string::npos) << err;
    EXPECT_EQ(err.find("s3cret"), std::string::npos) << err;
    EXPECT_EQ(err.find("no-pager"), std::string::npos) << "the port was opened: " << err;
  }
  EXPECT_EQ(WithoutPassword("postgresql://u:pw@h:5432/db?password=x&sslmode=require"),
            "postgresql://u:***@h:5432/db?password=***&sslmode=require");
}

} // namespace
} // namespace pw::ledger
