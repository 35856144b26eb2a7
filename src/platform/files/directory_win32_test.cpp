#include <gtest/gtest.h>
#include <windows.h>

#include "platform/files/directory.h"
#include "support/test_folder_win32.h"

namespace veltrum {
namespace {

class DirectoryWin32 : public testing::Test {
 protected:
  std::vector<std::string> names(const std::string& directory, const std::string& pattern,
                                 EnumOutcome* outcome = nullptr) {
    std::vector<DirEntry> entries;
    const EnumOutcome got = enumerateDirectory(directory, pattern, &entries);
    if (outcome != nullptr) *outcome = got;
    std::vector<std::string> result;
    for (const DirEntry& entry : entries) result.push_back(entry.name);
    return result;
  }
  TestFolder folder_;
};

TEST_F(DirectoryWin32, PlatformMatchingInOneOrder) {
  for (const char* name : {"b.lck", "A.LCK", "c.txt", "noext"}) folder_.write(name, "x");
  folder_.makeFolder("Sub.lck");
  EXPECT_EQ(names(folder_.path(), "*.lck"),
            (std::vector<std::string>{"A.LCK", "b.lck", "Sub.lck"}));
  EXPECT_EQ(names(folder_.path() + "\\", "*.*"),
            (std::vector<std::string>{".", "..", "A.LCK", "b.lck", "c.txt", "noext", "Sub.lck"}));
  EXPECT_EQ(names(folder_.path(), ""), names(folder_.path(), "*.*"));
  EXPECT_EQ(names(folder_.path(), "?.lck"), (std::vector<std::string>{"A.LCK", "b.lck"}));
}

TEST_F(DirectoryWin32, KindsOfEntries) {
  folder_.write("file.lck", "x");
  folder_.makeFolder("folder.lck");
  std::vector<DirEntry> entries;
  ASSERT_EQ(enumerateDirectory(folder_.path(), "*.lck", &entries), EnumOutcome::Entries);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_FALSE(entries[0].isDirectory);
  EXPECT_TRUE(entries[1].isDirectory);
  EXPECT_FALSE(entries[1].isLink);
}

TEST_F(DirectoryWin32, EmptyAndFailedAreTold) {
  folder_.write("a.txt", "x");
  EnumOutcome outcome = EnumOutcome::Entries;
  EXPECT_TRUE(names(folder_.path(), "*.lck", &outcome).empty());
  EXPECT_EQ(outcome, EnumOutcome::Empty);
  names(folder_ / "missing", "*.*", &outcome);
  EXPECT_EQ(outcome, EnumOutcome::Failed);
}

}  // namespace
}  // namespace veltrum
