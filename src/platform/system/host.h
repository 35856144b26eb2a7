// Who is sending: the local host's name and this process's id, the stable
// parts of a unique message identifier.
#pragma once

#include <cstdint>
#include <string>

namespace veltrum {

// The name of this computer as the platform reports it; empty when it
// cannot tell.
std::string localHostName();

// The id of the running process.
uint32_t currentProcessId();

}  // namespace veltrum
