// The file system as the checks see it: directory enumeration with name
// patterns and file time stamps. Small enough for a test double.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace veltrum {

enum class StampKind { Created, Accessed, Modified };

struct DirEntry {
  std::string name;  // the entry's own (long) name, no directory
  bool isDirectory = false;
  bool isLink = false;  // a symbolic link (POSIX) or reparse point (Windows)
};

enum class EnumOutcome {
  Entries,  // at least one entry matched
  Empty,    // the directory exists and nothing matched
  Failed,   // missing directory, invalid name, access denied ...
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Enumerates `directory` with the name `pattern` ("" stands for "*.*"),
  // directory and pattern joined with the platform's separator where the
  // directory does not already end with one. `*` any run, `?` one character,
  // letters without regard to case, "*.*" every name. "." and ".." are
  // delivered when the pattern matches them. Entries sorted by name.
  virtual EnumOutcome enumerate(const std::string& directory, const std::string& pattern,
                                std::vector<DirEntry>* entries) = 0;

  // Looks `path` up as a directory entry (a wildcard path gives its first
  // match) and converts the requested stamp to local wall-clock fields with
  // the offset in force now. False when nothing was found or a conversion
  // failed.
  virtual bool readStamp(const std::string& path, StampKind kind, LocalTime* local) = 0;

  // One folder of a search: for each of `patterns`, the entries that
  // enumerate delivers for it (none when that enumeration fails), and, when
  // `subfolders` is given, the directories among the entries of "*.*"
  // (links included; none when the folder cannot be enumerated). The default
  // enumerates once per pattern and once more for the subfolders; a real file
  // system may read the folder only once.
  virtual void searchFolder(const std::string& directory, const std::vector<std::string>& patterns,
                            std::vector<std::vector<DirEntry>>* matches,
                            std::vector<DirEntry>* subfolders);

  // Ends the search below `directory`, whose subfolders searchFolder gave.
  // A real file system may keep each such folder open until then and enter
  // its subfolders from it, so that a folder swapped for a link after it was
  // listed is skipped, never followed. The default keeps nothing.
  virtual void leaveFolder(const std::string& directory) { (void)directory; }

  // Whether `directory` can be enumerated at all; an existing folder without
  // entries passes. The default lists it with "*.*"; a real file system may
  // answer without reading every entry (the evaluation asks it once per file).
  virtual bool canEnumerate(const std::string& directory) {
    std::vector<DirEntry> entries;
    return enumerate(directory, "*.*", &entries) != EnumOutcome::Failed;
  }
};

// The file system in use: the real one unless a test installed another.
FileSystem& fileSystem();
// Installs `replacement` (nullptr restores the real one). Tests only.
void setFileSystem(FileSystem* replacement);

// The path separator that joins a directory and an entry ("/" or "\").
char pathSeparator();

// True when `path` can be opened for reading as an existing file, others
// allowed to read but not to write, and is not a directory. Closed at once.
bool canOpenForReading(const std::string& path);

// Size of the file at `path` found by the platform's file search after
// trailing backslashes were removed; -1 for an empty path, a missing entry
// or a directory.
int64_t fileSizeOf(const std::string& path);

// True when the file at `path` can be created for writing (missing: created,
// existing: truncated), others allowed to read only; the bytes are written
// and the file closed. With `mustBeNew` an existing file is never touched
// and the call fails.
bool writeNewFile(const std::string& path, const std::string& bytes, bool mustBeNew);

// Removes a file; the result is for callers that care.
bool deleteFile(const std::string& path);

}  // namespace veltrum
