// The RCPT round of one mail: which recipient comes next, which ones the
// server took and which it refused. One refused address (a mailbox gone, a
// greylisting server) must not keep the alert from everyone else: the mail
// goes to those the server took, and each refusal is reported on its own.
#pragma once

#include <string>
#include <vector>

namespace veltrum {

struct RecipientRefusal {
  std::string address;  // as sent after "RCPT TO: "
  std::string line;     // the server's final line, not masked
  bool temporary;       // a 4xx reply; else 5xx
};

class RecipientRound {
 public:
  // What follows the reply to an RCPT.
  enum class Next { Recipient, Data, NoneAccepted };

  // `to`: the recipient fields separated by ";".
  explicit RecipientRound(const std::string& to);

  size_t count() const { return fields_.size(); }
  // The address of the recipient whose RCPT goes out next (or was sent last).
  std::string address() const;

  // The reply to the current RCPT: taken ("250", "251") or refused (4xx,
  // 5xx) with the code and the server's line.
  Next accepted();
  Next refused(const std::string& code, const std::string& line);

  const std::vector<RecipientRefusal>& refusals() const { return refusals_; }

 private:
  Next advance();

  std::vector<std::string> fields_;
  size_t current_ = 0;
  size_t accepted_ = 0;
  std::vector<RecipientRefusal> refusals_;
};

// A value from the settings inside a command line: a CR or LF in it must not
// start a command of its own.
std::string singleLine(std::string text);

}  // namespace veltrum
