#include <gtest/gtest.h>
#include <windows.h>

#include "platform/files/create_file.h"
#include "platform/files/file_system.h"
#include "support/test_folder_win32.h"

namespace veltrum {
namespace {

class FileSystemWin32 : public testing::Test {
 protected:
  TestFolder folder_;
};

TEST_F(FileSystemWin32, SizeOfFilesOnly) {
  const std::string file = folder_.write("prog.bat", "12345");
  folder_.makeFolder("sub");
  folder_.write("empty.exe", "");
  EXPECT_EQ(fileSizeOf(file), 5);
  EXPECT_EQ(fileSizeOf(file + "\\\\"), 5);  // trailing backslashes are removed
  EXPECT_EQ(fileSizeOf(folder_ / "empty.exe"), 0);
  EXPECT_EQ(fileSizeOf(folder_ / "sub"), -1);
  EXPECT_EQ(fileSizeOf(folder_ / "missing.exe"), -1);
  EXPECT_EQ(fileSizeOf(""), -1);
  EXPECT_EQ(fileSizeOf("\\\\"), -1);
}

TEST_F(FileSystemWin32, ExistenceMeansAFileThatOpensForReading) {
  const std::string file = folder_.write("job.lck", "x");
  EXPECT_TRUE(canOpenForReading(file));
  EXPECT_FALSE(canOpenForReading(folder_.makeFolder("folder.lck")));
  EXPECT_FALSE(canOpenForReading(folder_ / "missing.lck"));
  // A writer that lets nobody read keeps the file from being evaluated.
  HANDLE writer = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(canOpenForReading(file));
  CloseHandle(writer);
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST_F(FileSystemWin32, NewFilesAreWrittenOrRefused) {
  const std::string path = folder_ / "test.tmp";
  folder_.write("test.tmp", "left over");
  EXPECT_EQ(writeTestFile(path, "first"), TestFileOutcome::Written);  // leftover replaced, removed
  EXPECT_FALSE(exists(path));
  EXPECT_EQ(createNewFile(path, "2nd"), CreateOutcome::Created);
  EXPECT_EQ(TestFolder::read(path), "2nd");
  EXPECT_EQ(createNewFile(path, "never"), CreateOutcome::NameTaken);
  EXPECT_EQ(TestFolder::read(path), "2nd");
  EXPECT_EQ(writeTestFile(folder_ / "missing\\test.tmp", "x"), TestFileOutcome::Failed);
  EXPECT_EQ(createNewFile(folder_ / "missing\\new.tmp", "x"), CreateOutcome::Failed);
  EXPECT_EQ(pathSeparator(), '\\');
}

TEST_F(FileSystemWin32, TheTestFileNeverWritesThroughAnotherName) {
  const std::string precious = folder_.write("precious.txt", "keep me");
  const std::string linked = folder_ / "linked.tmp";
  ASSERT_TRUE(CreateHardLinkA(linked.c_str(), precious.c_str(), nullptr));
  EXPECT_EQ(writeTestFile(linked, "TEST"), TestFileOutcome::Written);
  EXPECT_FALSE(exists(linked));
  EXPECT_EQ(TestFolder::read(precious), "keep me");
  // A folder with entries is never removed: the check fails and says why.
  const std::string folder = folder_.makeFolder("folder.tmp");
  folder_.write("folder.tmp\\inside.txt", "x");
  EXPECT_EQ(writeTestFile(folder, "TEST"), TestFileOutcome::FolderInTheWay);
  EXPECT_EQ(TestFolder::read(folder + "\\inside.txt"), "x");
  // An empty one only blocks the name, as a leftover file would.
  const std::string empty = folder_.makeFolder("empty.tmp");
  EXPECT_EQ(writeTestFile(empty, "TEST"), TestFileOutcome::Written);
  EXPECT_FALSE(exists(empty));
}

bool runsUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

FILETIME fileTime(int64_t unixSeconds) {
  const int64_t ticks = (unixSeconds + 11644473600LL) * 10000000LL;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

// Seconds since 1970 of local wall-clock fields, without any zone rule.
int64_t wallSeconds(const LocalTime& t) {
  SYSTEMTIME fields = {};
  fields.wYear = static_cast<WORD>(t.year);
  fields.wMonth = static_cast<WORD>(t.month);
  fields.wDay = static_cast<WORD>(t.day);
  fields.wHour = static_cast<WORD>(t.hour);
  fields.wMinute = static_cast<WORD>(t.minute);
  fields.wSecond = static_cast<WORD>(t.second);
  FILETIME asFileTime;
  SystemTimeToFileTime(&fields, &asFileTime);
  ULARGE_INTEGER value;
  value.LowPart = asFileTime.dwLowDateTime;
  value.HighPart = asFileTime.dwHighDateTime;
  return static_cast<int64_t>(value.QuadPart / 10000000ULL) - 11644473600LL;
}

TEST_F(FileSystemWin32, StampsInLocalTimeWithTheOffsetOfNow) {
  const std::string path = folder_.write("dated.lck", "x");
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const FILETIME created = fileTime(1200000000);  // a winter date
  const FILETIME accessed = fileTime(1300000000);
  const FILETIME written = fileTime(1310000000);  // a summer date
  ASSERT_TRUE(SetFileTime(file, &created, &accessed, &written));
  CloseHandle(file);

  const int64_t offset = currentUtcOffsetSeconds();
  LocalTime local;
  ASSERT_TRUE(fileSystem().readStamp(path, StampKind::Created, &local));
  if (runsUnderWine()) {
    // Wine cannot set a creation time on a Linux file system; it reports the
    // birth time or the last write.
    EXPECT_NE(wallSeconds(local), 1300000000 + offset);
  } else {
    EXPECT_EQ(wallSeconds(local), 1200000000 + offset);
  }
  ASSERT_TRUE(fileSystem().readStamp(path, StampKind::Accessed, &local));
  EXPECT_EQ(wallSeconds(local), 1300000000 + offset);
  ASSERT_TRUE(fileSystem().readStamp(path, StampKind::Modified, &local));
  EXPECT_EQ(wallSeconds(local), 1310000000 + offset);
  // A wildcard path gives its first match.
  ASSERT_TRUE(fileSystem().readStamp(folder_ / "dat?d.*", StampKind::Modified, &local));
  EXPECT_EQ(wallSeconds(local), 1310000000 + offset);
  EXPECT_FALSE(fileSystem().readStamp(folder_ / "missing.lck", StampKind::Created, &local));
}

}  // namespace
}  // namespace veltrum
