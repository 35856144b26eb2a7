// Texts that come from outside the program: file and folder names, values of
// the command line and the configuration, server lines, the token endpoint's
// text, a program's output. They are bytes nobody checked; before they are
// shown in the log, on the console, in a mail or in the drop file they are
// decoded into the platform's encoding and their control characters made
// visible, so that a name can neither break a line nor mix two encodings.
#pragma once

#include <string>

#include "platform/core/text_encoding.h"

namespace veltrum {

// The bytes as a text of `encoding`. UTF-8: a well-formed sequence stays as
// it is; every byte that is not part of one is taken as a Windows-1252
// character (an old Latin-1 name stays readable), and the five bytes
// Windows-1252 leaves undefined are written "\x81", "\x8d", "\x8f", "\x90",
// "\x9d". Windows-1252: every byte is a character already, so nothing changes.
std::string decodedText(const std::string& bytes, TextEncoding encoding = platformTextEncoding());

// The control characters of a text made visible: CR "\r", LF "\n", TAB "\t",
// every other byte below 0x20 and DEL as "\x" and two lower-case hex digits;
// in UTF-8 also the C1 controls U+0080..U+009F as "\u0080".."\u009f". A
// backslash stays as it is.
std::string escapedText(const std::string& text, TextEncoding encoding = platformTextEncoding());

// An outside text as it is put into a message: decoded, then escaped.
std::string shownText(const std::string& bytes, TextEncoding encoding = platformTextEncoding());

}  // namespace veltrum
