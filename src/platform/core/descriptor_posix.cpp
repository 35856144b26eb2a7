#include "platform/core/descriptor_posix.h"

#include <errno.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace veltrum {

bool writeAll(int descriptor, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

bool writeWithoutBrokenPipeSignal(int descriptor, const std::string& bytes) {
  sigset_t pipeSignal, previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  errno = 0;
  bool written = writeAll(descriptor, bytes);
  if (!written && errno == EPIPE && !sigismember(&previous, SIGPIPE)) {
    struct timespec noWait = {0, 0};
    sigtimedwait(&pipeSignal, nullptr, &noWait);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return written;
}

}  // namespace veltrum
