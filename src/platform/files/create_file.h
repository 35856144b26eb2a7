// Creating files in a folder that others may write to (an inbox): a name
// planted there beforehand, a link of any kind included, is never written
// through, so a run cannot be made to change a file elsewhere.
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

enum class TestFileOutcome {
  Written,         // the bytes could be written into a new file (removed again)
  FolderInTheWay,  // a folder that is not empty holds the name; it stays
  Failed,          // anything else
};

// Proves that a file can be written at `path`. What already holds the name
// and can only be a leftover or a blocker is removed itself, never followed:
// a file or a link of any kind (its target untouched), a FIFO, a socket, a
// folder when it is empty. Then the file is created anew, `bytes` are
// written, and it is removed again. Anything else there (a device, a folder
// with entries) stays.
TestFileOutcome writeTestFile(const std::string& path, const std::string& bytes);

}  // namespace veltrum
