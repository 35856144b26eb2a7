#include <windows.h>

#include "platform/core/system_path_win32.h"
#include "platform/files/directory.h"
#include "platform/files/file_system.h"
#include "platform/files/listed_folder_win32.h"

namespace veltrum {

namespace {

const FILETIME& stampOf(const WIN32_FIND_DATAW& found, StampKind kind) {
  switch (kind) {
    case StampKind::Accessed:
      return found.ftLastAccessTime;
    case StampKind::Modified:
      return found.ftLastWriteTime;
    case StampKind::Created:
    default:
      return found.ftCreationTime;
  }
}

// Looks `path` up as a directory entry; a wildcard path gives its first match.
bool findEntry(const std::string& path, WIN32_FIND_DATAW* found) {
  std::wstring wide;
  if (!systemPath(path, &wide)) return false;
  HANDLE search = FindFirstFileW(wide.c_str(), found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

class Win32FileSystem : public DirectoryFileSystem {
 public:
  void searchEnteredFolder(const std::string& directory, const DirEntry& listed,
                           const std::vector<std::string>& patterns,
                           std::vector<std::vector<DirEntry>>* matches,
                           std::vector<DirEntry>* subfolders) override {
    searchEnteredDirectory(directory, listed.location, patterns, matches, subfolders);
  }

  // A file found in a folder the search entered is tested only while that
  // folder is still the one listed, and with it held open; a file of the
  // starting folder (no location) by its path, as a single file is.
  FileLook lookAtFoundFile(const std::string& start, const std::string& folder,
                           const DirEntry& entry, StampKind kind) override {
    if (entry.location.empty()) return FileSystem::lookAtFoundFile(start, folder, entry, kind);
    FileLook look;
    HANDLE listed = openListedFolder(folder, entry.location);
    if (listed == INVALID_HANDLE_VALUE) {
      // Swapped since: the file is not present; a folder gone is told as before.
      look.folderUsable = directoryCanBeEnumerated(folder);
      return look;
    }
    look.folderUsable = true;
    const std::string path = folder + entry.name;
    look.readable = canOpenForReading(path);
    look.stamped = look.readable && readStamp(path, kind, &look.stamp);
    CloseHandle(listed);
    return look;
  }

  bool readStamp(const std::string& path, StampKind kind, LocalTime* local) override {
    WIN32_FIND_DATAW found;
    if (!findEntry(path, &found)) return false;
    // FileTimeToLocalFileTime applies the offset in force now, whatever was
    // in force at the stamp's own time: file dates and the clock share one
    // scale.
    FILETIME localStamp;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&stampOf(found, kind), &localStamp) ||
        !FileTimeToSystemTime(&localStamp, &fields)) {
      return false;
    }
    local->year = fields.wYear;
    local->month = fields.wMonth;
    local->day = fields.wDay;
    local->hour = fields.wHour;
    local->minute = fields.wMinute;
    local->second = fields.wSecond;
    return true;
  }
};

}  // namespace

FileSystem& platformFileSystem() {
  static Win32FileSystem realFileSystem;
  return realFileSystem;
}

char pathSeparator() {
  return '\\';
}

bool canOpenForReading(const std::string& path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open, so an
  // opened handle is always a file.
  std::wstring wide;
  if (!systemPath(path, &wide)) return false;
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool isFile = GetFileType(file) == FILE_TYPE_DISK;
  CloseHandle(file);
  return isFile;
}

int64_t fileSizeOf(const std::string& path) {
  std::string trimmed = path;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  if (trimmed.empty()) return -1;
  WIN32_FIND_DATAW found;
  if (!findEntry(trimmed, &found)) return -1;
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return -1;
  return (static_cast<int64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

}  // namespace veltrum
