#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "platform/process.h"

namespace veltrum {

namespace {

std::string firstArgument;  // argv[0], the fallback for the program path

constexpr int kMaxCleanups = 16;
CleanupFunction cleanups[kMaxCleanups];
volatile sig_atomic_t cleanupCount = 0;
volatile sig_atomic_t cleanupsDone = 0;

std::string absolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char directory[PATH_MAX];
  if (getcwd(directory, sizeof directory) == nullptr) return path;
  return std::string(directory) + "/" + path;
}

void onCloseSignal(int signalNumber) {
  // The clean-up was not written for a signal context; should it ever block
  // (say, interrupted inside the allocator), the alarm still ends the process.
  alarm(5);
  runCleanups();
  // End by the same signal, so the caller sees how the run ended.
  signal(signalNumber, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signalNumber);
  _exit(128 + signalNumber);
}

}  // namespace

std::string programPath() {
  std::vector<char> buffer(PATH_MAX + 1);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length > 0 && static_cast<size_t>(length) < buffer.size() - 1) {
    return std::string(buffer.data(), static_cast<size_t>(length));
  }
  // Without /proc: the path the program was started by, with links resolved,
  // so that a start through /usr/bin/veltrum still finds the program's folder.
  const std::string started = absolutePath(firstArgument);
  char resolved[PATH_MAX];
  if (!started.empty() && realpath(started.c_str(), resolved) != nullptr) return resolved;
  return started;
}

RawCommandLine rawCommandLine(int argc, char** argv) {
  RawCommandLine raw;
  if (argc > 0 && argv[0] != nullptr) firstArgument = argv[0];
  for (int i = 1; i < argc; ++i) raw.arguments.emplace_back(argv[i] != nullptr ? argv[i] : "");
  return raw;
}

bool platformUserName(std::string* name) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_name == nullptr) {
    return false;
  }
  *name = found->pw_name;
  return true;
}

void addCleanup(CleanupFunction cleanup) {
  if (cleanupCount < kMaxCleanups) {
    cleanups[cleanupCount] = cleanup;
    cleanupCount = cleanupCount + 1;
  }
}

void installCloseHandler() {
  struct sigaction action = {};
  action.sa_handler = onCloseSignal;
  sigemptyset(&action.sa_mask);
  // While one close signal is handled the others wait, so the clean-up never
  // runs twice at once.
  sigaddset(&action.sa_mask, SIGHUP);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGHUP, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void runCleanups() {
  // The close signals wait while the clean-up runs, so it runs once and
  // whole; a signal that came meanwhile is delivered afterwards.
  sigset_t closeSignals, previous;
  sigemptyset(&closeSignals);
  sigaddset(&closeSignals, SIGHUP);
  sigaddset(&closeSignals, SIGINT);
  sigaddset(&closeSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &closeSignals, &previous);
  if (cleanupsDone == 0) {
    cleanupsDone = 1;
    for (int i = cleanupCount - 1; i >= 0; --i) cleanups[i]();
  }
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

void exitProcess(int code) {
  fflush(nullptr);
  exit(code);
}

}  // namespace veltrum
