// Keeping the login secrets out of what is logged: a server may quote the
// line it refused, and so hand the password back in its reply.
#pragma once

#include <string>
#include <vector>

namespace veltrum {

// The text with every occurrence of what AUTH LOGIN or AUTH PLAIN sent, the
// base64 forms of `user` and `password` with their "=" fill and the PLAIN
// text with and without it, replaced by "***"; and of
// the password itself, and its base64 form without the fill, when it has 8
// characters or more. A shorter password is an ordinary word or a few
// letters: masking it would garble the line ("reci***ients") and show where
// it stood. Everything else of the text stays as it was.
std::string withoutLoginSecrets(const std::string& text, const std::string& user,
                                const std::string& password);

// The text with every occurrence of each of `secrets` replaced by "***", the
// longer ones first; empty ones are skipped. For the access token of a mail
// login and the forms it and the client secret take on the wire.
std::string withoutSecrets(const std::string& text, std::vector<std::string> secrets);

}  // namespace veltrum
