#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/create_file.h"
#include "platform/descriptor_posix.h"

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

// Removes the name itself when it is a file or a symbolic link: unlink never
// follows a link and never touches the data another name of a hard link
// still holds.
void removeFileOrLink(const std::string& path) {
  struct stat details;
  if (lstat(path.c_str(), &details) != 0) return;
  if (S_ISREG(details.st_mode) || S_ISLNK(details.st_mode)) ::unlink(path.c_str());
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

bool writeTestFile(const std::string& path, const std::string& bytes) {
  removeFileOrLink(path);
  const int fd = openNewFile(path);
  if (fd < 0) return false;
  const bool written = isNewRegularFile(fd) && writeAll(fd, bytes);
  removeIfStillOurs(path, fd);
  const bool closed = ::close(fd) == 0 || errno == EINTR;
  return written && closed;
}

}  // namespace veltrum
