#include <windows.h>

#include "platform/core/system_path_win32.h"
#include "platform/files/log_file.h"

namespace veltrum {

namespace {

// How long a run waits for another run to finish its line (the log admits
// one writer at a time) before it gives the line up as not writable.
constexpr ULONGLONG kSharingWaitMilliseconds = 2000;
constexpr DWORD kRetryPauseMilliseconds = 10;

// Opens the log for writing with nobody else writing. Others may read it,
// and may rename it (FILE_SHARE_DELETE) so that the holder itself can move
// it aside while it holds it. A sharing violation (another run is writing
// its line) is retried until the deadline.
HANDLE openExclusively(const std::wstring& path, ULONGLONG deadline) {
  for (;;) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) ||
        GetTickCount64() >= deadline) {
      return INVALID_HANDLE_VALUE;
    }
    Sleep(kRetryPauseMilliseconds);
  }
}

bool writeAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool consoleWindowVisible() {
  HWND console = GetConsoleWindow();
  return console != nullptr && IsWindowVisible(console);
}

}  // namespace

bool appendLogLine(const std::string& path, const std::string& line, int64_t sizeLimit,
                   const std::function<std::string()>& asideSuffix) {
  std::wstring wide;
  if (!systemPath(path, &wide)) return false;
  const ULONGLONG deadline = GetTickCount64() + kSharingWaitMilliseconds;
  for (;;) {
    HANDLE file = openExclusively(wide, deadline);
    if (file == INVALID_HANDLE_VALUE) return false;
    // The size check and the move happen while this run holds the log, so
    // no other run moves it twice or writes into the file being moved.
    LARGE_INTEGER size = {};
    if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
        size.QuadPart > sizeLimit) {
      // MoveFileW refuses an existing target: a failed move is silent and
      // the log grows on.
      std::wstring aside;
      if (systemPath(path + asideSuffix(), &aside) && MoveFileW(wide.c_str(), aside.c_str())) {
        CloseHandle(file);
        continue;  // the line goes into a new file at the path
      }
    }
    LARGE_INTEGER zero = {};
    LARGE_INTEGER end = {};
    bool atEnd = SetFilePointerEx(file, zero, &end, FILE_END) != 0;
    bool written = atEnd && writeAll(file, line);
    // A full disk may take part of the line: that part is cut off again, so
    // that no later line continues a torn one.
    if (!written && atEnd && SetFilePointerEx(file, end, nullptr, FILE_BEGIN)) SetEndOfFile(file);
    if (!CloseHandle(file)) written = false;
    return written;
  }
}

void reportLogFailure(const std::string& text, const std::string& title) {
  // A window only where someone can see and close it: a scheduled run
  // without a desktop must never wait on a window nobody sees.
  if (consoleWindowVisible()) {
    HWND owner = GetForegroundWindow();
    DWORD ownerProcess = 0;
    if (owner != nullptr) GetWindowThreadProcessId(owner, &ownerProcess);
    if (ownerProcess != GetCurrentProcessId()) owner = nullptr;
    MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    return;
  }
  const std::string message = text + "\r\n";
  HANDLE errorOutput = GetStdHandle(STD_ERROR_HANDLE);
  DWORD written = 0;
  if (errorOutput != nullptr && errorOutput != INVALID_HANDLE_VALUE) {
    WriteFile(errorOutput, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
  }
}

}  // namespace veltrum
