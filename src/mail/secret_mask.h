// Keeping the account password out of what is logged: a server may quote the
// line it refused, and so hand the password back in its reply.
#pragma once

#include <string>

namespace veltrum {

// The text with every occurrence of the password, and of its base64 form as
// AUTH LOGIN sent it (with or without the "=" fill), replaced by "***". An
// empty password changes nothing.
std::string withoutPassword(const std::string& text, const std::string& password);

}  // namespace veltrum
