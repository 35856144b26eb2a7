// The local wall clock and a monotonic clock for deadlines.
#pragma once

#include <cstdint>

namespace veltrum {

// Local wall-clock fields; milliseconds are dropped.
struct LocalTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Milliseconds of a clock that never jumps; for deadlines and waits only.
int64_t monotonicMilliseconds();

// Where "now" comes from. The real clock reads the platform's local time
// (Windows GetLocalTime); a test installs a double to steer it.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime localNow() = 0;
  // The monotonic milliseconds that the mail dialog measures its reply
  // deadlines with; a double advances them instead of making a test wait.
  virtual int64_t deadlineMilliseconds() { return monotonicMilliseconds(); }
};

// The clock in use: the real one unless a test installed another.
Clock& clock();
// Installs `replacement` (nullptr restores the real clock). Tests only.
void setClock(Clock* replacement);

// Offset of local time from UTC in seconds that is in force now
// (daylight saving included).
int64_t currentUtcOffsetSeconds();

}  // namespace veltrum
