#include <unistd.h>

#include "platform/system/host.h"

namespace veltrum {

std::string localHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

uint32_t currentProcessId() {
  return static_cast<uint32_t>(getpid());
}

}  // namespace veltrum
