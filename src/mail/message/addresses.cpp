#include "mail/message/addresses.h"

#include "mail/message/charset.h"
#include "mail/message/header_encoding.h"

namespace veltrum {

namespace {

char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// True when `text` begins with the upper-case `prefix`, compared without
// regard to case.
bool beginsWith(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (upper(text[i]) != prefix[i]) return false;
  }
  return true;
}

std::string withoutCopyPrefix(const std::string& text) {
  if (beginsWith(text, "CC:")) return text.substr(3);
  if (beginsWith(text, "BCC:")) return text.substr(4);
  return text;
}

bool hasBracketedAddress(const std::string& text) {
  size_t open = text.find('<');
  return open != std::string::npos && text.find('>', open + 1) != std::string::npos;
}

bool isQuotedString(const std::string& text) {
  return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

// The text of a quoted string, its backslash escapes resolved.
std::string unquoted(const std::string& text) {
  std::string result;
  for (size_t at = 1; at + 1 < text.size(); ++at) {
    if (text[at] == '\\' && at + 2 < text.size()) ++at;
    result += text[at];
  }
  return result;
}

std::string quoted(const std::string& text) {
  std::string result = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') result += '\\';
    result += c;
  }
  return result + "\"";
}

// Characters that would end or split a display name in an address list.
bool needsQuotes(const std::string& name) {
  return !isQuotedString(name) && name.find_first_of("()<>[]:;@\\,.\"") != std::string::npos;
}

std::string displayNameForm(const std::string& name) {
  if (hasEightBitBytes(name)) {
    return encodedWords(asOneLine(isQuotedString(name) ? unquoted(name) : name));
  }
  return quoted(name);
}

}  // namespace

std::vector<std::string> recipientFields(const std::string& to) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t end = to.find(';', start);
    fields.push_back(to.substr(start, end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

std::string trimBlanks(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string envelopeAddress(const std::string& text) {
  std::string rest = withoutCopyPrefix(text);
  size_t open = rest.find('<');
  if (open != std::string::npos) {
    size_t close = rest.find('>', open + 1);
    if (close != std::string::npos) return rest.substr(open, close - open + 1);
  }
  return "<" + rest + ">";
}

std::string headerAddress(const std::string& text) {
  if (!hasBracketedAddress(text)) return "<" + text + ">";
  size_t open = text.find('<');
  std::string name = trimBlanks(text.substr(0, open));
  if (!hasEightBitBytes(name) && !needsQuotes(name)) return text;
  return displayNameForm(name) + " " + text.substr(open);
}

std::string fromHeaderValue(const std::string& from) {
  return headerAddress(withoutCopyPrefix(from));
}

HeaderRecipients headerRecipients(const std::string& to) {
  HeaderRecipients recipients;
  for (const std::string& untrimmed : recipientFields(to)) {
    std::string field = trimBlanks(untrimmed);
    if (beginsWith(field, "BCC:")) continue;
    bool copy = beginsWith(field, "CC:");
    std::string address = trimBlanks(copy ? field.substr(3) : field);
    if (address.empty()) continue;  // "<>" names nobody
    (copy ? recipients.cc : recipients.to).push_back(headerAddress(address));
  }
  return recipients;
}

}  // namespace veltrum
