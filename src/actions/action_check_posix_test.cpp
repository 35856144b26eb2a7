#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "actions/action_check.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

// On POSIX the program passes when it is a regular file the user may
// execute, whatever its extension.
TEST(ActionCheckPosix, ProgramMustExistBeNonEmptyAndExecutable) {
  const RunSettings saved = runSettings();
  std::string pattern = (fs::temp_directory_path() / "veltrum-exec-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path folder = pattern;
  runSettings().logPath = (folder / "veltrum.log").string();
  const fs::path script = folder / "run.sh";
  std::ofstream(script) << "#!/bin/sh\nexit 0\n";
  const fs::path empty = folder / "empty.sh";
  std::ofstream(empty) << "";
  const fs::path plain = folder / "plain.exe";
  std::ofstream(plain) << "not executable";
  chmod(script.c_str(), 0755);
  chmod(empty.c_str(), 0755);
  chmod(plain.c_str(), 0644);

  const auto check = [](const fs::path& program) {
    runSettings().exec = program.string();
    return checkAction("execwait");
  };
  EXPECT_EQ(check(script), 0);
  EXPECT_EQ(check(empty), -1);
  EXPECT_EQ(check(folder), -1);
  EXPECT_EQ(check(folder / "missing.exe"), -1);
  EXPECT_EQ(check(""), -1);
  EXPECT_EQ(check(plain), -1);

  std::ifstream in(folder / "veltrum.log", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const std::string log = bytes.str();
  const auto count = [&log](const std::string& text) {
    size_t found = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++found;
    return found;
  };
  EXPECT_EQ(count("] " + nativeText("Check:Exec soll als Aktion durchgeführt werden") +
                  platformLineEnd()),
            6u);
  EXPECT_EQ(
      count("[ERR] " + nativeText("Check:Angegebene Programm für Exec kann nicht gefunden werden") +
            platformLineEnd()),
      4u);
  EXPECT_EQ(count("[LOG] " + nativeText("Check:Angegebene Programm für Exec gefunden") +
                  platformLineEnd()),
            2u);
  EXPECT_EQ(count("[LOG] " +
                  nativeText("Check:Angegebene Programm für Exec entspricht Extension-Vorgabe") +
                  platformLineEnd()),
            1u);
  EXPECT_EQ(count("[ERR] " +
                  nativeText("Check:Angegebene Programm für Exec entspricht nicht der "
                             "Extension-Vorgabe:bat,cmd,exe,com") +
                  platformLineEnd()),
            1u);
  runSettings() = saved;
  fs::remove_all(folder);
}

}  // namespace
}  // namespace veltrum
