// Dates and masks: any value with any mask, and any fields through
// dateFromParts, which must round-trip through formatDate when valid.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/date_value.h"
#include "fuzz/fuzz_input.h"

namespace veltrum {
namespace {

int32_t takeInt(const uint8_t*& data, size_t& size) {
  uint32_t value = 0;
  size_t count = size < 4 ? size : 4;
  std::memcpy(&value, data, count);
  data += count;
  size -= count;
  return static_cast<int32_t>(value);
}

// Values past the last valid date (up to the largest number) are formatted
// too, but no date gives them back.
void checkRoundTrip(DateValue value) {
  static const DateValue kLast = dateFromParts(2038, 1, 18, 23, 59, 59);
  if (value < 0 || value > kLast) return;
  std::string text = formatDate("%YYYY-%mm-%DD %hh:%Ii:%ss", value);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  FUZZ_CHECK(text.size() == 19);
  FUZZ_CHECK(std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &year, &month, &day, &hour,
                         &minute, &second) == 6);
  FUZZ_CHECK(dateFromParts(year, month, day, hour, minute, second) == value);
  FUZZ_CHECK(formatDate("%yy", value) == text.substr(2, 2));
}

}  // namespace
}  // namespace veltrum

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace veltrum;
  // Six fields for dateFromParts, then a value and the mask.
  int parts[6];
  for (int& part : parts) part = takeInt(data, size);
  DateValue fromParts = dateFromParts(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
  FUZZ_CHECK(fromParts >= -1);
  checkRoundTrip(fromParts);
  // Small fields are the interesting ones: the same bytes read as offsets
  // from the start of the range.
  DateValue nearby = dateFromParts(1970 + parts[0] % 80, parts[1] % 14, parts[2] % 33,
                                   parts[3] % 25, parts[4] % 61, parts[5] % 61);
  checkRoundTrip(nearby);
  DateValue value = takeInt(data, size);
  checkRoundTrip(value);
  std::string mask(reinterpret_cast<const char*>(data), size);
  std::string text = formatDate(mask, value);
  // Every token shortens the mask or keeps its length; nothing else changes.
  FUZZ_CHECK(text.size() <= mask.size());
  if (mask.find('%') == std::string::npos) FUZZ_CHECK(text == mask);
  return 0;
}
