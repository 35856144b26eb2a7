// How a setting text becomes a whole number.
#pragma once

#include <cstdint>
#include <string>

namespace veltrum {

// Leading blanks and tabs are skipped, one optional "+" or "-", then decimal
// digits up to the first other character ("$" before the digits reads
// hexadecimal, "%" binary). No digits give 0. Callers that need 32 bits take
// the low 32 bits of the result (see low32).
int64_t readNumber(const std::string& text);

// The low 32 bits of `value` as a signed 32-bit number.
int32_t low32(int64_t value);

}  // namespace veltrum
