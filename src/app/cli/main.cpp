// SPDX-License-Identifier: GPL-3.0-or-later
// pagewright-cli: main only hands the command line to the commands.
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "base/unicode_paths.h"

int main(int argc, char** argv) {
  // File names keep every letter on Windows too: the arguments as UTF-8 from the wide
  // command line.
  std::vector<std::string> args = pw::Utf8Arguments(argc, argv);
  std::vector<char*> utf8Argv;
  for (std::string& a : args) utf8Argv.push_back(a.data());
  utf8Argv.push_back(nullptr);
  return pw::cli::Run(static_cast<int>(args.size()), utf8Argv.data());
}
