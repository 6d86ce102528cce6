// SPDX-License-Identifier: GPL-3.0-or-later
// What the declared commands and options give besides the parsing: the help texts, the
// shell completion scripts and the suggestion for a mistyped command. All of it is read from
// the CLI11 declarations of options.cpp, so nothing here lists an option.
#pragma once

#include <CLI/CLI.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pw::cli {

inline constexpr std::size_t kHelpWidth = 80;

// One example command line per command, shown at the end of its help.
using Examples = std::map<const CLI::App*, std::string>;
// The words an argument takes, for the completion ("bash zsh fish").
using Choices = std::map<const CLI::Option*, std::vector<std::string>>;

// Help within kHelpWidth columns: description, a usage line with the required options, the
// arguments and options with their descriptions, the footer and the example.
std::shared_ptr<CLI::FormatterBase> MakeHelpFormatter(const Examples& examples);

// The completion script for "bash", "zsh" or "fish"; empty for another shell.
// Option values complete by the name their declaration gives them: DIR to folders, PATH and
// names with FILE to files, others to nothing; arguments to their choices, else to files.
std::string CompletionScript(const CLI::App& app, const std::string& shell, const Choices& choices);

// The command nearest to a mistyped one (a letter or two off, or the start of only one);
// empty when none is near.
std::string NearestCommand(const CLI::App& app, const std::string& typed);

} // namespace pw::cli
