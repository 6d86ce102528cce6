// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/cli/help.h"

#include <algorithm>
#include <cctype>
#include <sstream>
#include <vector>

namespace pw::cli {

namespace {

using Options = std::vector<const CLI::Option*>;

std::vector<const CLI::App*> Commands(const CLI::App& app) {
  std::vector<const CLI::App*> out;
  for (const CLI::App* sub : app.get_subcommands({}))
    if (!sub->get_name().empty())
      out.push_back(sub);
  return out;
}

// The unnamed option groups of a command ("Exactly one of --port and --device").
std::vector<const CLI::App*> Groups(const CLI::App& app) {
  std::vector<const CLI::App*> out;
  for (const CLI::App* sub : app.get_subcommands({}))
    if (sub->get_name().empty())
      out.push_back(sub);
  return out;
}

// An option group carries a copy of the help flag, which belongs to its command.
Options Named(const CLI::App& app) {
  Options out;
  for (const CLI::Option* o : app.get_options())
    if (o->nonpositional() && (!app.get_name().empty() || o != app.get_help_ptr()))
      out.push_back(o);
  return out;
}

// Help and version, which the usage line does not count among the options.
bool AboutTheProgram(const CLI::App& app, const CLI::Option* o) {
  return o == app.get_help_ptr() || o == app.get_version_ptr();
}

// Every option of a command, its groups' included, in the order of declaration per group.
Options AllNamed(const CLI::App& app) {
  Options out;
  for (const CLI::App* group : Groups(app))
    for (const CLI::Option* o : Named(*group))
      out.push_back(o);
  for (const CLI::Option* o : Named(app))
    out.push_back(o);
  return out;
}

Options Positionals(const CLI::App& app) {
  Options out;
  for (const CLI::Option* o : app.get_options())
    if (!o->nonpositional())
      out.push_back(o);
  return out;
}

// The value's name as declared ("N", "FILE"), without what the checks add to it.
std::string TypeName(const CLI::Option& o) {
  std::string type = o.get_type_name();
  return type.substr(0, type.find(':'));
}

bool TakesValue(const CLI::Option& o) {
  return o.get_items_expected_max() > 0;
}
bool Repeats(const CLI::Option& o) {
  return o.get_expected_max() > 1;
}

std::string LongName(const CLI::Option& o) {
  if (!o.get_lnames().empty())
    return "--" + o.get_lnames().front();
  return o.get_snames().empty() ? o.get_name() : "-" + o.get_snames().front();
}

std::vector<std::string> AllNames(const CLI::Option& o) {
  std::vector<std::string> names;
  for (const std::string& s : o.get_snames())
    names.push_back("-" + s);
  for (const std::string& l : o.get_lnames())
    names.push_back("--" + l);
  return names;
}

std::string ValueForm(const CLI::Option& o) {
  if (!TakesValue(o))
    return {};
  std::string type = TypeName(o);
  if (type.empty())
    type = "VALUE";
  return " " + type + (Repeats(o) ? "..." : "");
}

std::string ArgumentForm(const CLI::Option& o) {
  std::string type = TypeName(o);
  if (type.empty()) {
    type = o.get_name();
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  }
  return type + (Repeats(o) ? "..." : "");
}

// Words into lines of kHelpWidth columns; the first line continues a text already `used`
// columns wide, the others start `indent` columns in. Line breaks of the text are kept.
std::string Wrap(const std::string& text, std::size_t indent, std::size_t used) {
  std::string out;
  std::size_t column = used;
  std::istringstream lines(text);
  bool firstLine = true;
  for (std::string line; std::getline(lines, line);) {
    if (!firstLine) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    }
    firstLine = false;
    std::istringstream words(line);
    bool lineStart = true;
    for (std::string word; words >> word;) {
      if (!lineStart && column + 1 + word.size() > kHelpWidth) {
        out += "\n" + std::string(indent, ' ');
        column = indent;
        lineStart = true;
      }
      if (!lineStart) {
        out += ' ';
        ++column;
      }
      out += word;
      column += word.size();
      lineStart = false;
    }
  }
  return out;
}

// Rows of a name and its description, the descriptions lined up.
std::string Table(const std::vector<std::pair<std::string, std::string>>& rows) {
  constexpr std::size_t kMaxNameColumn = 26;
  std::size_t column = 0;
  for (const auto& [name, text] : rows)
    if (2 + name.size() + 2 <= kMaxNameColumn)
      column = std::max(column, 2 + name.size() + 2);
  std::string out;
  for (const auto& [name, text] : rows) {
    std::string line = "  " + name;
    if (line.size() + 2 > column) {
      out += line + "\n";
      line.clear();
    }
    line.resize(column, ' ');
    out += line + Wrap(text, column, column) + "\n";
  }
  return out;
}

std::string OptionRow(const CLI::Option& o) {
  std::string names;
  for (const std::string& n : AllNames(o))
    names += (names.empty() ? "" : ", ") + n;
  return names + ValueForm(o);
}

std::string UsageOfCommand(const CLI::App& app, const std::string& program) {
  std::vector<std::string> parts;
  bool optional = false;
  for (const CLI::App* group : Groups(app)) {
    std::string choice;
    for (const CLI::Option* o : Named(*group))
      choice += (choice.empty() ? "" : " | ") + LongName(*o) + ValueForm(*o);
    if (group->get_require_option_min() > 0)
      parts.push_back("(" + choice + ")");
    else
      optional = true;
  }
  for (const CLI::Option* o : Named(app)) {
    if (o->get_required())
      parts.push_back(LongName(*o) + ValueForm(*o));
    else if (!AboutTheProgram(app, o))
      optional = true;
  }
  if (optional)
    parts.push_back("[OPTIONS]");
  for (const CLI::Option* o : Positionals(app))
    parts.push_back(o->get_required() ? ArgumentForm(*o) : "[" + ArgumentForm(*o) + "]");
  std::string usage = "Usage: " + program + " " + app.get_name();
  // A part is never split over two lines.
  std::size_t column = usage.size();
  for (const std::string& part : parts) {
    if (column + 1 + part.size() > kHelpWidth) {
      usage += "\n       ";
      column = 7;
    } else {
      usage += ' ';
      ++column;
    }
    usage += part;
    column += part.size();
  }
  return usage + "\n";
}

class HelpFormatter final : public CLI::FormatterBase {
public:
  explicit HelpFormatter(const Examples& examples) : examples_(examples) {}

  std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
    const CLI::App* root = app;
    while (root->get_parent())
      root = root->get_parent();
    const std::string program = root->get_name();
    std::string out = Wrap(app->get_description(), 0, 0) + "\n\n";
    if (app == root) {
      out += "Usage: " + program + " COMMAND [OPTIONS]\n";
      out += "       " + program + " help [COMMAND]\n\nCommands:\n";
      std::vector<std::pair<std::string, std::string>> rows;
      for (const CLI::App* cmd : Commands(*app))
        rows.emplace_back(cmd->get_name(), cmd->get_description());
      out += Table(rows);
    } else {
      // A command of a group ("ledger whois") is named after its group; a group lists its own.
      std::string path = program;
      for (const CLI::App* up = app->get_parent(); up && up != root; up = up->get_parent())
        path.insert(program.size(), " " + up->get_name());
      if (const std::vector<const CLI::App*> inner = Commands(*app); !inner.empty()) {
        out += "Usage: " + path + " " + app->get_name() + " COMMAND [OPTIONS]\n\nCommands:\n";
        std::vector<std::pair<std::string, std::string>> rows;
        for (const CLI::App* cmd : inner)
          rows.emplace_back(cmd->get_name(), cmd->get_description());
        out += Table(rows);
      } else {
        out += UsageOfCommand(*app, path);
      }
      std::vector<std::pair<std::string, std::string>> rows;
      for (const CLI::Option* o : Positionals(*app))
        rows.emplace_back(ArgumentForm(*o), o->get_description());
      if (!rows.empty())
        out += "\nArguments:\n" + Table(rows);
      for (const CLI::App* group : Groups(*app)) {
        rows.clear();
        for (const CLI::Option* o : Named(*group))
          rows.emplace_back(OptionRow(*o), o->get_description());
        out += "\n" + Wrap(group->get_description(), 0, 0) + "\n" + Table(rows);
      }
    }
    std::vector<std::pair<std::string, std::string>> rows;
    for (const CLI::Option* o : Named(*app))
      rows.emplace_back(OptionRow(*o), o->get_description());
    out += "\nOptions:\n" + Table(rows);
    if (!app->get_footer().empty())
      out += "\n" + Wrap(app->get_footer(), 0, 0) + "\n";
    if (auto it = examples_.find(app); it != examples_.end())
      out += "\nExample:\n  " + it->second + "\n";
    return out;
  }

private:
  const Examples& examples_;
};

// ---- Completion ---------------------------------------------------------------------------

enum class Completes { Nothing, Files, Directories };

// What an option's value is, by the name its declaration gives the value.
Completes ValueKind(const CLI::Option& o) {
  const std::string type = TypeName(o);
  if (type == "DIR")
    return Completes::Directories;
  if (type.find("FILE") != std::string::npos || type == "PATH")
    return Completes::Files;
  return Completes::Nothing;
}

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words)
    out += (out.empty() ? "" : " ") + w;
  return out;
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// The choices of an argument, empty when it takes any word.
std::vector<std::string> ChoicesOf(const Choices& choices, const CLI::Option& o) {
  auto it = choices.find(&o);
  return it == choices.end() ? std::vector<std::string>() : it->second;
}

// The options a command's words complete to: a group's ("ledger", "pool") are its own and
// those of all its commands, each once.
Options CompletedOptions(const CLI::App& cmd) {
  Options named = AllNamed(cmd);
  for (const CLI::App* sub : Commands(cmd))
    for (const CLI::Option* o : AllNamed(*sub))
      if (std::none_of(named.begin(), named.end(),
                       [o](const CLI::Option* n) { return n->get_name() == o->get_name(); }))
        named.push_back(o);
  return named;
}

// A group's commands, which its first argument completes to; empty for any other command.
std::vector<std::string> InnerCommands(const CLI::App& cmd) {
  std::vector<std::string> out;
  for (const CLI::App* sub : Commands(cmd))
    out.push_back(sub->get_name());
  return out;
}

std::string SingleQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Bash(const CLI::App& app, const Choices& choices) {
  std::vector<std::string> top;
  for (const CLI::App* cmd : Commands(app))
    top.push_back(cmd->get_name());
  for (const CLI::Option* o : Named(app))
    for (const std::string& n : AllNames(*o))
      top.push_back(n);
  std::string out = "# bash completion for " + app.get_name() + "; made by `" + app.get_name() +
                    " completion bash`\n"
                    "_pagewright_cli() {\n"
                    "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
                    "  local command= i\n"
                    "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
                    "    case ${COMP_WORDS[i]} in\n"
                    "      -*) ;;\n"
                    "      *) command=${COMP_WORDS[i]}; break ;;\n"
                    "    esac\n"
                    "  done\n"
                    "  local options= files= dirs= values= arguments=\n"
                    "  case $command in\n"
                    "    '') COMPREPLY=($(compgen -W " +
                    SingleQuoted(Join(top)) + " -- \"$cur\")); return ;;\n";
  for (const CLI::App* cmd : Commands(app)) {
    std::vector<std::string> options, files, dirs, values;
    const std::vector<std::string> inner = InnerCommands(*cmd);
    const Options named = CompletedOptions(*cmd);
    for (const CLI::Option* o : named) {
      const std::vector<std::string> names = AllNames(*o);
      options.insert(options.end(), names.begin(), names.end());
      if (!TakesValue(*o))
        continue;
      std::vector<std::string>& kind = ValueKind(*o) == Completes::Files         ? files
                                       : ValueKind(*o) == Completes::Directories ? dirs
                                                                                 : values;
      kind.insert(kind.end(), names.begin(), names.end());
    }
    // What a word that is no option completes to: the choices of the first positional with
    // any, else file names when the command takes arguments at all.
    std::string arguments = Join(inner);
    for (const CLI::Option* o : inner.empty() ? Positionals(*cmd) : Options()) {
      const std::vector<std::string> words = ChoicesOf(choices, *o);
      if (!words.empty()) {
        arguments = Join(words);
        break;
      }
      arguments = "@files";
    }
    out += "    " + cmd->get_name() + ") options=" + SingleQuoted(Join(options)) +
           " files=" + SingleQuoted(Join(files)) + " dirs=" + SingleQuoted(Join(dirs)) +
           " values=" + SingleQuoted(Join(values)) + " arguments=" + SingleQuoted(arguments) +
           " ;;\n";
  }
  out += "    *) return ;;\n"
         "  esac\n"
         "  if [[ \" $files \" == *\" $prev \"* ]]; then\n"
         "    compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\")); return\n"
         "  elif [[ \" $dirs \" == *\" $prev \"* ]]; then\n"
         "    compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- \"$cur\")); return\n"
         "  elif [[ \" $values \" == *\" $prev \"* ]]; then\n"
         "    return\n"
         "  elif [[ $cur == -* || -z $arguments ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "  elif [[ $arguments == @files ]]; then\n"
         "    compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=($(compgen -W \"$arguments\" -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -F _pagewright_cli " +
         app.get_name() + "\n";
  return out;
}

// Text inside a zsh _arguments description: brackets and colons escaped.
std::string ZshDescription(const std::string& text) {
  std::string out;
  for (char c : FirstLine(text)) {
    if (c == '[' || c == ']' || c == ':' || c == '\\')
      out += '\\';
    out += c;
  }
  return out;
}

std::string Zsh(const CLI::App& app, const Choices& choices) {
  const std::string name = app.get_name();
  std::string out = "#compdef " + name + "\n# zsh completion for " + name + "; made by `" + name +
                    " completion zsh`\n_" + name + "() {\n  local -a commands\n  commands=(\n";
  for (const CLI::App* cmd : Commands(app))
    out += "    " + SingleQuoted(cmd->get_name() + ":" + FirstLine(cmd->get_description())) + "\n";
  out += "  )\n"
         "  if (( CURRENT == 2 )); then\n"
         "    _describe -t commands command commands\n"
         "    return\n"
         "  fi\n"
         "  local command=${words[2]}\n"
         "  shift words\n"
         "  (( CURRENT-- ))\n"
         "  case $command in\n";
  for (const CLI::App* cmd : Commands(app)) {
    out += "    " + cmd->get_name() + ")\n      _arguments -s";
    for (const CLI::Option* o : CompletedOptions(*cmd)) {
      const std::vector<std::string> names = AllNames(*o);
      std::string list;
      for (const std::string& n : names)
        list += (list.empty() ? "" : ",") + n;
      std::string described = "[" + ZshDescription(o->get_description()) + "]";
      if (TakesValue(*o)) {
        const Completes kind = ValueKind(*o);
        described += ":" + ZshDescription(TypeName(*o)) + ":" +
                     (kind == Completes::Files         ? "_files"
                      : kind == Completes::Directories ? "_files -/"
                                                       : " ");
      }
      if (names.size() > 1)
        out += " \\\n        " + SingleQuoted("(" + Join(names) + ")") + "{" + list + "}" +
               SingleQuoted(described);
      else
        out += " \\\n        " + SingleQuoted(list + described);
    }
    int position = 0;
    if (const std::vector<std::string> inner = InnerCommands(*cmd); !inner.empty())
      out += " \\\n        " + SingleQuoted("1:command:(" + Join(inner) + ")");
    for (const CLI::Option* o : InnerCommands(*cmd).empty() ? Positionals(*cmd) : Options()) {
      const std::vector<std::string> words = ChoicesOf(choices, *o);
      const std::string action = words.empty() ? "_files" : "(" + Join(words) + ")";
      const std::string at = Repeats(*o) ? "*" : std::to_string(++position);
      out += " \\\n        " +
             SingleQuoted(at + ":" + ZshDescription(ArgumentForm(*o)) + ":" + action);
    }
    out += "\n      ;;\n";
  }
  out += "  esac\n}\n_" + name + " \"$@\"\n";
  return out;
}

// A fish string in single quotes.
std::string FishQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : FirstLine(text)) {
    if (c == '\'' || c == '\\')
      out += '\\';
    out += c;
  }
  return out + "'";
}

std::string Fish(const CLI::App& app, const Choices& choices) {
  const std::string c = "complete -c " + app.get_name();
  std::string out = "# fish completion for " + app.get_name() + "; made by `" + app.get_name() +
                    " completion fish`\n" + c + " -f\n";
  for (const CLI::App* cmd : Commands(app))
    out += c + " -n __fish_use_subcommand -a " + cmd->get_name() + " -d " +
           FishQuoted(cmd->get_description()) + "\n";
  auto option = [&](const std::string& condition, const CLI::Option& o) {
    std::string line = c + " -n " + condition;
    for (const std::string& s : o.get_snames())
      line += " -s " + s;
    for (const std::string& l : o.get_lnames())
      line += " -l " + l;
    if (TakesValue(o)) {
      const Completes kind = ValueKind(o);
      line += kind == Completes::Files         ? " -r -F"
              : kind == Completes::Directories ? " -x -a '(__fish_complete_directories)'"
                                               : " -x";
    }
    return line + " -d " + FishQuoted(o.get_description()) + "\n";
  };
  for (const CLI::Option* o : Named(app))
    out += option("__fish_use_subcommand", *o);
  for (const CLI::App* cmd : Commands(app)) {
    const std::string condition = "'__fish_seen_subcommand_from " + cmd->get_name() + "'";
    for (const CLI::Option* o : CompletedOptions(*cmd))
      out += option(condition, *o);
    if (const std::vector<std::string> inner = InnerCommands(*cmd); !inner.empty())
      out += c + " -n " + condition + " -a " + FishQuoted(Join(inner)) + "\n";
    for (const CLI::Option* o : InnerCommands(*cmd).empty() ? Positionals(*cmd) : Options()) {
      const std::vector<std::string> words = ChoicesOf(choices, *o);
      out += c + " -n " + condition + (words.empty() ? " -F" : " -a " + FishQuoted(Join(words))) +
             "\n";
      break;
    }
  }
  return out;
}

// Letters to change, add, drop or swap to turn a into b.
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i)
    d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j)
    d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

} // namespace

std::shared_ptr<CLI::FormatterBase> MakeHelpFormatter(const Examples& examples) {
  return std::make_shared<HelpFormatter>(examples);
}

std::string CompletionScript(const CLI::App& app, const std::string& shell,
                             const Choices& choices) {
  if (shell == "bash")
    return Bash(app, choices);
  if (shell == "zsh")
    return Zsh(app, choices);
  if (shell == "fish")
    return Fish(app, choices);
  return {};
}

std::string NearestCommand(const CLI::App& app, const std::string& typed) {
  if (typed.empty() || typed.size() > 40)
    return {};
  std::string best, starting;
  std::size_t bestDistance = 3, starts = 0;
  for (const CLI::App* cmd : Commands(app)) {
    const std::string& name = cmd->get_name();
    if (name.rfind(typed, 0) == 0) {
      starting = name;
      ++starts;
    }
    const std::size_t d = Distance(typed, name);
    if (d < bestDistance && d < name.size() / 2 + 1) {
      bestDistance = d;
      best = name;
    }
  }
  if (!best.empty())
    return best;
  return starts == 1 ? starting : std::string();
}

} // namespace pw::cli
