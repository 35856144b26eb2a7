// Keeping the account password out of what is logged: a server may quote the
// line it refused, and so hand the password back in its reply.
#pragma once

#include <string>
#include <vector>

namespace veltrum {

// The text with every occurrence of the password, and of its base64 form as
// AUTH LOGIN sent it (with or without the "=" fill), replaced by "***". An
// empty password changes nothing.
std::string withoutPassword(const std::string& text, const std::string& password);

// The text with every occurrence of each of `secrets` replaced by "***", the
// longer ones first; empty ones are skipped. For the access token of a mail
// login and the forms it and the client secret take on the wire.
std::string withoutSecrets(const std::string& text, std::vector<std::string> secrets);

}  // namespace veltrum
