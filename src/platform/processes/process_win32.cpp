#include <lmcons.h>
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "platform/core/path_text_win32.h"
#include "platform/core/system_path_win32.h"
#include "platform/processes/process.h"

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

namespace {

std::string modulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return "";
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return "";  // longer than any path Windows takes
    path.assign(path.size() * 2, L'\0');
  }
  // The file name stays long, so that the configuration and the log keep
  // their names beside it; a folder that Windows-1252 cannot hold is reached
  // by its 8.3 name.
  return reachablePath(path, true);
}

}  // namespace

std::string programPath() {
  // Asked for each log line; the program does not move during a run.
  static const std::string path = modulePath();
  return path;
}

RawCommandLine rawCommandLine(int /*argc*/, char** /*argv*/) {
  RawCommandLine raw;
  raw.isWhole = true;
  const wchar_t* whole = GetCommandLineW();
  raw.wholeText = whole != nullptr ? reachableCommandLine(whole) : "";
  return raw;
}

bool platformUserName(std::string* name) {
  wchar_t buffer[UNLEN + 1] = {};
  DWORD capacity = UNLEN + 1;
  if (!GetUserNameW(buffer, &capacity)) return false;
  *name = narrowedWith(buffer, '?');
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
