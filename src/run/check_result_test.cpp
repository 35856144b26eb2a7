#include "run/check_result.h"

#include <gtest/gtest.h>

#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

RunTally tallyOf(int checked, int tooOld, int64_t oldest, int overList = 0) {
  RunTally tally;
  tally.filesChecked = checked;
  tally.filesTooOld = tooOld;
  tally.anyAge = checked > 0;
  tally.oldest = TalliedFile{"/in/x.lck", oldest};
  tally.overListLimit = overList;
  return tally;
}

TEST(CheckResult, StateSummaryAndPerformanceData) {
  ScopedTextEncoding utf8(TextEncoding::utf8);
  const CheckLimits both = checkLimits("-60", "-30");
  const CheckLimits critical = checkLimits("-60", "");
  RunTally subfolder = tallyOf(3, 0, 100);
  subfolder.unreadableSubfolders = {"/in/locked/"};
  const struct {
    std::string problem;
    CheckLimits limits;
    RunTally tally;
    CheckState state;
    const char* line;
  } cases[] = {
      {"", both, tallyOf(14, 2, 10920, 3), kCheckCritical,
       "VELTRUM CRITICAL - 2 von 14 Dateien älter als 60 Minuten, älteste /in/x.lck (3 h 2 min) "
       "| too_old=2;;;0 checked=14;;;0 oldest_age=10920s;1800;3600;0"},
      {"", critical, subfolder, kCheckWarning,
       "VELTRUM WARNING - 0 von 3 Dateien älter als 60 Minuten, älteste /in/x.lck (1 min), "
       "1 Ordner nicht lesbar: /in/locked/ | too_old=0;;;0 checked=3;;;0 oldest_age=100s;;3600;0"},
      {"", checkLimits("-60", "-60"), tallyOf(2, 2, 9000), kCheckUnknown,
       "VELTRUM UNKNOWN - Die Warnzeit /w muss zwischen /t und 0 liegen "
       "| too_old=2;;;0 checked=2;;;0 oldest_age=9000s;;;0"},
  };
  for (const auto& c : cases) {
    const CheckResult result = checkResult(c.problem, c.limits, c.tally);
    EXPECT_EQ(result.state, c.state) << c.line;
    EXPECT_EQ(result.lines.front(), c.line);
  }
}

// 0 < -w < -t, and -t small enough for the 32-bit dates compared.
TEST(CheckResult, LimitsAcceptedAndRefused) {
  const struct {
    const char* minutes;
    const char* warn;
    bool usable;
    int64_t critical;
    int64_t warning;
  } cases[] = {
      {"-60", "", true, 3600, 0},
      {"-60", "-59", true, 3600, 3540},
      {"-35791394", "", true, 2147483640, 0},
      {"-35791395", "", false, 0, 0},
      {"0", "", false, 0, 0},
      {"-0", "", false, 0, 0},
      {"60", "", false, 0, 0},
      {"-60", "-60", false, 0, 0},
      {"-60", "-0", false, 0, 0},
      {"-60", "30", false, 0, 0},
      {"-60", "x", false, 0, 0},
      {"sechzig", "", false, 0, 0},
      {"-99999999999999999999", "", false, 0, 0},
  };
  for (const auto& c : cases) {
    const CheckLimits limits = checkLimits(c.minutes, c.warn);
    EXPECT_EQ(limits.problem.empty(), c.usable) << c.minutes << " " << c.warn;
    if (!c.usable) continue;
    EXPECT_EQ(limits.critical, c.critical) << c.minutes;
    EXPECT_EQ(limits.warning, c.warning) << c.warn;
  }
}

TEST(CheckResult, DetailLinesOldestFirstAtMostFiftyNamesEscaped) {
  ScopedTextEncoding utf8(TextEncoding::utf8);
  RunTally tally = tallyOf(60, 60, 7200);
  tally.forCheck = true;
  tally.listLimit = 3600;
  RunTally& live = runTally();
  const RunTally saved = live;
  live = tally;
  for (int i = 0; i < 60; ++i) {
    tallyComparison("/in/f" + std::to_string(i) + (i == 55 ? "|a\nb" : ""), 1000000,
                    1000000 + 3601 + i, true);
  }
  const RunTally filled = live;
  live = saved;
  const CheckResult result = checkResult("", checkLimits("-60", ""), filled);
  ASSERT_EQ(result.lines.size(), 1 + kListed + 1);
  EXPECT_EQ(result.lines[1], "/in/f59 (1 h 1 min)");
  EXPECT_EQ(result.lines[kListed], "/in/f10 (1 h 0 min)");
  EXPECT_EQ(result.lines[kListed + 1], "… und 10 weitere");
  // Every line is one line, and "|" never opens performance data.
  bool sawEscaped = false;
  for (const std::string& line : result.lines) {
    EXPECT_EQ(line.find('\n'), std::string::npos) << line;
    sawEscaped = sawEscaped || line == "/in/f55\\x7ca\\nb (1 h 0 min)";
  }
  EXPECT_TRUE(sawEscaped);
  EXPECT_EQ(result.lines.front().find('|'), result.lines.front().rfind('|'));
}

TEST(CheckResult, AgeText) {
  const struct {
    int64_t seconds;
    const char* text;
  } cases[] = {{-5, "-5 s"},           {59, "59 s"},        {60, "1 min"},
               {3599, "59 min"},       {3600, "1 h 0 min"}, {10920, "3 h 2 min"},
               {86399, "23 h 59 min"}, {86400, "1 d 0 h"},  {200000, "2 d 7 h"}};
  for (const auto& c : cases) EXPECT_EQ(ageText(c.seconds), c.text) << c.seconds;
}

}  // namespace
}  // namespace veltrum
