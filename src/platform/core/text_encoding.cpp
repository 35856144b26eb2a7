#include "platform/core/text_encoding.h"

namespace veltrum {

namespace {
// -1 while no test has put an encoding in place of the system's.
int replacedEncoding = -1;
}  // namespace

TextEncoding platformTextEncoding() {
  return replacedEncoding < 0 ? systemTextEncoding() : static_cast<TextEncoding>(replacedEncoding);
}

ScopedTextEncoding::ScopedTextEncoding(TextEncoding encoding) : saved_(replacedEncoding) {
  replacedEncoding = static_cast<int>(encoding);
}

ScopedTextEncoding::~ScopedTextEncoding() {
  replacedEncoding = saved_;
}

}  // namespace veltrum
