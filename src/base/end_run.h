// The orderly end of a run from anywhere.
#pragma once

namespace veltrum {

// Runs the registered clean-up (mail transport released, configuration file
// and open files closed) and ends the process with `exitCode`. Writes no log
// line.
[[noreturn]] void endRun(int exitCode);

// Work for the orderly end of a run once its configuration is read: it
// runs first in endRun (never after a close signal, which ends the process
// without endRun), at most once, and gives the exit code to end with.
using RunEndReport = int (*)(int exitCode);
void setRunEndReport(RunEndReport report);

}  // namespace veltrum
