#include <time.h>

#include "platform/core/clock.h"

namespace veltrum {

namespace {

class PosixClock : public Clock {
 public:
  LocalTime localNow() override {
    LocalTime result;
    time_t now = time(nullptr);
    struct tm fields;
    if (localtime_r(&now, &fields) == nullptr) return result;
    result.year = fields.tm_year + 1900;
    result.month = fields.tm_mon + 1;
    result.day = fields.tm_mday;
    result.hour = fields.tm_hour;
    result.minute = fields.tm_min;
    // A leap second (60) is shown as the last ordinary second.
    result.second = fields.tm_sec > 59 ? 59 : fields.tm_sec;
    return result;
  }
};

}  // namespace

Clock& platformClock() {
  static PosixClock realClock;
  return realClock;
}

int64_t monotonicMilliseconds() {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t currentUtcOffsetSeconds() {
  // The zone rules are loaded once per run: a fresh tzset() looks at the
  // zone file again on every call, once for every file evaluated.
  static const bool zoneLoaded = (tzset(), true);
  (void)zoneLoaded;
  time_t now = time(nullptr);
  struct tm fields;
  if (localtime_r(&now, &fields) == nullptr) return 0;
  return fields.tm_gmtoff;
}

}  // namespace veltrum
