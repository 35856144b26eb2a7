#include <windows.h>

#include "platform/system/console.h"

namespace veltrum {

void writeConsoleBytes(const std::string& bytes, ConsoleStream stream) {
  HANDLE output =
      GetStdHandle(stream == ConsoleStream::Error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk =
        static_cast<DWORD>(bytes.size() - done > 0x10000 ? 0x10000 : bytes.size() - done);
    DWORD written = 0;
    // WriteConsoleA fails when standard output is a file or a pipe; the same
    // bytes then go out as a plain file write. A failure of both is ignored.
    if (!WriteConsoleA(output, bytes.data() + done, chunk, &written, nullptr) &&
        !WriteFile(output, bytes.data() + done, chunk, &written, nullptr)) {
      return;
    }
    if (written == 0) return;
    done += written;
  }
  // Both writes hand the bytes to the system unbuffered, so nothing is left
  // to flush; FlushFileBuffers would only wait for a pipe's reader.
}

std::string ansiToConsole(const std::string& text) {
  // CharToOemA works on zero-terminated texts: convert each stretch between
  // zero bytes and keep the zero bytes themselves.
  std::string result;
  result.reserve(text.size());
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    std::string piece = text.substr(start, end - start);
    std::string converted(piece.size() + 1, '\0');
    if (!CharToOemA(piece.c_str(), converted.data())) converted = piece;
    converted.resize(piece.size());  // one byte per byte in single-byte code pages
    result += converted;
    if (end < text.size()) result += '\0';
    start = end + 1;
  }
  return result;
}

}  // namespace veltrum
