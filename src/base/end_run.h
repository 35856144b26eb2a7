// The orderly end of a run from anywhere.
#pragma once

namespace veltrum {

// Runs the registered clean-up (mail transport released, configuration file
// and open files closed) and ends the process with `exitCode`. Writes no log
// line.
[[noreturn]] void endRun(int exitCode);

}  // namespace veltrum
