#include "mail/smtp/secret_mask.h"

#include <algorithm>
#include <vector>

#include "mail/message/base64.h"
#include "mail/smtp/login_mechanism.h"

namespace veltrum {

namespace {

constexpr size_t kMaskedPasswordLength = 8;

void replaceAll(std::string* text, const std::string& secret) {
  if (secret.empty()) return;
  const std::string mask = "***";
  for (size_t at = text->find(secret); at != std::string::npos;
       at = text->find(secret, at + mask.size())) {
    text->replace(at, secret.size(), mask);
  }
}

}  // namespace

std::string withoutLoginSecrets(const std::string& text, const std::string& user,
                                const std::string& password) {
  const std::string sentPassword = base64EncodeText(password);
  std::vector<std::string> secrets = {sentPassword, base64EncodeText(user)};
  if (!password.empty()) {
    // The PLAIN text holds the password whatever its length.
    const std::string plain = plainLoginText(user, password);
    secrets.push_back(plain);
    secrets.push_back(plain.substr(0, plain.find_last_not_of('=') + 1));
  }
  if (password.size() >= kMaskedPasswordLength) {
    secrets.push_back(password);
    secrets.push_back(sentPassword.substr(0, sentPassword.find_last_not_of('=') + 1));
  }
  // The longer forms first: one may lie inside another, and the fill of a
  // base64 text must go with it.
  std::stable_sort(secrets.begin(), secrets.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  std::string masked = text;
  for (const std::string& secret : secrets) replaceAll(&masked, secret);
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
