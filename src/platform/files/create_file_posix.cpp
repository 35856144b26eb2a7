#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/descriptor_posix.h"
#include "platform/files/create_file.h"

namespace veltrum {

namespace {

// O_EXCL refuses every existing entry, a symbolic link included, dangling or
// not; O_NOFOLLOW says so once more. O_NONBLOCK and O_NOCTTY keep open()
// from waiting on, or adopting, anything but a new regular file.
int openNewFile(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool isNewRegularFile(int fd) {
  struct stat details;
  return fstat(fd, &details) == 0 && S_ISREG(details.st_mode) && details.st_nlink == 1;
}

// Removes the name itself when it is a file, a symbolic link, a FIFO or a
// socket: unlink never follows a link, never opens a FIFO and never touches
// the data another name of a hard link still holds. A folder goes only when
// empty (rmdir never follows a link either). False when a folder with
// entries holds the name.
bool removeBlocker(const std::string& path) {
  struct stat details;
  if (lstat(path.c_str(), &details) != 0) return true;
  if (S_ISREG(details.st_mode) || S_ISLNK(details.st_mode) || S_ISFIFO(details.st_mode) ||
      S_ISSOCK(details.st_mode)) {
    ::unlink(path.c_str());
  } else if (S_ISDIR(details.st_mode) && ::rmdir(path.c_str()) != 0) {
    return errno != ENOTEMPTY && errno != EEXIST;
  }
  return true;
}

// Removes `path` only while it still names the file open as `fd`: a name
// swapped meanwhile belongs to someone else.
void removeIfStillOurs(const std::string& path, int fd) {
  struct stat opened;
  struct stat named;
  if (fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 &&
      opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
    ::unlink(path.c_str());
  }
}

}  // namespace

CreateOutcome createNewFile(const std::string& path, const std::string& bytes) {
  const int fd = openNewFile(path);
  if (fd < 0) return errno == EEXIST ? CreateOutcome::NameTaken : CreateOutcome::Failed;
  bool complete = isNewRegularFile(fd) && writeAll(fd, bytes);
  if (!complete) removeIfStillOurs(path, fd);
  if (::close(fd) != 0 && errno != EINTR && complete) {
    complete = false;
    ::unlink(path.c_str());
  }
  return complete ? CreateOutcome::Created : CreateOutcome::Failed;
}

TestFileOutcome writeTestFile(const std::string& path, const std::string& bytes) {
  if (!removeBlocker(path)) return TestFileOutcome::FolderInTheWay;
  const int fd = openNewFile(path);
  if (fd < 0) return TestFileOutcome::Failed;
  const bool written = isNewRegularFile(fd) && writeAll(fd, bytes);
  removeIfStillOurs(path, fd);
  const bool closed = ::close(fd) == 0 || errno == EINTR;
  return written && closed ? TestFileOutcome::Written : TestFileOutcome::Failed;
}

}  // namespace veltrum
