#include <windows.h>

#include <new>

#include "platform/core/system_path_win32.h"
#include "platform/files/read_file.h"

namespace veltrum {

namespace {

HANDLE toHandle(int64_t handle) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(handle));
}

}  // namespace

int64_t openHeldFile(const std::string& path) {
  // First for reading and writing so that nobody else writes while the run
  // holds the file; a write-protected file, or one another process holds
  // open, is still read through the later ways.
  struct Way {
    DWORD access;
    DWORD sharing;
  };
  const Way ways[] = {{GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ},
                      {GENERIC_READ, FILE_SHARE_READ},
                      {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE}};
  std::wstring wide;
  if (!systemPath(path, &wide)) return -1;
  for (const Way& way : ways) {
    HANDLE file = CreateFileW(wide.c_str(), way.access, way.sharing, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    if (GetFileType(file) != FILE_TYPE_DISK) {  // a pipe or device is no configuration
      CloseHandle(file);
      return -1;
    }
    return static_cast<int64_t>(reinterpret_cast<intptr_t>(file));
  }
  return -1;
}

bool readHeldFile(int64_t handle, std::string* bytes) {
  bytes->clear();
  HANDLE file = toHandle(handle);
  LARGE_INTEGER start = {};
  if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
  try {
    char chunk[65536];
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
        bytes->clear();
        return false;
      }
      if (got == 0) return true;
      bytes->append(chunk, got);
    }
  } catch (const std::bad_alloc&) {
    bytes->clear();
    bytes->shrink_to_fit();
    return false;
  }
}

void closeHeldFile(int64_t handle) {
  if (handle >= 0) CloseHandle(toHandle(handle));
}

}  // namespace veltrum
