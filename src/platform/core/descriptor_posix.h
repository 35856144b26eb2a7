// Writing to file descriptors, shared by the POSIX implementations only.
#pragma once

#include <string>

namespace veltrum {

// Writes every byte (short writes continued, EINTR retried); false on error.
bool writeAll(int descriptor, const std::string& bytes);

// writeAll for standard output and standard error: a reader that went away
// must not end the run by SIGPIPE, so the signal waits while writing and a
// pending one caused by this write is taken back.
bool writeWithoutBrokenPipeSignal(int descriptor, const std::string& bytes);

}  // namespace veltrum
