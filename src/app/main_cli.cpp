// pagewright-cli: the Read and Program transactions and the codeplug pages from a shell, for
// production benches that script them. It drives the same form model as the window: every
// value goes through the control's own key filter and rule.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/clock.h"
#include "base/unicode_paths.h"
#include "base/user_dirs.h"
#include "files/file_io.h"
#include "link/serial_port.h"
#include "ui/form_model.h"
#include "ui/main_controls.h"

namespace {

using namespace pw;
using namespace pw::ui;

const char* const kUsage =
    "usage:\n"
    "  pagewright-cli read --port N --out FILE [--retries R]\n"
    "  pagewright-cli program --port N --in FILE [--yes] [--retries R]\n"
    "                 [--step A=1,B=1,... [--down]] [--update]\n"
    "  pagewright-cli show FILE\n"
    "  pagewright-cli set FILE NAME=VALUE ...\n"
    "NAME is a control of the two pages (as show lists them), or SetA.NAME ... SetF.NAME for a\n"
    "control of that code's alert set.\n";

// Messages to stderr exactly as the window shows them; questions answered from the flags.
class CliHost final : public Host {
public:
  void Show(const Message& m) override {
    std::fprintf(stderr, "%s\n", m.text.c_str());
    ++messages;
  }
  bool AskRetryCancel(const Message& m) override {
    bool retry = retries > 0;
    if (retry) --retries;
    std::fprintf(stderr, "%s\n[%s]\n", m.text.c_str(), retry ? "Retry" : "Cancel");
    ++messages;
    return retry;
  }
  bool AskYesNo(const Message& m, bool) override {
    std::fprintf(stderr, "%s\n[%s]\n", m.text.c_str(), yes ? "Yes" : "No");
    ++messages;
    return yes;
  }
  void SetProgress(int percent) override { progress = percent; }
  int Progress() const override { return progress; }
  void PumpMessages() override {}
  void SetText(const std::string& control, const std::string& text) override {
    if (controls) SetControlText(*controls, control, text);
  }
  std::string Text(const std::string& control) const override {
    return controls ? ControlText(*controls, control) : std::string();
  }

  Controls* controls = nullptr;
  int retries = 0;
  bool yes = false;
  int progress = 0;
  int messages = 0;
};

class CliShell final : public Shell {
public:
  std::optional<std::string> AskOpenFileName(const FileDialogRequest&) override { return {}; }
  std::optional<std::string> AskSaveFileName(const FileDialogRequest&) override { return {}; }
  void ShowHelp(const std::vector<std::string>&) override {}
  void ShowEditor(int) override {}
  void CloseMainWindow() override {}
  void FocusControl(const std::string&) override {}
};

struct Options {
  std::map<std::string, std::string> values; // --name value
  std::vector<std::string> flags;             // --name
  std::vector<std::string> positional;
  bool Has(const std::string& flag) const {
    for (const std::string& f : flags)
      if (f == flag) return true;
    return false;
  }
};

// The options one command takes: those with a value, plain flags, and how many plain
// arguments (files, assignments) it needs.
struct CommandSyntax {
  std::vector<std::string> withValue;
  std::vector<std::string> flags;
  std::size_t minPositional;
  std::size_t maxPositional;
};

// Anything a command does not take - a misspelt option, a repeated one, a stray word - is an
// error, so a script never runs with an option silently ignored.
std::optional<Options> ParseOptions(int argc, char** argv, int first, const CommandSyntax& syntax) {
  auto listed = [](const std::vector<std::string>& list, const std::string& a) {
    for (const std::string& w : list)
      if (w == a) return true;
    return false;
  };
  Options o;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--", 0) == 0) {
      if (o.values.count(a) || o.Has(a)) {
        std::fprintf(stderr, "pagewright-cli: %s given twice\n", a.c_str());
        return std::nullopt;
      }
      if (listed(syntax.withValue, a)) {
        if (i + 1 >= argc) {
          std::fprintf(stderr, "pagewright-cli: %s needs a value\n", a.c_str());
          return std::nullopt;
        }
        o.values[a] = argv[++i];
      } else if (listed(syntax.flags, a)) {
        o.flags.push_back(a);
      } else {
        std::fprintf(stderr, "pagewright-cli: unknown option %s\n", a.c_str());
        return std::nullopt;
      }
    } else {
      o.positional.push_back(a);
    }
  }
  if (o.positional.size() < syntax.minPositional || o.positional.size() > syntax.maxPositional) {
    std::fputs(kUsage, stderr);
    return std::nullopt;
  }
  return o;
}

bool ParseInt(const std::string& s, int lo, int hi, int& out) {
  if (s.empty() || s.size() > 9) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  out = std::atoi(s.c_str());
  return out >= lo && out <= hi;
}

bool IsDataFileName(const std::string& path) {
  return path.size() >= 4 &&
         (path.compare(path.size() - 4, 4, ".Dat") == 0 || path.compare(path.size() - 4, 4, ".dat") == 0);
}

// The window, headless, on real time and the system's serial ports.
struct Session {
  CliHost host;
  CliShell shell;
  SystemClock clock;
  FormModel model;

  explicit Session(const std::string& programDir)
      : model(host, shell, clock, [](int n, Host& h) { return MakeSystemSerialPort(n, h); },
              programDir) {
    host.controls = &model.controls;
    model.FormCreate();
  }
};

int RequirePort(const Options& o, int& port) {
  auto it = o.values.find("--port");
  if (it == o.values.end() || !ParseInt(it->second, 1, 256, port)) {
    std::fprintf(stderr, "pagewright-cli: --port N (1-256) is required\n");
    return 2;
  }
  return 0;
}

int Retries(const Options& o, int& retries) {
  retries = 0;
  auto it = o.values.find("--retries");
  if (it != o.values.end() && !ParseInt(it->second, 0, 1000000, retries)) {
    std::fprintf(stderr, "pagewright-cli: --retries takes a count\n");
    return 2;
  }
  return 0;
}

bool WriteImage(Session& s, const std::string& path) {
  if (IsDataFileName(path)) return s.model.SaveFile(path);
  const Image& image = s.model.codeplug.WorkingImage;
  FileWriteResult w = WriteFileSafely(
      path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()), false);
  if (!w.ok) std::fprintf(stderr, "%s\n", w.error.c_str());
  return w.ok;
}

int CmdRead(const std::string& programDir, const Options& o) {
  int port = 0, retries = 0;
  if (int rc = RequirePort(o, port)) return rc;
  if (int rc = Retries(o, retries)) return rc;
  auto out = o.values.find("--out");
  if (out == o.values.end()) {
    std::fprintf(stderr, "pagewright-cli: --out FILE is required\n");
    return 2;
  }
  Session s(programDir);
  s.host.retries = retries;
  s.model.UsePort(port);
  s.model.Click("ToolButton3");
  if (!s.model.LastTransactionOk()) return 1;
  return WriteImage(s, out->second) ? 0 : 1;
}

// "A=1,B=0,..." into the six I-D edits.
bool ParseSteps(const std::string& list, std::map<int, int>& steps) {
  size_t pos = 0;
  while (pos < list.size()) {
    size_t comma = list.find(',', pos);
    std::string part = list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
    if (part.size() != 3 || part[1] != '=' || part[0] < 'A' || part[0] > 'F' || part[2] < '0' ||
        part[2] > '8')
      return false;
    if (!steps.emplace(part[0] - 'A' + 1, part[2] - '0').second) return false; // a code twice
    if (comma == std::string::npos) break;
    pos = comma + 1;
  }
  return !steps.empty();
}

int CmdProgram(const std::string& programDir, const Options& o) {
  int port = 0, retries = 0;
  if (int rc = RequirePort(o, port)) return rc;
  if (int rc = Retries(o, retries)) return rc;
  auto in = o.values.find("--in");
  if (in == o.values.end()) {
    std::fprintf(stderr, "pagewright-cli: --in FILE is required\n");
    return 2;
  }
  std::map<int, int> steps;
  auto step = o.values.find("--step");
  if (step != o.values.end() && !ParseSteps(step->second, steps)) {
    std::fprintf(stderr, "pagewright-cli: --step takes A=n,B=n,... with codes A-F and steps 0-8\n");
    return 2;
  }
  if (o.Has("--down") && steps.empty()) {
    std::fprintf(stderr, "pagewright-cli: --down goes with --step\n");
    return 2;
  }
  Session s(programDir);
  s.host.retries = retries;
  s.host.yes = o.Has("--yes");
  if (!s.model.LoadFile(in->second)) return 1;
  if (!steps.empty()) {
    s.model.Click("chkAutoIncrementorDecrement");
    if (o.Has("--down")) {
      s.model.controls["rgpCapCodeAutoIncrementDecrement"].itemIndex = 1;
      s.model.Click("rgpCapCodeAutoIncrementDecrement");
    }
    for (auto [k, value] : steps) {
      const std::string& edit = CodeRows()[k - 1].incDec;
      s.model.Enter(edit);
      s.model.controls.SetText(edit, std::to_string(value));
      s.model.Exit(edit);
    }
  }
  s.model.UsePort(port);
  s.model.Click("ToolButton4");
  if (!s.model.LastTransactionOk()) return 1;
  if (!s.model.LastStepOk()) {
    // The next pager would get the same addresses: say so, and leave the file as it was.
    std::fprintf(stderr, "pagewright-cli: the capcodes were not stepped; %s was not updated\n",
                 in->second.c_str());
    return 1;
  }
  if (o.Has("--update") && !s.model.SaveFile(in->second)) return 1;
  return 0;
}

// The controls a technician reads on the two pages, in window order.
bool OnPage(const Controls& c, const std::string& name) {
  for (const Control* p = c.Find(name); p; p = p->parent.empty() ? nullptr : c.Find(p->parent))
    if (p->kind == Kind::Page) return true;
  return false;
}

bool IsValueControl(const Control& c) {
  switch (c.kind) {
  case Kind::Edit:
  case Kind::CheckBox:
  case Kind::RadioGroup:
  case Kind::ComboBox:
    return true;
  case Kind::Label:
    return c.name.find("Alerttime") != std::string::npos && c.name.find("Caption") == std::string::npos;
  default:
    return false;
  }
}

std::string ValueOf(const Control& c) {
  switch (c.kind) {
  case Kind::CheckBox:
    return c.checked ? "1" : "0";
  case Kind::RadioGroup:
  case Kind::ComboBox:
    return c.itemIndex >= 0 && c.itemIndex < static_cast<int>(c.items.size()) ? c.items[c.itemIndex]
                                                                               : std::string();
  case Kind::Label:
    return c.caption;
  default:
    return c.text;
  }
}

// Every alert set as its editor shows it, under "SetA." ... "SetF." before the control name.
void PrintAlertSets(FormModel& model) {
  EditorModel& editor = model.editor();
  for (int k = 1; k <= 6; ++k) {
    editor.Open(k);
    const std::string prefix = std::string("Set") + static_cast<char>('A' + k - 1) + ".";
    for (const std::string& name : editor.controls.Order()) {
      const Control& c = editor.controls[name];
      if (!IsValueControl(c) || !editor.controls.Shown(name)) continue;
      std::printf("%s%s=%s%s\n", prefix.c_str(), name.c_str(), ValueOf(c).c_str(),
                  editor.controls.Usable(name) ? "" : " (disabled)");
    }
    editor.Close();
  }
}

void PrintPages(FormModel& model) {
  for (int page = 0; page < 2; ++page) {
    model.PageChanged(page);
    for (const std::string& name : model.controls.Order()) {
      const Control& c = model.controls[name];
      if (!IsValueControl(c) || !OnPage(model.controls, name) || !model.controls.Shown(name)) continue;
      std::string pageName = page == 0 ? "TSFLEXAddressOption" : "TSStandardOption";
      bool inPage = false;
      for (const Control* p = &c; p; p = p->parent.empty() ? nullptr : model.controls.Find(p->parent))
        inPage = inPage || p->name == pageName;
      if (!inPage) continue;
      std::printf("%s=%s%s\n", name.c_str(), ValueOf(c).c_str(),
                  model.controls.Usable(name) ? "" : " (disabled)");
    }
  }
  PrintAlertSets(model);
}

int CmdShow(const std::string& programDir, const Options& o) {
  if (o.positional.size() != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  Session s(programDir);
  if (!s.model.LoadFile(o.positional[0])) return 1;
  PrintPages(s.model);
  return 0;
}

// Types value into a control of a window model (the main window or the alert-set editor) as
// the user would: focus, keys through the control's filter, leaving it; a click for boxes and
// item lists. False, with an error, when the control could not take the value at all.
template <class Model>
bool TypeInto(Model& m, Controls& controls, const std::string& label, const std::string& name,
              const std::string& value) {
  Control* c = controls.Find(name);
  if (!controls.Shown(name)) {
    std::fprintf(stderr, "pagewright-cli: %s is hidden in this window\n", label.c_str());
    return false;
  }
  if (!controls.Usable(name) || c->readOnly) {
    std::fprintf(stderr, "pagewright-cli: %s is disabled for this codeplug\n", label.c_str());
    return false;
  }
  switch (c->kind) {
  case Kind::CheckBox:
    if (value != "0" && value != "1") {
      std::fprintf(stderr, "pagewright-cli: %s takes 1 or 0\n", label.c_str());
      return false;
    }
    m.Enter(name);
    if (c->checked != (value == "1")) m.Click(name);
    m.Exit(name);
    return true;
  case Kind::RadioGroup:
  case Kind::ComboBox: {
    int index = -1;
    for (size_t i = 0; i < c->items.size(); ++i)
      if (c->items[i] == value || std::to_string(i) == value) index = static_cast<int>(i);
    if (index < 0) {
      std::fprintf(stderr, "pagewright-cli: %s has no item \"%s\"\n", label.c_str(), value.c_str());
      return false;
    }
    m.Enter(name);
    c->itemIndex = index;
    m.Click(name);
    m.Exit(name);
    return true;
  }
  default:
    break;
  }
  if (c->maxLength > 0 && static_cast<int>(value.size()) > c->maxLength) {
    std::fprintf(stderr, "pagewright-cli: %s holds at most %d characters\n", label.c_str(),
                 c->maxLength);
    return false;
  }
  m.Enter(name);
  for (char ch : value) {
    if (ch == '\r' || !m.KeyPress(name, ch)) {
      std::fprintf(stderr, "pagewright-cli: %s does not accept the character '%c'\n", label.c_str(),
                   ch);
      return false;
    }
  }
  controls.SetText(name, value);
  m.Exit(name);
  return true;
}

// NAME=VALUE for a page control, or SetX.NAME=VALUE for a control of code X's alert set.
bool ApplyAssignment(Session& s, const std::string& assignment) {
  size_t eq = assignment.find('=');
  if (eq == std::string::npos || eq == 0) {
    std::fprintf(stderr, "pagewright-cli: \"%s\" is not NAME=VALUE\n", assignment.c_str());
    return false;
  }
  const std::string label = assignment.substr(0, eq);
  const std::string value = assignment.substr(eq + 1);
  FormModel& m = s.model;

  if (label.size() > 5 && label.compare(0, 3, "Set") == 0 && label[3] >= 'A' && label[3] <= 'F' &&
      label[4] == '.') {
    const int k = label[3] - 'A' + 1;
    const std::string name = label.substr(5);
    EditorModel& editor = m.editor();
    const Control* c = editor.controls.Find(name);
    if (!c || !IsValueControl(*c) || c->kind == Kind::Label) {
      std::fprintf(stderr, "pagewright-cli: %s is not a control that can be set\n", label.c_str());
      return false;
    }
    if (m.state.ActivePage != 0) m.PageChanged(0);
    if (!m.controls.Usable(CodeRows()[k - 1].set)) {
      std::fprintf(stderr, "pagewright-cli: %s: the alert set of a disabled code cannot be opened\n",
                   label.c_str());
      return false;
    }
    editor.Open(k);
    bool ok = TypeInto(editor, editor.controls, label, name, value);
    editor.Close();
    return ok;
  }

  Control* c = m.controls.Find(label);
  if (!c || !IsValueControl(*c) || c->kind == Kind::Label || !OnPage(m.controls, label)) {
    std::fprintf(stderr, "pagewright-cli: %s is not a control that can be set\n", label.c_str());
    return false;
  }
  int page = 0;
  for (const Control* p = c; p; p = p->parent.empty() ? nullptr : m.controls.Find(p->parent))
    if (p->name == "TSStandardOption") page = 1;
  if (m.state.ActivePage != page) m.PageChanged(page);
  return TypeInto(m, m.controls, label, label, value);
}

int CmdSet(const std::string& programDir, const Options& o) {
  if (o.positional.size() < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& file = o.positional[0];
  Session s(programDir);
  if (!s.model.LoadFile(file)) return 1;
  int before = s.host.messages;
  for (size_t i = 1; i < o.positional.size(); ++i)
    if (!ApplyAssignment(s, o.positional[i])) return 2;
  bool corrected = s.host.messages != before;
  if (!s.model.SaveFile(file)) return 1;
  return corrected ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
  // File names keep every letter on Windows too: the arguments as UTF-8 from the wide
  // command line.
  std::vector<std::string> args = Utf8Arguments(argc, argv);
  std::vector<char*> utf8Argv;
  for (std::string& a : args) utf8Argv.push_back(a.data());
  utf8Argv.push_back(nullptr);
  argc = static_cast<int>(args.size());
  argv = utf8Argv.data();
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  const std::string programDir = ExecutableDirectory(argv[0]);
  struct Entry {
    const char* name;
    CommandSyntax syntax;
    int (*run)(const std::string&, const Options&);
  };
  static const Entry commands[] = {
      {"read", {{"--port", "--out", "--retries"}, {}, 0, 0}, CmdRead},
      {"program",
       {{"--port", "--in", "--retries", "--step"}, {"--yes", "--down", "--update"}, 0, 0},
       CmdProgram},
      {"show", {{}, {}, 1, 1}, CmdShow},
      {"set", {{}, {}, 2, static_cast<std::size_t>(-1)}, CmdSet},
  };
  for (const Entry& e : commands) {
    if (command != e.name) continue;
    std::optional<Options> o = ParseOptions(argc, argv, 2, e.syntax);
    if (!o) return 2;
    return e.run(programDir, *o);
  }
  std::fputs(kUsage, stderr);
  return 2;
}
