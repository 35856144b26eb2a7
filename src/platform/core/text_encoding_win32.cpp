#include "platform/core/text_encoding.h"

namespace veltrum {

TextEncoding systemTextEncoding() {
  return TextEncoding::windows1252;
}

const char* platformLineEnd() {
  return "\r\n";
}

}  // namespace veltrum
