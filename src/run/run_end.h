// The end of a run that reports beyond its log: the result of the action
// "check" and the metrics file of MetricsDir.
#pragma once

namespace veltrum {

// At program start, once the parameters are taken: a run asked to check
// shows every message on standard error from here on, and the run's clock
// starts.
void beginRunReport();

// After the configuration is read: prepares what the search must note for
// the check, and has endRun finish the report (the check's result and exit
// code, the metrics file), however the run ends but by a close signal.
void armRunReport();

}  // namespace veltrum
