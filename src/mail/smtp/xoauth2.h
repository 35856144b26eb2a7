// The pieces of a login with an access token (SASL XOAUTH2): the text sent
// after "AUTH XOAUTH2 ", and the error a server sends back instead of
// accepting it.
#pragma once

#include <string>

namespace veltrum {

// base64 of "user=" user, 0x01, "auth=Bearer " token, 0x01, 0x01.
std::string xoauth2LoginText(const std::string& user, const std::string& token);

// The "status" of the JSON error that a refusing server sends base64-encoded
// after "334 " (for example "400"); empty when the line holds no such error.
// The text is cut to visible ASCII, so it can be quoted in a report.
std::string xoauth2ErrorStatus(const std::string& replyLine);

}  // namespace veltrum
