// The character set a text of the run is declared in when it leaves in a
// message. The texts are Windows-1252 bytes; where they use none of the
// characters that Windows-1252 places at 0x80-0x9F they are also Latin-1,
// which more mail programs know by name.
#pragma once

#include <string>

namespace veltrum {

// True when the text holds a byte above 127.
bool hasEightBitBytes(const std::string& text);

// "windows-1252" when the text holds a byte 0x80-0x9F, else "iso-8859-1".
std::string charsetOf(const std::string& text);

}  // namespace veltrum
