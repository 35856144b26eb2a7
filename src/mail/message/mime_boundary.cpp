#include "mail/message/mime_boundary.h"

#include <cstdint>

#include "platform/core/clock.h"
#include "platform/core/system_random.h"

namespace veltrum {

namespace {

constexpr int kMostDraws = 8;

std::string hexOf(const unsigned char* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0F];
  }
  return text;
}

// Only when the system gives no random bytes: still unique within the run,
// and the check against the content still keeps it out of every part.
void fillWithoutSource(unsigned char* bytes, size_t size) {
  static uint64_t counter = 0;
  uint64_t value = static_cast<uint64_t>(monotonicMilliseconds()) ^ (++counter << 40);
  for (size_t i = 0; i < size; ++i) {
    value = value * 6364136223846793005ULL + 1442695040888963407ULL;
    bytes[i] = static_cast<unsigned char>(value >> 56);
  }
}

// Built front to back: "a" + temporary makes MinGW's GCC 12 at -O3 see an
// overlapping copy (-Wrestrict).
std::string drawnAfter(const std::string& prefix, const std::function<std::string()>& draw) {
  std::string boundary = prefix;
  boundary += draw();
  return boundary;
}

bool occursIn(const std::string& boundary, const std::vector<std::string>& contents) {
  for (const std::string& content : contents) {
    if (content.find(boundary) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::string randomHex128() {
  unsigned char bytes[16];
  if (!systemRandomBytes(bytes, sizeof bytes)) fillWithoutSource(bytes, sizeof bytes);
  return hexOf(bytes, sizeof bytes);
}

std::string boundaryNotIn(const std::string& prefix, const std::vector<std::string>& contents,
                          const std::function<std::string()>& draw) {
  std::string boundary = drawnAfter(prefix, draw);
  for (int i = 1; i < kMostDraws && occursIn(boundary, contents); ++i) {
    boundary = drawnAfter(prefix, draw);
  }
  // A source that keeps repeating a value of the content: the boundary grows
  // until the content cannot hold it.
  while (occursIn(boundary, contents)) boundary = drawnAfter(boundary + '_', draw);
  return boundary;
}

}  // namespace veltrum
