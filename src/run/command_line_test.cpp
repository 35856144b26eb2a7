#include "run/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "base/run_settings.h"
#include "base/text.h"

namespace veltrum {
namespace {

using Pieces = std::vector<std::string>;

TEST(SplitCommandLine, BlanksSeparateQuotesGroup) {
  EXPECT_EQ(splitCommandLine("veltrum.exe /f \"C:\\Meine Dateien\\*.lck\" /t -60 /a mail"),
            (Pieces{"veltrum.exe", "/f", "C:\\Meine Dateien\\*.lck", "/t", "-60", "/a", "mail"}));
  EXPECT_EQ(splitCommandLine("  a   b  "), (Pieces{"a", "b"}));
  EXPECT_EQ(splitCommandLine("a\tb c"), (Pieces{"a\tb", "c"}));  // tabs are ordinary
  EXPECT_EQ(splitCommandLine(""), Pieces{});
  EXPECT_EQ(splitCommandLine("   "), Pieces{});
}

TEST(SplitCommandLine, QuoteRules) {
  // A quote inside a piece is an ordinary character.
  EXPECT_EQ(splitCommandLine("a /f\"C:\\Meine Dateien\\a.txt\""),
            (Pieces{"a", "/f\"C:\\Meine", "Dateien\\a.txt\""}));
  // The next piece begins right after the closing quote.
  EXPECT_EQ(splitCommandLine("a \"x y\"z"), (Pieces{"a", "x y", "z"}));
  EXPECT_EQ(splitCommandLine("a \"x\"\"y\""), (Pieces{"a", "x", "y"}));
  // Empty quotes give an empty piece; an unclosed quote runs to the end.
  EXPECT_EQ(splitCommandLine("a \"\" b"), (Pieces{"a", "", "b"}));
  EXPECT_EQ(splitCommandLine("a \"b  c"), (Pieces{"a", "b  c"}));
  EXPECT_EQ(splitCommandLine("a \""), (Pieces{"a", ""}));
  // No escapes: a backslash before a quote is a backslash.
  EXPECT_EQ(splitCommandLine("a \"b\\\" c\""), (Pieces{"a", "b\\", "c\""}));
  EXPECT_EQ(splitCommandLine("\"C:\\Program Files\\v.exe\" /?"),
            (Pieces{"C:\\Program Files\\v.exe", "/?"}));
}

TEST(Parameters, WholeCommandLineLeavesOutTheProgramPath) {
  RawCommandLine raw;
  raw.isWhole = true;
  raw.wholeText = "\"C:\\V\\veltrum.exe\" \"\" /F x \"\" /t";
  setParameters(raw);
  EXPECT_EQ(countParameters(), 5);
  EXPECT_EQ(parameterAt(0), "");
  EXPECT_EQ(parameterAt(1), "/F");
  EXPECT_EQ(parameterAt(4), "/t");
  EXPECT_EQ(parameterAt(5), "");
  EXPECT_EQ(parameterAt(-1), "");
  // The switch as it stands; empty parameters are no switches.
  EXPECT_EQ(findSwitch("/f"), "/F");
  EXPECT_EQ(findSwitch("/T"), "/t");
  EXPECT_EQ(findSwitch("/a"), "");
  EXPECT_EQ(findSwitch(""), "");
}

TEST(Parameters, SwitchesAreWholeParameters) {
  RawCommandLine raw;
  raw.arguments = {"/f:datei", "-f", "/ff", " /f", "/?x"};
  setParameters(raw);
  EXPECT_EQ(countParameters(), 5);
  for (const char* name : {"/f", "/?"}) EXPECT_EQ(findSwitch(name), "") << name;
}

TEST(Help, TwentyFourLines) {
  std::vector<std::string> lines = helpLines();
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[2].rfind("Veltrum V2014.01.13.02", 0), 0u);
  EXPECT_EQ(lines[9], nativeText("/t  : Bedingung: Älter als x Minuten"));
  EXPECT_EQ(lines[21], "Beispiel: \"C:\\Dropzone1\\*.lck|C:\\Dropzone2\\j*.l?k\"");
  for (int empty : {0, 1, 3, 5, 13, 16, 19, 22}) EXPECT_EQ(lines[empty], "") << empty;
}

// The option walk against a scratch log.
class OptionWalk : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("veltrum-walk-" + std::to_string(std::random_device()()));
    std::filesystem::create_directories(folder_);
    saved_ = runSettings();
    runSettings() = RunSettings{};
    runSettings().logPath = (folder_ / "veltrum.log").string();
  }
  void TearDown() override {
    runSettings() = saved_;
    std::filesystem::remove_all(folder_);
  }
  // Walks `arguments` and returns "[LOG] text" per line written.
  std::vector<std::string> walk(std::vector<std::string> arguments) {
    RawCommandLine raw;
    raw.arguments = std::move(arguments);
    setParameters(raw);
    parseOptions();
    std::ifstream log(runSettings().logPath, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // the CR LF of Windows
      size_t marker = line.find(" [");
      lines.push_back(line.substr(marker + 1));
    }
    return lines;
  }

  std::filesystem::path folder_;
  RunSettings saved_;
};

TEST_F(OptionWalk, ValuesAndOverriddenDateSwitch) {
  EXPECT_EQ(walk({"/f", "C:\\x.txt", "/t", "5", "/a", "mail", "/z", "/m"}),
            (Pieces{"[LOG] Parameter f:C:\\x.txt", "[LOG] Parameter t:5", "[LOG] Parameter a:mail",
                    "[LOG] Parameter z",
                    nativeText("[ERR] Parameter /z wurde auch angegeben und jetzt übersteuert"),
                    "[LOG] Parameter m", "[LOG] Dateidatum-Modus:modify"}));
  EXPECT_EQ(runSettings().filePattern, "C:\\x.txt");
  EXPECT_EQ(runSettings().minutes, "5");
  EXPECT_EQ(runSettings().action, "mail");
  EXPECT_EQ(runSettings().dateMode, "modify");
}

TEST_F(OptionWalk, ModifyThenAccessWarnsAboutModify) {
  Pieces lines = walk({"/m", "/z"});
  EXPECT_EQ(lines,
            (Pieces{"[LOG] Parameter m",
                    nativeText("[ERR] Parameter /m wurde auch angegeben und jetzt übersteuert"),
                    "[LOG] Parameter z", "[LOG] Dateidatum-Modus:access"}));
}

TEST_F(OptionWalk, RepeatedSwitchesActTwiceWithoutWarning) {
  EXPECT_EQ(walk({"/m", "/f", "a", "/m", "/f", "b"}),
            (Pieces{"[LOG] Parameter m", "[LOG] Parameter f:a", "[LOG] Parameter m",
                    "[LOG] Parameter f:b", "[LOG] Dateidatum-Modus:modify"}));
  EXPECT_EQ(runSettings().filePattern, "b");
}

TEST_F(OptionWalk, OtherCaseActsOnlyForThePresenceCheck) {
  EXPECT_EQ(walk({"/F", "datei", "/T", "5", "/A", "mail", "/M"}),
            (Pieces{"[LOG] Dateidatum-Modus:create"}));
  EXPECT_EQ(runSettings().filePattern, "");
}

TEST_F(OptionWalk, AValueIsTheNextEntryWhateverItIs) {
  EXPECT_EQ(
      walk({"/f", "/t", "5", "/a", "", "exec"}),
      (Pieces{"[LOG] Parameter f:/t", "[LOG] Parameter a:exec", "[LOG] Dateidatum-Modus:create"}));
  EXPECT_EQ(runSettings().minutes, "");
}

TEST_F(OptionWalk, AValueSwitchAtTheEndTakesItsOwnText) {
  EXPECT_EQ(walk({"/f", "x", "/t"}), (Pieces{"[LOG] Parameter f:x", "[LOG] Parameter t:/t",
                                             "[LOG] Dateidatum-Modus:create"}));
  EXPECT_EQ(runSettings().minutes, "/t");
}

}  // namespace
}  // namespace veltrum
