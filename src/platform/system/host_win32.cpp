#include <windows.h>

#include "platform/system/host.h"

namespace veltrum {

std::string localHostName() {
  char name[256] = {};
  DWORD size = sizeof name;
  // The DNS host name needs no socket layer, unlike gethostname.
  if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) return "";
  return std::string(name, size);
}

uint32_t currentProcessId() {
  return static_cast<uint32_t>(GetCurrentProcessId());
}

}  // namespace veltrum
