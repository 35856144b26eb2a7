// Directory enumeration with name patterns (the platform's wildcard search).
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace veltrum {

// See FileSystem::enumerate; this is the real implementation behind it.
EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries);

// The folders of a recursive search that stay open while their subfolders
// are searched, deepest last (POSIX). A subfolder is entered from its
// parent's descriptor and never through a link, so a folder swapped for a
// link after the parent was listed is skipped, not followed.
class FolderTrail {
 public:
  FolderTrail() = default;
  FolderTrail(const FolderTrail&) = delete;
  FolderTrail& operator=(const FolderTrail&) = delete;
  ~FolderTrail();

  // The folder `directory` opened for listing: from the parent on the trail
  // when it is one, by its path otherwise; -1 when it cannot be (or is a link
  // now). The descriptor belongs to the caller.
  int open(const std::string& directory);
  // Keeps `descriptor` (a copy is made) as the folder `directory`.
  void keep(const std::string& directory, int descriptor);
  // Closes `directory` and what lies below it on the trail.
  void leave(const std::string& directory);

 private:
  struct Folder {
    std::string path;
    int descriptor;  // -1 past the depth that keeps descriptors
  };
  std::vector<Folder> folders_;
};

// See FileSystem::searchFolder; lists the directory once for all patterns.
// With a trail, the folder is opened from it and, when its subfolders are
// asked for, kept on it until FolderTrail::leave.
void searchDirectory(const std::string& directory, const std::vector<std::string>& patterns,
                     std::vector<std::vector<DirEntry>>* matches, std::vector<DirEntry>* subfolders,
                     FolderTrail* trail = nullptr);

// True when enumerateDirectory(directory, "*.*") would not fail, found out
// without reading the entries.
bool directoryCanBeEnumerated(const std::string& directory);

}  // namespace veltrum
