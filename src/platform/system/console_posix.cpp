#include <unistd.h>

#include "platform/core/descriptor_posix.h"
#include "platform/system/console.h"

namespace veltrum {

void writeConsoleBytes(const std::string& bytes, ConsoleStream stream) {
  // On POSIX a console write and a file write are the same call. A failure
  // is ignored, as the run must go on.
  writeWithoutBrokenPipeSignal(stream == ConsoleStream::Error ? STDERR_FILENO : STDOUT_FILENO,
                               bytes);
}

// The texts of the run are UTF-8 already, as the POSIX console is.
std::string ansiToConsole(const std::string& text) {
  return text;
}

}  // namespace veltrum
