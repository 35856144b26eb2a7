#include "base/end_run.h"

#include "platform/processes/process.h"

namespace veltrum {

namespace {
RunEndReport endReport = nullptr;
}  // namespace

void setRunEndReport(RunEndReport report) {
  endReport = report;
}

void endRun(int exitCode) {
  // Taken out first, so that an endRun reached from within the report
  // cannot run it a second time.
  if (RunEndReport report = endReport) {
    endReport = nullptr;
    exitCode = report(exitCode);
  }
  runCleanups();
  exitProcess(exitCode);
}

}  // namespace veltrum
