#include "platform/core/system_path_win32.h"

#include <gtest/gtest.h>

#include "support/test_folder_win32.h"

namespace veltrum {
namespace {

std::wstring repeated(const wchar_t* part, size_t length) {
  std::wstring text;
  while (text.size() < length) text += part;
  return text.substr(0, length);
}

TEST(SystemPathWin32, LongPathsGetTheLiteralForm) {
  const std::wstring deep = L"C:\\" + repeated(L"ordner\\", kPrefixFrom - 3);
  const std::wstring share = L"\\\\server\\share\\" + repeated(L"x\\", kPrefixFrom);
  struct Case {
    std::wstring full;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"C:\\short\\a.lck", L"C:\\short\\a.lck"},
      {deep.substr(0, kPrefixFrom - 1), deep.substr(0, kPrefixFrom - 1)},
      {deep, L"\\\\?\\" + deep},
      {share, L"\\\\?\\UNC\\server\\share\\" + share.substr(15)},
      {L"\\\\?\\" + deep, L"\\\\?\\" + deep},
      {L"\\\\?\\UNC\\" + share.substr(2), L"\\\\?\\UNC\\" + share.substr(2)},
      {L"\\\\.\\" + deep.substr(3), L"\\\\.\\" + deep.substr(3)},
      {L"\\\\server\\share\\a.lck", L"\\\\server\\share\\a.lck"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extendedForm(c.full), c.expected) << c.full.size();
  }
}

TEST(SystemPathWin32, PathsAreNormalisedFirstAndMarkedOnesRefused) {
  std::wstring current(MAX_PATH, L'\0');
  current.resize(GetCurrentDirectoryW(MAX_PATH, current.data()));
  if (current.back() != L'\\') current += L'\\';
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\.\\x\\..\\a.lck";
  struct Case {
    std::string path;
    bool accepted;
    std::wstring expected;
  };
  const Case cases[] = {
      {"C:/Dropzone/./x/../job.lck", true, L"C:\\Dropzone\\job.lck"},
      {"job.lck", true, current + L"job.lck"},
      {deep, true, L"\\\\?\\C:\\" + std::wstring(300, L'd') + L"\\a.lck"},
      {"\\\\?\\C:\\x\\..\\job.lck", true, L"\\\\?\\C:\\x\\..\\job.lck"},  // taken literally
      {"C:\\zone\\\xe4rger.lck", true, L"C:\\zone\\\u00e4rger.lck"},
      {std::string("C:\\zone\\") + kUnheldMark + "mega.lck", false, L""},
      {"", false, L""},
  };
  for (const Case& c : cases) {
    std::wstring wide;
    EXPECT_EQ(systemPath(c.path, &wide), c.accepted) << c.path;
    if (c.accepted) {
      EXPECT_EQ(wide, c.expected) << c.path;
    }
  }
  std::wstring search;
  ASSERT_TRUE(systemSearchPath("C:", "*.", &search));
  EXPECT_EQ(search, L"C:\\*.");  // the drive's root; the pattern keeps its dot
}

// A file of `folder` named in wide characters; false when it cannot be made.
bool makeWide(const std::string& folder, const std::wstring& name) {
  const std::wstring path = std::wstring(folder.begin(), folder.end()) + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// The identity of the file a wide path opens, or 0 for none.
ULONGLONG fileIdOf(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION details = {};
  GetFileInformationByHandle(file, &details);
  CloseHandle(file);
  return (static_cast<ULONGLONG>(details.nFileIndexHigh) << 32) | details.nFileIndexLow;
}

ULONGLONG fileIdOf(const std::string& path) {
  std::wstring wide;
  return systemPath(path, &wide) ? fileIdOf(wide) : 0;
}

TEST(SystemPathWin32, CommandLinePiecesReachTheirFileOrNone) {
  TestFolder folder;
  ASSERT_TRUE(makeWide(folder.path(), L"\u03a9mega.lck"));
  ASSERT_TRUE(makeWide(folder.path(), L"Omega.lck"));
  const std::wstring dir(folder.path().begin(), folder.path().end());
  const ULONGLONG omegaId = fileIdOf(dir + L"\\\u03a9mega.lck");
  ASSERT_NE(omegaId, 0u);
  struct Case {
    std::wstring line;
    std::string expected;  // "" where the Ω piece is checked by what it reaches
  };
  const Case cases[] = {
      {L"veltrum.exe /f  \"C:\\a b\\x.lck\"/t 5 a\"b \"open",
       "veltrum.exe /f  \"C:\\a b\\x.lck\"/t 5 a\"b \"open"},
      {L"v /f \"" + dir + L"\\\u03a9*.lck\"", "v /f \"" + folder.path() + "\\\x1a*.lck\""},
      {L"v /f " + dir + L"\\\u03a9none.lck", "v /f " + folder.path() + "\\\x1anone.lck"},
      {L"v /f " + dir + L"\\\u03a9mega.lck|" + dir + L"\\\u03a9mega.lck", ""},
  };
  for (const Case& c : cases) {
    const std::string narrow = reachableCommandLine(c.line);
    if (!c.expected.empty()) {
      EXPECT_EQ(narrow, c.expected);
      continue;
    }
    // By its 8.3 name to the file itself, or marked to reach none.
    const std::string value = narrow.substr(5);
    const std::string first = value.substr(0, value.find('|'));
    EXPECT_EQ(value, first + "|" + first);
    EXPECT_EQ(first.find('?'), std::string::npos) << first;
    if (first.find(kUnheldMark) == std::string::npos) {
      EXPECT_EQ(fileIdOf(first), omegaId) << first;
    }
  }
}

}  // namespace
}  // namespace veltrum
