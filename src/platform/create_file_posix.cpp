#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/create_file.h"
#include "platform/descriptor_posix.h"

namespace veltrum {

CreateOutcome createNewFile(const std::string& path, const std::string& bytes) {
  // O_EXCL also refuses a symbolic link of that name, dangling or not, so
  // nothing outside the folder can be written through it.
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == EEXIST ? CreateOutcome::NameTaken : CreateOutcome::Failed;
  bool complete = writeAll(fd, bytes);
  if (::close(fd) != 0 && errno != EINTR) complete = false;
  if (complete) return CreateOutcome::Created;
  ::unlink(path.c_str());
  return CreateOutcome::Failed;
}

}  // namespace veltrum
