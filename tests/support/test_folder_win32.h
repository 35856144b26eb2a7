// A scratch folder for the Windows unit tests, removed with its contents at
// the end of the test. Names are ANSI texts, as the program itself uses them.
#pragma once

#include <windows.h>

#include <string>

namespace veltrum {

class TestFolder {
 public:
  TestFolder() {
    static unsigned counter = 0;
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    // A folder of its own even where an earlier run with the same process id
    // (Wine reuses them) left one behind.
    do {
      path_ = std::string(temp) + "veltrum-test-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter);
    } while (!CreateDirectoryA(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
  }
  ~TestFolder() { removeTree(std::wstring(path_.begin(), path_.end())); }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

  // Writes a file of the folder (created or truncated); its full path.
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string full = *this / name;
    HANDLE file = CreateFileA(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      CloseHandle(file);
    }
    return full;
  }

  std::string makeFolder(const std::string& name) const {
    const std::string full = *this / name;
    CreateDirectoryA(full.c_str(), nullptr);
    return full;
  }

  static std::string read(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
  }

 private:
  // Links and junctions are removed themselves, never followed. Wide, so
  // that names Windows-1252 cannot hold go too. The folder's own path is
  // ASCII (the temporary folder and a counter).
  static void removeTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = folder + L"\\" + name;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isFolder && !isLink) {
          removeTree(full);
        } else if (isFolder) {
          RemoveDirectoryW(full.c_str());
        } else {
          DeleteFileW(full.c_str());
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
  }

  std::string path_;
};

}  // namespace veltrum
