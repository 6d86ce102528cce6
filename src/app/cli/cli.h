// SPDX-License-Identifier: GPL-3.0-or-later
// pagewright-cli: the Read and Program transactions and the codeplug pages from a shell, for
// production benches that script them. It drives the same form model as the window: every
// value goes through the control's own key filter and rule.
//
// Exit statuses: 0 full success; 1 a transaction or a file failed, or a rule corrected a value
// on the way; 2 a command line that cannot be carried out (an unknown, repeated or misplaced
// option, a value a control cannot hold). diff answers 0 equal, 1 different, 2 trouble;
// restore answers 2 for the dump of another pager; batch 1 when any pager failed.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "base/host.h"
#include "files/file_io.h"
#include "link/serial_port.h"
#include "ui/form_model.h"
#include "ui/shell.h"

namespace pw::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The options of every command that talks to a pager through a serial port.
struct PortOptions {
  int port = 0;       // COM number 1-256; 0 when only a device was named
  std::string device; // an explicit device path, opened as COM1 unless --port is given
  int retries = 0;    // Retry answers to the Retry/Cancel question
  std::string trace;  // a file that records every byte on the line
  bool quiet = false; // no progress line, only the messages
};

// Where the attempts go on record: the ledger's URL (else PAGEWRIGHT_LEDGER, else ledger= of
// the settings file, else the user's SQLite file) and the bench's name (else bench=, else the
// host name).
struct LedgerOptions {
  std::string url;
  std::string bench;
};

struct ReadOptions {
  PortOptions port;
  std::string out;
};

struct ProgramOptions {
  PortOptions port;
  std::string in;
  std::string step;
  bool yes = false;
  bool down = false;
  bool update = false;
  bool noVerify = false;
  std::string backup; // a folder for the pager's EEPROM before writing
  std::string log;    // the programming log; the user's own without it
  LedgerOptions ledger;
  std::string pool;      // "A=NAME,B=NAME2": the capcodes of these codes come from the pools
  bool reassign = false; // new capcodes from the pools even for a pager that has some
};

struct DumpOptions {
  PortOptions port;
  std::string out;
};

struct RestoreOptions {
  PortOptions port;
  std::string in;
  bool force = false;
  bool copySerialNumber = false;
  bool writeDamagedImage = false;
  std::string log; // the programming log; the user's own without it
  LedgerOptions ledger;
};

struct BatchOptions {
  ProgramOptions program;           // its port: the first line's; the others from the lists below
  std::vector<int> ports;           // --port, once per line
  std::vector<std::string> devices; // --device, once per line
  std::string portRange;            // --ports 1-4
  std::string manifest;             // a CSV file of units
  int count = 0;
  bool allowRepeat = false;
};

struct ShowOptions {
  std::string file;
  bool controls = false;
};

struct SetOptions {
  std::string file;
  std::vector<std::string> assignments;
};

struct ExportOptions {
  std::string file;
  std::string out;
};

struct ImportOptions {
  std::string file;
  std::string out;
  std::string base;
};

struct DiffOptions {
  std::string a;
  std::string b;
};

struct PortsOptions {
  std::string root; // the machine's root folder (sysfs and /dev under it); "/" without
};

struct LedgerCommandOptions {
  LedgerOptions ledger;
  std::string serialNumber; // history; empty: every attempt
  std::string capcode;      // whois
  std::string since;        // export
  std::string format = "csv";
  std::string out = "-";
  std::string from; // sync: the ledger that kept the entries (the user's SQLite file)
  std::string file; // import-log
};

struct PoolCommandOptions {
  LedgerOptions ledger;
  std::string name;
  std::string code;                // add: the code letter A-F
  std::vector<std::string> ranges; // add: FIRST-LAST or one capcode, once per --range
  std::string capcode;             // release
};

// Parses the command line and runs the command it names; the exit status.
int Run(int argc, char** argv);

// While a transaction runs, the gauge's percentage and the current step on one line of
// stderr that rewrites itself; between the pagers of a batch, what it waits for. Drawn only
// when switched on (stderr is a terminal and --quiet was not given), and cleared before
// anything else is written.
class ProgressLine {
public:
  void Enable(bool on) { enabled_ = on; }
  void SetPercent(int percent);
  // The step running now (clears the status), or a status (clears the step); empty: none.
  void SetStep(std::string_view step);
  void SetStatus(std::string_view status);
  void Clear();
  // The transaction is over: wipe the line and forget its step.
  void Finish() { SetStatus({}); }
  // Where the line's text goes instead of stderr (a batch of many lines shows one per port);
  // an empty text clears it.
  std::function<void(const std::string&)> Sink;

private:
  void Draw();
  bool enabled_ = false;
  int percent_ = 0;
  std::string step_, status_, shown_;
};

bool StderrIsTerminal();

// A port that tells the progress line which step each request the link sends belongs to; it
// sees only the bytes, so the link and the transactions do not know it is there.
std::unique_ptr<SerialPort> WatchSteps(std::unique_ptr<SerialPort> port, ProgressLine& line);

// Messages to stderr exactly as the window shows them, each with what the system said below
// it; questions answered from the flags.
class CliHost final : public Host {
public:
  void Show(const Message& m) override;
  bool AskRetryCancel(const Message& m) override;
  bool AskYesNo(const Message& m, bool defaultNo) override;
  void SetProgress(int percent) override {
    progress_ = percent;
    progress.SetPercent(percent);
  }
  int Progress() const override { return progress_; }
  void PumpMessages() override {}
  void SetText(const std::string& control, const std::string& text) override;
  std::string Text(const std::string& control) const override;

  ui::FormModel* model = nullptr;
  // Where the messages go instead of stderr, a line at a time.
  std::function<void(const std::string&)> Print;
  int retries = 0;
  bool yes = false;
  std::vector<std::string> shown; // texts of the message boxes shown so far
  ProgressLine progress;

private:
  int progress_ = 0;
};

class CliShell final : public ui::Shell {
public:
  std::optional<std::string> AskOpenFileName(const ui::FileDialogRequest&) override { return {}; }
  std::optional<std::string> AskSaveFileName(const ui::FileDialogRequest&) override { return {}; }
  void ShowHelp(const std::vector<std::string>&) override {}
  void ShowEditor(int) override {}
  void CloseMainWindow() override {}
  void FocusControl(const std::string&) override {}
};

// The window, headless, on real time and the system's serial ports. It writes nothing until a
// command saves a file: the settings file is neither read nor written.
struct Session {
  CliHost host;
  CliShell shell;
  SystemClock clock;
  ui::FormModel model;

  explicit Session(const std::string& device = {});
};

// The settings file's value of key (the user's pagewright.conf), empty when unset.
std::string UserSetting(const std::string& key);

// The folder of the running program, set once at start.
const std::string& ProgramDirectory();
void SetProgramDirectory(std::string dir);

// "pagewright-cli: " + text on stderr, whole (input in it is quoted with EchoText).
void Complain(const std::string& text);
// Says once per run that the settings file could not be read (problem names it and why); the
// command goes on without it.
void ReportSettingsProblem(const std::string& problem);

// Takes the lock a command holds on the data file at path from before it reads the file until
// after it saved it, so that a second command changing the same file waits for the first and
// keeps its changes; false, with the reason on stderr, when the lock cannot be taken.
bool LockForUpdate(FileLock& lock, const std::string& path);

// "-" names standard input or output wherever a command reads or writes a file; the name
// messages give it.
inline bool IsStandardStream(const std::string& path) {
  return path == "-";
}
std::string StreamName(const std::string& path, bool output = false);
// The whole file (at most kMaxReadFileBytes), or standard input; the reason on stderr when
// it cannot be had.
std::optional<std::string> ReadInput(const std::string& path);
// Replaces the file safely (with a .bak copy when backup), or writes standard output.
bool WriteOutput(const std::string& path, std::string_view text, bool backup);
// A data file into the session's codeplug and back, through the window's rules.
bool LoadCodeplug(Session& s, const std::string& path);
bool SaveCodeplug(Session& s, const std::string& path);

// "A=1,B=0,..." into code number -> step (codes A-F once each, steps 0-8).
bool ParseSteps(const std::string& list, std::map<int, int>& steps);

// For program and batch: loads the data file, sets up the capcode step, the verify, the backup
// and the programming log, and opens the port; false (with the reason on stderr) when any of
// it fails.
bool PrepareProgram(Session& s, const ProgramOptions& o);

// Commands; each returns its exit status.
int RunRead(const ReadOptions& o);
int RunProgram(const ProgramOptions& o);
int RunShow(const ShowOptions& o);
int RunSet(const SetOptions& o);
int RunExport(const ExportOptions& o);
int RunImport(const ImportOptions& o);
int RunDiff(const DiffOptions& o);
int RunPorts(const PortsOptions& o);
int RunDump(const DumpOptions& o);
int RunRestore(const RestoreOptions& o);
int RunBatch(const BatchOptions& o);
int RunLedgerHistory(const LedgerCommandOptions& o);
int RunLedgerWhois(const LedgerCommandOptions& o);
int RunLedgerExport(const LedgerCommandOptions& o);
int RunLedgerVerify(const LedgerCommandOptions& o);
int RunLedgerSync(const LedgerCommandOptions& o);
int RunLedgerImportLog(const LedgerCommandOptions& o);
int RunPoolAdd(const PoolCommandOptions& o);
int RunPoolList(const PoolCommandOptions& o);
int RunPoolShow(const PoolCommandOptions& o);
int RunPoolRetire(const PoolCommandOptions& o);
int RunPoolRelease(const PoolCommandOptions& o);

// Opens the ledger the options name (else $PAGEWRIGHT_LEDGER, else the settings' ledger=);
// null, with the message (the URL without its password) on stderr, when it cannot.
std::unique_ptr<ledger::Ledger> OpenLedger(const LedgerOptions& o);
// Opens the ledger the options name for the session's Programs; false, with the message (the
// URL without its password) on stderr, when it cannot: the pager must not be touched then.
bool UseLedger(Session& s, const LedgerOptions& o);
// A restore on record: started when made, completed with the restore's outcome.
class LedgerUnit {
public:
  LedgerUnit(Session& s, std::string_view kind, const std::string& source,
             const PortOptions& port);
  void Complete(const TransactionOutcome& outcome);

private:
  Session& s_;
  ledger::Attempt attempt_;
};

// Applies a JSON document's fields to the session's codeplug in the fixed order of the named
// fields. Refusals and corrections are reported on stderr; the answer is the exit status the
// import has so far (0, 1 corrected, 2 refused). A document read into the built-in default
// carries its serial number along.
int ApplyJsonDocument(Session& s, const std::string& text, const std::string& source,
                      bool carrySerialNumber);

} // namespace pw::cli
