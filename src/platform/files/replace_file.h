// Replacing a file whole in a folder that others read (and may write to):
// a reader sees the old file or the new one, never half of one.
#pragma once

#include <string>

namespace veltrum {

// Writes `bytes` to a new file of a temporary name in `folder` (the name
// does not end like `name`; created only if it is free, never through a
// link), makes it readable by everyone (0644 whatever the umask; Windows
// keeps the folder's inherited rights), and renames it to `name`, replacing
// a file there. On failure the temporary file is removed again and an old
// file of that name stays as it was.
bool replaceFileWhole(const std::string& folder, const std::string& name, const std::string& bytes);

}  // namespace veltrum
