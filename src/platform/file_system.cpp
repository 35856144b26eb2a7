#include "platform/file_system.h"

namespace veltrum {

// The platform's real file system, defined in file_system_posix.cpp /
// file_system_win32.cpp.
FileSystem& platformFileSystem();

namespace {
FileSystem* installedFileSystem = nullptr;
}

FileSystem& fileSystem() {
  return installedFileSystem != nullptr ? *installedFileSystem : platformFileSystem();
}

void setFileSystem(FileSystem* replacement) {
  installedFileSystem = replacement;
}

}  // namespace veltrum
