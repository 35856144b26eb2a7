#include "platform/core/text_encoding.h"

namespace veltrum {

// Fixed rather than read from LANG or LC_*: a scheduled run has no locale of
// its own, and the log must not change encoding between two runs.
TextEncoding systemTextEncoding() {
  return TextEncoding::utf8;
}

const char* platformLineEnd() {
  return "\n";
}

}  // namespace veltrum
