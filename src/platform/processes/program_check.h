// Whether a found program can be started by the exec actions.
#pragma once

#include <string>

namespace veltrum {

// Windows: `upperExtension` is one of BAT, CMD, EXE, COM. POSIX: the path
// names a regular file the user may execute (the extension plays no part).
bool programIsRunnable(const std::string& path, const std::string& upperExtension);

// The platform's ANSI upper-casing (Windows CharUpperA; POSIX: ASCII and
// Windows-1252 letters).
std::string ansiUpper(const std::string& text);

}  // namespace veltrum
