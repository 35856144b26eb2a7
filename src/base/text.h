// Conversions between the 8-bit Windows-1252 texts of the run and UTF-8.
#pragma once

#include <string>

namespace veltrum {

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

}  // namespace veltrum
