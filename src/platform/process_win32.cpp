#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "platform/process.h"

namespace veltrum {

namespace {

constexpr int kMaxCleanups = 16;
CleanupFunction cleanups[kMaxCleanups];
int cleanupCount = 0;
bool cleanupsDone = false;

// The console's close notice arrives on a thread of its own, so the main
// thread may be inside runCleanups at the same moment: one section lets the
// clean-up run once and whole. The section is recursive, so a clean-up that
// ends the run from inside does not deadlock.
CRITICAL_SECTION& cleanupSection() {
  static CRITICAL_SECTION* section = [] {
    static CRITICAL_SECTION value;
    InitializeCriticalSection(&value);
    return &value;
  }();
  return *section;
}

BOOL WINAPI onConsoleControl(DWORD /*event*/) {
  // Close, Ctrl+C, Ctrl+Break, log-off, shutdown. This runs on a thread of
  // its own while the main thread may be using the mail connection, so the
  // clean-up must not run here: it is only marked done (after a clean-up
  // already under way has finished), and the system's default handler ends
  // the process, which closes the connection and the files the same way.
  EnterCriticalSection(&cleanupSection());
  cleanupsDone = true;
  LeaveCriticalSection(&cleanupSection());
  return FALSE;
}

}  // namespace

void claimStandardDescriptors() {
  // A missing standard handle is never handed to a file or socket here.
}

std::string programPath() {
  char buffer[MAX_PATH + 1] = {};
  // A longer path comes back cut to MAX_PATH characters, as the run expects.
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, length);
}

RawCommandLine rawCommandLine(int /*argc*/, char** /*argv*/) {
  RawCommandLine raw;
  raw.isWhole = true;
  const char* whole = GetCommandLineA();
  raw.wholeText = whole != nullptr ? whole : "";
  return raw;
}

bool platformUserName(std::string* name) {
  char buffer[261] = {};
  DWORD capacity = 260;
  if (!GetUserNameA(buffer, &capacity)) return false;
  *name = buffer;
  return true;
}

void addCleanup(CleanupFunction cleanup) {
  EnterCriticalSection(&cleanupSection());
  if (cleanupCount < kMaxCleanups) cleanups[cleanupCount++] = cleanup;
  LeaveCriticalSection(&cleanupSection());
}

void installCloseHandler() {
  cleanupSection();  // created before a second thread can ask for it
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void runCleanups() {
  EnterCriticalSection(&cleanupSection());
  if (!cleanupsDone) {
    cleanupsDone = true;
    for (int i = cleanupCount - 1; i >= 0; --i) cleanups[i]();
  }
  LeaveCriticalSection(&cleanupSection());
}

void exitProcess(int code) {
  fflush(nullptr);
  exit(code);
}

}  // namespace veltrum
