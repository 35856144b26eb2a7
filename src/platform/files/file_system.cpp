#include "platform/files/file_system.h"

#include "platform/files/directory.h"

namespace veltrum {

// The platform's real file system, defined in file_system_posix.cpp /
// file_system_win32.cpp.
FileSystem& platformFileSystem();

namespace {
FileSystem* installedFileSystem = nullptr;
}

void FileSystem::searchFolder(const std::string& directory,
                              const std::vector<std::string>& patterns,
                              std::vector<std::vector<DirEntry>>* matches,
                              std::vector<DirEntry>* subfolders) {
  matches->assign(patterns.size(), {});
  for (size_t i = 0; i < patterns.size(); ++i) {
    if (enumerate(directory, patterns[i], &(*matches)[i]) == EnumOutcome::Failed) {
      (*matches)[i].clear();
    }
  }
  if (subfolders == nullptr) return;
  if (enumerate(directory, "*.*", subfolders) == EnumOutcome::Failed) subfolders->clear();
  std::erase_if(*subfolders, [](const DirEntry& entry) { return !entry.isDirectory; });
}

FileLook FileSystem::lookAtPath(const std::string& directory, const std::string& path,
                                StampKind kind) {
  FileLook look;
  look.folderUsable = canEnumerate(directory);
  look.readable = look.folderUsable && canOpenForReading(path);
  look.stamped = look.readable && readStamp(path, kind, &look.stamp);
  return look;
}

FileSystem& fileSystem() {
  return installedFileSystem != nullptr ? *installedFileSystem : platformFileSystem();
}

void setFileSystem(FileSystem* replacement) {
  installedFileSystem = replacement;
}

EnumOutcome DirectoryFileSystem::enumerate(const std::string& directory, const std::string& pattern,
                                           std::vector<DirEntry>* entries) {
  return enumerateDirectory(directory, pattern, entries);
}

void DirectoryFileSystem::searchFolder(const std::string& directory,
                                       const std::vector<std::string>& patterns,
                                       std::vector<std::vector<DirEntry>>* matches,
                                       std::vector<DirEntry>* subfolders) {
  searchDirectory(directory, patterns, matches, subfolders, trail());
}

bool DirectoryFileSystem::canEnumerate(const std::string& directory) {
  return directoryCanBeEnumerated(directory);
}

}  // namespace veltrum
