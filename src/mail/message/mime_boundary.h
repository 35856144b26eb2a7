// Multipart boundaries nobody can guess: a fixed prefix and 128 bits from the
// system's random source. A boundary built from the time could be written
// into a file name, and the name would then end a part and start one of its
// own in the alert.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace veltrum {

// 32 lower-case hex digits of the system's random source (128 bits).
std::string randomHex128();

// `prefix` followed by a value of `draw`, drawn again while the boundary
// occurs in one of `contents` (at most a few times: with 128 random bits a
// second draw is already beyond chance).
std::string boundaryNotIn(const std::string& prefix, const std::vector<std::string>& contents,
                          const std::function<std::string()>& draw = randomHex128);

}  // namespace veltrum
