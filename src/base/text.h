// The run's 8-bit texts: source literals in the platform's encoding, and
// conversions between Windows-1252, Latin-1 and UTF-8.
#pragma once

#include <cstddef>
#include <string>

#include "platform/core/text_encoding.h"

namespace veltrum {

// A German literal of the source (written in UTF-8) in the platform's own
// encoding: as it is on POSIX, Windows-1252 bytes on Windows (see cp1252).
// Every literal with a character beyond ASCII goes through here.
std::string nativeText(const char* utf8);

// A UTF-8 literal of the source as Windows-1252 bytes ("Prüfzeit" -> 0xFC).
// Characters that Windows-1252 cannot hold become "?". Lets German texts be
// written readably in the source and still be byte-exact in memory.
std::string cp1252(const char* utf8);

// A text of `encoding` in Windows-1252, the encoding of the messenger's
// drop file: UTF-8 is converted (a character Windows-1252 cannot hold, and a
// malformed sequence, becomes "?"); Windows-1252 stays as it is.
std::string windows1252Of(const std::string& text, TextEncoding encoding = platformTextEncoding());

// A text of `encoding` in UTF-8, for what must be UTF-8 whatever the
// platform (a form sent over HTTPS).
std::string utf8Of(const std::string& text, TextEncoding encoding = platformTextEncoding());

// At most `limit` bytes of the text; a UTF-8 text is cut before the
// character that would not fit whole, so the cut leaves it well-formed.
std::string cutText(const std::string& text, size_t limit,
                    TextEncoding encoding = platformTextEncoding());

// Windows-1252 to UTF-8.
std::string cp1252ToUtf8(const std::string& text);

// UTF-8 to Latin-1: a two-byte sequence above 255, every three- or four-byte
// sequence and every malformed sequence each become one "?".
std::string utf8ToLatin1(const std::string& text);

// Latin-1 to UTF-8.
std::string latin1ToUtf8(const std::string& text);

// The length of the well-formed UTF-8 sequence that starts at `at` (not
// overlong, no surrogate, at most U+10FFFF), or 0 when none starts there.
size_t validUtf8Length(const std::string& text, size_t at);

// The text with every malformed UTF-8 sequence replaced by one "?".
std::string wellFormedUtf8(const std::string& text);

// Whether the whole text is well-formed UTF-8.
bool isValidUtf8(const std::string& text);

}  // namespace veltrum
