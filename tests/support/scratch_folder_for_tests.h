// A fresh folder under the system's temporary folder, for unit tests that
// need real files on either platform.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace veltrum {

inline std::filesystem::path makeScratchFolder(const std::string& prefix) {
  namespace fs = std::filesystem;
  std::random_device random;
  for (;;) {
    fs::path candidate = fs::temp_directory_path() / (prefix + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) return candidate;
    if (error) throw fs::filesystem_error("cannot make a scratch folder", candidate, error);
  }
}

}  // namespace veltrum
