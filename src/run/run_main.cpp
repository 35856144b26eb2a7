#include "run/run_main.h"

#include "base/end_run.h"
#include "base/log.h"
#include "base/run_settings.h"
#include "check/file_selection.h"
#include "mail/smtp/smtp_client.h"
#include "platform/processes/process.h"
#include "run/command_line.h"
#include "run/configuration.h"
#include "run/run_end.h"

namespace veltrum {

void runMain() {
  RunSettings& settings = runSettings();
  writeLog(LOG, "---[Start]---");
  settings.paramStatus = "Ok";
  if (!findSwitch("/?").empty()) {
    printHelp();
    endRun(1);
  }
  checkMandatorySwitches();
  if (settings.paramStatus == "Ok") parseOptions();
  readConfiguration();
  armRunReport();
  processFileSpec();
}

void startProgram(int argc, char** argv) {
  claimStandardDescriptors();
  RawCommandLine raw = rawCommandLine(argc, argv);
  std::string program = programPath();
  RunSettings& settings = runSettings();
  settings.logPath = derivedPath(program, ".log");
  settings.confPath = derivedPath(program, ".conf");
  initMailTransport();
  // Latest first: the mail transport is released before the configuration
  // file is closed.
  addCleanup(closeConfiguration);
  addCleanup(releaseMailTransport);
  installCloseHandler();
  setParameters(raw);
  beginRunReport();
  runMain();
  endRun(0);
}

}  // namespace veltrum
