#include "run/check_result.h"

#include "base/outside_text.h"
#include "base/text.h"
#include "check/age_evaluation.h"

namespace veltrum {

namespace {

// The largest limit whose seconds still fit the 32-bit dates the
// evaluation compares.
constexpr int64_t kLongestMinutes = 35791394;

// The minutes of a whole-number text counted back from now (-60 gives 60),
// or -1 when the text has more digits than any usable limit.
int64_t minutesBack(const std::string& text) {
  const bool negative = text[0] == '-';
  const std::string digits = text.substr(negative ? 1 : 0);
  if (digits.size() > 9) return -1;
  const int64_t value = std::stoll(digits);
  return negative ? value : -value;
}

std::string filesText(int count) {
  return std::to_string(count) + (count == 1 ? " Datei" : " Dateien");
}

std::string minutesText(const std::string& shown) {
  return shown + (shown == "1" ? " Minute" : " Minuten");
}

std::string folderLine(const std::string& folder) {
  return "Ordner nicht lesbar: " + resultText(folder);
}

std::string moreLine(size_t count) {
  return nativeText("… und ") + std::to_string(count) + " weitere";
}

// Why the result cannot be known, or "".
std::string unknownReason(const std::string& parameterProblem, const CheckLimits& limits,
                          const RunTally& tally) {
  if (!parameterProblem.empty()) return parameterProblem;
  if (!limits.problem.empty()) return limits.problem;
  if (!tally.unreadableStarts.empty()) return folderLine(tally.unreadableStarts.front());
  if (!tally.invalidPaths.empty()) {
    return nativeText("Ungültiger Pfad zur angegebenen Datei: ") +
           resultText(tally.invalidPaths.front());
  }
  return "";
}

// State and summary of a run whose limits and folders were usable.
CheckState judge(const CheckLimits& limits, const RunTally& tally, std::string* summary) {
  CheckState state = kCheckOk;
  int count = tally.filesTooOld;
  std::string shown = limits.criticalShown;
  if (tally.filesTooOld > 0) {
    state = kCheckCritical;
  } else if (limits.warning > 0) {
    count = tally.overListLimit;
    shown = limits.warningShown;
    if (count > 0) state = kCheckWarning;
  }
  *summary = std::to_string(count) + " von " + filesText(tally.filesChecked) +
             nativeText(" älter als ") + minutesText(shown);
  if (tally.anyAge) {
    *summary += nativeText(", älteste ") + resultText(tally.oldest.path) + " (" +
                ageText(tally.oldest.ageSeconds) + ")";
  }
  if (!tally.unreadableSubfolders.empty()) {
    // A subfolder that cannot be read may hide an old file.
    if (state == kCheckOk) state = kCheckWarning;
    *summary += ", " + std::to_string(tally.unreadableSubfolders.size()) + " " +
                folderLine(tally.unreadableSubfolders.front());
  }
  return state;
}

std::string performanceData(const CheckLimits& limits, const RunTally& tally) {
  const bool usable = limits.problem.empty();
  return "too_old=" + std::to_string(tally.filesTooOld) +
         ";;;0 checked=" + std::to_string(tally.filesChecked) + ";;;0 oldest_age=" +
         (tally.anyAge ? std::to_string(tally.oldest.ageSeconds) + "s" : std::string("U")) + ";" +
         (usable && limits.warning > 0 ? std::to_string(limits.warning) : "") + ";" +
         (usable ? std::to_string(limits.critical) : "") + ";0";
}

void appendDetails(const RunTally& tally, std::vector<std::string>* lines) {
  for (const TalliedFile& file : tally.listed) {
    lines->push_back(resultText(file.path) + " (" + ageText(file.ageSeconds) + ")");
  }
  if (static_cast<size_t>(tally.overListLimit) > tally.listed.size()) {
    lines->push_back(moreLine(static_cast<size_t>(tally.overListLimit) - tally.listed.size()));
  }
  std::vector<std::string> folders = tally.unreadableStarts;
  folders.insert(folders.end(), tally.unreadableSubfolders.begin(),
                 tally.unreadableSubfolders.end());
  for (size_t i = 0; i < folders.size() && i < kListed; ++i)
    lines->push_back(folderLine(folders[i]));
  if (folders.size() > kListed) lines->push_back(moreLine(folders.size() - kListed));
}

}  // namespace

CheckLimits checkLimits(const std::string& minutes, const std::string& warnMinutes) {
  CheckLimits limits;
  if (isMinutesValue(minutes) == 0) {
    limits.problem = nativeText("Die angegebene Prüfzeit in Minuten ist keine Zahl");
    return limits;
  }
  const int64_t critical = minutesBack(minutes);
  if (critical < 1 || critical > kLongestMinutes) {
    limits.problem = nativeText("Die Prüfzeit /t muss zwischen -35791394 und -1 liegen");
    return limits;
  }
  limits.critical = critical * 60;
  limits.criticalShown = std::to_string(critical);
  if (warnMinutes.empty()) return limits;
  if (isMinutesValue(warnMinutes) == 0) {
    limits.problem = nativeText("Die angegebene Warnzeit /w in Minuten ist keine Zahl");
    return limits;
  }
  const int64_t warning = minutesBack(warnMinutes);
  if (warning < 1 || warning >= critical) {
    limits.problem = nativeText("Die Warnzeit /w muss zwischen /t und 0 liegen");
    return limits;
  }
  limits.warning = warning * 60;
  limits.warningShown = std::to_string(warning);
  return limits;
}

CheckResult checkResult(const std::string& parameterProblem, const CheckLimits& limits,
                        const RunTally& tally) {
  static const char* const kStateWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  CheckResult result;
  std::string summary = unknownReason(parameterProblem, limits, tally);
  result.state = summary.empty() ? judge(limits, tally, &summary) : kCheckUnknown;
  result.lines.push_back(std::string("VELTRUM ") + kStateWords[result.state] + " - " + summary +
                         " | " + performanceData(limits, tally));
  appendDetails(tally, &result.lines);
  return result;
}

std::string ageText(int64_t seconds) {
  if (seconds < 60) return std::to_string(seconds) + " s";
  const int64_t minutes = seconds / 60;
  if (minutes < 60) return std::to_string(minutes) + " min";
  const int64_t hours = minutes / 60;
  if (hours < 24) return std::to_string(hours) + " h " + std::to_string(minutes % 60) + " min";
  return std::to_string(hours / 24) + " d " + std::to_string(hours % 24) + " h";
}

std::string resultText(const std::string& name) {
  const std::string shown = shownText(name);
  std::string text;
  for (char c : shown) {
    if (c == '|') {
      text += "\\x7c";
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace veltrum
