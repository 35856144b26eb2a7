#include <windows.h>

#include "platform/processes/program_check.h"

namespace veltrum {

bool programIsRunnable(const std::string&, const std::string& upperExtension) {
  for (const char* allowed : {"BAT", "CMD", "EXE", "COM"}) {
    if (upperExtension == allowed) return true;
  }
  return false;
}

std::string ansiUpper(const std::string& text) {
  // CharUpperA stops at a zero byte: each stretch between zero bytes is
  // converted on its own.
  std::string upper = text;
  size_t start = 0;
  while (start < upper.size()) {
    size_t end = upper.find('\0', start);
    if (end == std::string::npos) end = upper.size();
    if (end > start) CharUpperA(&upper[start]);  // stops at the zero byte at `end`
    start = end + 1;
  }
  return upper;
}

}  // namespace veltrum
