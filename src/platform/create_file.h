// Creating a file only where the name is still free.
#pragma once

#include <string>

namespace veltrum {

enum class CreateOutcome {
  Created,    // the file is new and holds the bytes
  NameTaken,  // an entry of that name exists already; it was not touched
  Failed,     // anything else: missing directory, access denied, disk full ...
};

// Creates the file at `path` when no entry of that name exists (other
// processes may read it while it is open, not write or delete it), writes
// `bytes` and closes it. A write or close that fails removes the half-written
// file again and gives Failed, so a file that exists is always complete.
CreateOutcome createNewFile(const std::string& path, const std::string& bytes);

}  // namespace veltrum
