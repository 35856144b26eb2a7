#include <sys/stat.h>
#include <unistd.h>

#include "platform/processes/program_check.h"

namespace veltrum {

bool programIsRunnable(const std::string& path, const std::string&) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string ansiUpper(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') {
      c = static_cast<char>(u - 32);
    } else if (u >= 0xE0 && u <= 0xFE && u != 0xF7) {  // à..þ except the division sign
      c = static_cast<char>(u - 32);
    } else if (u == 0x9A || u == 0x9C || u == 0x9E) {  // š œ ž
      c = static_cast<char>(u - 16);
    } else if (u == 0xFF) {  // ÿ
      c = static_cast<char>(0x9F);
    }
  }
  return upper;
}

}  // namespace veltrum
