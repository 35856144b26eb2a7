#include "mail/smtp/greeting_name.h"

namespace veltrum {

namespace {

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isLabelCharacter(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
}

bool validHostName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  size_t label = 0;
  for (char c : name) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (!isLabelCharacter(c) || ++label > 63) {
      return false;
    }
  }
  return label > 0;
}

// Four decimal numbers 0..255 joined by ".".
bool validIpv4(const std::string& text) {
  int parts = 0;
  for (size_t at = 0; at <= text.size(); ++at, ++parts) {
    size_t end = text.find('.', at);
    if (end == std::string::npos) end = text.size();
    std::string part = text.substr(at, end - at);
    if (part.empty() || part.size() > 3) return false;
    for (char c : part) {
      if (!isDigit(c)) return false;
    }
    if (std::stoi(part) > 255) return false;
    at = end;
  }
  return parts == 4;
}

// Hex groups and colons (an IPv4 tail allowed), as RFC 5321 writes them
// after "IPv6:"; the exact grammar is the server's to check.
bool validIpv6(const std::string& text) {
  if (text.size() < 2 || text.size() > 45 || text.find(':') == std::string::npos) return false;
  for (char c : text) {
    if (!isHexDigit(c) && c != ':' && c != '.') return false;
  }
  return true;
}

bool sameLetters(const std::string& text, const char* lower) {
  for (size_t i = 0; lower[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

}  // namespace

bool validGreetingName(const std::string& name) {
  if (name.size() < 3 || name.front() != '[' || name.back() != ']') return validHostName(name);
  const std::string inside = name.substr(1, name.size() - 2);
  if (sameLetters(inside, "ipv6:")) return validIpv6(inside.substr(5));
  return validIpv4(inside);
}

}  // namespace veltrum
