// SPDX-License-Identifier: GPL-3.0-or-later
// show and set: the named fields of a data file on a terminal.
#include <cstdio>
#include <set>

#include "app/cli/cli.h"
#include "base/echo.h"
#include "ui/named_fields.h"

namespace pw::cli {

using ui::ApplyOutcome;
using ui::FieldAccess;

int RunShow(const ShowOptions& o) {
  Session s;
  if (!LoadCodeplug(s, o.file))
    return kExitFailed;
  for (const ui::FieldReading& r : ui::ReadNamedFields(s.model)) {
    const ui::NamedField& f = *r.field;
    std::string marks;
    if (!f.inImage) {
      // The stepping settings belong to the window, not to the codeplug: set and import
      // refuse them.
      marks += " (not in file)";
    } else {
      if (f.access != FieldAccess::Value)
        marks += " (read-only)";
      if (!r.shown)
        marks += " (hidden)";
      else if (!r.usable && f.access == FieldAccess::Value)
        marks += " (disabled)";
    }
    std::printf("%s=%s%s\n", (o.controls ? ui::ControlLabel(f) : f.name).c_str(), r.value.c_str(),
                marks.c_str());
  }
  return kExitOk;
}

int RunSet(const SetOptions& o) {
  // Every assignment is checked before any is applied: a field named twice (by its name or by
  // its control's) is refused, whichever value would have won.
  struct Change {
    const ui::NamedField* field;
    std::string name; // as given: a field's or a control's
    std::string value;
  };
  std::vector<Change> changes;
  std::set<const ui::NamedField*> named;
  for (const std::string& assignment : o.assignments) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) {
      Complain("\"" + EchoText(assignment) + "\" is not NAME=VALUE");
      return kExitUsage;
    }
    const std::string name = assignment.substr(0, eq);
    const ui::NamedField* f = ui::FindNamedField(name);
    if (!f) {
      Complain(EchoText(name) + " is not a field of the codeplug (show lists them)");
      return kExitUsage;
    }
    if (!f->inImage) {
      Complain(name + " is not kept in a data file");
      return kExitUsage;
    }
    if (!named.insert(f).second) {
      Complain(f->name + " is given twice; nothing was changed");
      return kExitUsage;
    }
    changes.push_back({f, name, assignment.substr(eq + 1)});
  }

  FileLock lock;
  if (!IsStandardStream(o.file) && !LockForUpdate(lock, o.file))
    return kExitFailed;
  Session s;
  if (!LoadCodeplug(s, o.file))
    return kExitFailed;
  const std::size_t messagesBefore = s.host.shown.size();
  bool corrected = false;
  for (const Change& c : changes) {
    const ApplyOutcome r = ui::ApplyNamedField(s.model, *c.field, c.value, ui::ApplyMode::AsTyped);
    if (r.status == ApplyOutcome::Refused) {
      Complain(c.name + " " + r.reason);
      return kExitUsage;
    }
    if (r.status == ApplyOutcome::Corrected) {
      Complain(c.name + "=" + EchoText(c.value) + " was stored as " + EchoText(r.stored));
      corrected = true;
    }
  }
  if (!SaveCodeplug(s, o.file))
    return kExitFailed;
  return corrected || s.host.shown.size() != messagesBefore ? kExitFailed : kExitOk;
}

} // namespace pw::cli
