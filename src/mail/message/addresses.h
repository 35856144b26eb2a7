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

// An address as a header shows it: "<a@b.de>" for a bare address; a text
// with a bracketed address unchanged, except for its display name: one with
// bytes above 127 becomes encoded words, one with characters that have a
// meaning in an address list (",", ".", "@", ...) is quoted.
std::string headerAddress(const std::string& text);

// The value of the "From: " header line.
std::string fromHeaderValue(const std::string& from);

// The addresses of the "To: " and the "Cc: " header line, in the order of
// the fields of `to`. Blind copy recipients and empty fields are left out.
struct HeaderRecipients {
  std::vector<std::string> to;
  std::vector<std::string> cc;
};
HeaderRecipients headerRecipients(const std::string& to);

}  // namespace veltrum
