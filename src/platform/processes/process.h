// The running process: its own path, its command line, its user, its end.
#pragma once

#include <string>
#include <vector>

namespace veltrum {

// Gives every closed standard descriptor (0, 1, 2) the null device, so that
// no file or socket opened later takes its number and receives what the run
// shows on the console. First thing at start, before anything is opened.
// Nothing to do on Windows.
void claimStandardDescriptors();

// Full path of the running executable, at any length. On Windows a folder
// name that Windows-1252 cannot hold is given as its 8.3 short name.
std::string programPath();

// The command line as the platform delivers it. On Windows `wholeText` is
// the wide command line in Windows-1252 (a path it cannot hold by its 8.3
// short name, else made to match nothing) and `isWhole` is true, so the
// run's own splitter cuts it; on POSIX the parameters come already split from argv
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

// Registers clean-up work for the end of the run: it runs in endRun.
using CleanupFunction = void (*)();
void addCleanup(CleanupFunction cleanup);
// Ends the run when the console window is closed or the process is told to
// stop (POSIX: SIGHUP, SIGINT, SIGTERM, each unless it was ignored at start;
// the process then ends by that signal). The clean-up does not run there: it
// only releases what the process holds (connection, files, memory), which
// the end of the process releases too, and it is not safe at that point
// (inside a signal handler, or on another thread while the main thread still
// uses the connection). It is marked done, so it never runs after that.
void installCloseHandler();
// Runs every registered clean-up once, latest first; never after a stop.
void runCleanups();

// Ends the process with `code`; output buffers are flushed.
[[noreturn]] void exitProcess(int code);

}  // namespace veltrum
