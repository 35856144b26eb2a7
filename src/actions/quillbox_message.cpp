#include "actions/quillbox_message.h"

#include <cstdint>
#include <string>

#include "actions/notification_text.h"
#include "base/date_value.h"
#include "base/log.h"
#include "base/run_settings.h"
#include "platform/create_file.h"

namespace veltrum {

namespace {

// Names tried for one drop file before giving up: an existing file of the
// same name (another run in the same second) is never overwritten.
constexpr int kMaxNamesTried = 1000;

int32_t dropCounter = 0;

std::string messageBytes(const std::string& currentFile) {
  return "Veltrum - Benachrichtigung\r" + fileTooOldText(currentFile) + "\r\n";
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
  writeLog(LOG, "Erstelle Quillbox Nachricht:" + name);
  if (outcome == CreateOutcome::Created) {
    ++dropCounter;
  } else {
    writeLog(ERR, "Quillbox Nachricht konnte nicht erstellt werden");
  }
}

}  // namespace veltrum
