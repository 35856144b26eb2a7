#include "platform/files/replace_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/scratch_folder_for_tests.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ReplaceFile, NewAndOldFileReplacedWholeNothingLeftBehind) {
  const fs::path folder = makeScratchFolder("veltrum-replace-");
  const struct {
    const char* bytes;
  } rounds[] = {{"first\n"}, {"second, longer than the first\n"}, {"3\n"}};
  for (const auto& round : rounds) {
    ASSERT_TRUE(replaceFileWhole(folder.string(), "job.prom", round.bytes));
    EXPECT_EQ(contentOf(folder / "job.prom"), round.bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  }
  fs::remove_all(folder);
}

TEST(ReplaceFile, MissingFolderFailsAndCreatesNothing) {
  const fs::path folder = makeScratchFolder("veltrum-replace-");
  EXPECT_FALSE(replaceFileWhole((folder / "missing").string(), "job.prom", "x\n"));
  EXPECT_TRUE(fs::is_empty(folder));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace veltrum
