// The result of the action "check" in the form monitoring engines read from
// their plugins: a status line with performance data, then one line per
// file over the limit, and the exit code 0 OK, 1 WARNING, 2 CRITICAL,
// 3 UNKNOWN.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/run_tally.h"

namespace veltrum {

enum CheckState { kCheckOk = 0, kCheckWarning = 1, kCheckCritical = 2, kCheckUnknown = 3 };

// The limits of /t and /w in seconds, or why they cannot be used: a check
// needs 0 < -/w < -/t (the warning limit optional).
struct CheckLimits {
  std::string problem;        // "" when both are usable
  int64_t critical = 0;       // seconds
  int64_t warning = 0;        // seconds; 0 without /w
  std::string criticalShown;  // the minutes as the summary names them
  std::string warningShown;
};
CheckLimits checkLimits(const std::string& minutes, const std::string& warnMinutes);

struct CheckResult {
  CheckState state = kCheckUnknown;
  std::vector<std::string> lines;
};

// `parameterProblem`: why the command line cannot be used ("" when it can).
CheckResult checkResult(const std::string& parameterProblem, const CheckLimits& limits,
                        const RunTally& tally);

// An age as the summary shows it: "42 s", "45 min", "3 h 2 min", "2 d 5 h".
std::string ageText(int64_t seconds);

// A name as the result shows it: control characters made visible, and "|",
// which would start the performance data, as "\x7c".
std::string resultText(const std::string& name);

}  // namespace veltrum
