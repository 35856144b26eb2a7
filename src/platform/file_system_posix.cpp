#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/descriptor_posix.h"
#include "platform/directory.h"
#include "platform/file_system.h"
#include "platform/folder_trail_posix.h"

namespace veltrum {

namespace {

bool hasWildcard(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

// The stamp of `kind` in seconds since 1970 UTC. The birth time where the
// file system keeps one, else the last write time.
bool statStamp(const std::string& path, StampKind kind, int64_t* seconds) {
  struct statx details;
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_ATIME | STATX_MTIME, &details) != 0) {
    return false;
  }
  if (kind == StampKind::Accessed) {
    *seconds = details.stx_atime.tv_sec;
  } else if (kind == StampKind::Created && (details.stx_mask & STATX_BTIME) != 0) {
    *seconds = details.stx_btime.tv_sec;
  } else {
    *seconds = details.stx_mtime.tv_sec;
  }
  return true;
}

// A path with wildcards names its first match, as the platform's file search
// would deliver it; a name that really holds "*" or "?" is found as it is.
bool findStamp(const std::string& path, StampKind kind, int64_t* seconds) {
  if (statStamp(path, kind, seconds)) return true;
  size_t slash = path.rfind('/');
  std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!hasWildcard(name) || hasWildcard(directory)) return false;
  std::vector<DirEntry> entries;
  if (enumerateDirectory(directory, name, &entries) != EnumOutcome::Entries || entries.empty()) {
    return false;
  }
  return statStamp(directory + entries.front().name, kind, seconds);
}

// Without /proc: the name opened once more, kept only when it is still the
// regular file looked at (a swap in between gives another file or a device,
// and O_NONBLOCK keeps a FIFO from stopping the run).
int openSameFile(const std::string& path, const struct stat& looked) {
  int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (descriptor < 0) return -1;
  struct stat details;
  if (fstat(descriptor, &details) != 0 || details.st_dev != looked.st_dev ||
      details.st_ino != looked.st_ino) {
    close(descriptor);
    return -1;
  }
  return descriptor;
}

class PosixFileSystem : public FileSystem {
 public:
  EnumOutcome enumerate(const std::string& directory, const std::string& pattern,
                        std::vector<DirEntry>* entries) override {
    return enumerateDirectory(directory, pattern, entries);
  }

  void searchFolder(const std::string& directory, const std::vector<std::string>& patterns,
                    std::vector<std::vector<DirEntry>>* matches,
                    std::vector<DirEntry>* subfolders) override {
    searchDirectory(directory, patterns, matches, subfolders, &trail_);
  }

  void leaveFolder(const std::string& directory) override { trail_.leave(directory); }

  // Only opens the directory: the path test runs once per file and must not
  // read and sort a large folder each time.
  bool canEnumerate(const std::string& directory) override {
    return directoryCanBeEnumerated(directory);
  }

  bool readStamp(const std::string& path, StampKind kind, LocalTime* local) override {
    int64_t seconds = 0;
    if (!findStamp(path, kind, &seconds)) return false;
    // The offset in force now, whatever was in force at the stamp's own time,
    // so file dates and the clock share one scale.
    time_t shifted = static_cast<time_t>(seconds + currentUtcOffsetSeconds());
    struct tm fields;
    if (gmtime_r(&shifted, &fields) == nullptr) return false;
    local->year = fields.tm_year + 1900;
    local->month = fields.tm_mon + 1;
    local->day = fields.tm_mday;
    local->hour = fields.tm_hour;
    local->minute = fields.tm_min;
    local->second = fields.tm_sec;
    return true;
  }

 private:
  FolderTrail trail_;
};

}  // namespace

FileSystem& platformFileSystem() {
  static PosixFileSystem realFileSystem;
  return realFileSystem;
}

char pathSeparator() {
  return '/';
}

bool canOpenForReading(const std::string& path) {
  // Looked at before it is opened: a link in a watched folder may lead to a
  // device, and opening some devices acts (a watchdog reboots, a tape
  // rewinds). O_PATH opens nothing but the name, following links.
  int found = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (found < 0) return false;
  struct stat details;
  bool usable = fstat(found, &details) == 0 && S_ISREG(details.st_mode);
  if (usable) {
    // The same file opened for reading through the looked-at descriptor, so
    // nothing swapped in under the name meanwhile is opened instead.
    const std::string same = "/proc/self/fd/" + std::to_string(found);
    int descriptor = open(same.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0 && errno == ENOENT) descriptor = openSameFile(path, details);
    usable = descriptor >= 0;
    if (descriptor >= 0) close(descriptor);
  }
  close(found);
  return usable;
}

int64_t fileSizeOf(const std::string& path) {
  std::string trimmed = path;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  if (trimmed.empty()) return -1;
  struct stat details;
  if (stat(trimmed.c_str(), &details) != 0 || S_ISDIR(details.st_mode)) return -1;
  return static_cast<int64_t>(details.st_size);
}

}  // namespace veltrum
