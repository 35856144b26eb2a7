// The quoted-printable content transfer encoding (RFC 2045, section 6.7) for
// text parts whose bytes cannot travel as 7bit.
#pragma once

#include <cstddef>
#include <string>

namespace veltrum {

// The longest line, in bytes without its line end, that a 7bit part may
// hold (RFC 5322: 998 characters before CR LF).
constexpr size_t kLongestSevenBitLine = 998;

// True when the text holds a byte above 127 or a line longer than
// kLongestSevenBitLine. Lines end at CR LF, at a single CR and at a single
// LF, as they do on the wire.
bool needsQuotedPrintable(const std::string& text);

// The text encoded quoted-printable. Every line end of the text (CR LF, a
// single CR or a single LF, the same rule as on the wire) becomes a line
// break CR LF; no encoded line is longer than 76 characters, a soft break
// "=" included. "=", control bytes, bytes above 126 and a blank or tab before
// a line end or at the end of the text are written as "=XX". No line end
// follows the last line.
std::string quotedPrintable(const std::string& text);

}  // namespace veltrum
