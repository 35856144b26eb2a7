#include "check/file_selection.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/files/file_system.h"
#include "platform/files/wildcard.h"

// The search joins directory and entry with the platform's separator; these
// cases spell their paths with "/".
namespace veltrum {
namespace {

// A tree in memory; folders deliver their entries in the order given, so
// that the search is seen to keep the enumeration's order.
class TreeFileSystem : public FileSystem {
 public:
  void folder(const std::string& path, std::vector<DirEntry> entries) {
    entries.insert(entries.begin(), {{".", true, false}, {"..", true, false}});
    folders_[path] = std::move(entries);
  }
  EnumOutcome enumerate(const std::string& directory, const std::string& pattern,
                        std::vector<DirEntry>* entries) override {
    entries->clear();
    ++calls;
    std::string key = directory;
    if (!key.empty() && key.back() != '/') key += '/';
    const auto found = folders_.find(key);
    if (found == folders_.end()) return EnumOutcome::Failed;
    for (const DirEntry& entry : found->second) {
      if (wildcardMatches(pattern, entry.name)) entries->push_back(entry);
    }
    return entries->empty() ? EnumOutcome::Empty : EnumOutcome::Entries;
  }
  bool readStamp(const std::string&, StampKind, LocalTime*) override { return false; }
  int calls = 0;

 private:
  std::map<std::string, std::vector<DirEntry>> folders_;
};

class SearchFiles : public testing::Test {
 protected:
  void SetUp() override {
    tree_.folder("/d/", {{"z.lck", false, false},
                         {"b", true, false},
                         {"a.lck", false, false},
                         {"a", true, false},
                         {"loop", true, true}});
    tree_.folder("/d/b/", {{"b1.lck", false, false}});
    tree_.folder("/d/a/", {{"a1.lck", false, false}, {"deep", true, false}});
    tree_.folder("/d/a/deep/", {{"d1.lck", false, false}, {"d2.txt", false, false}});
    tree_.folder("/d/loop/", {{"never.lck", false, false}});
    setFileSystem(&tree_);
  }
  void TearDown() override { setFileSystem(nullptr); }

  static std::vector<std::string> paths(const PathList& list) {
    std::vector<std::string> result;
    for (size_t i = 0; i < list.size(); ++i) result.emplace_back(list[i]);
    return result;
  }

  std::vector<std::string> search(const std::string& patterns, int32_t recursive,
                                  const std::string& directory = "/d") {
    PathList list;
    const int count = searchFiles(patterns, directory, &list, recursive);
    EXPECT_EQ(count, static_cast<int>(list.size()));
    return paths(list);
  }

  TreeFileSystem tree_;
};

TEST_F(SearchFiles, WithoutRecursionOnlyTheFolderItself) {
  EXPECT_EQ(search("*.lck", 0), (std::vector<std::string>{"/d/z.lck", "/d/a.lck"}));
}

TEST_F(SearchFiles, RecursionIsDepthFirstAndNeverEntersLinks) {
  EXPECT_EQ(search("*.lck", 1), (std::vector<std::string>{"/d/z.lck", "/d/a.lck", "/d/b/b1.lck",
                                                          "/d/a/a1.lck", "/d/a/deep/d1.lck"}));
  EXPECT_EQ(search("*.lck", 7), search("*.lck", 1));  // every value but 0 and -1 recurses
}

TEST_F(SearchFiles, MinusOneFindsOnlyWhatLiesBelow) {
  EXPECT_EQ(search("*.lck", -1),
            (std::vector<std::string>{"/d/b/b1.lck", "/d/a/a1.lck", "/d/a/deep/d1.lck"}));
}

TEST_F(SearchFiles, SeveralPatternsEmptyPatternAndDuplicates) {
  EXPECT_EQ(search("z*|*.lck", 0), (std::vector<std::string>{"/d/z.lck", "/d/z.lck", "/d/a.lck"}));
  EXPECT_EQ(search("", 0, "/d/b"), (std::vector<std::string>{"/d/b/.", "/d/b/..", "/d/b/b1.lck"}));
}

TEST_F(SearchFiles, AppendsToWhatTheListHolds) {
  PathList list;
  list.append("earlier");
  EXPECT_EQ(searchFiles("a*", "/d/", &list, 0), 3);
  EXPECT_EQ(paths(list), (std::vector<std::string>{"earlier", "/d/a.lck", "/d/a"}));
}

TEST_F(SearchFiles, FailedFoldersAreSkippedSilently) {
  EXPECT_TRUE(search("*.lck", 1, "/missing").empty());
  EXPECT_TRUE(search("*.lck", 0, "").empty());  // the working folder is unknown here
}

}  // namespace
}  // namespace veltrum
