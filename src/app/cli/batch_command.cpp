// batch: pager after pager from one data file, until K pagers or Ctrl+C.
#include <csignal>
#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/cli/cli.h"
#include "batch/batch_runner.h"
#include "ui/batch_station.h"

namespace pw::cli {

namespace {

volatile std::sig_atomic_t gStopRequested = 0;

extern "C" void OnInterrupt(int) {
#ifndef _WIN32
  if (!gStopRequested) {
    static const char kNote[] = "\npagewright-cli: stopping once the pager on the line is done\n";
    (void)!write(STDERR_FILENO, kNote, sizeof kNote - 1);
  }
#endif
  gStopRequested = 1;
#ifdef _WIN32
  std::signal(SIGINT, OnInterrupt); // Windows resets the handler on each signal
#endif
}

// Ctrl+C only asks the batch to stop while it runs: a pager being written is finished first.
class InterruptGuard {
public:
  InterruptGuard() : previous_(std::signal(SIGINT, OnInterrupt)) { gStopRequested = 0; }
  ~InterruptGuard() { std::signal(SIGINT, previous_); }
  bool Requested() const { return gStopRequested != 0; }

private:
  using Handler = void (*)(int);
  Handler previous_;
};

std::string Plural(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

int RunBatch(const BatchOptions& o) {
  FileLock lock;
  if (o.program.update && !LockForUpdate(lock, o.program.in))
    return kExitFailed;
  Session s(o.program.port.device);
  if (!UseLedger(s, o.program.ledger))
    return kExitUsage;
  if (!PrepareProgram(s, o.program))
    return kExitFailed;
  ui::FormBatchStation station(s.model, o.program.update ? o.program.in : std::string());
  BatchRunner runner(*s.model.port(), s.model.link(), s.clock, station,
                     ::pw::BatchOptions{o.count, o.allowRepeat});
  runner.Say = [&](const std::string& line) {
    s.host.progress.Clear();
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  };
  runner.Status = [&](const std::string& status) { s.host.progress.SetStatus(status); };
  InterruptGuard interrupt;
  runner.StopRequested = [&] { return interrupt.Requested(); };

  const BatchReport report = runner.Run();
  s.host.progress.Finish();
  std::string end = Plural(report.programmed, "pager", "pagers") + " programmed, " +
                    std::to_string(report.failed) + " failed";
  if (report.refused > 0)
    end += ", " + Plural(report.refused, "repeat", "repeats") + " refused";
  if (report.stopped)
    end += "; stopped";
  std::printf("%s\n", end.c_str());
  return report.ExitStatus();
}

} // namespace pw::cli
