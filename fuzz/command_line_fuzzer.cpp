// The parameters of a run as a scheduler may pass them: a whole command line
// (the Windows way) and a list of arguments (the POSIX way), through the
// splitter, the switch look-up and the option walk.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "run/command_line.h"
#include "base/run_settings.h"

namespace veltrum {
namespace {

std::string lowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The option walk logs each value; the log lives in a scratch folder that
// is emptied for every input.
const std::string& logPath() {
  static const std::string path = (fuzzScratchFolder() / "veltrum.log").string();
  return path;
}

void checkSplit(const std::string& line) {
  std::vector<std::string> pieces = splitCommandLine(line);
  size_t characters = 0;
  for (const std::string& piece : pieces) characters += piece.size();
  FUZZ_CHECK(characters <= line.size());
  FUZZ_CHECK(pieces.size() <= line.size());
}

bool takenFrom(const std::string& value, const RawCommandLine& raw) {
  if (value.empty()) return true;
  std::vector<std::string> pieces = raw.isWhole ? splitCommandLine(raw.wholeText) : raw.arguments;
  for (size_t i = raw.isWhole ? 1 : 0; i < pieces.size(); ++i) {
    if (pieces[i] == value) return true;
  }
  return false;
}

void walkOptions(const RawCommandLine& raw) {
  setParameters(raw);
  for (int i = -1; i <= countParameters(); ++i) parameterAt(i);
  for (const char* name : {"/f", "/t", "/a", "/m", "/z", "/?", "/F", ""}) {
    std::string found = findSwitch(name);
    FUZZ_CHECK(found.empty() || lowerCase(found) == lowerCase(name));
  }
  RunSettings& settings = runSettings();
  settings = RunSettings{};
  settings.logPath = logPath();
  std::filesystem::remove(settings.logPath);
  parseOptions();
  FUZZ_CHECK(takenFrom(settings.filePattern, raw));
  FUZZ_CHECK(takenFrom(settings.minutes, raw));
  FUZZ_CHECK(takenFrom(settings.action, raw));
  FUZZ_CHECK(settings.dateMode == "create" || settings.dateMode == "modify" ||
             settings.dateMode == "access");
}

}  // namespace
}  // namespace veltrum

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace veltrum;
  const std::string text(reinterpret_cast<const char*>(data), size);
  checkSplit(text);
  RawCommandLine whole;
  whole.isWhole = true;
  whole.wholeText = text;
  walkOptions(whole);
  RawCommandLine arguments;
  arguments.arguments = allFuzzFields(text);
  walkOptions(arguments);
  return 0;
}
