// SPDX-License-Identifier: GPL-3.0-or-later
// Every command and option of pagewright-cli, declared in one place.
#include <CLI/CLI.hpp>

#include <array>
#include <cctype>
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <optional>

#include "app/cli/cli.h"
#include "base/unicode_paths.h"
#include "app/cli/help.h"
#include "base/echo.h"
#include "base/user_dirs.h"
#include "base/version.h"
#include "ledger/ledger.h"

namespace pw::cli {

namespace {

// A command of the program: its options, what runs it, and the status that says it could not
// run to the end (diff keeps 1 for "different").
struct Command {
  CLI::App* app;
  std::function<int()> run;
  int trouble = kExitFailed;
};

bool IsCommand(const CLI::App& app, const std::string& name) {
  for (const CLI::App* sub : app.get_subcommands({}))
    if (!sub->get_name().empty() && sub->get_name() == name)
      return true;
  return false;
}

int UnknownCommand(const CLI::App& app, const std::string& name) {
  const std::string nearest = NearestCommand(app, name);
  Complain("unknown command '" + EchoText(name) + "'" +
           (nearest.empty() ? std::string() : "; did you mean '" + nearest + "'?"));
  std::fprintf(stderr, "Run '%s help' for the list of commands.\n", app.get_name().c_str());
  return kExitUsage;
}

// What the first word may be: a command, or the program's own --help and --version. The
// parser would answer anything else with "a subcommand is required".
std::optional<int> RefuseFirstWord(const CLI::App& app, int argc, char** argv) {
  if (argc < 2) {
    Complain("a command is required");
    std::fprintf(stderr, "Run '%s help' for the list of commands.\n", app.get_name().c_str());
    return kExitUsage;
  }
  const std::string first = argv[1];
  if (first.empty() || first[0] != '-' || first == "-")
    return IsCommand(app, first) ? std::nullopt : std::optional<int>(UnknownCommand(app, first));
  for (const CLI::Option* own : app.get_options())
    if (own->check_name(first.substr(0, first.find('='))))
      return std::nullopt;
  Complain("unknown option '" + EchoText(first) + "': the options follow the command");
  std::fprintf(stderr, "Run '%s help COMMAND' for the options of a command.\n",
               app.get_name().c_str());
  return kExitUsage;
}

int PrintHelp(const CLI::App& app, const std::string& topic) {
  const CLI::App* about = &app;
  if (!topic.empty()) {
    if (!IsCommand(app, topic))
      return UnknownCommand(app, topic);
    about = app.get_subcommand(topic);
  }
  const std::string text =
      app.get_formatter()->make_help(about, about->get_name(), CLI::AppFormatMode::Normal);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

// The port options every command that talks to a pager takes, declared once here.
void AddPortExtras(CLI::App* cmd, PortOptions& o);

void AddPortOptions(CLI::App* cmd, PortOptions& o) {
  CLI::App* which = cmd->add_option_group("Port", "Exactly one of --port and --device:");
  which->add_option("--port", o.port, "serial port COM<N> (1-256)")
      ->type_name("N")
      ->check(CLI::Range(1, 256));
  which->add_option("--device", o.device, "serial device to open as COM1 (/dev/ttyUSB0)")
      ->type_name("PATH");
  which->require_option(1);
  AddPortExtras(cmd, o);
}

// A batch's lines: any number of ports and devices, one worker each.
void AddBatchLines(CLI::App* cmd, BatchOptions& o) {
  CLI::App* which =
      cmd->add_option_group("Lines", "One line per --port and --device, and per port of --ports:");
  which->add_option("--port", o.ports, "serial port COM<N> (1-256); give it once per line")
      ->type_name("N")
      ->allow_extra_args(false)
      ->check(CLI::Range(1, 256));
  which->add_option("--device", o.devices, "serial device (/dev/ttyUSB0); once per line")
      ->allow_extra_args(false)
      ->type_name("PATH");
  which->add_option("--ports", o.portRange, "the ports FIRST to LAST, one line each")
      ->type_name("FIRST-LAST");
  which->require_option(1, 0);
  AddPortExtras(cmd, o.program.port);
}

void AddPortExtras(CLI::App* cmd, PortOptions& o) {
  cmd->add_option("--retries", o.retries, "answer Retry this many times before Cancel")
      ->type_name("R")
      ->check(CLI::Range(0, 1000000));
  cmd->add_option("--trace", o.trace, "record every byte on the line into FILE (appended)")
      ->type_name("FILE");
  cmd->add_flag("--quiet", o.quiet, "no progress line, only the messages");
}

// Which ledger the attempts go to and the bench they are on record as.
void AddLedgerOptions(CLI::App* cmd, LedgerOptions& o, bool bench = true) {
  cmd->add_option("--ledger", o.url,
                  "the ledger: sqlite:FILE or postgresql://USER@HOST/DB (else $PAGEWRIGHT_LEDGER, "
                  "ledger= in pagewright.conf, or the user's SQLite file)")
      ->type_name("URL");
  if (bench)
    cmd->add_option("--bench", o.bench, "the bench's name in the ledger (default: the host name)")
        ->type_name("NAME");
}

// What program and batch both take: the data file, the questions, the capcode step, the
// verify, the backup and the log.
void AddProgramOptions(CLI::App* cmd, ProgramOptions& o, bool port = true) {
  if (port)
    AddPortOptions(cmd, o.port);
  cmd->add_option("--in", o.in, "data file to program")->type_name("FILE")->required();
  cmd->add_flag("--yes", o.yes, "answer Yes to the questions on the way");
  CLI::Option* step = cmd->add_option("--step", o.step,
                                      "step the capcodes after a successful Program, 0-8 per code")
                          ->type_name("A=1,B=1,...")
                          ->check(CLI::Validator(
                              [](std::string& list) {
                                std::map<int, int> steps;
                                return ParseSteps(list, steps)
                                           ? std::string()
                                           : std::string("takes A=n,B=n,... with codes A-F and "
                                                         "steps 0-8");
                              },
                              ""));
  cmd->add_flag("--down", o.down, "step the capcodes down instead of up")->needs(step);
  cmd->add_flag("--update", o.update, "save the stepped codeplug back into the data file");
  cmd->add_flag("--no-verify", o.noVerify, "do not read the written blocks back");
  cmd->add_option("--backup", o.backup, "save the pager's EEPROM into DIR before writing")
      ->type_name("DIR");
  cmd->add_option("--log", o.log, "the programming log to append to (instead of the user's)")
      ->type_name("FILE");
  AddLedgerOptions(cmd, o.ledger);
  CLI::Option* pool =
      cmd->add_option("--pool", o.pool, "take these codes' capcodes from the ledger's pools")
          ->type_name("A=NAME,...")
          ->check(CLI::Validator(
              [](std::string& text) {
                std::array<std::string, map::kCodeCount> pools;
                std::string why;
                return ledger::ParsePoolChoice(text, pools, why) ? std::string() : why;
              },
              ""));
  cmd->add_flag("--reassign", o.reassign,
                "new capcodes from the pools even for a pager that has some (freed once the "
                "new ones verify)")
      ->needs(pool);
}

// An option given twice is refused, flags included (the library takes the last one).
void RefuseRepeats(const CLI::App& app) {
  for (const CLI::Option* opt : app.get_options())
    if (opt->get_items_expected_max() <= 1 && opt->count() > 1 && opt->get_positional() == false)
      throw CLI::ArgumentMismatch(opt->get_name() + " given twice");
  for (const CLI::App* group : app.get_subcommands([](const CLI::App*) { return true; }))
    if (group->get_name().empty())
      RefuseRepeats(*group);
}

// On Windows a file named like a device (COM1.Dat, nul.json) opens the device: such a name is
// refused before any pager is touched. Every value names a file or folder except the device,
// the numbers and the NAME=VALUE lists.
void RefuseDeviceNames([[maybe_unused]] const CLI::App& app) {
#ifdef _WIN32
  for (const CLI::Option* opt : app.get_options()) {
    if (opt->get_name() == "--device" || opt->get_type_name().find('=') != std::string::npos)
      continue;
    for (const std::string& value : opt->results())
      if (IsWindowsDeviceName(value))
        throw CLI::ValidationError(opt->get_name(), value + " is a device name on Windows");
  }
  for (const CLI::App* group : app.get_subcommands([](const CLI::App*) { return true; }))
    if (group->get_name().empty())
      RefuseDeviceNames(*group);
#endif
}

} // namespace

namespace {

int ParseAndRun(int argc, char** argv) {
  SetProgramDirectory(ExecutableDirectory(argc > 0 ? argv[0] : ""));

  CLI::App app{"Reads, programs and edits the codeplugs of RV615 FLEX pagers.\n"
               "Messages go to standard error as the window shows them.",
               "pagewright-cli"};
  // The help of the program and of every command, made from the declarations below.
  Examples examples;
  Choices choices;
  app.formatter(MakeHelpFormatter(examples));
  app.set_version_flag("-V,--version", std::string("pagewright-cli ") + ProgramVersion() +
                                           " (software stamp " + std::string(kSoftwareStamp) + ")");
  app.require_subcommand(1);
  app.allow_windows_style_options(false); // "/name" is a file on Windows too; options are --name
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    // The parser quotes the words it could not take: shown as any input is.
    return "pagewright-cli: " + EchoText(e.what(), 4 * kEchoLimit) +
           "\nRun with --help for more information.\n";
  });
  app.footer("Exit status: 0 success; 1 a transaction or file failed, or a rule corrected a "
             "value; 2 a command line that cannot be carried out. Each command has its own "
             "--help. A FILE of - is standard input or output.");

  std::vector<Command> commands;

  ReadOptions read;
  CLI::App* cmd = app.add_subcommand("read", "Read a pager's codeplug into a data file");
  AddPortOptions(cmd, read.port);
  cmd->add_option("--out", read.out, "data file to write (.Dat; any other name gets the raw image)")
      ->type_name("FILE")
      ->required();
  commands.push_back({cmd, [&] { return RunRead(read); }});

  ProgramOptions program;
  cmd = app.add_subcommand("program", "Program a pager from a data file");
  AddProgramOptions(cmd, program);
  commands.push_back({cmd, [&] { return RunProgram(program); }});

  BatchOptions batch;
  cmd = app.add_subcommand("batch", "Program pager after pager from a data file, on many lines");
  AddBatchLines(cmd, batch);
  AddProgramOptions(cmd, batch.program, false);
  cmd->add_option("--manifest", batch.manifest,
                  "a CSV file with a row of named fields per pager, applied over --in")
      ->type_name("FILE");
  cmd->add_option("--count", batch.count, "stop after K pagers, failed ones included")
      ->type_name("K")
      ->check(CLI::Range(1, 1000000));
  cmd->add_flag("--allow-repeat", batch.allowRepeat,
                "program a pager again that this batch has programmed already");
  cmd->footer("Each line waits for a pager to answer, programs it, prints one line for it\n"
              "(number, serial number, capcodes, result, seconds; with many lines, after its\n"
              "port) and waits until it is taken off. The lines share the capcodes: no two get\n"
              "the same; with --pool every bench sharing the ledger shares its pools, and a\n"
              "pool that runs out stops the batch. Ctrl+C, SIGTERM and SIGHUP stop once the\n"
              "pagers being programmed are done. The summary counts per line and in total:\n"
              "programmed (distinct serial numbers), failed (serial numbers and steps),\n"
              "refused, and the next unit's capcodes. Exit status: 0 every pager succeeded, 1\n"
              "any failed or a stop signal other than Ctrl+C, 130 Ctrl+C, 2 a command line,\n"
              "manifest or log that cannot be used.");
  commands.push_back({cmd, [&] { return RunBatch(batch); }});

  DumpOptions dump;
  cmd = app.add_subcommand("dump", "Save a pager's whole EEPROM as it is, for restore");
  AddPortOptions(cmd, dump.port);
  cmd->add_option("--out", dump.out, "file to write (.bin: the raw 2048 bytes; else a data file)")
      ->type_name("FILE")
      ->required();
  commands.push_back({cmd, [&] { return RunDump(dump); }});

  RestoreOptions restore;
  cmd = app.add_subcommand("restore", "Write a dump back into the pager it came from");
  AddPortOptions(cmd, restore.port);
  cmd->add_option("--in", restore.in, "dump to write (.bin or data file)")
      ->type_name("FILE")
      ->required();
  CLI::Option* force = cmd->add_flag(
      "--force", restore.force,
      "write it even into a pager of another serial number (the pager keeps its own)");
  cmd->add_flag("--copy-serial-number", restore.copySerialNumber,
                "with --force: write the dump's serial number too (recorded in the log)")
      ->needs(force);
  cmd->add_flag("--write-damaged-image", restore.writeDamagedImage,
                "DANGER: write a dump that fails the checks or its digest (recovery work)");
  cmd->add_option("--log", restore.log, "the programming log to append to (instead of the user's)")
      ->type_name("FILE");
  AddLedgerOptions(cmd, restore.ledger);
  cmd->footer("Exit status: 0 restored; 1 failed, or the dump is damaged or does not match its\n"
              "digest; 2 the dump is of another pager (without --force) or a command line\n"
              "that cannot be carried out.");
  commands.push_back({cmd, [&] { return RunRestore(restore); }});

  ShowOptions show;
  cmd = app.add_subcommand("show", "List every named field of a data file");
  cmd->add_option("file", show.file, "data file")->type_name("FILE")->required();
  cmd->add_flag("--controls", show.controls, "name the window's controls instead of the fields");
  commands.push_back({cmd, [&] { return RunShow(show); }});

  SetOptions set;
  cmd = app.add_subcommand("set", "Change named fields of a data file through their rules");
  cmd->add_option("file", set.file, "data file")->type_name("FILE")->required();
  cmd->add_option(
         "assignments", set.assignments,
         "a named field (as show lists it) or a control name (as show --controls lists it)")
      ->type_name("NAME=VALUE")
      ->required();
  commands.push_back({cmd, [&] { return RunSet(set); }});

  ExportOptions exporting;
  cmd = app.add_subcommand("export", "Write every named field of a data file as JSON");
  cmd->add_option("file", exporting.file, "data file")->type_name("FILE")->required();
  cmd->add_option("--out", exporting.out, "JSON file to write (standard output without it)")
      ->type_name("FILE.json");
  commands.push_back({cmd, [&] { return RunExport(exporting); }});

  ImportOptions importing;
  cmd = app.add_subcommand("import", "Make a data file from a JSON document");
  cmd->add_option("file", importing.file, "JSON document")->type_name("FILE.json")->required();
  cmd->add_option("--out", importing.out, "data file to write")->type_name("FILE")->required();
  cmd->add_option("--base", importing.base,
                  "data file to start from (the built-in default without)")
      ->type_name("FILE");
  commands.push_back({cmd, [&] { return RunImport(importing); }});

  DiffOptions diff;
  cmd = app.add_subcommand("diff", "Compare two codeplugs (data files or JSON)");
  cmd->add_option("a", diff.a, "first codeplug")->type_name("A")->required();
  cmd->add_option("b", diff.b, "second codeplug")->type_name("B")->required();
  cmd->footer("Exit status: 0 equal, 1 different, 2 trouble.");
  commands.push_back({cmd, [&] { return RunDiff(diff); }, kExitUsage});

  PortsOptions ports;
  cmd = app.add_subcommand("ports", "List the serial devices of this computer");
#ifndef _WIN32
  cmd->add_option("--root", ports.root, "look for sysfs and /dev under DIR instead of /")
      ->type_name("DIR");
#endif
  cmd->footer("Each device with its stable link, driver and USB adapter, and the COM numbers\n"
              "that open it (chosen in the window's Serial Device dialog, or PAGEWRIGHT_COM<n>).");
  commands.push_back({cmd, [&] { return RunPorts(ports); }});

  LedgerCommandOptions ledger;
  CLI::App* ledgerGroup = app.add_subcommand("ledger", "Look into the shop's ledger of attempts");
  ledgerGroup->require_subcommand(1);
  ledgerGroup->footer("Exit status: 0 done; 1 verify found a bad record, or a command failed;\n"
                      "2 the ledger cannot be opened or a command line that cannot be carried "
                      "out.");
  cmd = ledgerGroup->add_subcommand("history", "Every attempt on a pager, newest first");
  AddLedgerOptions(cmd, ledger.ledger, false);
  cmd->add_option("serial", ledger.serialNumber, "the pager's serial number (every pager without)")
      ->type_name("SERIAL");
  commands.push_back({cmd, [&] { return RunLedgerHistory(ledger); }, kExitUsage});
  cmd = ledgerGroup->add_subcommand("whois", "The pagers whose last successful write holds a capcode");
  AddLedgerOptions(cmd, ledger.ledger, false);
  cmd->add_option("capcode", ledger.capcode, "capcode, on any of codes A-F")
      ->type_name("CAPCODE")
      ->required()
      ->check(CLI::Validator(
          [](std::string& v) {
            return !v.empty() && v.size() <= 10 &&
                           v.find_first_not_of("0123456789") == std::string::npos
                       ? std::string()
                       : std::string("a capcode is digits");
          },
          ""));
  commands.push_back({cmd, [&] { return RunLedgerWhois(ledger); }, kExitUsage});
  cmd = ledgerGroup->add_subcommand("export", "Write the ledger's attempts as CSV or JSON");
  AddLedgerOptions(cmd, ledger.ledger, false);
  cmd->add_option("file", ledger.out, "file to write; - for standard output (the default)")
      ->type_name("FILE");
  cmd->add_option("--since", ledger.since, "only attempts started at or after T")
      ->type_name("T")
      ->check(CLI::Validator(
          [](std::string& v) {
            return ledger::ParseTimeMs(v) ? std::string()
                                          : std::string("takes 2026-12-08 or "
                                                        "2026-12-08T14:03[:22][+01:00|Z]");
          },
          ""));
  cmd->add_option("--format", ledger.format, "csv or json")
      ->type_name("FORMAT")
      ->check(CLI::IsMember({"csv", "json"}));
  commands.push_back({cmd, [&] { return RunLedgerExport(ledger); }, kExitUsage});
  cmd = ledgerGroup->add_subcommand("verify", "Check every bench's chain of records");
  AddLedgerOptions(cmd, ledger.ledger, false);
  commands.push_back({cmd, [&] { return RunLedgerVerify(ledger); }, kExitUsage});
  cmd = ledgerGroup->add_subcommand(
      "sync", "Send the records kept locally while the server was away to the server");
  AddLedgerOptions(cmd, ledger.ledger, false);
  cmd->add_option("--from", ledger.from, "the ledger that kept them (the user's SQLite file)")
      ->type_name("URL");
  commands.push_back({cmd, [&] { return RunLedgerSync(ledger); }, kExitUsage});
  cmd = ledgerGroup->add_subcommand("import-log",
                                    "Bring a CSV programming log into the ledger (once)");
  AddLedgerOptions(cmd, ledger.ledger);
  cmd->add_option("file", ledger.file, "the programming log")
      ->type_name("FILE.csv")
      ->required();
  commands.push_back({cmd, [&] { return RunLedgerImportLog(ledger); }, kExitUsage});

  PoolCommandOptions pool;
  CLI::App* poolGroup =
      app.add_subcommand("pool", "Keep the capcode pools the benches take capcodes from");
  poolGroup->require_subcommand(1);
  poolGroup->footer("A pool is a set of capcode ranges for one code letter, kept in the ledger:\n"
                    "program and batch with --pool take each pager's capcodes from it, each\n"
                    "capcode once across every bench sharing the ledger. Exit status: 0 done;\n"
                    "1 the ledger refused (an unknown pool, a range overlapping another pool, a\n"
                    "used capcode) or failed; 2 the ledger cannot be opened or a command line\n"
                    "that cannot be carried out.");
  const auto addPoolName = [&pool](CLI::App* sub) {
    sub->add_option("name", pool.name, "the pool's name")
        ->type_name("NAME")
        ->required()
        ->check(CLI::Validator(
            [](std::string& v) {
              return ledger::ValidPoolName(v) ? std::string()
                                              : std::string("takes letters, digits, '-', '_' "
                                                            "and '.', up to ") +
                                                    std::to_string(ledger::kMaxPoolNameLength);
            },
            ""));
  };
  cmd = poolGroup->add_subcommand("add", "Make a pool, or give a pool more capcodes");
  addPoolName(cmd);
  cmd->add_option("--code", pool.code, "the code letter the pool's capcodes are for")
      ->type_name("A-F")
      ->required()
      ->check(CLI::Validator(
          [](std::string& v) {
            if (v.size() == 1)
              v[0] = char(std::toupper(static_cast<unsigned char>(v[0])));
            return v.size() == 1 && ledger::CodeNumber(v[0]) != 0
                       ? std::string()
                       : std::string("takes a code letter A-F");
          },
          ""));
  cmd->add_option("--range", pool.ranges, "capcodes FIRST to LAST (or one); give it once per range")
      ->type_name("FIRST-LAST")
      ->required()
      ->allow_extra_args(false)
      ->check(CLI::Validator(
          [](std::string& v) {
            return ledger::ParseCapcodeRange(v)
                       ? std::string()
                       : v + " is not capcodes FIRST-LAST (0-999999999), as in 1000000-1000999";
          },
          ""));
  AddLedgerOptions(cmd, pool.ledger, false);
  commands.push_back({cmd, [&] { return RunPoolAdd(pool); }, kExitUsage});
  cmd = poolGroup->add_subcommand("list", "Every pool with its counts of capcodes");
  AddLedgerOptions(cmd, pool.ledger, false);
  commands.push_back({cmd, [&] { return RunPoolList(pool); }, kExitUsage});
  cmd = poolGroup->add_subcommand(
      "show", "A pool's counts, ranges, next capcodes and the capcodes held for pagers");
  addPoolName(cmd);
  AddLedgerOptions(cmd, pool.ledger, false);
  commands.push_back({cmd, [&] { return RunPoolShow(pool); }, kExitUsage});
  cmd = poolGroup->add_subcommand("retire", "Hand out no more capcodes from a pool");
  addPoolName(cmd);
  AddLedgerOptions(cmd, pool.ledger, false);
  commands.push_back({cmd, [&] { return RunPoolRetire(pool); }, kExitUsage});
  cmd = poolGroup->add_subcommand(
      "release", "Give a suspect or unusable capcode, or a lapsed reservation, back to its pool");
  cmd->add_option("capcode", pool.capcode, "the capcode")
      ->type_name("CAPCODE")
      ->required()
      ->check(CLI::Validator(
          [](std::string& v) {
            return !v.empty() && v.size() <= 9 &&
                           v.find_first_not_of("0123456789") == std::string::npos
                       ? std::string()
                       : std::string("a capcode is up to 9 digits");
          },
          ""));
  AddLedgerOptions(cmd, pool.ledger, false);
  commands.push_back({cmd, [&] { return RunPoolRelease(pool); }, kExitUsage});

  std::string helpTopic;
  cmd = app.add_subcommand("help", "Show the help of the program or of a command");
  CLI::Option* topic =
      cmd->add_option("command", helpTopic, "the command to explain")->type_name("COMMAND");
  commands.push_back({cmd, [&] { return PrintHelp(app, helpTopic); }});

  std::string shell;
  cmd = app.add_subcommand("completion", "Print the shell completion script for bash, zsh or fish");
  CLI::Option* shellName = cmd->add_option("shell", shell, "bash, zsh or fish")
                               ->type_name("SHELL")
                               ->required()
                               ->check(CLI::IsMember({"bash", "zsh", "fish"}));
  cmd->footer("The package installs the scripts where each shell finds them.");
  commands.push_back({cmd, [&] {
                        const std::string script = CompletionScript(app, shell, choices);
                        std::fwrite(script.data(), 1, script.size(), stdout);
                        return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
                      }});

  // The words the arguments take, for the completion.
  choices[shellName] = {"bash", "zsh", "fish"};
  for (const Command& c : commands)
    choices[topic].push_back(c.app->get_name());

  // One example per command, the last lines of its help.
  const std::pair<const char*, const char*> exampleLines[] = {
      {"read", "pagewright-cli read --device /dev/ttyUSB0 --out pager.Dat"},
      {"program", "pagewright-cli program --port 1 --in pager.Dat --step A=1 --update"},
      {"batch", "pagewright-cli batch --port 1 --in box.Dat --step A=1,B=1 --update --count 20"},
      {"dump", "pagewright-cli dump --port 1 --out CVAFABC101.bin"},
      {"restore", "pagewright-cli restore --port 1 --in CVAFABC101.bin"},
      {"show", "pagewright-cli show pager.Dat"},
      {"set", "pagewright-cli set pager.Dat code.C.enabled=1 code.C.capcode=5000"},
      {"export", "pagewright-cli export pager.Dat --out pager.json"},
      {"import", "pagewright-cli import pager.json --base pager.Dat --out new.Dat"},
      {"diff", "pagewright-cli diff pager.Dat new.Dat"},
      {"ports", "pagewright-cli ports"},
      {"help", "pagewright-cli help program"},
      {"completion", "source <(pagewright-cli completion bash)"},
      {"ledger", "pagewright-cli ledger history CVAFABC123"},
      {"pool", "pagewright-cli pool show main-a"},
  };
  examples[&app] = "pagewright-cli read --port 1 --out pager.Dat";
  for (const auto& [name, line] : exampleLines)
    if (IsCommand(app, name))
      examples[app.get_subcommand(name)] = line;
  const std::pair<const char*, const char*> ledgerExamples[] = {
      {"history", "pagewright-cli ledger history CVAFABC123"},
      {"whois", "pagewright-cli ledger whois 1234567"},
      {"export", "pagewright-cli ledger export --since 2026-12-01 --format json -"},
      {"verify", "pagewright-cli ledger verify --ledger postgresql://bench@dbhost/pagewright"},
      {"sync", "pagewright-cli ledger sync --ledger postgresql://bench@dbhost/pagewright"},
      {"import-log", "pagewright-cli ledger import-log programming-log.csv"},
  };
  for (const auto& [name, line] : ledgerExamples)
    examples[ledgerGroup->get_subcommand(name)] = line;
  const std::pair<const char*, const char*> poolExamples[] = {
      {"add", "pagewright-cli pool add main-a --code A --range 1000000-1000999"},
      {"list", "pagewright-cli pool list --ledger postgresql://bench@dbhost/pagewright"},
      {"show", "pagewright-cli pool show main-a"},
      {"retire", "pagewright-cli pool retire main-a"},
      {"release", "pagewright-cli pool release 1000042"},
  };
  for (const auto& [name, line] : poolExamples)
    examples[poolGroup->get_subcommand(name)] = line;

  if (const std::optional<int> refused = RefuseFirstWord(app, argc, argv))
    return *refused;

  try {
    app.parse(argc, argv);
    RefuseRepeats(app);
    for (CLI::App* sub : app.get_subcommands()) {
      RefuseRepeats(*sub);
      for (CLI::App* inner : sub->get_subcommands())
        RefuseRepeats(*inner);
      RefuseDeviceNames(*sub);
    }
    for (const ProgramOptions* p : {&program, &batch.program}) {
      if (p->update && IsStandardStream(p->in))
        throw CLI::ValidationError("--update", "writes the data file back: --in names a file");
      if (!p->pool.empty() &&
          (!p->step.empty() || p->update || (p == &batch.program && !batch.manifest.empty())))
        throw CLI::ValidationError("--pool", "takes the capcodes from the pools: --step, "
                                             "--update and --manifest do not go with it");
    }
  } catch (const CLI::Success& e) { // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  for (const Command& c : commands) {
    if (!c.app->parsed())
      continue;
    try {
      return c.run();
    } catch (const std::exception& e) {
      Complain(e.what());
    } catch (...) {
      Complain("stopped by an unexpected error");
    }
    return c.trouble;
  }
  return kExitUsage;
}

} // namespace

int Run(int argc, char** argv) {
  try {
    return ParseAndRun(argc, argv);
  } catch (const std::exception& e) {
    Complain(e.what());
  } catch (...) {
    Complain("stopped by an unexpected error");
  }
  return kExitFailed;
}

} // namespace pw::cli
