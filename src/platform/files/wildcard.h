// Name patterns as the Windows directory search matches them, for platforms
// whose enumeration has no patterns of its own.
#pragma once

#include <string>
#include <string_view>

namespace veltrum {

// Folds ASCII and Windows-1252 letters to lower case; other bytes unchanged.
unsigned char foldLetter(unsigned char c);

// True when `name` matches `pattern`: "*" any run of characters, "?" exactly
// one, letters without regard to case. A name that is valid UTF-8 is compared
// by characters (ASCII and Latin-1 letters folded) when the pattern is valid
// UTF-8 too; any other name byte by byte, with Windows-1252 letters folded.
// "*.*" matches every name, and a
// pattern ending in ".*" also matches the name without the dot ("a.*" finds
// "a"). An empty pattern stands for "*.*".
bool wildcardMatches(std::string_view pattern, std::string_view name);

// Order of the entries of one directory: by name without regard to case,
// then byte by byte. Negative, zero or positive like strcmp.
int compareEntryNames(const std::string& a, const std::string& b);

}  // namespace veltrum
