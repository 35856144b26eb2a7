// The text of one message: a single plain text, or a plain text and an HTML
// alternative. Which of the two is decided by whoever builds the body, so a
// text appended to it (a file name) can never turn it into markup.
#pragma once

#include <string>
#include <utility>

namespace veltrum {

struct MailBody {
  // A single-part body; a text converts to one, so a caller that sends plain
  // text passes it as it is.
  MailBody(std::string text) : plain(std::move(text)) {}
  MailBody(const char* text) : plain(text) {}

  // A body with a plain and an HTML alternative.
  static MailBody withHtml(std::string plain, std::string html) {
    MailBody body(std::move(plain));
    body.html = std::move(html);
    body.hasHtml = true;
    return body;
  }

  std::string plain;
  std::string html;
  bool hasHtml = false;
};

// The text with "&", "<", ">", '"' and "'" written as character references,
// for a value placed into HTML.
std::string htmlEscaped(const std::string& text);

}  // namespace veltrum
