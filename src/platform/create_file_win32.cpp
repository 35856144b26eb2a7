#include <windows.h>

#include "platform/create_file.h"

namespace veltrum {

CreateOutcome createNewFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateOutcome::NameTaken
                                                                       : CreateOutcome::Failed;
  }
  bool complete = true;
  size_t done = 0;
  while (complete && done < bytes.size()) {
    DWORD chunk =
        static_cast<DWORD>(bytes.size() - done > 0x10000000 ? 0x10000000 : bytes.size() - done);
    DWORD written = 0;
    complete = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written > 0;
    done += written;
  }
  if (!CloseHandle(file)) complete = false;
  if (complete) return CreateOutcome::Created;
  DeleteFileA(path.c_str());
  return CreateOutcome::Failed;
}

}  // namespace veltrum
