// Random bytes from the operating system's own source (the kernel's on
// POSIX, the system's preferred generator on Windows), for values that
// someone who can watch the clock must still not guess.
#pragma once

#include <cstddef>
#include <string>

namespace veltrum {

// Fills `buffer` with `size` random bytes; false when the source gave none.
bool systemRandomBytes(unsigned char* buffer, size_t size);

// `size` random bytes as 2 * `size` lower-case hex digits; "" when the
// source gave none.
std::string systemRandomHex(size_t size);

}  // namespace veltrum
