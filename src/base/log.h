// The log beside the program: one line per call, opened and closed each time.
#pragma once

#include <string>

namespace veltrum {

enum LogKind { LOG = 0, ERR = 1 };

// Appends one line "dd.mm.yyyy hh:ii:ss user [LOG] text" and the platform's
// line end (LF on POSIX, CR LF on Windows) to the log
// at runSettings().logPath. Any nonzero kind is ERR. Never writes to the
// console; a log that cannot be opened is reported by the platform.
void writeLog(int kind, const std::string& text);

// How many ERR lines this run has written (or tried to write) so far.
int errorLineCount();

// The account name of the user the run executes as (260 blanks when the
// platform cannot tell).
std::string currentUserName();

// The line as written, without its line end; for tests.
std::string logLine(const std::string& timestamp, const std::string& user, int kind,
                    const std::string& text);

}  // namespace veltrum
