// The Date and Message-ID values of a message.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/clock.h"

namespace veltrum {

struct MessageStamp {
  std::string date;       // "Mon, 07 Dec 2026 04:15:30 +0100"
  std::string messageId;  // "<left@host>"
};

// The date and time in the form of RFC 5322 with the given offset from UTC.
std::string rfc5322Date(const LocalTime& local, int64_t utcOffsetSeconds);

// "<" + time, process id, counter and a random part + "@" + host + ">". The
// host name is reduced to letters, digits, "-" and "."; "localhost" when
// nothing is left. An address literal ("[192.0.2.1]") stays as it is.
std::string messageId(const LocalTime& local, uint32_t processId, uint32_t counter, uint64_t random,
                      const std::string& hostName);

// Both values for a message written now (local clock, this process, a fresh
// counter value and random number). The Message-ID's right side is
// `domain` when given (the configured greeting name, already checked),
// else this host's name.
MessageStamp messageStampNow(const std::string& domain = "");

}  // namespace veltrum
