#include "ui/batch_station.h"

#include "batch/programming_log.h"

namespace pw::ui {

BatchPagerResult FormBatchStation::ProgramPager() {
  model_.Click("ToolButton4");
  const TransactionOutcome& o = model_.LastOutcome();
  BatchPagerResult r;
  r.serialNumber = o.serialNumber;
  const CodeplugColumns written =
      CodeplugColumnsOf(o.image ? *o.image : model_.codeplug.WorkingImage);
  for (std::size_t k = 0; k < written.capcodes.size(); ++k)
    if (written.enabled[k])
      r.capcodes[k] = written.capcodes[k];
  if (!o.Ok()) {
    r.result = DescribeOutcome(o);
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
