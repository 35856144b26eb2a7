// A message with arbitrary sender, recipients, subject and body, written the
// way it goes onto the SMTP connection. Checked: nothing before the real end
// of DATA reads as its end, every line ends in CR LF, and removing the
// doubled dots gives back exactly what the writer wrote, with the header
// values on one line each and the body's line ends made CR LF.
//
// Input: from, to, subject, mailer name, content type, boundary prefix and
// body, separated by 0x1E (the body takes the rest).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "mail/mime_writer.h"
#include "mail/wire_filter.h"

namespace veltrum {
namespace {

// Keeps each piece apart, as the connection receives them.
class PieceSink : public MessageSink {
 public:
  void write(const std::string& text) override { pieces.push_back(text); }
  void pause(int) override {}
  std::vector<std::string> pieces;
};

// What the wire must carry once the doubled dots are removed, worked out on
// the whole text instead of piece by piece.
std::string expectedWire(const std::vector<std::string>& pieces) {
  std::string result;
  size_t i = 0;
  for (; i < pieces.size(); ++i) {
    std::string piece = pieces[i];
    bool closed = piece.size() >= 2 && piece.compare(piece.size() - 2, 2, "\r\n") == 0;
    if (closed) piece.resize(piece.size() - 2);
    for (char& c : piece) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    result += piece + (closed ? "\r\n" : "");
    if (pieces[i] == "\r\n") break;
  }
  std::string body;
  for (++i; i < pieces.size(); ++i) body += pieces[i];
  for (size_t at = 0; at < body.size(); ++at) {
    if (body[at] == '\r' && at + 1 < body.size() && body[at + 1] == '\n') ++at;
    result +=
        (body[at] == '\r' || body[at] == '\n') ? std::string("\r\n") : std::string(1, body[at]);
  }
  return result;
}

std::string withoutDoubledDots(const std::string& wire) {
  std::string result;
  bool lineStart = true;
  for (size_t at = 0; at < wire.size(); ++at) {
    if (lineStart && wire[at] == '.') {
      FUZZ_CHECK(at + 1 < wire.size() && wire[at + 1] == '.');
      ++at;
    }
    result += wire[at];
    lineStart = wire[at] == '\n';
  }
  return result;
}

}  // namespace
}  // namespace veltrum

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace veltrum;
  std::vector<std::string> f = fuzzFields(data, size, 7);
  MailMessage message{f[0], f[1], f[2], f[6], f[3], f[4], f[5]};
  MessageStamp stamp{"Mon, 07 Dec 2026 04:15:30 +0100", "<1.2.3@example.org>"};
  PieceSink plain;
  writeMessage(message, stamp, plain);
  StringSink wire;
  WireFilter filter(wire);
  for (const std::string& piece : plain.pieces) filter.write(piece);

  const std::string& sent = wire.text();
  // What the client sends after the message: CR LF, then the lone dot.
  const std::string dataSection = "\r\n" + sent + "\r\n.\r\n";
  FUZZ_CHECK(dataSection.find("\r\n.\r\n") == dataSection.size() - 5);
  for (size_t at = 0; at < sent.size(); ++at) {
    if (sent[at] == '\r') FUZZ_CHECK(at + 1 < sent.size() && sent[at + 1] == '\n');
    if (sent[at] == '\n') FUZZ_CHECK(at > 0 && sent[at - 1] == '\r');
  }
  FUZZ_CHECK(withoutDoubledDots(sent) == expectedWire(plain.pieces));
  return 0;
}
