// Directory enumeration with name patterns (the platform's wildcard search).
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace veltrum {

// See FileSystem::enumerate; this is the real implementation behind it.
EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries);

// True when enumerateDirectory(directory, "*.*") would not fail, found out
// without reading the entries.
bool directoryCanBeEnumerated(const std::string& directory);

}  // namespace veltrum
