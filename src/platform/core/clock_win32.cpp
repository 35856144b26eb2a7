#include <windows.h>

#include "platform/core/clock.h"

namespace veltrum {

namespace {

class Win32Clock : public Clock {
 public:
  LocalTime localNow() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime result;
    result.year = now.wYear;
    result.month = now.wMonth;
    result.day = now.wDay;
    result.hour = now.wHour;
    result.minute = now.wMinute;
    result.second = now.wSecond;
    return result;
  }
};

int64_t ticks(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart);
}

}  // namespace

Clock& platformClock() {
  static Win32Clock realClock;
  return realClock;
}

// The performance counter: GetTickCount64 moves in steps of 10 to 16 ms.
int64_t monotonicMilliseconds() {
  static const int64_t frequency = [] {
    LARGE_INTEGER value;
    return QueryPerformanceFrequency(&value) && value.QuadPart > 0 ? value.QuadPart : 0;
  }();
  LARGE_INTEGER now;
  if (frequency == 0 || !QueryPerformanceCounter(&now)) {
    return static_cast<int64_t>(GetTickCount64());
  }
  return now.QuadPart / frequency * 1000 + now.QuadPart % frequency * 1000 / frequency;
}

// The same conversion the file stamps go through (FileTimeToLocalFileTime
// applies the offset in force now), so clock and stamps share one scale.
int64_t currentUtcOffsetSeconds() {
  FILETIME utc;
  FILETIME local;
  GetSystemTimeAsFileTime(&utc);
  if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
  constexpr int64_t kTicksPerSecond = 10000000;
  const int64_t difference = ticks(local) - ticks(utc);
  // Offsets are whole minutes; round away the few ticks between the calls.
  return (difference + (difference >= 0 ? kTicksPerSecond / 2 : -kTicksPerSecond / 2)) /
         kTicksPerSecond;
}

}  // namespace veltrum
