#include "check/path_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrum {
namespace {

TEST(PathList, KeepsPathsInOrderAcrossBlocksAndLongPaths) {
  PathList list;
  EXPECT_TRUE(list.empty());
  std::vector<std::string> expected;
  // Enough paths to fill several blocks, so that paths meet block ends; one
  // path longer than a whole block; empty parts.
  for (int i = 0; i < 60000; ++i) {
    const std::string folder = "/srv/drop/folder-" + std::to_string(i % 97) + "/";
    const std::string name = "file-" + std::to_string(i) + ".lck";
    list.append(folder, name);
    expected.push_back(folder + name);
    if (i == 30000) {
      const std::string huge(3 << 20, 'x');
      list.append(huge);
      expected.push_back(huge);
      list.append("", "");
      expected.emplace_back();
    }
  }
  const std::string_view first = list[0];
  ASSERT_EQ(list.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(list[i], expected[i]) << i;
  // Growing never moved what was stored.
  EXPECT_EQ(first.data(), list[0].data());
}

TEST(PathList, ClearStartsAnEmptyList) {
  PathList list;
  list.append("/a/", "b");
  list.clear();
  EXPECT_EQ(list.size(), 0u);
  list.append("c");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0], "c");
}

TEST(PathList, EachPathKeepsItsFolderLengthAndLocation) {
  const struct {
    const char* folder;
    const char* name;
    const char* location;
  } appended[] = {
      {"/a/", "1", "7:1"}, {"/a/", "2", "7:1"}, {"/a/b/", "3", "7:2"},
      {"/a/", "4", "7:1"}, {"/c/", "5", "7:1"}, {"/c/", "6", ""},
  };
  PathList list;
  for (const auto& path : appended) list.append(path.folder, path.name, path.location);
  ASSERT_EQ(list.size(), std::size(appended));
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i], std::string(appended[i].folder) + appended[i].name);
    EXPECT_EQ(list.origin(i).folderLength, std::string(appended[i].folder).size()) << i;
    EXPECT_EQ(list.origin(i).location, appended[i].location) << i;
  }
}

}  // namespace
}  // namespace veltrum
