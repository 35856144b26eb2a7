#include "actions/quillbox_message.h"

#include <cstdint>
#include <string>

#include "actions/notification_text.h"
#include "base/date_value.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "platform/core/system_random.h"
#include "platform/files/create_file.h"

namespace veltrum {

namespace {

// Names tried for one drop file before giving up: an existing file of the
// same name (another run in the same second) is never overwritten.
constexpr int kMaxNamesTried = 1000;

int32_t dropCounter = 0;

// The messenger reads Windows-1252 with CR LF on every platform, so the
// whole text is converted, the German words included.
std::string messageBytes(const std::string& currentFile) {
  return windows1252Of("Veltrum - Benachrichtigung\r" + fileTooOldText(shownText(currentFile)) +
                       "\r\n");
}

// "_" and 16 lower-case hex digits from the system's random source, or ""
// when it gives nothing: a name nobody can plant beforehand.
std::string unpredictablePart() {
  const std::string hex = systemRandomHex(8);
  return hex.empty() ? "" : "_" + hex;
}

}  // namespace

int dropCounterValue() {
  return dropCounter;
}

void writeQuillboxMessage() {
  const RunSettings& settings = runSettings();
  writeLog(LOG, "Quillbox Nachricht wird erstellt");
  // The clock is read twice, date first.
  const std::string datePart = formatDate("%yyyy%mm%dd", currentDate());
  const std::string timePart = formatDate("%hh%ii%ss", currentDate());
  const std::string content = messageBytes(settings.currentFile);

  std::string name;
  CreateOutcome outcome = CreateOutcome::Failed;
  for (int tried = 0; tried < kMaxNamesTried; ++tried) {
    name = datePart + "_" + timePart + std::to_string(dropCounter) + ".msg";
    outcome = createNewFile(settings.quillboxDir + name, content);
    if (outcome != CreateOutcome::NameTaken) break;
    ++dropCounter;  // that value belongs to a file already there
  }
  // Every counted name taken (planted, perhaps): one more try with a name
  // that cannot be foreseen. The counter stays: that name is none of its.
  const bool counted = outcome != CreateOutcome::NameTaken;
  const std::string random = counted ? "" : unpredictablePart();
  if (!random.empty()) {
    name = datePart + "_" + timePart + random + ".msg";
    outcome = createNewFile(settings.quillboxDir + name, content);
  }
  writeLog(LOG, "Erstelle Quillbox Nachricht:" + name);
  if (outcome != CreateOutcome::Created) {
    writeLog(ERR, "Quillbox Nachricht konnte nicht erstellt werden");
  } else if (counted) {
    ++dropCounter;
  }
}

}  // namespace veltrum
