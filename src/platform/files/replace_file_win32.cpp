#include <windows.h>

#include "platform/core/path_text_win32.h"
#include "platform/core/system_random.h"
#include "platform/files/replace_file.h"

namespace veltrum {

namespace {

// A name nobody can predict, so no one can plant a file or a link there
// ahead of the run; the ending keeps it out of what a textfile collector
// reads.
std::string temporaryName(const std::string& name) {
  return "." + name + "." + std::to_string(GetCurrentProcessId()) + "." + systemRandomHex(16) +
         ".tmp";
}

// CREATE_NEW fails on every existing entry; with FILE_FLAG_OPEN_REPARSE_POINT
// a dangling link counts as one instead of having its target created.
HANDLE openFresh(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool isPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION details;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &details)) {
    return false;
  }
  const DWORD unwanted = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return (details.dwFileAttributes & unwanted) == 0 && details.nNumberOfLinks == 1;
}

bool writeWhole(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return bytes.size() < 0x10000000 &&
         WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

bool replaceFileWhole(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
  std::string directory = folder;
  if (!directory.empty() && directory.back() != '\\' && directory.back() != '/') directory += '\\';
  std::wstring temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 10 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = widened(directory + temporaryName(name));
    file = openFresh(temporary);
    const DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS &&
        error != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool done = isPlainFile(file) && writeWhole(file, bytes);
  if (!CloseHandle(file)) done = false;
  done = done && MoveFileExW(temporary.c_str(), widened(directory + name).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!done) DeleteFileW(temporary.c_str());
  return done;
}

}  // namespace veltrum
