// The run's 8-bit texts: source literals in the platform's encoding, and
// conversions between Windows-1252, Latin-1 and UTF-8.
#pragma once

#include <cstddef>
#include <string>

namespace veltrum {

// A German literal of the source (written in UTF-8) in the platform's own
// encoding: as it is on POSIX, Windows-1252 bytes on Windows (see cp1252).
// Every literal with a character beyond ASCII goes through here.
std::string nativeText(const char* utf8);

// A UTF-8 literal of the source as Windows-1252 bytes ("Prüfzeit" -> 0xFC).
// Characters that Windows-1252 cannot hold become "?". Lets German texts be
// written readably in the source and still be byte-exact in memory.
std::string cp1252(const char* utf8);

// Windows-1252 to UTF-8 (the POSIX console).
std::string cp1252ToUtf8(const std::string& text);

// UTF-8 to Latin-1: a two-byte sequence above 255, every three- or four-byte
// sequence and every malformed sequence each become one "?".
std::string utf8ToLatin1(const std::string& text);

// Latin-1 to UTF-8.
std::string latin1ToUtf8(const std::string& text);

// The length of the well-formed UTF-8 sequence that starts at `at` (not
// overlong, no surrogate, at most U+10FFFF), or 0 when none starts there.
size_t validUtf8Length(const std::string& text, size_t at);

// Whether the whole text is well-formed UTF-8.
bool isValidUtf8(const std::string& text);

}  // namespace veltrum
