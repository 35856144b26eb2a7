#include <windows.h>

#include "platform/core/path_text_win32.h"
#include "platform/core/system_path_win32.h"
#include "platform/files/create_file.h"
#include "platform/files/new_file_win32.h"

namespace veltrum {

// CREATE_NEW fails on every existing entry; with FILE_FLAG_OPEN_REPARSE_POINT
// a dangling symbolic link counts as one instead of having its target
// created. DELETE lets a file that must go again be removed through its
// handle, not by a name that may meanwhile mean something else.
HANDLE openNewFile(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// What was opened must be a plain new file: on disk, no folder, no reparse
// point, one name.
bool isNewPlainFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION details;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &details)) {
    return false;
  }
  const DWORD unwanted = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  return (details.dwFileAttributes & unwanted) == 0 && details.nNumberOfLinks == 1;
}

bool writeWhole(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk =
        static_cast<DWORD>(bytes.size() - done > 0x10000000 ? 0x10000000 : bytes.size() - done);
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// The entry goes when the handle is closed, whatever its name is by then.
// A folder goes only when empty: false then.
bool removeWhenClosed(HANDLE file) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

namespace {

// Whether the entry open as `entry` is the one named `path` itself and not
// what a link there leads to. Some file systems (Wine's view of a POSIX
// one) open a symbolic link's target even with FILE_FLAG_OPEN_REPARSE_POINT
// and show no reparse point; the target's own path then gives it away. The
// folder is taken as its final path too, so a folder reached through a link
// of its own still passes. `path` is a full one (systemPath).
bool isTheEntryItself(HANDLE entry, const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return false;
  const std::wstring folder = path.substr(0, separator + 1);
  const std::wstring name = path.substr(separator + 1);
  HANDLE parent = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (parent == INVALID_HANDLE_VALUE) return false;
  std::wstring expected = finalPathOf(parent);
  CloseHandle(parent);
  if (expected.empty() || name.empty()) return false;
  if (expected.back() != L'\\') expected += L'\\';
  expected += name;
  return samePath(expected, finalPathOf(entry));
}

// Removes an entry of that name when it is a file, a reparse point (a
// symbolic link, a junction, a mount point) or an empty folder: opened as
// itself, never through the link, and removed through that handle, so only
// the name goes. A link that opens as its target stays: removing through
// that handle would remove the target. False when a folder with entries
// holds the name.
bool removeBlocker(const std::wstring& path) {
  HANDLE entry =
      CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (entry == INVALID_HANDLE_VALUE) return true;
  bool removable = true;
  BY_HANDLE_FILE_INFORMATION details;
  if (GetFileInformationByHandle(entry, &details) && isTheEntryItself(entry, path)) {
    const bool isLink = (details.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool isFolder = (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    removable =
        removeWhenClosed(entry) || isLink || !isFolder || GetLastError() != ERROR_DIR_NOT_EMPTY;
  }
  CloseHandle(entry);
  return removable;
}

}  // namespace

CreateOutcome createNewFile(const std::string& path, const std::string& bytes) {
  std::wstring wide;
  if (!systemPath(path, &wide)) return CreateOutcome::Failed;
  HANDLE file = openNewFile(wide);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateOutcome::NameTaken
                                                                       : CreateOutcome::Failed;
  }
  bool complete = isNewPlainFile(file) && writeWhole(file, bytes);
  if (!complete) removeWhenClosed(file);
  if (!CloseHandle(file)) complete = false;
  return complete ? CreateOutcome::Created : CreateOutcome::Failed;
}

TestFileOutcome writeTestFile(const std::string& path, const std::string& bytes) {
  std::wstring wide;
  if (!systemPath(path, &wide)) return TestFileOutcome::Failed;
  if (!removeBlocker(wide)) return TestFileOutcome::FolderInTheWay;
  HANDLE file = openNewFile(wide);
  if (file == INVALID_HANDLE_VALUE) return TestFileOutcome::Failed;
  const bool written = isNewPlainFile(file) && writeWhole(file, bytes);
  removeWhenClosed(file);
  return CloseHandle(file) && written ? TestFileOutcome::Written : TestFileOutcome::Failed;
}

}  // namespace veltrum
