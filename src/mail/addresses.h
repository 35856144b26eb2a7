// The forms of sender and recipient texts: "a@b.de", "Name <a@b.de>", with
// "CC:" or "BCC:" (any letter case) in front of a copy recipient.
#pragma once

#include <string>
#include <vector>

namespace veltrum {

// The recipient fields of `to`, split at every ";" (so n ";" give n + 1
// fields, empty ones included), untrimmed.
std::vector<std::string> recipientFields(const std::string& to);

// The text without leading and trailing blanks.
std::string trimBlanks(const std::string& text);

// The address after "MAIL FROM: " and "RCPT TO: ": the "<...>" part of the
// text when it has one, else the text between "<" and ">"; a "CC:" or "BCC:"
// in front is dropped, nothing else is trimmed.
std::string envelopeAddress(const std::string& text);

// The value of the "From: " header line.
std::string fromHeaderValue(const std::string& from);

// "To: ..." or "Cc: ..." for one recipient field, without CR LF; empty for a
// blind copy recipient.
std::string recipientHeaderLine(const std::string& field);

}  // namespace veltrum
