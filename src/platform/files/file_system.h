// The file system as the checks see it: directory enumeration with name
// patterns and file time stamps. Small enough for a test double.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/clock.h"

namespace veltrum {

enum class StampKind { Created, Accessed, Modified };

struct DirEntry {
  std::string name;  // the entry's own (long) name, no directory
  bool isDirectory = false;
  bool isLink = false;  // a symbolic link (POSIX) or reparse point (Windows)
  // Where the listing found the entry, in the platform's own terms (POSIX:
  // device and inode of the folder listed; Windows: its file id and final
  // path), so that a later step can tell whether a path still leads there;
  // empty where the platform keeps none.
  std::string location = {};
};

// What the evaluation learns of one file.
struct FileLook {
  bool folderUsable = false;  // its folder can be enumerated
  bool readable = false;      // as canOpenForReading has it
  bool stamped = false;       // the stamp asked for was read
  LocalTime stamp = {};       // local wall-clock time, the offset in force now
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

  // searchFolder for a folder that a search entered because the listing of
  // its parent showed it as the plain folder `listed`: a platform that can
  // tell gives nothing for a folder swapped for a link since. The default is
  // searchFolder.
  virtual void searchEnteredFolder(const std::string& directory, const DirEntry& listed,
                                   const std::vector<std::string>& patterns,
                                   std::vector<std::vector<DirEntry>>* matches,
                                   std::vector<DirEntry>* subfolders) {
    (void)listed;
    searchFolder(directory, patterns, matches, subfolders);
  }

  // Ends the search below `directory`, whose subfolders searchFolder gave.
  // A real file system may keep each such folder open until then and enter
  // its subfolders from it, so that a folder swapped for a link after it was
  // listed is skipped, never followed. The default keeps nothing.
  virtual void leaveFolder(const std::string& directory) { (void)directory; }

  // The evaluation's look at the file `path` in `directory`, by its path:
  // canEnumerate, canOpenForReading and readStamp.
  FileLook lookAtPath(const std::string& directory, const std::string& path, StampKind kind);

  // The evaluation's look at a file a search found: `entry` as the listing
  // of `folder` gave it, the search having begun in `start`. A real file
  // system looks in the folder the listing read, never through a folder
  // swapped for a link since: the file then counts as not readable. The
  // default is lookAtPath.
  virtual FileLook lookAtFoundFile(const std::string& start, const std::string& folder,
                                   const DirEntry& entry, StampKind kind) {
    (void)start;
    return lookAtPath(folder, folder + entry.name, kind);
  }

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

}  // namespace veltrum
