// Console output of the run: every shown text goes through toOem and printLine.
#pragma once

#include <string>

namespace veltrum {

// Writes the text and the platform's line end to standard output and flushes.
void printLine(const std::string& text);

// Converts a text of the run to what the console shows: the OEM code page
// on Windows; on POSIX the UTF-8 text as it is.
std::string toOem(const std::string& text);

// printLine(toOem(text)): the usual way to show a message.
void showMessage(const std::string& text);

// From now on printLine writes to standard error, so that standard output
// holds nothing but what printResultLine writes (a monitoring engine reads
// it as the check's result).
void moveMessagesToStandardError();

// printLine(toOem(text)) on standard output, wherever the messages go.
void printResultLine(const std::string& text);

}  // namespace veltrum
