// SHA-256 (FIPS 180-4), small and self-contained: it names the metrics file
// of a job, and the build loads no crypto library it could ask instead.
#pragma once

#include <string>

namespace veltrum {

// The digest of `bytes` as 64 lower-case hex digits.
std::string sha256Hex(const std::string& bytes);

}  // namespace veltrum
