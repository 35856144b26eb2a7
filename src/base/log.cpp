#include "base/log.h"

#include "base/date_value.h"
#include "base/run_settings.h"
#include "platform/core/text_encoding.h"
#include "platform/files/log_file.h"
#include "platform/processes/process.h"

namespace veltrum {

namespace {

constexpr int64_t kLogSizeLimit = 1000000;

int errorLines = 0;

std::string programFileName() {
  std::string path = programPath();
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::string logLine(const std::string& timestamp, const std::string& user, int kind,
                    const std::string& text) {
  return timestamp + " " + user + (kind == LOG ? " [LOG] " : " [ERR] ") + text;
}

std::string currentUserName() {
  // The account does not change during a run; asked once.
  static const std::string name = [] {
    std::string found;
    return platformUserName(&found) ? found : std::string(260, ' ');
  }();
  return name;
}

int errorLineCount() {
  return errorLines;
}

void writeLog(int kind, const std::string& text) {
  if (kind != LOG) ++errorLines;
  const DateValue now = currentDate();
  std::string line =
      logLine(formatDate("%dd.%mm.%yyyy %hh:%ii:%ss", now), currentUserName(), kind, text) +
      platformLineEnd();
  // The name of a log moved aside takes the time of the move, read while
  // this run holds the log: a run that waited for the hold longer than
  // another must not give its older reading to a later move, or the moved
  // logs would not sort in the order of their contents.
  const auto asideSuffix = [] {
    // Appended rather than written as "_" + text: GCC 12 at -O3 takes the
    // insertion at the front of a temporary for an overlapping copy (-Wrestrict).
    std::string suffix = "_";
    suffix += formatDate("%dd%mm%yyyy_%hh%ii%ss", currentDate());
    return suffix;
  };
  if (!appendLogLine(runSettings().logPath, line, kLogSizeLimit, asideSuffix)) {
    reportLogFailure("Kann keine Logdatei erstellen", programFileName());
  }
}

}  // namespace veltrum
