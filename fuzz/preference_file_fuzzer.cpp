// The configuration file as a user may leave it: any bytes, read the way a
// run reads its settings, and then looked up by every name the file holds.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "run/preference_file.h"

namespace veltrum {
namespace {

const char* const kRunKeys[] = {"Mail_SMTP",     "Mail_User",    "Mail_Password", "Mail_From",
                                "Mail_To",       "Mail_Subject", "Mail_Port",     "Mail_Body",
                                "Exec",          "ExecParam",    "QuillboxDir",   "Recursive",
                                "BreakIfLocated"};

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// What a run may rely on for every value it reads.
void checkValue(const std::string& value, const std::string& fallback) {
  if (value == fallback) return;
  FUZZ_CHECK(value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
  if (!value.empty()) FUZZ_CHECK(!isBlank(value.front()) && !isBlank(value.back()));
}

void lookUpRunKeys(PreferenceFile& file) {
  file.selectGroup("Global");
  for (const char* key : kRunKeys) checkValue(file.readKey(key, "\n"), "\n");
}

// In a file that is not UTF-8, every group and key is found by its own name,
// in either letter case.
void lookUpOwnNames(PreferenceFile& file) {
  const auto entries = file.entries();
  for (const PreferenceEntry& entry : entries) {
    if (entry.kind == PreferenceEntry::Kind::Group) {
      bool found = file.selectGroup(entry.name);
      if (!file.isUtf8()) FUZZ_CHECK(found);
    } else if (entry.kind == PreferenceEntry::Kind::Key) {
      checkValue(file.readKey(entry.name, "\n"), "\n");
    }
  }
  file.selectGroup("");
  for (const PreferenceEntry& entry : entries) {
    if (entry.kind == PreferenceEntry::Kind::Group) break;
    if (entry.kind != PreferenceEntry::Kind::Key || file.isUtf8()) continue;
    FUZZ_CHECK(file.readKey(entry.name, "\n") != "\n");
  }
}

}  // namespace
}  // namespace veltrum

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace veltrum;
  PreferenceFile file;
  file.parse(std::string(reinterpret_cast<const char*>(data), size));
  for (const PreferenceEntry& entry : file.entries()) {
    FUZZ_CHECK(entry.name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
  }
  lookUpRunKeys(file);
  lookUpOwnNames(file);
  return 0;
}
