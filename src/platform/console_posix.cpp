#include <errno.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include "platform/console.h"

namespace veltrum {

void writeConsoleBytes(const std::string& bytes) {
  // On POSIX a console write and a file write are the same call. A failure
  // is ignored, as the run must go on; a reader that went away must not end
  // the run by SIGPIPE, so that signal waits while writing and a pending one
  // of this write is taken back.
  sigset_t pipeSignal, previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  bool brokenPipe = false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      brokenPipe = written < 0 && errno == EPIPE;
      break;
    }
    done += static_cast<size_t>(written);
  }
  if (brokenPipe && !sigismember(&previous, SIGPIPE)) {
    struct timespec noWait = {0, 0};
    sigtimedwait(&pipeSignal, nullptr, &noWait);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// The POSIX console speaks UTF-8.
std::string ansiToConsole(const std::string& text) {
  return windows1252ToUtf8(text);
}

}  // namespace veltrum
