#include "mail/smtp/smtp_recipients.h"

#include "mail/message/addresses.h"

namespace veltrum {

RecipientRound::RecipientRound(const std::string& to) : fields_(recipientFields(to)) {}

std::string RecipientRound::address() const {
  if (current_ >= fields_.size()) return "";
  return singleLine(envelopeAddress(trimBlanks(fields_[current_])));
}

RecipientRound::Next RecipientRound::accepted() {
  ++accepted_;
  return advance();
}

RecipientRound::Next RecipientRound::refused(const std::string& code, const std::string& line) {
  refusals_.push_back({address(), line, !code.empty() && code[0] == '4'});
  return advance();
}

RecipientRound::Next RecipientRound::advance() {
  if (++current_ < fields_.size()) return Next::Recipient;
  return accepted_ > 0 ? Next::Data : Next::NoneAccepted;
}

std::string singleLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

}  // namespace veltrum
