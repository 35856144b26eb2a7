// Dates as one number: seconds since 1970-01-01 00:00:00 of local wall-clock
// time, every day 86,400 seconds; -1 when invalid.
#pragma once

#include <cstdint>
#include <string>

namespace veltrum {

using DateValue = int32_t;

enum class FileDateKind { Created = 0, Accessed = 1, Modified = 2 };

// -1 for fields out of range (1970-01-01 to 2038-01-18 23:59:59) or impossible.
DateValue dateFromParts(int year, int month, int day, int hour, int minute, int second);

// The local date and time now.
DateValue currentDate();

// One time stamp of a file in local time (the offset in force now); 0 when
// nothing is found, -1 outside the range.
DateValue readFileDate(const std::string& path, FileDateKind kind);

// The mask with its tokens %yyyy %yy %mm %dd %hh %ii %ss (any letter case)
// replaced by fields of the value.
std::string formatDate(const std::string& mask, DateValue value);

}  // namespace veltrum
