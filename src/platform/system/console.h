// The console: the standard output handle and the OEM conversion.
#pragma once

#include <string>

namespace veltrum {

enum class ConsoleStream { Output, Error };

// Writes the bytes to standard output (or standard error) as console output;
// when that fails (redirected to a file or pipe) as a plain file write; then
// flushes.
void writeConsoleBytes(const std::string& bytes, ConsoleStream stream = ConsoleStream::Output);

// Converts a text of the run to what the console shows: on Windows from
// Windows-1252 to the OEM code page (CharToOemA); on POSIX the UTF-8 text as
// it is. 7-bit bytes are unchanged.
std::string ansiToConsole(const std::string& text);

// The Unicode code point of one Windows-1252 byte (the five bytes Windows
// leaves undefined keep the C1 control of the same number).
char32_t cp1252CodePoint(unsigned char byte);

// Windows-1252 text as UTF-8; the same on every platform.
std::string windows1252ToUtf8(const std::string& text);

}  // namespace veltrum
