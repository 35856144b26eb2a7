// The folder a listing read, found again for the evaluation of its files.
#pragma once

#include <windows.h>

#include <string>

namespace veltrum {

// `directory` opened as itself when it is still the plain folder that a
// listing read and placed at `location` (the DirEntry::location of the files
// it held), else INVALID_HANDLE_VALUE: a folder swapped for a link or for
// another folder since, or one reached through a folder higher up swapped
// since, is not the one listed. Opened without FILE_SHARE_DELETE, so that
// Windows refuses to rename or remove it while the handle is held.
HANDLE openListedFolder(const std::string& directory, const std::string& location);

}  // namespace veltrum
