// Every command and option of pagewright-cli, declared in one place.
#include <CLI/CLI.hpp>

#include <exception>
#include <functional>
#include <iostream>

#include "app/cli/cli.h"
#include "base/user_dirs.h"
#include "base/version.h"

namespace pw::cli {

namespace {

// A command of the program: its options, what runs it, and the status that says it could not
// run to the end (diff keeps 1 for "different").
struct Command {
  CLI::App* app;
  std::function<int()> run;
  int trouble = kExitFailed;
};

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

} // namespace

namespace {

int ParseAndRun(int argc, char** argv) {
  SetProgramDirectory(ExecutableDirectory(argc > 0 ? argv[0] : ""));

  CLI::App app{"Reads, programs and edits the codeplugs of RV615 FLEX pagers.\n"
               "Messages go to standard error as the window shows them.",
               "pagewright-cli"};
  app.set_version_flag("--version", std::string("pagewright-cli ") + ProgramVersion() +
                                        " (software stamp " + std::string(kSoftwareStamp) + ")");
  app.require_subcommand(1);
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("pagewright-cli: ") + e.what() + "\nRun with --help for more information.\n";
  });
  app.footer(
      "Exit status: 0 success; 1 a transaction or file failed, or a rule corrected a value;\n"
      "2 a command line that cannot be carried out. Each command has its own --help.");

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
              "the same. Ctrl+C, SIGTERM and SIGHUP stop once the pagers being programmed are\n"
              "done. The summary counts per line and in total: programmed (distinct serial\n"
              "numbers), failed (serial numbers and steps), refused, and the next unit's\n"
              "capcodes. Exit status: 0 every pager succeeded, 1 any failed or a stop signal\n"
              "other than Ctrl+C, 130 Ctrl+C, 2 a command line, manifest or log that cannot\n"
              "be used.");
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
  cmd->add_flag("--force", restore.force, "write it even into a pager of another serial number");
  cmd->footer("Exit status: 0 restored; 1 failed; 2 the dump is of another pager (without\n"
              "--force) or a command line that cannot be carried out.");
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

  try {
    app.parse(argc, argv);
    RefuseRepeats(app);
    for (CLI::App* sub : app.get_subcommands())
      RefuseRepeats(*sub);
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
