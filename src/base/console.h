// Console output of the run: every shown text goes through toOem and printLine.
#pragma once

#include <string>

namespace veltrum {

// Writes the text and CR LF to standard output and flushes.
void printLine(const std::string& text);

// Converts a Windows-1252 text to the console's code page.
std::string toOem(const std::string& text);

// printLine(toOem(text)): the usual way to show a message.
void showMessage(const std::string& text);

}  // namespace veltrum
