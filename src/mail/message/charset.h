// The character set a text of the run is declared in when it leaves in a
// message: the platform's own. UTF-8 on POSIX. Windows-1252 on Windows; where
// a text uses none of the characters that Windows-1252 places at 0x80-0x9F it
// is also Latin-1, which more mail programs know by name.
#pragma once

#include <cstddef>
#include <string>

#include "platform/core/text_encoding.h"

namespace veltrum {

// True when the text holds a byte above 127.
bool hasEightBitBytes(const std::string& text);

// UTF-8: "utf-8". Windows-1252: "windows-1252" when the text holds a byte
// 0x80-0x9F, else "iso-8859-1".
std::string charsetOf(const std::string& text, TextEncoding encoding = platformTextEncoding());

// The number of bytes of the character at `at` in a text of `charset`: an
// encoded word must hold whole characters, or a reader decodes each half
// apart. A malformed UTF-8 byte counts as one.
size_t characterLength(const std::string& text, size_t at, const std::string& charset);

}  // namespace veltrum
