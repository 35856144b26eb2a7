#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/processes/subprocess.h"

extern char** environ;

namespace veltrum {

struct Subprocess::Native {
  pid_t pid = -1;
  int output = -1;  // read end of the output pipe, -1 without one
  bool ended = false;
  int32_t code = kStillActive;
};

namespace {

constexpr size_t kReadChunk = 64 * 1024;

int32_t decodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return kStillActive;
}

// waitpid, restarted after signals; false while the program still runs
// (WNOHANG). A program that cannot be waited for counts as ended with -1.
bool reap(pid_t pid, int options, int32_t* code) {
  int status = 0;
  pid_t result;
  do {
    result = ::waitpid(pid, &status, options);
  } while (result < 0 && errno == EINTR);
  if (result == 0) return false;
  *code = result < 0 ? -1 : decodeStatus(status);
  return true;
}

// A pipe end that landed on 0, 1 or 2 (Veltrum started with a standard
// handle closed) is moved up, so that the child's dup2 onto 1 cannot clash
// with it.
bool moveAboveStandardHandles(int* fd) {
  if (*fd > STDERR_FILENO) return true;
  int moved = ::fcntl(*fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  ::close(*fd);
  *fd = moved;
  return moved >= 0;
}

bool makeOutputPipe(int* readEnd, int* writeEnd) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  bool movedRead = moveAboveStandardHandles(&ends[0]);
  bool movedWrite = moveAboveStandardHandles(&ends[1]);
  if (movedRead && movedWrite) {
    *readEnd = ends[0];
    *writeEnd = ends[1];
    return true;
  }
  if (ends[0] >= 0) ::close(ends[0]);
  if (ends[1] >= 0) ::close(ends[1]);
  return false;
}

// The program starts with the default disposition of the signals that a
// program expects to be fatal (Veltrum may ignore SIGPIPE for its sockets)
// and with no signal blocked.
void prepareSignals(posix_spawnattr_t* attributes) {
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGXFSZ);
  sigset_t noneBlocked;
  sigemptyset(&noneBlocked);
  posix_spawnattr_setsigdefault(attributes, &defaults);
  posix_spawnattr_setsigmask(attributes, &noneBlocked);
  posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

// posix_spawn reports a failed exec in the child (missing file, no execute
// permission, not a valid program) as its result; no shell is tried.
pid_t spawnProgram(const std::string& program, const std::string& parameter, int outputEnd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outputEnd >= 0) posix_spawn_file_actions_adddup2(&actions, outputEnd, STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  prepareSignals(&attributes);
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(parameter.c_str()),
                  nullptr};
  pid_t pid = -1;
  int result = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0 ? pid : -1;
}

// A SIGCHLD ignored by whoever started Veltrum would be inherited and would
// make the system reap the program before its exit code can be read.
void keepExitCodes() {
  struct sigaction current {};
  if (::sigaction(SIGCHLD, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
    ::signal(SIGCHLD, SIG_DFL);
  }
}

}  // namespace

Subprocess::Subprocess(std::unique_ptr<Native> native) : native_(std::move(native)) {}

Subprocess::~Subprocess() {
  if (native_->output >= 0) ::close(native_->output);
}

std::unique_ptr<Subprocess> Subprocess::start(const std::string& program,
                                              const std::string& parameter, bool captureOutput) {
  keepExitCodes();
  int readEnd = -1;
  int writeEnd = -1;
  if (captureOutput && !makeOutputPipe(&readEnd, &writeEnd)) return nullptr;
  pid_t pid = spawnProgram(program, parameter, writeEnd);
  if (writeEnd >= 0) ::close(writeEnd);
  if (pid < 0) {
    if (readEnd >= 0) ::close(readEnd);
    return nullptr;
  }
  auto native = std::make_unique<Native>();
  native->pid = pid;
  native->output = readEnd;
  return std::unique_ptr<Subprocess>(new Subprocess(std::move(native)));
}

bool Subprocess::readOutput(std::string* bytes) {
  if (native_->output < 0) return false;
  pollfd watched{native_->output, POLLIN, 0};
  for (;;) {
    int ready = ::poll(&watched, 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    size_t before = bytes->size();
    bytes->resize(before + kReadChunk);
    ssize_t got = ::read(native_->output, bytes->data() + before, kReadChunk);
    bytes->resize(before + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got > 0) return true;
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return false;
  }
}

int32_t Subprocess::exitCode() {
  if (!native_->ended) native_->ended = reap(native_->pid, WNOHANG, &native_->code);
  return native_->code;
}

int32_t Subprocess::waitForExit() {
  if (!native_->ended) native_->ended = reap(native_->pid, 0, &native_->code);
  return native_->code;
}

}  // namespace veltrum
