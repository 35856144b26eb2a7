#include "actions/exec_action.h"

#include <memory>
#include <string>

#include "actions/output_line_reader.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "platform/processes/subprocess.h"

namespace veltrum {

namespace {

// The program with its one parameter, as the Windows command line holds it;
// both come from the configuration and are shown with their control
// characters made visible.
std::string commandLine(const RunSettings& settings) {
  std::string line = "\"";
  line += shownText(settings.exec);
  line += "\" \"";
  line += shownText(settings.execParam);
  line += '"';
  return line;
}

// Every line followed by one CR, then CR CR: no output gives CR CR. Each
// line is shown decoded and escaped, so only these CRs break it.
std::string collectOutput(Subprocess& program) {
  OutputLineReader reader([&program](std::string* bytes) { return program.readOutput(bytes); });
  std::string text;
  std::string line;
  while (reader.nextLine(&line)) {
    text += shownText(line);
    text += '\r';
  }
  text += "\r\r";
  return text;
}

}  // namespace

void runExecAction() {
  const RunSettings& settings = runSettings();
  const bool wait = settings.action == "execwait";
  std::unique_ptr<Subprocess> program = Subprocess::start(settings.exec, settings.execParam, wait);
  if (!program) {
    writeLog(ERR, "Exec konnte nicht gestartet werden:" + commandLine(settings));
    return;
  }
  if (!wait) {
    // Not waited for: the program goes on, also after Veltrum has ended.
    writeLog(LOG, "Exitcode: " + std::to_string(program->exitCode()));
    return;
  }
  // The output ends when every writer has closed the pipe, so a child that
  // inherited it is waited for as well; then the program's own end.
  std::string output = collectOutput(*program);
  int32_t code = program->waitForExit();
  program.reset();
  writeLog(LOG, "Output von Exec:" + output);
  writeLog(LOG, "Exitcode: " + std::to_string(code));
}

}  // namespace veltrum
