#include <errno.h>
#include <unistd.h>

#include "platform/console.h"

namespace veltrum {

void writeConsoleBytes(const std::string& bytes) {
  // On POSIX a console write and a file write are the same call; a failure
  // (closed descriptor, full disk) is ignored, as the run must go on.
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

// The POSIX console speaks UTF-8.
std::string ansiToConsole(const std::string& text) {
  return windows1252ToUtf8(text);
}

}  // namespace veltrum
