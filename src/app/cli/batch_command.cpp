// SPDX-License-Identifier: GPL-3.0-or-later
// batch: pager after pager from one data file (or a manifest of units) on one line or many,
// until K pagers, the manifest's end, or a stop signal.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/cli/cli.h"
#include "batch/batch_runner.h"
#include "batch/manifest.h"
#include "batch/pool_source.h"
#include "batch/production_line.h"
#include "batch/programming_log.h"
#include "files/file_io.h"
#include "ui/batch_station.h"
#include "ui/main_controls.h"
#include "ui/named_fields.h"
#include "ui/serial_devices.h"
#include "ui/user_settings.h"

namespace pw::cli {

namespace {

inline constexpr int kExitInterrupted = 130; // 128 + SIGINT, as shells report Ctrl+C

volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void OnStopSignal(int signo) {
#ifndef _WIN32
  if (!gStopSignal) {
    static const char kNote[] =
        "\npagewright-cli: stopping once the pagers on the lines are done\n";
    (void)!write(STDERR_FILENO, kNote, sizeof kNote - 1);
  }
#endif
  gStopSignal = signo;
#ifdef _WIN32
  std::signal(signo, OnStopSignal); // Windows resets the handler on each signal
#endif
}

// Ctrl+C, SIGTERM and SIGHUP (a closed terminal, a dropped SSH session) only ask the batch to
// stop while it runs: the pagers being written are finished, logged and summed up first.
class StopSignals {
public:
  StopSignals() {
    gStopSignal = 0;
    for (int s : kSignals)
      if (s != 0)
        previous_.push_back(std::signal(s, OnStopSignal));
  }
  ~StopSignals() {
    std::size_t i = 0;
    for (int s : kSignals)
      if (s != 0)
        std::signal(s, previous_[i++]);
  }
  int Signal() const { return gStopSignal; }

private:
  using Handler = void (*)(int);
#ifdef _WIN32
  static constexpr int kSignals[] = {SIGINT, SIGTERM, 0};
#else
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
#endif
  std::vector<Handler> previous_;
};

struct LineSpec {
  int port = 0;       // COM number; 0 when a device was named
  std::string device; // an explicit device
  std::string name;   // for the user: "COM2" or the device
};

// --ports FIRST-LAST, --port N..., --device PATH..., in that order.
bool LinesOf(const BatchOptions& o, std::vector<LineSpec>& lines) {
  if (!o.portRange.empty()) {
    int first = 0, last = 0;
    char dash = 0, extra = 0;
    std::istringstream in(o.portRange);
    if (!(in >> first >> dash >> last) || dash != '-' || (in >> extra) || first < 1 || last > 256 ||
        first > last) {
      Complain("--ports takes FIRST-LAST with ports 1-256, as in 1-4");
      return false;
    }
    for (int n = first; n <= last; ++n)
      lines.push_back({n, {}, "COM" + std::to_string(n)});
  }
  for (int n : o.ports)
    lines.push_back({n, {}, "COM" + std::to_string(n)});
  for (const std::string& d : o.devices)
    lines.push_back({0, d, d});
  return true;
}

// The device each line opens, as the session will open it.
std::string DeviceOf(const LineSpec& line) {
  if (!line.device.empty())
    return line.device;
  return ui::SerialDevices(ui::UserSettings::DefaultPath()).Route(line.port).device;
}

// Everything a batch of many lines writes, under one lock so the lines' texts never mix. On a
// terminal the bottom of stderr holds a status line per port (port, pager, percent, step);
// finished units and messages scroll above them.
class Console {
public:
  Console(std::vector<std::string> names, bool board, bool prefixed)
      : names_(std::move(names)), status_(names_.size()), pager_(names_.size()), board_(board),
        prefixed_(prefixed) {}

  bool Board() const { return board_; }

  void Unit(int line, const std::string& text) {
    std::lock_guard lock(mutex_);
    Erase();
    std::printf("%s%s\n", Prefix(line).c_str(), text.c_str());
    std::fflush(stdout);
    Draw();
  }
  // line -1: a message of no line in particular.
  void Message(int line, const std::string& text) {
    std::lock_guard lock(mutex_);
    Erase();
    std::fprintf(stderr, "%s%s\n", Prefix(line).c_str(), text.c_str());
    std::fflush(stderr);
    Draw();
  }
  void Status(int line, const std::string& text) {
    std::lock_guard lock(mutex_);
    status_[std::size_t(line)] = text;
    Redraw();
  }
  void Pager(int line, const std::string& serial) {
    std::lock_guard lock(mutex_);
    pager_[std::size_t(line)] = serial;
    Redraw();
  }
  // The status lines go; what follows is the summary.
  void Close() {
    std::lock_guard lock(mutex_);
    Erase();
    board_ = false;
  }

private:
  std::string Prefix(int line) const {
    return prefixed_ && line >= 0 ? names_[std::size_t(line)] + ": " : std::string();
  }
  void Erase() {
    if (!board_ || drawn_ == 0)
      return;
    std::fprintf(stderr, "\r\x1b[%zuA\x1b[J", drawn_);
    drawn_ = 0;
  }
  void Draw() {
    if (!board_)
      return;
    std::string out;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      std::string text = names_[i];
      if (!pager_[i].empty())
        text += "  " + pager_[i];
      text += "  " + (status_[i].empty() ? std::string("...") : status_[i]);
      out += text + "\x1b[K\n";
    }
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = names_.size();
  }
  void Redraw() {
    Erase();
    Draw();
  }

  std::mutex mutex_;
  std::vector<std::string> names_, status_, pager_;
  bool board_;
  bool prefixed_;
  std::size_t drawn_ = 0;
};

// The window's Program, with the console told which pager the line is programming.
class ConsoleStation final : public BatchStation {
public:
  ConsoleStation(ui::FormBatchStation& inner, Console& console, int line)
      : inner_(inner), console_(console), line_(line) {}
  BatchPagerResult ProgramPager(const std::string& serial, const UnitAssignment& unit) override {
    console_.Pager(line_, SerialNumberForLog(serial));
    BatchPagerResult r = inner_.ProgramPager(serial, unit);
    console_.Pager(line_, {});
    return r;
  }

private:
  ui::FormBatchStation& inner_;
  Console& console_;
  int line_;
};

// A line of the batch: its own window, station and runner, run on a thread of its own.
struct Worker {
  LineSpec spec;
  std::unique_ptr<Session> session;
  std::unique_ptr<ui::FormBatchStation> form;
  std::unique_ptr<ConsoleStation> station;
  std::unique_ptr<BatchRunner> runner;
  BatchReport report;
};

std::string ReadWhole(const std::string& path, bool& ok) {
  const FileReadResult read = ReadTextFile(path, kMaxManifestBytes);
  ok = read.ok;
  if (!ok)
    Complain(read.error);
  return read.text;
}

bool IsManifestField(std::string_view name) {
  const ui::NamedField* f = ui::FindNamedField(name);
  return f && f->name == name && f->inImage && f->access == ui::FieldAccess::Value;
}

// Every row applied over the data file as `set` would: each cell a rule refuses or changes,
// and each box a rule shows, is a problem of that row.
void CheckRowsAgainstRules(const std::string& dataFile, const Manifest& m,
                           std::vector<ManifestProblem>& problems) {
  Session s;
  std::vector<std::string> said;
  s.host.Print = [&](const std::string& line) { said.push_back(line); };
  for (const Manifest::Row& row : m.rows) {
    said.clear();
    if (!s.model.LoadFile(dataFile))
      return;
    said.clear();
    std::vector<ui::FieldEntry> entries;
    std::map<std::string, int> columnOf; // the entries come back in the fields' order
    for (std::size_t c = 0; c < row.cells.size(); ++c) {
      if (int(c) == m.serialColumn || row.cells[c].empty() || !IsManifestField(m.columns[c]))
        continue;
      entries.push_back({ui::FindNamedField(m.columns[c]), row.cells[c], {}});
      columnOf[m.columns[c]] = int(c) + 1;
    }
    ui::ApplyNamedFields(s.model, entries);
    const std::size_t before = problems.size();
    for (std::size_t e = 0; e < entries.size(); ++e) {
      const ui::ApplyOutcome& out = entries[e].outcome;
      const int column = columnOf[entries[e].field->name];
      if (out.status == ui::ApplyOutcome::Refused)
        problems.push_back({row.row, column, entries[e].value + " " + out.reason});
      else if (out.status == ui::ApplyOutcome::Corrected)
        problems.push_back(
            {row.row, column, entries[e].value + " would be stored as " + out.stored});
    }
    // A box that goes with a cell already told adds nothing; one of its own is told.
    if (problems.size() == before)
      for (const std::string& text : said)
        problems.push_back({row.row, 0, text});
  }
}

// The manifest read and checked whole; null (with every problem told) when it cannot be used.
std::unique_ptr<ManifestSource> LoadManifest(const BatchOptions& o) {
  bool read = false;
  const std::string text = ReadWhole(o.manifest, read);
  if (!read) {
    Complain("cannot read the manifest " + o.manifest);
    return nullptr;
  }
  Manifest m;
  std::vector<ManifestProblem> problems;
  // The rows that could be read go through the rules too, so one pass tells every problem.
  ParseManifest(text, IsManifestField, m, problems);
  CheckRowsAgainstRules(o.program.in, m, problems);
  for (const ManifestProblem& p : problems)
    Complain(o.manifest + ": " + DescribeProblem(m, p));
  if (!problems.empty()) {
    Complain("nothing was programmed: the manifest has " + std::to_string(problems.size()) +
             (problems.size() == 1 ? " problem" : " problems"));
    return nullptr;
  }
  const std::filesystem::path done = std::filesystem::u8path(o.manifest + ".done");
  return std::make_unique<ManifestSource>(std::move(m), done, FinishedManifestRows(done));
}

// The stepped capcodes of the data file, handed out to the lines one unit at a time.
std::unique_ptr<SteppedCapcodeSource> SteppedSource(Session& master, const BatchOptions& o) {
  std::map<int, int> steps;
  ParseSteps(o.program.step, steps); // checked when parsed
  const CodeplugColumns columns = CodeplugColumnsOf(master.model.codeplug.WorkingImage);
  SteppedCapcodeSource::Capcodes first{};
  std::array<int, map::kCodeCount> step{};
  for (std::size_t k = 0; k < first.size(); ++k)
    first[k] = columns.enabled[k] ? std::stoll("0" + columns.capcodes[k]) : 0;
  for (auto [k, value] : steps)
    step[std::size_t(k - 1)] = value;
  auto source = std::make_unique<SteppedCapcodeSource>(first, columns.enabled, step,
                                                       o.program.down ? StepDirection::Decrement
                                                                      : StepDirection::Increment);
  if (o.program.update) {
    source->Save = [&master, file = o.program.in](
                       const std::array<std::string, map::kCodeCount>& next, std::string& why) {
      std::vector<ui::FieldEntry> entries;
      for (std::size_t k = 0; k < next.size(); ++k)
        if (!next[k].empty())
          entries.push_back(
              {ui::FindNamedField(std::string("code.") + char('A' + k) + ".capcode"), next[k], {}});
      ui::ApplyNamedFields(master.model, entries);
      if (master.model.SaveFile(file))
        return true;
      why = file + " could not be updated";
      return false;
    };
  }
  return source;
}

// The capcodes of the codes that have a pool from the ledger's pools, over a connection of its
// own: the lines' recorders are used on the lines' threads. Null (with the reason told) when
// the ledger cannot be opened or a pool cannot hand out capcodes for its code.
std::unique_ptr<PoolSource> MakePoolSource(Session& master, const BatchOptions& o,
                                           std::unique_ptr<ledger::Ledger>& ledger) {
  std::array<std::string, map::kCodeCount> pools;
  std::string why;
  ledger::ParsePoolChoice(o.program.pool, pools, why); // checked when parsed
  ledger = OpenLedger(o.program.ledger);
  if (!ledger) {
    Complain("no capcode is handed out without the ledger's pools; nothing was programmed");
    return nullptr;
  }
  auto source = std::make_unique<PoolSource>(
      *ledger, ledger::ChosenBench(o.program.ledger.bench, UserSetting("bench")), pools,
      o.program.reassign);
  const CodeplugColumns columns = CodeplugColumnsOf(master.model.codeplug.WorkingImage);
  std::array<std::int64_t, map::kCodeCount> others{};
  for (std::size_t k = 0; k < others.size(); ++k)
    if (columns.enabled[k] && pools[k].empty())
      others[k] = std::stoll("0" + columns.capcodes[k]);
  source->SetOtherCapcodes(others);
  if (!source->Check(why)) {
    Complain(why + "; nothing was programmed");
    return nullptr;
  }
  return source;
}

std::string Plural(int n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void PrintSummary(const LineSummary& s, const BatchOptions& o, bool perLine, int signal) {
  if (perLine)
    for (const LineTally& t : s.lines)
      std::printf("%s: programmed %d, failed %d, refused %d\n", t.name.c_str(), t.programmed,
                  t.failed, t.refused);
  std::string end = "programmed " + Plural(s.programmed, "pager", "pagers") + ", failed " +
                    std::to_string(s.failed);
  if (!s.failures.empty()) {
    end += " (";
    for (std::size_t i = 0; i < s.failures.size(); ++i) {
      const FailedUnit& f = s.failures[i];
      end += (i ? ", " : "") + f.serialNumber + " at " + f.step;
      if (perLine)
        end += " on " + f.line;
    }
    end += ")";
  }
  end += ", refused " + std::to_string(s.refused);
  std::printf("%s\n", end.c_str());
  if (!o.manifest.empty())
    std::printf("next: %s\n", s.next.c_str());
  else if (o.program.update && !o.program.step.empty())
    std::printf("%s now holds for the next unit: %s\n", o.program.in.c_str(), s.next.c_str());
  else
    std::printf("the next unit gets: %s\n", s.next.c_str());
  if (signal != 0)
    std::printf("stopped by %s\n", signal == SIGINT    ? "Ctrl+C"
                                   : signal == SIGTERM ? "SIGTERM"
                                                       : "SIGHUP");
  else if (!s.stopReason.empty())
    std::printf("stopped: %s\n", s.stopReason.c_str());
  std::fflush(stdout);
}

} // namespace

int RunBatch(const BatchOptions& o) {
  std::vector<LineSpec> specs;
  if (!LinesOf(o, specs))
    return kExitUsage;
  for (std::size_t i = 0; i < specs.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (ui::SameDevice(DeviceOf(specs[i]), DeviceOf(specs[j]))) {
        Complain(specs[i].name + " and " + specs[j].name + " open the same device " +
                 DeviceOf(specs[i]) + "; nothing was programmed");
        return kExitUsage;
      }
  if (!o.manifest.empty() && (!o.program.step.empty() || o.program.update)) {
    Complain("--manifest gives each unit its own values: --step and --update do not go with it");
    return kExitUsage;
  }
  // A batch must not program pagers it cannot record.
  const ProgrammingLog log(o.program.log.empty() ? std::filesystem::path()
                                                 : std::filesystem::u8path(o.program.log));
  if (const LogWrite check = log.CheckWritable(); !check.ok) {
    Complain(check.message + "; nothing was programmed");
    return kExitUsage;
  }

  // The data file is kept from other writers from its first reading to the batch's end.
  FileLock lock;
  if (o.program.update && !LockForUpdate(lock, o.program.in))
    return kExitFailed;
  // The data file once, for the units' values; the lines load their own copies.
  Session master;
  master.host.yes = o.program.yes;
  if (!master.model.LoadFile(o.program.in))
    return kExitFailed;
  if (o.program.update) {
    if (const FileWriteResult w = CheckWriteTarget(o.program.in, true); !w.ok) {
      std::fprintf(stderr, "%s\n", w.error.c_str());
      return kExitFailed;
    }
  }
  std::unique_ptr<ledger::Ledger> poolLedger;
  std::unique_ptr<UnitSource> source;
  if (!o.program.pool.empty()) {
    source = MakePoolSource(master, o, poolLedger);
    if (!source)
      return kExitUsage;
  } else if (!o.manifest.empty()) {
    source = LoadManifest(o);
    if (!source)
      return kExitUsage;
  } else if (!o.program.step.empty()) {
    source = SteppedSource(master, o);
  } else {
    source = std::make_unique<SameCodeplugSource>(
        CapcodeList(CapcodesOf(master.model.codeplug.WorkingImage)));
  }
  LineCoordinator coordinator(*source, o.count, o.allowRepeat);

  const bool many = specs.size() > 1;
  std::vector<std::string> names;
  for (const LineSpec& spec : specs)
    names.push_back(spec.name);
  Console console(names, !o.program.port.quiet && StderrIsTerminal(), many);
  // The data file saved by whichever line finished a unit: its messages belong to no line.
  master.host.Print = [&console](const std::string& text) { console.Message(-1, text); };

  std::vector<std::unique_ptr<Worker>> workers;
  for (const LineSpec& spec : specs) {
    auto w = std::make_unique<Worker>();
    w->spec = spec;
    const int line = coordinator.AddLine(spec.name);
    w->session = std::make_unique<Session>(spec.device);
    Session& s = *w->session;
    ProgramOptions po = o.program;
    po.port.port = spec.port;
    po.port.device = spec.device;
    po.update = false; // the coordinator keeps the data file
    // and steps the capcodes: a line's window takes the unit's as they come
    if (!o.program.step.empty()) {
      po.step.clear();
      po.down = false;
    }
    if (many && !po.port.trace.empty())
      po.port.trace += "." + std::to_string(line + 1);
    if (!UseLedger(s, o.program.ledger))
      return kExitUsage;
    if (!PrepareProgram(s, po))
      return kExitFailed;
    s.host.Print = [&console, line](const std::string& text) { console.Message(line, text); };
    if (console.Board()) {
      s.host.progress.Enable(true);
      s.host.progress.Sink = [&console, line](const std::string& text) {
        console.Status(line, text);
      };
    } else {
      s.host.progress.Enable(false);
    }
    w->form = std::make_unique<ui::FormBatchStation>(s.model);
    w->form->SetDataFile(o.program.in);
    w->station = std::make_unique<ConsoleStation>(*w->form, console, line);
    w->runner = std::make_unique<BatchRunner>(*s.model.port(), s.model.link(), s.clock, *w->station,
                                              coordinator, line);
    BatchRunner& r = *w->runner;
    r.Say = [&console, line](const std::string& text) { console.Unit(line, text); };
    r.Status = [&s](const std::string& status) { s.host.progress.SetStatus(status); };
    // Off a terminal nothing shows the wait: one line says what the line waits for.
    if (!console.Board())
      r.WaitingForRemoval = [&console, line](const std::string& serial) {
        console.Message(line, "waiting for pager " + SerialNumberForLog(serial) +
                                  " to be taken off the line");
      };
    workers.push_back(std::move(w));
  }

  StopSignals signals;
  for (auto& w : workers)
    w->runner->StopRequested = [&signals] { return signals.Signal() != 0; };
  std::vector<std::thread> threads;
  for (auto& w : workers)
    threads.emplace_back([&w] { w->report = w->runner->Run(); });
  for (std::thread& t : threads)
    t.join();
  console.Close();

  const LineSummary summary = coordinator.Summary();
  PrintSummary(summary, o, many, signals.Signal());
  if (signals.Signal() == SIGINT)
    return kExitInterrupted;
  if (signals.Signal() != 0)
    return kExitFailed;
  // A manifest ends when its rows are done; any other early end is a fault.
  const bool ranOut = !summary.stopReason.empty() && (summary.stopped || o.manifest.empty());
  return summary.failed == 0 && !ranOut ? kExitOk : kExitFailed;
}

} // namespace pw::cli
