#include "run/run_end.h"

#include "base/console.h"
#include "base/date_value.h"
#include "base/end_run.h"
#include "base/log.h"
#include "base/run_settings.h"
#include "check/run_tally.h"
#include "platform/core/clock.h"
#include "run/check_result.h"
#include "run/command_line.h"
#include "run/metrics_file.h"

namespace veltrum {

namespace {

bool checking = false;
int64_t startedMs = 0;
CheckLimits limits;

// The first mandatory switch missing, or "".
std::string parameterProblem() {
  if (runSettings().paramStatus == "Ok") return "";
  for (const char* name : {"/f", "/t", "/a"}) {
    if (findSwitch(name).empty())
      return std::string("Parameter ") + name + " wurde nicht angegeben";
  }
  return "Abbruch wegen Parameterfehler";
}

int finishRunReport(int exitCode) {
  const RunSettings& settings = runSettings();
  if (!settings.metricsDir.empty()) {
    MetricsRun run;
    run.runErrors = errorLineCount();
    run.finishedAt = static_cast<int64_t>(currentDate()) - currentUtcOffsetSeconds();
    run.durationMs = monotonicMilliseconds() - startedMs;
    writeMetricsFile(run);
  }
  if (!checking) return exitCode;
  const CheckResult result = checkResult(parameterProblem(), limits, runTally());
  writeLog(LOG, "Check-Ergebnis:" + result.lines.front());
  for (const std::string& line : result.lines) printResultLine(line);
  return result.state;
}

}  // namespace

void beginRunReport() {
  startedMs = monotonicMilliseconds();
  checking = requestedAction() == "check";
  if (checking) moveMessagesToStandardError();
}

void armRunReport() {
  const RunSettings& settings = runSettings();
  if (checking) {
    limits = checkLimits(settings.minutes, settings.warnMinutes);
    RunTally& tally = runTally();
    tally.forCheck = true;
    tally.listLimit = limits.warning > 0 ? limits.warning : limits.critical;
    // Said before the search: a search that finds nothing evaluates nothing
    // and so would never say it.
    if (!limits.problem.empty() && settings.paramStatus == "Ok") {
      showMessage(limits.problem);
      writeLog(ERR, limits.problem);
    }
  }
  setRunEndReport(finishRunReport);
}

}  // namespace veltrum
