#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "platform/files/read_file.h"

namespace veltrum {

int64_t openHeldFile(const std::string& path) {
  // O_NONBLOCK: a FIFO in the file's place must not stop the run in open().
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool readHeldFile(int64_t handle, std::string* bytes) {
  bytes->clear();
  const int fd = static_cast<int>(handle);
  if (lseek(fd, 0, SEEK_SET) < 0) return false;
  try {
    char chunk[65536];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got == 0) return true;
      if (got < 0) {
        if (errno == EINTR) continue;
        bytes->clear();
        return false;
      }
      bytes->append(chunk, static_cast<size_t>(got));
    }
  } catch (const std::bad_alloc&) {
    bytes->clear();
    bytes->shrink_to_fit();
    return false;
  }
}

void closeHeldFile(int64_t handle) {
  if (handle >= 0) close(static_cast<int>(handle));
}

}  // namespace veltrum
