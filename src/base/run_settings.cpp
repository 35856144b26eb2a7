#include "base/run_settings.h"

namespace veltrum {

RunSettings& runSettings() {
  static RunSettings settings;
  return settings;
}

std::string derivedPath(const std::string& programPath, const std::string& extension) {
  size_t cut = programPath.find_last_of("\\/");
  size_t nameStart = cut == std::string::npos ? 0 : cut + 1;
  std::string name = programPath.substr(nameStart);
  // Exact case, every occurrence, in the name only.
  static const std::string kExe = ".exe";
  if (name.find(kExe) == std::string::npos) {
    // Without ".exe" the name would stay the program's own: never log into it.
    return programPath + extension;
  }
  std::string replaced;
  size_t at = 0;
  for (size_t found; (found = name.find(kExe, at)) != std::string::npos; at = found + kExe.size()) {
    replaced += name.substr(at, found - at) + extension;
  }
  replaced += name.substr(at);
  return programPath.substr(0, nameStart) + replaced;
}

}  // namespace veltrum
