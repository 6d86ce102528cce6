// SPDX-License-Identifier: GPL-3.0-or-later
// What recording costs a unit: the ledger's start and end of one attempt, on a SQLite file and
// on a private PostgreSQL server over its Unix socket, against the 24 s of a verified Program;
// and what capcode pools cost: making a pool of a million capcodes, and one unit's reservation
// and its commit from it.
// usage: ledger_bench [UNITS]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ledger/recorder.h"
#include "tests/support/private_postgres.h"

namespace {

// Milliseconds per unit over units attempts through the recorder, as a Program writes them.
double MsPerUnit(const std::string& url, int units) {
  pw::ledger::Ledger::Opened opened = pw::ledger::Ledger::Open(url);
  if (!opened.ledger) {
    std::fprintf(stderr, "%s\n", opened.message.c_str());
    return -1;
  }
  pw::ledger::Recorder recorder(std::move(opened.ledger), "bench");
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < units; ++i) {
    pw::ledger::Attempt a;
    a.kind = pw::ledger::kKindBatch;
    a.record.written.capcodes[0] = std::to_string(1000000 + i);
    a.record.written.enabled[0] = true;
    recorder.Begin(a);
    a.record.serialNumber = "CV" + std::to_string(10000000 + i);
    a.record.outcome = "success";
    a.state = std::string(pw::ledger::kSuccess);
    recorder.Complete(a);
  }
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  return took.count() / units;
}

struct PoolFigures {
  double addMs = -1;  // making the pool
  double unitMs = -1; // one reservation of two codes and its commit
};

PoolFigures PoolCosts(const std::string& url, int units) {
  PoolFigures f;
  pw::ledger::Ledger::Opened opened = pw::ledger::Ledger::Open(url);
  if (!opened.ledger)
    return f;
  pw::ledger::Ledger& l = *opened.ledger;
  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  std::string error;
  if (!l.AddPool("big", 'A', {{100000000, 100999999}}, nullptr, &error) ||
      !l.AddPool("small", 'B', {{200000000, 200099999}}, nullptr, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return f;
  }
  f.addMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  start = Clock::now();
  for (int i = 0; i < units; ++i) {
    pw::ledger::PoolRequest q;
    q.bench = "bench";
    q.serialNumber = "CV" + std::to_string(10000000 + i);
    q.pools = {"big", "small"};
    const pw::ledger::Reservation r = l.Reserve(q);
    if (!r.ok || !l.CommitReservation(r.id, q.serialNumber, "", false, 2, &error))
      return f;
  }
  f.unitMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / units;
  return f;
}

void PrintPool(const char* engine, const PoolFigures& f) {
  std::printf("  %-32s%8.0f ms to make (1,000,000 capcodes), %6.2f ms per unit\n", engine,
              f.addMs, f.unitMs);
}

} // namespace

int main(int argc, char** argv) {
  const int units = argc > 1 ? std::atoi(argv[1]) : 200;
  char pattern[] = "/tmp/pw-ledger-bench-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  std::printf("ledger time per unit (start and end of one attempt), %d units\n", units);
  std::printf("  SQLite (WAL, synchronous=FULL)  %8.2f ms   goal < 20 ms\n",
              MsPerUnit("sqlite:" + (dir / "ledger.sqlite3").string(), units));
  pw::test::PrivatePostgres server;
  if (server.Ok())
    std::printf("  PostgreSQL (local socket)       %8.2f ms   goal < 50 ms\n",
                MsPerUnit(server.NewDatabase(), units));
  else
    std::printf("  PostgreSQL: %s\n", server.Reason().c_str());
  std::printf("capcode pools: making a pool, and reserving and committing two codes per unit\n");
  PrintPool("SQLite", PoolCosts("sqlite:" + (dir / "pools.sqlite3").string(), units));
  if (server.Ok())
    PrintPool("PostgreSQL", PoolCosts(server.NewDatabase(), units));
  std::filesystem::remove_all(dir);
  return 0;
}
