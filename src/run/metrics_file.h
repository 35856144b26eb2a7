// The metrics file of a job for the textfile collector of a Prometheus
// exporter: one file per job in MetricsDir, replaced whole at the end of
// every run.
#pragma once

#include <cstdint>
#include <string>

#include "check/run_tally.h"

namespace veltrum {

// What identifies a job and labels its metrics (texts of the run).
struct MetricsJob {
  std::string fileSpec;  // /f
  std::string action;    // /a
  std::string minutes;   // /t
  std::string dateMode;  // create, modify or access
};

struct MetricsRun {
  int runErrors = 0;
  int64_t finishedAt = 0;  // seconds since 1970 UTC
  int64_t durationMs = 0;
};

// "veltrum_" + the first 16 hex digits of SHA-256 over the UTF-8 /f value,
// the action, the /t value and the date mode, each but the last followed
// by a zero byte, + ".prom": the jobs of one machine keep their own files.
std::string metricsFileName(const MetricsJob& job);

// The file's text: every metric a gauge with its HELP and TYPE, UTF-8, LF.
std::string metricsText(const MetricsJob& job, const RunTally& tally, const MetricsRun& run);

// A label value in the exposition format: UTF-8, control characters made
// visible, then backslash, double quote and line feed escaped.
std::string labelValue(const std::string& text);

// Writes the file of this run into runSettings().metricsDir; a failure is
// one ERR line naming MetricsDir.
void writeMetricsFile(const MetricsRun& run);

}  // namespace veltrum
