#include "base/end_run.h"

#include "platform/process.h"

namespace veltrum {

void endRun(int exitCode) {
  runCleanups();
  exitProcess(exitCode);
}

}  // namespace veltrum
