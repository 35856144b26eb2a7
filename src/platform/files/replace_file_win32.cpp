#include <windows.h>

#include "platform/core/system_path_win32.h"
#include "platform/core/system_random.h"
#include "platform/files/new_file_win32.h"
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

}  // namespace

bool replaceFileWhole(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
  std::string directory = folder;
  if (!directory.empty() && directory.back() != '\\' && directory.back() != '/') directory += '\\';
  std::wstring temporary;
  std::wstring target;
  if (!systemPath(directory + name, &target)) return false;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 10 && file == INVALID_HANDLE_VALUE; ++attempt) {
    if (!systemPath(directory + temporaryName(name), &temporary)) return false;
    file = openNewFile(temporary);
    const DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS &&
        error != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool done = isNewPlainFile(file) && writeWhole(file, bytes);
  if (!CloseHandle(file)) done = false;
  done = done && MoveFileExW(temporary.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!done) DeleteFileW(temporary.c_str());
  return done;
}

}  // namespace veltrum
