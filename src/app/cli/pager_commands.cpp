// SPDX-License-Identifier: GPL-3.0-or-later
// read, program, dump and restore: the transactions with a pager on a serial port.
#include <cstdio>
#include <filesystem>
#include <map>

#include "app/cli/cli.h"
#include "app/cli/interrupt.h"
#include "base/version.h"
#include "batch/programming_log.h"
#include "files/data_file.h"
#include "files/file_io.h"
#include "transactions/compatibility.h"
#include "transactions/pager_dump.h"
#include "ui/main_controls.h"

namespace pw::cli {

namespace {

// Opens the port the options name, with the trace and the progress line they ask for. A port
// that cannot be opened has said so through the host (once); nothing is sent then.
bool OpenPort(Session& s, const PortOptions& o) {
  s.host.retries = o.retries;
  s.host.progress.Enable(!o.quiet && StderrIsTerminal());
  if (!o.trace.empty()) {
    std::string error;
    if (!s.model.TraceTo(std::filesystem::u8path(o.trace), &error)) {
      std::fprintf(stderr, "%s\n", error.c_str()); // names the file and the reason
      return false;
    }
  }
  s.model.UsePort(o.port > 0 ? o.port : 1);
  return s.model.port() && s.model.port()->IsOpen();
}

// A file the command would write at its end is checked before the pager is touched.
bool CanWrite(const std::string& path, bool backup) {
  const FileWriteResult target = CheckWriteTarget(path, backup);
  if (!target.ok)
    std::fprintf(stderr, "%s\n", target.error.c_str());
  return target.ok;
}

bool WriteImage(Session& s, const std::string& path) {
  if (HasDataFileExtension(path) || IsStandardStream(path))
    return SaveCodeplug(s, path);
  const Image& image = s.model.codeplug.WorkingImage;
  FileWriteResult w = WriteFileSafely(
      path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()), false);
  if (!w.ok)
    std::fprintf(stderr, "%s\n", w.error.c_str());
  return w.ok;
}

// A Program that stopped without a word: say why, as far as the link knows.
void ExplainSilentStop(Session& s) {
  const int firmware = s.model.link().FirmwareVersionNumber;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%06d", firmware);
  if (firmware > 0 && PatchSetForFirmware(firmware) == kNoPatchSet)
    Complain(std::string("the pager's firmware ") + digits +
             " is older than every patch this program carries; nothing was written");
  else
    Complain("the pager was not programmed");
}

std::string Absolute(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(std::filesystem::u8path(path), ec);
  if (ec)
    return path;
  const std::u8string text = full.u8string();
  return std::string(text.begin(), text.end());
}

TransactionContext Context(Session& s) {
  return TransactionContext{s.model.codeplug, s.model.link(), *s.model.port(), s.host, s.clock};
}

} // namespace

bool ParseSteps(const std::string& list, std::map<int, int>& steps) {
  std::size_t pos = 0;
  while (pos <= list.size()) {
    const std::size_t comma = list.find(',', pos);
    const std::string part =
        list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (part.size() != 3 || part[1] != '=' || part[0] < 'A' || part[0] > 'F' || part[2] < '0' ||
        part[2] > '8')
      return false;
    if (!steps.emplace(part[0] - 'A' + 1, part[2] - '0').second)
      return false; // a code twice
    if (comma == std::string::npos)
      break;
    pos = comma + 1;
  }
  return !steps.empty();
}

bool PrepareProgram(Session& s, const ProgramOptions& o) {
  std::map<int, int> steps;
  if (!o.step.empty() && !ParseSteps(o.step, steps))
    return false; // refused when parsed
  s.host.yes = o.yes;
  if (!LoadCodeplug(s, o.in))
    return false;
  // The file is written after every successful pager: it must be writable before the first.
  if (o.update && !CanWrite(o.in, true))
    return false;
  if (!steps.empty()) {
    s.model.Click("chkAutoIncrementorDecrement");
    if (o.down) {
      s.model.controls["rgpCapCodeAutoIncrementDecrement"].itemIndex = 1;
      s.model.Click("rgpCapCodeAutoIncrementDecrement");
    }
    for (auto [k, value] : steps) {
      const std::string& edit = ui::CodeRows()[std::size_t(k - 1)].incDec;
      s.model.Enter(edit);
      s.model.controls.SetText(edit, std::to_string(value));
      s.model.Exit(edit);
    }
  }
  s.model.SetVerifyAfterProgram(!o.noVerify);
  if (!o.backup.empty())
    s.model.SetBackupDirectory(std::filesystem::u8path(o.backup));
  s.model.SetProgrammingLog(o.log.empty() ? std::filesystem::path()
                                          : std::filesystem::u8path(o.log));
  s.model.SetLogSource(Absolute(o.in));
  s.model.SetLogDevice(o.port.port > 0 ? std::string() : o.port.device);
  return OpenPort(s, o.port);
}

int RunRead(const ReadOptions& o) {
  if (!IsStandardStream(o.out) && !CanWrite(o.out, HasDataFileExtension(o.out)))
    return kExitFailed;
  Session s(o.port.device);
  if (!OpenPort(s, o.port))
    return kExitFailed;
  s.model.Click("ToolButton3");
  s.host.progress.Finish();
  if (!s.model.LastTransactionOk())
    return kExitFailed;
  return WriteImage(s, o.out) ? kExitOk : kExitFailed;
}

int RunProgram(const ProgramOptions& o) {
  CatchInterrupts();
  FileLock lock;
  if (o.update && !LockForUpdate(lock, o.in))
    return kExitFailed;
  Session s(o.port.device);
  if (!UseLedger(s, o.ledger))
    return kExitUsage;
  if (!o.pool.empty()) {
    // The capcodes come from the ledger's pools alone: none is made up here.
    if (!s.model.LedgerRecorder()) {
      Complain("--pool takes the capcodes from a ledger's pools: name the ledger with --ledger");
      return kExitUsage;
    }
    std::array<std::string, map::kCodeCount> pools;
    std::string why;
    ledger::ParsePoolChoice(o.pool, pools, why); // checked when parsed
    s.model.SetPoolChoice(pools, o.reassign);
  }
  s.model.SetStopRequest(InterruptRequested);
  if (!PrepareProgram(s, o))
    return InterruptRequested() ? InterruptExitStatus() : kExitFailed;
  const std::size_t before = s.host.shown.size();
  s.model.Click("ToolButton4");
  s.host.progress.Finish();
  if (s.model.LastOutcome().ending == Ending::Interrupted) {
    Complain(DescribeOutcome(s.model.LastOutcome()) +
             (s.model.LastOutcome().written.empty()
                  ? "; nothing was written"
                  : "; the pager holds a partly written codeplug and was not reset: program it "
                    "again"));
    return InterruptExitStatus();
  }
  if (!s.model.LastTransactionOk()) {
    if (s.host.shown.size() == before)
      ExplainSilentStop(s);
    return kExitFailed;
  }
  if (!s.model.LastStepOk()) {
    // The next pager would get the same addresses: say so, and leave the file as it was.
    Complain("the capcodes were not stepped; " + o.in + " was not updated");
    return kExitFailed;
  }
  if (o.update && !s.model.SaveFile(o.in))
    return kExitFailed;
  // Any box besides the success message was a rule correcting or warning on the way; a log
  // or ledger that could not be written was reported and does not undo the Program.
  const LogWrite& log = s.model.LastLogWrite();
  for (const std::string& text : s.host.shown)
    if (text != text::kProgrammed && (log.ok || text != log.message) &&
        text != s.model.LastLedgerWarning())
      return kExitFailed;
  return kExitOk;
}

int RunDump(const DumpOptions& o) {
  if (!CanWrite(o.out, false))
    return kExitFailed;
  Session s(o.port.device);
  if (!OpenPort(s, o.port))
    return kExitFailed;
  TransactionContext ctx = Context(s);
  const PagerDump dump = DumpPager(ctx);
  s.host.progress.Finish();
  if (!dump.outcome.Ok()) {
    Complain("nothing was saved: " + DescribeOutcome(dump.outcome));
    return kExitFailed;
  }
  for (const std::string& warning : dump.warnings)
    Complain("warning: " + warning);
  std::string error;
  if (!SaveDump(std::filesystem::u8path(o.out), *dump.outcome.image, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

namespace {

// A restore in the programming log, as a Program is: the dump as the source, and a serial
// number copied from it said in so many words.
void LogRestore(Session& s, const RestoreOptions& o, const TransactionOutcome& outcome) {
  ProgrammingRecord record;
  record.programVersion = ProgramVersion();
  record.port = o.port.port > 0 ? std::to_string(o.port.port) : std::string();
  record.device = s.model.OpenedDevice();
  record.serialNumber = SerialNumberForLog(outcome.serialNumber);
  record.firmwareVersion = FirmwareDigitsForLog(outcome.firmwareText);
  record.source = "restore of " + Absolute(o.in);
  if (outcome.image) {
    DescribeWrittenImage(record, *outcome.image);
    const std::string written(reinterpret_cast<const char*>(&(*outcome.image)[map::kSerialNumber]),
                              map::kSerialNumberLength);
    if (!outcome.serialNumber.empty() && written != outcome.serialNumber)
      record.source += "; serial number " + SerialNumberForLog(written) + " copied over " +
                       SerialNumberForLog(outcome.serialNumber);
  }
  record.outcome = outcome.Ok() ? std::string(kLogSuccess) : DescribeOutcome(outcome);
  ProgrammingLog log(o.log.empty() ? std::filesystem::path() : std::filesystem::u8path(o.log));
  const LogWrite written = log.Append(std::move(record));
  if (!written.ok)
    std::fprintf(stderr, "%s\n", written.message.c_str());
}

} // namespace

int RunRestore(const RestoreOptions& o) {
  const DumpFile file = LoadDump(std::filesystem::u8path(o.in));
  if (!file.ok) {
    std::fprintf(stderr, "%s\n", file.error.c_str());
    return kExitFailed;
  }
  const std::string digest = o.in + ".sha256";
  if (file.digest == DumpDigest::Differs) {
    if (!o.writeDamagedImage) {
      Complain("nothing was written: " + o.in + " does not match its digest " + digest +
               " (the file was changed after it was written)");
      return kExitFailed;
    }
    Complain("warning: " + o.in + " does not match its digest " + digest +
             "; written all the same (--write-damaged-image)");
  } else if (file.digest == DumpDigest::Missing) {
    Complain("warning: " + o.in + " has no digest beside it (" + digest +
             "); only the checks of the image vouch for it");
  }
  if (o.writeDamagedImage) {
    Complain("warning: --write-damaged-image: the image is written whatever the checks say");
  } else if (const auto problem = FirstEepromProblem(file.image, 0)) {
    // Refused before the port is opened: no pager needs to be on the line for this.
    Complain("nothing was written: " + o.in + " fails the checks a Read makes of a pager: " +
             problem->text + " (--write-damaged-image writes it all the same)");
    return kExitFailed;
  }
  Session s(o.port.device);
  if (!UseLedger(s, o.ledger))
    return kExitUsage;
  if (!OpenPort(s, o.port))
    return kExitFailed;
  TransactionContext ctx = Context(s);
  LedgerUnit unit(s, ledger::kKindRestore, Absolute(o.in), o.port);
  const TransactionOutcome outcome = RestorePager(
      ctx, file.image, ::pw::RestoreOptions{o.force, o.copySerialNumber, o.writeDamagedImage});
  unit.Complete(outcome);
  s.host.progress.Finish();
  // A restore that wrote nothing leaves no line: the pager is as it was.
  if (!outcome.written.empty())
    LogRestore(s, o, outcome);
  if (outcome.Ok())
    return kExitOk;
  if (outcome.ending == Ending::Refused && outcome.step == TransactionStep::SerialNumber &&
      outcome.detail.empty()) {
    Complain("nothing was written: " + o.in +
             " is the dump of another pager (--force writes it all the same)");
    return kExitUsage;
  }
  if (outcome.ending == Ending::Refused && !outcome.detail.empty()) {
    Complain("nothing was written: " + o.in + " fails the checks a Read makes of a pager: " +
             outcome.detail + " (--write-damaged-image writes it all the same)");
    return kExitFailed;
  }
  Complain("restore failed: " + DescribeOutcome(outcome));
  return kExitFailed;
}

} // namespace pw::cli
