#include "mail/message/message_stamp.h"

#include <cstdio>
#include <random>

#include "platform/system/host.h"

namespace veltrum {

namespace {

// 0 = Sunday; Sakamoto's method for the Gregorian calendar.
int weekday(int year, int month, int day) {
  static const int kMonthShift[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 1 || month > 12) return 0;
  if (month < 3) year -= 1;
  int value = year + year / 4 - year / 100 + year / 400 + kMonthShift[month - 1] + day;
  return ((value % 7) + 7) % 7;
}

std::string domainPart(const std::string& hostName) {
  // A domain literal is a right side of its own (RFC 5322, no-fold-literal).
  if (hostName.size() > 2 && hostName.front() == '[' && hostName.back() == ']' &&
      hostName.find_first_of("[]\\ \r\n", 1) == hostName.size() - 1) {
    return hostName;
  }
  std::string kept;
  for (char c : hostName) {
    bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '.';
    if (allowed) kept += c;
  }
  while (!kept.empty() && kept.front() == '.') kept.erase(kept.begin());
  while (!kept.empty() && kept.back() == '.') kept.pop_back();
  return kept.empty() ? "localhost" : kept;
}

uint64_t randomNumber() {
  try {
    std::random_device device;
    return (static_cast<uint64_t>(device()) << 32) ^ device();
  } catch (...) {
    // The time, process id and counter still make the identifier unique.
    return static_cast<uint64_t>(monotonicMilliseconds()) * 6364136223846793005ULL;
  }
}

}  // namespace

std::string rfc5322Date(const LocalTime& local, int64_t utcOffsetSeconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int month = (local.month >= 1 && local.month <= 12) ? local.month : 1;
  int64_t offsetMinutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
                kDays[weekday(local.year, month, local.day)], local.day, kMonths[month - 1],
                local.year, local.hour, local.minute, local.second,
                utcOffsetSeconds < 0 ? '-' : '+', static_cast<int>(offsetMinutes / 60 % 100),
                static_cast<int>(offsetMinutes % 60));
  return text;
}

std::string messageId(const LocalTime& local, uint32_t processId, uint32_t counter, uint64_t random,
                      const std::string& hostName) {
  char left[96];
  std::snprintf(left, sizeof left, "%04d%02d%02d%02d%02d%02d.%lu.%lu.%016llx", local.year,
                local.month, local.day, local.hour, local.minute, local.second,
                static_cast<unsigned long>(processId), static_cast<unsigned long>(counter),
                static_cast<unsigned long long>(random));
  // Built front to back: "<" + a temporary makes GCC 12 at -O3 see an
  // overlapping copy in the insertion at the front (-Wrestrict).
  std::string id = "<";
  id += left;
  id += '@';
  id += domainPart(hostName);
  id += '>';
  return id;
}

MessageStamp messageStampNow(const std::string& domain) {
  static uint32_t counter = 0;
  LocalTime local = clock().localNow();
  MessageStamp stamp;
  stamp.date = rfc5322Date(local, currentUtcOffsetSeconds());
  stamp.messageId = messageId(local, currentProcessId(), ++counter, randomNumber(),
                              domain.empty() ? localHostName() : domain);
  return stamp;
}

}  // namespace veltrum
