// Appending one line to the log file, safely between concurrent runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace veltrum {

// Appends `line` to the file at `path` (created when missing). Before that,
// under the same exclusive hold, a file larger than `sizeLimit` bytes is
// moved to `path` + `asideSuffix()`; a failed move (the name is taken) is
// silent and the file grows on. The suffix is asked for only then, under the
// hold, so that a name made of the time sorts in the order of the moves even
// when runs waited for each other. No line written by a concurrent run is
// lost or torn. False when the log could not be opened; nothing was written.
bool appendLogLine(const std::string& path, const std::string& line, int64_t sizeLimit,
                   const std::function<std::string()>& asideSuffix);

// The same with a suffix known beforehand.
inline bool appendLogLine(const std::string& path, const std::string& line, int64_t sizeLimit,
                          const std::string& asideSuffix) {
  return appendLogLine(path, line, sizeLimit, [&asideSuffix] { return asideSuffix; });
}

// Tells the user that the log cannot be written: a message window on Windows
// when a console window is visible, standard error otherwise.
void reportLogFailure(const std::string& text, const std::string& title);

}  // namespace veltrum
