#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/files/directory.h"
#include "platform/files/folder_trail_posix.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

class DirectoryEnumeration : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "veltrum-dir-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  void touch(const std::string& name) { std::ofstream(root_ / name) << "x"; }

  std::vector<std::string> names(const std::string& directory, const std::string& pattern,
                                 EnumOutcome* outcome = nullptr) {
    std::vector<DirEntry> entries;
    const EnumOutcome got = enumerateDirectory(directory, pattern, &entries);
    if (outcome != nullptr) *outcome = got;
    std::vector<std::string> result;
    for (const DirEntry& entry : entries) result.push_back(entry.name);
    return result;
  }

  fs::path root_;
};

TEST_F(DirectoryEnumeration, SortedWithoutRegardToCaseAndDotEntriesIncluded) {
  for (const char* name : {"b.lck", "A.LCK", "c.txt", "a.lck", "noext"}) touch(name);
  fs::create_directory(root_ / "Sub.lck");
  EXPECT_EQ(names(root_.string(), "*.lck"),
            (std::vector<std::string>{"A.LCK", "a.lck", "b.lck", "Sub.lck"}));
  EXPECT_EQ(names(root_.string() + "/", "*.*"),
            (std::vector<std::string>{".", "..", "A.LCK", "a.lck", "b.lck", "c.txt", "noext",
                                      "Sub.lck"}));
  EXPECT_EQ(names(root_.string(), "noext.*"), (std::vector<std::string>{"noext"}));
  EXPECT_EQ(names(root_.string(), ""), names(root_.string(), "*.*"));
}

TEST_F(DirectoryEnumeration, EmptyAndFailedAreTold) {
  touch("a.txt");
  EnumOutcome outcome = EnumOutcome::Entries;
  EXPECT_TRUE(names(root_.string(), "*.lck", &outcome).empty());
  EXPECT_EQ(outcome, EnumOutcome::Empty);
  names((root_ / "missing").string(), "*.*", &outcome);
  EXPECT_EQ(outcome, EnumOutcome::Failed);
  names((root_ / "a.txt").string(), "*.*", &outcome);  // a file is no folder
  EXPECT_EQ(outcome, EnumOutcome::Failed);
  fs::create_directory(root_ / "xa");
  names((root_ / "x?").string(), "*.*", &outcome);  // wildcards never match folders
  EXPECT_EQ(outcome, EnumOutcome::Failed);
  fs::create_directory(root_ / "y?");
  std::ofstream(root_ / "y?" / "in-y.lck") << "x";
  // A real folder whose name holds a wildcard character is searched by that name.
  EXPECT_EQ(names((root_ / "y?").string(), "*.lck"), (std::vector<std::string>{"in-y.lck"}));

  EXPECT_TRUE(directoryCanBeEnumerated(root_.string()));
  EXPECT_TRUE(directoryCanBeEnumerated(root_.string() + "/"));
  EXPECT_TRUE(directoryCanBeEnumerated(""));
  EXPECT_FALSE(directoryCanBeEnumerated((root_ / "missing").string()));
  EXPECT_FALSE(directoryCanBeEnumerated((root_ / "a.txt").string()));
  EXPECT_FALSE(directoryCanBeEnumerated((root_ / "x?").string()));
  EXPECT_TRUE(directoryCanBeEnumerated((root_ / "y?").string()));
}

TEST_F(DirectoryEnumeration, EntriesTellFoldersAndLinks) {
  fs::create_directory(root_ / "real");
  touch("file");
  fs::create_directory_symlink(root_ / "real", root_ / "link-to-real");
  fs::create_symlink(root_ / "file", root_ / "link-to-file");
  fs::create_symlink(root_ / "nowhere", root_ / "dangling");
  std::vector<DirEntry> entries;
  ASSERT_EQ(enumerateDirectory(root_.string(), "*", &entries), EnumOutcome::Entries);
  std::map<std::string, std::pair<bool, bool>> seen;
  for (const DirEntry& entry : entries) seen[entry.name] = {entry.isDirectory, entry.isLink};
  EXPECT_EQ(seen["real"], std::make_pair(true, false));
  EXPECT_EQ(seen["file"], std::make_pair(false, false));
  EXPECT_EQ(seen["link-to-real"], std::make_pair(true, true));
  EXPECT_EQ(seen["link-to-file"], std::make_pair(false, true));
  EXPECT_EQ(seen["dangling"], std::make_pair(false, true));
}

TEST_F(DirectoryEnumeration, OneListingAnswersEveryPatternAsItsOwnEnumerationWould) {
  for (const char* name : {"b.lck", "A.LCK", "c.txt", "noext"}) touch(name);
  fs::create_directory(root_ / "sub");
  fs::create_directory(root_ / "Sub2.lck");
  touch("sub/inner.lck");
  fs::create_directory_symlink(root_ / "sub", root_ / "link-to-sub");
  fs::create_symlink(root_ / "c.txt", root_ / "link-to-file.lck");
  ASSERT_EQ(mkfifo((root_ / "pipe.lck").c_str(), 0600), 0);

  const std::vector<std::string> patterns{"*.lck", "", "C*", "*.lck", "sub/*.lck"};
  std::vector<std::vector<DirEntry>> matches;
  std::vector<DirEntry> subfolders;
  searchDirectory(root_.string(), patterns, &matches, &subfolders);
  ASSERT_EQ(matches.size(), patterns.size());
  for (size_t i = 0; i < patterns.size(); ++i) {
    std::vector<std::string> got;
    for (const DirEntry& entry : matches[i]) got.push_back(entry.name);
    EXPECT_EQ(got, names(root_.string(), patterns[i])) << patterns[i];
  }
  std::vector<std::string> folders;
  for (const DirEntry& entry : subfolders) {
    folders.push_back(entry.name);
    EXPECT_EQ(entry.isLink, entry.name == "link-to-sub");
  }
  EXPECT_EQ(folders, (std::vector<std::string>{".", "..", "link-to-sub", "sub", "Sub2.lck"}));

  // Without "/" in any pattern the same answers come from the single reading.
  searchDirectory(root_.string(), {"*.lck", "noext.*"}, &matches, nullptr);
  ASSERT_EQ(matches.size(), 2u);
  EXPECT_EQ(matches[0].size(), names(root_.string(), "*.lck").size());
  EXPECT_EQ(matches[1].size(), 1u);

  searchDirectory((root_ / "missing").string(), {"*.lck", "*"}, &matches, &subfolders);
  EXPECT_EQ(matches.size(), 2u);
  EXPECT_TRUE(matches[0].empty() && matches[1].empty() && subfolders.empty());
}

TEST_F(DirectoryEnumeration, ASubfolderIsEnteredOnlyWhileItIsStillTheListedFolder) {
  fs::create_directories(root_ / "outside" / "deeper");
  touch("outside/evil.lck");
  struct Case {
    const char* name;
    bool swapped;
    std::vector<std::string> found;
  };
  const Case cases[] = {{"kept", false, {"inner.lck"}}, {"swapped", true, {}}};
  for (const Case& c : cases) {
    fs::create_directories(root_ / "zone" / c.name);
    touch(std::string("zone/") + c.name + "/inner.lck");
    FolderTrail trail;
    const std::string zone = (root_ / "zone").string() + "/";
    std::vector<std::vector<DirEntry>> matches;
    std::vector<DirEntry> subfolders;
    searchDirectory(zone, {"*.lck"}, &matches, &subfolders, &trail);
    if (c.swapped) {
      fs::rename(root_ / "zone" / c.name, root_ / "away");
      fs::create_directory_symlink(root_ / "outside", root_ / "zone" / c.name);
    }
    searchDirectory(zone + c.name + "/", {"*.lck"}, &matches, &subfolders, &trail);
    std::vector<std::string> found;
    for (const DirEntry& entry : matches[0]) found.push_back(entry.name);
    EXPECT_EQ(found, c.found) << c.name;
    EXPECT_TRUE(c.swapped ? subfolders.empty() : subfolders.size() == 2) << c.name;
    trail.leave(zone);
    fs::remove_all(root_ / "zone");
    fs::remove_all(root_ / "away");
  }
}

TEST_F(DirectoryEnumeration, EmptyDirectoryMeansTheWorkingFolder) {
  touch("only-here.tmp");
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  EXPECT_EQ(names("", "*.tmp"), (std::vector<std::string>{"only-here.tmp"}));
  fs::current_path(before);
}

}  // namespace
}  // namespace veltrum
