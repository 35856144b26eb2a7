// What a message must look like on the SMTP wire, applied to the stream the
// message writer produces: nothing inside a message can end DATA early or
// add a header line.
#pragma once

#include <string>

#include "mail/message/message_sink.h"

namespace veltrum {

// Passes the message on to `wire`, changed in three ways:
// - in the header section (up to the first empty line) every piece is one
//   header line: a CR or LF before its closing CR LF becomes a blank;
// - after it, every bare CR and every bare LF becomes CR LF;
// - every line that begins with "." gets a second "." in front.
// The texts themselves keep their single CRs; only the wire sees CR LF.
class WireFilter : public MessageSink {
 public:
  explicit WireFilter(MessageSink& wire) : wire_(wire) {}
  void write(const std::string& text) override;
  void pause(int milliseconds) override { wire_.pause(milliseconds); }

 private:
  void writeHeaderLine(const std::string& line);
  void writeBody(const std::string& text);

  MessageSink& wire_;
  bool inHeader_ = true;
  bool atLineStart_ = true;
  bool afterCr_ = false;  // the last body byte was a CR, already sent as CR LF
};

}  // namespace veltrum
