// The running process: its own path, its command line, its user, its end.
#pragma once

#include <string>
#include <vector>

namespace veltrum {

// Full path of the running executable (at most 260 characters on Windows).
std::string programPath();

// The command line as the platform delivers it. On Windows `wholeText` is
// the text of GetCommandLineA and `isWhole` is true, so the run's own
// splitter cuts it; on POSIX the parameters come already split from argv
// (program path left out).
struct RawCommandLine {
  bool isWhole = false;
  std::string wholeText;
  std::vector<std::string> arguments;
};
RawCommandLine rawCommandLine(int argc, char** argv);

// Account name of the user the process runs as; false when the platform
// cannot tell.
bool platformUserName(std::string* name);

// Registers clean-up work for the end of the run: it runs in endRun and
// when the console window is closed or the process is told to stop (POSIX:
// SIGHUP, SIGINT, SIGTERM; afterwards the process ends by that signal).
using CleanupFunction = void (*)();
void addCleanup(CleanupFunction cleanup);
void installCloseHandler();
// Runs every registered clean-up once, latest first.
void runCleanups();

// Ends the process with `code`; output buffers are flushed.
[[noreturn]] void exitProcess(int code);

}  // namespace veltrum
