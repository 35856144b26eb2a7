#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/core/clock.h"
#include "platform/core/descriptor_posix.h"
#include "platform/files/log_file.h"

namespace veltrum {

namespace {

// How long a run waits for another run to finish its line before it gives
// the line up as not writable: a stopped process must not stop every run.
constexpr int64_t kLockWaitMilliseconds = 5000;

void pause(int64_t milliseconds) {
  struct timespec delay = {0, static_cast<long>(milliseconds) * 1000000L};
  nanosleep(&delay, nullptr);
}

bool lockUntil(int descriptor, int64_t deadline) {
  int64_t wait = 1;
  for (;;) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (monotonicMilliseconds() >= deadline) return false;
    pause(wait);
    if (wait < 16) wait *= 2;
  }
}

// Moves the log aside without ever replacing a file of the target name.
bool moveAside(const std::string& path, const std::string& target) {
  if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: runs move the log only while
  // they hold its lock, so testing first is enough among them.
  if (access(target.c_str(), F_OK) == 0) return false;
  return rename(path.c_str(), target.c_str()) == 0;
}

// The log holds names and time stamps from folders that only root may read:
// a first log is not readable by all. The log made after a move gets the
// mode of the moved one exactly, so an administrator's choice (0600, 0644)
// outlives the move; `keptMode` is -1 before any move.
int openLog(const std::string& path, int keptMode) {
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  if (keptMode >= 0) {
    const int made = open(path.c_str(), kFlags | O_EXCL, 0600);
    if (made >= 0) {
      fchmod(made, static_cast<mode_t>(keptMode));
      return made;
    }
    if (errno != EEXIST) return -1;
  }
  // O_NONBLOCK: a named pipe at the log path must not make the run wait.
  return open(path.c_str(), kFlags, 0640);
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the open log must be looked at again under the lock: a file over
// the limit is to be moved aside, and one that has no name any more (removed,
// or moved aside by another run while this one waited) must not get the line.
// A file at or below the limit cannot have been moved aside by any run, since
// runs move only larger files and a log only grows; so the common line costs
// one open, one lock, one status, one write and one close.
bool needsPathCheck(const struct stat& opened, int64_t sizeLimit) {
  return opened.st_nlink == 0 || opened.st_size > sizeLimit;
}

}  // namespace

bool appendLogLine(const std::string& path, const std::string& line, int64_t sizeLimit,
                   const std::function<std::string()>& asideSuffix) {
  int64_t deadline = monotonicMilliseconds() + kLockWaitMilliseconds;
  int keptMode = -1;
  for (;;) {
    int descriptor = openLog(path, keptMode);
    if (descriptor < 0) return false;
    const bool locked = lockUntil(descriptor, deadline);
    struct stat opened;
    if (fstat(descriptor, &opened) != 0 || (S_ISREG(opened.st_mode) && !locked)) {
      close(descriptor);
      return false;
    }
    if (S_ISREG(opened.st_mode) && needsPathCheck(opened, sizeLimit)) {
      // Another run may have moved the log aside while this one waited for
      // the lock: then the line belongs into the new file at the path.
      struct stat current;
      if (stat(path.c_str(), &current) != 0 || !sameFile(opened, current)) {
        close(descriptor);
        if (monotonicMilliseconds() >= deadline) return false;
        continue;
      }
      if (current.st_size > sizeLimit && moveAside(path, path + asideSuffix())) {
        keptMode = static_cast<int>(current.st_mode & 07777);
        close(descriptor);
        continue;
      }
    }
    // The size of the held log before the line (taken under the lock).
    const off_t heldSize = S_ISREG(opened.st_mode) ? opened.st_size : -1;
    bool written = writeAll(descriptor, line);
    // A full disk may take part of the line: that part is cut off again, so
    // that no later line continues a torn one.
    if (!written && heldSize >= 0) {
      while (ftruncate(descriptor, heldSize) != 0 && errno == EINTR) {
      }
    }
    // Closing releases the lock.
    if (close(descriptor) != 0) written = false;
    return written;
  }
}

void reportLogFailure(const std::string& text, const std::string&) {
  // As on the console: a closed standard error must not end the run.
  writeWithoutBrokenPipeSignal(STDERR_FILENO, text + "\n");
}

}  // namespace veltrum
