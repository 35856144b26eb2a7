#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/descriptor_posix.h"
#include "platform/core/system_random.h"
#include "platform/files/replace_file.h"

namespace veltrum {

namespace {

// A name nobody can predict, so no one can plant a file or a link there
// ahead of the run; the leading dot and the ending keep it out of what a
// textfile collector reads.
std::string temporaryName(const std::string& name) {
  return "." + name + "." + std::to_string(getpid()) + "." + systemRandomHex(16) + ".tmp";
}

// O_EXCL refuses every existing entry, a link included; O_NOFOLLOW says so
// once more.
int openFresh(const std::string& path) {
  int fd;
  do {
    fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

bool replaceFileWhole(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
  std::string directory = folder;
  if (!directory.empty() && directory.back() != '/') directory += '/';
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 10 && fd < 0; ++attempt) {
    temporary = directory + temporaryName(name);
    fd = openFresh(temporary);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  // fchmod is not narrowed by the umask: the exporter reads as another user.
  bool done = fchmod(fd, 0644) == 0 && writeAll(fd, bytes);
  if (::close(fd) != 0 && errno != EINTR) done = false;
  done = done && ::rename(temporary.c_str(), (directory + name).c_str()) == 0;
  if (!done) ::unlink(temporary.c_str());
  return done;
}

}  // namespace veltrum
