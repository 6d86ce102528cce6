// SPDX-License-Identifier: GPL-3.0-or-later
// What recording costs a unit: the ledger's start and end of one attempt, on a SQLite file and
// on a private PostgreSQL server over its Unix socket, against the 24 s of a verified Program.
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
  std::filesystem::remove_all(dir);
  return 0;
}
