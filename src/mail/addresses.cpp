#include "mail/addresses.h"

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

std::string bracketed(const std::string& text) {
  return hasBracketedAddress(text) ? text : "<" + text + ">";
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

std::string fromHeaderValue(const std::string& from) {
  return bracketed(withoutCopyPrefix(from));
}

std::string recipientHeaderLine(const std::string& field) {
  if (beginsWith(field, "CC:")) return "Cc: " + bracketed(field.substr(3));
  if (beginsWith(field, "BCC:")) return "";
  return "To: " + bracketed(field);
}

}  // namespace veltrum
