// show and set: the named fields of a data file on a terminal.
#include <cstdio>

#include "app/cli/cli.h"
#include "ui/named_fields.h"

namespace pw::cli {

using ui::ApplyOutcome;
using ui::FieldAccess;

int RunShow(const ShowOptions& o) {
  Session s;
  if (!s.model.LoadFile(o.file))
    return kExitFailed;
  for (const ui::FieldReading& r : ui::ReadNamedFields(s.model)) {
    const ui::NamedField& f = *r.field;
    std::string marks;
    if (f.access != FieldAccess::Value)
      marks += " (read-only)";
    if (!r.shown)
      marks += " (hidden)";
    else if (!r.usable && f.access == FieldAccess::Value)
      marks += " (disabled)";
    std::printf("%s=%s%s\n", (o.controls ? ui::ControlLabel(f) : f.name).c_str(), r.value.c_str(),
                marks.c_str());
  }
  return kExitOk;
}

int RunSet(const SetOptions& o) {
  FileLock lock;
  if (!LockForUpdate(lock, o.file))
    return kExitFailed;
  Session s;
  if (!s.model.LoadFile(o.file))
    return kExitFailed;
  const std::size_t messagesBefore = s.host.shown.size();
  bool corrected = false;
  for (const std::string& assignment : o.assignments) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) {
      Complain("\"" + assignment + "\" is not NAME=VALUE");
      return kExitUsage;
    }
    const std::string name = assignment.substr(0, eq), value = assignment.substr(eq + 1);
    const ui::NamedField* f = ui::FindNamedField(name);
    if (!f) {
      Complain(name + " is not a field of the codeplug (show lists them)");
      return kExitUsage;
    }
    if (!f->inImage) {
      Complain(name + " is not kept in a data file");
      return kExitUsage;
    }
    const ApplyOutcome r = ui::ApplyNamedField(s.model, *f, value, ui::ApplyMode::AsTyped);
    if (r.status == ApplyOutcome::Refused) {
      Complain(name + " " + r.reason);
      return kExitUsage;
    }
    if (r.status == ApplyOutcome::Corrected) {
      Complain(name + "=" + value + " was stored as " + r.stored);
      corrected = true;
    }
  }
  if (!s.model.SaveFile(o.file))
    return kExitFailed;
  return corrected || s.host.shown.size() != messagesBefore ? kExitFailed : kExitOk;
}

} // namespace pw::cli
