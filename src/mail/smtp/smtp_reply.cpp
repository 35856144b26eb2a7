#include "mail/smtp/smtp_reply.h"

#include <cctype>
#include <cstring>

namespace veltrum {

namespace {

std::string lineText(const std::string& raw) {
  std::string text(raw.data(), strnlen(raw.data(), raw.size()));
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text;
}

bool sameLetters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

ReplyCollector::Outcome ReplyCollector::add(const char* bytes, size_t count) {
  for (size_t at = 0; at < count; ++at) {
    if (++bytes_ > kMaxReplyBytes) return Outcome::TooLong;
    if (bytes[at] != '\n') {
      partial_ += bytes[at];
      continue;
    }
    Outcome outcome = takeLine();
    if (outcome != Outcome::NeedMore) return outcome;
  }
  return Outcome::NeedMore;
}

ReplyCollector::Outcome ReplyCollector::takeLine() {
  lines_.push_back(lineText(partial_));
  partial_.clear();
  const std::string& line = lines_.back();
  if (line.size() >= 4 && line[3] == '-') {
    return lines_.size() >= kMaxReplyLines ? Outcome::TooLong : Outcome::NeedMore;
  }
  return Outcome::Complete;
}

void ReplyCollector::clear() {
  partial_.clear();
  lines_.clear();
  bytes_ = 0;
}

std::string ReplyCollector::lastLine() const {
  if (!partial_.empty() && lines_.empty()) return lineText(partial_);
  return lines_.empty() ? std::string() : lines_.back();
}

bool ReplyCollector::offers(const std::string& keyword) const {
  for (size_t i = 1; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    if (line.size() <= 4) continue;
    size_t end = line.find(' ', 4);
    if (sameLetters(line.substr(4, end == std::string::npos ? end : end - 4), keyword)) return true;
  }
  return false;
}

}  // namespace veltrum
