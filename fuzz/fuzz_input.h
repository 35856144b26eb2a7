// Cuts a fuzz input into text fields. Fields are separated by the byte 0x1E
// (record separator), which no meaningful seed needs inside a field, so the
// seeds stay readable in an editor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/scratch_folder_for_tests.h"

namespace veltrum {

constexpr char kFieldSeparator = '\x1e';

// Exactly `count` fields; missing ones are empty, the last takes the rest
// (separators included) when `lastTakesRest` is set.
inline std::vector<std::string> fuzzFields(const uint8_t* data, size_t size, size_t count,
                                           bool lastTakesRest = true) {
  std::vector<std::string> fields(count);
  std::string text(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  for (size_t i = 0; i < count && at <= text.size(); ++i) {
    size_t end = text.find(kFieldSeparator, at);
    if (end == std::string::npos || (i + 1 == count && lastTakesRest)) end = text.size();
    fields[i] = text.substr(at, end - at);
    at = end + 1;
  }
  return fields;
}

// All fields, however many there are.
inline std::vector<std::string> allFuzzFields(const std::string& text) {
  std::vector<std::string> fields;
  size_t at = 0;
  for (;;) {
    size_t end = text.find(kFieldSeparator, at);
    fields.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) return fields;
    at = end + 1;
  }
}

// A scratch folder for the files a target needs (log, configuration),
// removed again when the process ends.
inline const std::filesystem::path& fuzzScratchFolder() {
  struct Folder {
    std::filesystem::path path = makeScratchFolder("veltrum-fuzz-");
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return folder.path;
}

// Stops the run with a message when a property does not hold; libFuzzer and
// the replay both see the abort as a finding.
#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

}  // namespace veltrum
