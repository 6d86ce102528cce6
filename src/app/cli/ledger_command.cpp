// SPDX-License-Identifier: GPL-3.0-or-later
// ledger history|whois|export|verify|sync|import-log, and the ledger the pager commands write
// their attempts to.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>

#include <nlohmann/json.hpp>

#include "app/cli/cli.h"
#include "base/sha256.h"
#include "base/version.h"
#include "batch/csv.h"
#include "batch/ledger_import.h"
#include "batch/programming_log.h"
#include "files/file_io.h"
#include "ledger/database.h"
#include "ui/pager_history.h"
#include "ui/user_settings.h"

namespace pw::cli {

std::unique_ptr<ledger::Ledger> OpenLedger(const LedgerOptions& o) {
  ledger::Ledger::Opened opened =
      ledger::Ledger::Open(ledger::ChosenLedgerUrl(o.url, UserSetting("ledger")));
  if (!opened.ledger)
    Complain(opened.message);
  return std::move(opened.ledger);
}

namespace {

void PrintTable(const std::vector<ledger::Attempt>& attempts) {
  std::vector<std::string> header = ui::PagerHistoryModel::Header();
  std::printf("%s", CsvLine(header).c_str());
  for (const ledger::Attempt& a : attempts)
    std::printf("%s", CsvLine(ui::HistoryRow(a)).c_str());
}

std::vector<std::string> ExportHeader() {
  std::vector<std::string> h = {"Attempt",           "Bench", "Kind", "State", "Started (UTC ms)",
                                "Completed (UTC ms)"};
  for (const std::string& title : LogHeader())
    h.push_back(title);
  h.insert(h.end(), {"EEPROM SHA-256", "Host", "Process", "Boot"});
  return h;
}

std::vector<std::string> ExportFields(const ledger::Attempt& a) {
  std::vector<std::string> f = {
      a.id, a.bench, a.kind, a.state, std::to_string(a.startedMs), std::to_string(a.completedMs)};
  for (std::string& field : LogFields(a.record))
    f.push_back(std::move(field));
  f.insert(f.end(), {a.eepromSha256, a.host, std::to_string(a.pid), a.boot});
  return f;
}

nlohmann::json ExportJson(const ledger::Attempt& a) {
  const ProgrammingRecord& r = a.record;
  nlohmann::json codes = nlohmann::json::array();
  for (std::size_t k = 0; k < r.written.capcodes.size(); ++k)
    codes.push_back({{"code", std::string(1, char('A' + k))},
                     {"capcode", r.written.capcodes[k]},
                     {"enabled", bool(r.written.enabled[k])},
                     {"after_stepping", r.capcodesAfterStepping[k]}});
  return {{"attempt", a.id},
          {"bench", a.bench},
          {"kind", a.kind},
          {"state", a.state},
          {"started_ms", a.startedMs},
          {"completed_ms", a.completedMs},
          {"time", r.time},
          {"program_version", r.programVersion},
          {"port", r.port},
          {"device", r.device},
          {"serial_number", r.serialNumber},
          {"firmware_version", r.firmwareVersion},
          {"source", r.source},
          {"image_sha256", r.imageSha256},
          {"eeprom_sha256", a.eepromSha256},
          {"frequency_mhz", r.written.frequency},
          {"codes", codes},
          {"outcome", r.outcome},
          {"host", a.host},
          {"pid", a.pid},
          {"boot", a.boot}};
}

} // namespace

std::string UserSetting(const std::string& key) {
  return ui::UserSettings::Load(ui::UserSettings::DefaultPath()).Get(key).value_or("");
}

bool UseLedger(Session& s, const LedgerOptions& o) {
  // A build without SQLite has no ledger of its own: unless one is named, its Programs are
  // recorded in the programming log alone.
  if (!ledger::HaveSqlite() && ledger::ChosenLedgerUrl(o.url, UserSetting("ledger")).empty())
    return true;
  std::unique_ptr<ledger::Ledger> opened = OpenLedger(o);
  if (!opened)
    return false;
  s.model.SetLedger(std::make_shared<ledger::Recorder>(
      std::move(opened), ledger::ChosenBench(o.bench, UserSetting("bench"))));
  return true;
}

LedgerUnit::LedgerUnit(Session& s, std::string_view kind, const std::string& source,
                       const PortOptions& port)
    : s_(s) {
  ledger::Recorder* recorder = s_.model.LedgerRecorder();
  if (!recorder)
    return;
  attempt_.kind = kind;
  attempt_.record.time = LogTimestamp(std::time(nullptr));
  attempt_.record.programVersion = ProgramVersion();
  attempt_.record.source = source;
  if (port.port > 0) {
    attempt_.record.port = std::to_string(port.port);
#ifdef _WIN32
    attempt_.record.device = PortDisplayName(port.port);
#else
    attempt_.record.device = PosixDevicePath(port.port);
#endif
  } else {
    attempt_.record.device = port.device;
  }
  if (const std::string warning = recorder->Begin(attempt_); !warning.empty())
    Complain(warning);
}

void LedgerUnit::Complete(const TransactionOutcome& o) {
  ledger::Recorder* recorder = s_.model.LedgerRecorder();
  if (!recorder)
    return;
  ProgrammingRecord& r = attempt_.record;
  r.time = LogTimestamp(std::time(nullptr));
  r.serialNumber = SerialNumberForLog(o.serialNumber);
  r.firmwareVersion = FirmwareDigitsForLog(o.firmwareText);
  if (o.image)
    DescribeWrittenImage(r, *o.image);
  r.outcome = o.Ok() ? std::string(kLogSuccess) : DescribeOutcome(o);
  attempt_.eepromSha256 = o.eepromSha256;
  attempt_.state = std::string(o.Ok()                            ? ledger::kSuccess
                               : o.ending == Ending::Interrupted ? ledger::kInterrupted
                                                                 : ledger::kFailed);
  if (const std::string warning = recorder->Complete(attempt_); !warning.empty())
    Complain(warning);
}

namespace {

// Opens the ledger, asks it one question and prints the attempts it answers with.
template <typename Query> int PrintAttempts(const LedgerOptions& options, Query query) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(options);
  if (!l)
    return kExitUsage;
  std::string error;
  const std::vector<ledger::Attempt> found = query(*l, &error);
  if (!error.empty()) {
    Complain("cannot read the ledger " + l->Shown() + ": " + error);
    return kExitFailed;
  }
  PrintTable(found);
  return kExitOk;
}

} // namespace

int RunLedgerHistory(const LedgerCommandOptions& o) {
  return PrintAttempts(o.ledger, [&](ledger::Ledger& l, std::string* error) {
    return l.History(o.serialNumber, error);
  });
}

int RunLedgerWhois(const LedgerCommandOptions& o) {
  return PrintAttempts(o.ledger, [&](ledger::Ledger& l, std::string* error) {
    return l.WhoIs(std::stoll(o.capcode), error);
  });
}

int RunLedgerExport(const LedgerCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  std::string error;
  const std::vector<ledger::Attempt> found =
      l->Since(o.since.empty() ? 0 : *ledger::ParseTimeMs(o.since), &error);
  if (!error.empty()) {
    Complain("cannot read the ledger " + l->Shown() + ": " + error);
    return kExitFailed;
  }
  std::string text;
  if (o.format == "json") {
    nlohmann::json all = nlohmann::json::array();
    for (const ledger::Attempt& a : found)
      all.push_back(ExportJson(a));
    text = all.dump(2) + "\n";
  } else {
    text = CsvLine(ExportHeader());
    for (const ledger::Attempt& a : found)
      text += CsvLine(ExportFields(a));
  }
  if (o.out == "-") {
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
  }
  const FileWriteResult w = WriteFileSafely(o.out, text, false);
  if (!w.ok) {
    std::fprintf(stderr, "%s\n", w.error.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

int RunLedgerVerify(const LedgerCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  const ledger::VerifyReport report = l->Verify();
  if (!report.ok) {
    Complain("the ledger " + l->Shown() + " is damaged: " + report.firstBad);
    return kExitFailed;
  }
  std::printf("%lld entries on %lld benches: every chain is whole\n",
              static_cast<long long>(report.entries), static_cast<long long>(report.benches));
  return kExitOk;
}

int RunLedgerSync(const LedgerCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> server = OpenLedger(o.ledger);
  if (!server)
    return kExitUsage;
  ledger::Ledger::Opened local = ledger::Ledger::Open(o.from);
  if (!local.ledger) {
    Complain(local.message);
    return kExitUsage;
  }
  const ledger::SyncReport report = local.ledger->SyncTo(*server);
  std::printf("%lld records sent to %s, %lld were there already\n",
              static_cast<long long>(report.pushed), server->Shown().c_str(),
              static_cast<long long>(report.present));
  if (!report.ok) {
    Complain("the rest stays in " + local.ledger->Shown() + ": " + report.error);
    return kExitFailed;
  }
  return kExitOk;
}

int RunLedgerImportLog(const LedgerCommandOptions& o) {
  std::unique_ptr<ledger::Ledger> l = OpenLedger(o.ledger);
  if (!l)
    return kExitUsage;
  const LogImport imported =
      ImportProgrammingLog(std::filesystem::u8path(o.file), *l,
                           ledger::ChosenBench(o.ledger.bench, UserSetting("bench")));
  std::printf("%d records read, %d new to the ledger\n", imported.records, imported.added);
  if (!imported.ok) {
    Complain(imported.error);
    return kExitFailed;
  }
  return kExitOk;
}

} // namespace pw::cli
