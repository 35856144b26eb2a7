#include "check/age_evaluation.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "actions/action_check.h"
#include "actions/exec_action.h"
#include "actions/mail_notification.h"
#include "actions/quillbox_message.h"
#include "base/console.h"
#include "base/date_value.h"
#include "base/end_run.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "check/file_selection.h"
#include "check/run_tally.h"
#include "platform/files/file_system.h"

namespace veltrum {

namespace {

StampKind stampFor(const std::string& dateMode) {
  if (dateMode == "modify") return StampKind::Modified;
  if (dateMode == "access") return StampKind::Accessed;
  return StampKind::Created;
}

void triggerAction(const std::string& action) {
  if (action == "quillbox") {
    writeQuillboxMessage();
  } else if (action == "mail") {
    sendMailNotification();
  } else if (action == "exec" || action == "execwait") {
    runExecAction();
  }
}

// Path, existence and minutes tests; false (after their lines) when the
// file is not to be compared. `look`: what the file system found.
bool fileCanBeCompared(const RunSettings& settings, const std::string& directory,
                       const FileLook& look) {
  writeLog(LOG, nativeText("Pfad zur überprüfenden Datei:") + shownText(directory));
  if (!look.folderUsable) {
    showMessage(nativeText("Ungültiger Pfad zur angegebenen Datei. Hilfe mit /?"));
    writeLog(ERR, nativeText("Ungültiger Pfad zur angegebenen Datei"));
    runTally().invalidPaths.push_back(directory);
    return false;
  }
  if (!look.readable) {
    writeLog(LOG, "Datei " + shownText(settings.currentFile) + " nicht vorhanden");
    return false;
  }
  if (isMinutesValue(settings.minutes) == 0) {
    const std::string message = nativeText("Die angegebene Prüfzeit in Minuten ist keine Zahl");
    showMessage(message);
    writeLog(ERR, message);
    return false;
  }
  return true;
}

}  // namespace

namespace {

// The pattern for whole minutes, compiled on first use and kept for the run:
// compiling it again for every file evaluated cost more than the match.
class MinutesPattern {
 public:
  MinutesPattern() {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>("^\\-?(0|[1-9][0-9]*)$"),
                          PCRE2_ZERO_TERMINATED, 0, &errorCode, &errorOffset, nullptr);
    if (code_ != nullptr) match_ = pcre2_match_data_create_from_pattern(code_, nullptr);
  }
  ~MinutesPattern() {
    pcre2_match_data_free(match_);
    pcre2_code_free(code_);
  }
  MinutesPattern(const MinutesPattern&) = delete;
  MinutesPattern& operator=(const MinutesPattern&) = delete;

  bool matches(const std::string& text) {
    if (code_ == nullptr || match_ == nullptr) return false;
    return pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, match_,
                       nullptr) >= 0;
  }

 private:
  pcre2_code* code_ = nullptr;
  pcre2_match_data* match_ = nullptr;
};

}  // namespace

int isMinutesValue(const std::string& text) {
  static MinutesPattern pattern;
  return pattern.matches(text) ? 1 : 0;
}

int32_t ageOffset(const std::string& minutes) {
  // Unsigned arithmetic wraps where a signed 64-bit reading would overflow;
  // the low 32 bits come out the same as with exact arithmetic.
  const bool negative = !minutes.empty() && minutes[0] == '-';
  uint64_t number = 0;
  for (size_t i = negative ? 1 : 0; i < minutes.size() && minutes[i] >= '0' && minutes[i] <= '9';
       ++i) {
    number = number * 10 + static_cast<uint64_t>(minutes[i] - '0');
  }
  if (negative) number = 0 - number;
  const uint64_t offset = 0 - number * 60;
  return static_cast<int32_t>(static_cast<uint32_t>(offset));
}

int32_t ageLimit(int32_t fileDate, int32_t offset) {
  return static_cast<int32_t>(static_cast<uint32_t>(fileDate) + static_cast<uint32_t>(offset));
}

void evaluateFile(const FoundIn* found) {
  RunSettings& settings = runSettings();
  if (settings.paramStatus != "Ok") {
    writeLog(ERR, "Abbruch wegen Parameterfehler");
    return;
  }
  // A check only looks: it has no action to prepare.
  const bool checking = settings.action == "check";
  if (!checking && checkAction(settings.action) != 0) {
    writeLog(ERR, "Abbruch wegen Check-Fehler");
    return;
  }
  const std::string directory = directoryPart(settings.currentFile);
  const StampKind kind = stampFor(settings.dateMode);
  const FileLook look =
      found != nullptr
          ? fileSystem().lookAtFoundFile(found->start, found->folder, found->entry, kind)
          : fileSystem().lookAtPath(directory, settings.currentFile, kind);
  if (!fileCanBeCompared(settings, directory, look)) return;

  const DateValue fileDate =
      look.stamped ? dateFromParts(look.stamp.year, look.stamp.month, look.stamp.day,
                                   look.stamp.hour, look.stamp.minute, look.stamp.second)
                   : 0;
  const int32_t offset = ageOffset(settings.minutes);
  const int32_t limit = ageLimit(fileDate, offset);
  writeLog(LOG, "Jetzt ist es " + std::to_string(currentDate()));
  // The pattern lets a final line break pass, so the value is shown.
  writeLog(LOG, nativeText("Prüfzeit ist ") + shownText(settings.minutes) +
                    ". Berechnete Zeit zum Subtrahieren:" + std::to_string(offset));
  writeLog(LOG, nativeText("Höchstalter der Datei ist:") + std::to_string(limit));
  writeLog(LOG,
           "FileDate von " + shownText(settings.currentFile) + " ist " + std::to_string(fileDate));
  const DateValue now = currentDate();
  tallyComparison(settings.currentFile, fileDate, now, now > limit);
  if (now <= limit) return;

  writeLog(LOG,
           nativeText("Datei hat zulässige Höchstalter überschritten. Aktion wird ausgelöst."));
  const int errorsBefore = errorLineCount();
  triggerAction(settings.action);
  if (errorLineCount() > errorsBefore) ++runTally().actionsFailed;
  // A check counts every file: it is never cut short.
  if (settings.breakIfLocated == "1" && !checking) {
    writeLog(LOG, "Programmende nach erster zu meldenden Funstelle");
    endRun(0);
  }
}

}  // namespace veltrum
