// Directory enumeration with name patterns (the platform's wildcard search).
#pragma once

#include <string>
#include <vector>

#include "platform/files/file_system.h"

namespace veltrum {

// See FileSystem::enumerate; this is the real implementation behind it.
EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries);

// The open folders of a recursive search (POSIX, folder_trail_posix.h).
class FolderTrail;

// See FileSystem::searchFolder; lists the directory once for all patterns.
// With a trail, the folder is opened from it and, when its subfolders are
// asked for, kept on it until FolderTrail::leave.
void searchDirectory(const std::string& directory, const std::vector<std::string>& patterns,
                     std::vector<std::vector<DirEntry>>* matches, std::vector<DirEntry>* subfolders,
                     FolderTrail* trail = nullptr);

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

// The part of the real file system both platforms share: listing and
// searching a folder go to the functions above. Each platform adds the
// stamps and the look at a found file.
class DirectoryFileSystem : public FileSystem {
 public:
  EnumOutcome enumerate(const std::string& directory, const std::string& pattern,
                        std::vector<DirEntry>* entries) override;
  void searchFolder(const std::string& directory, const std::vector<std::string>& patterns,
                    std::vector<std::vector<DirEntry>>* matches,
                    std::vector<DirEntry>* subfolders) override;
  // Only opens the directory: the path test runs once per file and must not
  // read and sort a large folder each time.
  bool canEnumerate(const std::string& directory) override;

 protected:
  // The open folders of a recursive search, on a platform that keeps them.
  virtual FolderTrail* trail() { return nullptr; }
};

}  // namespace veltrum
