// Directory enumeration with name patterns (the platform's wildcard search).
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace veltrum {

// See FileSystem::enumerate; this is the real implementation behind it.
EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries);

// See FileSystem::searchFolder; reads the directory as few times as the
// platform allows (POSIX: once for all patterns).
void searchDirectory(const std::string& directory, const std::vector<std::string>& patterns,
                     std::vector<std::vector<DirEntry>>* matches,
                     std::vector<DirEntry>* subfolders);

// A folder the search entered from the listing of its parent, which found
// it at `location` (DirEntry::location), listed only while it is still that
// plain folder: one swapped for a link (or a junction) since, or reached
// through a folder higher up swapped since, gives no entries and no
// subfolders. Same results as searchDirectory otherwise.
void searchEnteredDirectory(const std::string& directory, const std::string& location,
                            const std::vector<std::string>& patterns,
                            std::vector<std::vector<DirEntry>>* matches,
                            std::vector<DirEntry>* subfolders);

// True when enumerateDirectory(directory, "*.*") would not fail, found out
// without reading the entries.
bool directoryCanBeEnumerated(const std::string& directory);

}  // namespace veltrum
