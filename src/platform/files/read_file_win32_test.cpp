#include <gtest/gtest.h>
#include <windows.h>

#include "platform/files/read_file.h"
#include "support/test_folder_win32.h"

namespace veltrum {
namespace {

class ReadFileWin32 : public testing::Test {
 protected:
  bool othersCanWrite(const std::string& path) {
    HANDLE other = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    CloseHandle(other);
    return true;
  }
  TestFolder folder_;
};

TEST_F(ReadFileWin32, HeldForReadingAndNobodyWrites) {
  const std::string path = folder_.write("veltrum.conf", "[Global]\r\nRecursive=1\r\n");
  const int64_t held = openHeldFile(path);
  ASSERT_GE(held, 0);
  EXPECT_FALSE(othersCanWrite(path));
  std::string bytes;
  ASSERT_TRUE(readHeldFile(held, &bytes));
  EXPECT_EQ(bytes, "[Global]\r\nRecursive=1\r\n");
  ASSERT_TRUE(readHeldFile(held, &bytes));  // read again from the start
  EXPECT_EQ(bytes.size(), 23u);
  closeHeldFile(held);
  EXPECT_TRUE(othersCanWrite(path));
}

TEST_F(ReadFileWin32, AWriteProtectedFileIsReadTheSecondWay) {
  const std::string path = folder_.write("veltrum.conf", "x");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  const int64_t held = openHeldFile(path);
  ASSERT_GE(held, 0);
  std::string bytes;
  EXPECT_TRUE(readHeldFile(held, &bytes));
  EXPECT_EQ(bytes, "x");
  closeHeldFile(held);
}

TEST_F(ReadFileWin32, AFileAnotherProgramWritesIsReadTheThirdWay) {
  const std::string path = folder_.write("veltrum.conf", "y");
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const int64_t held = openHeldFile(path);
  ASSERT_GE(held, 0);
  std::string bytes;
  EXPECT_TRUE(readHeldFile(held, &bytes));
  EXPECT_EQ(bytes, "y");
  closeHeldFile(held);
  CloseHandle(writer);
}

TEST_F(ReadFileWin32, FoldersAndMissingFilesAreNotOpened) {
  EXPECT_EQ(openHeldFile(folder_.makeFolder("veltrum.conf")), -1);
  EXPECT_EQ(openHeldFile(folder_ / "missing.conf"), -1);
}

}  // namespace
}  // namespace veltrum
