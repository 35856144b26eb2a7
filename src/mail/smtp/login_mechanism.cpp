#include "mail/smtp/login_mechanism.h"

#include "mail/message/base64.h"

namespace veltrum {

namespace {

std::string asciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

LoginMechanism loginMechanismFor(const std::vector<std::string>& ehloLines) {
  bool login = false;
  bool plain = false;
  for (const std::string& line : ehloLines) {
    std::string text = line.size() > 4 ? asciiUpper(line.substr(4)) : "";
    if (text.compare(0, 5, "AUTH ") != 0 && text.compare(0, 5, "AUTH=") != 0) continue;
    text += ' ';
    for (size_t at = 5, end; (end = text.find(' ', at)) != std::string::npos; at = end + 1) {
      std::string mechanism = text.substr(at, end - at);
      login = login || mechanism == "LOGIN";
      plain = plain || mechanism == "PLAIN";
    }
  }
  return plain && !login ? LoginMechanism::Plain : LoginMechanism::Login;
}

std::string plainLoginText(const std::string& user, const std::string& password) {
  return base64EncodeText(std::string(1, '\0') + user + std::string(1, '\0') + password);
}

}  // namespace veltrum
