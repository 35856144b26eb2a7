// Paths between the run and the Windows file-system calls: every call takes
// the wide form, which reaches past MAX_PATH (up to about 32,767 characters),
// and every path that comes from Windows is made an 8-bit text that leads to
// the same entry or to none. Shared by the Windows implementations only.
#pragma once

#include <windows.h>

#include <string>

namespace veltrum {

// Stands in an 8-bit path for a character that Windows-1252 cannot hold,
// where no 8.3 short name replaces the part that holds it. No file name can
// contain it, it is no wildcard ("?" would match "Omega.lck" for "Ωmega.lck"),
// and systemPath refuses every path holding it.
constexpr char kUnheldMark = '\x1a';

// Where Windows' own length limit begins for a path without the "\\?\"
// prefix (a folder to be created needs room for an 8.3 name behind it).
constexpr size_t kPrefixFrom = MAX_PATH - 12;

// `fullPath` (as GetFullPathNameW gives it) in the form the wide calls take
// at any length: from kPrefixFrom characters on with "\\?\" before a drive
// path and "\\?\UNC\" in place of the "\\" of a share; shorter paths, paths
// that already have a "\\?\" or "\\.\" prefix, and others as they are.
std::wstring extendedForm(const std::wstring& fullPath);

// `path` of the run for a wide call: "\\?\" paths as they are (Windows takes
// them literally), every other one normalised by GetFullPathNameW first
// (separators, "." and "..", relative paths; the prefix skips that clean-up)
// and then in its extendedForm. False (last error ERROR_INVALID_NAME) for an
// empty path or one holding kUnheldMark: the caller fails as for a name that
// does not exist.
bool systemPath(const std::string& path, std::wstring* wide);

// The search path for FindFirstFileW: `directory` normalised like a path
// ("" is the current folder), then `pattern` ("" is "*.*") as it is, so that
// its wildcards and dots keep their meaning.
bool systemSearchPath(const std::string& directory, const std::string& pattern, std::wstring* wide);

// A path that Windows gives (a parameter, the program's own path) as an
// 8-bit text of the run: exact where Windows-1252 holds it; a part that it
// cannot hold is replaced by that part's 8.3 short name, and where there is
// none (or the part holds a wildcard, or it is the last part and
// `lastStaysLong`) each such character becomes kUnheldMark. So the text
// leads to that entry or to none, never to another one.
std::string reachablePath(const std::wstring& path, bool lastStaysLong);

// A whole command line as the run's splitter expects it: each piece (blanks
// separate; a piece that begins with a double quote runs to the next one)
// made a reachablePath, blanks and quotes where they were.
std::string reachableCommandLine(const std::wstring& line);

}  // namespace veltrum
