// A recursive search keeps the folders it is inside of open, and tells a
// folder by its identity; shared by the POSIX implementations only.
#pragma once

#include <dirent.h>

#include <string>
#include <vector>

namespace veltrum {

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
  // Keeps the folder `directory`, listed through `listing` (taken over).
  void keep(const std::string& directory, DIR* listing);
  // Closes `directory` and what lies below it on the trail.
  void leave(const std::string& directory);

 private:
  void leaveFrom(size_t depth);

  struct Folder {
    std::string path;
    DIR* listing;  // nullptr past the depth that keeps folders open
  };
  std::vector<Folder> folders_;
};

// The location (DirEntry::location) of the entries in the folder open as
// `folder`: its device and inode as text; "" when they cannot be read.
std::string folderLocation(int folder);

}  // namespace veltrum
