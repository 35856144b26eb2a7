#include "actions/quillbox_message.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/run_settings.h"
#include "base/text.h"
#include "platform/core/clock.h"
#include "platform/core/text_encoding.h"
#include "platform/files/file_system.h"
#include "support/scratch_folder_for_tests.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

class FixedClock : public Clock {
 public:
  LocalTime now{2014, 1, 13, 8, 5, 9};
  LocalTime localNow() override { return now; }
};

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class QuillboxMessage : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = runSettings();
    folder_ = makeScratchFolder("veltrum-quillbox-");
    inbox_ = folder_ / "inbox";
    fs::create_directory(inbox_);
    runSettings().logPath = (folder_ / "veltrum.log").string();
    runSettings().quillboxDir = inbox_.string() + pathSeparator();
    runSettings().currentFile = "/data/dropzone/alt.lck";
    setClock(&clock_);
  }
  void TearDown() override {
    setClock(nullptr);
    runSettings() = saved_;
    fs::remove_all(folder_);
  }

  // Name of the drop file with counter `counter` at the clock's time.
  static std::string nameWith(int counter) {
    return "20140113_080509" + std::to_string(counter) + ".msg";
  }

  // The texts of the log lines, with their kind: "LOG text" / "ERR text".
  std::vector<std::string> logTexts() const {
    std::string log = readBytes(folder_ / "veltrum.log");
    std::vector<std::string> texts;
    size_t start = 0;
    const std::string lineEnd = platformLineEnd();
    for (size_t end; (end = log.find(lineEnd, start)) != std::string::npos;
         start = end + lineEnd.size()) {
      std::string line = log.substr(start, end - start);
      size_t marker = line.find(" [LOG] ");
      if (marker == std::string::npos) marker = line.find(" [ERR] ");
      if (marker != std::string::npos)
        texts.push_back(line.substr(marker + 2, 3) + " " + line.substr(marker + 7));
    }
    return texts;
  }

  std::vector<std::string> inboxNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(inbox_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  RunSettings saved_;
  FixedClock clock_;
  fs::path folder_;
  fs::path inbox_;
};

TEST_F(QuillboxMessage, NameFromDateTimeAndCounterAndTheExactBytes) {
  runSettings().currentFile = nativeText("/data/Prüfung/alte Datei ä.lck");
  const int counter = dropCounterValue();
  writeQuillboxMessage();

  EXPECT_EQ(inboxNames(), std::vector<std::string>{nameWith(counter)});
  EXPECT_EQ(readBytes(inbox_ / nameWith(counter)),
            "Veltrum - Benachrichtigung\rDie Datei /data/Pr\xFC"
            "fung/alte Datei \xE4.lck\rhat das zul\xE4ssige Alter \xFC"
            "berschritten!\r\n");
  EXPECT_EQ(logTexts(),
            (std::vector<std::string>{"LOG Quillbox Nachricht wird erstellt",
                                      "LOG Erstelle Quillbox Nachricht:" + nameWith(counter)}));
  EXPECT_EQ(dropCounterValue(), counter + 1);
}

TEST_F(QuillboxMessage, EveryDropFileOfTheRunTakesTheNextCounter) {
  const int counter = dropCounterValue();
  writeQuillboxMessage();
  clock_.now.second = 10;
  writeQuillboxMessage();
  EXPECT_EQ(inboxNames(),
            (std::vector<std::string>{nameWith(counter),
                                      "20140113_080510" + std::to_string(counter + 1) + ".msg"}));
  EXPECT_EQ(dropCounterValue(), counter + 2);
}

TEST_F(QuillboxMessage, AFailedCreationKeepsTheCounterValue) {
  runSettings().quillboxDir = (folder_ / "missing" / "").string();
  const int counter = dropCounterValue();
  writeQuillboxMessage();
  EXPECT_EQ(logTexts(),
            (std::vector<std::string>{"LOG Quillbox Nachricht wird erstellt",
                                      "LOG Erstelle Quillbox Nachricht:" + nameWith(counter),
                                      "ERR Quillbox Nachricht konnte nicht erstellt werden"}));
  EXPECT_EQ(dropCounterValue(), counter);

  runSettings().quillboxDir = inbox_.string() + pathSeparator();
  writeQuillboxMessage();
  EXPECT_EQ(inboxNames(), std::vector<std::string>{nameWith(counter)});
}

TEST_F(QuillboxMessage, AnExistingFileOfTheSameNameIsNeverOverwritten) {
  const int counter = dropCounterValue();
  writeBytes(inbox_ / nameWith(counter), "earlier run");
  fs::create_directory(inbox_ / nameWith(counter + 1));
  std::error_code noLinks;
  fs::create_symlink(folder_ / "elsewhere", inbox_ / nameWith(counter + 2), noLinks);
  // Where links cannot be made (Windows without the privilege) a file takes the name.
  if (noLinks) writeBytes(inbox_ / nameWith(counter + 2), "taken");
  writeQuillboxMessage();

  EXPECT_EQ(readBytes(inbox_ / nameWith(counter)), "earlier run");
  EXPECT_FALSE(fs::exists(folder_ / "elsewhere")) << "written through a symbolic link";
  EXPECT_TRUE(fs::is_regular_file(inbox_ / nameWith(counter + 3)));
  EXPECT_EQ(logTexts().back(), "LOG Erstelle Quillbox Nachricht:" + nameWith(counter + 3));
  EXPECT_EQ(dropCounterValue(), counter + 4);
}

TEST_F(QuillboxMessage, AfterAThousandNamesTakenOneUnforeseeableNameIsTried) {
  const int counter = dropCounterValue();
  for (int taken = counter; taken < counter + 1000; ++taken)
    writeBytes(inbox_ / nameWith(taken), "x");
  writeQuillboxMessage();

  std::vector<std::string> names = inboxNames();
  ASSERT_EQ(names.size(), 1001u);
  std::erase_if(names, [](const std::string& name) { return name.find('_', 9) == 15; });
  ASSERT_EQ(names.size(), 1000u);  // the planted ones, untouched
  EXPECT_EQ(readBytes(inbox_ / nameWith(counter + 999)), "x");
  const std::vector<std::string> texts = logTexts();
  ASSERT_EQ(texts.size(), 2u);
  const std::string prefix = "LOG Erstelle Quillbox Nachricht:20140113_080509_";
  ASSERT_EQ(texts[1].compare(0, prefix.size(), prefix), 0) << texts[1];
  const std::string random = texts[1].substr(prefix.size());
  EXPECT_EQ(random.size(), 16u + 4u) << random;
  EXPECT_EQ(random.find_first_not_of("0123456789abcdef"), 16u) << random;
  EXPECT_EQ(random.substr(16), ".msg");
  EXPECT_EQ(readBytes(inbox_ / texts[1].substr(prefix.size() - 16)).substr(0, 26),
            "Veltrum - Benachrichtigung");
  // The counter went past the planted names only.
  EXPECT_EQ(dropCounterValue(), counter + 1000);
}

}  // namespace
}  // namespace veltrum
