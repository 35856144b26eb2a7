#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "platform/processes/process.h"

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

// Only what is safe in a signal handler. The clean-up is not run here: it
// frees memory and closes the connection, and the main flow may have been
// stopped in the middle of the allocator or of that very connection. Ending
// the process closes the connection and the files just as well.
void onCloseSignal(int signalNumber) {
  cleanupsDone = 1;
  // End by the same signal, so the caller sees how the run ended.
  struct sigaction standard = {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signalNumber, &standard, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  raise(signalNumber);
  _exit(128 + signalNumber);
}

bool isIgnored(int signalNumber) {
  struct sigaction current = {};
  return sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void claimStandardDescriptors() {
  for (int descriptor = 0; descriptor <= 2; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) continue;
    // The lowest free number is this one: the lower ones are open by now.
    int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != descriptor) {
      dup2(opened, descriptor);
      close(opened);
    }
  }
}

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
  // While one close signal is handled the others wait: the first one decides
  // how the process ends.
  sigaddset(&action.sa_mask, SIGHUP);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  for (int signalNumber : {SIGHUP, SIGINT, SIGTERM}) {
    // Ignored at start (nohup, a background job): the caller wants the run
    // to go on, so it stays ignored.
    if (!isIgnored(signalNumber)) sigaction(signalNumber, &action, nullptr);
  }
}

void runCleanups() {
  // The close signals wait while the clean-up runs, so it runs once and
  // whole; a signal that came meanwhile is delivered afterwards.
  sigset_t closeSignals, previous;
  sigemptyset(&closeSignals);
  sigaddset(&closeSignals, SIGHUP);
  sigaddset(&closeSignals, SIGINT);
  sigaddset(&closeSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &closeSignals, &previous);
  if (cleanupsDone == 0) {
    cleanupsDone = 1;
    for (int i = cleanupCount - 1; i >= 0; --i) cleanups[i]();
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void exitProcess(int code) {
  fflush(nullptr);
  exit(code);
}

}  // namespace veltrum
