#include "check/age_evaluation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "base/run_settings.h"
#include "base/text.h"
#include "platform/core/clock.h"
#include "platform/files/file_system.h"

namespace veltrum {
namespace {

TEST(MinutesValue, AcceptedForms) {
  for (const char* text : {"0", "-0", "60", "-60", "1", "-35791394", "99999999999999999999"}) {
    EXPECT_EQ(isMinutesValue(text), 1) << text;
  }
}

TEST(MinutesValue, RefusedForms) {
  for (const char* text : {"", "+60", "060", "-060", "1.5", " 60", "60 ", "6O", "-", "--1",
                           "60 minutes", "0x10", "$10"}) {
    EXPECT_EQ(isMinutesValue(text), 0) << '"' << text << '"';
  }
  EXPECT_EQ(isMinutesValue(std::string("60\0"
                                       "1",
                                       4)),
            0);
}

TEST(AgeFigures, OffsetIsMinusSixtyTimesTheMinutes) {
  EXPECT_EQ(ageOffset("-60"), 3600);
  EXPECT_EQ(ageOffset("60"), -3600);
  EXPECT_EQ(ageOffset("0"), 0);
  EXPECT_EQ(ageOffset("-0"), 0);
  EXPECT_EQ(ageOffset("-35791394"), 2147483640);
  EXPECT_EQ(ageOffset("35791394"), -2147483640);
}

TEST(AgeFigures, OffsetKeepsTheLowThirtyTwoBits) {
  // -35,791,395 minutes are 2,147,483,700 seconds: one step past the range.
  EXPECT_EQ(ageOffset("-35791395"), -2147483596);
  // 2^32 minutes times 60 is a multiple of 2^32.
  EXPECT_EQ(ageOffset("-4294967296"), 0);
  // Past 64 bits the reading wraps; the low 32 bits still come out exact.
  // (-60 x 10^20 mod 2^32, worked out by hand.)
  EXPECT_EQ(ageOffset("100000000000000000000"), -935329792);
}

TEST(AgeFigures, LimitWrapsInThirtyTwoBits) {
  EXPECT_EQ(ageLimit(1000, 3600), 4600);
  EXPECT_EQ(ageLimit(0, -3600), -3600);
  EXPECT_EQ(ageLimit(2147471999, 3600), static_cast<int32_t>(2147475599LL - 4294967296LL));
  EXPECT_EQ(ageLimit(-1, 1), 0);
}

}  // namespace
}  // namespace veltrum

namespace veltrum {
namespace {

namespace fs = std::filesystem;

class SteeredClock : public Clock {
 public:
  LocalTime now;
  LocalTime localNow() override { return now; }
};

// Every folder exists; every file carries the stamp set here.
class StampedFileSystem : public FileSystem {
 public:
  LocalTime stamp;
  StampKind askedFor = StampKind::Created;
  EnumOutcome enumerate(const std::string&, const std::string&,
                        std::vector<DirEntry>* entries) override {
    entries->assign(1, DirEntry{"x", false, false});
    return EnumOutcome::Entries;
  }
  bool readStamp(const std::string&, StampKind kind, LocalTime* local) override {
    askedFor = kind;
    *local = stamp;
    return true;
  }
};

// The comparison at its boundary, with the clock and the file's stamp
// steered to the second.
class AgeBoundary : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = runSettings();
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("veltrum-age-" + std::to_string(random()));
    fs::create_directories(folder_ / "inbox");
    std::ofstream(folder_ / "job.lck") << "x";
    RunSettings& settings = runSettings();
    settings.logPath = (folder_ / "veltrum.log").string();
    settings.quillboxDir = (folder_ / "inbox").string() + "/";
    settings.currentFile = (folder_ / "job.lck").string();
    settings.action = "quillbox";
    settings.paramStatus = "Ok";
    settings.breakIfLocated = "0";
    files_.stamp = LocalTime{2014, 1, 13, 8, 0, 0};
    setClock(&clock_);
    setFileSystem(&files_);
  }
  void TearDown() override {
    setClock(nullptr);
    setFileSystem(nullptr);
    runSettings() = saved_;
    fs::remove_all(folder_);
  }

  bool triggers(const std::string& minutes, LocalTime now) {
    fs::remove(folder_ / "veltrum.log");
    runSettings().minutes = minutes;
    clock_.now = now;
    evaluateFile();
    std::ifstream in(folder_ / "veltrum.log", std::ios::binary);
    std::stringstream log;
    log << in.rdbuf();
    return log.str().find(nativeText(
               "Datei hat zulässige Höchstalter überschritten. Aktion wird ausgelöst.")) !=
           std::string::npos;
  }

  RunSettings saved_;
  fs::path folder_;
  SteeredClock clock_;
  StampedFileSystem files_;
};

TEST_F(AgeBoundary, EqualityDoesNotTrigger) {
  EXPECT_FALSE(triggers("-60", {2014, 1, 13, 9, 0, 0}));
  EXPECT_TRUE(triggers("-60", {2014, 1, 13, 9, 0, 1}));
  EXPECT_FALSE(triggers("0", {2014, 1, 13, 8, 0, 0}));
  EXPECT_TRUE(triggers("0", {2014, 1, 13, 8, 0, 1}));
  EXPECT_FALSE(triggers("60", {2014, 1, 13, 7, 0, 0}));
  EXPECT_TRUE(triggers("60", {2014, 1, 13, 7, 0, 1}));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "inbox"), fs::directory_iterator()), 3);
}

TEST_F(AgeBoundary, DateModeChoosesTheStamp) {
  const std::pair<const char*, StampKind> modes[] = {{"create", StampKind::Created},
                                                     {"modify", StampKind::Modified},
                                                     {"access", StampKind::Accessed}};
  for (const auto& [mode, kind] : modes) {
    runSettings().dateMode = mode;
    files_.askedFor = kind == StampKind::Created ? StampKind::Modified : StampKind::Created;
    triggers("-60", {2014, 1, 13, 9, 0, 0});
    EXPECT_EQ(files_.askedFor, kind) << mode;
  }
}

}  // namespace
}  // namespace veltrum
