// SPDX-License-Identifier: GPL-3.0-or-later
// The production line at 1200 baud: 1, 2, 4 and 8 lines at once against pagewright-sim
// --lines, each line its own thread, port, clock and headless window, sharing the coordinator
// alone, every unit a verified Program. For each line count it reports
//   Program time   median and worst seconds of one unit's Program (poll to reset)
//   pagers/hour    the lines' units over the time the Programs took, with instant swaps
//   scaling        pagers/hour over N times the figure of one line
//   CPU per line   the process's CPU time over the wall time, per line, in % of one core
//   pauses         the link's pauses as they came out against the time asked: the median and
//                  the worst overrun of any line (a line slowed by another shows here)
//
//   line_bench [UNITS_PER_LINE]   (default 1)
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/clock.h"
#include "batch/batch_runner.h"
#include "batch/production_line.h"
#include "bench/bench_support.h"
#include "link/serial_port.h"
#include "tests/support/scripted_shell.h"
#include "ui/batch_station.h"
#include "ui/form_model.h"

namespace {

using namespace pw::bench;

// Real time; every pause kept with how long it really took.
class PauseClock final : public pw::Clock {
public:
  void Sleep(std::uint32_t ms) override {
    const double t0 = NowMs();
    real_.Sleep(ms);
    overruns.push_back(NowMs() - t0 - ms);
  }
  std::uint64_t Ticks() override { return real_.Ticks(); }
  std::vector<double> overruns;

private:
  pw::SystemClock real_;
};

struct Line {
  QuietHost host;
  pw::test::ScriptedShell shell;
  PauseClock clock;
  std::unique_ptr<pw::ui::FormModel> model;
  std::unique_ptr<pw::ui::FormBatchStation> station;
  std::unique_ptr<pw::BatchRunner> runner;
  std::vector<double> programSeconds;
};

// Starts pagewright-sim with lines lines of units units; its pid, or -1.
pid_t StartLines(const std::string& link, int lines, int units) {
  const std::string exe = (BinaryFolder() / "pagewright-sim").string();
  const std::string n = std::to_string(lines), u = std::to_string(units),
                    rate = std::to_string(kLineRate);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    // Each unit stays 40 s, more than a verified Program takes; the next follows 1 s later.
    execl(exe.c_str(), exe.c_str(), "--link", link.c_str(), "--lines", n.c_str(), "--units",
          u.c_str(), "--unit-stay", "40000", "--unit-gap", "1000", "--line-rate", rate.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500; ++i) {
    if (std::filesystem::exists(link + "-" + n))
      return pid;
    usleep(10'000);
  }
  kill(pid, SIGTERM);
  return -1;
}

double Median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
  const int units = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("pagewright-line-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  std::printf("lines  Program s (median/worst)  pagers/hour  scaling  CPU/line  pause overrun "
              "ms (median/worst)\n");
  double onePerHour = 0;
  for (int lineCount : {1, 2, 4, 8}) {
    const std::string link = (dir / "pager").string();
    const pid_t sim = StartLines(link, lineCount, units);
    if (sim < 0) {
      std::fprintf(stderr, "line_bench: pagewright-sim did not start\n");
      return 1;
    }
    // The data file: the built-in codeplug, capcodes stepped by one for every unit.
    pw::SteppedCapcodeSource source({1234560, 2234560, 0, 0, 0, 3234560},
                                    {true, true, false, false, false, true}, {1, 1, 0, 0, 0, 0},
                                    pw::StepDirection::Increment);
    pw::LineCoordinator coordinator(source, lineCount * units, false);
    std::vector<std::unique_ptr<Line>> lines;
    for (int l = 0; l < lineCount; ++l) {
      auto line = std::make_unique<Line>();
      Line& b = *line;
      const std::string device = link + "-" + std::to_string(l + 1);
      b.model = std::make_unique<pw::ui::FormModel>(
          b.host, b.shell, b.clock,
          [device](int n, pw::Host& h) { return pw::MakeSystemSerialPortOnDevice(n, device, h); },
          dir.string());
      b.model->FormCreate();
      if (l == 0 && !std::filesystem::exists(dir / "batch.Dat"))
        b.model->SaveFile((dir / "batch.Dat").string());
      b.model->LoadFile((dir / "batch.Dat").string());
      b.model->SetProgrammingLog(dir / "log.csv");
      b.model->UsePort(1);
      b.station = std::make_unique<pw::ui::FormBatchStation>(*b.model);
      b.runner =
          std::make_unique<pw::BatchRunner>(*b.model->port(), b.model->link(), b.clock, *b.station,
                                            coordinator, coordinator.AddLine(device));
      b.runner->Say = [&b](const std::string& text) {
        // "1  SERIAL  CODES  ok  23.4 s": the seconds before the unit.
        const std::size_t end = text.rfind(" s");
        const std::size_t start = text.rfind("  ", end);
        if (end != std::string::npos && start != std::string::npos)
          b.programSeconds.push_back(std::atof(text.c_str() + start + 2));
      };
      lines.push_back(std::move(line));
    }
    const Figures f = Measure([&] {
      std::vector<std::thread> threads;
      for (auto& line : lines)
        threads.emplace_back([&b = *line] { b.runner->Run(); });
      for (std::thread& t : threads)
        t.join();
    });
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);

    const pw::LineSummary s = coordinator.Summary();
    for (const pw::FailedUnit& failed : s.failures)
      std::fprintf(stderr, "line_bench: %s failed on %s: %s\n", failed.serialNumber.c_str(),
                   failed.line.c_str(), failed.step.c_str());
    std::vector<double> seconds, overruns;
    for (const auto& line : lines) {
      seconds.insert(seconds.end(), line->programSeconds.begin(), line->programSeconds.end());
      overruns.insert(overruns.end(), line->clock.overruns.begin(), line->clock.overruns.end());
    }
    // With instant swaps each line programs a unit per Program time.
    const double perHour = s.programmed > 0 ? lineCount * 3600.0 / Median(seconds) : 0;
    if (lineCount == 1)
      onePerHour = perHour;
    std::printf("%5d  %8.1f / %-8.1f %15.0f  %7.2f  %7.2f%%  %8.2f / %.2f%s\n", lineCount,
                Median(seconds),
                seconds.empty() ? 0 : *std::max_element(seconds.begin(), seconds.end()), perHour,
                onePerHour > 0 ? perHour / (lineCount * onePerHour) : 0,
                100.0 * f.cpu / f.wall / lineCount, Median(overruns),
                overruns.empty() ? 0 : *std::max_element(overruns.begin(), overruns.end()),
                s.failed > 0 ? "  (units failed)" : "");
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
