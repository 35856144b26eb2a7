#include "platform/text_encoding.h"

namespace veltrum {

TextEncoding platformTextEncoding() {
  return TextEncoding::windows1252;
}

}  // namespace veltrum
