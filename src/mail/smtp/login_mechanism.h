// Which login a password account uses: the EHLO reply tells what the server
// offers. Many servers behind a submission port offer only PLAIN.
#pragma once

#include <string>
#include <vector>

namespace veltrum {

enum class LoginMechanism { Login, Plain };

// PLAIN when the reply offers PLAIN but not LOGIN; LOGIN otherwise (also when
// it names no AUTH at all, or neither of the two). Offers are read from every
// line that begins, after its code, with "AUTH " or "AUTH=" in any letter
// case.
LoginMechanism loginMechanismFor(const std::vector<std::string>& ehloLines);

// The initial response of AUTH PLAIN (RFC 4616): base64 of NUL, user, NUL,
// password, the bytes as they are.
std::string plainLoginText(const std::string& user, const std::string& password);

}  // namespace veltrum
