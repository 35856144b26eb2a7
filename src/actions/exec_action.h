// Starting the configured program for a file that is too old.
#pragma once

namespace veltrum {

// "execwait" waits and logs the output and exit code; "exec" logs the exit
// status right after the start and goes on.
void runExecAction();

}  // namespace veltrum
