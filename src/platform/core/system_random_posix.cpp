#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include "platform/core/system_random.h"

namespace veltrum {

namespace {

// A kernel without getrandom() still has the device.
bool readDevice(unsigned char* buffer, size_t size) {
  int device = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (device < 0) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t count = read(device, buffer + done, size - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    done += static_cast<size_t>(count);
  }
  close(device);
  return done == size;
}

}  // namespace

bool systemRandomBytes(unsigned char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t count = getrandom(buffer + done, size - done, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return readDevice(buffer + done, size - done);
    done += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace veltrum
