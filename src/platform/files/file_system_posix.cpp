#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/core/descriptor_posix.h"
#include "platform/files/directory.h"
#include "platform/files/file_system.h"
#include "platform/files/folder_trail_posix.h"

namespace veltrum {

namespace {

bool hasWildcard(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

constexpr unsigned kStampFields = STATX_BTIME | STATX_ATIME | STATX_MTIME;

// The stamp of `kind` in seconds since 1970 UTC. The birth time where the
// file system keeps one, else the last write time.
int64_t stampOf(const struct statx& details, StampKind kind) {
  if (kind == StampKind::Accessed) return details.stx_atime.tv_sec;
  if (kind == StampKind::Created && (details.stx_mask & STATX_BTIME) != 0) {
    return details.stx_btime.tv_sec;
  }
  return details.stx_mtime.tv_sec;
}

bool statStamp(const std::string& path, StampKind kind, int64_t* seconds) {
  struct statx details;
  if (statx(AT_FDCWD, path.c_str(), 0, kStampFields, &details) != 0) return false;
  *seconds = stampOf(details, kind);
  return true;
}

// Seconds since 1970 UTC as local wall-clock fields, with the offset in
// force now, whatever was in force at the stamp's own time, so file dates
// and the clock share one scale.
bool toLocal(int64_t seconds, LocalTime* local) {
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

// The regular file open as `found` (O_PATH, looked at as `looked`) opened
// for reading through that descriptor, so nothing swapped in under the name
// meanwhile is opened instead. Without /proc the name is opened once more in
// `folder` and kept only when it is still that file (a swap in between gives
// another file or a device, and O_NONBLOCK keeps a FIFO from stopping the
// run). True when it could be opened; closed again at once.
bool opensForReading(int found, int folder, const char* name, dev_t device, ino_t inode) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  const std::string same = "/proc/self/fd/" + std::to_string(found);
  int descriptor = open(same.c_str(), kFlags);
  if (descriptor < 0 && errno == ENOENT) {
    descriptor = openat(folder, name, kFlags);
    struct stat details;
    if (descriptor >= 0 &&
        (fstat(descriptor, &details) != 0 || details.st_dev != device || details.st_ino != inode)) {
      close(descriptor);
      descriptor = -1;
    }
  }
  if (descriptor < 0) return false;
  close(descriptor);
  return true;
}

// The file `name` in the open `folder`, a link to a file followed on
// purpose: whether it opens for reading, and its stamp, from one status.
void lookInFolder(int folder, const char* name, StampKind kind, FileLook* look) {
  // Looked at before it is opened: a link may lead to a device, and opening
  // some devices acts (a watchdog reboots, a tape rewinds). O_PATH opens
  // nothing but the name.
  const int found = openat(folder, name, O_PATH | O_CLOEXEC);
  if (found < 0) return;
  struct statx details;
  if (statx(found, "", AT_EMPTY_PATH, STATX_TYPE | STATX_INO | kStampFields, &details) == 0 &&
      S_ISREG(details.stx_mode)) {
    look->readable =
        opensForReading(found, folder, name, makedev(details.stx_dev_major, details.stx_dev_minor),
                        details.stx_ino);
    look->stamped = look->readable && toLocal(stampOf(details, kind), &look->stamp);
  }
  close(found);
}

// The folder `folder` below `start`, walked to from `start` one name at a
// time and never through a link; -1 when that fails. Opened as a name only.
int walkTo(const std::string& start, const std::string& folder) {
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  if (folder.compare(0, start.size(), start) != 0) return -1;
  int descriptor = open(start.empty() ? "." : start.c_str(), kFlags);
  for (size_t from = start.size(); descriptor >= 0 && from < folder.size();) {
    size_t slash = folder.find('/', from);
    if (slash == std::string::npos) slash = folder.size();
    const std::string name = folder.substr(from, slash - from);
    from = slash + 1;
    if (name.empty()) continue;
    const int next = openat(descriptor, name.c_str(), kFlags | O_NOFOLLOW);
    close(descriptor);
    descriptor = next;
  }
  return descriptor;
}

class PosixFileSystem : public DirectoryFileSystem {
 public:
  void leaveFolder(const std::string& directory) override { trail_.leave(directory); }

  bool readStamp(const std::string& path, StampKind kind, LocalTime* local) override {
    int64_t seconds = 0;
    return findStamp(path, kind, &seconds) && toLocal(seconds, local);
  }

  FileLook lookAtFoundFile(const std::string& start, const std::string& folder,
                           const DirEntry& entry, StampKind kind) override {
    if (entry.location.empty()) return lookAtPath(folder, folder + entry.name, kind);
    FileLook look;
    const int listed = listedFolder(start, folder, entry.location);
    if (listed < 0) {
      // Gone, or another folder by now: a folder swapped for a link makes
      // the file not present; one that is missing is reported as before.
      look.folderUsable = directoryCanBeEnumerated(folder);
      return look;
    }
    look.folderUsable = true;
    lookInFolder(listed, entry.name.c_str(), kind, &look);
    return look;
  }

  ~PosixFileSystem() override { forgetKept(); }

 protected:
  FolderTrail* trail() override { return &trail_; }

 private:
  // The folder the listing read as `location`, reached from `start`; the
  // last one stays open for the next file, which is mostly in it too.
  int listedFolder(const std::string& start, const std::string& folder,
                   const std::string& location) {
    if (kept_ >= 0 && keptStart_ == start && keptFolder_ == folder && keptLocation_ == location) {
      return kept_;
    }
    forgetKept();
    const int descriptor = walkTo(start, folder);
    if (descriptor < 0) return -1;
    if (folderLocation(descriptor) != location) {
      close(descriptor);
      return -1;
    }
    kept_ = descriptor;
    keptStart_ = start;
    keptFolder_ = folder;
    keptLocation_ = location;
    return kept_;
  }

  void forgetKept() {
    if (kept_ >= 0) close(kept_);
    kept_ = -1;
  }

  FolderTrail trail_;
  int kept_ = -1;
  std::string keptStart_;
  std::string keptFolder_;
  std::string keptLocation_;
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
  // Looked at before it is opened, see lookInFolder.
  int found = open(path.c_str(), O_PATH | O_CLOEXEC);
  if (found < 0) return false;
  struct stat details;
  const bool usable =
      fstat(found, &details) == 0 && S_ISREG(details.st_mode) &&
      opensForReading(found, AT_FDCWD, path.c_str(), details.st_dev, details.st_ino);
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
