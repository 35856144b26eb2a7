#include "base/date_value.h"

#include "platform/core/clock.h"
#include "platform/files/file_system.h"

namespace veltrum {

namespace {

bool isLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int daysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
int64_t daysSinceEpoch(int year, int month, int day) {
  int64_t days = 0;
  for (int y = 1970; y < year; ++y) days += isLeapYear(y) ? 366 : 365;
  for (int m = 1; m < month; ++m) days += daysInMonth(year, m);
  return days + day - 1;
}

struct Fields {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

Fields fieldsOf(DateValue value) {
  Fields fields;
  if (value < 0) return fields;
  int64_t days = value / 86400;
  int64_t rest = value % 86400;
  fields.hour = static_cast<int>(rest / 3600);
  fields.minute = static_cast<int>(rest / 60 % 60);
  fields.second = static_cast<int>(rest % 60);
  fields.year = 1970;
  while (days >= (isLeapYear(fields.year) ? 366 : 365))
    days -= isLeapYear(fields.year++) ? 366 : 365;
  fields.month = 1;
  while (days >= daysInMonth(fields.year, fields.month))
    days -= daysInMonth(fields.year, fields.month++);
  fields.day = static_cast<int>(days) + 1;
  return fields;
}

std::string padded(int value, size_t width) {
  std::string digits = std::to_string(value);
  return digits.size() < width ? std::string(width - digits.size(), '0') + digits : digits;
}

// True when `mask` holds `token` (lower case) at `at`, compared without
// regard to case.
bool tokenAt(const std::string& mask, size_t at, const char* token) {
  for (size_t i = 0; token[i] != '\0'; ++i) {
    if (at + i >= mask.size()) return false;
    const char c = mask[at + i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c) != token[i]) return false;
  }
  return true;
}

}  // namespace

DateValue dateFromParts(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1970 || year > 2038) return -1;
  if (month < 1 || month > 12 || day < 1 || day > 31) return -1;
  if (year == 2038 && (month != 1 || day > 18)) return -1;
  if (day > daysInMonth(year, month)) return -1;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return -1;
  int64_t value = daysSinceEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<DateValue>(value);
}

DateValue currentDate() {
  LocalTime now = clock().localNow();
  return dateFromParts(now.year, now.month, now.day, now.hour, now.minute, now.second);
}

DateValue readFileDate(const std::string& path, FileDateKind kind) {
  StampKind stamp = StampKind::Created;
  if (kind == FileDateKind::Accessed) stamp = StampKind::Accessed;
  if (kind == FileDateKind::Modified) stamp = StampKind::Modified;
  LocalTime local;
  if (!fileSystem().readStamp(path, stamp, &local)) return 0;
  return dateFromParts(local.year, local.month, local.day, local.hour, local.minute, local.second);
}

std::string formatDate(const std::string& mask, DateValue value) {
  Fields fields = fieldsOf(value);
  struct Token {
    const char* letters;
    int field;
    size_t width;
  };
  // "yyyy" before "yy": the longer token wins.
  const Token tokens[] = {{"yyyy", fields.year, 4}, {"yy", fields.year % 100, 2},
                          {"mm", fields.month, 2},  {"dd", fields.day, 2},
                          {"hh", fields.hour, 2},   {"ii", fields.minute, 2},
                          {"ss", fields.second, 2}};
  std::string result;
  for (size_t at = 0; at < mask.size();) {
    bool replaced = false;
    if (mask[at] == '%') {
      for (const Token& token : tokens) {
        if (tokenAt(mask, at + 1, token.letters)) {
          result += padded(token.field, token.width);
          at += 1 + std::char_traits<char>::length(token.letters);
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) result += mask[at++];
  }
  return result;
}

}  // namespace veltrum
