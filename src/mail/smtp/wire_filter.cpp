#include "mail/smtp/wire_filter.h"

namespace veltrum {

void WireFilter::write(const std::string& text) {
  if (inHeader_) {
    writeHeaderLine(text);
  } else {
    writeBody(text);
  }
}

void WireFilter::writeHeaderLine(const std::string& line) {
  if (line == "\r\n") inHeader_ = false;  // the empty line that ends the header
  bool closed = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0;
  size_t valueEnd = closed ? line.size() - 2 : line.size();
  std::string out;
  out.reserve(line.size() + 1);
  if (atLineStart_ && valueEnd > 0 && line[0] == '.') out += '.';
  for (size_t i = 0; i < valueEnd; ++i) out += (line[i] == '\r' || line[i] == '\n') ? ' ' : line[i];
  if (closed) out += "\r\n";
  atLineStart_ = closed;
  wire_.write(out);
}

void WireFilter::writeBody(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (char c : text) {
    if (c == '\n' && afterCr_) {  // the LF of a CR LF whose CR went out as CR LF
      afterCr_ = false;
      continue;
    }
    afterCr_ = c == '\r';
    if (c == '\r' || c == '\n') {
      out += "\r\n";
      atLineStart_ = true;
      continue;
    }
    if (atLineStart_ && c == '.') out += '.';
    atLineStart_ = false;
    out += c;
  }
  if (!out.empty()) wire_.write(out);
}

}  // namespace veltrum
