// read and program: the two transactions with a pager on a serial port.
#include <cstdio>
#include <map>

#include "app/cli/cli.h"
#include "files/file_io.h"
#include "transactions/compatibility.h"
#include "ui/main_controls.h"

namespace pw::cli {

namespace {

// Opens the port the options name. A port that cannot be opened has said so through the
// host (once); nothing is sent then.
bool OpenPort(Session& s, const PortOptions& o) {
  s.host.retries = o.retries;
  s.model.UsePort(o.port > 0 ? o.port : 1);
  return s.model.port() && s.model.port()->IsOpen();
}

bool WriteImage(Session& s, const std::string& path) {
  if (IsDataFileName(path))
    return s.model.SaveFile(path);
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

int RunRead(const ReadOptions& o) {
  Session s(o.port.device);
  if (!OpenPort(s, o.port))
    return kExitFailed;
  s.model.Click("ToolButton3");
  if (!s.model.LastTransactionOk())
    return kExitFailed;
  return WriteImage(s, o.out) ? kExitOk : kExitFailed;
}

int RunProgram(const ProgramOptions& o) {
  std::map<int, int> steps;
  if (!o.step.empty() && !ParseSteps(o.step, steps))
    return kExitUsage; // refused when parsed
  Session s(o.port.device);
  s.host.yes = o.yes;
  if (!s.model.LoadFile(o.in))
    return kExitFailed;
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
  if (!OpenPort(s, o.port))
    return kExitFailed;
  const std::size_t before = s.host.shown.size();
  s.model.Click("ToolButton4");
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
  // Any box besides the success message was a rule correcting or warning on the way.
  for (const std::string& text : s.host.shown)
    if (text != text::kProgrammed)
      return kExitFailed;
  return kExitOk;
}

} // namespace pw::cli
