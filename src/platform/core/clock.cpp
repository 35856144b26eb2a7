#include "platform/core/clock.h"

namespace veltrum {

// The platform's real clock, defined in clock_posix.cpp / clock_win32.cpp.
Clock& platformClock();

namespace {
Clock* installedClock = nullptr;
}

Clock& clock() {
  return installedClock != nullptr ? *installedClock : platformClock();
}

void setClock(Clock* replacement) {
  installedClock = replacement;
}

}  // namespace veltrum
