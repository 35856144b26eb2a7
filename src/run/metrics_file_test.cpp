#include "run/metrics_file.h"

#include <gtest/gtest.h>

#include "platform/core/text_encoding.h"

namespace veltrum {
namespace {

TEST(MetricsFile, NameHashesTheJobWithZeroBytesBetween) {
  ScopedTextEncoding utf8(TextEncoding::utf8);
  // sha256("/d/*.lck\0mail\0-60\0create") begins with these digits.
  EXPECT_EQ(metricsFileName({"/d/*.lck", "mail", "-60", "create"}),
            "veltrum_3e7d63f3889e4adc.prom");
  // Without the zero bytes "ab" + "c" and "a" + "bc" would name one file.
  const MetricsJob jobs[] = {{"/d/*.lck", "mail", "-60", "create"},
                             {"/d/*.lck", "mail", "-60", "modify"},
                             {"/d/*.lck", "mail", "-90", "create"},
                             {"/d/*.lck", "check", "-60", "create"},
                             {"/d/*.lck", "mail-", "60", "create"}};
  for (size_t i = 0; i < std::size(jobs); ++i) {
    for (size_t j = i + 1; j < std::size(jobs); ++j) {
      EXPECT_NE(metricsFileName(jobs[i]), metricsFileName(jobs[j])) << i << " " << j;
    }
  }
}

TEST(MetricsFile, LabelValuesEscaped) {
  ScopedTextEncoding utf8(TextEncoding::utf8);
  const struct {
    std::string raw;
    const char* label;
  } cases[] = {
      {"/d/*.lck", "/d/*.lck"}, {"C:\\in\\*.lck", "C:\\\\in\\\\*.lck"}, {"a\"b", "a\\\"b"},
      {"a\nb", "a\\\\nb"},     // made visible first: a backslash and n, no line break
      {"Gr\xfc\xdf", "Grüß"},  // a stray Windows-1252 byte becomes UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(labelValue(c.raw), c.label) << c.raw;
}

TEST(MetricsFile, WindowsTextsBecomeUtf8) {
  ScopedTextEncoding windows(TextEncoding::windows1252);
  EXPECT_EQ(labelValue("C:\\Gr\xfc\xdf"), "C:\\\\Grüß");
}

TEST(MetricsFile, EveryMetricAGaugeWithHelpAndOneSample) {
  ScopedTextEncoding utf8(TextEncoding::utf8);
  RunTally tally;
  tally.filesChecked = 14;
  tally.filesTooOld = 2;
  const std::string text =
      metricsText({"/d/*.lck", "check", "-60", "create"}, tally, MetricsRun{1, 1800000000, 1234});
  EXPECT_NE(
      text.find("veltrum_files_too_old{spec=\"/d/*.lck\",action=\"check\",minutes=\"-60\"} 2\n"),
      std::string::npos);
  EXPECT_NE(text.find("veltrum_oldest_file_age_seconds{spec=\"/d/*.lck\",action=\"check\","
                      "minutes=\"-60\"} NaN\n"),
            std::string::npos);
  EXPECT_NE(text.find("} 1.234\n"), std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  size_t gauges = 0;
  for (size_t at = 0; (at = text.find(" gauge\n", at)) != std::string::npos; ++at) ++gauges;
  EXPECT_EQ(gauges, 7u);
  EXPECT_EQ(text.back(), '\n');
  // The date label only where it is not the default.
  EXPECT_EQ(text.find("date="), std::string::npos);
  EXPECT_NE(metricsText({"x", "mail", "-1", "access"}, tally, {}).find(",date=\"access\"}"),
            std::string::npos);
}

}  // namespace
}  // namespace veltrum
