// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/batch_station.h"

#include "batch/programming_log.h"
#include "ui/named_fields.h"

namespace pw::ui {

std::string ApplyUnit(FormModel& model, const UnitAssignment& unit) {
  std::vector<FieldEntry> entries;
  for (const auto& [name, value] : unit.fields) {
    const NamedField* field = FindNamedField(name);
    if (!field)
      return name + " is not a field of the codeplug";
    entries.push_back(FieldEntry{field, value, {}});
  }
  ApplyNamedFields(model, entries);
  for (const FieldEntry& e : entries) {
    if (e.outcome.status == ApplyOutcome::Refused)
      return e.field->name + " " + e.outcome.reason;
    if (e.outcome.status == ApplyOutcome::Corrected)
      return e.field->name + "=" + e.value + " would be stored as " + e.outcome.stored;
  }
  return {};
}

BatchPagerResult FormBatchStation::ProgramPager(const std::string& polledSerial,
                                                const UnitAssignment& unit) {
  BatchPagerResult r;
  if (unit.fromDataFile && !dataFile_.empty() && !model_.LoadFile(dataFile_)) {
    r.result = r.step = dataFile_ + " could not be loaded";
    r.stopBatch = true;
    return r;
  }
  if (const std::string refused = ApplyUnit(model_, unit); !refused.empty()) {
    r.result = r.step = "not programmed: " + refused;
    return r;
  }
  model_.SetLogSerialNumber(polledSerial);
  model_.SetLogSteppedCapcodes(unit.steppedCapcodes);
  model_.Click("ToolButton4");
  model_.SetLogSerialNumber({});
  model_.SetLogSteppedCapcodes({});
  const TransactionOutcome& o = model_.LastOutcome();
  r.serialNumber = o.serialNumber;
  r.written = !o.written.empty();
  r.attemptId = model_.LastAttemptId();
  const CodeplugColumns written =
      CodeplugColumnsOf(o.image ? *o.image : model_.codeplug.WorkingImage);
  for (std::size_t k = 0; k < written.capcodes.size(); ++k)
    if (written.enabled[k])
      r.capcodes[k] = written.capcodes[k];
  if (!o.Ok()) {
    r.result = DescribeOutcome(o);
    r.step = std::string(StepName(o.step));
    return r;
  }
  // The pager is good, but the next one would get its capcodes, or the file would not say
  // where the batch is: stop here.
  r.stopBatch = true;
  if (!model_.LastStepOk()) {
    r.result = "programmed, but the capcodes could not be stepped";
    return r;
  }
  if (!updateFile_.empty() && !model_.SaveFile(updateFile_)) {
    r.result = "programmed, but " + updateFile_ + " could not be updated";
    return r;
  }
  r.stopBatch = false;
  r.ok = true;
  r.result = "ok";
  return r;
}

} // namespace pw::ui
