// The configuration file as a user may leave it: any bytes, read the way a
// run reads its settings, and then looked up by every name the file holds.
// The same bytes then go through the run's own reading of the file beside
// the program, whose log must show every setting as read and never the
// password.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/preference_file.h"
#include "base/run_settings.h"
#include "fuzz/fuzz_input.h"
#include "platform/core/text_encoding.h"
#include "run/configuration.h"

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

// Every group and key is found by its own name: the names are held in the
// encoding they are searched in.
void lookUpOwnNames(PreferenceFile& file) {
  const auto entries = file.entries();
  for (const PreferenceEntry& entry : entries) {
    if (entry.kind == PreferenceEntry::Kind::Group) {
      FUZZ_CHECK(file.selectGroup(entry.name));
    } else if (entry.kind == PreferenceEntry::Kind::Key) {
      checkValue(file.readKey(entry.name, "\n"), "\n");
    }
  }
  file.selectGroup("");
  for (const PreferenceEntry& entry : entries) {
    if (entry.kind == PreferenceEntry::Kind::Group) break;
    if (entry.kind != PreferenceEntry::Kind::Key) continue;
    FUZZ_CHECK(file.readKey(entry.name, "\n") != "\n");
  }
}

std::vector<std::string> logTexts(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> texts;
  const std::string lineEnd = platformLineEnd();
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find(lineEnd, at);
    FUZZ_CHECK(end != std::string::npos);
    std::string line = log.substr(at, end - at);
    size_t marker = line.find(" [LOG] ");
    FUZZ_CHECK(marker != std::string::npos);
    texts.push_back(line.substr(marker + 7));
    at = end + lineEnd.size();
  }
  return texts;
}

// Each "Init-" line ends with its value exactly; the password line only
// tells whether there is one.
void readAsTheRunDoes(const uint8_t* data, size_t size) {
  RunSettings& settings = runSettings();
  settings = RunSettings{};
  settings.confPath = (fuzzScratchFolder() / "veltrum.conf").string();
  settings.logPath = (fuzzScratchFolder() / "veltrum.log").string();
  std::filesystem::remove(settings.logPath);
  std::ofstream(settings.confPath, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  readConfiguration();
  closeConfiguration();
  std::vector<std::string> texts = logTexts(settings.logPath);
  const std::string values[] = {settings.mailSmtp,  settings.mailUser,  "",
                                settings.mailFrom,  settings.mailTo,    settings.mailSubject,
                                settings.mailPort,  settings.mailBody,  settings.exec,
                                settings.execParam, settings.recursive, settings.breakIfLocated};
  FUZZ_CHECK(texts.size() >= 13);
  for (size_t i = 0; i < 12; ++i) {
    if (i == 2) continue;
    FUZZ_CHECK(texts[i].size() >= values[i].size());
    FUZZ_CHECK(texts[i].compare(texts[i].size() - values[i].size(), values[i].size(), values[i]) ==
               0);
  }
  FUZZ_CHECK(texts[2] == (settings.mailPassword.empty() ? "Init-Mail_Passw: Kein Passwort"
                                                        : "Init-Mail_Passw: ***gefunden***"));
  const std::string& last = texts.back();  // the folder as the drop-file action will use it
  FUZZ_CHECK(last.size() >= settings.quillboxDir.size() &&
             last.compare(last.size() - settings.quillboxDir.size(), std::string::npos,
                          settings.quillboxDir) == 0);
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
  readAsTheRunDoes(data, size);
  return 0;
}
