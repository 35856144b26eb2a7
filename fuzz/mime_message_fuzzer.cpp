// A message with arbitrary sender, recipients, subject and body, written the
// way it goes onto the SMTP connection. Checked: nothing before the real end
// of DATA reads as its end, every line ends in CR LF, and removing the
// doubled dots gives back exactly what the writer wrote, with the header
// values on one line each and the body's line ends made CR LF. Of what the
// writer wrote: a subject with bytes above 127 is short ASCII lines whose
// encoded words decode to the subject; every text part with such bytes or a
// line over 998 bytes is quoted-printable in short ASCII lines that decode to
// its text, every other part is its text unchanged.
//
// Input: from, to, subject, mailer name, content type, boundary prefix and
// body, separated by 0x1E (the body takes the rest). A body that holds
// "<html>" gets an HTML alternative from there on, as a configured one does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "mail/message/charset.h"
#include "mail/message/header_encoding.h"
#include "mail/message/mime_writer.h"
#include "mail/message/quoted_printable.h"
#include "mail/smtp/wire_filter.h"

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

int hexValue(char c) {
  FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
  return c <= '9' ? c - '0' : c - 'A' + 10;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

// Short lines of printable ASCII, blanks and tabs.
void checkShortAsciiLines(const std::string& text) {
  for (const std::string& line : linesOf(text)) {
    FUZZ_CHECK(line.size() <= 76);
    for (char c : line) FUZZ_CHECK((c >= 32 && c <= 126) || c == '\t');
  }
}

// The text's line ends (CR LF, a single CR or LF) made CR LF.
std::string withCrLf(const std::string& text) {
  std::string result;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ++at;
    result +=
        (text[at] == '\r' || text[at] == '\n') ? std::string("\r\n") : std::string(1, text[at]);
  }
  return result;
}

std::string decodedQuotedPrintable(const std::string& encoded) {
  checkShortAsciiLines(encoded);
  std::string text;
  std::vector<std::string> lines = linesOf(encoded);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    bool soft = !line.empty() && line.back() == '=';
    if (soft) line.pop_back();
    if (!soft && !line.empty()) FUZZ_CHECK(line.back() != ' ' && line.back() != '\t');
    for (size_t at = 0; at < line.size(); ++at) {
      if (line[at] != '=') {
        text += line[at];
        continue;
      }
      FUZZ_CHECK(at + 2 < line.size());
      text += static_cast<char>(hexValue(line[at + 1]) * 16 + hexValue(line[at + 2]));
      at += 2;
    }
    if (!soft && i + 1 < lines.size()) text += "\r\n";
  }
  return text;
}

std::string decodedWord(const std::string& word, const std::string& charset) {
  const std::string prefix = "=?" + charset + "?";
  FUZZ_CHECK(word.size() <= kLongestEncodedWord && word.size() >= prefix.size() + 4);
  FUZZ_CHECK(word.compare(0, prefix.size(), prefix) == 0);
  FUZZ_CHECK(word.compare(word.size() - 2, 2, "?=") == 0);
  const char encoding = word[prefix.size()];
  const std::string payload = word.substr(prefix.size() + 2, word.size() - prefix.size() - 4);
  std::string text;
  if (encoding == 'Q') {
    for (size_t at = 0; at < payload.size(); ++at) {
      if (payload[at] == '=') {
        FUZZ_CHECK(at + 2 < payload.size());
        text += static_cast<char>(hexValue(payload[at + 1]) * 16 + hexValue(payload[at + 2]));
        at += 2;
      } else {
        text += payload[at] == '_' ? ' ' : payload[at];
      }
    }
    return text;
  }
  FUZZ_CHECK(encoding == 'B' && payload.size() % 4 == 0);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  unsigned bits = 0;
  int count = 0;
  for (char c : payload) {
    if (c == '=') break;
    size_t value = alphabet.find(c);
    FUZZ_CHECK(value != std::string::npos);
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      text += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return text;
}

// The subject field's lines, unfolded, decode to the subject.
void checkSubject(const std::vector<std::string>& pieces, const std::string& subject) {
  size_t at = 0;
  while (at < pieces.size() && pieces[at].compare(0, 9, "Subject: ") != 0) ++at;
  FUZZ_CHECK(at < pieces.size());
  if (!hasEightBitBytes(subject)) {
    FUZZ_CHECK(pieces[at] == "Subject: " + subject + "\r\n");
    return;
  }
  std::string field;
  do {
    std::string line = pieces[at].substr(0, pieces[at].size() - 2);
    checkShortAsciiLines(line);
    field += line;
  } while (++at < pieces.size() && pieces[at][0] == ' ');
  std::string decoded;
  size_t start = 9;
  while (start <= field.size()) {
    size_t end = field.find(' ', start);
    if (end == std::string::npos) end = field.size();
    decoded += decodedWord(field.substr(start, end - start), charsetOf(subject));
    start = end + 1;
  }
  FUZZ_CHECK(decoded == asOneLine(subject));
}

// Each text part, found after its header lines, is its text or decodes to it.
void checkTextParts(const std::vector<std::string>& pieces, const MailBody& body) {
  std::vector<std::string> texts{body.plain};
  if (body.hasHtml) texts.push_back(body.html);
  size_t at = 0;
  for (const std::string& text : texts) {
    bool quoted = needsQuotedPrintable(text);
    const std::string encoding = std::string("Content-Transfer-Encoding: ") +
                                 (quoted ? "quoted-printable" : "7bit") + "\r\n";
    while (at < pieces.size() && pieces[at] != encoding) ++at;
    FUZZ_CHECK(at + 2 < pieces.size() && pieces[at + 1] == "\r\n");
    const std::string& content = pieces[at + 2];
    FUZZ_CHECK(content.size() >= 2 && content.compare(content.size() - 2, 2, "\r\n") == 0);
    if (quoted) {
      FUZZ_CHECK(decodedQuotedPrintable(content.substr(0, content.size() - 2)) == withCrLf(text));
    } else {
      FUZZ_CHECK(content == text + "\r\n");
    }
    at += 3;
  }
}

}  // namespace
}  // namespace veltrum

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace veltrum;
  std::vector<std::string> f = fuzzFields(data, size, 7);
  size_t html = f[6].find("<html>");
  MailBody body = html == std::string::npos
                      ? MailBody(f[6])
                      : MailBody::withHtml(f[6].substr(0, html), f[6].substr(html));
  MailMessage message{f[0], f[1], f[2], body, f[3], f[4], f[5]};
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
  checkSubject(plain.pieces, message.subject);
  checkTextParts(plain.pieces, message.body);
  return 0;
}
