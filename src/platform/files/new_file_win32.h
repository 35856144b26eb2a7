// Creating a new file on Windows so that nothing planted at its name is
// written through: shared by the drop and test files and the files replaced
// whole (metrics).
#pragma once

#include <windows.h>

#include <string>

namespace veltrum {

// CREATE_NEW, never through a reparse point; INVALID_HANDLE_VALUE when the
// name is taken or the file cannot be made (GetLastError tells which).
HANDLE openNewFile(const std::wstring& path);

// What was opened is a plain new file: on disk, no folder, no reparse
// point, one name.
bool isNewPlainFile(HANDLE file);

// All of `bytes` written.
bool writeWhole(HANDLE file, const std::string& bytes);

// The entry goes when the handle is closed, whatever its name is by then.
bool removeWhenClosed(HANDLE file);

}  // namespace veltrum
