#include "mail/secret_mask.h"

#include <algorithm>

#include "mail/base64.h"

namespace veltrum {

namespace {

void replaceAll(std::string* text, const std::string& secret) {
  if (secret.empty()) return;
  const std::string mask = "***";
  for (size_t at = text->find(secret); at != std::string::npos;
       at = text->find(secret, at + mask.size())) {
    text->replace(at, secret.size(), mask);
  }
}

}  // namespace

std::string withoutPassword(const std::string& text, const std::string& password) {
  std::string masked = text;
  std::string encoded = base64EncodeText(password);
  encoded.erase(encoded.find_last_not_of('=') + 1);
  // The longer form first: the plain password may lie inside its own base64.
  if (encoded.size() >= password.size()) {
    replaceAll(&masked, encoded);
    replaceAll(&masked, password);
  } else {
    replaceAll(&masked, password);
    replaceAll(&masked, encoded);
  }
  return masked;
}

std::string withoutSecrets(const std::string& text, std::vector<std::string> secrets) {
  // A shorter secret may lie inside a longer one; masking it first would
  // leave the rest of the longer one readable.
  std::sort(secrets.begin(), secrets.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  std::string masked = text;
  for (const std::string& secret : secrets) replaceAll(&masked, secret);
  return masked;
}

}  // namespace veltrum
